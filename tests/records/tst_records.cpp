// The four record classes over a real database file: binding, detail queries, navigation, writing,
// `All` in both directions, defaults and the errors that reach the caller.
#include "TestSupport.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

#include <QtTest>

using namespace testsupport;

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyTablesBindWithEof();
    void testDetailNotFoundGivesDefaults();
    void testAddNewAndDetailRoundTrip();
    void testListIsNewestFirstAndNamesIgnoreCase();
    void duplicateNamesDetailFirstAndDeleteBoth();
    void detailByIdIsThatRowOnly();
    void nullColumnsKeepDefaults();
    void bigIdReadsBackUnchanged();
    void textLongerThanItsColumnIsRefused_data();
    void textLongerThanItsColumnIsRefused();
    void quotesAreStoredIntact();
    void testAllWrite_data();
    void testAllWrite();
    void testAllWriteRefusesBadDateAndShortArray();

    void resultsLoadInTimeOrderAndCursorWalks();
    void resultsLongLoadKeepsEveryRowAndGivesItsMemoryBack();
    void resultsAddNewLeavesCacheUntilConnectX();
    void resultsDeleteRemovesTheTestsPoints();
    void resultsNullColumnsReadZero();
    void resultsFailedLoadLeavesNoPoints();

    void sequenceDetailKeepsDefaultTimings();
    void sequenceDetailNotFound();
    void sequenceUpdateAndDeleteByName();
    void sequenceAllWrite_data();
    void sequenceAllWrite();
    void sequenceAllWriteRefuses();

    void stepsComeInStepOrder();
    void stepDefaultsAreInserted();
    void stepDeleteThenConnectGivesEof();

private:
    std::unique_ptr<TempWorkDir> dir_;
    std::shared_ptr<clsConnection> conn_;
    void addTest(const QString& name, const QString& date = "2024-01-01 00:00:00");
};

void TestRecords::init()
{
    dir_ = std::make_unique<TempWorkDir>();
    conn_ = openConnection();
    QVERIFY(conn_->IsOpen());
}

void TestRecords::cleanup()
{
    conn_.reset();
    dir_.reset();
}

void TestRecords::addTest(const QString& name, const QString& date)
{
    QVERIFY(sqlExec(QString("INSERT INTO TEST_INFO (TEST_NAME, TEST_DATE, SAMPLE_description, FLUID_INFO) "
                            "VALUES ('%1', '%2', 'd-%1', 'f-%1')")
                        .arg(name, date)));
}

void TestRecords::emptyTablesBindWithEof()
{
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    QVERIFY(info.EOF_());
    QCOMPARE(info.UsedName().rowCount(), 0);
    clsTEST_RESULT result;
    result.ConnectX(*conn_);   // Test_Id 0
    QVERIFY(result.EOF_());
    QCOMPARE(result.TotalPoints(), 0);
    clsSEQUENCE_INFO seq;
    seq.ConnectX(*conn_);
    QVERIFY(seq.EOF_());
    QCOMPARE(seq.JustName().rowCount(), 0);
    clsSEQUENCE_STEP step;
    step.SequenceId = 4;
    step.ConnectX(*conn_);
    QVERIFY(step.EOF_());
    step.MoveFirst();
    QVERIFY(step.EOF_());
}

void TestRecords::testDetailNotFoundGivesDefaults()
{
    addTest("present");
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "absent";
    info.SAMPLE_WEIGHT = 9;
    info.GetTestDetail();
    QVERIFY(info.EOF_());
    QVERIFY(info.BOF());
    QCOMPARE(info.TEST_NAME, QString());
    QCOMPARE(info.RESEARCHER_NAME, QString("UNKOWN"));
    QCOMPARE(info.SAMPLE_WEIGHT, 0.0);
    QCOMPARE(info.Test_Id, 0);
    QCOMPARE(info.TEST_Date, QDateTime(QDate::currentDate(), QTime(0, 0)));
}

