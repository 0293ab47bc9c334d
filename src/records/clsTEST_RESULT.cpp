#include "records/clsTEST_RESULT.h"

#include "records/clsConnection.h"

#include <QSqlQuery>

const QString clsTEST_RESULT::LoadSql = QStringLiteral(
    "SELECT RESULT_ID, TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, RESULT_PRESS, "
    "RESULT_HEIGHT_CHANGE, RESULT_VOLT  FROM TEST_RESULT Where TEST_ID = ?  ORDER BY RESULT_TIME ");
const QString clsTEST_RESULT::DeleteSql = QStringLiteral("DELETE  FROM TEST_RESULT  WHERE TEST_ID = ?");
const QString clsTEST_RESULT::InsertSql = QStringLiteral(
    "INSERT INTO  TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, RESULT_PRESS, "
    "RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");

clsTEST_RESULT::clsTEST_RESULT() { SetDefaults(); }
clsTEST_RESULT::~clsTEST_RESULT() = default;

void clsTEST_RESULT::SetDefaults()
{
    RESULT_ID = 0;
    Test_Id = 0;
    STEP_NO = 0;
    RESULT_TIME = RESULT_TEMP = RESULT_BATHTEMP = RESULT_PRESS = RESULT_HEIGHT_CHANGE = RESULT_VOLT = 0;
}

void clsTEST_RESULT::ConnectX(const clsConnection& connection)
{
    bindTo(connection);
    load_ = std::make_unique<Command>(handle_, LoadSql, std::vector<Parameter>{{"pTEST_ID", adInteger, 0, {}}});
    delete_ = std::make_unique<Command>(handle_, DeleteSql, std::vector<Parameter>{{"pTEST_ID", adInteger, 0, {}}});
    insert_ = std::make_unique<Command>(handle_, InsertSql,
                                        std::vector<Parameter>{{"pTEST_ID", adInteger, 0, {}},
                                                               {"pSTEP_NO", adInteger, 0, {}},
                                                               {"pRESULT_TIME", adDouble, 0, {}},
                                                               {"pRESULT_TEMP", adDouble, 0, {}},
                                                               {"pRESULT_BATHTEMP", adDouble, 0, {}},
                                                               {"pRESULT_PRESS", adDouble, 0, {}},
                                                               {"pRESULT_HEIGHT_CHANGE", adDouble, 0, {}},
                                                               {"pRESULT_VOLT", adDouble, 0, {}}});
    load_->setValue(0, Test_Id);
    QSqlQuery& q = load_->executeQuery();
    rows_.clear();
    auto i32 = [&q](int c) { return q.isNull(c) ? 0 : static_cast<qint32>(q.value(c).toLongLong()); };
    auto dbl = [&q](int c) { return q.isNull(c) ? 0.0 : q.value(c).toDouble(); };
    while (q.next()) {
        rows_.push_back({i32(0), i32(1), i32(2), dbl(3), dbl(4), dbl(5), dbl(6), dbl(7), dbl(8)});
    }
    load_->finish();
    rows_.shrink_to_fit();
    count_ = static_cast<int>(rows_.size());
    eof_ = count_ == 0;
}

void clsTEST_RESULT::loadRow(int row)
{
    const Row& r = rows_.at(std::size_t(row));
    RESULT_ID = r.id;
    Test_Id = r.testId;
    STEP_NO = r.step;
    RESULT_TIME = r.time;
    RESULT_TEMP = r.temp;
    RESULT_BATHTEMP = r.bathTemp;
    RESULT_PRESS = r.press;
    RESULT_HEIGHT_CHANGE = r.heightChange;
    RESULT_VOLT = r.volt;
}

void clsTEST_RESULT::AddNew()
{
    if (!insert_) requireOpen(nullptr);
    const QVariant values[] = {Test_Id,      STEP_NO,       RESULT_TIME,          RESULT_TEMP,
                               RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT};
    for (std::size_t i = 0; i < std::size(values); ++i) insert_->setValue(i, values[i]);
    insert_->execute();
    Refresh();
}

void clsTEST_RESULT::Delete()
{
    if (!delete_) requireOpen(nullptr);
    delete_->setValue(0, Test_Id);
    delete_->execute();
    Refresh();
}

QVariantList clsTEST_RESULT::All() const
{
    return {RESULT_ID,    Test_Id,      STEP_NO,
            RESULT_TIME,  RESULT_TEMP,  RESULT_BATHTEMP,
            RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT};
}
