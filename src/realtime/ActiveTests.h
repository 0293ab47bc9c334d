#pragma once
// Whether any unit screen has a cell at work: the main window refuses to end the program then, since the
// units would go on heating with nothing watching the over-temperature limit or logging.

namespace realtime {

// True while a cell of any unit screen in Module1's registries is running or preheating.
bool anyCellActive();

} // namespace realtime