void TestRecords::testAddNewAndDetailRoundTrip()
{
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "Shale 7";
    info.TEST_Date = QDateTime(QDate(2023, 5, 6), QTime(14, 7, 9));
    info.RESEARCHER_NAME = "Ann";
    info.SAMPLE_WEIGHT = 12.5;
    info.SAMPLE_LENGTH = 0.5;
    info.SAMPLE_HARDNESS = 3;
    info.SAMPLE_description = "grey";
    info.SAMPLE_COMPACT_PRESS = 1000;
    info.SAMPLE_COMPACT_TIME = 30;
    info.SAMPLE_COMPACT_DATE = "5/1/2023";
    info.FLUID_INFO = "brine";
    info.AddNew();
    QCOMPARE(sqlValue("SELECT TEST_DATE FROM TEST_INFO"), QString("2023-05-06 14:07:09"));

    clsTEST_INFO other;
    other.ConnectX(*conn_);
    other.TEST_NAME = "Shale 7";
    other.GetTestDetail();
    QVERIFY(!other.EOF_() && !other.BOF());
    QVERIFY(other.Test_Id > 0);
    QVariantList expected = info.All();
    expected[0] = double(other.Test_Id);
    QCOMPARE(other.All(), expected);
    QCOMPARE(other.All().size(), 12);
}

void TestRecords::testListIsNewestFirstAndNamesIgnoreCase()
{
    addTest("old", "2020-01-02 10:00:00");
    addTest("new", "2024-11-30 09:00:00");
    addTest("mid", "2021-12-31 23:59:59");
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    const RowTable list = info.UsedName();
    QCOMPARE(list.columnCount(), 4);
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(list.value(0, 0).toString(), QString("new"));
    QCOMPARE(list.value(0, 1).toString(), QString("mid"));
    QCOMPARE(list.value(0, 2).toString(), QString("old"));
    QCOMPARE(list.value(1, 0).toDateTime(), QDateTime(QDate(2024, 11, 30), QTime(9, 0)));
    QCOMPARE(list.value(2, 0).toString(), QString("d-new"));
    QCOMPARE(list.value(3, 0).toString(), QString("f-new"));
    info.TEST_NAME = "MID";
    info.GetTestDetail();
    QCOMPARE(info.TEST_NAME, QString("mid"));
}

void TestRecords::duplicateNamesDetailFirstAndDeleteBoth()
{
    addTest("twin", "2020-01-01 00:00:00");
    addTest("twin", "2021-01-01 00:00:00");
    addTest("other");
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "twin";
    info.GetTestDetail();
    QCOMPARE(info.TEST_Date.date().year(), 2020);
    info.Delete();
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_INFO WHERE TEST_NAME = 'twin'"), QString("0"));
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_INFO"), QString("1"));
}

// By id: that row, whatever other rows share its name; an id no longer stored gives the defaults.
void TestRecords::detailByIdIsThatRowOnly()
{
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, RESEARCHER_NAME) VALUES "
                    "(5, 'twin', 'first'), (6, 'TWIN', 'second')"));
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.Test_Id = 6;
    info.GetTestDetailById();
    QVERIFY(!info.BOF());
    QCOMPARE(info.Test_Id, 6);
    QCOMPARE(info.TEST_NAME, QString("TWIN"));
    QCOMPARE(info.RESEARCHER_NAME, QString("second"));
    QVERIFY(sqlExec("DELETE FROM TEST_INFO WHERE TEST_ID = 6"));
    info.Test_Id = 6;
    info.GetTestDetailById();
    QVERIFY(info.BOF() && info.EOF_());
    QCOMPARE(info.Test_Id, 0);
    QCOMPARE(info.TEST_NAME, QString());
    QCOMPARE(info.RESEARCHER_NAME, QString("UNKOWN"));
}

