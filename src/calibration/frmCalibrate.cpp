#include "calibration/frmCalibrate.h"
#include "platform/DatabaseLock.h"

#include "calibration/CalibrationReports.h"
#include "platform/ControlName.h"
#include "platform/Graph.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "records/CalibrationFiles.h"
#include "records/SettingsFile.h"
#include "records/UnitLink.h"
#include "records/format.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <string_view>
#include <utility>

using calibration::factorText;
using calibration::labelValue;
using calibration::readingText;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Prompts;
using platform::tell;

namespace {

const QString SelectUnitFirst = QStringLiteral("Select unit # first");
const QString NoResponse = QStringLiteral(
    " No response, please check that the machine is powered on and that the connection is secure.");
const QString CommunicationProblem = QStringLiteral(
    "There is a problem communicating with this unit, please check the serial/USB connection and try again.");
const QString CreateObjectError = QStringLiteral(" CreateObject Error");
const QString SaveBeforeProceeding = QStringLiteral("Do you want to save calibration data before proceeding?");
const QString SaveBeforeTabChange = QStringLiteral("Do you want save calibration data before proceeding?");
// Two equal readings make no line: the height tab's are those of two spacers, the pressure tab's those of
// 0 and 1000 psi.
const QString EqualReadings = QStringLiteral(
    "The two readings are equal, so no calibration line can be fitted through them. Check the spacer "
    "and click the step button again.");
const QString EqualPressureReadings = QStringLiteral(
    "The two readings are equal, so no calibration line can be fitted through them. Check the pressure "
    "and click the step button again.");
const QString NotRising = QStringLiteral(
    "The reading must be at least 1.0 V above the one of the spacer before. Check the spacers' order and "
    "click the step button again.");
const QString DataNotGood = QStringLiteral("data not good, do you want to try again");
const QString DataNotGoodCapital = QStringLiteral("Data not good, do you want to try again");

QLabel* label(QWidget* parent, const QString& name, const QString& text = {})
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QSizePolicy p = l->sizePolicy();
    p.setRetainSizeWhenHidden(true);   // rows keep their places while parts of them are hidden
    l->setSizePolicy(p);
    return l;
}

// The graph of a cell's calibration points and fitted line.
platform::Graph* cellGraph(QWidget* parent, const QString& name, const QString& xCaption, const QString& yCaption)
{
    auto* graph = new platform::Graph(parent);
    graph->setObjectName(name);
    graph->SetXAxisCaption(xCaption);
    graph->SetYAxisCaption(yCaption);
    graph->setMinimumHeight(220);
    return graph;
}

// A value label: framed, like the readings it shows.
QLabel* valueLabel(QWidget* parent, const QString& name)
{
    QLabel* l = label(parent, name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(80);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, const QString& tip = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    if (!tip.isEmpty()) b->setToolTip(tip);
    QSizePolicy p = b->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    b->setSizePolicy(p);
    return b;
}

QString failureText(const FileFailure& f) { return f.description + QStringLiteral("  ") + QString::number(f.number); }

bool shown(const QWidget* w) { return !w->isHidden(); }

} // namespace

frmCalibrate::frmCalibrate(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCalibrate"));
    setWindowTitle(QStringLiteral("Veduvovir Calibrate"));
    MSComm1 = platform::makeSerialPort();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &frmCalibrate::Timer1_Timer);
    InputTimer = new QTimer(this);
    InputTimer->setObjectName(QStringLiteral("InputTimer"));
    connect(InputTimer, &QTimer::timeout, this, &frmCalibrate::takeInput);
    InputTimer->start(1000);
    buildControls();
    Form_Load();
}

frmCalibrate::~frmCalibrate()
{
    if (MSComm1 && MSComm1->isOpen()) MSComm1->close();
}

// ---------------------------------------------------------------------------------------------------
// Controls

