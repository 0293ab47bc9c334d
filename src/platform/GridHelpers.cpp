#include "platform/GridHelpers.h"

#include <QAbstractItemView>
#include <QFont>
#include <QFontMetrics>
#include <QStyle>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <algorithm>
#include <cmath>

namespace platform::grid {

QList<Column> parseFormat(const QString& format)
{
    QList<Column> columns;
    const QStringList parts = format.split(QLatin1Char('|'));
    for (QString caption : parts) {
        Column c;
        if (!caption.isEmpty()) {
            const QChar mark = caption.front();
            if (mark == QLatin1Char('<')) c.alignment = Qt::AlignLeft | Qt::AlignVCenter;
            else if (mark == QLatin1Char('^')) c.alignment = Qt::AlignHCenter | Qt::AlignVCenter;
            else if (mark == QLatin1Char('>')) c.alignment = Qt::AlignRight | Qt::AlignVCenter;
            if (mark == QLatin1Char('<') || mark == QLatin1Char('^') || mark == QLatin1Char('>'))
                caption.remove(0, 1);
        }
        caption.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        caption.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        c.caption = caption;
        columns.append(c);
    }
    return columns;
}

int twipsToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

int headerAlignment(const Column& column, bool wordWrap)
{
    int flags = static_cast<int>(column.alignment);
    if (wordWrap) flags |= Qt::TextWordWrap;
    return flags;
}

void applyFormat(QTableWidget* grid, const QString& format, bool wordWrap)
{
    const QList<Column> columns = parseFormat(format);
    grid->setColumnCount(static_cast<int>(columns.size()));
    for (int c = 0; c < columns.size(); ++c) {
        auto* item = new QTableWidgetItem(columns[c].caption);
        item->setTextAlignment(Qt::Alignment(headerAlignment(columns[c], wordWrap)));
        grid->setHorizontalHeaderItem(c, item);
    }
    grid->horizontalHeader()->setDefaultAlignment(Qt::Alignment(headerAlignment(Column{}, wordWrap)));
}

void setColumnWidthTwips(QTableView* grid, int column, int twips)
{
    if (twips <= 0) {
        grid->setColumnHidden(column, true);
        return;
    }
    grid->setColumnHidden(column, false);
    grid->setColumnWidth(column, twipsToPixels(twips));
}

void setHeaderHeightTwips(QTableView* grid, int twips)
{
    // Grown when a wrapped caption needs more lines than the height holds, so no heading is cut off.
    QHeaderView* header = grid->horizontalHeader();
    const QFontMetrics metrics(header->font());
    const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int needed = 0;
    if (QAbstractItemModel* model = grid->model()) {
        for (int c = 0; c < model->columnCount(); ++c) {
            if (grid->isColumnHidden(c)) continue;
            const QString caption = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            const int width = std::max(1, grid->columnWidth(c) - margin);
            const QRect r = metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, caption);
            needed = std::max(needed, r.height() + margin);
        }
    }
    header->setFixedHeight(std::max(twipsToPixels(twips), needed));
}

void setRowHeightTwips(QTableView* grid, int twips)
{
    QHeaderView* rows = grid->verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(twipsToPixels(twips));
}

void setFlexLook(QTableView* grid)
{
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setSectionsClickable(false);
    grid->horizontalHeader()->setHighlightSections(false);
    // The flex grid's own font (8.25 pt) and a row height that suits it.
    QFont font = grid->font();
    font.setPointSizeF(8.25);
    grid->setFont(font);
    grid->horizontalHeader()->setFont(font);
    setRowHeightTwips(grid, 300);
}

int appendRow(QTableWidget* grid, const QStringList& texts)
{
    const int row = grid->rowCount();
    grid->insertRow(row);
    for (int c = 0; c < texts.size() && c < grid->columnCount(); ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        if (const QTableWidgetItem* head = grid->horizontalHeaderItem(c))
            item->setTextAlignment(Qt::Alignment(head->textAlignment() & ~int(Qt::TextWordWrap)));
        grid->setItem(row, c, item);
    }
    return row;
}

TextGridModel::TextGridModel(int columns, QObject* parent) : QAbstractTableModel(parent), columns_(columns) {}

void TextGridModel::setHeader(const QList<Column>& columns, bool wordWrap)
{
    header_ = columns;
    wordWrap_ = wordWrap;
    emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

QString TextGridModel::heading(int column) const
{
    return column >= 0 && column < header_.size() ? header_[column].caption : QString();
}

int TextGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant TextGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() < header_.size())
        return static_cast<int>(header_[index.column()].alignment);
    return {};
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= header_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) return header_[section].caption;
    if (role == Qt::TextAlignmentRole) return headerAlignment(header_[section], wordWrap_);
    return {};
}

} // namespace platform::grid
