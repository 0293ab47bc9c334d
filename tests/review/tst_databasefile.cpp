// The database file on disk while the program runs. A test logs against torvan-sim while every path that
// checks or opens the database runs (start-up, the real-time window and its unit, opening a test, the
// search, deleting a test, saving test information in the main window and in the detail window); then
// another process opens, reads and closes the database, as a lab script or a backup would. The program must
// still hold its lock, the -wal file must still be there, and every point the program stored must be seen
// by the other process. And a database that cannot be written is named once at start-up.
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
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
#include <QTableView>
#include <QtTest>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using platform::ScriptedPrompts;

namespace {

const QString kSim = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");

// True when /proc/locks lists a lock of this process on the file at path.
bool processHoldsLock(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return false;
    const QString pid = QString::number(::getpid());
    const QString inode = QStringLiteral(":%1").arg(quint64(st.st_ino));
    for (const QByteArray& raw : locks.readAll().split('\n')) {
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741826 1073742335"
        const QStringList f = QString::fromLatin1(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qsizetype at = f.indexOf(pid);
        if (!raw.contains("->") && at > 0 && at + 1 < f.size() && f[at + 1].endsWith(inode)) return true;
    }
    return false;
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

} // namespace

class DatabaseFile : public QObject {
    Q_OBJECT
private slots:
    void holdSurvivesEveryPathThatOpensIt();
    void writeProtectedDatabaseNamedOnceAtStartUp();
};

void DatabaseFile::holdSurvivesEveryPathThatOpensIt()
{
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));   // the sqlite3 command line is there
    dir.write("initial.txt", SettingsFile::text({1}, 1));
    QByteArray cal;
    for (int i = 0; i < 8; ++i) cal += "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,1.2,2.2,3.2, .1 , .25 , .1 , .25 ,\r\n";
    dir.write("Calib.dat", cal);
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
        auto* detail = Module1::form<frmTestDetail>(Module1::DetailForms[1][1]);
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
    }
    sim.kill();
    sim.waitForFinished(3000);
    platform::setModalHandler({});
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
