#include "records/clsTEST_RESULT.h"

#include "records/clsConnection.h"
#include "records/DbError.h"
#include "records/SqliteHandle.h"

#include <QSqlQuery>

#include <algorithm>

#include <sqlite3.h>

const QString clsTEST_RESULT::LoadSql = QStringLiteral(
    "SELECT RESULT_ID, TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, RESULT_PRESS, "
    "RESULT_HEIGHT_CHANGE, RESULT_VOLT  FROM TEST_RESULT Where TEST_ID = ?  ORDER BY RESULT_TIME ");
const QString clsTEST_RESULT::DeleteSql = QStringLiteral("DELETE  FROM TEST_RESULT  WHERE TEST_ID = ?");
const QString clsTEST_RESULT::InsertSql = QStringLiteral(
    "INSERT INTO  TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, RESULT_PRESS, "
    "RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");

const QString clsTEST_RESULT::HeaderSql =
    QStringLiteral("SELECT 1 FROM TEST_INFO WHERE TEST_ID = ? AND TEST_NAME = ?");

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
    // A load that fails part of the way leaves an empty cache, never the count of an earlier load. The
    // rows of an earlier load stay as they are for whoever shares them.
    rows_ = std::make_shared<Rows>();
    rowsTestId_ = Test_Id;
    count_ = 0;
    eof_ = true;
    loadedState_ = {};
    bindTo(connection);
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
    header_ = std::make_unique<Command>(handle_, HeaderSql,
                                        std::vector<Parameter>{{"pTEST_ID", adInteger, 0, {}},
                                                               {"pTEST_NAME", adVarChar, 100, {}}});
    // Taken before the read: whatever is committed while it reads makes the rows stale.
    const DbSnapshot before = DbSnapshot::of(connection);
    loadRows();
    count_ = static_cast<int>(rows_->size());
    eof_ = count_ == 0;
    if (before.valid && DbSnapshot::of(connection).sameAs(before)) {
        loadedState_ = before;
        loadedTestId_ = Test_Id;
    }
}

void clsTEST_RESULT::ReleaseRows()
{
    rows_ = std::make_shared<Rows>();
    count_ = 0;
    position_ = 0;
    eof_ = true;
    loadedState_ = {};
    loadedTestId_ = 0;
}

bool clsTEST_RESULT::Holds(const clsConnection& connection, qint32 testId) const
{
    return handle_ && handle_ == connection.ADOConnection() && loadedTestId_ == testId
           && loadedState_.sameAs(DbSnapshot::of(connection));
}

bool clsTEST_RESULT::LoadIfStale(const clsConnection& connection)
{
    if (Holds(connection, Test_Id)) return false;
    ConnectX(connection);
    return true;
}

// Long tests are read straight from the SQLite handle under the driver: the statement of LoadSql, a null
// read as 0, and no QVariant per cell. A failure part way leaves no rows and raises DbError.
void clsTEST_RESULT::loadRows()
{
    static const QByteArray sql = LoadSql.toUtf8();
    // The room for the rows is taken once, from a count of the index alone (a small part of the read): rows
    // that grow and are trimmed would be copied and their fresh pages touched about three times over. The
    // count is only a size hint; the read itself decides what the rows are.
    static const QByteArray countSql = QByteArrayLiteral("SELECT COUNT(*) FROM TEST_RESULT WHERE TEST_ID = ?");
    try {
        Rows& rows = *rows_;
        forEachRow(handle_->db(), countSql, Test_Id, [&rows](sqlite3_stmt* stmt) {
            rows.reserve(std::size_t(std::max<sqlite3_int64>(0, sqlite3_column_int64(stmt, 0))));
        });
        forEachRow(handle_->db(), sql, Test_Id, [&rows](sqlite3_stmt* stmt) {
            auto i32 = [stmt](int c) { return static_cast<qint32>(sqlite3_column_int64(stmt, c)); };
            auto dbl = [stmt](int c) { return sqlite3_column_double(stmt, c); };
            rows.push_back({i32(0), i32(2), dbl(3), dbl(4), dbl(5), dbl(6), dbl(7), dbl(8)});
        });
    } catch (...) {
        rows_->clear();
        throw;
    }
    rows_->shrink_to_fit();   // only when the count said more than the read gave
}

void clsTEST_RESULT::loadRow(int row)
{
    const Row& r = rows_->at(std::size_t(row));
    RESULT_ID = r.id;
    Test_Id = rowsTestId_;
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

bool clsTEST_RESULT::HeaderStored(const QString& testName)
{
    if (!header_) requireOpen(nullptr);
    header_->setValue(0, Test_Id);
    header_->setValue(1, testName);
    const bool found = header_->executeQuery().next();
    header_->finish();
    return found;
}

QVariantList clsTEST_RESULT::All() const
{
    return {RESULT_ID,    Test_Id,      STEP_NO,
            RESULT_TIME,  RESULT_TEMP,  RESULT_BATHTEMP,
            RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT};
}
