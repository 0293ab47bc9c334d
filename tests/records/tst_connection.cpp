// The database connection: opening, refusing missing and foreign files, the transaction tokens, and the
// database rules every record class relies on (schema, ids, journal).
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

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

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