void frmCalibrate::buildControls()
{
    auto* top = new QVBoxLayout(this);
    TabStrip1 = new QTabBar(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->addTab(QStringLiteral("Height Calibrate"));
    TabStrip1->setTabData(0, QStringLiteral("height"));
    TabStrip1->addTab(QStringLiteral("Pressure Calibrate"));
    TabStrip1->setTabData(1, QStringLiteral("press"));
    top->addWidget(TabStrip1);
    connect(TabStrip1, &QTabBar::currentChanged, this, [this] { TabStrip1_Click(); });

    for (int t = 1; t <= 2; ++t) {
        auto* frame = new QFrame(this);
        frame->setObjectName(platform::controlName("Frame1", t));
        frame->setFrameShape(QFrame::StyledPanel);
        Frame1[t] = frame;
        auto* box = new QVBoxLayout(frame);
        auto* cells = new QHBoxLayout;
        for (int c = 1; c <= 2; ++c) cells->addWidget(t == 1 ? buildHeightCell(c) : buildPressureCell(c), 1);
        box->addLayout(cells, 1);
        box->addWidget(buildTabFooter(t));
        top->addWidget(frame, 1);
    }
    resize(1000, 700);
}

QWidget* frmCalibrate::buildHeightCell(int c)
{
    auto* g = new QGroupBox(c == 1 ? QStringLiteral("CELL A") : QStringLiteral("CELL B"), Frame1[1]);
    g->setObjectName(platform::controlName("fraHeightCell", c));
    fraHeightCell[c] = g;
    auto* grid = new QGridLayout(g);

    Label25[c] = label(g, platform::controlName("Label25", c), QStringLiteral("STEP 1:"));
    grid->addWidget(Label25[c], 0, 0);
    cmd04[c] = button(g, platform::controlName("cmd04", c), QStringLiteral("Insert spacer #1 && click here"));
    cmd065[c] = button(g, platform::controlName("cmd065", c), QStringLiteral("Insert spacer #2 && click here"));
    cmd09[c] = button(g, platform::controlName("cmd09", c), QStringLiteral("Insert spacer #3 && click here"));
    // The three step buttons lie on top of each other; one at a time is visible.
    for (QPushButton* b : {cmd04[c], cmd065[c], cmd09[c]}) grid->addWidget(b, 0, 1, 1, 3);
    connect(cmd04[c], &QPushButton::clicked, this, [this, c] { cmd04_Click(c); });
    connect(cmd065[c], &QPushButton::clicked, this, [this, c] { cmd065_Click(c); });
    connect(cmd09[c], &QPushButton::clicked, this, [this, c] { cmd09_Click(c); });

    grid->addWidget(label(g, platform::controlName("lblHeadData", c), QStringLiteral("Data (in.)")), 1, 1);
    grid->addWidget(label(g, platform::controlName("lblHeadVolt", c), QStringLiteral("Volt")), 1, 2);
    grid->addWidget(label(g, platform::controlName("lblHeadFactor", c), QStringLiteral("Factor")), 1, 3);

    grid->addWidget(label(g, platform::controlName("lblSpacer1", c), QStringLiteral("#1 Spacer")), 2, 0);
    Label12[c] = label(g, platform::controlName("Label12", c), QStringLiteral("#2 Spacer"));
    Label13[c] = label(g, platform::controlName("Label13", c), QStringLiteral("#3 Spacer"));
    grid->addWidget(Label12[c], 3, 0);
    grid->addWidget(Label13[c], 4, 0);

    lbldata1[c] = valueLabel(g, platform::controlName("lbldata1", c));
    lbldata2[c] = valueLabel(g, platform::controlName("lbldata2", c));
    lbldata3[c] = valueLabel(g, platform::controlName("lbldata3", c));
    lblvolt1[c] = valueLabel(g, platform::controlName("lblvolt1", c));
    lblvolt2[c] = valueLabel(g, platform::controlName("lblvolt2", c));
    lblvolt3[c] = valueLabel(g, platform::controlName("lblvolt3", c));
    lblconst1[c] = valueLabel(g, platform::controlName("lblconst1", c));
    lblconst2[c] = valueLabel(g, platform::controlName("lblconst2", c));
    lblconst3[c] = valueLabel(g, platform::controlName("lblconst3", c));
    lblconst4[c] = valueLabel(g, platform::controlName("lblconst4", c));
    const std::array<QLabel*, 3> data{lbldata1[c], lbldata2[c], lbldata3[c]};
    const std::array<QLabel*, 3> volts{lblvolt1[c], lblvolt2[c], lblvolt3[c]};
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(data[std::size_t(r)], 2 + r, 1);
        grid->addWidget(volts[std::size_t(r)], 2 + r, 2);
    }
    grid->addWidget(lblconst1[c], 2, 3);
    grid->addWidget(lblconst2[c], 3, 3);
    grid->addWidget(lblconst3[c], 4, 3);
    grid->addWidget(lblconst4[c], 5, 3);

    CWGraph1[c] = cellGraph(g, platform::controlName("CWGraph1", c), QStringLiteral("Volt"), QStringLiteral("Data"));
    CWGraph1[c]->setToolTip(QStringLiteral("Displays calibration data when all steps are complete"));
    grid->addWidget(CWGraph1[c], 6, 0, 1, 4);
    grid->setRowStretch(6, 1);
    return g;
}

