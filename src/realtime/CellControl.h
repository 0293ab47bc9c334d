#pragma once
// The buttons of one cell of a simple-test unit screen, apart from the window: ZERO against the dry wafer
// length, the test information, Preheat (200 °F limit), SET (680 °F limit and the pressure rule),
// START / STOP, and the stop of the cell. The cell's values live in the UnitCell of the screen's poll;
// what must be shown or asked of the window goes through CellControlView.
//
// Pauses after commands keep processing events, so poll ticks (and clicks) can run inside any handler
// here; every step re-reads the cell after a pause.
#include "realtime/UnitCommands.h"
#include "realtime/UnitPoll.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace realtime {

// What the cell logic needs of its window. Cell 1 = A, 2 = B.
class CellControlView {
public:
    virtual ~CellControlView() = default;

    // The set-point box txtTemps(cell); setting it also keeps UnitCell::setPointText current.
    virtual void setSetPointText(int cell, const QString& text) = 0;
    // Status label Label44(cell + 2).
    virtual void setStatus(int cell, const QString& text) = 0;
    // Caption of cmdStart(cell): "START" or "STOP".
    virtual QString startCaption(int cell) const = 0;
    virtual void setStartCaption(int cell, const QString& text) = 0;
    virtual void setDetailEnabled(int cell, bool enabled) = 0;   // cmdDetail(cell)
    virtual void setInfoEnabled(int cell, bool enabled) = 0;     // cmdInfo(cell)
    virtual void setTestNameLabel(int cell, const QString& text) = 0;   // lblTestname(cell)
    virtual void setStartTime(int cell, const QString& text) = 0;   // lblstarttime(cell)
    // Timer1: interval 500 ms, enabled.
    virtual void startPollTimer() = 0;

    // Runs the cell test-information dialog for a cell zeroed at waferInches. Returns the test name the
    // dialog stored (txtTestInfo(1)), or nullopt when the dialog was cancelled. May throw (database).
    virtual std::optional<QString> runTestInformation(int cell, double waferInches) = 0;
    // Prepares the cell's detail window at START.
    virtual void loadCellTest(int cell) = 0;
    // Redraws the live chart.
    virtual void refreshChart() = 0;
};

// What differs between the cells of the two unit screens.
struct CellRules {
    bool infoChecksPressure = true;   // Enter Info runs the pressure rule before the dialog
    bool setChecksPressure = true;    // SET runs the pressure rule (the 680 °F limit applies on both screens)
    std::uint32_t stopCellPauseMs = StopCellPauseSimpleMs;   // pause after StopCell
    bool stopClearsTestNameLabel = true;  // the stop empties lblTestname
    std::int32_t loadInterval = 30;       // logging interval at load, seconds

    static CellRules simple() { return {}; }
    static CellRules sequence() { return {false, false, StopCellPauseSequenceMs, false, 0}; }
};

class CellControl {
public:
    // Texts, exactly as the operator sees them.
    static inline const QString ZeroPromptStart = QStringLiteral("Input dry wafer Length ");
    static inline const QString NotNumericMessage = QStringLiteral("You must enter a numeric value ");
    static inline const QString TooThinMessage =
        QStringLiteral("The wafer length you entered indicates that the wafer is too thin.");
    static inline const QString TooThickMessage =
        QStringLiteral("The wafer length you entered indicates that the wafer is too thick.");
    static inline const QString MismatchMessage = QStringLiteral(
        "The wafer Length you entered does not match the saved calibration settings. Please enter correct wafer "
        "Length or recalibrate.");
    static inline const QString MismatchTitle = QStringLiteral("WARNING");
    static inline const QString ZeroFirstMessage =
        QStringLiteral("Click 'ZERO' to set a zero measurement value before starting the test");
    static inline const QString LookupFailedMessage =
        QStringLiteral("Error reading test info file, please 'enterinfo' again");
    static inline const QString MaxTemperatureMessage = QStringLiteral("The maximum temperature setting is ");
    static inline const QString PreheatLimitEnd = QStringLiteral("when you Preheat");
    static inline const QString PressureMessageEnd = QStringLiteral(
        "Insufficient pressure available for test at current temperature setting.  Please add more pressure or "
        "decrease temperature.");
    static inline const QString EnterInfoFirstMessage = QStringLiteral("Enter test information first.");
    // START of a cell whose test header is no longer stored; "%1" the test name.
    static inline const QString TestGoneMessage = QStringLiteral(
        "The test \"%1\" is no longer in the database (another program may have deleted it, or the database "
        "file was replaced), so it cannot be started. Please 'Enter Info' again.");
    static inline const QString StopQuestion = QStringLiteral("Are you sure you want to stop the test?");
    // Shown when a command could not be written to the unit's port.
    static inline const QString LinkFailedMessage = QStringLiteral(
        "There is a problem communicating with this unit, please check the serial/USB connection and try again.");
    // Shown once for a stop that may not have reached the unit, after "Instrument No. n, Cell L" and a
    // carriage return; the stop goes out again as soon as the unit answers.
    static inline const QString& StopOwedMessageEnd = UnitPoll::StopOwedMessageEnd;

