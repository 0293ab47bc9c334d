#pragma once
// The 500 ms poll of a unit screen, apart from any window: it reads what the unit sent, cuts and applies the
// reply records to the two cells (readings, length from the unit's calibration, length change, swell, the
// over-temperature trip), keeps the communication alarm, and does the timed work of each cell (the
// "Preheat ready" notice, elapsed time, the maximum-time stop, the logging trigger). What a window must show
// or do is reported through UnitPollListener; the poll never touches a widget.
//
// Re-entrancy: a stop (its command pauses) keeps processing events, so further ticks can run inside a
// listener call. The poll reads the cell values afresh after every such call and never holds a view into
// its input buffer across one. Messages raised inside a tick (the over-temperature message, a link failure
// inside a stop the poll started, a database that takes no points) never open a box inside the tick: the
// tick runs in a platform::TickScope, and platform::tell shows them after the tick has returned, so that
// the screen's timer goes on ticking while a box is open.
//
// Logged points: a point is taken when it falls due (its time and readings) and queued; the queue is
// stored in order as soon as the database takes writes. A point that cannot be stored yet (a write lock of
// another program, a full disk) stays queued and the next one falls due on time; nothing is lost or
// stored twice. All unit screens share one back-off, so a locked database costs the window at most one
// short busy wait per StoreRetryMs, however many units log.
#include "realtime/ReplyRecord.h"
#include "realtime/SequenceSteps.h"
#include "records/Module1.h"

#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <exception>
#include <limits>
#include <vector>

namespace platform {
class SerialPort;
}

namespace realtime {

// Cell states.
enum CellState : int { CellIdle = 0, CellRunning = 1, CellStopped = 2, CellPreheating = 3 };

// The per-cell labels the poll fills, by control name.
enum class CellLabel : int {
    lbltemp1,        // current temperature, display unit, "##0.#"
    lblTemp3,        // bath temperature, display unit, "##0.#"
    lblTemp2,        // temperature setting, display unit, "##0.#" (simple screen: only while running)
    lblPress,        // pressure, "##0"
    lblvolt,         // volts, general text
    lblen,           // length, Module1::ToDisplayLength
    lbldist,         // length change, Module1::ToDisplayLength
    lblswell,        // swell %, general text
    lblElapseTime,   // elapsed time "hh:mm:ss"
};
constexpr int CellLabelCount = 9;

// Values of one cell. Temperatures °F, lengths inches, pressure psi, volts V. The poll writes the readings;
// the window writes state, the zero values, the wafer length, the ticks, the interval and the box texts.
struct UnitCell {
    int state = CellIdle;

    // Readings of the last accepted record.
    double currentTemp = 0;
    double bathTemp = 0;
    double tempSetting = 0;    // the set point the unit reports
    double pressure = 0;       // a whole number
    double volts = 0;
    double length = 0;
    double lengthChange = 0;   // length − zero length once zeroed, else 0
    double swell = 0;          // % of the wafer length, one decimal; frozen while the wafer length is 0

    // Zeroing (ZERO) and the current test.
    double waferLength = 0;    // > 0 once zeroed; 0 again after a stop
    float zeroVolts = 0;       // volts at ZERO; not 0 means zeroed
    double zeroLength = 0;     // length at ZERO
    QString testName;
    std::int32_t testId = 0;
    // The test name at the last START: the points of the test carry it (the stop empties testName, and a
    // point may fall due on the tick of a maximum-time stop).
    QString startedTestName;

    // Timing and logging.
    std::int32_t elapsedSeconds = 0;
    std::uint32_t startTick = 0;     // clock reading at START
    std::uint32_t lastLogTick = 0;   // clock reading at START and after each logged point
    std::int32_t secondsSinceLog = 0;
    std::int32_t loggingInterval = 30;