QWidget* frmCalibrate::buildPressureCell(int c)
{
    auto* g = new QGroupBox(c == 1 ? QStringLiteral("CELL A") : QStringLiteral("CELL B"), Frame1[2]);
    g->setObjectName(platform::controlName("fraPressCell", c));
    fraPressCell[c] = g;
    auto* grid = new QGridLayout(g);

    Label26[c] = label(g, platform::controlName("Label26", c), QStringLiteral("STEP 1"));
    grid->addWidget(Label26[c], 0, 0);
    Command6[c] = button(g, platform::controlName("Command6", c), QStringLiteral("Release pressure and click here"));
    Command7[c] = button(g, platform::controlName("Command7", c), QStringLiteral("Set pressure = 1000 psi and click here"));
    grid->addWidget(Command6[c], 0, 1, 1, 2);
    grid->addWidget(Command7[c], 0, 1, 1, 2);
    connect(Command6[c], &QPushButton::clicked, this, [this, c] { Command6_Click(c); });
    connect(Command7[c], &QPushButton::clicked, this, [this, c] { Command7_Click(c); });

    grid->addWidget(label(g, platform::controlName("lblHeadPressVolt", c), QStringLiteral("Volt")), 1, 1);
    grid->addWidget(label(g, platform::controlName("lblHeadPressFactor", c), QStringLiteral("Factor")), 1, 2);
    Label20[c] = label(g, platform::controlName("Label20", c), QStringLiteral("0 psi"));
    Label2[c] = label(g, platform::controlName("Label2", c), QStringLiteral("1000 psi"));
    grid->addWidget(Label20[c], 2, 0);
    grid->addWidget(Label2[c], 3, 0);
    lbldata4[c] = valueLabel(g, platform::controlName("lbldata4", c));
    lbldata5[c] = valueLabel(g, platform::controlName("lbldata5", c));
    lblSlope[c] = valueLabel(g, platform::controlName("lblSlope", c));
    lblIntercept[c] = valueLabel(g, platform::controlName("lblIntercept", c));
    // Rows as the report pairs them: the 0 psi reading with the slope, the 1000 psi one with the intercept.
    grid->addWidget(lbldata4[c], 2, 1);
    grid->addWidget(lblSlope[c], 2, 2);
    grid->addWidget(lbldata5[c], 3, 1);
    grid->addWidget(lblIntercept[c], 3, 2);

    CWGraph2[c] = cellGraph(g, platform::controlName("CWGraph2", c), QStringLiteral("DATA"), QStringLiteral("Volt"));
    grid->addWidget(CWGraph2[c], 4, 0, 1, 3);
    grid->setRowStretch(4, 1);
    return g;
}

QWidget* frmCalibrate::buildTabFooter(int t)
{
    auto* w = new QWidget(Frame1[t]);
    auto* row = new QHBoxLayout(w);
    Label1[t] = label(w, platform::controlName("Label1", t), QStringLiteral("Select unit to calibrate"));
    row->addWidget(Label1[t]);
    auto* combo = new QComboBox(w);
    combo->setObjectName(platform::controlName("Combo1", t));
    combo->setToolTip(QStringLiteral("Use the drop-down menu to choose which Torvan unit you wish to calibrate"));
    Combo1[t] = combo;
    row->addWidget(combo);
    connect(combo, &QComboBox::activated, this, [this, t] { Combo1_Click(t); });
    row->addStretch(1);
    if (t == 1) {
        cmdSaveH = button(w, QStringLiteral("cmdSaveH"), QStringLiteral("SAVE"),
                          QStringLiteral("Click here to save calibration data for this test session"));
        cmdExportH = button(w, QStringLiteral("cmdExportH"), QStringLiteral("Calibration Report"),
                            QStringLiteral("Click here to export calibration data for this test session in .CSV format"));
        cmdzero = button(w, QStringLiteral("cmdzero"), QStringLiteral("Factory Calibration"),
                         QStringLiteral("For Halden Instrument technical personnel only - "));
        for (QPushButton* b : {cmdSaveH, cmdExportH, cmdzero}) row->addWidget(b);
        connect(cmdSaveH, &QPushButton::clicked, this, &frmCalibrate::cmdSaveH_Click);
        connect(cmdExportH, &QPushButton::clicked, this, &frmCalibrate::cmdExportH_Click);
        connect(cmdzero, &QPushButton::clicked, this, &frmCalibrate::cmdzero_Click);
    } else {
        cmdSaveP = button(w, QStringLiteral("cmdSaveP"), QStringLiteral("SAVE"));
        cmdExport = button(w, QStringLiteral("cmdExport"), QStringLiteral("Export Excel"));
        cmdZero1 = button(w, QStringLiteral("cmdZero1"), QStringLiteral("Factory Calibration"));
        for (QPushButton* b : {cmdSaveP, cmdExport, cmdZero1}) row->addWidget(b);
        connect(cmdSaveP, &QPushButton::clicked, this, &frmCalibrate::cmdSaveP_Click);
        connect(cmdExport, &QPushButton::clicked, this, &frmCalibrate::cmdExport_Click);
    }
    cmdReturn[t] = button(w, platform::controlName("cmdReturn", t), t == 1 ? QStringLiteral("Return") : QStringLiteral("Retrun"),
                          QStringLiteral("Click here to return to the Veduvovir main screen"));
    row->addWidget(cmdReturn[t]);
    connect(cmdReturn[t], &QPushButton::clicked, this, [this, t] { cmdReturn_Click(t); });
    return w;
}

