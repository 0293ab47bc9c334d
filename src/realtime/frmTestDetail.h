#pragma once
// The test detail window of one unit's cell: the test's header fields (editable, saved with one UPDATE),
// the grid of the points logged so far and, for a sequence test, the grid of its steps.
//
// The unit screen creates it (not shown) when the cell's test starts and keeps it in
// Module1::DetailForms[unit][cell]; it has no parent, so it outlives the screen:
//   auto* w = new frmTestDetail;                // captions, grids, centred on the screen
//   Module1::DetailForms[unit][cell] = w;
//   w->ShowSequenceControls(false);             // simple screen: no step grid, no sequence name
//   if (found) w->FillHeader(*Module1::TestInfo);   // TestId and boxes 1..11
//   w->setInfoChanged(false);
// Each logged point:  w->appendPoint({elapsed, step, temp°F, psi, inches, swell%, volts, bath°F});
// The DETAIL button:  w->show(); w->raise();
#include <QAbstractTableModel>
#include <QList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/GridHelpers.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QCloseEvent;
class QResizeEvent;
class clsTEST_INFO;
namespace platform {
class ControlLayout;
}

// One logged point as the unit screen measured it, in stored units.
struct DetailPoint {
    std::int32_t elapsedSeconds = 0;   // whole seconds since START
    std::int32_t stepNo = 1;
    double temp = 0;           // °F
    double press = 0;          // psi
    double lengthChange = 0;   // inches
    double swell = 0;          // %
    double volts = 0;
    double bathTemp = 0;       // °F
    bool wholeBathTemp = false;   // bath temperature shown without decimals (sequence tests)
};

// The points grid's rows. A row keeps each cell's text as it was when the point was logged, held as the
// whole number that the text writes in units of its pattern's last place ("70.3" with "#0.#" is 703) and
// written out again only when the view asks for it. A text that such a number cannot give back exactly
// (a value beyond the number's range, or "-0.") is kept as it is.
class DetailPointModel : public platform::grid::TextGridModel {
    Q_OBJECT
public:
    struct Row {
        std::int32_t elapsedSeconds;
        std::int32_t volts;   // ten-thousandths
        std::int16_t stepNo, temp, press, lengthChange, swell, bathTemp;
    };
    static constexpr int Columns = 8;

    explicit DetailPointModel(QObject* parent = nullptr);

    // Converts p into the display units now in force and adds it as the last row; returns its index.
    int appendPoint(const DetailPoint& p);
    void clear();
    // The text of a cell, as the grid shows it.
    QString text(int row, int column) const override;
    // Bytes held for the rows (rows, and the texts kept as texts).
    std::size_t rowBytes() const;

    int rowCount(const QModelIndex& parent = {}) const override;

private:
    struct KeptText {
        int row;
        int column;
        QString text;
    };
    // The pattern of a number column (1..7) and its places after the point.
    QString pattern(int column) const;
    int places(int column) const;
    // The text stored as a number of the row's field; the number's range decides which field it fits.
    bool store(Row& row, int column, const QString& text);

    std::deque<Row> rows_;   // grows in fixed blocks: nothing is copied or left behind as a test grows
    std::vector<KeptText> kept_;   // in row order
    bool wholeBathTemp_ = false;   // bath temperature pattern "#0" (the first row's); other rows keep texts
};

class frmTestDetail : public QWidget {
    Q_OBJECT
public:
    explicit frmTestDetail(QWidget* parent = nullptr);
    ~frmTestDetail() override;

    // TEST_ID of the shown test; the WHERE of the save.
    std::int32_t TestId() const { return testId_; }
    void setTestId(std::int32_t id) { testId_ = id; }
    // True after any edit of a header box (also an edit made by the program).
    bool InfoChanged() const { return infoChanged_; }
    void setInfoChanged(bool value) { infoChanged_ = value; }

    // Shows a test row: TestId and boxes 1..11 (length in the display unit "#0.##", compaction
    // pressure "###0"); leaves InfoChanged false.
    void FillHeader(const clsTEST_INFO& info);
    // The step grid, Label1(0) and txtSeqInfo: hidden for a simple test, shown for a sequence test.
    void ShowSequenceControls(bool visible);
    // Step grid: heading only, then one row per step (start from START in seconds, step number, set
    // point in °F shown in the display unit).
    void ClearSteps();
    void AddStep(double startSeconds, int stepNo, double setPointF);

    // Adds one logged point at the bottom of the points grid and makes it the current row.
    int appendPoint(const DetailPoint& p);
    int PointCount() const;
    QString PointText(int row, int column) const;
    DetailPointModel* points() const { return points_; }

    // Handlers.
    void cmdEdit_Click();    // save the header
    void cmdClose_Click();   // offer the save when edited, then hide
    void txtTestInfo_Change(int index);

    std::array<QLineEdit*, 12> txtTestInfo{};   // 1..11
    std::array<QLabel*, 12> Label1{};           // 0: "Sequence NAME"; 1..11 captions of the boxes
    std::array<QLabel*, 10> Label2{};           // units: 5 length, 8 pressure, 9 "(min)"; others unused
    QLineEdit* txtSeqInfo = nullptr;
    QGroupBox* Frame3 = nullptr;
    QTableView* MSFlexGrid1 = nullptr;
    QTableWidget* MSFlexGrid2 = nullptr;
    QPushButton* cmdEdit = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Resize();
    void setUpGrids();

    DetailPointModel* points_ = nullptr;
    platform::ControlLayout* layout_ = nullptr;
    std::int32_t testId_ = 0;
    bool infoChanged_ = false;
};
