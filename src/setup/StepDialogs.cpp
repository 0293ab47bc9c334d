#include "setup/StepDialogs.h"

#include "platform/Prompts.h"
#include "records/Module1.h"
#include "setup/Controls.h"
#include "setup/StepTable.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

using namespace setup::controls;

namespace {

// A drop-down that also takes typing, as the step and position boxes do.
QComboBox* combo(QWidget* parent, const char* name, QRect g, const QString& tip = {})
{
    auto* c = place(new QComboBox(parent), QLatin1String(name), g, tip);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

// "1" .. steps, "1" shown (nothing when there are no steps).
void fillSteps(QComboBox* c, int steps)
{
    const QSignalBlocker quiet(c);
    c->clear();
    for (int k = 1; k <= steps; ++k) c->addItem(QString::number(k));
    if (steps > 0) c->setCurrentIndex(0);
    else c->setEditText(QString());
}

// Typing into a position box snaps it back to its first entry.
void snapBack(QComboBox* c)
{
    const QSignalBlocker quiet(c);
    c->setCurrentIndex(0);
    c->setEditText(c->itemText(0));
}

void refuse(const setup::Refusal& r) { platform::Prompts::current().message(r.message, r.title); }

QString temperatureLabel(const QString& caption) { return QStringLiteral("Temperature ") + caption; }

} // namespace

// ---------------------------------------------------------------------------------------------------
// Insert one step

frmInsertStep::frmInsertStep(const QString& tempCaption, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmInsertStep"));
    setWindowTitle(QStringLiteral("Insert Step"));
    resize(380, 262);
    Label1 = label(this, "Label1", QStringLiteral("Please input test parameters:"), {12, 10, 356, 20});
    Label2 = label(this, "Label2", QStringLiteral("Insert"), {12, 42, 190, 22});
    cmbBeforeAfter = combo(this, "cmbBeforeAfter", {210, 40, 110, 26}, QStringLiteral("Select position of inserted step"));
    cmbBeforeAfter->addItems({QStringLiteral("before"), QStringLiteral("after")});
    cmbBeforeAfter->setCurrentIndex(0);
    Label3 = label(this, "Label3", QStringLiteral("Step No:"), {12, 76, 190, 22});
    txtStepNo = place(new QLineEdit(QStringLiteral("1"), this), QLatin1String("txtStepNo"), {210, 74, 110, 24});
    Label4 = label(this, "Label4", QStringLiteral("Step time (min):"), {12, 108, 190, 22});
    txtTime = place(new QLineEdit(this), QLatin1String("txtTime"), {210, 106, 110, 24}, QStringLiteral("Enter a number >0 and <6300"));
    lblTemp = label(this, "lblTemp", temperatureLabel(tempCaption), {12, 140, 190, 22});
    txtTemp = place(new QLineEdit(this), QLatin1String("txtTemp"), {210, 138, 110, 24},
                    QStringLiteral("Enter a temp setting of up to the maximum for your unit"));
    Label5 = label(this, "Label5", QStringLiteral("Data Recording Interval (sec):"), {12, 172, 194, 22});
    txtRate = place(new QLineEdit(this), QLatin1String("txtRate"), {210, 170, 110, 24},
                    QStringLiteral("Set the desired data recording interval"));
    cmdOk = place(new QPushButton(QStringLiteral("&OK"), this), QLatin1String("cmdOk"), {90, 216, 96, 30},
                  QStringLiteral("Click here to insert multiple steps"));
    cmdCancel = place(new QPushButton(QStringLiteral("&Cancel"), this), QLatin1String("cmdCancel"), {196, 216, 96, 30},
                      QStringLiteral("Click here to close this window without inserting test steps"));
    cmdOk->setDefault(true);

    connect(cmbBeforeAfter, &QComboBox::currentIndexChanged, this, [this] { cmbBeforeAfter_Click(); });
    connect(cmbBeforeAfter, &QComboBox::editTextChanged, this, [this] { cmbBeforeAfter_Change(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmInsertStep::cmbBeforeAfter_Click() { before_ = cmbBeforeAfter->currentIndex() != 1; }

void frmInsertStep::cmbBeforeAfter_Change()
{
    if (cmbBeforeAfter->currentText() == cmbBeforeAfter->itemText(cmbBeforeAfter->currentIndex())) return;
    snapBack(cmbBeforeAfter);
    before_ = true;
}

void frmInsertStep::cmdOk_Click()
{
    const auto checked = setup::dialogs::checkInsert(txtTime->text(), txtTemp->text(), txtRate->text());
    if (const auto* r = std::get_if<setup::dialogs::InsertRefusal>(&checked)) {
        refuse(r->refusal);
        QLineEdit* entry[] = {txtTime, txtTemp, txtRate};
        entry[r->field - 1]->setFocus();
        return;
    }
    const auto& v = std::get<setup::dialogs::InsertValues>(checked);
    time_ = v.time;
    temp_ = v.temp;
    rate_ = v.rate;
    cancelInp_ = false;
    hide();
}

void frmInsertStep::cmdCancel_Click()
{
    cancelInp_ = true;
    hide();
}

void frmInsertStep::reject()
{
    cancelInp_ = true;
    QDialog::reject();
}

// ---------------------------------------------------------------------------------------------------
// Delete a range of steps

frmDeleteSteps::frmDeleteSteps(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDeleteSteps"));
    setWindowTitle(QStringLiteral("Delete Multiple Steps"));
    resize(340, 150);
    Label1 = label(this, "Label1", QStringLiteral("Delete Multiple Steps:"), {12, 10, 316, 20});
    Label2 = label(this, "Label2", QStringLiteral("From step"), {12, 44, 76, 22});
    cmbDeletefrom = combo(this, "cmbDeletefrom", {92, 42, 84, 26}, QStringLiteral("Select the first step to delete"));
    Label3 = label(this, "Label3", QStringLiteral("to"), {188, 44, 24, 22});
    cmbDeleteto = combo(this, "cmbDeleteto", {216, 42, 84, 26}, QStringLiteral("Select the last step to delete"));
    cmdOk = place(new QPushButton(QStringLiteral("&OK"), this), QLatin1String("cmdOk"), {64, 100, 96, 30},
                  QStringLiteral("Click OK to delete multiple steps"));
    cmdCancel = place(new QPushButton(QStringLiteral("&Cancel"), this), QLatin1String("cmdCancel"), {172, 100, 96, 30},
                      QStringLiteral("Click here to close this window without deleting any steps"));
    cmdOk->setDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmDeleteSteps::Form_Load(int steps)
{
    steps_ = steps;
    DeleteFromStep = 0;
    fillSteps(cmbDeletefrom, steps);
    fillSteps(cmbDeleteto, steps);
}

void frmDeleteSteps::cmdOk_Click()
{
    const auto checked = setup::dialogs::checkDeleteRange(cmbDeletefrom->currentText(), cmbDeleteto->currentText(), steps_);
    if (const auto* r = std::get_if<setup::Refusal>(&checked)) {
        refuse(*r);
        return;
    }
    const auto& range = std::get<setup::dialogs::Range>(checked);
    DeleteFromStep = range.from;
    DeleteToStep = range.to;
    hide();
}

void frmDeleteSteps::cmdCancel_Click()
{
    DeleteFromStep = 0;
    hide();
}

void frmDeleteSteps::reject()
{
    DeleteFromStep = 0;
    QDialog::reject();
}

// ---------------------------------------------------------------------------------------------------
// Copy and paste a range of steps

frmCopyPaste::frmCopyPaste(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCopyPaste"));
    setWindowTitle(QStringLiteral("Copy & Paste"));
    resize(420, 250);
    Label1 = label(this, "Label1", QStringLiteral("Copy source:"), {12, 12, 100, 22});
    Label2 = label(this, "Label2", QStringLiteral("From step"), {116, 12, 76, 22});
    cmbCopyfrom = combo(this, "cmbCopyfrom", {196, 10, 80, 26});
    Label3 = label(this, "Label3", QStringLiteral("to"), {286, 12, 24, 22});
    cmbCopyto = combo(this, "cmbCopyto", {314, 10, 80, 26});
    Label4 = label(this, "Label4", QStringLiteral("Paste to:"), {12, 52, 100, 22});
    cmbBeforeAfter = combo(this, "cmbBeforeAfter", {116, 50, 90, 26});
    cmbBeforeAfter->addItems({QStringLiteral("after"), QStringLiteral("before")});
    Label5 = label(this, "Label5", QStringLiteral("step No."), {216, 52, 70, 22});
    cmbPasteto = combo(this, "cmbPasteto", {290, 50, 80, 26});
    Label6 = label(this, "Label6", QStringLiteral("Paste target:"), {12, 92, 100, 22});
    lblTemp = label(this, "lblTemp", temperatureLabel(Module1::TempUnitCaption), {116, 92, 170, 22});
    txtNewTemperature = place(new QLineEdit(this), QLatin1String("txtNewTemperature"), {290, 90, 104, 24});
    Label7 = label(this, "Label7", QStringLiteral("New target pressure (psi):"), {116, 128, 170, 22});
    txtNewPressure = place(new QLineEdit(this), QLatin1String("txtNewPressure"), {290, 126, 104, 24});
    cmdOk = place(new QPushButton(QStringLiteral("&OK"), this), QLatin1String("cmdOk"), {104, 198, 96, 30});
    cmdCancel = place(new QPushButton(QStringLiteral("&Cancel"), this), QLatin1String("cmdCancel"), {212, 198, 96, 30});
    cmdOk->setDefault(true);
    connect(cmbBeforeAfter, &QComboBox::editTextChanged, this, [this] { cmbBeforeAfter_Change(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmCopyPaste::Form_Load(int steps, const QString& tempCaption)
{
    steps_ = steps;
    CopyFromStep = 0;
    fillSteps(cmbCopyfrom, steps);
    fillSteps(cmbCopyto, steps);
    fillSteps(cmbPasteto, steps);
    snapBack(cmbBeforeAfter);
    lblTemp->setText(temperatureLabel(tempCaption));
    txtNewTemperature->clear();
    txtNewPressure->clear();
}

void frmCopyPaste::cmbBeforeAfter_Change()
{
    if (cmbBeforeAfter->currentText() == cmbBeforeAfter->itemText(cmbBeforeAfter->currentIndex())) return;
    snapBack(cmbBeforeAfter);
}

void frmCopyPaste::cmdOk_Click()
{
    const auto checked =
        setup::dialogs::checkCopy(cmbCopyfrom->currentText(), cmbCopyto->currentText(), cmbPasteto->currentText(),
                                  txtNewTemperature->text(), txtNewPressure->text(), steps_);
    if (const auto* r = std::get_if<setup::Refusal>(&checked)) {
        refuse(*r);
        return;
    }
    const auto& v = std::get<setup::dialogs::CopyValues>(checked);
    CopyFromStep = v.from;
    CopyToStep = v.to;
    PasteToStep = v.pasteTo;
    PastePosition = cmbBeforeAfter->currentIndex() == 1 ? 1 : 0;
    NewPressure = v.newPressure;
    NewTemperature = v.newTemp;
    hide();
}

void frmCopyPaste::cmdCancel_Click()
{
    CopyFromStep = 0;
    hide();
}

void frmCopyPaste::reject()
{
    CopyFromStep = 0;
    QDialog::reject();
}