// ---------------------------------------------------------------------------------------------------
// Loading, unit choice, tabs, closing

void frmCalibrate::Form_Load()
{
    Frame1[1]->show();
    Frame1[2]->hide();
    CurrentTab = 1;
    ticks_.reset();
    for (int c = 1; c <= 2; ++c) {
        QComboBox* combo = Combo1[c];
        combo->clear();
        for (int n = 1; n <= 8; ++n) combo->addItem(QStringLiteral("UNIT ") + QString::number(n));
        combo->setCurrentIndex(-1);
        for (QWidget* w : std::initializer_list<QWidget*>{lbldata2[c], lbldata3[c], lblvolt2[c], lblvolt3[c],
                                                          lbldata5[c], lblconst1[c], lblconst2[c], lblconst3[c],
                                                          lblconst4[c], lblSlope[c], lblIntercept[c], Label12[c],
                                                          Label13[c], Label2[c], cmd065[c], cmd09[c], Command7[c]})
            w->hide();
        lbldata1[c]->setText(readingText(calibration::SpacerInches[0]));
        lbldata2[c]->setText(readingText(calibration::SpacerInches[1]));
        lbldata3[c]->setText(readingText(calibration::SpacerInches[2]));
        Label26[c]->setText(QStringLiteral("STEP 1"));
    }
    cmdSaveH->setEnabled(false);
    cmdSaveP->setEnabled(false);
    HeightSaved = false;
    PressureSaved = false;
}

void frmCalibrate::Combo1_Click(int t)
{
    if (t != 1 && t != 2) return;
    chooseUnit(t, true);
}

void frmCalibrate::chooseUnit(int t, bool ask)
{
    QComboBox* combo = Combo1[t];
    const int position = combo->currentIndex();
    if (position < 0) return;

    if (ask) {
        bool unsaved = false;
        for (int c = 1; c <= 2; ++c) {
            if (t == 1)
                unsaved = unsaved
                          || (!lblconst1[c]->text().isEmpty() && !lblconst2[c]->text().isEmpty()
                              && !lblconst3[c]->text().isEmpty() && !lblconst4[c]->text().isEmpty());
            else
                unsaved = unsaved || (!lblIntercept[c]->text().isEmpty() && !lblSlope[c]->text().isEmpty());
        }
        const bool saved = t == 1 ? HeightSaved : PressureSaved;
        if (!saved && unsaved
            && Prompts::current().ask(SaveBeforeProceeding, Buttons::YesNo) == Answer::Yes) {
            combo->setCurrentIndex(CalUnit - 1);   // back to the unit in hand; its results stay for SAVE
            (t == 1 ? cmdSaveH : cmdSaveP)->setEnabled(true);
            return;
        }
    }

    const SettingsFile::ReadResult settings = SettingsFile::read(position + 1);
    if (!settings.ok()) {
        // Nothing was changed yet: the unit in hand is chosen again, so the list, the open port, the fits
        // on screen and SAVE all still belong to one unit.
        combo->setCurrentIndex(CalUnit - 1);
        if (settings.failure->number == FileFailure::fileNotFound().number)
            Prompts::current().message(settings.failure->boxText(), settings.failure->description, Icon::Warning);
        else
            Prompts::current().message(CommunicationProblem, CreateObjectError, Icon::Warning);
        return;
    }
    const int port = settings.values.back();

    if (MSComm1->isOpen()) MSComm1->close();
    resetTab(t);
    cmdSaveH->setEnabled(false);
    cmdSaveP->setEnabled(false);

    if (port < 1 || !MSComm1->open(port, QStringLiteral("19200,n,8,1"))) {
        Prompts::current().message(CommunicationProblem, CreateObjectError, Icon::Warning);
        return;
    }
    CalUnit = position + 1;
    PressureSaved = false;
    HeightSaved = false;
}

