// The database file on disk while the program runs. A test logs against torvan-sim while every path that
// checks or opens the database runs (start-up, the real-time window and its unit, opening a test, the
// search, deleting a test, saving test information in the main window and in the detail window); then
// another process opens, reads and closes the database, as a lab script or a backup would. The program must
// still hold its lock, the -wal file must still be there, and every point the program stored must be seen
// by the other process. Each file dialog of the program on the working folder leaves the hold of a program
// logging in another process alone, up to a SIGKILL; a lock dropped on purpose inside the program is taken
// again by its guard, also a transaction's write lock; no outside reader can delete the -wal even before the
// guard looks, and a database file replaced on disk is left for the new one, with every point stored. Two
// databases are guarded apart, SQLite lets go of a database before the guard does, and a reopen that failed
// is tried again once its cause passes. And a database that cannot be written is named once at start-up.
#include "TestSupport.h"

#include "platform/DatabaseLock.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"
#include "review/frmSearch.h"
#include "review/frmTestInfo.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QtTest>

#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using platform::ScriptedPrompts;
using platform::processHoldsLock;

namespace {

const QString kSim = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");

// Units on the ports given (unit n on port n), English units, and a calibration that matches torvan-sim.
void simulatedUnits(const TempWorkDir& dir, const std::array<int, SettingsFile::PortCount>& ports)
{
    dir.write("initial.txt", SettingsFile::text(ports, 1));
    QByteArray cal;
    for (int i = 0; i < 8; ++i) cal += "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,1.2,2.2,3.2, .1 , .25 , .1 , .25 ,\r\n";
    dir.write("Calib.dat", cal);
}

// Clay (id 11, 3 points) to open and search for, Old (id 12, 2 points) to delete.
bool storeLibrary()
{
    const char* header = "INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_LENGTH) "
                         "VALUES (%1, '%2', '2020-01-02 10:03:04', 'Kim', 0.5)";
    return sqlExec(QString::fromLatin1(header).arg(11).arg("Clay")) && sqlExec(QString::fromLatin1(header).arg(12).arg("Old"))
        && sqlExec("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_HEIGHT_CHANGE) VALUES "
                   "(11, 1, 0, 150, 0), (11, 1, 60, 150, 0.001), (11, 1, 120, 150, 0.002), "
                   "(12, 1, 0, 70, 0), (12, 1, 60, 70, 0)");
}

// Opens and closes a file with a plain file open, as some library inside the program might: this drops
// the process's POSIX locks on it. True when /proc/locks then shows none of this process's locks there.
bool dropLocks(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    f.read(64);
    f.close();
    return !processHoldsLock(path);
}

// The RESULT_IDs of the point rows stored in a database file of the working folder, read by the sqlite3
// command line.
QSet<qint64> storedPoints(const QString& file = QStringLiteral("Torvan.accdb"))
{
    QSet<qint64> stored;
    for (const QString& id : sqliteCommandLine("SELECT RESULT_ID FROM TEST_RESULT", file).split('\n', Qt::SkipEmptyParts))
        stored.insert(id.toLongLong());
    return stored;
}

// Runs doing inside a modal dialog, which the guard checks after (inDialog); else on its own, then waits for
// the guard's check each second to take a lock again.
void afterDialogOrTimer(bool inDialog, const std::function<void()>& doing)
{
    const int retakes = platform::databaseLockRetakes();
    if (inDialog) {
        platform::setModalHandler([&](QDialog&) {
            doing();
            return int(QDialog::Rejected);
        });
        QDialog box;
        platform::showModal(box);
        platform::setModalHandler({});
    } else {
        doing();
        QTRY_VERIFY_WITH_TIMEOUT(platform::databaseLockRetakes() > retakes, 3000);
    }
}

} // namespace