void TestRecords::nullColumnsKeepDefaults()
{
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_NAME, SAMPLE_LENGTH) VALUES ('bare', 0.25)"));
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "bare";
    info.GetTestDetail();
    QCOMPARE(info.SAMPLE_LENGTH, 0.25);
    QCOMPARE(info.RESEARCHER_NAME, QString("UNKOWN"));
    QCOMPARE(info.TEST_Date, QDateTime(QDate::currentDate(), QTime(0, 0)));
    QCOMPARE(info.FLUID_INFO, QString());
}

void TestRecords::bigIdReadsBackUnchanged()
{
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (40000, 'big')"));
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "big";
    info.GetTestDetail();
    QCOMPARE(info.Test_Id, 40000);
}

void TestRecords::textLongerThanItsColumnIsRefused_data()
{
    QTest::addColumn<int>("field");   // 1 name, 3 researcher, 7 description, 10 compact date, 11 fluid
    QTest::addColumn<int>("limit");
    QTest::newRow("name 100") << 1 << 100;
    QTest::newRow("researcher 50") << 3 << 50;
    QTest::newRow("description 255") << 7 << 255;
    QTest::newRow("compact date 50") << 10 << 50;
    QTest::newRow("fluid 255") << 11 << 255;
}

void TestRecords::textLongerThanItsColumnIsRefused()
{
    QFETCH(int, field);
    QFETCH(int, limit);
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    QVariantList all = info.All();
    all[1] = "t";
    all[field] = QString(limit, 'x');
    info.SetAll(all);
    info.AddNew();   // exactly at the limit: stored
    all[field] = QString(limit + 1, 'x');
    info.SetAll(all);
    QVERIFY_THROWS_EXCEPTION(DbError, info.AddNew());
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_INFO"), QString("1"));
    if (field == 1) {   // the detail query refuses a name longer than its parameter too
        info.TEST_NAME = QString(101, 'n');
        QVERIFY_THROWS_EXCEPTION(DbError, info.GetTestDetail());
    }
}

void TestRecords::quotesAreStoredIntact()
{
    clsTEST_INFO info;
    info.ConnectX(*conn_);
    info.TEST_NAME = "O'Brien's \"test\"; DROP TABLE TEST_INFO; --";
    info.AddNew();
    info.GetTestDetail();
    QVERIFY(!info.EOF_());
    QCOMPARE(info.TEST_NAME, QString("O'Brien's \"test\"; DROP TABLE TEST_INFO; --"));
}

void TestRecords::testAllWrite_data()
{
    QTest::addColumn<QVariant>("weight");
    QTest::addColumn<double>("stored");
    QTest::newRow("number") << QVariant(2.5) << 2.5;
    QTest::newRow("text with unit") << QVariant("12.5 g") << 12.5;
    QTest::newRow("abc") << QVariant("abc") << 0.0;
    QTest::newRow("empty") << QVariant("") << 0.0;
}

void TestRecords::testAllWrite()
{
    QFETCH(QVariant, weight);
    QFETCH(double, stored);
    clsTEST_INFO info;
    QVariantList all = info.All();
    all[4] = weight;
    all[2] = "3/4/2022 10:30";
    info.SetAll(all);
    QCOMPARE(info.SAMPLE_WEIGHT, stored);
    QCOMPARE(info.TEST_Date, QDateTime(QDate(2022, 3, 4), QTime(10, 30)));
}

void TestRecords::testAllWriteRefusesBadDateAndShortArray()
{
    clsTEST_INFO info;
    info.SAMPLE_WEIGHT = 7;
    QVariantList all = info.All();
    all[2] = "not a date";
    all[4] = 1;
    QVERIFY_THROWS_EXCEPTION(DbError, info.SetAll(all));
    QCOMPARE(info.SAMPLE_WEIGHT, 7.0);
    QVERIFY_THROWS_EXCEPTION(DbError, info.SetAll(all.mid(0, 11)));
}

