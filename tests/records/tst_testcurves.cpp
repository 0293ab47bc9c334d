// Kept overlay points over a real database file: given again without a read only while nothing can have
// changed them (no write through the connection, no commit by another connection or process, no open
// transaction, the same connection); otherwise read again (two columns alone, the result record untouched),
// and always equal to what a fresh load of the record reads.
#include "TestSupport.h"
#include "records/SqliteHandle.h"
#include "records/TestCurves.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"

#include <QtTest>

#include <sqlite3.h>

using namespace testsupport;

namespace {

// What a fresh load of the test reads, as kept points.
TestCurves::Curve freshLoad(const clsConnection& connection, qint32 testId)
{
    clsTEST_RESULT fresh;
    fresh.Test_Id = testId;
    fresh.ConnectX(connection);
    TestCurves::Curve c;
    for (const clsTEST_RESULT::Row& r : fresh.rows()) {
        c.time.push_back(r.time);
        c.heightChange.push_back(r.heightChange);
    }
    return c;
}

bool sameCurve(const TestCurves::Curve& a, const TestCurves::Curve& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.timeAt(i) != b.timeAt(i) || a.heightChangeAt(i) != b.heightChangeAt(i)) return false;
    return true;
}

bool execOn(const clsConnection& connection, const char* sql)
{
    return sqlite3_exec(sqliteHandle(connection.ADOConnection()->db()), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

class tst_testcurves : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void reusedOnlyWhileUnchanged_data();
    void reusedOnlyWhileUnchanged();
    void openTransaction();
    void replacedConnection();
    void takenFromTheRecordAndForgetting();
    void columnsInTheRecordsOrder();

private:
    std::unique_ptr<TempWorkDir> dir_;
    std::shared_ptr<clsConnection> conn_;
};

void tst_testcurves::init()
{
    dir_ = std::make_unique<TempWorkDir>();
    conn_ = openConnection();
    QVERIFY(conn_->IsOpen());
    for (int id = 1; id <= 2; ++id)
        QVERIFY(sqlExec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < 9) "
                                       "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                       "SELECT %1, i * 60, i * 0.001 * %1 FROM k")
                            .arg(id)));
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (1, 'One'), (2, 'Two')"));
}

void tst_testcurves::cleanup()
{
    conn_.reset();
    dir_.reset();
}

// A change between two requests for test 1 (test 2 loaded in between, as the overlay does): the second
// request reads again exactly when something may have changed, and always gives what a fresh load reads.
void tst_testcurves::reusedOnlyWhileUnchanged_data()
{
    QTest::addColumn<QString>("how");   // "window": the window's connection; "other": a second connection;
                                        // "process": the sqlite3 program
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("readAgain");
    QTest::newRow("nothing") << "" << "" << false;
    QTest::newRow("a read only") << "window" << "SELECT COUNT(*) FROM TEST_RESULT" << false;
    QTest::newRow("point added, window") << "window"
                                         << "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                            "VALUES (1, 30, 0.5)"
                                         << true;
    QTest::newRow("point changed, window") << "window" << "UPDATE TEST_RESULT SET RESULT_HEIGHT_CHANGE = 0.25 "
                                                          "WHERE TEST_ID = 1 AND RESULT_TIME = 120"
                                           << true;
    QTest::newRow("point added, other connection") << "other"
                                                   << "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, "
                                                      "RESULT_HEIGHT_CHANGE) VALUES (1, 9000, 0.75)"
                                                   << true;
    QTest::newRow("points deleted, other connection") << "other" << "DELETE FROM TEST_RESULT WHERE TEST_ID = 1 "
                                                                    "AND RESULT_TIME > 200"
                                                      << true;
    QTest::newRow("point changed, other process") << "process" << "UPDATE TEST_RESULT SET RESULT_TIME = 1 "
                                                                  "WHERE TEST_ID = 1 AND RESULT_TIME = 540"
                                                  << true;
    // Any write may concern the points: another table's change reads them again too.
    QTest::newRow("header changed, window") << "window" << "UPDATE TEST_INFO SET TEST_NAME = 'Uno' WHERE TEST_ID = 1"
                                            << true;
    QTest::newRow("header changed, other connection") << "other" << "UPDATE TEST_INFO SET TEST_NAME = 'Uno'" << true;
}

