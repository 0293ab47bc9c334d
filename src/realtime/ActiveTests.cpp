#include "realtime/ActiveTests.h"

#include "realtime/frmSimpleTest.h"
#include "records/Module1.h"

namespace realtime {

namespace {

bool active(UnitPoll& poll, int c)
{
    const int state = poll.cell(c).state;
    return state == CellRunning || state == CellPreheating;
}

// True when pred holds for some unit screen in Module1's registries.
template <class Pred>
bool anyScreen(Pred pred)
{
    // A sequence screen is a simple screen with its own stepping.
    for (const auto* forms : {&Module1::SimpleTestForms, &Module1::SeqTestForms})
        for (const auto& form : *forms)
            if (auto* screen = qobject_cast<frmSimpleTest*>(form.data()); screen && pred(screen->poll()))
                return true;
    return false;
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

bool testInUse(const QString& name)
{
    return anyScreen([&](UnitPoll& poll) {
        for (int c = 1; c <= 2; ++c)
            if (active(poll, c) && poll.cell(c).testName == name) return true;
        return false;
    });
}

} // namespace realtime
