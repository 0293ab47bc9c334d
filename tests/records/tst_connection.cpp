// The database connection: opening, refusing missing and foreign files, the transaction tokens, and the
// database rules every record class relies on (schema, ids, journal).
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "records/TestCurves.h"

#include <QSqlQuery>
#include <QtTest>

#include <filesystem>

using namespace testsupport;

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void opensTheWorkingFoldersDatabase();
    void refusesMissingOrForeignFiles_data();
    void refusesMissingOrForeignFiles();
    void neverCreatesAMissingFile();
    void refusesADatabaseThatCannotBeWritten_data();
    void refusesADatabaseThatCannotBeWritten();
    void transactionTokens();
    void rollBackUndoesAndWrongTokenTouchesNothing();
    void replacedConnectionStaysUsableByBoundRecords();
    void deletedIdIsNeverReused();
    void createDatabaseRefusesToOverwrite();
    void olderFileGetsTheOverlayIndex_data();
    void olderFileGetsTheOverlayIndex();
};

void TestConnection::opensTheWorkingFoldersDatabase()
{
    TempWorkDir dir;
    platform::ScriptedPrompts prompts;
    clsConnection c;
    QVERIFY(!c.IsOpen());
    c.OpenDB("Admin", "", "Torvan", "");
    QVERIFY(c.IsOpen());
    QVERIFY(prompts.shown.empty());
    QVERIFY(!c.InTransaction());
    QCOMPARE(sqlValue("PRAGMA journal_mode"), QString("wal"));
    QSqlQuery q(c.ADOConnection()->db());
    QVERIFY(q.exec("PRAGMA synchronous"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 2);   // FULL
}

void TestConnection::refusesMissingOrForeignFiles_data()
{
    QTest::addColumn<QByteArray>("content");   // empty: no file at all
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "Torvan.accdb";
    QTest::newRow("not a database") << QByteArray("this is a text file, not a database\n").repeated(200)
                                    << "not a database";
}

void TestConnection::refusesMissingOrForeignFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    TempWorkDir dir(false);
    if (!content.isEmpty()) dir.write("Torvan.accdb", content);
    platform::ScriptedPrompts prompts;
    clsConnection c;
    c.OpenDB();
    QVERIFY(!c.IsOpen());
    QCOMPARE(prompts.shown.size(), std::size_t(1));
    const auto& box = prompts.shown[0];
    QCOMPARE(box.kind, platform::ScriptedPrompts::Kind::Message);
    QVERIFY2(box.text.startsWith("clsConnection.OpenConnection: Error #: "), qPrintable(box.text));
    QVERIFY2(box.text.contains("\r\n") && box.text.contains(reason), qPrintable(box.text));
    QCOMPARE(box.icon, platform::Icon::None);
    QCOMPARE(c.LastError(), box.text);
    QVERIFY(!c.InTransaction());
    // The first use by a record object fails in the caller.
    clsTEST_INFO info;
    QVERIFY_THROWS_EXCEPTION(DbError, info.ConnectX(c));
}

void TestConnection::neverCreatesAMissingFile()
{
    TempWorkDir dir(false);
    platform::ScriptedPrompts prompts;
    clsConnection c;
    c.OpenDB();
    QVERIFY(!QFile::exists(dir.file("Torvan.accdb")));
}

void TestConnection::refusesADatabaseThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("entry");   // made write-protected; "." is the folder
    QTest::addColumn<QString>("named");   // the file or folder the message names
    QTest::newRow("database") << "Torvan.accdb" << "Torvan.accdb";
    QTest::newRow("left-over -wal") << "Torvan.accdb-wal" << "Torvan.accdb-wal";
    QTest::newRow("left-over -shm") << "Torvan.accdb-shm" << "Torvan.accdb-shm";
    QTest::newRow("folder") << "." << "";
}