class DatabaseFile : public QObject {
    Q_OBJECT
private slots:
    void holdSurvivesEveryPathThatOpensIt();
    void fileDialogsKeepTheHold_data();
    void fileDialogsKeepTheHold();
    void guardTakesDroppedLockAgain_data();
    void guardTakesDroppedLockAgain();
    void loggingOutlivesChangedFiles_data();
    void loggingOutlivesChangedFiles();
    void movedDatabaseKeepsEveryPoint_data();
    void movedDatabaseKeepsEveryPoint();
    void writeLockTakenAgainInsideTransaction_data();
    void writeLockTakenAgainInsideTransaction();
    void secondDatabaseKeepsTheFirstsLocks();
    void sqliteLetsGoBeforeTheGuard();
    void reopenTriedAgainOnceItsCausePasses();
    void writeProtectedDatabaseNamedOnceAtStartUp();
};

void DatabaseFile::holdSurvivesEveryPathThatOpensIt()
{
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));   // the sqlite3 command line is there
    simulatedUnits(dir, {1});
    QVERIFY(storeLibrary());
    const QString db = dir.file("Torvan.accdb");
    const auto wal = std::filesystem::path(QFile::encodeName(db + "-wal").toStdString());

    QProcess sim;
    sim.start(kSim, {"--dir", dir.path(), "--ports", "1", "--seed", "3"});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file("COM1")), 5000);

    Module1::Reset();
    ScriptedPrompts prompts;
    std::function<void(frmOpenTest&)> driveOpen;
    platform::setModalHandler([&](QDialog& d) {
        if (auto* relate = qobject_cast<frmTestRelate*>(&d)) {
            relate->txtTestInfo[1]->setText("Held");
            relate->Command2_Click();
            return relate->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        }
        if (auto* open = qobject_cast<frmOpenTest*>(&d)) {
            if (driveOpen) driveOpen(*open);
            if (open->isVisible()) open->cmdCancel_Click();
        } else if (auto* search = qobject_cast<frmSearch*>(&d)) {
            // A search for Clay by name, its result taken.
            search->Combo1[1]->setCurrentText("TEST_NAME");
            search->cmbmath1[1]->setCurrentIndex(search->cmbmath1[1]->findText(" = "));
            search->Text1[1]->setText("Clay");
            search->cmdSearch_Click();
            search->MSFlexGrid1_DblClick(0);
            if (search->isVisible()) search->Command1_Click();
        }
        d.hide();
        return 0;
    });

    {
        // Start-up, then a test logging on cell A of unit 1 every second.
        frmMain w;
        w.Form_Load();
        QVERIFY(w.DatabaseReady());
        w.cmdRealTime_Click();
        w.RealTimeWindow()->menuSimpleAdd_Click(1);
        auto* unit = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]);
        QVERIFY(unit && unit->MSComm1->isOpen());
        QTRY_VERIFY_WITH_TIMEOUT(unit->poll().cell(1).volts > 1.5, 5000);
        prompts.queueInput("0.5");
        unit->cmdzero_Click(1);
        unit->cmdInfo_Click(1);
        unit->txtInterval[1]->setText("1");
        unit->txtInterval_Change(1);
        unit->txtTemps[1]->setText("150");
        unit->cmdStart_Click(1);
        QCOMPARE(unit->poll().cell(1).state, 1);
        const QString id = QString::number(unit->poll().cell(1).testId);
        QPointer<frmTestDetail> detail = Module1::form<frmTestDetail>(Module1::DetailForms[1][1]);
        QVERIFY(detail);
        const auto stored = [&] { return detail->MSFlexGrid1->model()->rowCount(); };
        QTRY_VERIFY_WITH_TIMEOUT(stored() >= 2, 10000);

        // Opening a test, with a search on the way; then deleting one.
        driveOpen = [](frmOpenTest& d) {
            d.cmdSearch_Click();
            QCOMPARE(d.txtSeqName->text(), QString("Clay"));
            d.cmdOk_Click();
        };
        w.cmdOpen_Click();
        QCOMPARE(w.CurrentTestName, QString("Clay"));
        driveOpen = [&](frmOpenTest& d) {
            d.txtSeqName->setText("Old");
            prompts.queueAnswer(platform::Answer::OK);
            d.cmdDelete_Click();
        };
        w.cmdOpen_Click();
        QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_INFO WHERE TEST_NAME = 'Old'"), QString("0"));

        // Test information saved from the main window and from the running test's detail window.
        w.cmdRelated_Click();
        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QVERIFY(info);
        info->txtTestInfo[3]->setText("Lee");
        info->cmdSave_Click();
        unit->cmdDetail_Click(1);
        detail->txtTestInfo[3]->setText("Ray");
        detail->cmdEdit_Click();
        QCOMPARE(prompts.texts().count("Save is completed"), 2);

        // Another process reads the database and lets it go.
        const int before = stored();
        QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = " + id), QString::number(before));
        QVERIFY2(std::filesystem::exists(wal), "the -wal file was deleted under the running test");
        QVERIFY2(processHoldsLock(db), "the program holds no lock on Torvan.accdb");

        // Points logged afterwards reach the same file: the other process sees every one.
        QTRY_VERIFY_WITH_TIMEOUT(stored() >= before + 2, 10000);
        unit->StopTest(1);
        const int logged = stored();
        QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = " + id), QString::number(logged));
        QCOMPARE(sqliteCommandLine("SELECT RESEARCHER_NAME FROM TEST_INFO WHERE TEST_NAME = 'Clay'"), QString("Lee"));
        QCOMPARE(sqliteCommandLine("SELECT RESEARCHER_NAME FROM TEST_INFO WHERE TEST_ID = " + id), QString("Ray"));
        QCOMPARE(sqliteCommandLine("PRAGMA integrity_check"), QString("ok"));
        QVERIFY(std::filesystem::exists(wal));
        QVERIFY(processHoldsLock(db));

        delete w.RealTimeWindow();
        if (detail) detail->close();   // a detail window left open goes when it is closed
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    sim.kill();
    sim.waitForFinished(3000);
    platform::setModalHandler({});
    Module1::Reset();
}