    static inline const QString StatusNoTest = QStringLiteral("No Test");
    static inline const QString StatusPreheat = QStringLiteral("Preheat");
    static inline const QString StatusRunning = QStringLiteral("Test Running");
    static inline const QString StatusStopped = QStringLiteral("Test Stop");
    static inline const QString CaptionStart = QStringLiteral("START");
    static inline const QString CaptionStop = QStringLiteral("STOP");

    static constexpr double ZeroToleranceInches = 0.05;
    static constexpr double ThinVolts = -0.5;    // below this the wafer is too thin
    static constexpr double ThickVolts = 4.8;    // at or above this it is too thick
    static constexpr double PreheatLimitF = 200;
    static constexpr double SetPointLimitF = 680;

    CellControl(UnitPoll& poll, UnitSerialLink& link, CellControlView& view, int cell,
                const CellRules& rules = CellRules::simple());
    virtual ~CellControl() = default;

    int cell() const { return cell_; }
    UnitCell& values() { return poll_.cell(cell_); }
    const UnitCell& values() const { return poll_.cell(cell_); }

    // The load values of the cell: idle, interval 30 s, not zeroed, "No Test", set point 0 °F as "#0.0".
    void Reset();

    void cmdzero_Click();
    void cmdInfo_Click();
    void cmdPreHeat_Click();
    void cmdTempSet_Click();
    void cmdStart_Click();

    // The pressure rule for the set-point box; shows its message and returns false when the cell lacks
    // pressure.
    bool CheckPressure();
    // The same for a set point in °F.
    bool CheckPressure(double setPointF);
    // The stop of the cell: set point 0 °F, SET ("000"), 50 ms, StopCell, 40 ms, state 2, START caption,
    // DETAIL off, Enter Info on, wafer length 0, no test name, "Test Stop". A stop already under way for this
    // cell (a tick inside its pauses) is not started again. Every stop is owed (UnitCell::stopOwed) until the
    // unit's records show it taken; the poll has it sent again (sendOwedStop) meanwhile, and the operator is
    // told once when the unit may not have heard it (UnitPoll::stopSent).
    void StopTest();

    // The set point in force of the running or preheating cell (the one last sent by SET, Preheat, START
    // or a step change; never the box's text), sent again with the command that set it, after the unit
    // was away. Quiet; false when it was not written.
    bool resendSetPoint();
    // An owed stop: "000", 50 ms, a further 50 ms, StopCell and the screen's pause, reported to the poll
    // (UnitPoll::stopSent). Quiet; false when it was not written. A set point that went out for the cell
    // meanwhile takes its place.
    bool sendOwedStop();

    // Whether the last SET sent its command.
    bool setPointSent() const { return setPointSent_; }

    // The set-point box read as a leading number, in the display unit.
    double setPointValue() const;

    // A logging interval in whole seconds (halves to even); a value beyond 32 bits is the largest interval.
    static std::int32_t intervalSeconds(double seconds);

    // Required pressure in psi for a set point in °F (0 below 211 °F); the rule's T is the set point
    // taken to a whole number, halves to even.
    static double requiredPressure(double setPointF);

protected:
    // START's check that the cell's test header is still stored (by its id and name). When it is gone the
    // operator is told, the cell lets the test go (Enter Info on again) and false is returned; nothing
    // goes to the unit.
    bool testStillStored();
    // START after the test-name check: the simple screen sends the set point and starts timing.
    virtual void startTest();
    // SET without the click's error handling (START and the stop run it inside their own).
    void setTemperature();
    // Sends the set-point box's value to the unit, unchecked (50 ms pause); false when it was not written.
    // Once written, it is the set point in force.
    bool sendSetPoint();
    // A set point (°F) was written to the unit for this cell: it is the set point in force, and it
    // settles an owed stop.
    void setPointWentOut(double setPointF, bool byPreheat);
    void message(const QString& text, const QString& title = {}) const;

    UnitPoll& poll_;
    UnitSerialLink& link_;
    CellControlView& view_;
    int cell_;
    CellRules rules_;

private:
    bool setPointSent_ = false;
    bool stopping_ = false;
    std::uint64_t setPointsWritten_ = 0;   // counts setPointWentOut calls
};

} // namespace realtime
