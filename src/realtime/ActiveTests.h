#pragma once
// Whether any unit screen has a cell at work: the main window refuses to end the program then, since the
// units would go on heating with nothing watching the over-temperature limit or logging.

#include <cstdint>
#include <optional>
#include <vector>

namespace realtime {

// True while a cell of any unit screen in Module1's registries is running or preheating.
bool anyCellActive();

// True while a unit screen keeps logged points that the database has not taken (one more try is made
// for each screen that holds some first).
bool anyPointsWaiting();

// A cell of a unit screen that holds a test: from the moment Enter Info gave it the test until its stop.
struct HeldTest {
    int unit = 0;
    int cell = 1;          // 1 = A, 2 = B
    bool active = false;   // running or preheating (else named, not started)
};

// The cell of any unit screen in Module1's registries that holds a test whose TEST_ID is among ids (a
// running or preheating one first); nullopt when none does. Such a test must not be deleted or replaced:
// the cell would log its points under a header that is gone.
std::optional<HeldTest> cellHoldingTest(const std::vector<std::int32_t>& ids);
// True while a cell of any unit screen holds a test whose TEST_ID is among ids.
bool anyTestInUse(const std::vector<std::int32_t>& ids);

// After a delete of the tests ids committed: their points still queued in any unit screen go with them.
void dropQueuedPoints(const std::vector<std::int32_t>& ids);

} // namespace realtime