// Write protection is read from the permission bits as well as asked of the system, so the refusal holds
// for a user the system lets write anyway (root). Once writing is allowed again the database opens
// read-write and takes points: no file that the refused run made or left blocks it.
void TestConnection::refusesADatabaseThatCannotBeWritten()
{
    namespace fs = std::filesystem;
    QFETCH(QString, entry);
    QFETCH(QString, named);
    TempWorkDir dir;
    QVERIFY(sqlExec("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME) VALUES (1, 10)"));
    const auto path = [&](const QString& name) { return fs::path(QFile::encodeName(dir.file(name)).toStdString()); };
    for (const char* companion : {"Torvan.accdb-wal", "Torvan.accdb-shm"})
        if (entry == QLatin1String(companion)) dir.write(companion, {});   // as a crashed run leaves them
    const fs::perms before = fs::status(path(entry)).permissions();
    fs::permissions(path(entry), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read |
                                     (entry == "." ? fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec
                                                   : fs::perms::none));
    {
        platform::ScriptedPrompts prompts;
        clsConnection c;
        c.OpenDB();
        QVERIFY(!c.IsOpen());
        QCOMPARE(prompts.shown.size(), std::size_t(1));
        const QString text = prompts.shown[0].text;
        QVERIFY2(text.startsWith("clsConnection.OpenConnection: Error #: 8\r\nThe database file '" +
                                 QDir::toNativeSeparators(dir.file("Torvan.accdb")) + "'"),
                 qPrintable(text));
        const QString name = QDir::toNativeSeparators(QDir::cleanPath(dir.file(named)));
        QVERIFY2(text.contains("'" + name + "'") && text.contains("write-protected"), qPrintable(text));
        // Nothing was made beside the database.
        if (entry == "Torvan.accdb") {
            QVERIFY(!fs::exists(path("Torvan.accdb-wal")));
            QVERIFY(!fs::exists(path("Torvan.accdb-shm")));
        }
    }
    fs::permissions(path(entry), before);
    {
        platform::ScriptedPrompts prompts;
        auto c = openConnection();
        QVERIFY(c->IsOpen());
        QVERIFY(prompts.shown.empty());
        clsTEST_RESULT points;
        points.Test_Id = 1;
        points.ConnectX(*c);
        points.RESULT_TIME = 20;
        points.AddNew();
        QCOMPARE(sqlValue("SELECT group_concat(CAST(RESULT_TIME AS INTEGER)) FROM TEST_RESULT"), QString("10,20"));
    }
    // The last connection gone, nothing is left behind.
    QVERIFY(!fs::exists(path("Torvan.accdb-wal")));
    QVERIFY(!fs::exists(path("Torvan.accdb-shm")));
}

void TestConnection::transactionTokens()
{
    TempWorkDir dir;
    auto c = openConnection();
    const int first = c->BeginTrans();
    QVERIFY(first >= 1 && first <= 1000000);
    QVERIFY(c->InTransaction());
    QCOMPARE(c->BeginTrans(), 0);
    QVERIFY(!c->CommitTrans(0));
    QVERIFY(c->InTransaction());
    QVERIFY(c->CommitTrans(first));
    QVERIFY(!c->InTransaction());
    QVERIFY(!c->CommitTrans(first));
}

void TestConnection::rollBackUndoesAndWrongTokenTouchesNothing()
{
    TempWorkDir dir;
    auto c = openConnection();
    QVERIFY(!c->RollBack(123));   // nothing open
    clsTEST_INFO info;
    info.ConnectX(*c);
    const int token = c->BeginTrans();
    info.TEST_NAME = "rolled back";
    info.AddNew();
    QVERIFY(!c->RollBack(token + 1));
    QVERIFY(c->InTransaction());
    QVERIFY(c->RollBack(token));
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_INFO"), QString("0"));
}

void TestConnection::replacedConnectionStaysUsableByBoundRecords()
{
    TempWorkDir dir;
    auto c = openConnection();
    clsTEST_RESULT points;
    points.Test_Id = 7;
    points.ConnectX(*c);
    c = openConnection();   // the shared slot gets a fresh connection; the old one lives on for `points`
    points.RESULT_TIME = 1;
    points.AddNew();
    points.ConnectX(*c);
    QCOMPARE(points.TotalPoints(), 1);
}

void TestConnection::deletedIdIsNeverReused()
{
    TempWorkDir dir;
    auto c = openConnection();
    clsTEST_INFO info;
    info.ConnectX(*c);
    info.TEST_NAME = "first";
    info.AddNew();
    info.GetTestDetail();
    const int firstId = info.Test_Id;
    info.Delete();
    info.TEST_NAME = "second";
    info.AddNew();
    info.GetTestDetail();
    QVERIFY(info.Test_Id > firstId);
}

void TestConnection::createDatabaseRefusesToOverwrite()
{
    TempWorkDir dir;
    const QString before = sqlValue("SELECT count(*) FROM sqlite_master");
    QVERIFY(!createDatabase(dir.path()).isEmpty());
    QCOMPARE(sqlValue("SELECT count(*) FROM sqlite_master"), before);
}

void TestConnection::olderFileGetsTheOverlayIndex_data()
{
    QTest::addColumn<bool>("otherWriter");   // another program holds the write lock during the open
    QTest::newRow("free") << false;
    QTest::newRow("another program writing") << true;
}