void TestRecords::resultsLoadInTimeOrderAndCursorWalks()
{
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP) VALUES "
                    "(5, 1, 30, 3), (5, 1, 10, 1), (6, 1, 5, 99), (5, 2, 20, 2), (5, 2, 20, 2.5)"));
    clsTEST_RESULT r;
    r.Test_Id = 5;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 4);
    QList<double> times;
    r.MoveFirst();
    while (!r.EOF_()) {
        const QVariantList all = r.All();
        QCOMPARE(all.size(), 9);
        QCOMPARE(all[1].toInt(), 5);
        times << all[3].toDouble();
        r.MoveNext();
    }
    QCOMPARE(times, (QList<double>{10, 20, 20, 30}));
    // MoveNext at the last row keeps the last row readable.
    QCOMPARE(r.RESULT_TIME, 30.0);
    QCOMPARE(r.RESULT_TEMP, 3.0);
    r.MoveNext();
    QVERIFY(r.EOF_());
    QCOMPARE(r.RESULT_TIME, 30.0);
}

namespace {
// Whether a mapping of this process starts at p (/proc/self/maps).
bool mappedAt(const void* p)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    const QByteArray start = QByteArray::number(quintptr(p), 16) + '-';
    for (const QByteArray& line : maps.readAll().split('\n'))
        if (line.startsWith(start)) return true;
    return false;
}
} // namespace

// A long test's rows (megabytes of them) come whole and in time order from their own 2 MB aligned mapping,
// which goes back to the system once a later load replaces them.
void TestRecords::resultsLongLoadKeepsEveryRowAndGivesItsMemoryBack()
{
    constexpr int n = 50000;   // 2.8 MB of rows
    QVERIFY(sqlExec(QString("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                            "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_VOLT) "
                            "SELECT 7, i % 5, %1 - i, i * 0.5, i FROM k")
                        .arg(n - 1)));
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME) VALUES (8, 1, 1)"));
    clsTEST_RESULT r;
    r.Test_Id = 7;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), n);
    const clsTEST_RESULT::Row* first = r.rows().data();
    QCOMPARE(quintptr(first) % (2u << 20), quintptr(0));
    QVERIFY(mappedAt(first));
    for (int k = 0; k < n; ++k) {
        const clsTEST_RESULT::Row& p = r.rows()[std::size_t(k)];
        if (p.time != k || p.temp != (n - 1 - k) * 0.5 || p.volt != n - 1 - k || p.step != (n - 1 - k) % 5)
            QFAIL(qPrintable(QString("row %1 reads %2 %3 %4 %5").arg(k).arg(p.time).arg(p.temp).arg(p.volt).arg(p.step)));
    }
    // A shared holder keeps the rows past the next load; the last holder's release unmaps them.
    std::shared_ptr<const clsTEST_RESULT::Rows> held = r.sharedRows();
    r.Test_Id = 8;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 1);
    QVERIFY(mappedAt(first));
    QCOMPARE(held->back().time, double(n - 1));
    held.reset();
    QVERIFY(!mappedAt(first));
}

void TestRecords::resultsAddNewLeavesCacheUntilConnectX()
{
    clsTEST_RESULT r;
    r.Test_Id = 3;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 0);
    r.STEP_NO = 1;
    r.RESULT_TIME = 2;
    r.RESULT_TEMP = 150.5;
    r.RESULT_BATHTEMP = 151;
    r.RESULT_PRESS = 300;
    r.RESULT_HEIGHT_CHANGE = 0.0125;
    r.RESULT_VOLT = 1.6;
    r.AddNew();
    QCOMPARE(r.TotalPoints(), 0);
    QVERIFY(r.EOF_());
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 1);
    r.MoveFirst();
    const QVariantList all = r.All();
    QVERIFY(all[0].toInt() > 0);
    QCOMPARE(all.mid(1), (QVariantList{3, 1, 2.0, 150.5, 151.0, 300.0, 0.0125, 1.6}));
}

