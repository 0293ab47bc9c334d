#include "records/RecordCursor.h"

#include "records/Command.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/format.h"

#include <QSqlQuery>
#include <QSqlRecord>

void RowTable::reset(int columns)
{
    cells_.clear();
    columns_ = columns;
    rows_ = 0;
}

void RowTable::appendAll(QSqlQuery& q, unsigned dateColumns)
{
    while (q.next()) {
        for (int c = 0; c < columns_; ++c) {
            QVariant v = q.value(c);
            if (v.isNull()) v = QVariant();
            else if (dateColumns & (1u << c)) {
                const QDateTime t = Format::fromStoredDate(v.toString());
                v = t.isValid() ? QVariant(t) : QVariant();
            }
            cells_.push_back(std::move(v));
        }
        ++rows_;
    }
}

RecordCursor::~RecordCursor() = default;

void RecordCursor::bindTo(const clsConnection& connection)
{
    handle_ = connection.ADOConnection();
    requireOpen(handle_);
}

void RecordCursor::fillCache(QSqlQuery& q, int columns, unsigned dateColumns)
{
    cache_.reset(columns);
    cache_.appendAll(q, dateColumns);
    q.finish();
    count_ = cache_.rowCount();
    eof_ = count_ == 0;
}

void RecordCursor::clearCache(int columns)
{
    cache_.reset(columns);
    count_ = 0;
    eof_ = true;
}

void RecordCursor::moveFirst()
{
    if (count_ < 1) {
        eof_ = true;
        return;
    }
    position_ = 0;
    loadRow(0);
    eof_ = false;
}

void RecordCursor::moveNext()
{
    if (count_ == 0 || position_ >= count_ - 1) {
        eof_ = true;
        return;
    }
    ++position_;
    loadRow(position_);
    eof_ = false;
}

namespace RecordValue {

double strictDouble(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Bool: return v.toDouble();
    default: break;
    }
    const auto d = Format::strict(v.toString());
    if (!d) throw DbError(13, QStringLiteral("Type mismatch"));
    return *d;
}

double lenientDouble(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong: return v.toDouble();
    default: break;
    }
    return Format::leading(v.toString());
}

void requireSize(const QVariantList& list, int n)
{
    if (list.size() < n) throw DbError(9, QStringLiteral("Subscript out of range"));
}

QString text(const QVariant& v)
{
    if (v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::Double: return Format::general(v.toDouble());
    case QMetaType::QDateTime: return Format::generalDate(v.toDateTime());
    default: return v.toString();
    }
}

} // namespace RecordValue