void DatabaseFile::fileDialogsKeepTheHold_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::newRow("Save Report") << "report";
    QTest::newRow("height calibration report") << "height-report";
    QTest::newRow("pressure calibration report") << "pressure-report";
    QTest::newRow("print dialog's file choice") << "print-file";
}

// The program logs on four cells (a separate process, veduvovir-crash-logger) and the operator opens one of
// its file dialogs on the working folder, lets it list the folder and cancels it. No dialog opens the
// database files: the lock never had to be taken again. The program still holds its lock, another process's
// read leaves the -wal in place, and after a SIGKILL every point the program stored is in the file.
void DatabaseFile::fileDialogsKeepTheHold()
{
    QFETCH(QString, dialog);
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));   // the sqlite3 command line is there
    simulatedUnits(dir, {1, 2});
    const QString db = dir.file("Torvan.accdb");
    const auto wal = std::filesystem::path(QFile::encodeName(db + "-wal").toStdString());

    LoggerRun logging;
    // Home above the working folder: the print dialog starts its file choice there only when it lies under home.
    const QString failed = logging.start(1, {"--dialog", dialog}, {"HOME=" + QFileInfo(dir.path()).absolutePath()});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QByteArray listed;
    const auto seen = [&] {
        for (const QByteArray& line : logging.lines)
            if (line.startsWith("LISTED ") || line.startsWith("ERROR ")) listed = line;
        return !listed.isEmpty() || !logging.loggerRunning();
    };
    QVERIFY2(logging.waitFor(seen, 60000) && listed.startsWith("LISTED "), listed.constData());
    // "LISTED <files> <provider> <retakes>": the folder's files (database, -wal, -shm, settings, calibration)
    // listed by the program's own provider, and the lock never lost.
    const QList<QByteArray> f = listed.split(' ');
    QCOMPARE(f.size(), 4);
    QVERIFY2(f[1].toInt() >= 5, listed.constData());
    QCOMPARE(f[2], QByteArray("own"));
    QCOMPARE(f[3], QByteArray("0"));

    QVERIFY2(processHoldsLock(db, logging.loggerPid()), "the program holds no lock on Torvan.accdb");
    QVERIFY(processHoldsLock(db + "-shm", logging.loggerPid()));
    const qsizetype before = logging.logged.size();
    QVERIFY(sqliteCommandLine("SELECT count(*) FROM TEST_RESULT").toInt() >= before);
    QVERIFY2(std::filesystem::exists(wal), "the -wal file was deleted under the running tests");

    QVERIFY(logging.waitFor([&] { return logging.logged.size() >= before + 4; }, 20000));
    logging.kill();
    QCOMPARE(sqliteCommandLine("PRAGMA integrity_check"), QString("ok"));
    const QSet<qint64> stored = storedPoints();
    QCOMPARE(qsizetype((logging.logged - stored).size()), qsizetype(0));
}

