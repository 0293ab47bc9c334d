// Calibration end to end: torvan-sim plays unit 1 on a pseudo-terminal and takes spacers and pressures
// through its control channel; the calibration screen reads them through the real serial layer, fits,
// saves "Calib.dat" and "pcalinfo.csv", and a simple-test screen of unit 1 then measures a spacer with the
// new factors.
//
// Screenshots: with VEDUVOVIR_SCREENSHOTS set to a folder, calibrate-height.png and calibrate-pressure.png
// (both tabs after cell A's calibration) are saved there, e.g.
//   VEDUVOVIR_SCREENSHOTS=/tmp xvfb-run -a -s "-screen 0 1920x1080x24" \
//       env QT_QPA_PLATFORM=xcb build/calibration_tst_calibrate_e2e
#include "TestSupport.h"
#include "calibration/frmCalibrate.h"
#include "platform/Graph.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// One line to the simulator's control FIFO, then a moment for the records made after it to start flowing.
bool control(const QString& fifo, const QByteArray& line)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const QByteArray bytes = line + '\n';
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    QTest::qWait(300);
    return ok;
}

QStringList lines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"<cannot open>"};
    return QString::fromLatin1(f.readAll()).split("\r\n");
}

void screenshot(QWidget& w, const QString& name)
{
    const QString shots = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
    if (shots.isEmpty()) return;
    QTest::qWait(600);
    QVERIFY(w.grab().save(QDir(shots).filePath(name)));
}

} // namespace

class TestCalibrateEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void calibrateCellAgainstTheSimulator();
};

void TestCalibrateEndToEnd::calibrateCellAgainstTheSimulator()
{
    TempWorkDir dir;
    dir.write("initial.txt", SettingsFile::text({1, 0, 0, 0, 0, 0, 0, 0}, 1));
    dir.write("pcalinfo.csv", QByteArray("\r\n").repeated(8));
    const QString fifo = dir.file("control");

    QProcess sim;
    sim.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
              {"--dir", dir.path(), "--ports", "1", "--period-ms", "100", "--control", fifo});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file("COM1")) && QFile::exists(fifo), 5000);

    platform::ScriptedPrompts prompts;
    {
        frmCalibrate w;
        w.resize(1200, 820);
        w.show();
        w.Combo1[1]->setCurrentIndex(0);
        w.Combo1_Click(1);
        QVERIFY(w.MSComm1->isOpen());
        QCOMPARE(w.CalUnit, 1);

        // Three spacers in cell A.
        QVERIFY(control(fifo, "length A 0.4"));
        w.cmd04_Click(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.lblvolt1[1]->text(), QString("1.2"), 8000);
        QVERIFY(control(fifo, "length A 0.65"));
        w.cmd065_Click(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.lblvolt2[1]->text(), QString("2.2"), 8000);
        QVERIFY(control(fifo, "length A 0.9"));
        w.cmd09_Click(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.lblvolt3[1]->text(), QString("3.2"), 8000);
        QCOMPARE(prompts.texts(), QStringList());
        QCOMPARE(w.lblconst1[1]->text(), QString("0.1"));
        QCOMPARE(w.lblconst2[1]->text(), QString("0.25"));
        QCOMPARE(w.lblconst3[1]->text(), QString("0.1"));
        QCOMPARE(w.lblconst4[1]->text(), QString("0.25"));
        QCOMPARE(w.CWGraph1[1]->plottedX(), (std::vector<double>{1.2, 2.2, 3.2}));
        QVERIFY(w.cmdSaveH->isEnabled());

        w.cmdSaveH_Click();
        QCOMPARE(prompts.texts(), QStringList());
        QCOMPARE(lines(dir.file("Calib.dat")),
                 (QStringList{"1.2,2.2,3.2, .1 , .25 , .1 , .25 ,,,,,,,,", "", "", "", "", "", "", "", ""}));
        screenshot(w, "calibrate-height.png");

        // The pressure tab on the same unit: 0 psi, then 1000 psi on cell A.
        w.TabStrip1->setCurrentIndex(1);
        QCOMPARE(w.CurrentTab, 2);
        QCOMPARE(w.Combo1[2]->currentText(), QString("UNIT 1"));
        QVERIFY(w.MSComm1->isOpen());
        QVERIFY(control(fifo, "pressure A 0"));
        w.Command6_Click(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.lbldata4[1]->text(), QString("0.5"), 8000);
        QVERIFY(control(fifo, "pressure A 1000"));
        w.Command7_Click(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.lbldata5[1]->text(), QString("4.5"), 8000);
        QCOMPARE(w.lblIntercept[1]->text(), QString("0.5"));
        QCOMPARE(w.lblSlope[1]->text(), QString("0.004"));
        w.cmdSaveP_Click();
        QCOMPARE(prompts.texts(), QStringList());
        QCOMPARE(lines(dir.file("pcalinfo.csv")).first(), QString("0.5,4.5,0.5,0.004,,,,,"));
        screenshot(w, "calibrate-pressure.png");

        // The tab change cleared the saved flags while the height factors stay on their tab: leaving asks.
        QSignalSpy unloaded(&w, &frmCalibrate::Unloaded);
        prompts.queueAnswer(platform::Answer::No);
        w.cmdReturn_Click(2);
        QCOMPARE(prompts.texts().size(), 1);
        QVERIFY(prompts.texts().first().startsWith("Do you want save calibration data before returning"));
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!w.MSComm1->isOpen());
    }

    // A simple-test screen of unit 1 measures a spacer of 0.55 in. with the saved factors.
    QVERIFY(control(fifo, "length A 0.55"));
    Module1::UnitSystem = 1;
    Module1::SetUnitCaptions();
    Module1::DbConnection = openConnection();
    {
        frmMDIRealTime rt;
        rt.show();
        rt.menuSimpleAdd_Click(1);
        auto* unit1 = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]);
        QVERIFY(unit1);
        QCOMPARE(Module1::Calibration[1][1].CalSlope1, 0.25);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(unit1->poll().cell(1).volts - 1.8) < 1e-9, 8000);
        QVERIFY(qAbs(unit1->poll().cell(1).length - 0.55) < 1e-9);
        // Cell B was never calibrated: the screen says so when it loads the unit.
        QVERIFY(prompts.texts().contains("Unit 1, Cell B  not calibrated yet!"));
    }
    Module1::Reset();
    sim.terminate();
    sim.waitForFinished(3000);
}

QTEST_MAIN(TestCalibrateEndToEnd)
#include "tst_calibrate_e2e.moc"
