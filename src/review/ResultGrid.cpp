#include "review/ResultGrid.h"

#include "records/Module1.h"
#include "records/FormatDetail.h"

#include <charconv>
#include <cstring>

namespace grid = platform::grid;

ResultGridModel::ResultGridModel(QObject* parent) : TextGridModel(Columns, parent) {}

void ResultGridModel::setHeader(const QString& format, bool wordWrap)
{
    TextGridModel::setHeader(grid::parseFormat(format), wordWrap);
}

void ResultGridModel::clear()
{
    beginResetModel();
    points_.reset();
    endResetModel();
}

void ResultGridModel::setRows(std::shared_ptr<const clsTEST_RESULT::Rows> points, double sampleLength, int unitSystem)
{
    beginResetModel();
    points_ = std::move(points);
    sampleLength_ = sampleLength;
    unitSystem_ = unitSystem;
    endResetModel();
}

void ResultGridModel::setRows(const clsTEST_RESULT::Rows& points, double sampleLength, int unitSystem)
{
    setRows(std::make_shared<const clsTEST_RESULT::Rows>(points), sampleLength, unitSystem);
}

QString ResultGridModel::cellText(const Row& r, int column, double sampleLength, int unitSystem)
{
    switch (column) {
    case 0: return QString::number(r.step == 0 ? 1 : r.step);
    case 1: return Format::elapsedTime(r.time);
    case 2: return Format::number(Module1::ToDisplayTemp(r.temp, unitSystem), QStringLiteral("#0"));
    case 3: return Format::number(Module1::ToDisplayPress(r.press), QStringLiteral("#0"));
    case 4:
        return Format::text(Module1::ToDisplayLength(r.heightChange, unitSystem),
                            unitSystem == 1 ? QStringLiteral("#0.####") : QStringLiteral("#0.##"));
    case 5: return sampleLength == 0 ? QString() : Format::number(r.heightChange / sampleLength, QStringLiteral("0.#%"));
    case 6: return Format::number(r.volt, QStringLiteral("#0.###########"));
    case 7: return Format::number(Module1::ToDisplayTemp(r.bathTemp, unitSystem), QStringLiteral("##0.#"));
    default: return {};
    }
}

namespace {
// The columns' prepared patterns.
struct Patterns {
    Format::NumberPattern whole{QStringLiteral("#0")};
    Format::NumberPattern percent{QStringLiteral("0.#%")};
    Format::NumberPattern volt{QStringLiteral("#0.###########")};
    Format::NumberPattern bath{QStringLiteral("##0.#")};
    Format::NumberPattern inches{QStringLiteral("#0.####")};
    Format::NumberPattern millimetres{QStringLiteral("#0.##")};
};
const Patterns& patterns()
{
    static const Patterns p;
    return p;
}
} // namespace

int ResultGridModel::writeCellText(const Row& r, int column, double sampleLength, int unitSystem, char* out)
{
    const Patterns& p = patterns();
    switch (column) {
    case 0: return int(std::to_chars(out, out + CellBytes, r.step == 0 ? 1 : r.step).ptr - out);
    case 1: return Format::elapsedTime(r.time, out);
    case 2: return p.whole.fastFormat(Module1::ToDisplayTemp(r.temp, unitSystem), out);
    case 3: return p.whole.fastFormat(Module1::ToDisplayPress(r.press), out);
    case 4:
        // The display text (rounded to the pattern's places) read back and written again without trailing
        // zeros: where the prepared pattern settles the rounding, the digits kept are the whole number it
        // rounds to (at most 13 digits, which the reading gives back exactly), written by the second pattern.
        return (unitSystem == 1 ? p.inches : p.millimetres)
            .fastFormat(Module1::ToDisplayLengthValue(r.heightChange, unitSystem), out);
    case 5: return sampleLength == 0 ? 0 : p.percent.fastFormat(r.heightChange / sampleLength, out);
    case 6: return p.volt.fastFormat(r.volt, out);
    case 7: return p.bath.fastFormat(Module1::ToDisplayTemp(r.bathTemp, unitSystem), out);
    default: return 0;
    }
}

void ResultGridModel::appendCellText(const Row& r, int column, double sampleLength, int unitSystem, QByteArray& utf8)
{
    char buf[CellBytes];
    const int n = writeCellText(r, column, sampleLength, unitSystem, buf);
    if (n >= 0)
        utf8.append(buf, n);
    else
        utf8 += cellText(r, column, sampleLength, unitSystem).toUtf8();
}

QString ResultGridModel::text(int row, int column) const
{
    if (row < 0 || std::size_t(row) >= size()) return {};
    QByteArray utf8;
    appendCellText(at(row), column, sampleLength_, unitSystem_, utf8);
    return QString::fromUtf8(utf8);
}

void ResultGridModel::appendText(int row, int column, QByteArray& utf8) const
{
    if (row < 0 || std::size_t(row) >= size()) return;
    appendCellText(at(row), column, sampleLength_, unitSystem_, utf8);
}

void ResultGridModel::appendRows(int first, int count, char after, QByteArrayView end, QByteArray& utf8) const
{
    const qsizetype last = std::min(qsizetype(first) + std::max(count, 0), qsizetype(size()));
    // The lines are written straight into the array's room, taken as the array's capacity allows (a whole
    // row's most at a time), and the array is cut to what was written at the end.
    const qsizetype rowMost = Columns * (CellBytes + 1) + end.size();
    qsizetype used = utf8.size();
    const auto room = [&](qsizetype need) {
        if (utf8.size() - used < need) utf8.resize(std::max(used + need, utf8.capacity()));
        return utf8.data() + used;
    };
    for (qsizetype row = std::max(first, 0); row < last; ++row) {
        const Row r = at(int(row));
        char* o = room(rowMost);
        for (int c = 0; c < Columns; ++c) {
            const int n = writeCellText(r, c, sampleLength_, unitSystem_, o);
            if (n >= 0) {
                o += n;
            } else {
                const QByteArray text = cellText(r, c, sampleLength_, unitSystem_).toUtf8();
                used = o - utf8.data();
                o = room(text.size() + rowMost);
                std::memcpy(o, text.constData(), std::size_t(text.size()));
                o += text.size();
            }
            *o++ = after;
        }
        if (!end.isEmpty()) std::memcpy(o, end.data(), std::size_t(end.size()));
        o += end.size();
        used = o - utf8.data();
    }
    utf8.truncate(used);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(size());
}
