#pragma once
// The calibration screen: one unit at a time, the displacement transducers of its two cells with three
// spacers (tab "Height Calibrate") and their pressure transducers at 0 and 1000 psi (tab "Pressure
// Calibrate"); the fits are plotted, saved to "Calib.dat" and "pcalinfo.csv", reported in comma-separated
// files; the unit can be sent a factory zero. The screen opens the chosen unit's port itself.
//
// Steps: a step button drains what the port received and starts its step's counter; the step timer (1000 ms,
// running from the first step click on) runs the step's finisher on its second tick, which reads the cell's
// last reply record. Questions and messages that a finisher raises are shown after the tick, so the timer
// keeps ticking for the other cell while a box is open.
//
// Closing (Return or the close box) asks about unsaved height results; when it goes ahead the port is
// closed and Unloaded() is emitted (the main window shows itself again).
#include "calibration/CalibrationLogic.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabBar;
class QTimer;

namespace platform {
class Graph;
class SerialPort;
} // namespace platform

class frmCalibrate : public QWidget {
    Q_OBJECT
public:
    explicit frmCalibrate(QWidget* parent = nullptr);
    ~frmCalibrate() override;

    // ---- screen values ----
    double Reading = 0;
    // What the port received and no step has taken yet: read from the port on every tick and each second
    // besides, so that nothing piles up in the port while no step runs. It keeps the newest text only: at
    // most ReceivedTextCap bytes of unfinished text and of whole records (a step reads the newest).
    QByteArray InputBuffer;
    int CalUnit = 0;
    int CurrentTab = 1;
    bool HeightSaved = false;
    bool PressureSaved = false;
    // Fits of each cell (index 1 = A), as made by the last height finisher.
    std::array<double, 3> CalIntercept1{}, CalSlope1{}, CalIntercept2{}, CalSlope2{};
    calibration::StepTimer& StepTicks() { return ticks_; }

    // ---- handlers, public so that tests run them as a click would ----
    void Form_Load();
    void Combo1_Click(int t);
    void TabStrip1_Click();
    void cmdzero_Click();
    void cmdReturn_Click(int index);
    // The unload rules; false when the window stays open.
    bool Form_Unload();
    // True once the window has unloaded (it is closed and about to go).
    bool IsUnloaded() const { return unloaded_; }
    void cmd04_Click(int c);
    void cmd065_Click(int c);
    void cmd09_Click(int c);
    void Command6_Click(int c);
    void Command7_Click(int c);
    void Timer1_Timer();
    void cmdSaveH_Click();
    void cmdSaveP_Click();
    void cmdExportH_Click();
    void cmdExport_Click();
    // Sets Reading from the last complete record of cell "A" or "B" in what the port received; true when
    // such a record was there.
    bool ParseCellReading(const QString& letter);

    // ---- controls (object names as below; arrays "name(index)") ----
    QTabBar* TabStrip1 = nullptr;
    std::array<QFrame*, 3> Frame1{};            // 1 height, 2 pressure
    std::array<QComboBox*, 3> Combo1{};         // by tab
    std::array<QLabel*, 3> Label1{};            // by tab: "Select unit to calibrate"
    std::array<QPushButton*, 3> cmdReturn{};    // by tab
    QPushButton* cmdSaveH = nullptr;
    QPushButton* cmdSaveP = nullptr;
    QPushButton* cmdExportH = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdzero = nullptr;
    QPushButton* cmdZero1 = nullptr;

    // Height tab, by cell.
    std::array<QGroupBox*, 3> fraHeightCell{};
    std::array<QLabel*, 3> lbldata1{}, lbldata2{}, lbldata3{};
    std::array<QLabel*, 3> lblvolt1{}, lblvolt2{}, lblvolt3{};
    std::array<QLabel*, 3> lblconst1{}, lblconst2{}, lblconst3{}, lblconst4{};
    std::array<QLabel*, 3> Label12{}, Label13{}, Label25{};
    std::array<QPushButton*, 3> cmd04{}, cmd065{}, cmd09{};
    std::array<platform::Graph*, 3> CWGraph1{};

    // Pressure tab, by cell.
    std::array<QGroupBox*, 3> fraPressCell{};
    std::array<QPushButton*, 3> Command6{}, Command7{};
    std::array<QLabel*, 3> lbldata4{}, lbldata5{}, lblIntercept{}, lblSlope{};
    std::array<QLabel*, 3> Label20{}, Label2{}, Label26{};
    std::array<platform::Graph*, 3> CWGraph2{};

    QTimer* Timer1 = nullptr;
    QTimer* InputTimer = nullptr;   // reads the port into InputBuffer each second
    std::unique_ptr<platform::SerialPort> MSComm1;

signals:
    // The window has unloaded (after its unload rules let it go).
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    QWidget* buildHeightCell(int c);
    QWidget* buildPressureCell(int c);
    QWidget* buildTabFooter(int t);
    // The unit choice of tab t at the list position now chosen; `ask` runs the unsaved-results question.
    void chooseUnit(int t, bool ask);
    void resetTab(int t);
    // Starts the step timer when it is not running yet (a running timer keeps its phase).
    void startStepTimer();
    // Appends what the port received to InputBuffer; false (and the failure shown) when the port is closed.
    bool drainInput(int step, int c);
    // Appends what the port received to InputBuffer, within its bounds.
    void takeInput();
    // Everything received and not taken yet; InputBuffer is emptied.
    QByteArray takeAllInput();
    void showStepFailure(const FileFailure& f);

    // A finisher's reading of cell c on tab t: false (and the no-response message, or the step's question
    // for a reading no transducer gives) when the step must stay where it is.
    bool takeReading(int t, int c, const QString& question);
    void FinishHeightStep1(int c);
    void FinishHeightStep2(int c);
    void FinishHeightStep3(int c);
    void FinishPressureStep1(int c);
    void FinishPressureStep2(int c);
    void showHeightStep3(int c);
    void fitHeight(int c);

    // Runs f after the current timer tick has returned (in order, one at a time); f is dropped when tab t
    // has been reset in between.
    void afterTick(int t, std::function<void()> f);
    void runAfterTick();

    calibration::StepTimer ticks_;
    // What the port received, read once for the finishers of the tick running now.
    std::optional<QByteArray> tickText_;
    struct Pending {
        int tab;
        unsigned generation;
        std::function<void()> run;
    };
    std::deque<Pending> pending_;
    bool pendingScheduled_ = false;
    bool runningPending_ = false;
    std::array<unsigned, 3> generation_{};   // by tab: counts its resets
    bool unloaded_ = false;
};
