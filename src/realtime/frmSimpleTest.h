#pragma once
// The simple-test screen of one unit: two cells, each held at one set point while its swell is measured,
// logged and charted. A child window of the real-time window, one per unit.
//
// How the real-time window adds unit n:
//   auto* screen = new frmSimpleTest;          // Form_Load runs here; throws DbError when the shared
//   Module1::SimpleTestForms[n] = screen;      //   record objects cannot be bound
//   screen->setWindowTitle("Veduvovir Simple Test Unit # " + Format::str(n));
//   screen->lblUnitNo->setText(Format::str(n));
//   screen->setUnits(n);
//   screen->offerMenuItem = [this](int unit) { menuSimpleAdd[unit]->setEnabled(true); };
//   ... calibration of unit n into Module1::Calibration[n] ...
//   mdiArea->addSubWindow(screen)->show();
//   screen->Timer1->setInterval(500); screen->Timer1->start();
//   screen->MSComm1->open(port, "19200,n,8,1");   // false + lastError() when it fails
//
// Closing (EXIT or the close box) is refused while a cell runs; preheating cells are stopped. A stop the unit
// has not confirmed yet gets a moment (the poll goes on), then the operator is asked whether to close all
// the same, since nothing sends it once the screen is gone. Then the unit's menu item is offered again
// through offerMenuItem, the port is closed and the screen deletes itself.
// When the screen sits in a QMdiSubWindow, EXIT closes that sub-window (which asks the screen first).
#include "realtime/CellControl.h"
#include "realtime/LiveChart.h"
#include "realtime/UnitCommands.h"
#include "realtime/UnitPoll.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class frmTestDetail;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace platform {
class Chart;
class ControlLayout;
class SerialPort;
} // namespace platform

class frmSimpleTest : public QWidget, public realtime::UnitPollListener, public realtime::CellControlView {
    Q_OBJECT
public:
    // Design size of the window's inner area; the proportional layout works in fractions of it.
    static constexpr int DesignWidth = 985;
    static constexpr int DesignHeight = 707;
    // Timer1's interval.
    static constexpr int PollIntervalMs = 500;

    // Closing refused while logged points wait for the database.
    static inline const QString UnstoredPointsMessage = QStringLiteral(
        "Some logged points of this unit are not stored yet: the database cannot be written at present. "
        "Close the screen when it can be written again.");
    // Asked on closing while the only points left are those of tests the database file lacks: "%1" the
    // unit number, "%2" one MissingTestLine per test.
    static inline const QString LosePointsQuestion = QStringLiteral(
        "Some logged points of unit %1 cannot be stored: their test is not in the database file.\r\n%2\r\n"
        "If you close the screen now, these points are lost. Close it anyway?");
    // "%1" points, "%2" the test name, "%3" the cell letter.
    static inline const QString MissingTestLine = QStringLiteral("%1 points of the test \"%2\" (cell %3)");

    explicit frmSimpleTest(QWidget* parent = nullptr);
    ~frmSimpleTest() override;

    // Which unit screen this is (the sequence screen, frmSeqTest, is built on this one).
    realtime::UnitPoll::Screen screenKind() const { return kind_; }

    // The unit number 1..8; 0 until the real-time window sets it.
    int Units() const { return units_; }
    void setUnits(int unit);

    // Called when the screen unloads with a unit number: the real-time window offers its menu item again.
    std::function<void(int unit)> offerMenuItem;

    // The chart's initial state: titles, axis label, styles and placeholder points.
    void Initial_Chart_All();
    // The command pause (keeps processing events).
    static void wait_for_milli_seconds(std::uint32_t ms);

    // Handlers, public so that the real-time window and tests can run them as a click would.
    void cmdzero_Click(int index);
    void cmdInfo_Click(int index);
    void cmdPreHeat_Click(int index);
    void cmdTempSet_Click(int index);
    void cmdStart_Click(int index);
    void cmdDetail_Click(int index);
    void cmdExit_Click();
    void txtInterval_Change(int index);
    void chkSwell_Click();
    void chkTemp_Click();
    void chkPress_Click();
    void Timer1_Timer();

    // Stores one point taken by the poll: a TEST_RESULT row, then the row of the detail window of (unit,
    // the point's cell) and the live chart's point. Throws DbError (false without a record object) when the
    // row could not be stored; the poll then keeps the point and offers it again.
    bool LogPoint(int unit, const realtime::LoggedPoint& point);
    // Creates the cell's detail window for the test named in lblTestname(cell) and fills its header.
    virtual void LoadCellTest(int cell);
    // Brings the live chart up to date with every running cell's points: rebuilt from the database when
    // what it shows changed (or fullReload is set), else only the points logged since are added.
    void RefreshChart(bool fullReload = false);
    // The stop of a cell.
    void StopTest(int cell);

    realtime::UnitPoll& poll() { return *poll_; }
    realtime::CellControl& control(int cell) { return *controls_[std::size_t(cell == 2 ? 2 : 1)]; }
    realtime::LiveChart& liveChart() { return *liveChart_; }

