#pragma once
// The statement of the test search: up to three conditions on the columns of TEST_INFO, joined into one
// SELECT with "?" markers and the values to bind.
//
// Only the table's own columns and the listed operators are accepted. A value is read by the kind of its
// column: a number strictly, a date month first ("m/d/yyyy", optionally "h:mm[:ss] [AM|PM]", or the stored
// form) into the stored form "yyyy-MM-dd HH:mm:ss", a text as typed. " Like " takes the value as text
// for every column and looks for it anywhere in the text the result lists show for the column: a text
// column's own text, a number's general text ("12", not the stored "12.0"), a date's general date text
// ("1/2/2020 10:03:04 AM"); '%' and '_' keep their pattern meaning.
//
// Every text comparison ignores case (letters of any alphabet), as names and descriptions are typed by
// hand: text columns and " Like " compare case-folded texts through the functions that
// registerSearchFunctions adds to the search's connection.
//
// A date typed without a time stands for the whole day under " = " and " <> ": "= 1/2/2020" finds every
// test of that day (whatever its time), "<> 1/2/2020" every test of another day. The ordering operators
// compare with midnight at the start of that day.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <array>
#include <stdexcept>

namespace review {

// How a column's value is written.
enum class ColumnKind { Number, Text, Date };

struct SearchColumn {
    const char* name;
    ColumnKind kind;
};

// The columns of TEST_INFO in table order, as "select * from test_info" returns them.
const std::array<SearchColumn, 12>& searchColumns();
// The operators in the order of the operator lists, each with its blanks.
const QStringList& searchOperators();

// One condition row as typed: column and operator as their boxes show them, value as typed.
struct SearchCondition {
    QString column;
    QString op;
    QString value;
};

struct SearchStatement {
    QString sql;
    QVariantList values;   // one per "?" marker, in marker order
};

// Why a search could not be built; the description follows "Wrong search string.  ".
class SearchError : public std::runtime_error {
public:
    explicit SearchError(const QString& description)
        : std::runtime_error(description.toStdString()), description(description) {}
    QString description;
};

// The base statement of the search.
QString searchBaseStatement();

// Adds the functions the statements call (search_fold, search_number_text, search_date_text) to a
// QSQLITE connection; false when the connection gives no SQLite handle.
bool registerSearchFunctions(const QSqlDatabase& db);

// Builds the statement: the base "select * from test_info", " where  " before the first row that has a
// value and " and " before each further one, then " order by test_info.TEST_id desc". Rows whose value is
// empty after trimming give no condition. Throws SearchError for an unknown column, an operator not in the
// list, a number column's value that is not a number, or a date column's value that is not a date.
SearchStatement buildSearch(const std::array<SearchCondition, 3>& rows);

} // namespace review
