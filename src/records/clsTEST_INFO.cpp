#include "records/clsTEST_INFO.h"

#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/format.h"

#include <QSqlQuery>

const QString clsTEST_INFO::ListSql = QStringLiteral(
    "SELECT TEST_NAME, TEST_DATE, SAMPLE_description, Fluid_Info  FROM TEST_INFO  ORDER BY TEST_DATE DESC");
const QString clsTEST_INFO::DetailSql = QStringLiteral(
    "SELECT TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, SAMPLE_LENGTH, SAMPLE_HARDNESS, "
    "SAMPLE_description, SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO  FROM "
    "TEST_INFO Where TEST_NAME = ?");
const QString clsTEST_INFO::DetailByIdSql = QStringLiteral(
    "SELECT TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, SAMPLE_LENGTH, SAMPLE_HARDNESS, "
    "SAMPLE_description, SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO  FROM "
    "TEST_INFO Where TEST_ID = ?");
const QString clsTEST_INFO::DeleteSql = QStringLiteral("DELETE  FROM TEST_INFO  WHERE TEST_NAME = ?");
const QString clsTEST_INFO::InsertSql = QStringLiteral(
    "INSERT INTO  TEST_INFO (TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, SAMPLE_LENGTH, "
    "SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, "
    "FLUID_INFO )VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

namespace {
constexpr int kAllSize = 12;
constexpr int kDetailColumns = 12;
constexpr unsigned kListDates = 1u << 1;
constexpr unsigned kDetailDates = 1u << 2;
} // namespace

clsTEST_INFO::clsTEST_INFO() { SetDefaults(); }
clsTEST_INFO::~clsTEST_INFO() = default;

void clsTEST_INFO::SetDefaults()
{
    Test_Id = 0;
    TEST_NAME.clear();
    TEST_Date = QDateTime(QDate::currentDate(), QTime(0, 0));
    RESEARCHER_NAME = QStringLiteral("UNKOWN");
    SAMPLE_WEIGHT = 0;
    SAMPLE_LENGTH = 0;
    SAMPLE_HARDNESS = 0;
    SAMPLE_description.clear();
    SAMPLE_COMPACT_PRESS = 0;
    SAMPLE_COMPACT_TIME = 0;
    SAMPLE_COMPACT_DATE.clear();
    FLUID_INFO.clear();
}

void clsTEST_INFO::ConnectX(const clsConnection& connection)
{
    bindTo(connection);
    detail_ = std::make_unique<Command>(handle_, DetailSql,
                                        std::vector<Parameter>{{"pTEST_NAME", adVarChar, 100, {}}});
    detailById_ = std::make_unique<Command>(handle_, DetailByIdSql,
                                            std::vector<Parameter>{{"pTEST_ID", adInteger, 0, {}}});
    delete_ = std::make_unique<Command>(handle_, DeleteSql,
                                        std::vector<Parameter>{{"pTEST_NAME", adVarChar, 100, {}}});
    insert_ = std::make_unique<Command>(handle_, InsertSql,
                                        std::vector<Parameter>{{"pTEST_NAME", adVarChar, 100, {}},
                                                               {"pTEST_DATE", adDBTimeStamp, 0, {}},
                                                               {"pRESEARCHER_NAME", adVarChar, 50, {}},
                                                               {"pSAMPLE_WEIGHT", adDouble, 0, {}},
                                                               {"pSAMPLE_LENGTH", adDouble, 0, {}},
                                                               {"pSAMPLE_HARDNESS", adDouble, 0, {}},
                                                               {"pSAMPLE_description", adVarChar, 255, {}},
                                                               {"pSAMPLE_COMPACT_PRESS", adDouble, 0, {}},
                                                               {"pSAMPLE_COMPACT_TIME", adDouble, 0, {}},
                                                               {"pSAMPLE_COMPACT_DATE", adVarChar, 50, {}},
                                                               {"pFLUID_INFO", adVarChar, 255, {}}});
    Command list(handle_, ListSql, {});
    fillCache(list.executeQuery(), 4, kListDates);
}

void clsTEST_INFO::GetTestDetail()
{
    if (!detail_) requireOpen(nullptr);
    detail_->setValue(0, TEST_NAME);
    loadDetail(*detail_);
}

void clsTEST_INFO::GetTestDetailById()
{
    if (!detailById_) requireOpen(nullptr);
    detailById_->setValue(0, Test_Id);
    loadDetail(*detailById_);
}

void clsTEST_INFO::loadDetail(Command& query)
{
    fillCache(query.executeQuery(), kDetailColumns, kDetailDates);
    if (count_ == 0) {
        SetDefaults();
        bof_ = true;
        return;
    }
    bof_ = false;
    position_ = 0;
    loadRow(0);
}

void clsTEST_INFO::loadRow(int row)
{
    SetDefaults();
    auto has = [&](int c) { return !cache_.isNull(c, row); };
    auto num = [&](int c) { return cache_.value(c, row).toDouble(); };
    auto txt = [&](int c) { return cache_.value(c, row).toString(); };
    if (has(0)) Test_Id = static_cast<qint32>(cache_.value(0, row).toLongLong());
    if (has(1)) TEST_NAME = txt(1);
    if (has(2)) TEST_Date = cache_.value(2, row).toDateTime();
    if (has(3)) RESEARCHER_NAME = txt(3);
    if (has(4)) SAMPLE_WEIGHT = num(4);
    if (has(5)) SAMPLE_LENGTH = num(5);
    if (has(6)) SAMPLE_HARDNESS = num(6);
    if (has(7)) SAMPLE_description = txt(7);
    if (has(8)) SAMPLE_COMPACT_PRESS = num(8);
    if (has(9)) SAMPLE_COMPACT_TIME = num(9);
    if (has(10)) SAMPLE_COMPACT_DATE = txt(10);
    if (has(11)) FLUID_INFO = txt(11);
}

void clsTEST_INFO::AddNew()
{
    if (!insert_) requireOpen(nullptr);
    const QVariant values[] = {TEST_NAME,          TEST_Date,         RESEARCHER_NAME,      SAMPLE_WEIGHT,
                               SAMPLE_LENGTH,      SAMPLE_HARDNESS,   SAMPLE_description,   SAMPLE_COMPACT_PRESS,
                               SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO};
    for (std::size_t i = 0; i < std::size(values); ++i) insert_->setValue(i, values[i]);
    insert_->execute();
    Refresh();
}

void clsTEST_INFO::Delete()
{
    if (!delete_) requireOpen(nullptr);
    delete_->setValue(0, TEST_NAME);
    delete_->execute();
    Refresh();
}

QVariantList clsTEST_INFO::All() const
{
    QVariantList a{double(Test_Id),       TEST_NAME,           TEST_Date,         RESEARCHER_NAME,
                   SAMPLE_WEIGHT,         SAMPLE_LENGTH,       SAMPLE_HARDNESS,   SAMPLE_description,
                   SAMPLE_COMPACT_PRESS,  SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO};
    Q_ASSERT(a.size() == kAllSize);
    return a;
}

void clsTEST_INFO::SetAll(const QVariantList& v)
{
    RecordValue::requireSize(v, kAllSize);
    // The date is checked first, so a refused array changes nothing.
    QDateTime date;
    if (v[2].typeId() == QMetaType::QDateTime || v[2].typeId() == QMetaType::QDate) {
        date = v[2].toDateTime();
    } else {
        const auto parsed = Format::strictDate(v[2].toString());
        if (parsed) date = *parsed;
    }
    if (!date.isValid()) throw DbError(13, QStringLiteral("Type mismatch"));
    const auto id = Format::toInt32(RecordValue::lenientDouble(v[0]));
    if (!id) throw DbError(6, QStringLiteral("Overflow"));
    Test_Id = *id;
    TEST_NAME = v[1].toString();
    TEST_Date = date;
    RESEARCHER_NAME = v[3].toString();
    SAMPLE_WEIGHT = RecordValue::lenientDouble(v[4]);
    SAMPLE_LENGTH = RecordValue::lenientDouble(v[5]);
    SAMPLE_HARDNESS = RecordValue::lenientDouble(v[6]);
    SAMPLE_description = v[7].toString();
    SAMPLE_COMPACT_PRESS = RecordValue::lenientDouble(v[8]);
    SAMPLE_COMPACT_TIME = RecordValue::lenientDouble(v[9]);
    SAMPLE_COMPACT_DATE = v[10].toString();
    FLUID_INFO = v[11].toString();
}
