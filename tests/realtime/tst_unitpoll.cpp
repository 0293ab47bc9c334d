// The 500 ms poll of a unit screen: alarm, measurement, over-temperature trip, preheat notice, elapsed
// time, maximum-time stop and logging trigger, driven by a fake port and a manual clock.
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "realtime/UnitPoll.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/format.h"

#include <QtTest>

#include <functional>
#include <map>
#include <stdexcept>

using namespace realtime;

namespace {
constexpr char SUB = 26;

QByteArray rec(const char* tag, double temp, double bath, double setting, double mV, double psi)
{
    return QByteArray(tag) + "," + QByteArray::number(temp) + "," + QByteArray::number(bath) + ","
        + QByteArray::number(setting) + "," + QByteArray::number(mV) + "," + QByteArray::number(psi) + SUB;
}

// Plays the screen: records what it is told; a stop puts the cell into state 2 and clears its wafer length.
class Screen : public UnitPollListener {
public:
    UnitPoll* poll = nullptr;
    std::map<std::pair<int, CellLabel>, QString> labels;
    std::map<std::pair<int, CellLabel>, int> labelWrites;
    std::array<bool, 3> alarm{};
    std::array<QString, 3> status;
    QStringList events;   // "stop 1", "log 2", "chart", "message"
    std::function<void(int)> duringStop;
    std::function<bool(int)> log = [](int) { return true; };

    void showLabel(int cell, CellLabel l, const QString& text) override
    {
        labels[{cell, l}] = text;
        ++labelWrites[{cell, l}];
    }
    void showAlarm(int cell, bool shown) override { alarm[std::size_t(cell)] = shown; }
    void showStatus(int cell, const QString& text) override { status[std::size_t(cell)] = text; }
    void stopCell(int cell) override
    {
        events << QStringLiteral("stop %1").arg(cell);
        if (duringStop) duringStop(cell);
        poll->cell(cell).state = CellStopped;
        poll->cell(cell).waferLength = 0;
    }
    void showMessage(const QString& text) override
    {
        events << QStringLiteral("message");
        UnitPollListener::showMessage(text);
    }
    std::vector<LoggedPoint> stored;
    bool storePoint(const LoggedPoint& p) override
    {
        events << QStringLiteral("log %1").arg(p.cell);
        if (!log(p.cell)) return false;
        stored.push_back(p);
        return true;
    }
    void refreshChart() override { events << QStringLiteral("chart"); }
    QString label(int cell, CellLabel l) const
    {
        const auto it = labels.find({cell, l});
        return it == labels.end() ? QString() : it->second;
    }
    int writes(int cell, CellLabel l) const
    {
        const auto it = labelWrites.find({cell, l});
        return it == labelWrites.end() ? 0 : it->second;
    }
};

// One poll on a fake port with a manual clock, English units unless told otherwise.
struct Rig {
    platform::ManualClock clock{100000};
    platform::FakeSerialPort port;
    platform::ScriptedPrompts prompts;
    Screen screen;
    UnitPoll poll;
    explicit Rig(int unit = 1, UnitPoll::Screen kind = UnitPoll::Screen::Simple) : poll(port, screen, unit, kind)
    {
        screen.poll = &poll;
        port.open(1, "19200,n,8,1");
    }
    // One tick, then what the event loop runs right after it (messages raised inside the tick).
    void tick(const QByteArray& in = {})
    {
        port.receive(in);
        poll.tick();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
    // A running cell started now.
    void run(int cell)
    {
        poll.cell(cell).state = CellRunning;
        poll.startTiming(cell);
    }
    // Both cells running, logging every `interval` seconds, far from their maximum time.
    void runBoth(int interval)
    {
        for (int c = 1; c <= 2; ++c) {
            run(c);
            poll.cell(c).maxTimeText = "1000";
            poll.cell(c).loggingInterval = interval;
        }
    }
};
} // namespace

class TestUnitPoll : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        Module1::Reset();
        Module1::UnitSystem = 1;
    }
    void cleanup() { Module1::Reset(); }
    void silentTicks_data();
    void silentTicks();
    void subHidesAlarm_data();
    void subHidesAlarm();
    void closedPortRaisesAlarm();
    void recordsAcrossTicks();
    void measurement_data();
    void measurement();
    void screensOwnCalibration();
    void settingLabel_data();
    void settingLabel();
    void overTemperature_data();
    void overTemperature();
    void stopInsideStopIsNotRepeated();
    void preheatReady_data();
    void preheatReady();
    void maxTime_data();
    void maxTime();
    void logging_data();
    void logging();
    void failedLogIsRetried();
    void failingCellDoesNotBlockTheOther();
    void backlogStoredInOrder_data();
    void backlogStoredInOrder();
    void cellSilentOnItsOwn_data();
    void cellSilentOnItsOwn();
    void cellAlarmAfterUnitSilence();
    void messagesWaitForTheTick();
    void elapsed_data();
    void elapsed();
};