void DatabaseFile::guardTakesDroppedLockAgain_data()
{
    QTest::addColumn<QString>("file");   // opened and closed inside the program
    QTest::addColumn<bool>("inDialog");  // by a dialog (else by anything between dialogs: the check each second)
    QTest::newRow("database, in a dialog") << "Torvan.accdb" << true;
    QTest::newRow("shared-memory file, in a dialog") << "Torvan.accdb-shm" << true;
    QTest::newRow("database, between dialogs") << "Torvan.accdb" << false;
}

// Something inside the program opens and closes a database file with a plain file open, which drops
// SQLite's locks on it. The guard takes them again (after the dialog, or within its next check each
// second): /proc/locks lists them, and another process's read leaves the -wal and sees every row.
void DatabaseFile::guardTakesDroppedLockAgain()
{
    QFETCH(QString, file);
    QFETCH(bool, inDialog);
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));
    const QString db = dir.file("Torvan.accdb");
    const auto wal = std::filesystem::path(QFile::encodeName(db + "-wal").toStdString());
    Module1::Reset();
    Module1::DbConnection = openConnection();
    QSqlQuery insert(Module1::DbConnection->ADOConnection()->db());
    const auto store = [&](int id) {
        return insert.exec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (%1, 'T%1')").arg(id));
    };
    QVERIFY(store(1));
    QVERIFY(std::filesystem::exists(wal));
    QVERIFY(processHoldsLock(db));
    QVERIFY(processHoldsLock(dir.file(file)));
    const int retakes = platform::databaseLockRetakes();

    bool dropped = false;
    afterDialogOrTimer(inDialog, [&] { dropped = dropLocks(dir.file(file)); });
    QVERIFY2(dropped, "closing the file did not drop the lock");
    QVERIFY(processHoldsLock(dir.file(file)));
    QCOMPARE(platform::databaseLockRetakes(), retakes + 1);
    QVERIFY(processHoldsLock(db));
    QVERIFY(processHoldsLock(db + "-shm"));

    QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_INFO"), QString("1"));
    QVERIFY2(std::filesystem::exists(wal), "another process's read deleted the -wal");
    QVERIFY(store(2));
    QCOMPARE(sqliteCommandLine("SELECT group_concat(TEST_NAME) FROM TEST_INFO"), QString("T1,T2"));
    QVERIFY(std::filesystem::exists(wal));
    insert = QSqlQuery();
    Module1::Reset();
}

void DatabaseFile::loggingOutlivesChangedFiles_data()
{
    QTest::addColumn<QString>("change");   // the logger's option
    QTest::addColumn<int>("reopens");
    QTest::newRow("both locks dropped, an outside reader at once") << "--drop-locks" << 0;
    QTest::newRow("database replaced by a copy") << "--replace" << 1;
}

