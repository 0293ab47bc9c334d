#include "realtime/ActiveTests.h"

#include "realtime/frmSimpleTest.h"
#include "records/Module1.h"

namespace realtime {

namespace {

bool active(UnitPoll& poll)
{
    for (int c = 1; c <= 2; ++c) {
        const int state = poll.cell(c).state;
        if (state == CellRunning || state == CellPreheating) return true;
    }
    return false;
}

} // namespace

bool anyCellActive()
{
    // A sequence screen is a simple screen with its own stepping.
    for (const auto* forms : {&Module1::SimpleTestForms, &Module1::SeqTestForms})
        for (const auto& form : *forms)
            if (auto* screen = qobject_cast<frmSimpleTest*>(form.data()); screen && active(screen->poll()))
                return true;
    return false;
}

} // namespace realtime
