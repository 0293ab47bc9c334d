#pragma once
// The pattern shared by the record classes: one current record in public column properties, a cache of
// the rows that the last load or detail query returned, and a cursor over that cache.
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <vector>

class clsConnection;
class DbHandle;
class QSqlQuery;

// Rows of a query as a (column, row) table; database nulls stay null QVariants.
class RowTable {
public:
    int columnCount() const { return columns_; }
    int rowCount() const { return rows_; }
    const QVariant& value(int column, int row) const { return cells_.at(std::size_t(row) * columns_ + column); }
    bool isNull(int column, int row) const { return value(column, row).isNull(); }

    void reset(int columns);
    // Appends every remaining row of q; columns whose bit is set in dateColumns are read as dates.
    void appendAll(QSqlQuery& q, unsigned dateColumns = 0);

private:
    std::vector<QVariant> cells_;
    int columns_ = 0;
    int rows_ = 0;
};

class RecordCursor {
public:
    virtual ~RecordCursor();

    // True when the last query returned no rows, or after MoveNext at the last row.
    bool EOF_() const { return eof_; }
    // No observable effect: a caller brings a list up to date by binding again.
    void Refresh() {}

protected:
    // Holds the connection's handle; throws DbError when the connection is not open.
    void bindTo(const clsConnection& connection);
    // Fills the cache from q (read to its end), sets the count and EOF.
    void fillCache(QSqlQuery& q, int columns, unsigned dateColumns = 0);
    void clearCache(int columns);
    void moveFirst();
    void moveNext();
    virtual void loadRow(int row) = 0;

    std::shared_ptr<DbHandle> handle_;
    RowTable cache_;
    int count_ = 0;
    int position_ = 0;
    bool eof_ = false;
};

// Conversions used by the record classes when loading a row or reading `All` elements.
namespace RecordValue {
// Throws DbError 13 (type mismatch) when v is not a number.
double strictDouble(const QVariant& v);
double lenientDouble(const QVariant& v);
// Throws DbError 9 when list has fewer than n elements.
void requireSize(const QVariantList& list, int n);
// A stored value as a box or list shows it: nothing for null, numbers in their general text, dates in their
// default text, anything else as it is.
QString text(const QVariant& v);
} // namespace RecordValue
