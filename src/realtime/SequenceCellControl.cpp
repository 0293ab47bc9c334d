#include "realtime/SequenceCellControl.h"

#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"
#include "records/format.h"

#include <QDateTime>

namespace realtime {

SequenceCellControl::SequenceCellControl(UnitPoll& poll, UnitSerialLink& link, CellControlView& view,
                                         SequenceCellView& seqView, int cell)
    : CellControl(poll, link, view, cell, CellRules::sequence()), seqView_(seqView)
{
}

std::vector<SequenceStep> SequenceCellControl::LoadSequence(const QString& name)
{
    Module1::SeqStep = std::make_shared<clsSEQUENCE_STEP>();
    clsSEQUENCE_INFO& info = requireObject(Module1::SeqInfo);
    info.SEQUENCE_NAME = name;
    info.GetSeqDetail();
    const double id = info.All().at(0).toDouble();

    clsSEQUENCE_STEP& steps = *Module1::SeqStep;
    steps.SequenceId = id;
    steps.ConnectX(requireObject(Module1::DbConnection));
    std::vector<SequenceStep> out;
    if (!steps.EOF_()) {
        steps.MoveFirst();
        while (!steps.EOF_()) {
            const QVariantList row = steps.All();
            out.push_back({row.at(3).toDouble(), row.at(4).toDouble(), row.at(5).toDouble()});
            steps.MoveNext();
        }
    }
    return out;
}

bool SequenceCellControl::SelectSequence()
{
    const std::optional<QString> picked = seqView_.pickSequence(cell_);
    if (!picked) {
        message(NoSequenceMessage);
        values().sequenceName.clear();
        return false;
    }
    if (!picked->isEmpty()) {
        // Read in full before anything changes: a sequence that cannot run leaves the cell's earlier one.
        const std::vector<SequenceStep> steps = LoadSequence(*picked);
        switch (values().sequence.load(steps)) {
        case SequenceSteps::Load::Empty:
            message(SequenceSteps::emptyMessage(*picked));
            return false;
        case SequenceSteps::Load::TooMany:
            message(SequenceSteps::tooManyMessage(*picked, int(steps.size())));
            return false;
        case SequenceSteps::Load::Loaded:
            values().sequenceName = *picked;
            break;
        }
    }
    // Nothing selected (an empty list): the sequence of the previous START, if any, runs again.
    return !values().sequenceName.isEmpty() && values().sequence.count() > 0;
}

void SequenceCellControl::startTest()
{
    if (!SelectSequence()) return;
    // Ticks ran while the picker was open: the cell may have been stopped meanwhile (the no-response rule
    // empties its test name and wafer length), and a test without them must not start.
    if (values().testName.isEmpty() || !(values().waferLength > 0)) {
        message(EnterInfoFirstMessage);
        return;
    }
    view_.loadCellTest(cell_);

    // Every step is checked now, with the pressure measured now, before anything goes to the unit.
    const SequenceSteps& seq = values().sequence;
    for (int k = 1; k <= seq.count(); ++k) {
        const double setPoint = seq.step(k).setPointF;
        if (setPoint > SetPointLimitF) {
            message(SequenceSteps::overMaximumMessage(
                k, Format::number(Module1::ToDisplayTemp(SetPointLimitF), QStringLiteral("##.#"))));
            return;
        }
        if (!CheckPressure(setPoint)) return;
    }

    const SequenceStep first = seq.step(1);
    view_.setSetPointText(cell_, Format::number(Module1::ToDisplayTemp(first.setPointF), QStringLiteral("###.#")));
    setTemperature();
    if (!setPointSent()) return;   // not written to the unit: its message has been shown, nothing starts

    view_.startPollTimer();
    values().state = CellRunning;
    poll_.startTiming(cell_);
    seqView_.setStepNo(cell_, QStringLiteral("1"));
    seqView_.setSequenceName(cell_, values().sequenceName);
    seqView_.setIntervalText(cell_, Format::general(first.recordRate));
    values().loggingInterval = intervalSeconds(first.recordRate);
    view_.setStartTime(cell_, Format::dateTime(QDateTime::currentDateTime(), QStringLiteral(" mm/dd/yyyy hh:mm:ss")));
    view_.setStatus(cell_, StatusRunning);
    view_.setStartCaption(cell_, CaptionStop);
    view_.setDetailEnabled(cell_, true);
    view_.refreshChart();
}

bool SequenceCellControl::StepChanged()
{
    const int k = values().sequence.current();
    const SequenceStep step = values().sequence.step(k);
    const QString before = values().setPointText;
    view_.setSetPointText(cell_, Format::number(Module1::ToDisplayTemp(step.setPointF), QStringLiteral("#0.#")));
    const bool sent = sendSetPoint();
    // The send pauses; the operator may have stopped the cell meanwhile.
    if (values().state != CellRunning) return sent;
    if (!sent) {
        // The unit still works at the step before: the screen goes on showing that step.
        view_.setSetPointText(cell_, before);
        return false;
    }
    seqView_.setStepNo(cell_, Format::general(k));
    seqView_.setIntervalText(cell_, Format::general(step.recordRate));
    values().loggingInterval = intervalSeconds(step.recordRate);
    return sent;
}

} // namespace realtime