void frmCalibrate::resetTab(int t)
{
    ++generation_[std::size_t(t)];
    for (int c = 1; c <= 2; ++c) {
        // A step clicked before the reset finishes nowhere: its reading would belong to the old unit.
        for (int step = t == 1 ? 1 : 4; step <= (t == 1 ? 3 : 5); ++step) ticks_.stop(step, c);
        if (t == 1) {
            cmd04[c]->show();
            for (QWidget* w : std::initializer_list<QWidget*>{cmd065[c], cmd09[c], lbldata2[c], lbldata3[c], lblvolt2[c],
                                                              lblvolt3[c], lblconst1[c], lblconst2[c], lblconst3[c],
                                                              lblconst4[c], Label12[c], Label13[c]})
                w->hide();
            Label25[c]->setText(QStringLiteral("STEP 1"));
            for (QLabel* l : {lblconst1[c], lblconst2[c], lblconst3[c], lblconst4[c], lblvolt1[c], lblvolt2[c],
                              lblvolt3[c]})
                l->clear();
            CWGraph1[c]->ClearData();
        } else {
            Command6[c]->show();
            for (QWidget* w : std::initializer_list<QWidget*>{Command7[c], lbldata5[c], lblSlope[c], lblIntercept[c],
                                                              Label2[c]})
                w->hide();
            Label26[c]->setText(QStringLiteral("Step 1"));
            for (QLabel* l : {lblSlope[c], lblIntercept[c], lbldata4[c], lbldata5[c]}) l->clear();
            CWGraph2[c]->ClearData();
        }
    }
}

void frmCalibrate::TabStrip1_Click()
{
    const int n = TabStrip1->currentIndex() + 1;
    if (n == CurrentTab || (n != 1 && n != 2)) return;

    auto both = [](const std::array<QLabel*, 3>& a, const std::array<QLabel*, 3>& b) {
        for (int c = 1; c <= 2; ++c)
            if (!a[c]->text().isEmpty() && !b[c]->text().isEmpty()) return true;
        return false;
    };
    const bool unsavedHeight = !HeightSaved && n == 2 && both(lblconst1, lblconst2);
    const bool unsavedPressure = !PressureSaved && n == 1 && both(lblIntercept, lblSlope);
    if ((unsavedHeight || unsavedPressure)
        && Prompts::current().ask(SaveBeforeTabChange, Buttons::YesNo) == Answer::Yes) {
        const QSignalBlocker block(TabStrip1);
        TabStrip1->setCurrentIndex(CurrentTab - 1);
        return;
    }

    cmdSaveH->setEnabled(false);
    cmdSaveP->setEnabled(false);
    HeightSaved = false;
    PressureSaved = false;
    Frame1[n]->show();
    Frame1[CurrentTab]->hide();
    CurrentTab = n;
    // Choosing the unit in hand on the new tab runs its unit choice, with the question about results that
    // were left unsaved there on an earlier visit: the tab starts reset, with its port opened again.
    Combo1[n]->setCurrentIndex(CalUnit - 1);
    if (CalUnit >= 1) chooseUnit(n, true);
}

void frmCalibrate::cmdzero_Click()
{
    if (Combo1[1]->currentIndex() < 0) {
        tell(SelectUnitFirst);
        return;
    }
    unitlink::UnitSerialLink link(*MSComm1);
    if (!MSComm1->isOpen()) {
        tell(failureText(calibration::portNotOpenFailure()));
    } else if (!link.FactoryZero()) {
        tell(failureText(FileFailure{FileFailure::deviceIoError().number, link.lastError()}));
    }
}

void frmCalibrate::cmdReturn_Click(int) { close(); }