void TestUnitPoll::silentTicks_data()
{
    QTest::addColumn<int>("silent");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<int>("timedWork");   // ticks on which the running cell's elapsed time was shown
    QTest::newRow("four") << 4 << false << 4;
    QTest::newRow("five") << 5 << true << 4;
    QTest::newRow("eight") << 8 << true << 4;
}

void TestUnitPoll::silentTicks()
{
    QFETCH(int, silent);
    Rig r;
    r.run(1);
    r.poll.cell(1).maxTimeText = "600";
    for (int i = 0; i < silent; ++i) {
        r.clock.advance(500);
        r.tick(i == 0 ? QByteArray("A1,70") : QByteArray());   // an unfinished record is no answer
    }
    QTEST(r.poll.alarmShown(), "alarm");
    QTEST(r.screen.alarm[1], "alarm");
    QTEST(r.screen.alarm[2], "alarm");
    QCOMPARE(r.poll.missCount(), silent);
    QTEST(r.screen.writes(1, CellLabel::lblElapseTime), "timedWork");
    QVERIFY(r.prompts.shown.empty());
}

void TestUnitPoll::subHidesAlarm_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("applied");
    QTest::newRow("valid record") << rec("A1", 70, 71, 72, 500, 120) << true;
    QTest::newRow("dropped record (lower case)") << rec("a1", 70, 71, 72, 500, 120) << false;
    QTest::newRow("empty record") << QByteArray(1, SUB) << false;
    QTest::newRow("SUB then unfinished") << QByteArray(1, SUB) + "A1,70,71" << false;
}

void TestUnitPoll::subHidesAlarm()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, applied);
    Rig r;
    for (int i = 0; i < 6; ++i) r.tick();
    QVERIFY(r.screen.alarm[1] && r.screen.alarm[2]);
    r.tick(answer);
    QVERIFY(!r.poll.alarmShown());
    QVERIFY(!r.screen.alarm[1] && !r.screen.alarm[2]);
    QCOMPARE(r.poll.missCount(), 0);
    QCOMPARE(r.screen.label(1, CellLabel::lbltemp1) == "70.", applied);
}

void TestUnitPoll::closedPortRaisesAlarm()
{
    // A device that vanished leaves a closed port: it reads nothing, and the alarm rises quietly.
    Rig r;
    r.tick(rec("A1", 70, 71, 72, 500, 120));
    r.port.close();
    r.port.receive(rec("A1", 80, 71, 72, 500, 120));   // never read: the port is closed
    for (int i = 0; i < 4; ++i) r.tick();
    QVERIFY(!r.screen.alarm[1]);
    r.tick();
    QVERIFY(r.screen.alarm[1] && r.screen.alarm[2]);
    QCOMPARE(r.poll.cell(1).currentTemp, 70.0);
    QVERIFY(r.prompts.shown.empty());
}

void TestUnitPoll::recordsAcrossTicks()
{
    Rig r;
    const QByteArray a = rec("A1", 70, 71, 72, 500, 120);
    const QByteArray b = rec("B1", 90, 91, 92, 900, 220);
    r.tick(a + b.left(6));           // A complete, B unfinished
    QCOMPARE(r.poll.cell(1).currentTemp, 70.0);
    QCOMPARE(r.poll.cell(2).currentTemp, 0.0);
    r.tick(b.mid(6) + "\r\n" + a);   // B completes; the CR LF spoils the next A record
    QCOMPARE(r.poll.cell(2).currentTemp, 90.0);
    QCOMPARE(r.poll.cell(2).pressure, 220.0);
    QCOMPARE(r.poll.buffer().size(), std::size_t(0));
    QCOMPARE(r.screen.writes(1, CellLabel::lbltemp1), 1);
}

