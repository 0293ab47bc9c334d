#pragma once
// The list of stored tests that the open and overlay dialogs show: one row per test, newest first, with
// name, date, sample and fluid description under a fixed heading row.
#include "records/RecordCursor.h"

#include <QString>

class QTableWidget;

namespace review::testlist {

// New record objects in Module1::TestInfo and Module1::TestResult, bound to Module1::DbConnection (this
// reads the list of tests). Throws DbError when the connection is missing or not open or a query fails.
void bindNewRecords();
// Four columns 1800 twips wide under the headings of format (wrapped, 600 twips high), both scroll bars
// as needed, no rows.
void setUp(QTableWidget* grid, const QString& format);
// Refills the rows from Module1::TestInfo->UsedName() and returns that table.
RowTable fill(QTableWidget* grid);
// The name shown in a row (0 = the first row below the heading); empty outside the list.
QString name(const QTableWidget* grid, int row);
// Makes a row current (selected and scrolled to); nothing outside the list.
void setCurrentRow(QTableWidget* grid, int row);
// The first row whose name equals name exactly (case-sensitive), made current; -1 when none.
int find(QTableWidget* grid, const QString& name);

} // namespace review::testlist
