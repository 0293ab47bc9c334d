#include "realtime/frmSeqTest.h"

#include "platform/ControlName.h"
#include "platform/ShowModal.h"
#include "realtime/frmNameSeq.h"
#include "realtime/frmTestDetail.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/format.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

using realtime::SequenceCellControl;

frmSeqTest::frmSeqTest(QWidget* parent) : frmSimpleTest(realtime::UnitPoll::Screen::Sequence, DesignHeight, parent)
{
    setObjectName(QStringLiteral("frmSeqTest"));
    for (int c = 1; c <= 2; ++c) {
        buildSequenceControls(c);
        controls_[std::size_t(c)] = std::make_unique<SequenceCellControl>(*poll_, *link_, *this, *this, c);
    }
    Form_Load();
}

frmSeqTest::~frmSeqTest() = default;

void frmSeqTest::buildSequenceControls(int c)
{
    QGroupBox* frame = fraCell[cellIndex(c)];
    auto label = [&](const char* name, const QString& text, const char* role, QRect g) {
        auto* l = new QLabel(text, frame);
        l->setObjectName(platform::controlName(name, c));
        l->setProperty("role", QLatin1String(role));
        l->setGeometry(g);
        return l;
    };
    label("lblCapStepNo", QStringLiteral("Step No"), "caption", QRect(218, 304, 48, 15));
    lblStepNo[cellIndex(c)] = label("lblStepNo", QString(), "name", QRect(218, 319, 48, 28));
    lblStepNo[cellIndex(c)]->setAlignment(Qt::AlignCenter);
    label("lblCapSeqname", QStringLiteral("Seq. Name"), "caption", QRect(276, 304, 196, 15));
    lblSeqname[cellIndex(c)] = label("lblSeqname", QString(), "name", QRect(276, 319, 196, 28));
    lblSeqname[cellIndex(c)]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblSeqname[cellIndex(c)]->setTextFormat(Qt::PlainText);   // a sequence name shows as typed
    lblSeqname[cellIndex(c)]->setProperty("small", true);   // names of up to 50 characters
}

SequenceCellControl& frmSeqTest::sequenceControl(int cell)
{
    return static_cast<SequenceCellControl&>(control(cell));
}

bool frmSeqTest::CheckPressure(int cell, double setPointF) { return control(cell).CheckPressure(setPointF); }

bool frmSeqTest::SelectSequence(int cell) { return sequenceControl(cell).SelectSequence(); }

void frmSeqTest::FillSeqNameList(frmNameSeq& picker)
{
    Module1::SeqInfo = std::make_shared<clsSEQUENCE_INFO>();
    Module1::SeqInfo->ConnectX(requireObject(Module1::DbConnection));
    picker.lstSeqName->clear();
    const RowTable names = Module1::SeqInfo->JustName();
    for (int row = 0; row < names.rowCount(); ++row) picker.lstSeqName->addItem(names.value(0, row).toString());
    if (picker.lstSeqName->count() > 0) picker.lstSeqName->setCurrentRow(0);
}

std::optional<QString> frmSeqTest::pickSequence(int)
{
    frmNameSeq picker(this);
    FillSeqNameList(picker);
    platform::showModal(picker);
    if (picker.Cancels()) return std::nullopt;
    return picker.SelectedName();
}

void frmSeqTest::LoadCellTest(int cell)
{
    frmSimpleTest::LoadCellTest(cell);
    if (frmTestDetail* w = detailWindow(cell)) w->txtSeqInfo->setText(poll_->cell(cell).sequenceName);
    ShowDetailValues(cell);
}

void frmSeqTest::ShowDetailValues(int cell)
{
    frmTestDetail* w = detailWindow(cell);
    if (!w) return;
    w->ShowSequenceControls(true);
    const realtime::UnitCell& k = poll_->cell(cell);
    if (k.sequenceName.isEmpty()) return;
    w->ClearSteps();
    const std::vector<double> starts = k.sequence.startSeconds();
    for (int s = 1; s <= int(starts.size()); ++s)
        w->AddStep(starts[std::size_t(s - 1)], s, k.sequence.step(s).setPointF);
}

int frmSeqTest::loggedStepNo(int cell) const
{
    const double n = Format::roundHalfEven(Format::leading(lblStepNo[cellIndex(cell)]->text()));
    return Format::toInt32(n).value_or(0);
}

bool frmSeqTest::stepChanged(int cell)
{
    // Inside the tick: a set point that could not be written is reported through the tick's messages, unless
    // the unit is known to be silent (its alarm shows, and the no-response stop brings the one message).
    // The change is tried again on every tick until it goes out: one box for all the tries.
    const bool sent = sequenceControl(cell).StepChanged();
    bool& failing = stepChangeFailing_[std::size_t(cellIndex(cell))];
    if (!sent && !failing && !poll_->alarmShown()) showMessage(realtime::CellControl::LinkFailedMessage);
    failing = !sent;
    return sent;
}

void frmSeqTest::setStepNo(int cell, const QString& text) { lblStepNo[cellIndex(cell)]->setText(text); }

void frmSeqTest::setSequenceName(int cell, const QString& text)
{
    QLabel* l = lblSeqname[cellIndex(cell)];
    l->setText(text);
    l->setToolTip(text);
}

void frmSeqTest::setIntervalText(int cell, const QString& text) { txtInterval[cellIndex(cell)]->setText(text); }
