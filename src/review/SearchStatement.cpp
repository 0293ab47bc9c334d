#include "review/SearchStatement.h"

#include "records/SqliteHandle.h"
#include "records/format.h"

#include <QDateTime>
#include <QSqlDatabase>

#include <sqlite3.h>

namespace review {

namespace {

constexpr const char* kBase = "select * from test_info";
constexpr const char* kWhere = " where  ";
constexpr const char* kAnd = " and ";
constexpr const char* kOrder = " order by test_info.TEST_id desc";

const SearchColumn* findColumn(const QString& typed)
{
    for (const SearchColumn& c : searchColumns())
        if (typed.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

// The listed operator that the text names (blanks around it do not matter).
QString findOperator(const QString& typed)
{
    const QString t = typed.trimmed();
    for (const QString& op : searchOperators())
        if (t.compare(op.trimmed(), Qt::CaseInsensitive) == 0) return op;
    return {};
}

// The column's text as the result lists show it, case-folded, for " Like " and text comparisons.
QString shownText(const SearchColumn& column)
{
    const QString col = QLatin1String(column.name);
    switch (column.kind) {
    case ColumnKind::Number: return QStringLiteral("search_fold(search_number_text(%1))").arg(col);
    case ColumnKind::Date: return QStringLiteral("search_fold(search_date_text(%1))").arg(col);
    case ColumnKind::Text: break;
    }
    return QStringLiteral("search_fold(%1)").arg(col);
}

QString argumentText(sqlite3_value* v)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return QString::fromUtf8(text, sqlite3_value_bytes(v));
}

void resultText(sqlite3_context* ctx, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// search_fold(x): x case-folded; null stays null.
void foldFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    resultText(ctx, argumentText(argv[0]).toCaseFolded());
}

// search_number_text(x): a number in its general text; a stored text that reads as a number likewise;
// any other text as it stands; null stays null.
void numberTextFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return resultText(ctx, Format::general(sqlite3_value_double(argv[0])));
    default: break;
    }
    const QString text = argumentText(argv[0]);
    const auto x = Format::strict(text);
    resultText(ctx, x ? Format::general(*x) : text);
}

// search_date_text(x): a stored date in its general date text; anything else as it stands.
void dateTextFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const QString text = argumentText(argv[0]);
    const QDateTime t = Format::fromStoredDate(text);
    resultText(ctx, t.isValid() ? Format::generalDate(t) : text);
}

// One condition with its markers; appends its values.
QString condition(const SearchCondition& row, QVariantList& values)
{
    const QString name = row.column.trimmed();
    const SearchColumn* column = findColumn(name);
    if (!column) throw SearchError(QStringLiteral("'%1' is not a column of TEST_INFO.").arg(name));
    const QString op = findOperator(row.op);
    if (op.isEmpty()) throw SearchError(QStringLiteral("'%1' is not a search operator.").arg(row.op));
    const QString col = QLatin1String(column->name);
    const QString v = row.value.trimmed();

    if (op.trimmed() == QLatin1String("Like")) {
        values << QVariant(QStringLiteral("%") + v + QStringLiteral("%"));
        return shownText(*column) + op + QStringLiteral("search_fold(?)");
    }
    switch (column->kind) {
    case ColumnKind::Text:
        values << QVariant(v);
        return shownText(*column) + op + QStringLiteral("search_fold(?)");
    case ColumnKind::Number: {
        const auto x = Format::strict(v);
        if (!x) throw SearchError(QStringLiteral("The value '%1' of %2 is not a number.").arg(v, col));
        values << QVariant(*x);
        return col + op + QStringLiteral("?");
    }
    case ColumnKind::Date: {
        const auto t = Format::strictDate(v);
        if (!t) throw SearchError(QStringLiteral("The value '%1' of %2 is not a date (month/day/year).").arg(v, col));
        const bool wholeDay = !v.contains(QLatin1Char(':'));
        const QString trimmedOp = op.trimmed();
        if (wholeDay && (trimmedOp == QLatin1String("=") || trimmedOp == QLatin1String("<>"))) {
            const QDate day = t->date();
            values << QVariant(Format::storedDate(QDateTime(day, QTime(0, 0))))
                   << QVariant(Format::storedDate(QDateTime(day.addDays(1), QTime(0, 0))));
            if (trimmedOp == QLatin1String("="))
                return QStringLiteral("(%1 >= ? and %1 < ?)").arg(col);
            return QStringLiteral("(%1 < ? or %1 >= ?)").arg(col);
        }
        values << QVariant(Format::storedDate(*t));
        return col + op + QStringLiteral("?");
    }
    }
    return {};
}

} // namespace

const std::array<SearchColumn, 12>& searchColumns()
{
    static const std::array<SearchColumn, 12> columns{{{"TEST_ID", ColumnKind::Number},
                                                       {"TEST_NAME", ColumnKind::Text},
                                                       {"TEST_DATE", ColumnKind::Date},
                                                       {"RESEARCHER_NAME", ColumnKind::Text},
                                                       {"SAMPLE_WEIGHT", ColumnKind::Number},
                                                       {"SAMPLE_LENGTH", ColumnKind::Number},
                                                       {"SAMPLE_HARDNESS", ColumnKind::Number},
                                                       {"SAMPLE_description", ColumnKind::Text},
                                                       {"SAMPLE_COMPACT_PRESS", ColumnKind::Number},
                                                       {"SAMPLE_COMPACT_TIME", ColumnKind::Number},
                                                       {"SAMPLE_COMPACT_DATE", ColumnKind::Text},
                                                       {"FLUID_INFO", ColumnKind::Text}}};
    return columns;
}

const QStringList& searchOperators()
{
    static const QStringList ops{QStringLiteral(" > "),  QStringLiteral(" >= "), QStringLiteral(" < "),
                                 QStringLiteral(" <= "), QStringLiteral(" = "),  QStringLiteral(" <> "),
                                 QStringLiteral(" Like ")};
    return ops;
}

QString searchBaseStatement() { return QLatin1String(kBase); }

bool registerSearchFunctions(const QSqlDatabase& db)
{
    sqlite3* handle = sqliteHandle(db);
    if (!handle) return false;
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function_v2(handle, "search_fold", 1, flags, nullptr, foldFunction, nullptr, nullptr,
                                      nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(handle, "search_number_text", 1, flags, nullptr, numberTextFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(handle, "search_date_text", 1, flags, nullptr, dateTextFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK;
}

SearchStatement buildSearch(const std::array<SearchCondition, 3>& rows)
{
    SearchStatement s;
    s.sql = QLatin1String(kBase);
    bool first = true;
    // Every row with a value takes part, whichever row is the first one filled.
    for (const SearchCondition& row : rows) {
        if (row.value.trimmed().isEmpty()) continue;
        s.sql += QLatin1String(first ? kWhere : kAnd);
        s.sql += condition(row, s.values);
        first = false;
    }
    s.sql += QLatin1String(kOrder);
    return s;
}

} // namespace review
