#pragma once
// A cell of the sequence-test screen: the buttons of a simple-test cell with the sequence screen's rules
// (Enter Info and SET without the pressure rule, the 30 ms stop pause, the test name kept on the label after
// a stop), and START, which picks a stored sequence, loads its steps, checks every step (680 °F, the pressure
// rule with the pressure measured now) and starts step 1. The poll changes steps (UnitPoll, sequence screen)
// and calls StepChanged for each new step.
#include "realtime/CellControl.h"
#include "realtime/SequenceSteps.h"

#include <QString>
#include <optional>
#include <vector>

namespace realtime {

// What a sequence cell needs of its window besides CellControlView. Cell 1 = A, 2 = B.
class SequenceCellView {
public:
    virtual ~SequenceCellView() = default;
    // Shows the sequence picker filled with every stored sequence name. nullopt when it was cancelled,
    // otherwise the selected name (empty when nothing was selected). May throw (database).
    virtual std::optional<QString> pickSequence(int cell) = 0;
    virtual void setStepNo(int cell, const QString& text) = 0;          // lblStepNo(cell)
    virtual void setSequenceName(int cell, const QString& text) = 0;    // lblSeqname(cell)
    // txtInterval(cell); its change handler takes it as the cell's logging interval.
    virtual void setIntervalText(int cell, const QString& text) = 0;
};

class SequenceCellControl : public CellControl {
public:
    static inline const QString NoSequenceMessage = QStringLiteral("No Sequence selected, test stop");

    SequenceCellControl(UnitPoll& poll, UnitSerialLink& link, CellControlView& view, SequenceCellView& seqView,
                        int cell);

    // Chooses the cell's sequence in the picker and loads it. False when START must end: the picker was
    // cancelled ("No Sequence selected, test stop", the name emptied), the sequence has no steps or more
    // than 100 (message; the cell keeps its earlier sequence), or no sequence was ever chosen.
    bool SelectSequence();
    // Reads the steps of the sequence named `name` through the shared sequence objects (new
    // Module1::SeqStep), in step-number order. Throws DbError when the database fails.
    static std::vector<SequenceStep> LoadSequence(const QString& name);

    // The new current step of the running cell: its set point into the box ("#0.#") and sent, its number
    // and logging interval shown. False when the set point could not be written to the unit.
    bool StepChanged();

protected:
    void startTest() override;

private:
    SequenceCellView& seqView_;
};

} // namespace realtime
