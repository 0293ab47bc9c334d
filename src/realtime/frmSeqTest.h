#pragma once
// The sequence-test screen of one unit: each of its two cells runs a stored sequence of steps (a set point
// held for a number of minutes, points logged at the step's own interval), picked in frmNameSeq at START.
// It is the simple-test screen with the sequence screen's differences: no maximum-time box; the sequence's
// name and current step beside each cell; START picks, loads and checks the sequence; the poll changes
// steps and stops the cell after the last one (and when the unit has been silent for 11 ticks); logged
// points carry the step number; the detail window lists the steps.
//
// The real-time window adds it as it adds a simple screen, keeping it in Module1::SeqTestForms:
//   auto* screen = new frmSeqTest;
//   Module1::SeqTestForms[n] = screen;
//   screen->setWindowTitle("Veduvovir Test BY Sequence Unit # " + Format::str(n));
//   ... as frmSimpleTest; offerMenuItem offers MenuSeqAdd(n) again.
#include "realtime/SequenceCellControl.h"
#include "realtime/frmSimpleTest.h"

class frmNameSeq;

class frmSeqTest : public frmSimpleTest, public realtime::SequenceCellView {
    Q_OBJECT
public:
    // Design size of the window's inner area.
    static constexpr int DesignWidth = 985;
    static constexpr int DesignHeight = 628;

    explicit frmSeqTest(QWidget* parent = nullptr);
    ~frmSeqTest() override;

    realtime::SequenceCellControl& sequenceControl(int cell);

    // The pressure rule of a cell for a set point in °F; false (message shown) when pressure is short.
    bool CheckPressure(int cell, double setPointF);
    // Picks and loads the cell's sequence (as START does); false when START must end.
    bool SelectSequence(int cell);
    // Fills the picker with every stored sequence name (new Module1::SeqInfo), the first one selected.
    void FillSeqNameList(frmNameSeq& picker);
    // The detail window at START: that of the simple screen, then the sequence name and the step grid.
    void LoadCellTest(int cell) override;
    // Shows the detail window's sequence controls and lists the steps with their start times.
    void ShowDetailValues(int cell);

    // ---- Controls of each cell besides those of the simple screen ----
    std::array<QLabel*, 3> lblSeqname{};   // "Seq. Name"
    std::array<QLabel*, 3> lblStepNo{};    // "Step No"

    // ---- UnitPollListener ----
    bool stepChanged(int cell) override;

    // ---- SequenceCellView ----
    std::optional<QString> pickSequence(int cell) override;
    void setStepNo(int cell, const QString& text) override;
    void setSequenceName(int cell, const QString& text) override;
    void setIntervalText(int cell, const QString& text) override;

protected:
    // The number shown in lblStepNo(cell), to the nearest whole number.
    int loggedStepNo(int cell) const override;

private:
    void buildSequenceControls(int cell);

    // A step change of the cell has failed since its last one that went out (reported once, not per try).
    std::array<bool, 3> stepChangeFailing_{};
};