void tst_testcurves::reusedOnlyWhileUnchanged()
{
    QFETCH(QString, how);
    QFETCH(QString, sql);
    QFETCH(bool, readAgain);
    TestCurves curves;
    clsTEST_RESULT result;
    const TestCurves::Curve first = curves.curve(result, *conn_, 1);
    QVERIFY(curves.loaded());
    QVERIFY(sameCurve(first, freshLoad(*conn_, 1)));
    curves.curve(result, *conn_, 2);
    QVERIFY(curves.loaded());

    if (how == "window") QVERIFY(execOn(*conn_, sql.toUtf8().constData()));
    if (how == "other") QVERIFY(sqlExec(sql));
    if (how == "process") QCOMPARE(sqliteCommandLine(sql), QString());

    const TestCurves::Curve second = curves.curve(result, *conn_, 1);
    QCOMPARE(curves.loaded(), readAgain);
    // Read again or not, the result record is left as it was: the two columns are read alone.
    QCOMPARE(result.Test_Id, 0);
    QCOMPARE(result.TotalPoints(), 0);
    QVERIFY(sameCurve(second, freshLoad(*conn_, 1)));
    if (readAgain && sql.contains("TEST_RESULT")) QVERIFY(!sameCurve(second, first));
    if (!readAgain) QCOMPARE(curves.bytes(), std::size_t(2 * 2 * 10 * sizeof(double)));
}

// Inside a transaction nothing is kept: points read before a rollback are never given again.
void tst_testcurves::openTransaction()
{
    TestCurves curves;
    clsTEST_RESULT result;
    QVERIFY(execOn(*conn_, "BEGIN"));
    QVERIFY(execOn(*conn_, "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) VALUES (1, 5, 9)"));
    QCOMPARE(curves.curve(result, *conn_, 1).size(), std::size_t(11));
    QVERIFY(execOn(*conn_, "ROLLBACK"));
    const TestCurves::Curve after = curves.curve(result, *conn_, 1);
    QVERIFY(curves.loaded());
    QCOMPARE(after.size(), std::size_t(10));
    QVERIFY(sameCurve(after, freshLoad(*conn_, 1)));

    // Kept before the transaction: a request inside it reads again.
    QVERIFY(execOn(*conn_, "BEGIN"));
    curves.curve(result, *conn_, 1);
    QVERIFY(curves.loaded());
    QVERIFY(execOn(*conn_, "ROLLBACK"));
}

// Points kept from one connection are not given for another, even of the same file.
void tst_testcurves::replacedConnection()
{
    TestCurves curves;
    clsTEST_RESULT result;
    curves.curve(result, *conn_, 1);
    auto second = openConnection();
    curves.curve(result, *second, 1);
    QVERIFY(curves.loaded());
    curves.curve(result, *second, 1);
    QVERIFY(!curves.loaded());
    curves.curve(result, *conn_, 1);
    QVERIFY(curves.loaded());
}

// A result record that holds the test as a load would read it now gives its points unread, and is never
// changed; forgetting keeps only the tests named.
void tst_testcurves::takenFromTheRecordAndForgetting()
{
    TestCurves curves;
    clsTEST_RESULT result;
    result.Test_Id = 1;
    result.ConnectX(*conn_);
    QVERIFY(sameCurve(curves.curve(result, *conn_, 1), freshLoad(*conn_, 1)));
    QVERIFY(!curves.loaded());
    QCOMPARE(curves.curve(result, *conn_, 1).rows.get(), &result.rows());   // shared, not copied
    QCOMPARE(curves.bytes(), std::size_t(0));
    curves.curve(result, *conn_, 2);
    QVERIFY(curves.loaded());
    curves.keepOnly({2});
    QCOMPARE(curves.bytes(), std::size_t(2 * 10 * sizeof(double)));
    curves.curve(result, *conn_, 2);
    QVERIFY(!curves.loaded());
    // The record's rows are stale after a write: read again, the record untouched.
    QVERIFY(execOn(*conn_, "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) VALUES (1, 5, 9)"));
    QCOMPARE(curves.curve(result, *conn_, 1).size(), std::size_t(11));
    QVERIFY(curves.loaded());
    QVERIFY(sameCurve(curves.curve(result, *conn_, 1), freshLoad(*conn_, 1)));
    QCOMPARE(result.TotalPoints(), 10);
    QCOMPARE(result.Test_Id, 1);
    curves.clear();
    QCOMPARE(curves.bytes(), std::size_t(0));
}

// The two columns read alone come in the record load's order and values: points of equal time in the
// order they were stored (whatever their ids' insertion order), nulls as 0.
void tst_testcurves::columnsInTheRecordsOrder()
{
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (RESULT_ID, TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) VALUES "
                    "(900, 1, 120, 0.9), (50, 1, 120, 0.05), (901, 1, NULL, 0.7), (902, 1, 60, NULL)"));
    TestCurves curves;
    clsTEST_RESULT result;
    const TestCurves::Curve& c = curves.curve(result, *conn_, 1);
    QVERIFY(curves.loaded());
    QCOMPARE(c.size(), std::size_t(14));
    QVERIFY(sameCurve(c, freshLoad(*conn_, 1)));
    QCOMPARE(result.TotalPoints(), 0);
}

QTEST_GUILESS_MAIN(tst_testcurves)
#include "tst_testcurves.moc"
