// The serial link end to end: torvan-sim on a pseudo-terminal, the real serial port, the poll driven by a
// real 500 ms timer.
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "realtime/UnitCommands.h"
#include "realtime/UnitPoll.h"
#include "records/Module1.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <functional>

using namespace realtime;

namespace {

const QString kSimulator = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");

// The simulator's own calibration: length = 0.25 in/V × volts + 0.1 in on both segments.
void setSimulatorCalibration(int unit)
{
    for (int cell = 1; cell <= 2; ++cell) Module1::Calibration[std::size_t(unit)][std::size_t(cell)] = {1, 2.5, 4, 0.1, 0.25, 0.1, 0.25};
}

class Screen : public UnitPollListener {
public:
    UnitPoll* poll = nullptr;
    std::array<bool, 3> alarm{};
    int ticks = 0;
    void showLabel(int, CellLabel, const QString&) override {}
    void showAlarm(int cell, bool shown) override { alarm[std::size_t(cell)] = shown; }
    void showStatus(int, const QString&) override {}
    void stopCell(int cell) override { poll->cell(cell).state = CellStopped; }
    bool storePoint(const LoggedPoint&) override { return true; }
};

class Simulator {
public:
    ~Simulator() { stop(); }
    QString start(const QString& dir, const QStringList& extra = {})
    {
        process.setProgram(kSimulator);
        process.setArguments(QStringList{"--dir", dir, "--ports", "1", "--seed", "7"} + extra);
        process.start();
        if (!process.waitForStarted(5000)) return "cannot start " + kSimulator + ": " + process.errorString();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            if (process.canReadLine()) {
                const QByteArray line = process.readLine();
                if (line.startsWith("torvan-sim: port 1 -> ")) return {};
                return "unexpected output: " + QString::fromLocal8Bit(line);
            }
            if (process.state() != QProcess::Running) break;
            process.waitForReadyRead(100);
        }
        return "no port line; stderr: " + QString::fromLocal8Bit(process.readAllStandardError());
    }
    void stop()
    {
        if (process.state() == QProcess::NotRunning) return;
        // Ended as a unit that is switched off: it removes its COM link, so the port, which tries to
        // open again every few seconds, finds no device instead of a pseudo-terminal that took over the
        // old number.
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    QProcess process;
};

// Runs the event loop with the poll ticking every 500 ms until done() holds or ms have passed.
bool runTicks(UnitPoll& poll, Screen& screen, int ms, const std::function<bool()>& done = {})
{
    QTimer timer;
    timer.setInterval(500);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        poll.tick();
        ++screen.ticks;
    });
    timer.start();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (done && done()) return true;
    }
    return !done;
}

} // namespace

class TestUnitLinkE2E : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        Module1::Reset();
        Module1::UnitSystem = 1;
    }
    void cleanup() { Module1::Reset(); }
    void readingsSetPointAndVanishingUnit();
    void silentUnitRaisesAlarmOnFifthMiss();
};

void TestUnitLinkE2E::readingsSetPointAndVanishingUnit()
{
    testsupport::TempWorkDir dir(false);
    platform::ScriptedPrompts prompts;
    Simulator sim;
    const QString error = sim.start(dir.path());
    QVERIFY2(error.isEmpty(), qPrintable(error));

    setSimulatorCalibration(1);
    auto port = platform::makeSerialPort();
    QVERIFY2(port->open(1), qPrintable(port->lastError()));
    Screen screen;
    UnitPoll poll(*port, screen, 1);
    screen.poll = &poll;
    UnitSerialLink link(*port);

    // Both cells report: ambient temperatures, the simulator's pressure, a dry wafer of about 0.5 in.
    QVERIFY(runTicks(poll, screen, 3000));
    for (int c = 1; c <= 2; ++c) {
        const UnitCell& k = poll.cell(c);
        QVERIFY2(k.currentTemp > 50 && k.currentTemp < 100, qPrintable(QString::number(k.currentTemp)));
        QVERIFY(k.bathTemp > 50 && k.bathTemp < 100);
        QVERIFY(k.pressure > 1000 && k.pressure < 1200);
        QCOMPARE(k.pressure, std::round(k.pressure));
        QVERIFY2(qAbs(k.length - 0.5) < 0.01, qPrintable(QString::number(k.length)));
        QVERIFY(!k.label(CellLabel::lbltemp1).isEmpty());
        QVERIFY(!k.label(CellLabel::lblen).isEmpty());
        QVERIFY(!screen.alarm[std::size_t(c)]);
    }
    QVERIFY(screen.ticks >= 5);

    // The setting that cell B reports follows SetTemperature; cell A keeps its own.
    const double settingA = poll.cell(1).tempSetting;
    QVERIFY(link.SetTemperature(2, 250));
    QVERIFY2(runTicks(poll, screen, 3000, [&] { return poll.cell(2).tempSetting == 250; }),
             qPrintable(QString::number(poll.cell(2).tempSetting)));
    QCOMPARE(poll.cell(1).tempSetting, settingA);

    // The unit vanishes: the port closes by itself, the alarm rises, commands fail, nobody is asked anything.
    const int ticksBefore = screen.ticks;
    sim.stop();
    QVERIFY(runTicks(poll, screen, 5000, [&] { return screen.alarm[1] && screen.alarm[2]; }));
    QVERIFY(screen.ticks - ticksBefore >= UnitPoll::AlarmAfterMisses);
    QVERIFY(!port->isOpen());
    QVERIFY(!link.SetTemperature(1, 100));
    QVERIFY(!link.lastError().isEmpty());
    QVERIFY(runTicks(poll, screen, 1000));   // keeps ticking quietly
    QVERIFY(screen.alarm[1] && screen.alarm[2]);
    QVERIFY(prompts.shown.empty());
}

void TestUnitLinkE2E::silentUnitRaisesAlarmOnFifthMiss()
{
    testsupport::TempWorkDir dir(false);
    platform::ScriptedPrompts prompts;
    Simulator sim;
    const QString error = sim.start(dir.path(), {"--silent-after", "1"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    auto port = platform::makeSerialPort();
    QVERIFY2(port->open(1), qPrintable(port->lastError()));
    Screen screen;
    UnitPoll poll(*port, screen, 1);
    screen.poll = &poll;

    // Records arrive during the first second; then five silent ticks raise the alarm, the fourth does not.
    QVERIFY(runTicks(poll, screen, 6000, [&] { return poll.missCount() == UnitPoll::AlarmAfterMisses - 1; }));
    QVERIFY(poll.cell(1).currentTemp > 50);
    QVERIFY(!screen.alarm[1] && !screen.alarm[2]);
    QVERIFY(runTicks(poll, screen, 2000, [&] { return poll.missCount() == UnitPoll::AlarmAfterMisses; }));
    QVERIFY(screen.alarm[1] && screen.alarm[2]);
    QVERIFY(port->isOpen());   // silent, not gone
    QVERIFY(prompts.shown.empty());
}

QTEST_GUILESS_MAIN(TestUnitLinkE2E)
#include "tst_unitlink_e2e.moc"