    // Texts of the cell's boxes, kept current by the window: maximum time (minutes) and set point
    // (display unit). Both are read as leading numbers. The box text is what the operator typed, not what
    // the unit was told: a keystroke changes it, only SET, Preheat, START or a step change sends it.
    QString maxTimeText = QStringLiteral("30");
    QString setPointText;

    // The set point in force: the one the unit was last sent for this cell (°F as sent) and whether it
    // went out as Preheat (else SetTemperature: SET, START, a step change, the stop's "000"). A unit that
    // was away or restarted is sent exactly this again, never the box's text.
    double setPointInForce = 0;
    bool setPointByPreheat = false;
    // A stop the unit has not been seen to take: from the stop's writes until a record of the cell received
    // after them reports the setting 0. Meanwhile the poll sends "000" and StopCell again (sendOwedStop) at
    // the resend spacing on ticks the unit answers, a bounded number of times per stretch it answers. Cleared
    // by that record, or by a later set point the unit was sent for the cell.
    bool stopOwed = false;
    struct OwedStop {
        bool written = false;           // the last try's commands were all written
        bool sending = false;           // a try is being written (ticks run inside its pauses)
        std::uint32_t sentAt = 0;       // clock reading when the last try's writes ended
        std::uint64_t confirmFrom = 0;  // only a record ending after this byte of the unit's input confirms
        std::int32_t resends = 0;       // tries since the unit last came back
        std::int32_t ticks = 0;         // ticks since the last try's writes
        bool heard = false;             // a record of the cell arrived after them
        bool promiseTold = false;       // told that the stop goes out as soon as the unit answers
        bool promiseHeld = false;       // that message waits while the screen is closing
        bool unconfirmedTold = false;   // told that the unit does not confirm it
    } owedStop;
    // Ticks in a row whose record of the cell reported a setting other than the set point in force; the
    // resends made while it differs, and whether the operator was told that the unit does not take it.
    std::int32_t settingMismatchTicks = 0;
    std::int32_t settingResends = 0;
    bool settingWarned = false;

    // The text each label was last given (the "Preheat ready" rule reads the bath temperature back from it).
    std::array<QString, CellLabelCount> labels;
    const QString& label(CellLabel l) const { return labels[std::size_t(l)]; }

    // True while an automatic stop of this cell runs; ticks that run inside its pauses do not stop it again.
    bool stopping = false;

    // Sequence screen: the sequence chosen at the last START (kept after a stop) and its steps.
    QString sequenceName;
    SequenceSteps sequence;

    // Records of this cell: whether one was applied since the last count, ticks since the last one, and
    // ticks on which the unit answered without one (the cell's own alarm counts these).
    bool recordSeen = false;
    std::int32_t ticksWithoutRecord = 0;
    std::int32_t answeredWithoutRecord = 0;
};

// A point of a cell as it was when it fell due; stored with exactly these values however late.
struct LoggedPoint {
    int cell = 1;
    std::int32_t testId = 0;
    QString testName;              // the cell's test when it was taken: its header is TEST_ID and this name
    std::int32_t stepNo = 1;
    std::int32_t resultTime = 0;   // elapsed whole seconds when it was taken
    double temp = 0;               // °F
    double bathTemp = 0;           // °F
    double press = 0;              // psi, whole
    double heightChange = 0;       // inches
    double volts = 0;
    double swell = 0;              // % (for the detail row; not stored)
};

// Thrown by UnitPollListener::storePoint when the database file at the path holds no header of the point's
// test (its TEST_ID under its test name): nothing was stored, and the point waits with the later points of
// its test until the header is there again (or a delete of the test takes them).
struct TestHeaderMissing : std::exception {
    const char* what() const noexcept override { return "the test of the point is not in the database"; }
};

// A test whose queued points wait because the database file lacks its header.
struct MissingTest {
    std::int32_t testId = 0;
    QString testName;
    int cell = 1;
    int points = 0;   // queued points of the test
};

// What the poll asks of its screen. Calls come from inside tick(); any of them may process events.
class UnitPollListener {
public:
    virtual ~UnitPollListener() = default;

