// A unit that goes away for a moment and comes back, end to end: two torvan-sim processes play units 1 and 2
// on pseudo-terminals, the real-time window adds both and a test runs on cell A of each at a 1 s interval.
// Unit 1's simulator is killed and started again on the same port; unit 1's screen reads it again by itself,
// its alarm clears and its test goes on logging, the gap showing in TEST_RESULT only as missing points.
// Unit 2 runs on throughout, untouched, and nobody is asked anything. The unit that came back (a new
// simulator knows no set point) is sent the set point of its running cell and of its preheating cell.
#include "EndToEndRig.h"
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/ReopeningSerialPort.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

#include <functional>

using namespace testsupport;

namespace {

const QString kSimulator = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");

bool startSimulator(QProcess& sim, const QString& dir, int port)
{
    // --verbose: the commands it receives are logged on its stderr.
    sim.start(kSimulator, {"--dir", dir, "--ports", QString::number(port), "--seed", QString::number(port + 10),
                           "--verbose"});
    if (!sim.waitForStarted(5000)) return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        if (sim.canReadLine()) return sim.readLine().startsWith("torvan-sim: port ");
        if (sim.state() != QProcess::Running) return false;
        sim.waitForReadyRead(100);
    }
    return false;
}

// The RESULT_TIME values of a test in the order they were stored.
QList<double> resultTimes(const QString& testId)
{
    QList<double> times;
    const QString text = sqlValue("SELECT group_concat(RESULT_TIME, ',') FROM (SELECT RESULT_TIME FROM TEST_RESULT "
                                  "WHERE TEST_ID = " + testId + " ORDER BY RESULT_ID)");
    for (const QString& t : text.split(',', Qt::SkipEmptyParts)) times << t.toDouble();
    return times;
}

QString timesText(const QList<double>& times)
{
    QStringList out;
    for (double t : times) out << QString::number(t);
    return out.join(' ');
}

} // namespace

class TestUnitReturnEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        platform::setModalHandler({});
        Module1::Reset();
    }
    void unitComesBackAndTestGoesOnLogging();
};