// The program logs on four cells (veduvovir-crash-logger) while its files change under it: something in
// the program drops SQLite's locks on the database and its -shm and an outside sqlite3 reads before the
// guard can look; or the database is replaced by a copy renamed over it. The outside reader leaves the
// -wal, the program opens its connections onto the replaced file once (and takes no lock again and again
// on the old one), and after a SIGKILL every point the program committed is in the file at the path.
void DatabaseFile::loggingOutlivesChangedFiles()
{
    QFETCH(QString, change);
    QFETCH(int, reopens);
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));
    simulatedUnits(dir, {1, 2});
    const auto wal = std::filesystem::path(QFile::encodeName(dir.file("Torvan.accdb-wal")).toStdString());

    LoggerRun logging;
    const QString failed = logging.start(2, {change});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QByteArray done;
    const auto changed = [&] {
        for (const QByteArray& line : logging.lines)
            if (line.startsWith("DROPPED ") || line == "REPLACED" || line.startsWith("ERROR ")) done = line;
        return !done.isEmpty() || !logging.loggerRunning();
    };
    QVERIFY2(logging.waitFor(changed, 60000) && !done.startsWith("ERROR"), done.constData());
    // Both locks were gone when the outside reader had finished, and it left the -wal.
    if (change == "--drop-locks") QCOMPARE(done, QByteArray("DROPPED 1 1 1"));
    if (reopens > 0) QVERIFY(logging.waitFor([&] { return logging.count("REOPENED ") >= reopens; }, 20000));
    // Two seconds of points after the change.
    const qsizetype before = logging.logged.size();
    QVERIFY(logging.waitFor([&] { return logging.logged.size() >= before + 8; }, 20000));
    QCOMPARE(logging.count("REOPENED "), qsizetype(reopens));
    // A dropped lock is taken again once, not every second.
    QVERIFY2(logging.count("RETAKES ") <= 1, logging.lines.join(' ').constData());
    QVERIFY2(std::filesystem::exists(wal), "the -wal file was deleted under the running tests");

    logging.kill();
    QCOMPARE(sqliteCommandLine("PRAGMA integrity_check"), QString("ok"));
    const QSet<qint64> stored = storedPoints();
    QVERIFY(logging.logged.size() >= before + 8);
    QCOMPARE(qsizetype((logging.logged - stored).size()), qsizetype(0));
}

void DatabaseFile::movedDatabaseKeepsEveryPoint_data()
{
    QTest::addColumn<QString>("putInPlace");   // what is renamed to the path after the database was moved away
    QTest::addColumn<int>("reopens");
    QTest::newRow("moved away and back") << "Moved.accdb" << 0;
    QTest::newRow("moved away, a copy put in its place") << "Before.accdb" << 1;
}

// The program logs on four cells (veduvovir-crash-logger) and its database is renamed away, as mv or a
// backup tool does; 4 s later a file is renamed to the path: the database itself again, or a copy made
// before the tests began. After a SIGKILL the moved database holds the four tests' headers and every point
// the program committed: the copy gets none, as it lacks their headers.
void DatabaseFile::movedDatabaseKeepsEveryPoint()
{
    namespace fs = std::filesystem;
    QFETCH(QString, putInPlace);
    QFETCH(int, reopens);
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));
    simulatedUnits(dir, {1, 2});
    fs::copy_file("Torvan.accdb", "Before.accdb");

    LoggerRun logging;
    const QString failed = logging.start(3);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(logging.waitFor([&] { return logging.logged.size() >= 4; }, 20000));
    fs::rename("Torvan.accdb", "Moved.accdb");
    QVERIFY(!logging.waitFor([&] { return !logging.loggerRunning(); }, 4000));
    const QSet<qint64> beforeSwap = logging.logged;
    fs::rename(putInPlace.toStdString(), "Torvan.accdb");
    const bool back = putInPlace == "Moved.accdb";
    if (reopens > 0) QVERIFY(logging.waitFor([&] { return logging.count("REOPENED ") >= reopens; }, 20000));
    const qsizetype after = logging.logged.size();
    if (back) {
        QVERIFY(logging.waitFor([&] { return logging.logged.size() >= after + 8; }, 20000));
    } else {
        // The copy lacks the tests' headers: their points wait in the program, none goes into the copy.
        QVERIFY(!logging.waitFor([&] { return !logging.loggerRunning(); }, 4000));
        QCOMPARE(logging.logged.size(), after);
        QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_RESULT"), QString("0"));
    }
    QVERIFY2(logging.count("ERROR ") == 0, logging.lines.join(' ').constData());
    const qsizetype reopened = logging.count("REOPENED ");
    logging.kill();

    // The moved database read on its own (by its name now, without the -wal and -shm at the path).
    const QString moved = back ? QStringLiteral("Torvan.accdb") : QStringLiteral("Moved.accdb");
    QCOMPARE(sqliteCommandLine("PRAGMA integrity_check", moved), QString("ok"));
    QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_INFO WHERE TEST_NAME LIKE 'crash unit %'", moved), QString("4"));
    const QSet<qint64> stored = storedPoints(moved);
    QVERIFY(beforeSwap.size() >= 4);
    QCOMPARE(qsizetype((logging.logged - stored).size()), qsizetype(0));
    QCOMPARE(reopened, qsizetype(reopens));
}