void TestUnitPoll::measurement_data()
{
    // Calibration of unit 1, cell 1: lower segment 0.25 V⁻¹·in + 0.1 up to 2.5 V, upper 0.3·V + 0.
    QTest::addColumn<int>("unitSystem");
    QTest::addColumn<double>("milliVolts");
    QTest::addColumn<double>("zeroVolts");
    QTest::addColumn<double>("zeroLength");
    QTest::addColumn<double>("waferLength");
    QTest::addColumn<double>("swellBefore");
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("change");
    QTest::addColumn<double>("swell");
    QTest::addColumn<QString>("lblvolt");
    QTest::addColumn<QString>("lblen");
    QTest::addColumn<QString>("lbldist");
    QTest::addColumn<QString>("lblswell");
    QTest::newRow("not zeroed") << 1 << 2000.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.6 << 0.0 << 0.0 << "2" << "0.6"
                                << "0.0" << "0";
    QTest::newRow("zeroed at exactly 0 V") << 1 << 2000.0 << 0.0 << 0.1 << 0.5 << 0.0 << 0.6 << 0.0 << 0.0 << "2"
                                           << "0.6" << "0.0" << "0";
    QTest::newRow("zeroed") << 1 << 2000.0 << 1.6 << 0.5 << 0.5 << 0.0 << 0.6 << 0.1 << 20.0 << "2" << "0.6"
                            << "0.1" << "20";
    QTest::newRow("swell to one decimal") << 1 << 1700.5 << 1.6 << 0.5 << 0.4 << 0.0 << 0.525125 << 0.025125
                                          << 6.3 << "1.7005" << "0.5251" << "0.0251" << "6.3";
    QTest::newRow("after a stop swell freezes") << 1 << 2000.0 << 1.6 << 0.5 << 0.0 << 12.3 << 0.6 << 0.1 << 12.3
                                                << "2" << "0.6" << "0.1" << "12.3";
    QTest::newRow("breakpoint is lower segment") << 1 << 2500.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.725 << 0.0 << 0.0
                                                 << "2.5" << "0.725" << "0.0" << "0";
    QTest::newRow("above breakpoint") << 1 << 3000.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.9 << 0.0 << 0.0 << "3"
                                      << "0.9" << "0.0" << "0";
    QTest::newRow("shrinking sample") << 1 << 1200.0 << 1.6 << 0.5 << 0.5 << 0.0 << 0.4 << -0.1 << -20.0 << "1.2"
                                      << "0.4" << "-0.1" << "-20";
    QTest::newRow("SI lengths in mm") << 2 << 2000.0 << 1.6 << 0.5 << 0.5 << 0.0 << 0.6 << 0.1 << 20.0 << "2"
                                      << "15.24" << "2.54" << "20";
}

void TestUnitPoll::measurement()
{
    QFETCH(int, unitSystem);
    QFETCH(double, milliVolts);
    QFETCH(double, zeroVolts);
    QFETCH(double, zeroLength);
    QFETCH(double, waferLength);
    QFETCH(double, swellBefore);
    QFETCH(double, length);
    QFETCH(double, change);
    Module1::UnitSystem = unitSystem;
    Module1::Calibration[1][1] = {1.0, 2.5, 4.0, 0.1, 0.25, 0.0, 0.3};
    Rig r(1);
    UnitCell& c = r.poll.cell(1);
    c.zeroVolts = float(zeroVolts);
    c.zeroLength = zeroLength;
    c.waferLength = waferLength;
    c.swell = swellBefore;
    r.tick(rec("A7", 70.25, 71, 72, milliVolts, 119.5));
    QCOMPARE(c.volts, milliVolts / 1000);
    QVERIFY(qAbs(c.length - length) < 1e-12);
    QVERIFY(qAbs(c.lengthChange - change) < 1e-12);
    QTEST(c.swell, "swell");
    QCOMPARE(c.pressure, 120.0);
    QTEST(r.screen.label(1, CellLabel::lblvolt), "lblvolt");
    QTEST(r.screen.label(1, CellLabel::lblen), "lblen");
    QTEST(r.screen.label(1, CellLabel::lbldist), "lbldist");
    QTEST(r.screen.label(1, CellLabel::lblswell), "lblswell");
    QCOMPARE(r.screen.label(1, CellLabel::lblPress), QString("120"));
    QCOMPARE(r.screen.label(1, CellLabel::lbltemp1), unitSystem == 1 ? QString("70.3") : QString("21.3"));
    QCOMPARE(r.screen.label(1, CellLabel::lblTemp3), unitSystem == 1 ? QString("71.") : QString("21.7"));
    // The cell struct holds what the screen was told.
    QCOMPARE(c.label(CellLabel::lblen), r.screen.label(1, CellLabel::lblen));
    QCOMPARE(r.poll.cell(2).currentTemp, 0.0);
}

