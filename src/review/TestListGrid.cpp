#include "review/TestListGrid.h"

#include "platform/GridHelpers.h"
#include "records/Module1.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

#include <QTableWidget>

namespace grid = platform::grid;

namespace review::testlist {

void bindNewRecords()
{
    clsConnection& connection = requireConnection(Module1::DbConnection);
    Module1::TestInfo = std::make_shared<clsTEST_INFO>();
    Module1::TestResult = std::make_shared<clsTEST_RESULT>();
    Module1::TestInfo->ConnectX(connection);
    Module1::TestResult->ConnectX(connection);
}

void setUp(QTableWidget* grid, const QString& format)
{
    grid::setFlexLook(grid);
    grid->setRowCount(0);
    grid::applyFormat(grid, format, true);
    grid::setHeaderHeightTwips(grid, 600);
    for (int c = 0; c < 4; ++c) grid::setColumnWidthTwips(grid, c, 1800);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

RowTable fill(QTableWidget* grid)
{
    RowTable list = Module1::TestInfo ? Module1::TestInfo->UsedName() : RowTable();
    grid->setRowCount(0);
    const int n = list.rowCount();
    for (int k = 0; k < n; ++k) {
        QStringList texts;
        for (int c = 0; c < 4 && c < list.columnCount(); ++c) texts << RecordValue::text(list.value(c, k));
        grid::appendRow(grid, texts);
    }
    return list;
}

QString name(const QTableWidget* grid, int row)
{
    const QTableWidgetItem* item = grid->item(row, 0);
    return item ? item->text() : QString();
}

void setCurrentRow(QTableWidget* grid, int row)
{
    if (row < 0 || row >= grid->rowCount()) return;
    grid->setCurrentCell(row, 0);
    grid->selectRow(row);
    if (QTableWidgetItem* item = grid->item(row, 0)) grid->scrollToItem(item);
}

int find(QTableWidget* grid, const QString& wanted)
{
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (name(grid, row) == wanted) {
            setCurrentRow(grid, row);
            return row;
        }
    }
    return -1;
}

} // namespace review::testlist