void TestRecords::resultsDeleteRemovesTheTestsPoints()
{
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME) VALUES (8, 1), (8, 2), (9, 1)"));
    clsTEST_RESULT r;
    r.Test_Id = 8;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 2);
    r.Delete();
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 0);
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT"), QString("1"));
}

void TestRecords::resultsNullColumnsReadZero()
{
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_VOLT) VALUES (4, 1, NULL)"));
    clsTEST_RESULT r;
    r.Test_Id = 4;
    r.ConnectX(*conn_);
    r.RESULT_VOLT = 5;
    r.MoveFirst();
    QCOMPARE(r.RESULT_VOLT, 0.0);
    QCOMPARE(r.STEP_NO, 0);
    QCOMPARE(r.RESULT_TIME, 1.0);
}

// A load that fails leaves no stale points behind: the count and the cursor agree with the empty cache.
void TestRecords::resultsFailedLoadLeavesNoPoints()
{
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME) VALUES (5, 1), (5, 2)"));
    clsTEST_RESULT r;
    r.Test_Id = 5;
    r.ConnectX(*conn_);
    QCOMPARE(r.TotalPoints(), 2);
    QVERIFY(sqlExec("ALTER TABLE TEST_RESULT RENAME TO TEST_RESULT_AWAY"));
    QVERIFY_THROWS_EXCEPTION(DbError, r.ConnectX(*conn_));
    QCOMPARE(r.TotalPoints(), 0);
    QVERIFY(r.rows().empty());
    QVERIFY(r.EOF_());
}

void TestRecords::sequenceDetailKeepsDefaultTimings()
{
    QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) "
                    "VALUES ('ramp', 30, 90), ('alpha', 1, 1)"));
    clsSEQUENCE_INFO s;
    s.ConnectX(*conn_);
    const RowTable names = s.JustName();
    QCOMPARE(names.rowCount(), 2);
    QCOMPARE(names.value(0, 0).toString(), QString("alpha"));
    s.SEQUENCE_NAME = "ramp";
    s.GetSeqDetail();
    QVERIFY(!s.EOF_());
    QVERIFY(s.SEQUENCE_ID > 0);
    QCOMPARE(s.TIME_BEFORE_READ, 20.0);
    QCOMPARE(s.SAMPLE_INTERVAL, 60);
}

void TestRecords::sequenceDetailNotFound()
{
    clsSEQUENCE_INFO s;
    s.ConnectX(*conn_);
    s.SEQUENCE_ID = 4;
    s.SEQUENCE_NAME = "none";
    s.GetSeqDetail();
    QVERIFY(s.EOF_());
    QCOMPARE(s.SEQUENCE_ID, 0.0);
    QCOMPARE(s.SEQUENCE_NAME, QString());
}

void TestRecords::sequenceUpdateAndDeleteByName()
{
    clsSEQUENCE_INFO s;
    s.ConnectX(*conn_);
    s.SEQUENCE_NAME = "dup";
    s.AddNew();
    s.AddNew();
    s.GetSeqDetail();
    s.SEQUENCE_NAME = "renamed";
    s.TIME_BEFORE_READ = 5;
    s.setSAMPLE_INTERVAL(7);
    s.Update();
    QCOMPARE(sqlValue("SELECT count(*) FROM SEQUENCE_INFO WHERE SEQUENCE_NAME = 'renamed' AND "
                      "TIME_BEFORE_READ = 5 AND SAMPLE_INTERVAL = 7"),
             QString("1"));
    s.SEQUENCE_ID = 999;   // no such row: nothing changes, no error
    s.Update();
    s.SEQUENCE_NAME = "dup";
    s.AddNew();
    s.Delete();
    QCOMPARE(sqlValue("SELECT group_concat(SEQUENCE_NAME) FROM SEQUENCE_INFO"), QString("renamed"));
}