void TestUnitPoll::screensOwnCalibration()
{
    Module1::Calibration[1][2] = {1, 2.5, 4, 0.0, 1.0, 0.0, 1.0};
    Module1::Calibration[3][2] = {1, 2.5, 4, 0.2, 0.5, 0.2, 0.5};
    Rig r(3);
    r.tick(rec("B3", 70, 71, 72, 1000, 100));
    QCOMPARE(r.poll.cell(2).length, 0.7);
    QCOMPARE(r.poll.lengthFromVolts(2, 1.0), 0.7);
}

void TestUnitPoll::settingLabel_data()
{
    QTest::addColumn<bool>("sequence");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("shown");   // "-" = left alone
    QTest::newRow("simple idle") << false << 0 << "-";
    QTest::newRow("simple running") << false << 1 << "250.";
    QTest::newRow("simple stopped") << false << 2 << "-";
    QTest::newRow("simple preheating") << false << 3 << "-";
    QTest::newRow("sequence idle") << true << 0 << "250.";
    QTest::newRow("sequence running") << true << 1 << "250.";
    QTest::newRow("sequence preheating") << true << 3 << "";
}

void TestUnitPoll::settingLabel()
{
    QFETCH(bool, sequence);
    QFETCH(int, state);
    QFETCH(QString, shown);
    Rig r(1, sequence ? UnitPoll::Screen::Sequence : UnitPoll::Screen::Simple);
    r.poll.cell(2).state = state;
    r.poll.cell(2).maxTimeText = "100";
    r.tick(rec("B1", 70, 71, 250, 500, 120));
    QCOMPARE(r.poll.cell(2).tempSetting, 250.0);
    if (shown == "-")
        QCOMPARE(r.screen.writes(2, CellLabel::lblTemp2), 0);
    else
        QCOMPARE(r.screen.label(2, CellLabel::lblTemp2), shown);
}

void TestUnitPoll::overTemperature_data()
{
    QTest::addColumn<double>("temp");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("trips");
    QTest::newRow("680 running") << 680.0 << 1 << false;
    QTest::newRow("680.1 running") << 680.1 << 1 << true;
    QTest::newRow("680.1 preheating") << 680.1 << 3 << true;
    QTest::newRow("680.1 idle") << 680.1 << 0 << false;
    QTest::newRow("680.1 stopped") << 680.1 << 2 << false;
    QTest::newRow("900 preheating") << 900.0 << 3 << true;
}

void TestUnitPoll::overTemperature()
{
    QFETCH(double, temp);
    QFETCH(int, state);
    QFETCH(bool, trips);
    Rig r;
    r.poll.cell(2).state = state;
    r.poll.cell(2).startTick = r.clock.now;
    r.poll.cell(2).lastLogTick = r.clock.now;
    r.poll.cell(2).maxTimeText = "100";
    r.tick(rec("B1", temp, 71, 72, 500, 120) + rec("B1", temp, 71, 72, 500, 120));
    QCOMPARE(r.screen.events, trips ? QStringList({"stop 2", "message"}) : QStringList());
    QCOMPARE(r.screen.label(2, CellLabel::lbltemp1), QString::number(temp, 'f', 1).replace(".0", "."));
    // The rest of the record is applied after the trip.
    QCOMPARE(r.screen.label(2, CellLabel::lblPress), QString("120"));
    if (trips) {
        QCOMPARE(r.prompts.shown.size(), std::size_t(1));
        QCOMPARE(r.prompts.shown[0].text, UnitPoll::OverTemperatureMessage);
        QCOMPARE(r.prompts.shown[0].title, platform::defaultTitle());
        QCOMPARE(r.prompts.shown[0].buttons, platform::Buttons::OK);
    } else {
        QVERIFY(r.prompts.shown.empty());
    }
}

void TestUnitPoll::stopInsideStopIsNotRepeated()
{
    // While the stop pauses, further ticks run and see the cell still running and still too hot: they must
    // not stop it again (or show the message again). The nested ticks' readings are applied.
    Rig r;
    r.run(1);
    r.poll.cell(1).maxTimeText = "100";
    int nested = 0;
    r.screen.duringStop = [&](int) {
        for (int i = 0; i < 3; ++i) {
            ++nested;
            r.clock.advance(500);
            r.tick(rec("A1", 700 + i, 71, 72, 500, 120));
        }
    };
    r.tick(rec("A1", 690, 71, 72, 500, 120));
    QCOMPARE(nested, 3);
    QCOMPARE(r.screen.events, (QStringList{"stop 1", "message"}));
    QCOMPARE(r.poll.cell(1).state, int(CellStopped));
    QVERIFY(!r.poll.cell(1).stopping);
    // A later over-temperature record of the stopped cell trips nothing.
    r.tick(rec("A1", 750, 71, 72, 500, 120));
    QCOMPARE(r.screen.events.size(), 2);
}