    // Set the text of a label of the cell (cell 1 = A, 2 = B).
    virtual void showLabel(int cell, CellLabel label, const QString& text) = 0;
    // Show or hide the cell's communication alarm (Label44(cell), "No Response").
    virtual void showAlarm(int cell, bool shown) = 0;
    // Set the cell's status label (Label44(cell + 2)); the poll writes only "Preheat ready".
    virtual void showStatus(int cell, const QString& text) = 0;
    // Stop the cell (the screen's stop: set point 000, StopCell, state 2, wafer length 0, ...).
    // It must leave the cell's state other than running or preheating.
    virtual void stopCell(int cell) = 0;
    // A message with an OK button and the program's title; by default platform::tell, which shows a
    // message raised inside a tick after the tick.
    virtual void showMessage(const QString& text);
    // Store a point of a cell (with the screen's unit number): its row, its detail row, the live chart.
    // Return false or throw when the row could not be stored: the poll keeps the point and offers it again,
    // in order. Once the row is stored, return true (a later failure must not get it stored twice). Throw
    // TestHeaderMissing when the point's test has no header in the database: the points of other tests are
    // stored meanwhile.
    virtual bool storePoint(const LoggedPoint& point) = 0;
    // The step number a point taken now carries (a simple test has one step).
    virtual int loggedStepNo(int cell) const
    {
        (void)cell;
        return 1;
    }
    // Redraw the live chart; called after points were stored.
    virtual void refreshChart() {}
    // Sequence screen: the cell's next step has begun (UnitCell::sequence.current()). Send its set point and
    // show its number and logging interval; return false when the set point could not be written (the
    // screen then still shows the step before, whose time runs on: the poll tries again on the next tick).
    // May pause.
    virtual bool stepChanged(int cell)
    {
        (void)cell;
        return true;
    }
    // The unit may have lost the running or preheating cell's set point (its port came back, its records
    // came back after a silence, or it reports another setting): send the set point in force again
    // (UnitCell::setPointInForce, with the command that set it). Return false when it could not be
    // written: the poll tries again on the next tick the unit answers. May pause.
    virtual bool resendSetPoint(int cell)
    {
        (void)cell;
        return true;
    }
    // A stop of the cell is owed (UnitCell::stopOwed) and due again: send "000" and StopCell as the stop
    // does, and report the try to the poll (UnitPoll::stopSent). False when they could not be written (the
    // poll tries again on the next tick the unit answers). May pause.
    virtual bool sendOwedStop(int cell)
    {
        (void)cell;
        return true;
    }
};

// The poll of one unit screen. The port and the listener are not owned and must outlive the poll.
class UnitPoll {
public:
    // What differs between the two unit screens:
    //  - the reported setting: the sequence screen shows it in every state but preheating (then the label is
    //    emptied); the simple screen only while running;
    //  - missing records: the simple screen raises the alarm from the fifth tick in a row without a record
    //    end and then skips the rest of the tick; the sequence screen raises it from the first, goes on
    //    with the tick, and stops its running or preheating cells from the eleventh;
    //  - a running cell: the simple screen stops it at its maximum time; the sequence screen steps through
    //    its sequence and stops it after the last step.
    enum class Screen { Simple, Sequence };