void DatabaseFile::writeLockTakenAgainInsideTransaction_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::newRow("in a dialog") << true;
    QTest::newRow("between dialogs") << false;
}

// Inside a write transaction something drops the locks on the -shm, the WAL's write lock with them. The
// guard takes it again: an outside writer finds the database locked, and the transaction commits.
void DatabaseFile::writeLockTakenAgainInsideTransaction()
{
    QFETCH(bool, inDialog);
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));
    Module1::Reset();
    Module1::DbConnection = openConnection();
    clsConnection& connection = *Module1::DbConnection;
    const int token = connection.BeginTrans();
    QVERIFY(token > 0);
    {
        QSqlQuery insert(connection.ADOConnection()->db());
        QVERIFY(insert.exec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (1, 'inside')"));
    }
    bool dropped = false;
    afterDialogOrTimer(inDialog, [&] { dropped = dropLocks(dir.file("Torvan.accdb-shm")); });
    QVERIFY2(dropped, "closing the -shm did not drop the lock");

    const QString outside = sqliteCommandLine("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (2, 'outside')");
    QVERIFY2(outside.startsWith("FAILED") && outside.contains("locked"), qPrintable(outside));
    QVERIFY(connection.CommitTrans(token));
    QCOMPARE(sqliteCommandLine("SELECT group_concat(TEST_NAME) FROM TEST_INFO"), QString("inside"));
    QCOMPARE(sqliteCommandLine("PRAGMA integrity_check"), QString("ok"));
    Module1::Reset();
}

// A second database is opened and let go while the first one's lock had been taken again by the guard:
// the first keeps its locks, and a lock it drops afterwards is still taken again.
void DatabaseFile::secondDatabaseKeepsTheFirstsLocks()
{
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));
    const QString db = dir.file("Torvan.accdb");
    Module1::Reset();
    Module1::DbConnection = openConnection();
    QVERIFY(dropLocks(db));
    QVERIFY(platform::keepDatabaseLock());
    QVERIFY(processHoldsLock(db));
    {
        TempWorkDir second;
        std::shared_ptr<clsConnection> other = openConnection();
        QVERIFY(processHoldsLock(second.file("Torvan.accdb")));
    }
    QVERIFY2(processHoldsLock(db), "letting the second database go dropped the first's lock");
    QVERIFY(processHoldsLock(db + "-shm"));
    QVERIFY(dropLocks(db));
    QVERIFY(platform::keepDatabaseLock());
    QVERIFY(processHoldsLock(db));
    QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_INFO"), QString("0"));
    QVERIFY(QFile::exists(db + "-wal"));
    Module1::Reset();
}

// The last connection on a database closes while SQLite still holds its locks (also after the guard took
// one again), and SQLite's close then tidies the -wal away.
void DatabaseFile::sqliteLetsGoBeforeTheGuard()
{
    TempWorkDir dir;
    const QString db = dir.file("Torvan.accdb");
    std::shared_ptr<clsConnection> connection = openConnection();
    QVERIFY(dropLocks(db));
    QVERIFY(platform::keepDatabaseLock());
    struct Seen {
        QString db;
        int closes = 0;
        bool held = false;
    } seen{db};
    sqlite3* handle = sqliteHandle(connection->ADOConnection()->db());
    QVERIFY(handle);
    sqlite3_trace_v2(
        handle, SQLITE_TRACE_CLOSE,
        [](unsigned, void* context, void*, void*) {
            auto* s = static_cast<Seen*>(context);
            ++s->closes;
            s->held = processHoldsLock(s->db) && processHoldsLock(s->db + "-shm");
            return 0;
        },
        &seen);
    connection.reset();
    QCOMPARE(seen.closes, 1);
    QVERIFY2(seen.held, "SQLite closed without its locks");
    QVERIFY(!QFile::exists(db + "-wal"));
}