void TestUnitPoll::preheatReady_data()
{
    QTest::addColumn<int>("unitSystem");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("setPoint");   // box text Preheat sent, display unit
    QTest::addColumn<double>("bath");        // °F in the record
    QTest::addColumn<QString>("typed");      // box text typed since, not sent
    QTest::addColumn<bool>("ready");
    QTest::newRow("140 at 150") << 1 << 3 << "150" << 140.0 << "150" << true;
    QTest::newRow("139.9 at 150") << 1 << 3 << "150" << 139.9 << "150" << false;
    QTest::newRow("139.95 shows 140.") << 1 << 3 << "150" << 139.95 << "150" << true;
    QTest::newRow("above the set point") << 1 << 3 << "150" << 160.0 << "150" << true;
    QTest::newRow("box text with unit") << 1 << 3 << "150 F" << 140.0 << "150 F" << true;
    QTest::newRow("not preheating") << 1 << 1 << "150" << 150.0 << "150" << false;
    QTest::newRow("idle") << 1 << 0 << "150" << 150.0 << "150" << false;
    QTest::newRow("SI 95 C shown at 100 C") << 2 << 3 << "100" << 203.0 << "100" << true;
    QTest::newRow("SI 94.4 C shown at 100 C") << 2 << 3 << "100" << 202.0 << "100" << false;
    // Ready is judged against the set point the unit heats to, not a text typed into the box since.
    QTest::newRow("140 at 150, 650 typed") << 1 << 3 << "150" << 140.0 << "650" << true;
    QTest::newRow("100 at 150, 0 typed") << 1 << 3 << "150" << 100.0 << "0" << false;
}

void TestUnitPoll::preheatReady()
{
    QFETCH(int, unitSystem);
    QFETCH(int, state);
    QFETCH(QString, setPoint);
    QFETCH(double, bath);
    QFETCH(QString, typed);
    QFETCH(bool, ready);
    Module1::UnitSystem = unitSystem;
    Rig r;
    r.poll.cell(1).state = state;
    r.poll.cell(1).maxTimeText = "100";
    r.poll.cell(1).setPointInForce = Module1::ToStoredTemp(Format::leading(setPoint));
    r.poll.cell(1).setPointByPreheat = true;
    r.poll.cell(1).setPointText = typed;
    r.tick(rec("A1", 70, bath, 72, 500, 1100));
    QCOMPARE(r.screen.status[1] == UnitPoll::PreheatReadyText, ready);
    QCOMPARE(r.poll.cell(1).state, state);
    QVERIFY(r.screen.status[2].isEmpty());
    // The notice is read from the label, so a silent tick (no new record) repeats it.
    r.screen.status[1].clear();
    r.tick();
    QCOMPARE(r.screen.status[1] == UnitPoll::PreheatReadyText, ready);
}

void TestUnitPoll::maxTime_data()
{
    QTest::addColumn<QString>("maxTime");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<bool>("stops");
    QTest::newRow("0 at the first tick") << "0" << 0 << true;
    QTest::newRow("empty box") << "" << 500 << true;
    QTest::newRow("30 min less a second") << "30" << 1799999 << false;
    QTest::newRow("30 min") << "30" << 1800000 << true;
    QTest::newRow("half a minute, 29.9 s") << "0.5" << 29900 << false;
    QTest::newRow("half a minute, 30 s") << "0.5" << 30000 << true;
    QTest::newRow("text after the number") << "1 min" << 60000 << true;
}

void TestUnitPoll::maxTime()
{
    QFETCH(QString, maxTime);
    QFETCH(int, elapsedMs);
    QFETCH(bool, stops);
    Rig r;
    r.run(1);
    r.poll.cell(1).maxTimeText = maxTime;
    r.poll.cell(1).loggingInterval = 1;
    r.clock.advance(std::uint32_t(elapsedMs));
    r.tick(rec("A1", 70, 71, 72, 500, 120));
    // The stop comes first; the rest of the cell's step (elapsed time, a due point) still runs.
    QStringList expected;
    if (stops) expected << "stop 1";
    if (elapsedMs >= 1000) expected << "log 1" << "chart";
    QCOMPARE(r.screen.events, expected);
    QCOMPARE(r.screen.writes(1, CellLabel::lblElapseTime), 1);
}