    static constexpr int AlarmAfterMisses = 5;
    static constexpr int SequenceStopAfterMisses = 11;
    static inline const QString NoResponseMessage = QStringLiteral("No hardware response, test will be stopped.");
    // After a point could not be stored, no screen tries again for this long (each try may wait out the
    // connection's busy timeout).
    static constexpr std::uint32_t StoreRetryMs = 400;
    // Points that could not be stored for this long are reported, once per screen and outage.
    static constexpr std::uint32_t StoreWarnAfterMs = 60000;
    // "%1" the unit number, "%2" the database's reason.
    static inline const QString StoreDelayedMessage = QStringLiteral(
        "The points of unit %1 cannot be stored at present: %2\r\nThey are kept in order and will be stored as "
        "soon as the database can be written again.");
    // Told once per test and outage when the database file holds no header of a test whose points are
    // queued: "%1" the unit number, "%2" the cell letter, "%3" the test name.
    static inline const QString TestMissingMessage = QStringLiteral(
        "The points of unit %1, cell %2 cannot be stored at present: their test \"%3\" is not in the database "
        "file (the file may have been replaced by an older copy, or the test deleted by another program).\r\n"
        "They are kept in order and will be stored as soon as the test is in the database file again.");
    static inline const QString OverTemperatureMessage =
        QStringLiteral("The test temperature is too high, so this test will auto shut down");
    static inline const QString PreheatReadyText = QStringLiteral("Preheat ready");
    static constexpr double OverTemperatureF = 680.0;
    // A reported setting may lag a new set point by a tick or two; after that it counts as a restart.
    static constexpr int SettingMismatchTicks = 2;
    // However many reasons arise, a cell's set point (or its owed stop) is not sent again sooner than this
    // after the last time.
    static constexpr std::uint32_t ResendSpacingMs = 2000;
    // An owed stop is sent again at most this many times while the unit answers; then the operator is told,
    // and it is tried again when the unit comes back (its port returns, or its records after a silence).
    static constexpr int StopResends = 5;
    // A stop no record of its cell has followed for this many ticks: the unit may not have heard it.
    static constexpr int StopConfirmTicks = 2;
    // After this many resends of a set point the unit did not take, the operator is told (once per outage).
    static constexpr int SetPointTriesBeforeWarning = 3;
    // After "Instrument No. n, Cell L" and a carriage return.
    static inline const QString StopOwedMessageEnd = QStringLiteral(
        "The unit has not received the stop yet: its heater may still be on. The stop will be sent as soon as "
        "the unit answers again.");
    static inline const QString StopUnconfirmedMessageEnd = QStringLiteral(
        "The unit has not confirmed the stop although it was sent again several times: its heater may still be "
        "on. Please check the unit.");
    // After the heading: "%1" the set point in force, "%2" the setting the unit reports, both in the display
    // unit.
    static inline const QString SetPointNotTakenMessageEnd = QStringLiteral(
        "The unit does not take its set point of %1: it reports a setting of %2. The set point is sent again "
        "every 2 seconds; please check the unit.");

    UnitPoll(platform::SerialPort& port, UnitPollListener& listener, int unit = 0, Screen screen = Screen::Simple);

    // The screen's unit number (1..8); its calibration is used for the length.
    int unit() const { return unit_; }
    void setUnit(int unit) { unit_ = unit; }

    UnitCell& cell(int c) { return cells_[std::size_t(c == 2 ? 1 : 0)]; }
    const UnitCell& cell(int c) const { return cells_[std::size_t(c == 2 ? 1 : 0)]; }

    // One tick, inside a platform::TickScope:
    //  0. store the queued points, if any (also on a tick the alarm ends);
    //  1. read the port into the buffer; when the unit answers (a SUB came): an owed stop goes out when due
    //     (at ResendSpacingMs, at most StopResends times until the unit comes back), and
    //     the running and preheating cells get their set points in force again when the port came back
    //     since the last such tick or the records come back after a tick or more without any (until
    //     written; at most one resend per cell every ResendSpacingMs);
    //  2. a SUB in the buffer: miss counter 0, alarms hidden (even if that record is dropped later) except
    //     a cell's own alarm (below); otherwise one more miss (simple screen: from the fifth miss on, alarms
    //     shown and the tick ends; sequence screen: alarms shown, and from the eleventh a running or
    //     preheating cell is stopped);
    //  3. apply every complete record in order (a record received after an owed stop's writes that reports
    //     the setting 0 confirms it); a running or preheating cell whose unit reports a setting other than
    //     the set point in force on more than SettingMismatchTicks ticks in a row is owed a resend, at
    //     ResendSpacingMs for as long as it differs (the operator told once after SetPointTriesBeforeWarning);
    //  4. per cell: the "Preheat ready" notice (preheating), then the timed work (running).
    void tick();
    Screen screen() const { return screen_; }

