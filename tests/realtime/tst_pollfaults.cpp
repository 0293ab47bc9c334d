// A unit screen under faults: a message box raised by the poll while the screen's real timer runs, a
// database write-locked by another connection while both cells log, and one cell whose records stop.
#include "SimpleTestRig.h"

#include "realtime/CellControl.h"
#include "records/format.h"

#include <QElapsedTimer>
#include <QTimer>

using platform::ScriptedPrompts;
using realtime::CellControl;
using realtime::UnitPoll;
using rig::Rig;
using testsupport::WriteLock;

namespace {

QString value(const QString& sql) { return testsupport::sqlValue(sql); }

// RESULT_TIME of a test's points in the order they were stored.
QList<int> storedTimes(int testId)
{
    const QString all = value(QStringLiteral("SELECT group_concat(CAST(RESULT_TIME AS INTEGER)) FROM (SELECT "
                                             "RESULT_TIME FROM TEST_RESULT WHERE TEST_ID = %1 ORDER BY RESULT_ID)")
                                  .arg(testId));
    QList<int> out;
    if (all.isEmpty()) return out;
    for (const QString& t : all.split(QLatin1Char(','))) out << t.toInt();
    return out;
}

// Zeroes, names and sets up both cells (150 °F, 1 s interval), not started.
void prepareBothCells(Rig& r)
{
    for (int c = 1; c <= 2; ++c) {
        r.zero(c, QStringLiteral("0.25"));
        r.enterInfo(c, c == 1 ? QStringLiteral("CellA") : QStringLiteral("CellB"));
        r.type("txtTemps", c, QStringLiteral("150"));
        r.type("txtInterval", c, QStringLiteral("1"));
    }
    r.prompts.clear();
}

} // namespace

class tst_PollFaults : public QObject {
    Q_OBJECT
private slots:
    void boxDoesNotHoldThePoll_data();
    void boxDoesNotHoldThePoll();
    void lockedDatabaseKeepsPoints();
    void cellWithoutRecords();
    void startKeepsThePollOnTime();
};

void tst_PollFaults::boxDoesNotHoldThePoll_data()
{
    QTest::addColumn<bool>("overTemperature");   // else: a maximum-time stop whose commands cannot be written
    QTest::addColumn<QString>("firstBox");
    QTest::newRow("over-temperature message") << true << UnitPoll::OverTemperatureMessage;
    QTest::newRow("link failure inside a maximum-time stop")
        << false << QStringLiteral("Instrument No. 1, Cell A\r") + CellControl::StopOwedMessageEnd;
}