void TestUnitPoll::logging_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("sinceLogMs");
    QTest::addColumn<bool>("logs");
    QTest::newRow("interval 0, 0.999 s") << 0 << 999 << false;
    QTest::newRow("interval 0, 1 s") << 0 << 1000 << true;
    QTest::newRow("interval 30, 29.999 s") << 30 << 29999 << false;
    QTest::newRow("interval 30, 30 s") << 30 << 30000 << true;
    QTest::newRow("interval -5, 0.5 s") << -5 << 500 << false;
    QTest::newRow("interval -5, 1 s") << -5 << 1000 << true;
}

void TestUnitPoll::logging()
{
    QFETCH(int, interval);
    QFETCH(int, sinceLogMs);
    QFETCH(bool, logs);
    Rig r;
    r.run(2);
    r.poll.cell(2).maxTimeText = "1000";
    r.poll.cell(2).loggingInterval = interval;
    const std::uint32_t startLog = r.poll.cell(2).lastLogTick;
    r.clock.advance(std::uint32_t(sinceLogMs));
    r.tick(rec("B1", 70, 71, 72, 500, 120));
    QCOMPARE(r.screen.events, logs ? QStringList({"log 2", "chart"}) : QStringList());
    QCOMPARE(r.poll.cell(2).secondsSinceLog, sinceLogMs / 1000);
    QCOMPARE(r.poll.cell(2).lastLogTick, logs ? r.clock.now : startLog);
}

void TestUnitPoll::failedLogIsRetried()
{
    // A point that cannot be stored keeps its own time and readings and is stored on a later tick; the
    // next point still falls due one interval after it.
    Rig r;
    r.run(1);
    r.poll.cell(1).maxTimeText = "1000";
    r.poll.cell(1).loggingInterval = 2;
    bool dbUp = false;
    r.screen.log = [&](int) { return dbUp; };
    r.clock.advance(2000);
    r.tick(rec("A1", 70, 71, 72, 500, 120));
    QCOMPARE(r.screen.events, QStringList{"log 1"});
    QCOMPARE(r.poll.cell(1).lastLogTick, r.clock.now);
    QCOMPARE(r.poll.pendingPoints().size(), std::size_t(1));
    r.clock.advance(500);
    dbUp = true;
    r.tick(rec("A1", 80, 81, 72, 600, 130));
    QCOMPARE(r.screen.events, (QStringList{"log 1", "log 1", "chart"}));
    QCOMPARE(r.screen.stored.size(), std::size_t(1));
    QCOMPARE(r.screen.stored[0].resultTime, 2);
    QCOMPARE(r.screen.stored[0].temp, 70.0);
    QCOMPARE(r.screen.stored[0].bathTemp, 71.0);
    QCOMPARE(r.screen.stored[0].volts, 0.5);
    QCOMPARE(r.screen.stored[0].press, 120.0);
    QVERIFY(r.poll.pendingPoints().empty());
    QVERIFY(r.prompts.shown.empty());
}

void TestUnitPoll::failingCellDoesNotBlockTheOther()
{
    // A failing store of one cell's point holds the points behind it (they are stored in order later);
    // the other cell's points are taken on time all the same.
    Rig r;
    r.run(1);
    r.run(2);
    r.poll.cell(1).maxTimeText = r.poll.cell(2).maxTimeText = "1000";
    bool locked = true;
    r.screen.log = [&](int) -> bool {
        if (locked) throw std::runtime_error("database is locked");
        return true;
    };
    r.clock.advance(30000);
    r.tick(rec("A1", 70, 71, 72, 500, 120) + rec("B1", 75, 71, 72, 500, 120));
    // One try per back-off period, however many points wait.
    QCOMPARE(r.screen.events, QStringList{"log 1"});
    QCOMPARE(r.poll.cell(1).lastLogTick, r.clock.now);
    QCOMPARE(r.poll.cell(2).lastLogTick, r.clock.now);
    QCOMPARE(r.poll.pendingPoints().size(), std::size_t(2));
    locked = false;
    r.clock.advance(500);
    r.tick(rec("A1", 90, 71, 72, 500, 120) + rec("B1", 95, 71, 72, 500, 120));
    QCOMPARE(r.screen.events, (QStringList{"log 1", "log 1", "log 2", "chart"}));
    QCOMPARE(r.screen.stored[0].temp, 70.0);
    QCOMPARE(r.screen.stored[1].temp, 75.0);
    QCOMPARE(r.screen.stored[1].resultTime, 30);
}