    // The pieces of a tick, for a screen that composes its own.
    // Appends what the port received; true when the buffer now holds a SUB.
    bool readInput();
    // Cuts and applies every complete record.
    void applyRecords();
    // Applies an accepted record to its cell, in the order temperature (and the over-temperature trip),
    // bath, setting, pressure, volts, length, length change, swell.
    void applyFrame(const UnitReplyFrame& frame);
    // Counts, per cell, the ticks without a record of its own (call once per tick, after the records;
    // answered = the tick found a record end). A cell whose unit answers while it has had no record for
    // AlarmAfterMisses ticks shows its own alarm; it clears when its records return. On an answered tick
    // this sets both alarm labels (the unit's silence rule sets them on the others).
    void countCellRecords(bool answered);
    // True when the cell's readings are too old to log. Simple screen: no record of its own for
    // AlarmAfterMisses ticks (after which a silent unit's tick skips the timed work anyway). Sequence
    // screen: AlarmAfterMisses ticks on which the unit answered without a record of the cell; a wholly
    // silent unit goes on by its own rule until it stops the cells at SequenceStopAfterMisses.
    bool readingsStale(int cell) const
    {
        const UnitCell& k = this->cell(cell);
        return (screen_ == Screen::Sequence ? k.answeredWithoutRecord : k.ticksWithoutRecord) >= AlarmAfterMisses;
    }
    // "Preheat ready" when the bath temperature (read back from its label) is at most 10 °F below the set
    // point box; both in the display unit, compared in °F.
    void preheatNotice(int cell);
    // Elapsed time, the maximum-time stop, the elapsed label and the logging trigger of a running cell.
    // A point due while the cell's readings are stale is not taken; it is taken at the first tick with
    // fresh readings.
    void runningWork(int cell);
    // The same on the sequence screen, with the step change instead of the maximum time. False when the
    // last step ended: the cell is stopped and the rest of the tick waits for the next one.
    bool sequenceWork(int cell);
    // Takes a point of the cell now and queues it; the next point falls due one interval from now.
    void takePoint(int cell);
    // Stores the queued points in order; true when none is left. Skipped (false) within StoreRetryMs of a
    // failed store of any screen. The points of a test whose header the database lacks stay queued in their
    // order while the others are stored; the operator is told once per test and outage which test it is.
    bool storePending();
    const std::deque<LoggedPoint>& pendingPoints() const { return pending_; }
    // The tests whose queued points the last store left because the database lacks their header.
    std::vector<MissingTest> missingTests() const;
    // Drops every queued point of the tests ids (deleted: nothing may be stored under their ids any more).
    void dropPoints(const std::vector<std::int32_t>& ids);
    // Stops the cell through the listener unless its stop is already under way; true when it ran.
    bool requestStop(int cell);

    // The stop of the cell was just tried (written: all its commands were written): it is owed until a
    // record received from now on reports the setting 0. unitAway: the unit did not answer at the stop, so
    // the operator is told now that it will be sent when the unit answers (otherwise only when no record of
    // the cell follows within StopConfirmTicks ticks). A stop already owed keeps its messages and budget.
    void stopSent(int cell, bool written, bool unitAway);
    // While held (a screen that is closing asks its own question), the message that an owed stop will be
    // sent later waits; released, a waiting one is shown unless covered (the question told the operator).
    void holdStopMessages(bool held, bool covered = false);
    // Bytes received from the unit so far.
    std::uint64_t receivedBytes() const { return received_; }

    // START: start tick and last-log tick from two clock readings (sequence screen: start tick, step tick
    // and last-log tick from three, on step 1); the cell's test name becomes the one its points carry.
    void startTiming(int cell);