void frmCalibrate::closeEvent(QCloseEvent* event)
{
    if (unloaded_ || Form_Unload()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool frmCalibrate::Form_Unload()
{
    bool unsaved = false;
    for (int c = 1; c <= 2; ++c) unsaved = unsaved || (shown(lblconst1[c]) && shown(lblconst2[c]));
    if (!HeightSaved && unsaved
        && Prompts::current().ask(QStringLiteral("Do you want save calibration data before returning to the "
                                                 "Veduvovir main screen? ")
                                      + QChar(13)
                                      + QStringLiteral("(You must save calibration data before a test can be run.)"),
                                  Buttons::YesNo)
               == Answer::Yes)
        return false;
    if (MSComm1->isOpen()) MSComm1->close();
    Timer1->stop();
    pending_.clear();
    unloaded_ = true;
    emit Unloaded();
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Steps

void frmCalibrate::startStepTimer()
{
    if (!Timer1->isActive()) Timer1->start(1000);
}

void frmCalibrate::showStepFailure(const FileFailure& f) { tell(failureText(f)); }

bool frmCalibrate::drainInput(int step, int c)
{
    if (!MSComm1->isOpen()) {
        ticks_.stop(step, c);
        showStepFailure(calibration::portNotOpenFailure());
        return false;
    }
    takeInput();
    return true;
}

void frmCalibrate::takeInput()
{
    if (!MSComm1->isOpen()) return;
    InputBuffer += MSComm1->readAll();
    const unitlink::TextCut cut =
        unitlink::unfinishedExcess(std::string_view(InputBuffer.constData(), std::size_t(InputBuffer.size())));
    InputBuffer.remove(qsizetype(cut.at), qsizetype(cut.count));
    // Whole records beyond the bound go too, oldest first: a step takes the newest reading of its cell.
    const auto cap = qsizetype(unitlink::ReceivedTextCap);
    if (InputBuffer.size() > cap)
        InputBuffer.remove(0, InputBuffer.indexOf(unitlink::linkchar::SUB, InputBuffer.size() - cap - 1) + 1);
}

QByteArray frmCalibrate::takeAllInput()
{
    takeInput();
    return std::exchange(InputBuffer, QByteArray());
}

void frmCalibrate::cmd04_Click(int c)
{
    if (Combo1[1]->currentIndex() < 0) {
        tell(SelectUnitFirst);
        return;
    }
    if (!drainInput(1, c)) return;
    if (InputBuffer.isEmpty()) {
        tell(NoResponse);
        return;
    }
    InputBuffer.clear();   // what arrived before the click belongs to no spacer
    ticks_.start(1, c);
    startStepTimer();
}

void frmCalibrate::cmd065_Click(int c)
{
    ticks_.start(2, c);
    if (drainInput(2, c)) InputBuffer.clear();
}

void frmCalibrate::cmd09_Click(int c)
{
    ticks_.start(3, c);
    if (drainInput(3, c)) InputBuffer.clear();
}

void frmCalibrate::Command6_Click(int c)
{
    if (Combo1[2]->currentIndex() < 0) {
        tell(SelectUnitFirst);
        return;
    }
    startStepTimer();
    ticks_.start(4, c);
    if (drainInput(4, c)) InputBuffer.clear();
}

void frmCalibrate::Command7_Click(int c)
{
    ticks_.start(5, c);
    if (drainInput(5, c)) InputBuffer.clear();
}

void frmCalibrate::Timer1_Timer()
{
    takeInput();
    const auto due = ticks_.tick();
    if (due.empty()) return;
    // The finishers of one tick share what was received: taken once, so that when both cells finish on the
    // same tick the second one finds its own records instead of an emptied buffer.
    tickText_.reset();
    if (MSComm1->isOpen()) tickText_ = takeAllInput();
    for (const auto& [step, cell] : due) {
        switch (step) {
        case 1: FinishHeightStep1(cell); break;
        case 2: FinishHeightStep2(cell); break;
        case 3: FinishHeightStep3(cell); break;
        case 4: FinishPressureStep1(cell); break;
        case 5: FinishPressureStep2(cell); break;
        default: break;
        }
    }
    tickText_.reset();
}

bool frmCalibrate::ParseCellReading(const QString& letter)
{
    const int tab = CurrentTab;
    if (!MSComm1->isOpen()) {
        afterTick(tab, [f = calibration::portNotOpenFailure()] { tell(failureText(f)); });
        return false;
    }
    const QByteArray received = tickText_ ? *tickText_ : takeAllInput();
    const calibration::CellReadingResult r =
        calibration::parseCellReading(received, letter == QLatin1String("B") ? 'B' : 'A', Reading);
    Reading = r.reading;
    if (r.failure) afterTick(tab, [f = *r.failure] { tell(failureText(f)); });
    return r.matched > 0;
}

bool frmCalibrate::takeReading(int tab, int c, const QString& question)
{
    if (!ParseCellReading(c == 1 ? QStringLiteral("A") : QStringLiteral("B"))) {
        // Nothing of this cell arrived since the click: an older reading (of the other cell or of the step
        // before) is never taken in its place. The step stays where it is.
        afterTick(tab, [] { tell(NoResponse); });
        return false;
    }
    if (!calibration::readingUsable(Reading)) {
        // No transducer gives this: the step stays whatever the answer.
        afterTick(tab, [question] { Prompts::current().ask(question, Buttons::RetryCancel); });
        return false;
    }
    return true;
}

void frmCalibrate::FinishHeightStep1(int c)
{
    if (!takeReading(1, c, DataNotGood)) return;
    lblvolt1[c]->setText(readingText(Reading));
    Label12[c]->show();
    lbldata2[c]->show();
    lblvolt2[c]->show();
    cmd04[c]->hide();
    cmd065[c]->show();
    Label25[c]->setText(QStringLiteral("Step 2"));
}

void frmCalibrate::FinishHeightStep2(int c)
{
    if (!takeReading(1, c, DataNotGood)) return;
    lblvolt2[c]->setText(readingText(Reading));
    if (calibration::readingRises(labelValue(lblvolt1[c]->text()), labelValue(lblvolt2[c]->text()))) {
        showHeightStep3(c);
        return;
    }
    afterTick(1, [this, c] {
        if (Prompts::current().ask(DataNotGood, Buttons::RetryCancel) == Answer::Retry) return;   // step 2
        // A reading that does not rise by a volt would give a line that reads lengths wrongly (spacers in
        // the wrong order read swelling as shrinking): the spacer is measured again in either case.
        tell(labelValue(lblvolt1[c]->text()) == labelValue(lblvolt2[c]->text()) ? EqualReadings : NotRising);
    });
}

void frmCalibrate::showHeightStep3(int c)
{
    cmd065[c]->hide();
    cmd09[c]->show();
    Label13[c]->show();
    lbldata3[c]->show();
    lblvolt3[c]->show();
    Label25[c]->setText(QStringLiteral("Step 3"));
}

void frmCalibrate::FinishHeightStep3(int c)
{
    if (!takeReading(1, c, DataNotGoodCapital)) return;
    lblvolt3[c]->setText(readingText(Reading));
    if (calibration::readingRises(labelValue(lblvolt2[c]->text()), labelValue(lblvolt3[c]->text()))) {
        fitHeight(c);
        return;
    }
    afterTick(1, [this, c] {
        if (Prompts::current().ask(DataNotGoodCapital, Buttons::RetryCancel) == Answer::Retry) return;   // step 3
        tell(labelValue(lblvolt2[c]->text()) == labelValue(lblvolt3[c]->text()) ? EqualReadings : NotRising);
    });
}

void frmCalibrate::fitHeight(int c)
{
    const double x1 = labelValue(lblvolt1[c]->text());
    const double x2 = labelValue(lblvolt2[c]->text());
    const double x3 = labelValue(lblvolt3[c]->text());
    const auto& s = calibration::SpacerInches;
    const auto lower = calibration::fitLine({x1, x2}, {s[0], s[1]});
    const auto upper = calibration::fitLine({x2, x3}, {s[1], s[2]});
    if (!lower || !upper) {
        // No line through two equal readings: the cell stays at this step and nothing can be saved for it.
        afterTick(1, [] { tell(EqualReadings); });
        return;
    }
    CWGraph1[c]->ClearData();
    CWGraph1[c]->PlotXvsY({x1, x2, x3}, {s[0], s[1], s[2]});
    for (QLabel* l : {lblconst1[c], lblconst2[c], lblconst3[c], lblconst4[c]}) l->show();
    CalIntercept1[c] = lower->intercept;
    CalSlope1[c] = lower->slope;
    lblconst1[c]->setText(factorText(lower->intercept));
    lblconst2[c]->setText(factorText(lower->slope));
    CalIntercept2[c] = upper->intercept;
    CalSlope2[c] = upper->slope;
    lblconst3[c]->setText(factorText(upper->intercept));
    lblconst4[c]->setText(factorText(upper->slope));
    cmdSaveH->setEnabled(true);
    HeightSaved = false;
    cmd09[c]->hide();
}

void frmCalibrate::FinishPressureStep1(int c)
{
    if (!takeReading(2, c, DataNotGood)) return;
    lbldata4[c]->setText(readingText(Reading));
    Command6[c]->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{Command7[c], lbldata5[c], lblSlope[c], lblIntercept[c], Label2[c]})
        w->show();
    Label26[c]->setText(QStringLiteral("Step 2"));
}

void frmCalibrate::FinishPressureStep2(int c)
{
    if (!takeReading(2, c, DataNotGood)) return;
    if (labelValue(readingText(Reading)) == labelValue(lbldata4[c]->text())) {
        // The same volts at 0 and 1000 psi: the transducer did not see the pressure (slope 0 converts
        // nothing). The step stays, its old factors too.
        afterTick(2, [] { tell(EqualPressureReadings); });
        return;
    }
    lbldata5[c]->setText(readingText(Reading));
    const std::vector<double> x{calibration::PressureLowPsi, calibration::PressureHighPsi};
    const std::vector<double> y{labelValue(lbldata4[c]->text()), labelValue(lbldata5[c]->text())};
    const auto fit = calibration::fitLine(x, y);   // the two pressures differ, so there is always a line
    if (!fit) return;
    lblIntercept[c]->setText(readingText(fit->intercept));
    lblSlope[c]->setText(readingText(fit->slope));
    CWGraph2[c]->ClearData();
    CWGraph2[c]->PlotXvsY(x, y);
    cmdSaveP->setEnabled(true);
    PressureSaved = false;
}

void frmCalibrate::afterTick(int t, std::function<void()> f)
{
    pending_.push_back({t, generation_[std::size_t(t)], std::move(f)});
    if (pendingScheduled_ || runningPending_) return;
    pendingScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        pendingScheduled_ = false;
        runAfterTick();
    });
}

