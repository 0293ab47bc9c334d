#include "realtime/frmSimpleTest.h"

#include "platform/Chart.h"
#include "platform/Clock.h"
#include "platform/ControlLayout.h"
#include "platform/ControlName.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/ActiveTests.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QTimer>

#include <limits>

using realtime::CellLabel;
using realtime::CellControl;

namespace {

const char* const kStyle = R"(
frmSimpleTest { background: #e9edf1; }
QGroupBox[cellFrame="true"] {
    background: #f7f9fb; border: 1px solid #9aa8b5; border-radius: 6px; margin-top: 10px;
    font: bold 11pt "DejaVu Sans";
}
QGroupBox[cellFrame="true"]::title {
    subcontrol-origin: margin; left: 12px; padding: 0 6px; color: #1d3b53;
}
QLabel[role="caption"] { color: #3c4a57; font: 8pt "DejaVu Sans"; }
QLabel[role="unit"] { color: #3c4a57; font: 9pt "DejaVu Sans"; }
QLabel[role="reading"] {
    background: #0e2431; color: #e6f6ff; border: 1px solid #31505f; border-radius: 3px;
    font: bold 15pt "DejaVu Sans Mono"; padding: 0 6px;
}
QLabel[role="reading"][small="true"] { font: bold 12pt "DejaVu Sans Mono"; }
QLabel[role="reading"][swell="true"] { color: #ffe066; }
QLabel[role="name"] {
    background: #ffffff; color: #10202c; border: 1px solid #9aa8b5; border-radius: 3px;
    font: bold 10pt "DejaVu Sans"; padding: 0 6px;
}
QLabel[role="name"][small="true"] { font: bold 8pt "DejaVu Sans"; padding: 0 3px; }
QLabel[role="status"] {
    border: 1px solid #7b8794; border-radius: 4px; font: bold 11pt "DejaVu Sans";
    background: #d5dbe1; color: #2b3642;
}
QLabel[role="status"][state="running"] { background: #2e9d4f; color: white; border-color: #1f6e37; }
QLabel[role="status"][state="preheat"] { background: #f0a030; color: #2b1a00; border-color: #b06d0d; }
QLabel[role="status"][state="ready"] { background: #ffd23f; color: #2b1a00; border-color: #b08d0d; }
QLabel[role="status"][state="stopped"] { background: #c9473d; color: white; border-color: #8e2a22; }
QLabel[role="alarm"] {
    background: #d7261e; color: white; border-radius: 3px; font: bold 9pt "DejaVu Sans";
}
QLabel[role="unitNo"] {
    background: #ffffff; border: 1px solid #9aa8b5; border-radius: 4px; color: #1d3b53;
    font: bold 20pt "DejaVu Sans";
}
QLineEdit[role="entry"] { font: bold 12pt "DejaVu Sans Mono"; padding: 0 4px; }
QPushButton { font: bold 9pt "DejaVu Sans"; }
QPushButton[role="start"] { background: #2e9d4f; color: white; border: 1px solid #1f6e37; border-radius: 4px; }
QPushButton[role="start"][running="true"] { background: #c9473d; border-color: #8e2a22; }
QPushButton[role="start"]:disabled { background: #b9c2ca; color: #eef1f4; }
QCheckBox { font: 9pt "DejaVu Sans"; }
)";

// A small picture of a test cell: a cap head over a pressure vessel holding the sample wafer.
QPixmap cellPicture(const QColor& accent)
{
    QPixmap pm(80, 80);   // drawn at twice its size, shown as 40 x 40
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 55, 70), 2));
    p.setBrush(QColor(170, 182, 194));
    p.drawRoundedRect(QRectF(14, 8, 52, 12), 3, 3);       // cap head
    p.setBrush(QColor(120, 134, 148));
    p.drawRect(QRectF(36, 20, 8, 10));                     // stem of the transducer
    QLinearGradient body(18, 0, 62, 0);
    body.setColorAt(0, QColor(150, 162, 175));
    body.setColorAt(0.5, QColor(225, 232, 238));
    body.setColorAt(1, QColor(150, 162, 175));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(18, 30, 44, 42), 4, 4);       // vessel
    p.setBrush(accent);
    p.setPen(QPen(accent.darker(150), 1.5));
    p.drawRect(QRectF(26, 52, 28, 10));                    // wafer
    p.end();
    pm.setDevicePixelRatio(2);
    return pm;
}

} // namespace

// ------------------------------------------------------------------------------------------------- load

frmSimpleTest::frmSimpleTest(QWidget* parent)
    : frmSimpleTest(realtime::UnitPoll::Screen::Simple, DesignHeight, parent)
{
    for (int c = 1; c <= 2; ++c)
        controls_[std::size_t(c)] = std::make_unique<CellControl>(*poll_, *link_, *this, c);
    Form_Load();
}

frmSimpleTest::frmSimpleTest(realtime::UnitPoll::Screen kind, int designHeight, QWidget* parent)
    : QWidget(parent), kind_(kind), designHeight_(designHeight)
{
    setObjectName(QStringLiteral("frmSimpleTest"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_StyledBackground);
    MSComm1 = platform::makeSerialPort();
    link_ = std::make_unique<realtime::UnitSerialLink>(*MSComm1);
    poll_ = std::make_unique<realtime::UnitPoll>(*MSComm1, *this, 0, kind);
    buildControls();
    // The sequence screen's empty chart draws no placeholder point.
    liveChart_ = std::make_unique<realtime::LiveChart>(*Pesgo1, kind == realtime::UnitPoll::Screen::Simple);
}

frmSimpleTest::~frmSimpleTest()
{
    // The poll refers to the port; stop ticking before the members go.
    if (Timer1) Timer1->stop();
    // The cells' detail windows go with the screen; one the operator still has open goes when it is closed.
    for (const QPointer<QWidget>& w : details_) {
        if (!w) continue;
        if (w->isVisible()) w->setAttribute(Qt::WA_DeleteOnClose);
        else delete w.data();
    }
}

void frmSimpleTest::Form_Load()
{
    // Display settings of the pictures (kept at their size, centred in their place) and the window, then
    // the layout of the design.
    for (int c = 1; c <= 2; ++c) {
        Image1[std::size_t(c)]->setScaledContents(false);
        Image1[std::size_t(c)]->setAlignment(Qt::AlignCenter);
    }
    layout_ = std::make_unique<platform::ControlLayout>(this, false);
    layout_->save(QSizeF(DesignWidth, designHeight_));
    setMinimumSize(320, 240);

    // Fresh shared record objects bound to the shared connection.
    const clsConnection& connection = requireObject(Module1::DbConnection);
    Module1::TestResult = std::make_shared<clsTEST_RESULT>();
    Module1::TestResult->ConnectX(connection);
    Module1::TestInfo = std::make_shared<clsTEST_INFO>();
    Module1::TestInfo->ConnectX(connection);

    for (int c = 1; c <= 2; ++c) control(c).Reset();

    RefreshChart();
    setUnitCaptions();
}

void frmSimpleTest::setUnitCaptions()
{
    for (int i = 1; i <= 6; ++i) lblTempUnit[std::size_t(i)]->setText(Module1::TempUnitCaption);
    for (int i = 1; i <= 2; ++i) lblPressUnit[std::size_t(i)]->setText(Module1::PressUnitCaption);
    for (int i = 1; i <= 4; ++i) lblLengthUnit[std::size_t(i)]->setText(Module1::LengthUnitCaption);
}

void frmSimpleTest::setUnits(int unit)
{
    units_ = unit;
    poll_->setUnit(unit);
}

void frmSimpleTest::wait_for_milli_seconds(std::uint32_t ms) { platform::wait_for_milli_seconds(ms); }

// ------------------------------------------------------------------------------------------- controls

void frmSimpleTest::buildControls()
{
    setStyleSheet(QString::fromLatin1(kStyle));
    resize(DesignWidth, designHeight_);

    for (int c = 1; c <= 2; ++c) buildCell(c);

    Pesgo1 = new platform::Chart(this);
    Pesgo1->setObjectName(QStringLiteral("Pesgo1"));
    Pesgo1->setGeometry(6, 406, 856, designHeight_ - 412);

    auto* unitCaption = new QLabel(QStringLiteral("Unit No."), this);
    unitCaption->setObjectName(QStringLiteral("lblUnitCaption"));
    unitCaption->setProperty("role", QStringLiteral("caption"));
    unitCaption->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    unitCaption->setGeometry(868, 408, 111, 16);

    lblUnitNo = new QLabel(this);
    lblUnitNo->setObjectName(QStringLiteral("lblUnitNo"));
    lblUnitNo->setProperty("role", QStringLiteral("unitNo"));
    lblUnitNo->setAlignment(Qt::AlignCenter);
    lblUnitNo->setGeometry(868, 426, 111, 46);

    auto makeCheck = [this](const char* name, const QString& text, int y, bool checked) {
        auto* b = new QCheckBox(text, this);
        b->setObjectName(QLatin1String(name));
        b->setChecked(checked);
        b->setGeometry(872, y, 107, 24);
        return b;
    };
    chkSwell = makeCheck("chkSwell", QStringLiteral("Swell"), 490, true);
    chkPress = makeCheck("chkPress", QStringLiteral("Pressure"), 516, false);
    chkTemp = makeCheck("chkTemp", QStringLiteral("Temperature"), 542, true);
    connect(chkSwell, &QCheckBox::clicked, this, [this] { chkSwell_Click(); });
    connect(chkPress, &QCheckBox::clicked, this, [this] { chkPress_Click(); });
    connect(chkTemp, &QCheckBox::clicked, this, [this] { chkTemp_Click(); });

    cmdExit = new QPushButton(QStringLiteral("EXIT"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdExit->setToolTip(QStringLiteral("Click here to close the Real Time Test screen"));
    cmdExit->setGeometry(868, designHeight_ - 55, 111, 46);
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

void frmSimpleTest::buildCell(int c)
{
    const auto i = std::size_t(c);
    auto* frame = new QGroupBox(c == 1 ? QStringLiteral("CELL A") : QStringLiteral("CELL B"), this);
    frame->setObjectName(platform::controlName("fraCell", c));
    frame->setProperty("cellFrame", true);
    frame->setGeometry(c == 1 ? 6 : 495, 2, 484, 398);
    fraCell[i] = frame;

    auto label = [frame](const QString& name, const QString& text, const char* role, QRect g) {
        auto* l = new QLabel(text, frame);
        if (!name.isEmpty()) l->setObjectName(name);
        l->setProperty("role", QLatin1String(role));
        l->setGeometry(g);
        return l;
    };
    auto reading = [&](const char* name, QRect g) {
        QLabel* l = label(platform::controlName(name, c), QString(), "reading", g);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };

    Image1[i] = label(platform::controlName("Image1", c), QString(), "picture", QRect(12, 24, 40, 40));
    Image1[i]->setPixmap(cellPicture(c == 1 ? QColor(46, 157, 79) : QColor(150, 150, 30)));

    label(platform::controlName("lblCapTestname", c), QStringLiteral("Test Name"), "caption", QRect(62, 22, 240, 15));
    lblTestname[i] = label(platform::controlName("lblTestname", c), QString(), "name", QRect(62, 37, 240, 28));
    lblTestname[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblTestname[i]->setTextFormat(Qt::PlainText);   // a test name shows as typed, never as markup

    Label44[i + 2] = label(platform::controlName("Label44", c + 2), QString(), "status", QRect(312, 22, 160, 30));
    Label44[i + 2]->setAlignment(Qt::AlignCenter);
    Label44[i] = label(platform::controlName("Label44", c), QStringLiteral("No Response"), "alarm", QRect(312, 55, 160, 18));
    Label44[i]->setAlignment(Qt::AlignCenter);
    Label44[i]->setVisible(false);

    // Readings: two columns of five, caption above a large display, unit to the right.
    const int col[2] = {12, 246};
    const int valueWidth = 168;
    auto row = [](int k) { return 78 + 44 * k; };
    int t = 0, len = 0;
    auto place = [&](int column, int k, const QString& caption, const char* name, int unitKind) {
        const int x = col[column], y = row(k);
        label(QStringLiteral("lblCap%1(%2)").arg(QLatin1String(name)).arg(c), caption, "caption",
              QRect(x, y, valueWidth, 15));
        QLabel* v = reading(name, QRect(x, y + 15, valueWidth, 27));
        const QRect unitGeometry(x + valueWidth + 4, y + 19, column == 0 ? 54 : 56, 20);
        if (unitKind == 1) {
            const int n = (c - 1) * 3 + (++t);
            lblTempUnit[std::size_t(n)] = label(platform::controlName("lblTempUnit", n), QString(), "unit", unitGeometry);
        } else if (unitKind == 2) {
            lblPressUnit[i] = label(platform::controlName("lblPressUnit", c), QString(), "unit", unitGeometry);
        } else if (unitKind == 3) {
            const int n = (c - 1) * 2 + (++len);
            lblLengthUnit[std::size_t(n)] = label(platform::controlName("lblLengthUnit", n), QString(), "unit", unitGeometry);
        }
        return v;
    };
    lbltemp1[i] = place(0, 0, QStringLiteral("Current Temp"), "lbltemp1", 1);
    lblTemp2[i] = place(0, 1, QStringLiteral("Temp. Setting"), "lblTemp2", 1);
    lblTemp3[i] = place(0, 2, QStringLiteral("bath Temp."), "lblTemp3", 1);
    lblPress[i] = place(0, 3, QStringLiteral("Pressure"), "lblPress", 2);
    lblvolt[i] = place(0, 4, QStringLiteral("Voltage"), "lblvolt", 0);
    lblvolt[i]->setGeometry(col[0], row(4) + 15, 222, 27);   // no unit beside it: room for 15 digits
    lblen[i] = place(1, 0, QStringLiteral("Length "), "lblen", 3);
    lbldist[i] = place(1, 1, QStringLiteral("Length Change"), "lbldist", 3);
    lblswell[i] = place(1, 2, QStringLiteral("Swell"), "lblswell", 0);
    lblswell[i]->setProperty("swell", true);
    lblElapseTime[i] = place(1, 3, QStringLiteral("Elapsed Time"), "lblElapseTime", 0);
    lblstarttime[i] = place(1, 4, QStringLiteral("Start Time"), "lblstarttime", 0);
    lblstarttime[i]->setProperty("small", true);
    lblstarttime[i]->setGeometry(col[1], row(4) + 15, 226, 27);

    auto* rule = new QFrame(frame);
    rule->setObjectName(platform::controlName("linCell", c));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(12, 298, 460, 4);

    // Entries: caption above each box.
    auto entry = [&](const char* name, const QString& text, QRect g) {
        auto* e = new QLineEdit(text, frame);
        e->setObjectName(platform::controlName(name, c));
        e->setProperty("role", QStringLiteral("entry"));
        e->setAlignment(Qt::AlignRight);
        e->setGeometry(g);
        return e;
    };
    // The sequence screen has no maximum time; its row is narrower and leaves the right half to the
    // sequence's name and step.
    const bool simple = kind_ == realtime::UnitPoll::Screen::Simple;
    label(platform::controlName("lblCapTemps", c), QStringLiteral("Temp. Set"), "caption", QRect(12, 304, simple ? 84 : 68, 15));
    txtTemps[i] = entry("txtTemps", QString(), QRect(12, 319, simple ? 84 : 68, 28));
    const QRect intervalBox = simple ? QRect(176, 319, 84, 28) : QRect(140, 319, 66, 28);
    label(platform::controlName("lblCapInterval", c), QStringLiteral("Data Interval"), "caption",
          QRect(intervalBox.left(), 304, simple ? 120 : 78, 15));
    txtInterval[i] = entry("txtInterval", QStringLiteral("30"), intervalBox);
    if (simple) {
        label(platform::controlName("lblCapMaxTime", c), QStringLiteral("Max Time"), "caption", QRect(316, 304, 120, 15));
        txtMaxTime[i] = entry("txtMaxTime", QStringLiteral("30"), QRect(316, 319, 84, 28));
        label(platform::controlName("lblCapMaxTimeUnit", c), QStringLiteral("(Min)"), "unit", QRect(404, 323, 60, 20));
        connect(txtMaxTime[i], &QLineEdit::textChanged, this,
                [this, c](const QString& s) { poll_->cell(c).maxTimeText = s; });
        poll_->cell(c).maxTimeText = txtMaxTime[i]->text();
    }

    connect(txtTemps[i], &QLineEdit::textChanged, this,
            [this, c](const QString& s) { poll_->cell(c).setPointText = s; });
    connect(txtInterval[i], &QLineEdit::textChanged, this, [this, c] { txtInterval_Change(c); });

    auto button = [&](const char* name, const QString& text, const QString& tip, QRect g) {
        auto* b = new QPushButton(text, frame);
        b->setObjectName(platform::controlName(name, c));
        b->setToolTip(tip);
        b->setGeometry(g);
        return b;
    };
    const QString tipSet = QStringLiteral("Click here to set a desired temperature value");
    const QString tipStart = QStringLiteral("Click here to start running a test after zeroing the cell");
    cmdTempSet[i] = button("cmdTempSet", QStringLiteral("SET"), tipSet,
                           simple ? QRect(100, 318, 60, 30) : QRect(84, 318, 48, 30));
    cmdzero[i] = button("cmdzero", QStringLiteral("ZERO"), QStringLiteral(
        "Insert wafer into wafer holder and screw wafer holder into cap head, then click here before mounting "
        "sample cup."), QRect(12, 356, 88, 32));
    cmdInfo[i] = button("cmdInfo", QStringLiteral("Enter Info"), tipStart, QRect(104, 356, 88, 32));
    cmdPreHeat[i] = button("cmdPreHeat", QStringLiteral("Preheat"), tipSet, QRect(196, 356, 88, 32));
    cmdStart[i] = button("cmdStart", QStringLiteral("START"), tipStart, QRect(288, 356, 88, 32));
    cmdStart[i]->setProperty("role", QStringLiteral("start"));
    cmdDetail[i] = button("cmdDetail", QStringLiteral("DETAIL"), QStringLiteral("Click here to display test data"),
                          QRect(380, 356, 92, 32));

    connect(cmdzero[i], &QPushButton::clicked, this, [this, c] { cmdzero_Click(c); });
    connect(cmdInfo[i], &QPushButton::clicked, this, [this, c] { cmdInfo_Click(c); });
    connect(cmdPreHeat[i], &QPushButton::clicked, this, [this, c] { cmdPreHeat_Click(c); });
    connect(cmdTempSet[i], &QPushButton::clicked, this, [this, c] { cmdTempSet_Click(c); });
    connect(cmdStart[i], &QPushButton::clicked, this, [this, c] { cmdStart_Click(c); });
    connect(cmdDetail[i], &QPushButton::clicked, this, [this, c] { cmdDetail_Click(c); });
}

// ------------------------------------------------------------------------------------------- handlers

void frmSimpleTest::cmdzero_Click(int index) { control(index).cmdzero_Click(); }
void frmSimpleTest::cmdInfo_Click(int index) { control(index).cmdInfo_Click(); }
void frmSimpleTest::cmdPreHeat_Click(int index) { control(index).cmdPreHeat_Click(); }
void frmSimpleTest::cmdTempSet_Click(int index) { control(index).cmdTempSet_Click(); }
void frmSimpleTest::cmdStart_Click(int index) { control(index).cmdStart_Click(); }
void frmSimpleTest::StopTest(int cell) { control(cell).StopTest(); }

void frmSimpleTest::cmdDetail_Click(int index)
{
    if (units_ < 0 || units_ >= int(Module1::DetailForms.size()) || (index != 1 && index != 2)) return;
    if (auto* w = Module1::form<frmTestDetail>(Module1::DetailForms[std::size_t(units_)][std::size_t(index)])) {
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void frmSimpleTest::cmdExit_Click()
{
    // Inside the real-time window the sub-window closes; it asks this screen first.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
    else close();
}

void frmSimpleTest::txtInterval_Change(int index)
{
    poll_->cell(index).loggingInterval =
        CellControl::intervalSeconds(Format::leading(txtInterval[std::size_t(index)]->text()));
}

void frmSimpleTest::chkSwell_Click() { redrawForBoxes(); }
void frmSimpleTest::chkTemp_Click() { redrawForBoxes(); }
void frmSimpleTest::chkPress_Click() { redrawForBoxes(); }

void frmSimpleTest::redrawForBoxes()
{
    // The rebuild reads the database; a failure is reported, not left to end the program.
    try {
        RefreshChart();
    } catch (const DbError& e) {
        platform::Prompts::current().message(e.description);
    } catch (const std::exception& e) {
        platform::Prompts::current().message(QString::fromLocal8Bit(e.what()));
    }
}

void frmSimpleTest::Timer1_Timer() { poll_->tick(); }

// --------------------------------------------------------------------------------------------- unload

void frmSimpleTest::closeEvent(QCloseEvent* event)
{
    if (Form_Unload()) event->accept();
    else event->ignore();
}

bool frmSimpleTest::Form_Unload()
{
    if (unloading_) return false;   // asked again while this close waits or asks
    unloading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{unloading_};

    // A close that goes on asks about unconfirmed stops itself: the message that one will be sent later
    // waits until then.
    const bool refused = poll_->cell(1).state == realtime::CellRunning || poll_->cell(2).state == realtime::CellRunning;
    if (!refused) poll_->holdStopMessages(true);
    for (int c = 1; c <= 2; ++c) {
        const int state = poll_->cell(c).state;
        if (state == realtime::CellRunning) {
            platform::Prompts::current().message(
                QStringLiteral("The test must be stopped before exiting the Real Time Test screen"));
            return false;
        }
        if (state == realtime::CellPreheating) StopTest(c);
    }
    // Points the database has not taken yet live in the poll: one more try, and no close while they wait.
    if (!poll_->pendingPoints().empty() && !poll_->storePending() && !dropPointsOfMissingTests()) {
        poll_->holdStopMessages(false);
        return false;
    }
    if (!closeWithOwedStops()) return false;
    if (units_ != 0 && offerMenuItem) offerMenuItem(units_);
    if (MSComm1 && MSComm1->isOpen()) MSComm1->close();
    Timer1->stop();
    return true;
}

bool frmSimpleTest::closeWithOwedStops()
{
    // The unit has a moment to confirm its stops; once the screen is gone nothing would send them again.
    const QStringList owed = realtime::awaitOwedStops([this] { return realtime::owedStops(*poll_); });
    bool closes = true;
    if (!owed.isEmpty()) {
        closes = platform::Prompts::current().ask(
                     realtime::owedStopsQuestion(owed, realtime::ScreenClosingWithOwedStops), platform::Buttons::YesNo,
                     {}, platform::Icon::Warning)
                 != platform::Answer::No;
    }
    // The question told the operator what the held message would have.
    poll_->holdStopMessages(false, true);
    // A cell started meanwhile keeps the screen open.
    for (int c = 1; c <= 2; ++c) {
        const int state = poll_->cell(c).state;
        if (state == realtime::CellRunning || state == realtime::CellPreheating) return false;
    }
    return closes;
}

bool frmSimpleTest::dropPointsOfMissingTests()
{
    // Points that wait for a database that cannot be written now will be stored later: no close. Points
    // whose test is not in the database file may never be: the operator may let them go.
    const std::vector<realtime::MissingTest> missing = poll_->missingTests();
    std::size_t lost = 0;
    for (const realtime::MissingTest& t : missing) lost += std::size_t(t.points);
    if (missing.empty() || lost != poll_->pendingPoints().size()) {
        platform::Prompts::current().message(UnstoredPointsMessage);
        return false;
    }
    QStringList tests;
    std::vector<std::int32_t> ids;
    for (const realtime::MissingTest& t : missing) {
        tests << MissingTestLine.arg(t.points).arg(t.testName).arg(QChar::fromLatin1(t.cell == 2 ? 'B' : 'A'));
        ids.push_back(t.testId);
    }
    const QString question = LosePointsQuestion.arg(units_).arg(tests.join(QStringLiteral("\r\n")));
    if (platform::Prompts::current().ask(question, platform::Buttons::YesNo) != platform::Answer::Yes) return false;
    poll_->dropPoints(ids);
    // A tick inside the question may have queued or stored more.
    return poll_->pendingPoints().empty() || poll_->storePending();
}

void frmSimpleTest::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmSimpleTest::Form_Resize()
{
    if (layout_) layout_->apply();
}

// ------------------------------------------------------------------------------------ logging, chart

bool frmSimpleTest::storePoint(const realtime::LoggedPoint& point) { return LogPoint(units_, point); }

int frmSimpleTest::loggedStepNo(int) const { return 1; }

frmTestDetail* frmSimpleTest::detailWindow(int cell) const
{
    if (units_ < 0 || units_ >= int(Module1::DetailForms.size()) || (cell != 1 && cell != 2)) return nullptr;
    return Module1::form<frmTestDetail>(Module1::DetailForms[std::size_t(units_)][std::size_t(cell)]);
}

bool frmSimpleTest::LogPoint(int unit, const realtime::LoggedPoint& p)
{
    const int cell = p.cell;
    if ((cell != 1 && cell != 2) || !Module1::TestResult) return false;
    clsTEST_RESULT& rs = *Module1::TestResult;
    rs.Test_Id = p.testId;
    // Never a point without its test: the file at the path may have been replaced, or the test deleted by
    // another program. The poll keeps the point until the header is there again.
    if (!rs.HeaderStored(p.testName)) throw realtime::TestHeaderMissing();
    rs.RESULT_TIME = p.resultTime;
    rs.STEP_NO = p.stepNo;
    rs.RESULT_TEMP = p.temp;
    rs.RESULT_PRESS = p.press;
    rs.RESULT_HEIGHT_CHANGE = p.heightChange;
    rs.RESULT_VOLT = p.volts;
    rs.RESULT_BATHTEMP = p.bathTemp;
    rs.AddNew();   // throws when not stored: the poll keeps the point and offers it again

    // The detail row only for a stored point, so the grid never shows a point the database lacks. From
    // here on the point counts as stored, whatever fails.
    try {
        if (unit >= 0 && unit < int(Module1::DetailForms.size())) {
            if (auto* w = Module1::form<frmTestDetail>(Module1::DetailForms[std::size_t(unit)][std::size_t(cell)]))
                w->appendPoint({.elapsedSeconds = p.resultTime,
                                .stepNo = p.stepNo,
                                .temp = p.temp,
                                .press = p.press,
                                .lengthChange = p.heightChange,
                                .swell = p.swell,
                                .volts = p.volts,
                                .bathTemp = p.bathTemp,
                                .wholeBathTemp = kind_ == realtime::UnitPoll::Screen::Sequence});
        }
        liveChart_->pointLogged(cell, p.testId, p.resultTime, p.temp, p.press, p.heightChange);
    } catch (const std::exception&) {
    }
    return true;
}

void frmSimpleTest::LoadCellTest(int cell)
{
    if (cell != 1 && cell != 2) return;
    const bool registered = units_ >= 0 && units_ < int(Module1::DetailForms.size());
    auto* w = new frmTestDetail;
    details_[std::size_t(cell)] = w;
    if (registered) {
        QPointer<QWidget>& slot = Module1::DetailForms[std::size_t(units_)][std::size_t(cell)];
        // The window of the previous test goes unless the operator still has it open.
        if (slot && !slot->isVisible()) slot->deleteLater();
        else if (slot) slot->setAttribute(Qt::WA_DeleteOnClose);
        slot = w;
    } else {
        w->setAttribute(Qt::WA_DeleteOnClose);
    }
    w->ShowSequenceControls(false);

    clsTEST_INFO& info = requireObject(Module1::TestInfo);
    info.TEST_NAME = lblTestname[std::size_t(cell)]->text();
    info.GetTestDetail();
    if (!info.EOF_() && !info.BOF()) w->FillHeader(info);
    w->setInfoChanged(false);
}

std::array<realtime::LiveChartCell, 3> frmSimpleTest::chartCells() const
{
    std::array<realtime::LiveChartCell, 3> cells;
    for (int c = 1; c <= 2; ++c) {
        const realtime::UnitCell& k = poll_->cell(c);
        realtime::LiveChartCell& out = cells[std::size_t(c)];
        out.shown = !k.testName.isEmpty() && cmdStart[std::size_t(c)]->text() == CellControl::CaptionStop;
        out.testName = k.testName;
        out.testId = k.testId;
        out.waferLength = k.waferLength;
    }
    return cells;
}

void frmSimpleTest::RefreshChart(bool fullReload)
{
    liveChart_->Refresh(chartCells(), {chkSwell->isChecked(), chkTemp->isChecked(), chkPress->isChecked()},
                        fullReload);
}

void frmSimpleTest::refreshChart() { RefreshChart(); }

void frmSimpleTest::Initial_Chart_All() { liveChart_->Initial_Chart_All(); }

// ------------------------------------------------------------------------------- what the cells show

void frmSimpleTest::showLabel(int cell, CellLabel label, const QString& text)
{
    const auto i = cellIndex(cell);
    QLabel* l = nullptr;
    switch (label) {
    case CellLabel::lbltemp1: l = lbltemp1[i]; break;
    case CellLabel::lblTemp3: l = lblTemp3[i]; break;
    case CellLabel::lblTemp2: l = lblTemp2[i]; break;
    case CellLabel::lblPress: l = lblPress[i]; break;
    case CellLabel::lblvolt: l = lblvolt[i]; break;
    case CellLabel::lblen: l = lblen[i]; break;
    case CellLabel::lbldist: l = lbldist[i]; break;
    case CellLabel::lblswell: l = lblswell[i]; break;
    case CellLabel::lblElapseTime: l = lblElapseTime[i]; break;
    }
    if (l) l->setText(text);
}

void frmSimpleTest::showAlarm(int cell, bool shown) { Label44[cellIndex(cell)]->setVisible(shown); }

void frmSimpleTest::showStatus(int cell, const QString& text) { setStatus(cell, text); }

void frmSimpleTest::stopCell(int cell) { StopTest(cell); }

bool frmSimpleTest::resendSetPoint(int cell) { return control(cell).resendSetPoint(); }
bool frmSimpleTest::sendOwedStop(int cell) { return control(cell).sendOwedStop(); }

void frmSimpleTest::setStatus(int cell, const QString& text)
{
    QLabel* l = Label44[cellIndex(cell) + 2];
    l->setText(text);
    QString state;
    if (text == CellControl::StatusRunning) state = QStringLiteral("running");
    else if (text == CellControl::StatusPreheat) state = QStringLiteral("preheat");
    else if (text == realtime::UnitPoll::PreheatReadyText) state = QStringLiteral("ready");
    else if (text == CellControl::StatusStopped) state = QStringLiteral("stopped");
    if (l->property("state").toString() != state) {
        l->setProperty("state", state);
        l->style()->unpolish(l);
        l->style()->polish(l);
    }
}

void frmSimpleTest::setSetPointText(int cell, const QString& text)
{
    txtTemps[cellIndex(cell)]->setText(text);
    poll_->cell(cell).setPointText = text;
}

QString frmSimpleTest::startCaption(int cell) const { return cmdStart[cellIndex(cell)]->text(); }

void frmSimpleTest::setStartCaption(int cell, const QString& text)
{
    QPushButton* b = cmdStart[cellIndex(cell)];
    b->setText(text);
    b->setProperty("running", text == CellControl::CaptionStop);
    b->style()->unpolish(b);
    b->style()->polish(b);
}

void frmSimpleTest::setDetailEnabled(int cell, bool enabled) { cmdDetail[cellIndex(cell)]->setEnabled(enabled); }
void frmSimpleTest::setInfoEnabled(int cell, bool enabled) { cmdInfo[cellIndex(cell)]->setEnabled(enabled); }

void frmSimpleTest::setTestNameLabel(int cell, const QString& text)
{
    QLabel* l = lblTestname[cellIndex(cell)];
    l->setText(text);
    l->setToolTip(text);
}

void frmSimpleTest::setStartTime(int cell, const QString& text) { lblstarttime[cellIndex(cell)]->setText(text); }

void frmSimpleTest::startPollTimer()
{
    // Giving a running timer its interval would restart it and delay the unit's next poll: a timer that
    // already polls every 500 ms is left alone.
    if (!Timer1->isActive() || Timer1->interval() != PollIntervalMs) Timer1->start(PollIntervalMs);
}

std::optional<QString> frmSimpleTest::runTestInformation(int cell, double waferInches)
{
    const QString letter = cell == 2 ? QStringLiteral("B") : QStringLiteral("A");
    std::unique_ptr<frmTestRelate> dlg(new frmTestRelate(this));
    QPointer<QWidget>& slot = Module1::TestRelateForms[cellIndex(cell)];
    slot = dlg.get();
    struct Release {
        QPointer<QWidget>& slot;
        ~Release() { slot.clear(); }
    } release{slot};

    dlg->Label17->setText(lblUnitNo->text());
    dlg->Label18->setText(QStringLiteral("CELL ") + letter);
    dlg->setWindowTitle(QStringLiteral("CELL ") + letter + QStringLiteral(" Test Information"));
    dlg->ShowWaferLength(waferInches);
    platform::showModal(*dlg);
    if (dlg->Cancels()) return std::nullopt;
    return dlg->txtTestInfo[1]->text();
}

void frmSimpleTest::loadCellTest(int cell) { LoadCellTest(cell); }