    // Length from volts by the cell's two-segment calibration (lower segment up to and including CalVolt2).
    double lengthFromVolts(int cell, double volts) const;

    int missCount() const { return misses_; }
    // The unit has not answered for AlarmAfterMisses ticks or more: a command written now may not reach it.
    bool unitSilent() const { return misses_ >= AlarmAfterMisses; }
    // The alarm is shown from the fifth tick in a row without a record end (sequence screen: the first).
    bool alarmShown() const { return misses_ >= (screen_ == Screen::Sequence ? 1 : AlarmAfterMisses); }
    const ReplyBuffer& buffer() const { return buffer_; }

private:
    void setLabel(int cell, CellLabel label, const QString& text);
    void setAlarm(bool shown);
    // A tick without a record end on the sequence screen: alarms, and the stop from the eleventh miss.
    void sequenceMiss();
    // Logs a point when the seconds since the last one reach the cell's interval (and at least 1).
    void logWhenDue(int cell, std::int32_t secondsSinceLog);
    void storeFailed(const QString& reason);
    // How many queued points belong to the tests ids.
    std::size_t pointsOf(const std::vector<std::int32_t>& ids) const;
    // Notes what owes the cells a resend (a port return, records back after a silence), then, when the
    // unit answers, sends owed stops and owed set points.
    void restoreUnit(bool answered, bool cameBack);
    // After the records of a tick: a running or preheating cell whose unit reports another setting than
    // the set point in force for more than SettingMismatchTicks ticks is owed a resend (at the spacing, for
    // as long as it differs).
    void watchReportedSettings();
    // After the records of a tick: counts the ticks since each owed stop's writes and tells the operator
    // when no record of the cell has followed for StopConfirmTicks.
    void watchOwedStops();
    // Sends an owed stop when it is due (at once when the unit answers after a silence), or tells the
    // operator once its resends are used up; back: the unit is back after an outage (a fresh budget).
    void resendOwedStop(int cell, bool back, bool returned);
    void tellStopOwed(int cell);
    void tellSetPointNotTaken(int cell);

    platform::SerialPort& port_;
    UnitPollListener& listener_;
    int unit_;
    Screen screen_;
    std::array<UnitCell, 2> cells_;
    ReplyBuffer buffer_;
    std::int32_t misses_ = 0;
    std::deque<LoggedPoint> pending_;
    std::vector<std::int32_t> headerMissing_;   // tests the last store found without a header
    std::vector<std::int32_t> missingTold_;     // ... and those the operator was told of in this outage
    bool storing_ = false;                      // a store is under way (a nested one waits for it)
    bool storeFailing_ = false;   // points have failed to store since the queue was last empty
    std::uint32_t failingSince_ = 0;
    bool storeWarned_ = false;
    int portReturns_ = 0;                           // the port's return count last seen
    std::array<bool, 2> setPointOwed_{false, false};   // a cell's set point is to be sent again
    std::array<bool, 2> settingDiffers_{false, false}; // ... and again at the spacing while the unit reports another
    std::array<bool, 2> resent_{false, false};         // a cell's set point was sent again ...
    std::array<std::uint32_t, 2> resentAt_{0, 0};      // ... at this clock reading
    std::uint64_t received_ = 0;                                   // bytes read from the unit so far
    std::uint64_t recordEnd_ = std::numeric_limits<std::uint64_t>::max();   // the record being applied ends here
    bool stopMessagesHeld_ = false;
};

// "Instrument No. n, Cell L", as the messages about a cell of a unit begin.
QString instrumentCell(int unit, int cell);

// Length from volts by a cell's calibration: the lower segment up to and including the breakpoint CalVolt2.
double lengthFromVolts(const Module1::CellCalibration& cal, double volts);

// Whole milliseconds from an earlier to a later reading of the 32-bit clock, across a wrap of the counter
// (correct for spans up to 49.7 days).
inline std::uint32_t msSince(std::uint32_t earlier, std::uint32_t later) { return later - earlier; }

} // namespace realtime
