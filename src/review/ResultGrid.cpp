#include "review/ResultGrid.h"

#include "records/Module1.h"
#include "records/format.h"

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
    case 1: return Format::timeOfDay(r.time);
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

QString ResultGridModel::text(int row, int column) const
{
    if (row < 0 || std::size_t(row) >= rows_.size()) return {};
    return cellText(rows_[std::size_t(row)], column, sampleLength_, unitSystem_);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
