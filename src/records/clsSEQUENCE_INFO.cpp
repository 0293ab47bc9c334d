#include "records/clsSEQUENCE_INFO.h"

#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/format.h"

#include <QSqlQuery>

const QString clsSEQUENCE_INFO::DetailSql = QStringLiteral(
    "SELECT SEQUENCE_ID, SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL  FROM SEQUENCE_INFO Where "
    "SEQUENCE_NAME = ?");
const QString clsSEQUENCE_INFO::ListSql =
    QStringLiteral("SELECT SEQUENCE_NAME  FROM SEQUENCE_INFO ORDER BY SEQUENCE_NAME");
const QString clsSEQUENCE_INFO::DeleteSql = QStringLiteral("DELETE  FROM SEQUENCE_INFO  WHERE SEQUENCE_NAME = ?");
const QString clsSEQUENCE_INFO::UpdateSql = QStringLiteral(
    "UPDATE SEQUENCE_INFO SET SEQUENCE_NAME = ?, TIME_BEFORE_READ = ?, SAMPLE_INTERVAL = ?  WHERE SEQUENCE_ID = ?");
const QString clsSEQUENCE_INFO::InsertSql = QStringLiteral(
    "INSERT INTO  SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) VALUES (?, ?, ?)");

namespace {
constexpr int kAllSize = 8;
}

clsSEQUENCE_INFO::clsSEQUENCE_INFO() { SetDefaults(); }
clsSEQUENCE_INFO::~clsSEQUENCE_INFO() = default;

void clsSEQUENCE_INFO::SetDefaults()
{
    SEQUENCE_ID = 0;
    SEQUENCE_NAME.clear();
    TIME_BEFORE_READ = 20;
    SAMPLE_INTERVAL = 60;
}

void clsSEQUENCE_INFO::setSAMPLE_INTERVAL(double v)
{
    const auto i = Format::toInt32(v);
    if (!i) throw DbError(6, QStringLiteral("Overflow"));
    SAMPLE_INTERVAL = *i;
}

void clsSEQUENCE_INFO::ConnectX(const clsConnection& connection)
{
    bindTo(connection);
    const Parameter name{"pSEQUENCE_NAME", adVarChar, 50, {}};
    detail_ = std::make_unique<Command>(handle_, DetailSql, std::vector<Parameter>{name});
    Command list(handle_, ListSql, {});
    delete_ = std::make_unique<Command>(handle_, DeleteSql, std::vector<Parameter>{name});
    update_ = std::make_unique<Command>(handle_, UpdateSql,
                                        std::vector<Parameter>{name,
                                                               {"pTIME_BEFORE_READ", adDouble, 0, {}},
                                                               {"pSAMPLE_INTERVAL", adDouble, 0, {}},
                                                               {"pSEQUENCE_ID", adDouble, 0, {}}});
    insert_ = std::make_unique<Command>(handle_, InsertSql,
                                        std::vector<Parameter>{name,
                                                               {"pTIME_BEFORE_READ", adDouble, 0, {}},
                                                               {"pSAMPLE_INTERVAL", adDouble, 0, {}}});
    fillCache(list.executeQuery(), 1);
}

void clsSEQUENCE_INFO::GetSeqDetail()
{
    if (!detail_) requireOpen(nullptr);
    detail_->setValue(0, SEQUENCE_NAME);
    fillCache(detail_->executeQuery(), 4);
    if (count_ == 0) {
        SetDefaults();
        return;
    }
    position_ = 0;
    loadRow(0);
}

void clsSEQUENCE_INFO::loadRow(int row)
{
    SetDefaults();
    if (!cache_.isNull(0, row)) SEQUENCE_ID = cache_.value(0, row).toDouble();
    if (!cache_.isNull(1, row)) SEQUENCE_NAME = cache_.value(1, row).toString();
}

void clsSEQUENCE_INFO::AddNew()
{
    if (!insert_) requireOpen(nullptr);
    insert_->setValue(0, SEQUENCE_NAME);
    insert_->setValue(1, TIME_BEFORE_READ);
    insert_->setValue(2, SAMPLE_INTERVAL);
    insert_->execute();
    Refresh();
}

void clsSEQUENCE_INFO::Update()
{
    if (!update_) requireOpen(nullptr);
    update_->setValue(0, SEQUENCE_NAME);
    update_->setValue(1, TIME_BEFORE_READ);
    update_->setValue(2, SAMPLE_INTERVAL);
    update_->setValue(3, SEQUENCE_ID);
    update_->execute();
}

void clsSEQUENCE_INFO::Delete()
{
    if (!delete_) requireOpen(nullptr);
    delete_->setValue(0, SEQUENCE_NAME);
    delete_->execute();
    Refresh();
}

QVariantList clsSEQUENCE_INFO::All() const
{
    return {SEQUENCE_ID, SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL,
            QVariant(),  QVariant(),    QVariant(),       QVariant()};
}

void clsSEQUENCE_INFO::SetAll(const QVariantList& v)
{
    RecordValue::requireSize(v, 4);
    // Every element is converted before any property changes, so a refused array changes nothing.
    const double id = RecordValue::strictDouble(v[0]);
    const double before = RecordValue::strictDouble(v[2]);
    const auto interval = Format::toInt32(RecordValue::strictDouble(v[3]));
    if (!interval) throw DbError(6, QStringLiteral("Overflow"));
    SEQUENCE_ID = id;
    SEQUENCE_NAME = v[1].toString();
    TIME_BEFORE_READ = before;
    SAMPLE_INTERVAL = *interval;
}
