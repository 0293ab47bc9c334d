#include "realtime/ActiveTests.h"

#include "platform/Clock.h"
#include "realtime/frmSimpleTest.h"
#include "records/Module1.h"

#include <algorithm>

namespace realtime {

namespace {

bool active(UnitPoll& poll, int c)
{
    const int state = poll.cell(c).state;
    return state == CellRunning || state == CellPreheating;
}

// True when pred(poll, unit) holds for some unit screen in Module1's registries (unit: its entry there).
template <class Pred>
bool anyScreenOfUnit(Pred pred)
{
    // A sequence screen is a simple screen with its own stepping.
    for (const auto* forms : {&Module1::SimpleTestForms, &Module1::SeqTestForms})
        for (std::size_t unit = 0; unit < forms->size(); ++unit)
            if (auto* screen = qobject_cast<frmSimpleTest*>((*forms)[unit].data());
                screen && pred(screen->poll(), int(unit)))
                return true;
    return false;
}

template <class Pred>
bool anyScreen(Pred pred)
{
    return anyScreenOfUnit([&](UnitPoll& poll, int) { return pred(poll); });
}

} // namespace

bool anyCellActive()
{
    return anyScreen([](UnitPoll& poll) { return active(poll, 1) || active(poll, 2); });
}

bool anyPointsWaiting()
{
    return anyScreen([](UnitPoll& poll) { return !poll.pendingPoints().empty() && !poll.storePending(); });
}

std::optional<HeldTest> cellHoldingTest(const std::vector<std::int32_t>& ids)
{
    std::optional<HeldTest> held;
    anyScreenOfUnit([&](UnitPoll& poll, int unit) {
        for (int c = 1; c <= 2; ++c) {
            const UnitCell& cell = poll.cell(c);
            // A cell holds its test from Enter Info until its stop empties the name; the id alone outlives
            // the stop, so a cell preheating before Enter Info still carries the id of its last test.
            if (cell.testName.isEmpty()) continue;
            if (std::find(ids.begin(), ids.end(), cell.testId) == ids.end()) continue;
            held = HeldTest{unit, c, active(poll, c)};
            if (held->active) return true;   // a cell at work is the one to name
        }
        return false;
    });
    return held;
}

bool anyTestInUse(const std::vector<std::int32_t>& ids) { return cellHoldingTest(ids).has_value(); }

void dropQueuedPoints(const std::vector<std::int32_t>& ids)
{
    anyScreen([&](UnitPoll& poll) {
        poll.dropPoints(ids);
        return false;
    });
}

QStringList owedStops(UnitPoll& poll)
{
    QStringList out;
    for (int c = 1; c <= 2; ++c)
        if (poll.cell(c).stopOwed) out << instrumentCell(poll.unit(), c);
    return out;
}

QStringList owedStops()
{
    QStringList out;
    anyScreen([&](UnitPoll& poll) {
        out << owedStops(poll);
        return false;
    });
    return out;
}

QStringList awaitOwedStops(const std::function<QStringList()>& owed)
{
    platform::Clock& clock = platform::Clock::current();
    const std::uint32_t start = clock.milliseconds();
    QStringList left = owed();
    // Not inside a tick: the screens' timers tick on during these pauses, reading the units' records.
    while (!left.isEmpty() && platform::elapsedMs(start, clock.milliseconds()) < std::int64_t(OwedStopGraceMs)) {
        platform::wait_for_milli_seconds(50);
        left = owed();
    }
    return left;
}

void holdStopMessages(bool held, bool covered)
{
    anyScreen([&](UnitPoll& poll) {
        poll.holdStopMessages(held, covered);
        return false;
    });
}

QString owedStopsQuestion(const QStringList& cells, const QString& closing)
{
    QString text;
    for (const QString& cell : cells) text += cell + OwedStopLineEnd + QLatin1Char('\r');
    return text + closing;
}

} // namespace realtime