    // ---- Controls (object names as below; arrays "name(index)", index 1 = cell A) ----
    std::array<QGroupBox*, 3> fraCell{};   // "CELL A", "CELL B"
    std::array<QLabel*, 3> Image1{};
    std::array<QLabel*, 3> lblTestname{};
    std::array<QLabel*, 3> lbltemp1{};
    std::array<QLabel*, 3> lblTemp2{};
    std::array<QLabel*, 3> lblTemp3{};
    std::array<QLabel*, 3> lblPress{};
    std::array<QLabel*, 3> lblvolt{};
    std::array<QLabel*, 3> lblen{};
    std::array<QLabel*, 3> lbldist{};
    std::array<QLabel*, 3> lblswell{};
    std::array<QLabel*, 3> lblstarttime{};
    std::array<QLabel*, 3> lblElapseTime{};
    std::array<QLineEdit*, 3> txtTemps{};
    std::array<QLineEdit*, 3> txtInterval{};
    std::array<QLineEdit*, 3> txtMaxTime{};   // simple screen only
    std::array<QPushButton*, 3> cmdzero{};
    std::array<QPushButton*, 3> cmdInfo{};
    std::array<QPushButton*, 3> cmdPreHeat{};
    std::array<QPushButton*, 3> cmdTempSet{};
    std::array<QPushButton*, 3> cmdStart{};
    std::array<QPushButton*, 3> cmdDetail{};
    std::array<QLabel*, 5> Label44{};   // 1, 2: "No Response" alarms; 3, 4: status of cell 1, 2
    // Unit captions beside the readings: temperature 1..3 cell A, 4..6 cell B; pressure 1..2;
    // length 1..2 cell A, 3..4 cell B.
    std::array<QLabel*, 7> lblTempUnit{};
    std::array<QLabel*, 3> lblPressUnit{};
    std::array<QLabel*, 5> lblLengthUnit{};

    platform::Chart* Pesgo1 = nullptr;
    QCheckBox* chkSwell = nullptr;
    QCheckBox* chkPress = nullptr;
    QCheckBox* chkTemp = nullptr;
    QPushButton* cmdExit = nullptr;
    QLabel* lblUnitNo = nullptr;
    QTimer* Timer1 = nullptr;
    std::unique_ptr<platform::SerialPort> MSComm1;

    // ---- UnitPollListener ----
    void showLabel(int cell, realtime::CellLabel label, const QString& text) override;
    void showAlarm(int cell, bool shown) override;
    void showStatus(int cell, const QString& text) override;
    void stopCell(int cell) override;
    bool storePoint(const realtime::LoggedPoint& point) override;
    void refreshChart() override;
    bool resendSetPoint(int cell) override;
    bool sendOwedStop(int cell) override;

    // ---- CellControlView ----
    void setSetPointText(int cell, const QString& text) override;
    void setStatus(int cell, const QString& text) override;
    QString startCaption(int cell) const override;
    void setStartCaption(int cell, const QString& text) override;
    void setDetailEnabled(int cell, bool enabled) override;
    void setInfoEnabled(int cell, bool enabled) override;
    void setTestNameLabel(int cell, const QString& text) override;
    void setStartTime(int cell, const QString& text) override;
    void startPollTimer() override;
    std::optional<QString> runTestInformation(int cell, double waferInches) override;
    void loadCellTest(int cell) override;

protected:
    // The sequence screen's start: controls built without the maximum-time box and the load step left to
    // the derived screen, which adds its own controls and cell logic first.
    frmSimpleTest(realtime::UnitPoll::Screen kind, int designHeight, QWidget* parent);

    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // The control-array index of a cell: 2 for cell B, 1 (cell A) for anything else.
    static std::size_t cellIndex(int cell) { return cell == 2 ? 2 : 1; }

    // The step number logged with a point (a simple test has one step).
    int loggedStepNo(int cell) const override;
    void Form_Load();
    frmTestDetail* detailWindow(int cell) const;

    realtime::UnitPoll::Screen kind_ = realtime::UnitPoll::Screen::Simple;
    int designHeight_ = DesignHeight;
    std::unique_ptr<realtime::UnitSerialLink> link_;
    std::unique_ptr<realtime::UnitPoll> poll_;
    std::array<std::unique_ptr<realtime::CellControl>, 3> controls_;

private:
    void buildControls();
    void buildCell(int cell);
    // The unload rules; false when the unload is refused.
    bool Form_Unload();
    // Part of the unload: stops still owed get a moment to be confirmed, then the operator decides.
    bool closeWithOwedStops();
    // When every point still queued belongs to a test the database file lacks: asks whether to close and
    // lose them, and drops them on Yes. Otherwise refuses with UnstoredPointsMessage. True when the screen
    // may close.
    bool dropPointsOfMissingTests();
    void Form_Resize();
    void setUnitCaptions();
    void redrawForBoxes();
    std::array<realtime::LiveChartCell, 3> chartCells() const;

    int units_ = 0;
    bool unloading_ = false;   // Form_Unload runs (it waits and asks, so events run inside it)
    // The detail window this screen made for each cell's latest test (index 1 = A); they go with the screen.
    std::array<QPointer<QWidget>, 3> details_{};
    std::unique_ptr<realtime::LiveChart> liveChart_;
    std::unique_ptr<platform::ControlLayout> layout_;
};
