#include "records/SettingsFile.h"

#include "records/format.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace SettingsFile {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The next item of the file: blanks and line ends before it are skipped; it ends at a blank, a line end or
// a comma, and a comma after it (blanks between allowed) is taken with it. An item that is only a comma
// is an empty item. nullopt at the end of the file.
std::optional<QByteArray> nextItem(QIODevice& in)
{
    char c = 0;
    do {
        if (!in.getChar(&c)) return std::nullopt;
    } while (isSpace(c));
    QByteArray item;
    if (c == ',') return item;
    item.append(c);
    while (in.getChar(&c)) {
        if (c == ',') return item;
        if (isSpace(c)) break;
        item.append(c);
    }
    // Skip blanks up to a delimiting comma on the same line.
    while (in.peek(&c, 1) == 1 && (c == ' ' || c == '\t')) in.getChar(&c);
    if (in.peek(&c, 1) == 1 && c == ',') in.getChar(&c);
    return item;
}

// An item as a whole number: empty reads as 0; a number is taken to the nearest whole one (halves to even).
std::optional<FileFailure> wholeNumber(const QByteArray& item, int& value)
{
    if (item.isEmpty()) {
        value = 0;
        return std::nullopt;
    }
    const auto x = Format::strict(QString::fromLatin1(item));
    if (!x) return FileFailure::typeMismatch();
    const auto whole = Format::toInt32(*x);
    if (!whole) return FileFailure::overflow();
    value = *whole;
    return std::nullopt;
}

ReadResult readValues(int count, bool checkPorts)
{
    ReadResult r;
    const QString found = WorkFiles::find(FileName);
    if (found.isEmpty()) {
        r.failure = FileFailure::fileNotFound();
        return r;
    }
    QFile f(QDir::current().filePath(found));
    if (!f.open(QIODevice::ReadOnly)) {
        r.failure = FileFailure::pathFileAccessError();
        return r;
    }
    while (int(r.values.size()) < count) {
        const auto item = nextItem(f);
        if (!item) {
            r.failure = FileFailure::inputPastEndOfFile();
            break;
        }
        int v = 0;
        if (auto failure = wholeNumber(*item, v)) {
            r.failure = failure;
            break;
        }
        if (checkPorts && int(r.values.size()) < PortCount && (v < LowestPort || v > HighestPort)) {
            r.failure = FileFailure::invalidPropertyValue();
            break;
        }
        r.values.push_back(v);
    }
    return r;
}

} // namespace

std::optional<int> ReadResult::value(int k) const
{
    if (k < 1 || k > int(values.size())) return std::nullopt;
    return values[std::size_t(k - 1)];
}

ReadResult read(int count) { return readValues(std::clamp(count, 0, ValueCount), false); }

ReadResult readHardware() { return readValues(ValueCount, true); }

QByteArray text(const std::array<int, PortCount>& ports, int unitSystem)
{
    QByteArray out;
    for (int p : ports) out += Format::printed(p).toLatin1() + "\r\n";
    out += Format::printed(unitSystem).toLatin1() + "\r\n";
    return out;
}

std::optional<FileFailure> write(const std::array<int, PortCount>& ports, int unitSystem)
{
    return WorkFiles::replace(FileName, text(ports, unitSystem), WorkFiles::find(FileName));
}

} // namespace SettingsFile
