// No point is stored without its test. A unit screen's cell holds its test from Enter Info on: another cell's
// Enter Info cannot replace it; START refuses a test whose header another program deleted; a delete takes
// the points still queued for a locked database with it; and while the database file at the path lacks the
// header of a logging cell's test (a copy made before the test began, renamed over it as a backup tool
// would), no point goes in: they wait, the operator is told once, and they are stored once the right file
// is back, or let go on the operator's word when the screen closes. Through the real database file, an
// outside sqlite3 process and the hold guard.
#include "../realtime/SimpleTestRig.h"

#include "platform/DatabaseLock.h"
#include "review/frmOpenTest.h"

#include <QProcess>

using rig::Rig;
using testsupport::sqliteCommandLine;

namespace {

QString value(const QString& sql) { return testsupport::sqlValue(sql); }

// Points in the file at the path that have no header there.
QString orphans()
{
    return sqliteCommandLine(QStringLiteral(
        "SELECT count(*) FROM TEST_RESULT WHERE TEST_ID NOT IN (SELECT TEST_ID FROM TEST_INFO)"));
}

// RESULT_TIME of a test's points in the file at the path, in the order they were stored.
QString storedTimes(int testId)
{
    return sqliteCommandLine(QStringLiteral("SELECT group_concat(t) FROM (SELECT CAST(RESULT_TIME AS INTEGER) t "
                                            "FROM TEST_RESULT WHERE TEST_ID = %1 ORDER BY RESULT_ID)")
                                 .arg(testId));
}

QString times(int from, int to)
{
    QStringList out;
    for (int t = from; t <= to; ++t) out << QString::number(t);
    return out.join(QLatin1Char(','));
}

// Another program holding the database's write lock: an sqlite3 process inside BEGIN IMMEDIATE.
class OutsideLock {
public:
    OutsideLock()
    {
        // Interactive, so that it answers each statement at once.
        p_.start(QStringLiteral("sqlite3"), {QStringLiteral("-interactive"), QStringLiteral("Torvan.accdb")});
        if (!p_.waitForStarted(5000)) return;
        p_.write("BEGIN IMMEDIATE;\nSELECT 'held';\n");
        QByteArray said;
        QElapsedTimer t;
        t.start();
        while (!said.contains("\nheld\n") && p_.state() == QProcess::Running && t.elapsed() < 5000) {
            p_.waitForReadyRead(100);
            said += p_.readAllStandardOutput();
        }
        held_ = said.contains("\nheld\n");
    }
    ~OutsideLock() { release(); }
    bool held() const { return held_; }
    void release()
    {
        if (p_.state() == QProcess::NotRunning) return;
        p_.write("ROLLBACK;\n.quit\n");
        p_.waitForFinished(5000);
        held_ = false;
    }

private:
    QProcess p_;
    bool held_ = false;
};

// Runs a command line (cp, mv) in the working folder; true when it ended cleanly.
bool run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Puts the file `from` in place of Torvan.accdb as a backup tool restores one: copied to a temporary name
// beside it, then renamed over it. Then waits for the hold guard to open the connections onto it.
bool restoreOver(const QString& from)
{
    const int before = platform::databaseReopens();
    if (!run(QStringLiteral("cp"), {from, QStringLiteral("Torvan.accdb.tmp")})) return false;
    if (!run(QStringLiteral("mv"), {QStringLiteral("Torvan.accdb.tmp"), QStringLiteral("Torvan.accdb")})) return false;
    QElapsedTimer t;
    t.start();
    while (platform::databaseReopens() == before && t.elapsed() < 10000) QTest::qWait(50);
    return platform::databaseReopens() > before;
}

// Ticks with fresh records of both cells; a cell logging every second takes a point every second tick.
void ticks(Rig& r, int n)
{
    for (int i = 0; i < n; ++i) {
        r.feed(1, 150, 2500);
        r.feed(2, 150, 2500);
        r.tick();
    }
}

void prepare(Rig& r, int c, const QString& name)
{
    r.zero(c, QStringLiteral("0.25"));
    r.enterInfo(c, name);
    r.type("txtTemps", c, QStringLiteral("150"));
    r.type("txtInterval", c, QStringLiteral("1"));
    r.prompts.clear();
}

const QString kReplaceRefused = QStringLiteral(
    "The test \"%1\" cannot be replaced: it is the test of cell A of unit 1. Please enter another test name.");
const QString kNotSet = QStringLiteral("CELL 2  information is not setting ");
const QString kTestGone = QStringLiteral(
    "The test \"%1\" is no longer in the database (another program may have deleted it, or the database file "
    "was replaced), so it cannot be started. Please 'Enter Info' again.");
const QString kTestMissing = QStringLiteral(
    "The points of unit 1, cell A cannot be stored at present: their test \"Kaolin\" is not in the database file "
    "(the file may have been replaced by an older copy, or the test deleted by another program).\r\nThey are kept "
    "in order and will be stored as soon as the test is in the database file again.");

} // namespace