void TestUnitPoll::backlogStoredInOrder_data()
{
    QTest::addColumn<int>("outageS");
    QTest::addColumn<int>("messages");
    QTest::newRow("10 s") << 10 << 0;
    QTest::newRow("59 s") << 59 << 0;
    QTest::newRow("61 s") << 61 << 1;
    QTest::newRow("5 min") << 300 << 1;
}

void TestUnitPoll::backlogStoredInOrder()
{
    // Both cells log every second while nothing can be stored: afterwards every point is stored once, in
    // order, with its own time and readings, and a long outage is reported once, after the tick.
    QFETCH(int, outageS);
    QFETCH(int, messages);
    Rig r;
    r.runBoth(1);
    bool locked = true;
    r.screen.log = [&](int) -> bool {
        if (locked) throw DbError(5, QStringLiteral("database is locked"));
        return true;
    };
    int k = 0;
    auto tickWithReadings = [&] {
        ++k;
        r.clock.advance(500);
        // The unit reports the set point in force (0 here): a setting it did not take would be reported too.
        r.tick(rec("A1", 100 + k * 0.5, 71, 0, 500, 120) + rec("B1", 300 + k * 0.5, 71, 0, 500, 120));
    };
    while (k < outageS * 2) tickWithReadings();
    QVERIFY(r.screen.stored.empty());
    QCOMPARE(int(r.poll.pendingPoints().size()), 2 * outageS);
    QCOMPARE(int(r.prompts.shown.size()), messages);
    if (messages)
        QCOMPARE(r.prompts.shown[0].text,
                 UnitPoll::StoreDelayedMessage.arg(1).arg(QStringLiteral("database is locked")));
    locked = false;
    for (int i = 0; i < 4; ++i) tickWithReadings();
    QVERIFY(r.poll.pendingPoints().empty());
    QCOMPARE(int(r.screen.stored.size()), 2 * (outageS + 2));
    for (int c = 1; c <= 2; ++c) {
        QList<int> times;
        for (const LoggedPoint& p : r.screen.stored) {
            if (p.cell != c) continue;
            times << p.resultTime;
            // The readings of the tick that took the point (tick k reads 100 + k / 2 °F on cell A).
            QCOMPARE(p.temp, (c == 1 ? 100.0 : 300.0) + p.resultTime);
        }
        QList<int> expected;
        for (int t = 1; t <= outageS + 2; ++t) expected << t;
        QCOMPARE(times, expected);
    }
    QCOMPARE(int(r.prompts.shown.size()), messages);

    // A new outage is reported anew.
    locked = true;
    for (int i = 0; i < 125; ++i) tickWithReadings();
    QCOMPARE(int(r.prompts.shown.size()), messages + 1);
}

void TestUnitPoll::cellSilentOnItsOwn_data()
{
    QTest::addColumn<int>("silentTicks");
    QTest::addColumn<bool>("alarm");
    QTest::newRow("4 ticks") << 4 << false;
    QTest::newRow("5 ticks") << 5 << true;
    QTest::newRow("12 ticks") << 12 << true;
}

void TestUnitPoll::cellSilentOnItsOwn()
{
    // Cell B's records stop while cell A's go on: from the fifth tick B shows its own alarm and takes no
    // point from its old readings; A goes on. B's first record clears the alarm and the due point is taken.
    QFETCH(int, silentTicks);
    QFETCH(bool, alarm);
    Rig r;
    r.runBoth(1);
    for (int i = 0; i < 2; ++i) {
        r.clock.advance(500);
        r.tick(rec("A1", 70, 71, 72, 500, 120) + rec("B1", 80, 81, 72, 500, 120));
    }
    auto count = [&](int c) {
        return int(std::count_if(r.screen.stored.begin(), r.screen.stored.end(),
                                 [c](const LoggedPoint& p) { return p.cell == c; }));
    };
    QCOMPARE(count(2), 1);
    for (int i = 0; i < silentTicks; ++i) {
        r.clock.advance(500);
        r.tick(rec("A1", 70, 71, 72, 500, 120));
    }
    QCOMPARE(r.screen.alarm[2], alarm);
    QVERIFY(!r.screen.alarm[1]);
    QVERIFY(!r.poll.alarmShown());
    QCOMPARE(r.poll.readingsStale(2), alarm);
    // Up to the fifth tick B logs from its last readings; from then on not.
    const int bPoints = 1 + std::min(silentTicks, 4) / 2;
    QCOMPARE(count(2), bPoints);
    QCOMPARE(count(1), 1 + silentTicks / 2);
    QVERIFY(r.prompts.shown.empty());

    r.clock.advance(500);
    r.tick(rec("A1", 70, 71, 72, 500, 120) + rec("B1", 90, 91, 72, 500, 120));
    QVERIFY(!r.screen.alarm[2]);
    if (alarm) {
        // The point held back is taken at once, with the fresh readings and their time.
        QCOMPARE(count(2), bPoints + 1);
        QCOMPARE(r.screen.stored.back().temp, 90.0);
        QCOMPARE(r.screen.stored.back().resultTime, (3 + silentTicks) / 2);
    }
}

