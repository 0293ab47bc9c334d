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

using namespace testsupport;

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void opensTheWorkingFoldersDatabase();
    void refusesMissingOrForeignFiles_data();
    void refusesMissingOrForeignFiles();
    void neverCreatesAMissingFile();
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