void frmCalibrate::runAfterTick()
{
    if (runningPending_) return;
    runningPending_ = true;
    while (!pending_.empty()) {
        Pending p = std::move(pending_.front());
        pending_.pop_front();
        if (p.generation == generation_[std::size_t(p.tab)]) p.run();
    }
    runningPending_ = false;
}

// ---------------------------------------------------------------------------------------------------
// Saves and reports

void frmCalibrate::cmdSaveH_Click()
{
    std::array<std::optional<CalibrationFile::HeightFit>, 3> fits;
    for (int c = 1; c <= 2; ++c) {
        if (!shown(lblconst4[c])) continue;
        fits[std::size_t(c)] = CalibrationFile::HeightFit{lblvolt1[c]->text(), lblvolt2[c]->text(),
                                                          lblvolt3[c]->text(),  CalIntercept1[c],
                                                          CalSlope1[c],         CalIntercept2[c],
                                                          CalSlope2[c]};
    }
    const int unit = CalibrationFile::unitFromChoice(Combo1[1]->currentText());
    if (const auto failure = CalibrationFile::saveHeight(unit, fits[1], fits[2])) {
        HeightSaved = false;
        Prompts::current().message(failure->boxText(), WorkFiles::FormLoadErrorTitle, Icon::Warning);
        return;
    }
    HeightSaved = true;
    cmdSaveH->setEnabled(false);
}