// Cell A raises a message from inside a poll tick; the operator leaves its box open for seconds. Meanwhile
// the screen's own timer goes on: cell B logs every second and is tripped by its over-temperature, and
// B's message is shown once, after A's box.
void tst_PollFaults::boxDoesNotHoldThePoll()
{
    QFETCH(bool, overTemperature);
    QFETCH(QString, firstBox);

    Rig r;
    prepareBothCells(r);
    if (!overTemperature) r.type("txtMaxTime", 1, QStringLiteral("0.05"));   // 3 s
    const int idB = r.cell(2).testId;

    // Real time and the screen's real Timer1 from here; the unit answers every 100 ms.
    platform::Clock::install(nullptr);
    double tempA = 150, tempB = 150;
    QTimer unit;
    QObject::connect(&unit, &QTimer::timeout, [&] {
        r.feed(1, tempA, 2600);
        r.feed(2, tempB, 2600);
    });
    unit.start(100);
    r.screen->Timer1->start(500);   // as the real-time window starts it
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).currentTemp == 150 && r.cell(2).currentTemp == 150, 5000);
    r.click("cmdStart", 1);
    r.click("cmdStart", 2);
    QVERIFY(r.screen->Timer1->isActive());
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.cell(2).state, int(realtime::CellRunning));
    r.prompts.clear();

    bool held = false;
    qint64 heldMs = 0;
    int pointsWhileOpen = 0;
    r.prompts.whileOpen = [&](const ScriptedPrompts::Shown&) {
        if (held) return;   // later boxes are closed at once
        held = true;
        QElapsedTimer open;
        open.start();
        r.port->failWrite = false;
        const int before = storedTimes(idB).size();
        // B goes on logging at its interval while the box stays open ...
        QTRY_VERIFY_WITH_TIMEOUT(storedTimes(idB).size() >= before + 3, 20000);
        pointsWhileOpen = storedTimes(idB).size() - before;
        // ... and its over-temperature still trips it.
        tempB = 700;
        QTRY_COMPARE_WITH_TIMEOUT(r.cell(2).state, int(realtime::CellStopped), 10000);
        QCOMPARE(r.text("Label44", 4), CellControl::StatusStopped);
        QVERIFY(r.port->written.endsWith(QByteArray("\x05" "B,000\x1a" "\x07" "B\x1a")));
        while (open.elapsed() < 4000) QTest::qWait(100);   // the operator is slow
        heldMs = open.elapsed();
    };

    if (overTemperature) {
        QTRY_VERIFY_WITH_TIMEOUT(storedTimes(idB).size() >= 2, 10000);
        tempA = 700;
    } else {
        r.port->failWrite = true;   // cell A's maximum time comes with the link down
    }
    QTRY_VERIFY_WITH_TIMEOUT(held && r.prompts.open == 0 && platform::pendingMessages() == 0, 60000);
    QVERIFY(!QTest::currentTestFailed());
    unit.stop();

    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QVERIFY(heldMs >= 4000);
    QVERIFY(pointsWhileOpen >= 3);
    // Each message once, B's after A's box closed.
    QTest::qWait(300);
    QCOMPARE(r.messages(), (QStringList{firstBox, UnitPoll::OverTemperatureMessage}));
    // B's points follow its 1 s interval with no gap where the box was open.
    const QList<int> times = storedTimes(idB);
    QVERIFY(times.size() >= 5);
    for (int i = 1; i < times.size(); ++i) QVERIFY2(times[i] - times[i - 1] <= 3, qPrintable(Format::str(times[i])));
}

// Another program holds the write lock for a while as both cells log: no tick waits long, nothing is
// stored or shown meanwhile; then every point is stored once, in order, with the time and readings it
// was taken with, each with its detail row, and the live chart catches up.
void tst_PollFaults::lockedDatabaseKeepsPoints()
{
    Rig r;
    prepareBothCells(r);
    r.start(1);
    r.start(2);
    const int ids[3] = {0, r.cell(1).testId, r.cell(2).testId};

    int k = 0;
    auto tick = [&] {
        ++k;
        r.feed(1, 100 + k * 0.5, 2500 + k, 0, 90);
        r.feed(2, 300 + k * 0.5, 2500 + k, 0, 90);
        r.tick();
    };
    for (int i = 0; i < 4; ++i) tick();   // points at 1 and 2 s
    QCOMPARE(storedTimes(ids[1]), (QList<int>{1, 2}));

    {
        WriteLock lock;
        QVERIFY(lock.held());
        qint64 longest = 0;
        for (int i = 0; i < 16; ++i) {   // 8 s: points at 3 .. 10 s of both cells wait
            QElapsedTimer t;
            t.start();
            tick();
            longest = std::max(longest, t.elapsed());
        }
        QVERIFY2(longest < 1500, qPrintable(Format::str(double(longest))));
        QCOMPARE(int(r.screen->poll().pendingPoints().size()), 16);
        QCOMPARE(storedTimes(ids[1]).size(), 2);
        QCOMPARE(r.detail(1)->PointCount(), 2);
        QCOMPARE(r.detail(2)->PointCount(), 2);
        QVERIFY(r.messages().isEmpty());   // not a minute yet
    }
    for (int i = 0; i < 4; ++i) tick();   // points at 11 and 12 s
    QVERIFY(r.screen->poll().pendingPoints().empty());

    QList<int> expected;
    for (int t = 1; t <= 12; ++t) expected << t;
    for (int c = 1; c <= 2; ++c) {
        QCOMPARE(storedTimes(ids[c]), expected);
        // The readings of the tick that took each point: tick 2t, temperature base + t, volts 2.5 + 2t mV.
        const double base = c == 1 ? 100 : 300;
        QCOMPARE(value(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = %1 AND RESULT_TEMP = %2 + "
                                      "RESULT_TIME AND abs(RESULT_VOLT - (2.5 + RESULT_TIME * 0.002)) < 1e-9")
                           .arg(ids[c])
                           .arg(base)),
                 QStringLiteral("12"));
        frmTestDetail* d = r.detail(c);
        QCOMPARE(d->PointCount(), 12);
        for (int row = 0; row < 12; ++row)
            QCOMPARE(d->PointText(row, 0), Format::elapsedTime(row + 1));
        QCOMPARE(d->PointText(5, 2), Format::number(base + 6, QStringLiteral("#0.#")));
    }
    QCOMPARE(r.screen->liveChart().pointCount(), 12);
    QVERIFY(r.messages().isEmpty());
}

