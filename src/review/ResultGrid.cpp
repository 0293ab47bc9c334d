#include "review/ResultGrid.h"

#include "records/Module1.h"
#include "records/format.h"

#include <charconv>

namespace grid = platform::grid;

ResultGridModel::ResultGridModel(QObject* parent) : TextGridModel(Columns, parent) {}

void ResultGridModel::setHeader(const QString& format, bool wordWrap)
{
    TextGridModel::setHeader(grid::parseFormat(format), wordWrap);
}

void ResultGridModel::clear()
{
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

void ResultGridModel::setRows(const std::vector<clsTEST_RESULT::Row>& points, double sampleLength, int unitSystem)
{
    beginResetModel();
    rows_.clear();
    rows_.reserve(points.size());
    for (const clsTEST_RESULT::Row& p : points)
        rows_.push_back({p.time, p.temp, p.bathTemp, p.press, p.heightChange, p.volt, p.step});
    rows_.shrink_to_fit();
    sampleLength_ = sampleLength;
    unitSystem_ = unitSystem;
    endResetModel();
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

void ResultGridModel::appendCellText(const Row& r, int column, double sampleLength, int unitSystem, QByteArray& utf8)
{
    static const Format::NumberPattern whole(QStringLiteral("#0"));
    static const Format::NumberPattern percent(QStringLiteral("0.#%"));
    static const Format::NumberPattern volt(QStringLiteral("#0.###########"));
    static const Format::NumberPattern bath(QStringLiteral("##0.#"));
    static const Format::NumberPattern inches(QStringLiteral("#0.####"));
    static const Format::NumberPattern millimetres(QStringLiteral("#0.##"));
    char buf[64];
    switch (column) {
    case 0: {
        const auto end = std::to_chars(buf, buf + sizeof buf, r.step == 0 ? 1 : r.step).ptr;
        utf8.append(buf, end - buf);
        return;
    }
    case 1:
        utf8.append(buf, Format::elapsedTime(r.time, buf));
        return;
    case 2: whole.appendUtf8(Module1::ToDisplayTemp(r.temp, unitSystem), utf8); return;
    case 3: whole.appendUtf8(Module1::ToDisplayPress(r.press), utf8); return;
    case 4: {
        // The display text (rounded to the pattern's places) read back and written again without trailing
        // zeros: where the prepared pattern settles the rounding, the digits kept are the whole number it
        // rounds to (at most 13 digits, which the reading gives back exactly), written by the second pattern.
        const Format::NumberPattern& second = unitSystem == 1 ? inches : millimetres;
        const int n = second.fastFormat(Module1::ToDisplayLengthValue(r.heightChange, unitSystem), buf);
        if (n >= 0)
            utf8.append(buf, n);
        else
            utf8 += cellText(r, column, sampleLength, unitSystem).toUtf8();
        return;
    }
    case 5:
        if (sampleLength != 0) percent.appendUtf8(r.heightChange / sampleLength, utf8);
        return;
    case 6: volt.appendUtf8(r.volt, utf8); return;
    case 7: bath.appendUtf8(Module1::ToDisplayTemp(r.bathTemp, unitSystem), utf8); return;
    default: return;
    }
}

QString ResultGridModel::text(int row, int column) const
{
    if (row < 0 || std::size_t(row) >= rows_.size()) return {};
    QByteArray utf8;
    appendCellText(rows_[std::size_t(row)], column, sampleLength_, unitSystem_, utf8);
    return QString::fromUtf8(utf8);
}

void ResultGridModel::appendText(int row, int column, QByteArray& utf8) const
{
    if (row < 0 || std::size_t(row) >= rows_.size()) return;
    appendCellText(rows_[std::size_t(row)], column, sampleLength_, unitSystem_, utf8);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