void frmCalibrate::cmdSaveP_Click()
{
    auto texts = [this](int c) {
        return PressureCalibrationFile::CellTexts{lbldata4[c]->text(), lbldata5[c]->text(), lblIntercept[c]->text(),
                                                  lblSlope[c]->text()};
    };
    const int unit = CalibrationFile::unitFromChoice(Combo1[2]->currentText());
    if (const auto failure = PressureCalibrationFile::save(unit, texts(1), texts(2))) {
        PressureSaved = false;
        Prompts::current().message(failure->boxText(), WorkFiles::FormLoadErrorTitle, Icon::Warning);
        return;
    }
    PressureSaved = true;
    cmdSaveP->setEnabled(false);
}

namespace {
// Asks for the report file and writes the lines; every failure, a cancelled dialog included, is shown.
void saveReport(const std::function<QStringList()>& lines)
{
    const QString path = Prompts::current().saveFileName(calibration::ReportDialogTitle, calibration::ReportFilter,
                                                         {}, calibration::ReportFilterSelected);
    if (path.isEmpty()) {
        tell(calibration::ReportCancelled);
        return;
    }
    const auto failure = calibration::writeReport(path, lines());
    platform::keepDatabaseLock();
    if (failure) tell(failure->description);
}
} // namespace

void frmCalibrate::cmdExportH_Click()
{
    saveReport([this] {
        auto cell = [this](int c) {
            calibration::HeightReportCell r;
            r.fitted = shown(lblconst2[c]);
            r.spacers = {lbldata1[c]->text(), lbldata2[c]->text(), lbldata3[c]->text()};
            r.volts = {lblvolt1[c]->text(), lblvolt2[c]->text(), lblvolt3[c]->text()};
            r.intercept = lblconst1[c]->text();
            r.slope = lblconst2[c]->text();
            return r;
        };
        return calibration::heightReportLines(QDateTime::currentDateTime(),
                                              CalibrationFile::unitFromChoice(Combo1[1]->currentText()), cell(1),
                                              cell(2));
    });
}

void frmCalibrate::cmdExport_Click()
{
    saveReport([this] {
        auto cell = [this](int c) {
            return calibration::PressureReportCell{lbldata4[c]->text(), lbldata5[c]->text(), lblIntercept[c]->text(),
                                                   lblSlope[c]->text()};
        };
        return calibration::pressureReportLines(QDateTime::currentDateTime(), CalUnit, cell(1), cell(2));
    });
}
