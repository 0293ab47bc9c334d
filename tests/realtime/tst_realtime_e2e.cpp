// The real-time test end to end: torvan-sim plays units 1 and 2 on pseudo-terminals; the real-time window
// adds both from its menu, a cell is zeroed against the simulator's dry wafer, described, started, and its
// points reach TEST_RESULT at the chosen interval; when the simulator dies the alarm rises without a crash.
#include "EndToEndRig.h"
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

using namespace testsupport;

class TestRealTimeEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void addZeroDescribeStartAndLog();
};

void TestRealTimeEndToEnd::addZeroDescribeStartAndLog()
{
    TempWorkDir dir;
    e2e::prepare(dir);

    QProcess sim;
    sim.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
              {"--dir", dir.path(), "--ports", "1,2", "--seed", "5"});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file("COM1")) && QFile::exists(dir.file("COM2")), 5000);

    platform::ScriptedPrompts prompts;
    e2e::answerTestInformation([] { return QStringLiteral("E2E cell A"); });

    {
        frmMDIRealTime w;
        w.show();
        const auto [unit1, unit2] = e2e::addSimpleScreens(w, prompts);
        if (QTest::currentTestFailed()) return;

        // Both units report both cells; the dry wafer reads 1.6 V, 0.5 in. by the calibration.
        QTRY_VERIFY_WITH_TIMEOUT(unit1->poll().cell(1).volts > 1.5 && unit2->poll().cell(2).volts > 1.5, 5000);
        QVERIFY(qAbs(unit1->poll().cell(1).length - 0.5) < 0.01);

        prompts.queueInput("0.5");
        unit1->cmdzero_Click(1);
        QCOMPARE(unit1->poll().cell(1).waferLength, 0.5);
        unit1->cmdInfo_Click(1);
        QCOMPARE(unit1->poll().cell(1).testName, QString("E2E cell A"));
        unit1->txtInterval[1]->setText("1");
        unit1->txtInterval_Change(1);
        unit1->txtTemps[1]->setText("150");
        unit1->cmdStart_Click(1);
        QCOMPARE(unit1->poll().cell(1).state, 1);
        QCOMPARE(prompts.texts(), QStringList{"Input dry wafer Length (in.)"});

        const QString id = sqlValue("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = 'E2E cell A'");
        QVERIFY(!id.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(sqlValue("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = " + id).toInt() >= 3, 8000);
        // One point a second at most: times are whole seconds and strictly increasing.
        QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT a JOIN TEST_RESULT b ON a.TEST_ID = b.TEST_ID AND "
                          "a.RESULT_ID < b.RESULT_ID AND b.RESULT_TIME <= a.RESULT_TIME"),
                 QString("0"));
        QTRY_COMPARE_WITH_TIMEOUT(unit1->poll().cell(1).tempSetting, 150.0, 3000);

        // With VEDUVOVIR_SCREENSHOTS set, a picture of the two screens tiled side by side.
        const QString shots = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
        if (!shots.isEmpty()) {
            w.showNormal();
            w.resize(1920, 1040);
            w.MenuWindowVertically_Click();
            QTest::qWait(1200);
            QVERIFY(w.grab().save(QDir(shots).filePath("realtime-tiled.png")));
        }

        // The simulator dies: the alarm rises on both screens, nothing is shown to the operator.
        const int shownBefore = int(prompts.shown.size());
        sim.kill();
        sim.waitForFinished(3000);
        // Its links go with it, as an unplugged adapter's device node does; a link left behind could name
        // the next pseudo-terminal that another program opens, and the screens would read that one.
        QFile::remove(dir.file("COM1"));
        QFile::remove(dir.file("COM2"));
        QTRY_VERIFY_WITH_TIMEOUT(unit1->Label44[1]->isVisible() && unit2->Label44[2]->isVisible(), 6000);
        QCOMPARE(int(prompts.shown.size()), shownBefore);

        unit1->StopTest(1);   // the stop's commands fail on the closed port; the cell stops all the same
        QCOMPARE(unit1->poll().cell(1).state, 2);
    }
    platform::setModalHandler({});
    Module1::Reset();
}

QTEST_MAIN(TestRealTimeEndToEnd)
#include "tst_realtime_e2e.moc"
