#pragma once
// The rules of the calibration screen apart from its window: reading a cell's transducer volts out of the
// unit's reply records, the straight-line fit, the step timer's counters, and the number texts of the
// screen's labels.
#include "records/WorkFiles.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace calibration {

// ---- reply records ----

constexpr int ReadingFieldTable = 10;   // comma-terminated fields a record may hold
constexpr int ReadingField = 5;         // the transducer's millivolts

struct CellReadingResult {
    // The reading after the call: the one of the last matching record, or the value passed in when no
    // record matched (or the records before a failure).
    double reading = 0;
    // How many records of the cell gave a reading.
    int matched = 0;
    // A record that stops the reading: field 5 not a number ("Type mismatch"), an eleventh comma-terminated
    // field ("Subscript out of range"). Records after it are not looked at. Field 5 naming a number without
    // a finite value ("NaN", "inf", "1e999") is no failure: the cell answered, and its reading is NaN.
    std::optional<FileFailure> failure;
};

// The calibration screen's reading of a cell: `received` is everything the port has received for this
// call (nothing is kept for the next one). Every text before a SUB is a record; its fields are the texts
// before each comma (text after the last comma is not a field). A record whose first field begins with
// `letter` (case-sensitive) gives volts = field 5 read strictly as a number / 1000, taken to at most five
// decimals; the last such record wins. A record of the cell with fewer than five comma-terminated fields is
// ignored, as are records of the other cell and text without a SUB.
CellReadingResult parseCellReading(const QByteArray& received, char letter, double previous);

// The failure a read or write on a closed port gives.
FileFailure portNotOpenFailure();

// ---- straight-line fit ----

struct LineFit {
    double slope = 0;
    double intercept = 0;
};

// Least-squares straight line y = slope * x + intercept through the points (x[i], y[i]). nullopt when there
// is no such line: fewer than two points, arrays of different lengths, all x equal (the line would have no
// slope), or a result that is not finite.
std::optional<LineFit> fitLine(const std::vector<double>& x, const std::vector<double>& y);

// ---- step timer ----

// Counters of the five calibration steps (1-3 height spacers, 4-5 pressure points) of both cells. A step's
// counter is set to 0 by its button; every tick adds one to each counter, and a step whose counter becomes
// exactly 2 is due: its finisher runs once, one to two seconds after the click. Idle counters (5 when the
// screen loads, or set after a failed click) never become due again until their button is clicked.
class StepTimer {
public:
    static constexpr int Steps = 5;
    static constexpr int Cells = 2;
    static constexpr long Idle = 5;
    static constexpr long DueAt = 2;

    StepTimer() { reset(); }

    void reset();                                   // every counter idle
    void start(int step, int cell);                 // counter 0
    void stop(int step, int cell);                  // counter idle
    long ticks(int step, int cell) const;
    // One tick: every counter moves on; returns the (step, cell) pairs that became due, step 1 first and
    // within a step cell 1 first.
    std::vector<std::pair<int, int>> tick();

private:
    static bool valid(int step, int cell) { return step >= 1 && step <= Steps && cell >= 1 && cell <= Cells; }
    // Counters stop growing here, so they never wrap round to 2.
    static constexpr long Ceiling = 1L << 30;
    std::array<std::array<long, Cells + 1>, Steps + 1> ticks_{};
};

// ---- label texts ----

// Spacer thicknesses (inch) of steps 1..3 and the pressures (psi) of the two pressure steps.
inline constexpr std::array<double, 3> SpacerInches{0.4, 0.65, 0.9};
inline constexpr double PressureLowPsi = 0;
inline constexpr double PressureHighPsi = 1000;

// A reading, a spacer or a pressure factor as the labels show it: plain decimal text, never an exponent
// ("0.5", "2.13457", 4e-5 -> "0.00004").
QString readingText(double volts);
// A displacement factor as the labels show it: "#0.0####" (0.2 -> "0.2", 12 -> "12.0").
QString factorText(double x);
// The value of a label: its text read leniently (0 when it holds no number).
double labelValue(const QString& text);
// The reading of a spacer is good when it lies at least one volt above the reading of the spacer before
// (at the readings' five decimals): the spacers rise, so must the volts.
bool readingRises(double before, double after);
// A transducer gives finite volts within +-10 V; anything else is no reading.
inline constexpr double ReadingLimitVolts = 10.0;
bool readingUsable(double volts);

} // namespace calibration
