#include "records/CalibrationFiles.h"

#include "records/format.h"

#include <QDir>
#include <QFile>

namespace {

// The next line without its line end (CR LF, LF or a lone CR). False at the end of the file.
bool nextLine(QIODevice& in, QByteArray& line)
{
    line.clear();
    char c = 0;
    if (!in.getChar(&c)) return false;
    for (;;) {
        if (c == '\n') return true;
        if (c == '\r') {
            char d = 0;
            if (in.peek(&d, 1) == 1 && d == '\n') in.getChar(&d);
            return true;
        }
        line.append(c);
        if (!in.getChar(&c)) return true;
    }
}

struct Lines {
    std::vector<QByteArray> lines;
    std::optional<FileFailure> failure;
};

// The lines of the file `found` (a name as WorkFiles::find gave it), at most `max`; a further line is
// refused with `tooMany`, unless that is empty (then the rest is not read).
Lines readLines(const QString& found, int max, const std::optional<FileFailure>& tooMany)
{
    Lines r;
    QFile f(QDir::current().filePath(found));
    if (!f.open(QIODevice::ReadOnly)) {
        r.failure = FileFailure::pathFileAccessError();
        return r;
    }
    QByteArray line;
    while (nextLine(f, line)) {
        if (int(r.lines.size()) == max) {
            if (tooMany) r.failure = tooMany;
            break;
        }
        r.lines.push_back(line);
    }
    return r;
}

// A line split at its commas: the text before each "," is a field; a non-empty rest is one more field.
std::vector<QByteArray> fieldsOf(const QByteArray& line)
{
    std::vector<QByteArray> fields;
    qsizetype from = 0;
    for (qsizetype comma; (comma = line.indexOf(',', from)) >= 0; from = comma + 1)
        fields.push_back(line.mid(from, comma - from));
    if (from < line.size()) fields.push_back(line.mid(from));
    return fields;
}

QByteArray fileLine(const QByteArray& text) { return text + "\r\n"; }

QByteArray field(const QString& text) { return text.toUtf8() + ','; }

} // namespace

namespace CalibrationFile {

QString notCalibratedMessage(int unit, int cell)
{
    return QStringLiteral("Unit %1, Cell %2  not calibrated yet!")
        .arg(unit)
        .arg(cell == 1 ? QStringLiteral("A") : QStringLiteral("B"));
}

bool isCalibrated(const Module1::CellCalibration& c)
{
    const bool lowerEmpty = c.CalIntercept1 == 0 && c.CalSlope1 == 0;
    const bool upperEmpty = c.CalIntercept2 == 0 && c.CalSlope2 == 0;
    return !lowerEmpty && !upperEmpty;
}

UnitRead readUnit(int unit)
{
    UnitRead r;
    const QString found = WorkFiles::find(FileName);
    if (found.isEmpty()) {
        // NewOnly: a file that appeared meanwhile is left alone.
        QFile created(QDir::current().filePath(CreatedFileName));
        created.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        r.outcome = UnitRead::Outcome::FileMissing;
        return r;
    }
    QFile f(QDir::current().filePath(found));
    if (!f.open(QIODevice::ReadOnly)) {
        r.failure = FileFailure::pathFileAccessError();
        return r;
    }
    if (unit < 1 || unit > UnitCount) {
        r.outcome = UnitRead::Outcome::NoLineForUnit;
        return r;
    }
    QByteArray line;
    for (int i = 1; i <= unit; ++i) {
        if (!nextLine(f, line)) {
            r.outcome = UnitRead::Outcome::NoLineForUnit;
            return r;
        }
    }

    const std::vector<QByteArray> fields = fieldsOf(line);
    for (int cell = 1; cell <= 2; ++cell) {
        std::array<double, FieldsPerCell> v{};
        for (int k = 0; k < FieldsPerCell; ++k) {
            const std::size_t at = std::size_t((cell - 1) * FieldsPerCell + k);
            const QString text = at < fields.size() ? QString::fromUtf8(fields[at]).trimmed() : QString();
            if (text.isEmpty()) continue;
            const auto x = Format::strict(text);
            if (!x) {
                r.failure = FileFailure::typeMismatch();
                return r;
            }
            v[std::size_t(k)] = *x;
        }
        Module1::CellCalibration& c = r.cells[std::size_t(cell)];
        c = {v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
        if (!isCalibrated(c)) r.notCalibrated.push_back(cell);
    }
    r.outcome = UnitRead::Outcome::Read;
    return r;
}

std::optional<FileFailure> saveHeight(int unit, const std::optional<HeightFit>& cellA,
                                      const std::optional<HeightFit>& cellB)
{
    const QString found = WorkFiles::find(FileName);
    std::vector<QByteArray> old;
    if (!found.isEmpty()) {
        Lines read = readLines(found, MaxLinesRead, FileFailure::subscriptOutOfRange());
        if (read.failure) return read.failure;
        old = std::move(read.lines);
    }
    old.resize(UnitCount);

    QByteArray out;
    for (int k = 1; k <= UnitCount; ++k) {
        const QByteArray& oldLine = old[std::size_t(k - 1)];
        if (k != unit) {
            out += fileLine(oldLine);
            continue;
        }
        const std::vector<QByteArray> oldFields = fieldsOf(oldLine);
        QByteArray line;
        const std::optional<HeightFit>* fits[] = {&cellA, &cellB};
        for (int cell = 1; cell <= 2; ++cell) {
            if (const auto& fit = *fits[cell - 1]) {
                line += field(fit->CalVolt1) + field(fit->CalVolt2) + field(fit->CalVolt3);
                for (double x : {fit->CalIntercept1, fit->CalSlope1, fit->CalIntercept2, fit->CalSlope2})
                    line += field(Format::printedPlain(x));
            } else {
                for (int i = 0; i < FieldsPerCell; ++i) {
                    const std::size_t at = std::size_t((cell - 1) * FieldsPerCell + i);
                    line += (at < oldFields.size() ? oldFields[at] : QByteArray()) + ',';
                }
            }
        }
        out += fileLine(line);
    }
    return WorkFiles::replace(FileName, out, found);
}

int unitFromChoice(const QString& choiceText) { return int(Format::leading(choiceText.mid(5, 1))); }

} // namespace CalibrationFile

namespace PressureCalibrationFile {

std::optional<FileFailure> save(int unit, const CellTexts& cellA, const CellTexts& cellB)
{
    const QString found = WorkFiles::find(FileName);
    if (found.isEmpty()) return FileFailure::fileNotFound();
    Lines read = readLines(found, LineCount, std::nullopt);
    if (read.failure) return read.failure;
    if (int(read.lines.size()) < LineCount) return FileFailure::inputPastEndOfFile();

    QByteArray out;
    for (int k = 1; k <= LineCount; ++k) {
        if (k != unit) {
            out += fileLine(read.lines[std::size_t(k - 1)]);
            continue;
        }
        QByteArray line;
        for (const CellTexts* c : {&cellA, &cellB})
            line += field(c->PressVoltZero) + field(c->PressVolt1000) + field(c->PressIntercept) +
                    field(c->PressSlope);
        out += fileLine(line);
    }
    return WorkFiles::replace(FileName, out, found);
}

} // namespace PressureCalibrationFile