void TestUnitReturnEndToEnd::unitComesBackAndTestGoesOnLogging()
{
    TempWorkDir dir;
    e2e::prepare(dir);
    auto simUnit1 = std::make_unique<QProcess>();
    QProcess simUnit2;
    QVERIFY(startSimulator(*simUnit1, dir.path(), 1));
    QVERIFY(startSimulator(simUnit2, dir.path(), 2));

    platform::ScriptedPrompts prompts;
    QString nextTestName;
    e2e::answerTestInformation([&nextTestName] { return nextTestName; });

    {
        frmMDIRealTime w;
        w.show();
        const auto [unit1, unit2] = e2e::addSimpleScreens(w, prompts);
        if (QTest::currentTestFailed()) return;
        platform::SerialPort* port1 = unit1->MSComm1.get();
        QTRY_VERIFY_WITH_TIMEOUT(unit1->poll().cell(1).volts > 1.5 && unit2->poll().cell(1).volts > 1.5, 5000);

        // A test on cell A of each unit, one point a second.
        QElapsedTimer sinceStart1;
        for (frmSimpleTest* unit : {unit1, unit2}) {
            prompts.queueInput("0.5");
            unit->cmdzero_Click(1);
            nextTestName = unit == unit1 ? "Comes back" : "Stays";
            unit->cmdInfo_Click(1);
            unit->txtInterval[1]->setText("1");
            unit->txtInterval_Change(1);
            unit->txtTemps[1]->setText("150");
            if (unit == unit1) sinceStart1.start();
            unit->cmdStart_Click(1);
            QCOMPARE(unit->poll().cell(1).state, 1);
        }
        // Cell B of unit 1 preheats at 100 °F.
        unit1->txtTemps[2]->setText("100");
        unit1->cmdPreHeat_Click(2);
        QCOMPARE(unit1->poll().cell(2).state, 3);
        const QString id1 = sqlValue("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = 'Comes back'");
        const QString id2 = sqlValue("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = 'Stays'");
        QVERIFY(!id1.isEmpty() && !id2.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(resultTimes(id1).size() >= 3, 8000);
        const int shownBefore = int(prompts.shown.size());

        // Runs the event loop until done() holds or ms have passed, watching unit 2's alarm all along.
        bool unit2Alarmed = false;
        const auto runUntil = [&](int ms, const std::function<bool()>& done) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < ms) {
                QTest::qWait(50);
                if (unit2->Label44[1]->isVisible() || unit2->Label44[2]->isVisible()) unit2Alarmed = true;
                if (done()) return true;
            }
            return false;
        };

        // Unit 1's simulator dies without cleaning up; its COM1 link goes with it, as an unplugged
        // adapter's device node does (a left link could name the next pseudo-terminal another program opens).
        simUnit1->kill();
        QVERIFY(simUnit1->waitForFinished(5000));
        QFile::remove(dir.file("COM1"));
        QVERIFY(runUntil(8000, [&] { return unit1->Label44[1]->isVisible() && unit1->Label44[2]->isVisible(); }));
        QVERIFY(!port1->isOpen());
        const int unit2PointsAtLoss = int(resultTimes(id2).size());
        // Several silent seconds: the port stays closed, unit 2 logs on.
        runUntil(4000, [] { return false; });
        QVERIFY(!port1->isOpen());
        QVERIFY(unit1->Label44[1]->isVisible());
        QVERIFY2(resultTimes(id2).size() >= unit2PointsAtLoss + 2, qPrintable(timesText(resultTimes(id2))));
        const int unit1PointsInGap = int(resultTimes(id1).size());

        // The unit is back on the same port (a new pseudo-terminal behind a new COM1 link).
        simUnit1 = std::make_unique<QProcess>();
        QVERIFY(startSimulator(*simUnit1, dir.path(), 1));
        QVERIFY2(runUntil(4 * int(platform::ReopeningSerialPort::ReopenIntervalMs),
                          [&] { return port1->isOpen() && !unit1->Label44[1]->isVisible(); }),
                 "unit 1 did not come back");
        QVERIFY(!unit1->Label44[2]->isVisible());
        // The new simulator got both set points again, as the cells were when it went away.
        QString commands;
        QVERIFY2(runUntil(3000,
                          [&] {
                              commands += QString::fromLatin1(simUnit1->readAllStandardError());
                              return commands.contains("SetTemperature A 150") && commands.contains("Preheat B 100");
                          }),
                 qPrintable(commands));
        QVERIFY(runUntil(10000, [&] { return resultTimes(id1).size() >= unit1PointsInGap + 3; }));
        const double wallSeconds = sinceStart1.elapsed() / 1000.0;
        QCOMPARE(unit1->poll().cell(1).state, 1);   // still running
        qInfo("unit 1 RESULT_TIME: %s", qPrintable(timesText(resultTimes(id1))));

        // TEST_RESULT of unit 1: elapsed seconds in strictly increasing order, a gap of missing points
        // while the unit was away, and the clock of the test never reset.
        const QList<double> times = resultTimes(id1);
        double widestStep = 0;
        for (qsizetype i = 1; i < times.size(); ++i) {
            QVERIFY2(times[i] > times[i - 1], qPrintable(timesText(times)));
            widestStep = std::max(widestStep, times[i] - times[i - 1]);
        }
        QVERIFY2(widestStep >= 4, qPrintable(timesText(times)));
        QVERIFY2(times.last() <= wallSeconds + 1 && times.last() >= wallSeconds - 5,
                 qPrintable(timesText(times) + " after " + QString::number(wallSeconds) + " s"));

        // Unit 2 never noticed: no alarm, no gap in its points.
        const QList<double> times2 = resultTimes(id2);
        for (qsizetype i = 1; i < times2.size(); ++i) {
            QVERIFY2(times2[i] > times2[i - 1], qPrintable(timesText(times2)));
            QVERIFY2(times2[i] - times2[i - 1] <= 3, qPrintable(timesText(times2)));
        }
        QVERIFY(!unit2Alarmed);
        QCOMPARE(int(prompts.shown.size()), shownBefore);

        unit1->StopTest(1);
        unit1->StopTest(2);
        unit2->StopTest(1);
    }
    simUnit1->terminate();
    simUnit1->waitForFinished(3000);
    simUnit2.terminate();
    simUnit2.waitForFinished(3000);
}

QTEST_MAIN(TestUnitReturnEndToEnd)
#include "tst_unitreturn_e2e.moc"