void TestUnitPoll::cellAlarmAfterUnitSilence()
{
    // The unit falls silent (both alarms) and comes back with cell A only: the record end hides A's alarm,
    // B's stays only once B has missed five answered ticks of its own.
    Rig r;
    r.tick(rec("A1", 70, 71, 72, 500, 120) + rec("B1", 80, 81, 72, 500, 120));
    for (int i = 0; i < 6; ++i) r.tick();
    QVERIFY(r.screen.alarm[1] && r.screen.alarm[2]);
    for (int i = 0; i < 4; ++i) {
        r.tick(rec("A1", 70, 71, 72, 500, 120));
        QVERIFY(!r.screen.alarm[1]);
        QVERIFY(!r.screen.alarm[2]);
    }
    r.tick(rec("A1", 70, 71, 72, 500, 120));
    QVERIFY(!r.screen.alarm[1]);
    QVERIFY(r.screen.alarm[2]);
    // Readings ten ticks old are stale, whatever the alarm shows.
    QVERIFY(r.poll.readingsStale(2));
    QVERIFY(!r.poll.readingsStale(1));
}

void TestUnitPoll::messagesWaitForTheTick()
{
    // The over-temperature message opens no box inside the tick: it is shown once, after the tick returned.
    Rig r;
    r.run(1);
    r.run(2);
    r.poll.cell(1).maxTimeText = r.poll.cell(2).maxTimeText = "100";
    r.port.receive(rec("A1", 700, 71, 72, 500, 120) + rec("B1", 700, 71, 72, 500, 120));
    r.poll.tick();
    QCOMPARE(r.screen.events, (QStringList{"stop 1", "message", "stop 2", "message"}));
    QVERIFY(r.prompts.shown.empty());
    QCOMPARE(platform::pendingMessages(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(r.prompts.texts(), QStringList(2, UnitPoll::OverTemperatureMessage));
    QCOMPARE(platform::pendingMessages(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(r.prompts.shown.size(), std::size_t(2));
}

void TestUnitPoll::elapsed_data()
{
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint32>("now");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << 1000u << 62999u << 61 << "00:01:01";
    QTest::newRow("across the wrap") << 0xFFFFF000u << 0x00001000u << 8 << "00:00:08";
    QTest::newRow("long before the wrap") << 0x80000000u << 0x80000000u + 3723000u << 3723 << "01:02:03";
    QTest::newRow("started past 2^31, now wrapped") << 0x7FFFFFFFu << 0x7FFFFFFFu + 90000000u << 90000
                                                    << "25:00:00";
    QTest::newRow("25 hours") << 0u << 90000000u << 90000 << "25:00:00";
    QTest::newRow("30 days across a wrap") << 0xF0000000u << 0xF0000000u + 2592000000u << 2592000 << "720:00:00";
}

void TestUnitPoll::elapsed()
{
    QFETCH(quint32, start);
    QFETCH(quint32, now);
    QFETCH(int, seconds);
    Rig r;
    r.poll.cell(1).state = CellRunning;
    r.poll.cell(1).startTick = start;
    r.poll.cell(1).lastLogTick = now - 400;
    r.poll.cell(1).maxTimeText = "100000";
    r.clock.set(now);
    r.tick(rec("A1", 70, 71, 72, 500, 120));
    QCOMPARE(r.poll.cell(1).elapsedSeconds, seconds);
    QTEST(r.screen.label(1, CellLabel::lblElapseTime), "shown");
    QVERIFY(r.screen.events.isEmpty());
}

QTEST_GUILESS_MAIN(TestUnitPoll)
#include "tst_unitpoll.moc"