class TestHeaders : public QObject {
    Q_OBJECT
private slots:
    // Cell A holds "Y" (named, running or preheating); cell B's Enter Info with the name under any spelling
    // is refused before the replace question, and A's header and points stay: A logs on under its header.
    void replaceOfAHeldTestRefused_data()
    {
        QTest::addColumn<QString>("cellA");   // what cell A does with "Y"
        QTest::addColumn<QString>("typed");   // the name typed on cell B
        QTest::newRow("running, y") << "running" << "y";
        QTest::newRow("running, Y with blanks") << "running" << " Y ";
        QTest::newRow("named, not started, Y") << "named" << "Y";
        QTest::newRow("preheating, y") << "preheating" << "y";
    }

    void replaceOfAHeldTestRefused()
    {
        QFETCH(QString, cellA);
        QFETCH(QString, typed);
        Rig r;
        prepare(r, 1, QStringLiteral("Y"));
        const int id = r.cell(1).testId;
        QVERIFY(id > 0);
        if (cellA == QLatin1String("running")) r.start(1);
        if (cellA == QLatin1String("preheating")) r.click("cmdPreHeat", 1);
        ticks(r, 4);
        r.zero(2, QStringLiteral("0.25"));
        r.prompts.clear();
        r.prompts.queueAnswer(platform::Answer::Yes);   // to the replace question, if it were asked
        r.enterInfo(2, typed);

        QCOMPARE(r.messages(), (QStringList{kReplaceRefused.arg(typed.trimmed()), kNotSet}));
        QCOMPARE(value(QStringLiteral("SELECT group_concat(TEST_ID) FROM TEST_INFO")), QString::number(id));
        QVERIFY(r.cell(2).testName.isEmpty());
        QVERIFY(r.find<QPushButton>(Rig::at("cmdInfo", 2))->isEnabled());
        if (cellA != QLatin1String("running")) r.start(1);
        ticks(r, 6);
        QCOMPARE(storedTimes(id).isEmpty(), false);
        QCOMPARE(orphans(), QStringLiteral("0"));
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    }

    // Another program deletes the header of a named cell's test (or the id now names another test): START
    // refuses with a message, sends nothing and leaves the cell unstarted, with Enter Info open again; a
    // test named again starts.
    void startOfATestNoLongerStored_data()
    {
        QTest::addColumn<bool>("sequence");
        QTest::addColumn<QString>("change");   // what the other program does to the header
        QTest::newRow("deleted") << false << "DELETE FROM TEST_INFO WHERE TEST_NAME = 'Later'";
        QTest::newRow("its id names another test") << false << "UPDATE TEST_INFO SET TEST_NAME = 'Other'";
        QTest::newRow("sequence screen, deleted") << true << "DELETE FROM TEST_INFO";
    }

    void startOfATestNoLongerStored()
    {
        QFETCH(bool, sequence);
        QFETCH(QString, change);
        Rig r(1, sequence);
        int pickers = 0;
        r.otherDialog = [&](QDialog&) {
            ++pickers;
            return int(QDialog::Rejected);
        };
        r.zero(1, QStringLiteral("0.25"));
        r.enterInfo(1, QStringLiteral("Later"));
        r.type("txtTemps", 1, QStringLiteral("150"));
        QCOMPARE(r.cell(1).testName, QStringLiteral("Later"));
        QCOMPARE(sqliteCommandLine(change), QString());
        const auto writes = r.port->writes.size();
        r.prompts.clear();
        const int dialogs = r.dialogs;
        r.click("cmdStart", 1);

        QCOMPARE(r.messages(), QStringList{kTestGone.arg(QStringLiteral("Later"))});
        QCOMPARE(r.port->writes.size(), writes);   // nothing went to the unit
        QCOMPARE(r.dialogs, dialogs);              // not even the sequence picker
        QCOMPARE(pickers, 0);
        QVERIFY(r.cell(1).state != realtime::CellRunning);
        QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
        QVERIFY(r.cell(1).testName.isEmpty());
        QVERIFY(r.text("lblTestname", 1).isEmpty());
        QVERIFY(r.find<QPushButton>(Rig::at("cmdInfo", 1))->isEnabled());
        QCOMPARE(value(QStringLiteral("SELECT count(*) FROM TEST_RESULT")), QStringLiteral("0"));

        if (sequence) return;
        // Named again, the cell starts (its zero kept).
        r.prompts.clear();
        r.enterInfo(1, QStringLiteral("Later"));
        r.start(1);
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
        QVERIFY(r.messages().isEmpty());
    }

