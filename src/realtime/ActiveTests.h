#pragma once
// Whether any unit screen has a cell at work: the main window refuses to end the program then, since the
// units would go on heating with nothing watching the over-temperature limit or logging.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
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

class UnitPoll;

// Stops the units have not confirmed yet (UnitCell::stopOwed): a window that would end their resends (a unit
// screen closing, the program ending) first gives the units a moment, then asks.

// "Instrument No. n, Cell L" of each cell of the poll, or of every unit screen, whose stop is owed.
QStringList owedStops(UnitPoll& poll);
QStringList owedStops();
// How long a closing window processes events (the screens' polls tick on) for owed stops to be confirmed.
constexpr std::uint32_t OwedStopGraceMs = 1500;
// Waits so, without holding the window, until owed() is empty; returns what is still owed then.
QStringList awaitOwedStops(const std::function<QStringList()>& owed);
// Holds or releases the owed-stop messages of every unit screen (UnitPoll::holdStopMessages).
void holdStopMessages(bool held, bool covered);

// The question before a window closes while stops are owed: a line per cell, then `closing`.
inline const QString OwedStopLineEnd =
    QStringLiteral(": the unit has not confirmed the stop, its heater may still be on.");
inline const QString ScreenClosingWithOwedStops = QStringLiteral(
    "Once this screen is closed, the program will no longer send the stop. Close the screen anyway?\r(No keeps "
    "it open, and the stop is sent again as soon as the unit answers.)");
inline const QString ProgramEndingWithOwedStops = QStringLiteral(
    "Once the program ends, it will no longer send the stop. Exit anyway?\r(No keeps it running, and the stop "
    "is sent again as soon as the unit answers.)");
QString owedStopsQuestion(const QStringList& cells, const QString& closing);
// After a delete of the tests ids committed: their points still queued in any unit screen go with them.
void dropQueuedPoints(const std::vector<std::int32_t>& ids);

} // namespace realtime
