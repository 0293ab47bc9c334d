#pragma once
// Whether any unit screen has a cell at work: the main window refuses to end the program then, since the
// units would go on heating with nothing watching the over-temperature limit or logging.

#include <cstdint>
#include <vector>

namespace realtime {

// True while a cell of any unit screen in Module1's registries is running or preheating.
bool anyCellActive();

// True while a unit screen keeps logged points that the database has not taken (one more try is made
// for each screen that holds some first).
bool anyPointsWaiting();

// True while a cell of any unit screen is running or preheating with a test whose TEST_ID is among ids.
bool anyTestInUse(const std::vector<std::int32_t>& ids);

} // namespace realtime