// The database is replaced by a copy that another program holds an exclusive lock on: the connections
// cannot be opened onto it at once, which is told once. Once the lock goes, they open onto the new file
// without anything changing at the path, and nothing more is told.
void DatabaseFile::reopenTriedAgainOnceItsCausePasses()
{
    TempWorkDir dir;
    ScriptedPrompts prompts;
    const QString db = dir.file("Torvan.accdb");
    Module1::Reset();
    Module1::DbConnection = openConnection();
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (1, 'old file')"));
    QCOMPARE(sqliteCommandLine("VACUUM INTO 'copy.accdb'"), QString());
    QProcess copy;
    // Interactive, so that it answers each statement at once (it echoes them too).
    copy.start(QStringLiteral("sqlite3"), {QStringLiteral("-interactive"), QStringLiteral("copy.accdb")});
    QVERIFY(copy.waitForStarted(5000));
    copy.write("PRAGMA journal_mode=DELETE;\nUPDATE TEST_INFO SET TEST_NAME = 'new file';\n"
               "BEGIN EXCLUSIVE;\nSELECT 'held';\n");
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += copy.readAllStandardOutput()).contains("\nheld\n")
                                 || copy.state() == QProcess::NotRunning,
                             5000);
    QVERIFY(copy.state() == QProcess::Running);
    QVERIFY(std::rename("copy.accdb", "Torvan.accdb") == 0);

    const auto readsName = [&] {
        QSqlQuery q(Module1::DbConnection->ADOConnection()->db());
        return q.exec("SELECT TEST_NAME FROM TEST_INFO") && q.next() ? q.value(0).toString() : QString();
    };
    platform::keepDatabaseLock();
    QCOMPARE(prompts.texts().size(), 1);
    QVERIFY2(prompts.texts().front().contains("could not be opened again"), qPrintable(prompts.texts().front()));
    QCOMPARE(readsName(), QString());

    copy.write("COMMIT;\n.quit\n");
    QVERIFY(copy.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(readsName(), QString("new file"), 15000);
    QCOMPARE(prompts.texts().size(), 1);
    QVERIFY(sqlExec("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (2, 'after')"));
    QCOMPARE(sqliteCommandLine("SELECT count(*) FROM TEST_INFO"), QString("2"));
    Module1::Reset();
}

// A write-protected database: the start-up names it in one message, the review stays off as for any
// database that does not open, and no -wal/-shm file is made.
void DatabaseFile::writeProtectedDatabaseNamedOnceAtStartUp()
{
    namespace fs = std::filesystem;
    TempWorkDir dir;
    dir.write("initial.txt", SettingsFile::text({}, 1));
    const fs::path db(QFile::encodeName(dir.file("Torvan.accdb")).toStdString());
    fs::permissions(db, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Module1::Reset();
    ScriptedPrompts prompts;
    {
        frmMain w;
        w.Form_Load();
        QCOMPARE(prompts.texts(),
                 QStringList{"clsConnection.OpenConnection: Error #: 8\r\nThe database file '" +
                             QDir::toNativeSeparators(dir.file("Torvan.accdb")) +
                             "' is write-protected: no test can be stored in it. Allow writing to it and start the "
                             "program again."});
        QVERIFY(!w.DatabaseReady());
        QVERIFY(!w.cmdOpen->isEnabled());
    }
    Module1::Reset();
    QVERIFY(!fs::exists(dir.file("Torvan.accdb-wal").toStdString()));
    QVERIFY(!fs::exists(dir.file("Torvan.accdb-shm").toStdString()));
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
}

QTEST_MAIN(DatabaseFile)
#include "tst_databasefile.moc"