    // Another program holds the write lock while cell A logs "Y"; the cell is stopped, the lock goes, and
    // before the queue drains the operator deletes "y" (or replaces it by Enter Info on cell B). The points
    // still queued go with the test: none is stored under its id afterwards, and nothing is told.
    void deleteTakesQueuedPoints_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<int>("left");   // rows of the test's id in TEST_RESULT at the end
        QTest::newRow("deleted in the open dialog") << false << 0;
        // A replacement keeps the stored points of the old header, as it always has.
        QTest::newRow("replaced by Enter Info on cell B") << true << 2;
    }

    void deleteTakesQueuedPoints()
    {
        QFETCH(bool, replace);
        QFETCH(int, left);
        Rig r;
        prepare(r, 1, QStringLiteral("Y"));
        r.zero(2, QStringLiteral("0.25"));   // now: a tick later on would drain the queue
        r.start(1);
        const int id = r.cell(1).testId;
        ticks(r, 4);
        QCOMPARE(storedTimes(id), times(1, 2));
        {
            OutsideLock lock;
            QVERIFY(lock.held());
            ticks(r, 10);
            QCOMPARE(int(r.screen->poll().pendingPoints().size()), 5);
            r.prompts.queueAnswer(platform::Answer::Yes);
            r.click("cmdStart", 1);   // STOP
            QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
            lock.release();
        }
        QCOMPARE(int(r.screen->poll().pendingPoints().size()), 5);
        r.prompts.clear();
        if (replace) {
            r.prompts.queueAnswer(platform::Answer::Yes);
            r.enterInfo(2, QStringLiteral("y"));
            QCOMPARE(r.messages(), QStringList{QStringLiteral("Duplicate test name. do you want replace it")});
            QCOMPARE(r.cell(2).testName, QStringLiteral("y"));
        } else {
            frmOpenTest dlg;
            dlg.Form_Load();
            dlg.txtSeqName->setText(QStringLiteral("y"));
            r.prompts.queueAnswer(platform::Answer::OK);
            dlg.cmdDelete_Click();
            QCOMPARE(r.messages(), QStringList{QStringLiteral("Are you sure you want to delete this test?")});
        }
        QCOMPARE(value(QStringLiteral("SELECT count(*) FROM TEST_INFO WHERE TEST_ID = %1").arg(id)), QStringLiteral("0"));
        QVERIFY(r.screen->poll().pendingPoints().empty());
        r.clock.advance(realtime::UnitPoll::StoreRetryMs);
        ticks(r, 6);
        QCOMPARE(sqliteCommandLine(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = %1").arg(id)),
                 QString::number(left));
        QVERIFY(r.screen->poll().pendingPoints().empty());
        QCOMPARE(r.messages().size(), 1);   // nothing told after the delete
    }

    // Another program deletes the header of cell A's running test while both cells log: A's points wait in
    // order (none goes in under the id), B's are stored meanwhile, and the operator is told once. The header
    // comes back (under the name in another case, as the database compares names): A's points are stored in
    // order. A second outage is told again.
    void otherTestsLogOnWhileOneWaits()
    {
        Rig r;
        prepare(r, 1, QStringLiteral("Kaolin"));
        prepare(r, 2, QStringLiteral("Bentonite"));
        r.start(1);
        r.start(2);
        const int a = r.cell(1).testId, b = r.cell(2).testId;
        ticks(r, 4);
        QCOMPARE(storedTimes(a), times(1, 2));
        const QString drop = QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_ID = %1").arg(a);
        QCOMPARE(sqliteCommandLine(drop), QString());
        ticks(r, 10);
        QCOMPARE(storedTimes(a), times(1, 2));
        QCOMPARE(storedTimes(b), times(1, 7));
        QCOMPARE(int(r.screen->poll().pendingPoints().size()), 5);
        QCOMPARE(r.messages(), QStringList{kTestMissing});

        QCOMPARE(sqliteCommandLine(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (%1, 'kaolin')")
                                       .arg(a)),
                 QString());
        ticks(r, 2);
        QCOMPARE(storedTimes(a), times(1, 8));
        QCOMPARE(storedTimes(b), times(1, 8));
        QVERIFY(r.screen->poll().pendingPoints().empty());
        QCOMPARE(r.messages().size(), 1);

        QCOMPARE(sqliteCommandLine(drop), QString());
        ticks(r, 2);
        QCOMPARE(r.messages(), (QStringList{kTestMissing, kTestMissing}));
        QCOMPARE(storedTimes(b), times(1, 9));
    }

    // The database file is replaced by a copy made before the test began (or one whose id of the test
    // belongs to another test) while cell A logs "Kaolin": no point goes in without its header; they wait
    // in order, the operator is told once which test it is, the cell can still be stopped; then either the
    // right file comes back and every point is stored, in order, or the screen's close asks whether to let
    // them go.
    void pointsWaitForTheirHeader_data()
    {
        QTest::addColumn<bool>("otherTest");   // the copy holds another test under the cell's id
        QTest::addColumn<bool>("rightFileBack");
        QTest::newRow("copy without the test, right file back") << false << true;
        QTest::newRow("copy with another test at the id, right file back") << true << true;
        QTest::newRow("copy without the test, screen closed") << false << false;
        QTest::newRow("copy with another test at the id, screen closed") << true << false;
    }

    void pointsWaitForTheirHeader()
    {
        QFETCH(bool, otherTest);
        QFETCH(bool, rightFileBack);
        Rig r;
        QVERIFY(run(QStringLiteral("cp"), {QStringLiteral("Torvan.accdb"), QStringLiteral("old.accdb")}));
        prepare(r, 1, QStringLiteral("Kaolin"));
        r.start(1);
        const int id = r.cell(1).testId;
        if (otherTest) {
            QProcess p;
            p.start(QStringLiteral("sqlite3"), {QStringLiteral("old.accdb"),
                                                 QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES "
                                                                "(%1, 'Other')").arg(id)});
            QVERIFY(p.waitForFinished(10000) && p.exitCode() == 0);
        }
        ticks(r, 4);
        QCOMPARE(storedTimes(id), times(1, 2));
        QCOMPARE(sqliteCommandLine(QStringLiteral("VACUUM INTO 'right.accdb'")), QString());
        QVERIFY2(r.messages().isEmpty(), qPrintable(r.messages().join('|')));

        QVERIFY(restoreOver(QStringLiteral("old.accdb")));
        ticks(r, 10);   // points at 3 .. 7 s
        QCOMPARE(orphans(), QStringLiteral("0"));
        QCOMPARE(storedTimes(id), QString());
        QCOMPARE(int(r.screen->poll().pendingPoints().size()), 5);
        QCOMPARE(r.messages(), QStringList{kTestMissing});
        // The operator can stop the test.
        r.prompts.clear();
        r.prompts.queueAnswer(platform::Answer::Yes);
        r.click("cmdStart", 1);
        QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
        ticks(r, 4);
        QCOMPARE(orphans(), QStringLiteral("0"));
        QCOMPARE(r.messages(), QStringList{QStringLiteral("Are you sure you want to stop the test?")});
        const int waiting = int(r.screen->poll().pendingPoints().size());
        QVERIFY(waiting >= 5);

        if (rightFileBack) {
            QVERIFY(restoreOver(QStringLiteral("right.accdb")));
            ticks(r, 2);
            QVERIFY(r.screen->poll().pendingPoints().empty());
            QCOMPARE(storedTimes(id), times(1, 2 + waiting));
            QCOMPARE(orphans(), QStringLiteral("0"));
            QCOMPARE(r.messages().size(), 1);   // told once
            QCOMPARE(r.detail(1)->PointCount(), 2 + waiting);
            return;
        }
        // Closing: the points that cannot be stored are named, with their test, and lost only on Yes.
        const QString question = QStringLiteral(
            "Some logged points of unit 1 cannot be stored: their test is not in the database file.\r\n%1 points of "
            "the test \"Kaolin\" (cell A)\r\nIf you close the screen now, these points are lost. Close it anyway?")
                                     .arg(waiting);
        r.prompts.clear();
        r.prompts.queueAnswer(platform::Answer::No);
        r.screen->cmdExit_Click();
        QCOMPARE(r.messages(), QStringList{question});
        QVERIFY(r.offered.isEmpty());   // still open
        QCOMPARE(int(r.screen->poll().pendingPoints().size()), waiting);
        r.prompts.clear();
        r.prompts.queueAnswer(platform::Answer::Yes);
        r.screen->cmdExit_Click();
        QCOMPARE(r.messages(), QStringList{question});
        QCOMPARE(r.offered, QList<int>{1});   // the screen closed
        QCOMPARE(orphans(), QStringLiteral("0"));
        QCOMPARE(sqliteCommandLine(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = %1").arg(id)),
                 QStringLiteral("0"));
    }
};

QTEST_MAIN(TestHeaders)
#include "tst_testheaders.moc"