// A file made before the overlay's index existed: three tests' points interleaved as units log them, with
// equal times, times out of storing order and a null. Its open leaves it as it is; the index added
// afterwards is the same as a new file's, and every read gives what it gave before: time order, ties in
// storing order, a null as 0. A file that cannot take the index now opens and reads as before, and a later
// open in the same run does not try again (it may come while units log).
void TestConnection::olderFileGetsTheOverlayIndex()
{
    QFETCH(bool, otherWriter);
    QString newFileSql;
    {
        TempWorkDir fresh;
        newFileSql = sqlValue("SELECT sql FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'");
    }
    QVERIFY(newFileSql.contains("(TEST_ID, RESULT_TIME, RESULT_ID, RESULT_HEIGHT_CHANGE)"));
    TempWorkDir dir;
    QVERIFY(sqlExec("DROP INDEX IX_TEST_RESULT_CURVE"));
    const double times[] = {0, 1, 1, 3, 2, 5, 4, 4, 6, 7};
    for (int i = 0; i < 30; ++i) {
        const int id = 1 + i % 3;
        const QString change = i == 13 ? QStringLiteral("NULL") : QString::number(0.001 * i);
        QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                       "VALUES (%1, 1, %2, %3)")
                            .arg(id)
                            .arg(times[i / 3])
                            .arg(change)));
    }
    // What each test reads as in the older file, before the program opened it.
    auto stored = [](int id) {
        // id:time:change in thousandths, in time order, ties in storing order
        return sqlValue(QStringLiteral("SELECT group_concat(RESULT_ID || ':' || CAST(RESULT_TIME AS INTEGER) || ':' || "
                                       "CAST(round(ifnull(RESULT_HEIGHT_CHANGE, 0) * 1000) AS INTEGER), ' ') FROM "
                                       "(SELECT * FROM TEST_RESULT WHERE TEST_ID = %1 ORDER BY RESULT_TIME, RESULT_ID)")
                            .arg(id));
    };
    QStringList before;
    for (int id = 1; id <= 3; ++id) before << stored(id);
    QCOMPARE(before[0], QString("1:0:0 4:1:3 7:1:6 13:2:12 10:3:9 19:4:18 22:4:21 16:5:15 25:6:24 28:7:27"));
    QVERIFY(before[1].contains("14:2:0"));   // the null

    WriteLock writer;
    if (!otherWriter) writer.release();
    platform::ScriptedPrompts prompts;
    auto c = openConnection();
    QVERIFY(c->IsOpen());
    QVERIFY(prompts.shown.empty());
    // The open itself leaves the file as it is; the index comes by its own call, once the window shows.
    QVERIFY(sqlValue("SELECT sql FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'").isEmpty());
    QVERIFY(c->IndexMissing());
    int steps = 0;
    QCOMPARE(c->AddMissingIndex([&steps] { return ++steps > 0; }), !otherWriter);
    QVERIFY(!c->IndexMissing());
    writer.release();
    const QString indexSql = sqlValue("SELECT sql FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'");
    QCOMPARE(indexSql, otherWriter ? QString() : newFileSql);
    QCOMPARE(sqlValue("PRAGMA integrity_check"), QString("ok"));
    // The overlay's read takes the index alone.
    QString plan;
    {
        QSqlQuery q(c->ADOConnection()->db());
        QVERIFY(q.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + QString::fromLatin1(TestCurves::ColumnsSql).replace("?", "1")));
        while (q.next()) plan += q.value(3).toString() + ' ';
    }
    QCOMPARE(plan.contains("COVERING INDEX IX_TEST_RESULT_CURVE"), !otherWriter);

    // Every read as before, through the record and through the overlay's own read of the two columns.
    TestCurves curves;
    const clsTEST_RESULT none;
    for (int id = 1; id <= 3; ++id) {
        clsTEST_RESULT result;
        result.Test_Id = id;
        result.ConnectX(*c);
        QStringList loaded;
        for (result.MoveFirst(); !result.EOF_(); result.MoveNext())
            loaded << QStringLiteral("%1:%2:%3")
                          .arg(result.RESULT_ID)
                          .arg(qRound(result.RESULT_TIME))
                          .arg(qRound(result.RESULT_HEIGHT_CHANGE * 1000));
        QCOMPARE(loaded.join(' '), before[id - 1]);
        const TestCurves::Curve& curve = curves.curve(none, *c, id);
        QVERIFY(curves.loaded());
        QCOMPARE(int(curve.size()), result.TotalPoints());
        for (int i = 0; i < result.TotalPoints(); ++i) {
            QCOMPARE(curve.timeAt(std::size_t(i)), result.rows()[std::size_t(i)].time);
            QCOMPARE(curve.heightChangeAt(std::size_t(i)), result.rows()[std::size_t(i)].heightChange);
        }
    }
    // Points logged and a test deleted keep the file whole.
    clsTEST_RESULT points;
    points.Test_Id = 2;
    points.ConnectX(*c);
    points.RESULT_TIME = 8;
    points.RESULT_HEIGHT_CHANGE = 0.5;
    points.AddNew();
    points.Test_Id = 1;
    points.Delete();
    QCOMPARE(sqlValue("PRAGMA integrity_check"), QString("ok"));
    QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT INDEXED BY IX_TEST_RESULT_TEST_TIME WHERE TEST_ID = 2"), QString("11"));

    // A later open in this run leaves a file without the index as it is.
    c = openConnection();
    QVERIFY(!c->IndexMissing());
    QVERIFY(!c->AddMissingIndex([] { return true; }));
    QCOMPARE(sqlValue("SELECT sql FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'"), indexSql);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