void TestRecords::sequenceAllWrite_data()
{
    QTest::addColumn<QVariant>("interval");
    QTest::addColumn<int>("held");
    QTest::newRow("2.5 to even") << QVariant(2.5) << 2;
    QTest::newRow("3.5 to even") << QVariant(3.5) << 4;
    QTest::newRow("text 12") << QVariant(" 12 ") << 12;
    QTest::newRow("-2.5") << QVariant(-2.5) << -2;
}

void TestRecords::sequenceAllWrite()
{
    QFETCH(QVariant, interval);
    QFETCH(int, held);
    clsSEQUENCE_INFO s;
    s.SetAll({3, "x", 20, interval});
    QCOMPARE(s.SAMPLE_INTERVAL, held);
    QCOMPARE(s.SEQUENCE_ID, 3.0);
    QCOMPARE(s.All().size(), 8);
}

void TestRecords::sequenceAllWriteRefuses()
{
    clsSEQUENCE_INFO s;
    QVERIFY_THROWS_EXCEPTION(DbError, s.SetAll({"abc", "x", 20, 1}));
    QVERIFY_THROWS_EXCEPTION(DbError, s.SetAll({1, "x", 20, "abc"}));
    QVERIFY_THROWS_EXCEPTION(DbError, s.SetAll({1, "x", 20}));
    QCOMPARE(s.SEQUENCE_NAME, QString());
    s.ConnectX(*conn_);
    s.SetAll({1, QString(51, 'x'), 20, 1});
    QVERIFY_THROWS_EXCEPTION(DbError, s.AddNew());
    QCOMPARE(sqlValue("SELECT count(*) FROM SEQUENCE_INFO"), QString("0"));
}

void TestRecords::stepsComeInStepOrder()
{
    clsSEQUENCE_STEP st;
    st.SequenceId = 11;
    st.ConnectX(*conn_);
    for (double n : {3.0, 1.0, 2.0}) {
        st.STEPNO = n;
        st.STEP_ELAPSE_TIME = n * 10;
        st.STEP_TEMP = 100 + n;
        st.AddNew();
    }
    QVERIFY(st.EOF_());   // the cache is unchanged by AddNew
    st.ConnectX(*conn_);
    QList<double> order;
    st.MoveFirst();
    while (!st.EOF_()) {
        order << st.All()[2].toDouble();
        QCOMPARE(st.STEP_TEMP, 100 + st.STEPNO);
        st.MoveNext();
    }
    QCOMPARE(order, (QList<double>{1, 2, 3}));
}

void TestRecords::stepDefaultsAreInserted()
{
    clsSEQUENCE_STEP st;
    st.ConnectX(*conn_);
    st.SequenceId = 2;
    st.STEPNO = 1;
    st.STEP_ELAPSE_TIME = 60;
    st.STEP_TEMP = 300;
    st.AddNew();
    QCOMPARE(sqlValue("SELECT RECORD_RATE || '/' || STEP_PRESS FROM SEQUENCE_STEP"), QString("1.0/0.0"));
    QVERIFY(sqlExec("UPDATE SEQUENCE_STEP SET RECORD_RATE = NULL"));
    st.ConnectX(*conn_);
    st.MoveFirst();
    QCOMPARE(st.RECORD_RATE, 1.0);
}

void TestRecords::stepDeleteThenConnectGivesEof()
{
    QVERIFY(sqlExec("INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO) VALUES (5, 1), (5, 2), (6, 1)"));
    clsSEQUENCE_STEP st;
    st.SequenceId = 5;
    st.ConnectX(*conn_);
    QCOMPARE(st.Count(), 2);
    st.Delete();
    st.ConnectX(*conn_);
    QVERIFY(st.EOF_());
    QCOMPARE(sqlValue("SELECT count(*) FROM SEQUENCE_STEP"), QString("1"));
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