// Cell B's records stop while cell A's go on: B shows its own "No Response" from the fifth tick and logs
// nothing from its old readings, A logs on; B's records return, its alarm clears and it logs again.
void tst_PollFaults::cellWithoutRecords()
{
    Rig r;
    prepareBothCells(r);
    r.start(1);
    r.start(2);
    const int idA = r.cell(1).testId, idB = r.cell(2).testId;
    QLabel* alarmA = r.screen->Label44[1];
    QLabel* alarmB = r.screen->Label44[2];
    r.run(4);
    QCOMPARE(storedTimes(idB), (QList<int>{1, 2}));

    for (int i = 1; i <= 10; ++i) {
        r.feed(1, 150, 2500);
        r.tick();
        QCOMPARE(alarmB->isVisibleTo(r.screen), i >= 5);
        QVERIFY(!alarmA->isVisibleTo(r.screen));
    }
    QCOMPARE(storedTimes(idA).size(), 7);
    QCOMPARE(storedTimes(idB), (QList<int>{1, 2, 3, 4}));   // from readings at most four ticks old
    QCOMPARE(r.cell(2).state, int(realtime::CellRunning));

    r.run(1);
    QVERIFY(!alarmB->isVisibleTo(r.screen));
    QCOMPARE(storedTimes(idB), (QList<int>{1, 2, 3, 4, 7}));
    r.run(2);
    QCOMPARE(storedTimes(idB), (QList<int>{1, 2, 3, 4, 7, 8}));
    QVERIFY(r.messages().isEmpty());
}

// START on a screen whose timer already polls: the unit's next poll comes when it was due, not 500 ms after
// START (giving a running QTimer its interval again restarts it). START comes 400 ms after a tick, with the
// screen's real Timer1 and the real clock.
void tst_PollFaults::startKeepsThePollOnTime()
{
    Rig r;
    prepareBothCells(r);
    platform::Clock::install(nullptr);
    QElapsedTimer clock;
    clock.start();
    QList<qint64> ticks;
    QObject::connect(r.screen->Timer1, &QTimer::timeout, [&] { ticks << clock.elapsed(); });
    QTimer unit;
    QObject::connect(&unit, &QTimer::timeout, [&] {
        r.feed(1, 150, 2600);
        r.feed(2, 150, 2600);
    });
    unit.start(100);
    r.screen->Timer1->start(500);   // as the real-time window starts it
    QList<qint64> starts;
    for (int c = 1; c <= 2; ++c) {
        const int before = int(ticks.size());
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= before + 2, 5000);
        while (clock.elapsed() - ticks.last() < 400) QTest::qWait(2);
        starts << clock.elapsed();
        r.click("cmdStart", c);
        QCOMPARE(r.cell(c).state, int(realtime::CellRunning));
        QVERIFY(r.screen->Timer1->isActive());
        QCOMPARE(r.screen->Timer1->interval(), 500);
        const int at = int(ticks.size());
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= at + 2, 5000);
    }
    unit.stop();
    // No gap between ticks around either START beyond a tick and a little scheduling.
    QStringList text;
    for (qint64 t : ticks) text << QString::number(t);
    for (qint64 s : starts) {
        qint64 previous = -1, next = -1;
        for (qint64 t : ticks) {
            if (t <= s) previous = t;
            else if (next < 0) next = t;
        }
        QVERIFY(previous >= 0 && next >= 0);
        QVERIFY2(next - previous <= 700,
                 qPrintable(QStringLiteral("START at %1 ms, ticks at ").arg(s) + text.join(' ')));
    }
}

QTEST_MAIN(tst_PollFaults)
#include "tst_pollfaults.moc"
