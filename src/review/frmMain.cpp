#include "review/frmMain.h"

#include "calibration/frmCalibrate.h"

#include "platform/Chart.h"
#include "platform/ControlLayout.h"
#include "platform/DatabaseLock.h"
#include "platform/GridHelpers.h"
#include "platform/Workbook.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "realtime/ActiveTests.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"
#include "review/ResultGrid.h"
#include "review/TestExport.h"
#include "review/frmOpenTest.h"
#include "review/frmOverlapTest.h"
#include "review/frmTestInfo.h"
#include "setup/frmSetup.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace grid = platform::grid;

namespace {

const QString kSwellVsTime = QStringLiteral("Swell Vs Time");
const QString kLengthVsTime = QStringLiteral("Length Change Vs Time");
const QString kSwellTemp = QStringLiteral("Swell, Temp Vs Time");
const QString kSwellPress = QStringLiteral("Swell, Press Vs Time");
const QString kSwellTempPress = QStringLiteral("Swell, Temp, Press Vs Time");
const QString kTimeAxis = QStringLiteral("Time (min)");

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kNavy(0, 0, 128);

// The colours of subsets 0..24, in subset order.
const QColor kSubsetColors[25] = {
    {0, 128, 0},     {0, 0, 128},     {255, 0, 0},     {128, 0, 0},     {254, 153, 0},
    {155, 153, 0},   {51, 51, 255},   {155, 255, 0},   {0, 255, 0},     {51, 255, 255},
    {255, 0, 0},     {151, 0, 127},   {0, 204, 255},   {204, 255, 51},  {102, 255, 0},
    {255, 204, 0},   {255, 0, 255},   {153, 0, 204},   {204, 204, 255}, {0, 204, 51},
    {102, 102, 255}, {204, 0, 102},   {204, 153, 0},   {102, 255, 255}, {51, 255, 102}};

using platform::tell;

const QString kNotFound = QStringLiteral("Your test name is not found.  Please try again.");
const QString kNoValidTest = QStringLiteral("Currently no valid test selected.  Please first open a saved test.");

// Keeps the program's timers (unit polling, logging) running while a long test is written out; clicks
// and keys wait until the export is done.
void keepTimersRunning() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// The workbook's path in folder: the test's name (characters a file name cannot hold replaced) and the
// time, with a number added when a file of that name is already there (two exports in one second), so an
// export never overwrites, nor on failure deletes, an earlier workbook.
QString workbookPath(const QString& folder, const QString& testName)
{
    QString name = testName.trimmed();
    name.replace(QRegularExpression(QStringLiteral(R"([\\/:*?"<>|\x00-\x1f])")), QStringLiteral("_"));
    if (name.isEmpty()) name = QStringLiteral("Test Report");
    const QString stem = QStringLiteral("Veduvovir %1 %2")
                             .arg(name.left(100), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")));
    const QDir dir(folder);
    QString path = dir.filePath(stem + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n) path = dir.filePath(QStringLiteral("%1 (%2).xlsx").arg(stem).arg(n));
    return path;
}

// A sample length as the charts and the grid divide by it: 0 or below counts as a thousandth of an inch.
double usableLength(double length) { return length <= 0 ? 0.001 : length; }

} // namespace

// ---------------------------------------------------------------------------------------------------
// About box

frmabout::frmabout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(QStringLiteral("About Veduvovir"));
    auto* box = new QVBoxLayout(this);
    lblTitle = new QLabel(QStringLiteral("Veduvovir"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont f = lblTitle->font();
    f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    lblTitle->setFont(f);
    lblVersion = new QLabel(QStringLiteral("Version 2.0.0.8"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(QStringLiteral("Control and data acquisition of the swell-test units:\n"
                                               "real-time tests, review of stored tests, calibration."),
                                this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    box->addWidget(lblTitle);
    box->addWidget(lblVersion);
    box->addWidget(lblDescription);
    box->addSpacing(12);
    box->addWidget(Command1, 0, Qt::AlignRight);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
}

// ---------------------------------------------------------------------------------------------------
// Window

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    buildControls();
    buildMenus();
}

frmMain::~frmMain()
{
    delete fOpenTest_.data();
    delete fOverLap_.data();
    delete realTime_.data();
    delete about_.data();
    delete setup_.data();
    delete Module1::TestInfoForm.data();
}

std::shared_ptr<clsConnection> frmMain::Connection() const { return Module1::DbConnection; }
frmOpenTest* frmMain::fOpenTest() const { return fOpenTest_.data(); }
frmOverlapTest* frmMain::fOverLap() const { return fOverLap_.data(); }
frmMDIRealTime* frmMain::RealTimeWindow() const { return realTime_.data(); }
frmabout* frmMain::AboutBox() const { return about_.data(); }
frmSetup* frmMain::SetupWindow() const { return setup_.data(); }

void frmMain::buildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Veduvovir- v2.0.0.8"));
    auto* inner = new QWidget(this);
    inner->setObjectName(QStringLiteral("inner"));
    setCentralWidget(inner);

    auto named = [](auto* w, const QString& name) {
        w->setObjectName(name);
        return w;
    };
    auto button = [&](const char* name, const QString& caption, const QString& tip, QRect g) {
        auto* b = named(new QPushButton(caption, inner), QLatin1String(name));
        b->setToolTip(tip);
        b->setGeometry(g);
        return b;
    };

    // Chart type above the chart, the chart with the overlay list beside it, the result grid below,
    // the buttons in a column on the right: review first, then the other windows, Exit at the bottom.
    Label2 = named(new QLabel(QStringLiteral("Select Chart Type:"), inner), QStringLiteral("Label2"));
    Label2->setGeometry(8, 10, 112, 22);
    cmbChartType = named(new QComboBox(inner), QStringLiteral("cmbChartType"));
    cmbChartType->setToolTip(QStringLiteral("Select different chart types by select corresponding pulldown items"));
    cmbChartType->setGeometry(124, 8, 232, 26);
    Label2->setBuddy(cmbChartType);

    Pesgo1 = named(new platform::Chart(inner), QStringLiteral("Pesgo1"));
    Pesgo1->setGeometry(8, 40, 692, 370);

    Frame1 = named(new QGroupBox(QStringLiteral("Overlap Test Chart"), inner), QStringLiteral("Frame1"));
    Frame1->setGeometry(708, 40, 130, 370);
    for (int i = 1; i <= 8; ++i) {
        Check1[std::size_t(i)] = named(new QCheckBox(Frame1), QStringLiteral("Check1(%1)").arg(i));
        Check1[std::size_t(i)]->setGeometry(8, 24 + (i - 1) * 36, 116, 26);
    }
    Command1 = named(new QPushButton(QStringLiteral("Redraw"), Frame1), QStringLiteral("Command1"));
    Command1->setToolTip(QStringLiteral("Click here to redraw the chart to include checked overlapping charts"));
    Command1->setGeometry(8, 326, 114, 32);

    resultModel_ = new ResultGridModel(this);
    MSFlexGrid1 = named(new QTableView(inner), QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setModel(resultModel_);
    grid::setFlexLook(MSFlexGrid1);
    MSFlexGrid1->setToolTip(QStringLiteral("This table lists the test results. Double click to change its settings."));
    MSFlexGrid1->setGeometry(8, 418, 830, 234);

    const int x = 848, w = 144, h = 32;
    cmdOpen = button("cmdOpen", QStringLiteral("&Open Saved Test"), QStringLiteral("Click here to open a saved test"),
                     {x, 40, w, h});
    cmdRelated = button("cmdRelated", QStringLiteral("Test Info"), QStringLiteral("Click here to display test infomation"),
                        {x, 78, w, h});
    cmdPrintChart = button("cmdPrintChart", QStringLiteral("Print Chart"),
                           QStringLiteral("Click here to print the chart shown at top"), {x, 116, w, h});
    cmdOverlap = button("cmdOverlap", QStringLiteral("Overlap Charts"),
                        QStringLiteral("Click here to display another set of test results over the current test "
                                       "results.  Charts can only be overlapped when chart type is \"Swell Vs. "
                                       "Time\" & \"Height Change Vs Time\"."),
                        {x, 154, w, h});
    cmdexportExcel = button("cmdexportExcel", QStringLiteral("Export Excel"),
                            QStringLiteral("Click here to generate a detailed report in Excel format"), {x, 206, w, h});
    cmdREPORT = button("cmdREPORT", QStringLiteral("Save Report"),
                       QStringLiteral("Click here to save a detailed report in .CSV file format"), {x, 244, w, h});
    cmdRealTime = button("cmdRealTime", QStringLiteral("Real &Time Test"), QStringLiteral("Click here to run a real time test"),
                         {x, 418, w, h});
    cmdSetup = button("cmdSetup", QStringLiteral("&Setup"),
                      QStringLiteral("Click here to access the Test Sequence and Hardware Setup screen"), {x, 456, w, h});
    cmdCalibrate = button("cmdCalibrate", QStringLiteral("&Calibrate"), QStringLiteral("Click here to calibrate the Torvan"),
                          {x, 494, w, h});
    cmdExit = button("cmdExit", QStringLiteral("&Exit"), QStringLiteral("Click here to exit Veduvovir"), {x, 620, w, h});

    // The status bar: a status text and the date and time; nothing else writes to it.
    StatusBar1 = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    auto* status = new QLabel(QStringLiteral("Ready"), StatusBar1);
    auto* date = new QLabel(StatusBar1);
    auto* time = new QLabel(StatusBar1);
    StatusBar1->addWidget(status, 1);
    StatusBar1->addPermanentWidget(date);
    StatusBar1->addPermanentWidget(time);
    auto tick = [date, time] {
        date->setText(Format::dateTime(QDateTime::currentDateTime(), QStringLiteral("mm/dd/yyyy")));
        time->setText(QTime::currentTime().toString(QStringLiteral("h:mm AP")));
    };
    tick();
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, tick);
    clock->start(15000);

    connect(cmdOpen, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    connect(cmdRelated, &QPushButton::clicked, this, [this] { cmdRelated_Click(); });
    connect(cmdexportExcel, &QPushButton::clicked, this, [this] { cmdexportExcel_Click(); });
    connect(cmdREPORT, &QPushButton::clicked, this, [this] { cmdREPORT_Click(); });
    connect(cmdOverlap, &QPushButton::clicked, this, [this] { cmdOverlap_Click(); });
    connect(cmdPrintChart, &QPushButton::clicked, this, [this] { cmdPrintChart_Click(); });
    connect(cmdRealTime, &QPushButton::clicked, this, [this] { cmdRealTime_Click(); });
    connect(cmdSetup, &QPushButton::clicked, this, [this] { cmdSetup_Click(); });
    connect(cmdCalibrate, &QPushButton::clicked, this, [this] { cmdCalibrate_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmbChartType, &QComboBox::currentIndexChanged, this, [this] { cmbChartType_Click(); });

    // The design size of the inside; the menu and status bars come on top of it.
    inner->resize(DesignWidth, DesignHeight);
}

void frmMain::buildMenus()
{
    auto item = [this](QMenu* menu, const char* name, const QString& caption, void (frmMain::*handler)()) {
        QAction* a = menu->addAction(caption, this, [this, handler] { (this->*handler)(); });
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        QAction* a = menu->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };
    MenuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    MenuFileOpen = item(MenuFile, "MenuFileOpen", QStringLiteral("&Open Saved Test"), &frmMain::cmdOpen_Click);
    seperation1 = separator(MenuFile, "seperation1");
    MenuSetup = item(MenuFile, "MenuSetup", QStringLiteral("&Setup"), &frmMain::cmdSetup_Click);
    MenuFileReport = item(MenuFile, "MenuFileReport", QStringLiteral("Export Excel"), &frmMain::cmdexportExcel_Click);
    MenuFileRealTimeTest =
        item(MenuFile, "MenuFileRealTimeTest", QStringLiteral("Real &Time Test"), &frmMain::cmdRealTime_Click);
    Seperation5 = separator(MenuFile, "Seperation5");
    MenuPrintChart = item(MenuFile, "MenuPrintChart", QStringLiteral("Print Chart"), &frmMain::cmdPrintChart_Click);
    Seperation3 = separator(MenuFile, "Seperation3");
    MenuFileExit = item(MenuFile, "MenuFileExit", QStringLiteral("E&xit"), &frmMain::cmdExit_Click);
    MenuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    MenuHelp->setObjectName(QStringLiteral("MenuHelp"));
    MenuHelpAbout = item(MenuHelp, "MenuHelpAbout", QStringLiteral("&About"), &frmMain::MenuHelpAbout_Click);
}

void frmMain::Form_Load()
{
    // 1-2: the shared connection and record objects.
    Module1::DbConnection = std::make_shared<clsConnection>();
    Module1::DbConnection->OpenDB(QStringLiteral("Admin"), QString(), QStringLiteral("Torvan"), QString());
    Module1::TestInfo = std::make_shared<clsTEST_INFO>();
    Module1::TestResult = std::make_shared<clsTEST_RESULT>();
    // 3-4: the open and overlay dialogs (not loaded until used) and the test-information window.
    delete fOpenTest_.data();
    fOpenTest_ = new frmOpenTest(this);
    delete fOverLap_.data();
    fOverLap_ = new frmOverlapTest(this);
    delete Module1::TestInfoForm.data();
    Module1::TestInfoForm = new frmTestInfo;
    // 5: the record objects on the connection. An unopened database has shown its own message already;
    // the review controls are then disabled rather than working on a connection that is not there.
    databaseReady_ = false;
    try {
        Module1::TestInfo->ConnectX(*Module1::DbConnection);
        Module1::TestResult->ConnectX(*Module1::DbConnection);
        databaseReady_ = true;
    } catch (const DbError& e) {
        if (Module1::DbConnection->IsOpen()) tell(e.description);
    }
    setReviewEnabled(databaseReady_);
    // 6: the controls' fractions of the design size, then centred and maximised.
    if (!layout_) layout_ = new platform::ControlLayout(this, true);
    layout_->save(QSizeF(DesignWidth, DesignHeight));
    resize(DesignWidth, DesignHeight + menuBar()->sizeHint().height() + StatusBar1->sizeHint().height());
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
    setWindowState(windowState() | Qt::WindowMaximized);
    // 9: no overlay list.
    clearOverlayList();
    // 10: the chart types; selecting the first draws the empty chart.
    {
        const QSignalBlocker quiet(cmbChartType);
        cmbChartType->clear();
        cmbChartType->addItems({kSwellVsTime, kLengthVsTime, kSwellTemp, kSwellPress, kSwellTempPress});
        cmbChartType->setCurrentIndex(0);
    }
    cmbChartType_Click();
    // 11-13.
    LoadUnitSetting();
    InitResultGrid();
    cmdOverlap->setEnabled(false);
    // An older file's missing index is added once the window is on the screen.
    if (databaseReady_ && Module1::DbConnection->IndexMissing())
        QTimer::singleShot(0, this, &frmMain::AddMissingIndex);
}

const QString frmMain::IndexBuildText = QStringLiteral(
    "Preparing the database for the charts of long tests. This is done once for this database file and may "
    "take a few seconds.");

void frmMain::AddMissingIndex()
{
    const std::shared_ptr<clsConnection> connection = Module1::DbConnection;
    if (!connection || !connection->IndexMissing()) return;
    QProgressDialog progress(IndexBuildText, QStringLiteral("Cancel"), 0, 0, this);
    progress.setObjectName(QStringLiteral("IndexProgress"));
    progress.setWindowTitle(QStringLiteral("Veduvovir"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    StatusBar1->showMessage(IndexBuildText);
    QCoreApplication::processEvents();
    connection->AddMissingIndex([&] {
        QCoreApplication::processEvents();
        return !progress.wasCanceled() && !ended_;
    });
    StatusBar1->clearMessage();
}

void frmMain::setReviewEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{cmdOpen, cmdRelated, cmdexportExcel, cmdREPORT, cmdPrintChart,
                                                      cmbChartType, Command1})
        w->setEnabled(on);
    for (QAction* a : {MenuFileOpen, MenuFileReport, MenuPrintChart}) a->setEnabled(on);
}

void frmMain::LoadUnitSetting()
{
    const SettingsFile::ReadResult settings = SettingsFile::read();
    if (!settings.ok()) return;
    if (const auto flag = settings.value(SettingsFile::FlagPosition)) {
        Module1::UnitSystem = *flag;
        Module1::SetUnitCaptions();
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!ended_) {
        // A running or preheating cell would go on heating unwatched: refuse as the real-time window does.
        if (realtime::anyCellActive()) {
            tell(QStringLiteral("The test must be stopped before exiting the Real Time Test screen"));
            event->ignore();
            return;
        }
        // Points waiting for a locked database would be lost with the program: refuse as a unit screen does.
        if (realtime::anyPointsWaiting()) {
            tell(frmSimpleTest::UnstoredPointsMessage);
            event->ignore();
            return;
        }
        // A stop a unit has not confirmed is sent again only while the program runs: a moment for the
        // units, then the operator decides (that question is the exit check).
        realtime::holdStopMessages(true, false);
        const QStringList owed = realtime::awaitOwedStops([] { return realtime::owedStops(); });
        const platform::Answer answer =
            !owed.isEmpty()
                ? platform::Prompts::current().ask(
                      realtime::owedStopsQuestion(owed, realtime::ProgramEndingWithOwedStops), platform::Buttons::YesNo,
                      {}, platform::Icon::Warning)
                : platform::Prompts::current().ask(QStringLiteral("Are you sure you want to exit?"),
                                                   platform::Buttons::YesNo, QStringLiteral("Exit Check"),
                                                   platform::Icon::Warning);
        realtime::holdStopMessages(false, !owed.isEmpty());
        if (answer == platform::Answer::No) {
            event->ignore();
            return;
        }
        ended_ = true;
    }
    event->accept();
    // The whole program ends here, whatever other windows are open.
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------------------------------------------
// Buttons and menus

namespace {

// Makes a test-list dialog anew in its slot, loads it and shows it modally; a load that fails is shown and
// the dialog dropped. The dialog is dropped again when it closes.
template <class Dialog, class Signal, class Handler>
void runListDialog(frmMain* owner, QPointer<Dialog>& slot, Signal signal, Handler handler)
{
    delete slot.data();
    auto* dlg = new Dialog(owner);
    slot = dlg;
    QObject::connect(dlg, signal, owner, handler);
    try {
        dlg->Form_Load();
    } catch (const DbError& e) {
        delete dlg;
        tell(e.description);
        return;
    }
    platform::showModal(*dlg);
    delete slot.data();
}

// The name in a test-list dialog's box when a stored test has exactly that name; otherwise empty, with the
// not-found message when a name was typed.
QString chosenTestName(TestListDialog* dlg)
{
    if (!dlg) return {};
    const QString name = dlg->txtSeqName->text();
    if (name.isEmpty()) return {};
    if (dlg->FindName(name) < 0) {
        tell(kNotFound);
        return {};
    }
    return name;
}

} // namespace

void frmMain::cmdOpen_Click()
{
    runListDialog(this, fOpenTest_, &frmOpenTest::Selected, &frmMain::fopentest_Selected);
}

void frmMain::cmdexportExcel_Click() { ExportExcel(); }

bool frmMain::fillReportSheet(review::ReportSheet& sheet)
{
    if (auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm)) {
        info->Form_Activate();   // unit captions of the units in force
        for (int i = 1; i <= review::ReportSheet::Fields; ++i) {
            sheet.labels[std::size_t(i)] = info->Label1[std::size_t(i)]->text();
            if (review::ReportSheet::hasUnit(i)) sheet.units[std::size_t(i)] = info->Label2[std::size_t(i)]->text();
        }
    }
    sheet.grid = resultModel_;
    if (CurrentTestName.isEmpty()) return true;   // nothing opened: the labels with empty texts
    // The header as stored, in the texts the window shows for it: edits not saved in the test-information
    // window are not handed out as if they were the test's. It is read by the opened test's id: a test
    // deleted since has no header, whatever test now has its name.
    clsTEST_INFO& info = requireObject(Module1::TestInfo);
    info.Test_Id = CurrentTestId;
    info.GetTestDetailById();
    if (info.BOF()) return false;
    sheet.texts = frmTestInfo::RecordTexts(info.All());
    return true;
}

void frmMain::ExportExcel()
{
    review::ReportSheet sheet;
    try {
        if (!fillReportSheet(sheet)) {
            tell(kNoValidTest);
            return;
        }
    } catch (const DbError& e) {
        tell(e.description);
        return;
    }
    const QString folder = workbookFolder_.isEmpty() ? QDir::tempPath() : workbookFolder_;
    const QString path = workbookPath(folder, CurrentTestName);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString problem = review::WriteWorkbook(sheet, path, keepTimersRunning);
    QApplication::restoreOverrideCursor();
    platform::keepDatabaseLock();
    if (!problem.isEmpty()) {
        tell(problem);
        return;
    }
    lastWorkbook_ = path;
    if (const QString notice = review::WorkbookShortNotice(sheet); !notice.isEmpty()) tell(notice);
    const bool opened = platform::openDocument(path);
    platform::keepDatabaseLock();
    if (!opened)
        tell(QStringLiteral("The workbook was saved as %1. No program to open .xlsx files was found.")
                 .arg(QDir::toNativeSeparators(path)));
}

void frmMain::cmdREPORT_Click()
{
    // The opened test's stored header, read before the file is asked for: a test deleted since it was
    // opened is no valid test any more.
    review::ReportSheet sheet;
    try {
        if (CurrentTestId <= 0 || !fillReportSheet(sheet)) {
            tell(kNoValidTest);
            return;
        }
    } catch (const DbError& e) {
        tell(e.description);
        return;
    }
    const QString path = platform::Prompts::current().saveFileName(
        QStringLiteral("Save As"), QStringLiteral("All Files (*.*);;Text Files(*.csv)"), {}, 1);
    if (path.isEmpty()) {
        tell(QStringLiteral("Cancel was selected."));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString problem = review::WriteReport(sheet, path, keepTimersRunning);
    QApplication::restoreOverrideCursor();
    platform::keepDatabaseLock();
    if (!problem.isEmpty()) tell(problem);
}

void frmMain::cmdOverlap_Click()
{
    if (CurrentTestName.isEmpty()) {
        platform::Prompts::current().message(QStringLiteral("No opened test to overlap; Please open one test first."),
                                             QStringLiteral("Operation Error"));
        return;
    }
    Frame1->show();
    runListDialog(this, fOverLap_, &frmOverlapTest::OverSelected, &frmMain::fOverlap_overSelected);
}

void frmMain::fOverlap_overSelected()
{
    frmOverlapTest* dlg = fOverLap_;
    const QString name = chosenTestName(dlg);
    if (name.isEmpty()) return;
    if (OverlapCount >= 8) {
        tell(QStringLiteral("Veduvovir cannot overlap more than 8 tests"));
        OverlapCount = 8;
        dlg->hide();
        return;
    }
    // A test deleted since the dialog listed it would give an empty entry.
    try {
        clsTEST_INFO& info = *Module1::TestInfo;
        info.TEST_NAME = name;
        info.GetTestDetail();
        if (info.BOF()) {
            tell(kNotFound);
            return;
        }
    } catch (const DbError& e) {
        tell(e.description);
        return;
    }
    ++OverlapCount;
    setOverlayEntry(OverlapCount, name);
    dlg->hide();
    redrawReporting();
}

void frmMain::cmdSetup_Click()
{
    // This window hides until the setup window closes; the setup window is opened afresh each time.
    if (!setup_) {
        setup_ = new frmSetup;
        setup_->setMainWindow(this);
    }
    hide();
    setup_->Form_Load(Connection());
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
}

void frmMain::cmdCalibrate_Click()
{
    // One calibration window at a time, beside this one; it shows this window again when it unloads.
    frmCalibrate* calibrate = nullptr;
    for (frmCalibrate* w : findChildren<frmCalibrate*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->IsUnloaded()) calibrate = w;
    if (!calibrate) {
        calibrate = new frmCalibrate(this);
        calibrate->setWindowFlag(Qt::Window);
        calibrate->setAttribute(Qt::WA_DeleteOnClose);
        connect(calibrate, &frmCalibrate::Unloaded, this, [this] {
            show();
            raise();
        });
    }
    calibrate->show();
    calibrate->raise();
    calibrate->activateWindow();
}

void frmMain::cmdRealTime_Click()
{
    if (!realTime_) {
        realTime_ = new frmMDIRealTime;
        realTime_->setAttribute(Qt::WA_DeleteOnClose);
    }
    realTime_->show();
    realTime_->raise();
    realTime_->activateWindow();
}

void frmMain::cmdExit_Click() { close(); }

void frmMain::MenuHelpAbout_Click()
{
    if (!about_) about_ = new frmabout(this);
    platform::showModal(*about_);
}

void frmMain::cmdPrintChart_Click()
{
    try {
        Pesgo1->PrintChart(printer_);
    } catch (const platform::ChartError& e) {
        tell(e.description());
    }
}

// ---------------------------------------------------------------------------------------------------
// Opened test

void frmMain::fopentest_Selected()
{
    frmOpenTest* dlg = fOpenTest_;
    const QString name = chosenTestName(dlg);
    if (name.isEmpty()) return;
    if (Module1::TestInfo) Module1::TestInfo->TEST_NAME = name;
    {
        // The chart is drawn once below, for the new test.
        const QSignalBlocker quiet(cmbChartType);
        cmbChartType->setCurrentIndex(0);
    }
    CurrentTestName = name;
    dlg->hide();
    // The overlay starts anew with this test: the points kept for the one before (possibly the rows of the
    // record itself) go now, not after the new rows are read beside them.
    overlayCurves_.clear();
    try {
        InitResultGrid();
        // The name chosen gives the test's id; from here on the opened test is that id.
        clsTEST_INFO& info = requireObject(Module1::TestInfo);
        info.TEST_NAME = name;
        info.GetTestDetail();
        showHeader(info);
        FillResultGrid();
    } catch (const DbError& e) {
        tell(e.description);
    }
    clearOverlayList();
    OverlapCount = 1;
    setOverlayEntry(1, CurrentTestName);
    redrawReporting();
}

void frmMain::setOverlayEntry(int i, const QString& name)
{
    QCheckBox* box = Check1[std::size_t(i)];
    overlayNames_[std::size_t(i)] = name;
    box->setText(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
    box->setChecked(true);
    box->show();
}

void frmMain::clearOverlayList()
{
    Frame1->hide();
    for (int i = 1; i <= 8; ++i) {
        Check1[std::size_t(i)]->setChecked(false);
        Check1[std::size_t(i)]->hide();
    }
}

void frmMain::cmdRelated_Click()
{
    if (CurrentTestName.isEmpty()) return;
    try {
        ShowTestInfo();
    } catch (const DbError& e) {
        tell(e.description);
        return;
    }
    if (QWidget* w = Module1::TestInfoForm) {
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void frmMain::InitResultGrid()
{
    const QString format = QStringLiteral("<Step No|<") + QStringLiteral("Time (hh:mm:ss)|<") + QStringLiteral("Temp ") +
                           Module1::TempUnitCaption + QStringLiteral("|<Press ") + Module1::PressUnitCaption +
                           QStringLiteral("|<Length Change ") + Module1::LengthUnitCaption +
                           QStringLiteral("|< Swell (%) ") + QStringLiteral("|<read voltage") +
                           QStringLiteral("|<Bath Temp ") + Module1::TempUnitCaption;
    resultModel_->clear();
    resultModel_->setHeader(format, true);
    const int widths[ResultGridModel::Columns] = {800, 1000, 800, 800, 1000, 800, 800, 0};
    for (int c = 0; c < ResultGridModel::Columns; ++c) grid::setColumnWidthTwips(MSFlexGrid1, c, widths[c]);
    MSFlexGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);   // user column resizing
    grid::setHeaderHeightTwips(MSFlexGrid1, 600);
}

void frmMain::ShowTestInfo()
{
    // By the opened test's id, never by its name: a test stored later under that name is another test.
    // Once the opened test is gone its header is gone too: the defaults of no record, id 0.
    clsTEST_INFO& info = requireObject(Module1::TestInfo);
    info.Test_Id = CurrentTestId;
    info.GetTestDetailById();
    showHeader(info);
}

void frmMain::showHeader(const clsTEST_INFO& info)
{
    RecordArray = info.All();
    CurrentTestId = RecordArray.value(0).toInt();
    SampleLength = usableLength(RecordArray.value(5).toDouble());
    if (auto* w = Module1::form<frmTestInfo>(Module1::TestInfoForm)) {
        w->setTestId(CurrentTestId);
        w->ShowRecord(RecordArray);
    }
}

void frmMain::FillResultGrid()
{
    resultModel_->clear();
    // Each test's points start at the first row, not where the previous test's were scrolled to.
    MSFlexGrid1->scrollToTop();
    clsTEST_RESULT& result = *Module1::TestResult;
    result.Test_Id = CurrentTestId;
    result.LoadIfStale(*Module1::DbConnection);
    if (result.TotalPoints() <= 0) return;
    resultModel_->setRows(result.sharedRows(), SampleLength, Module1::UnitSystem);
}

// ---------------------------------------------------------------------------------------------------
// Charts

void frmMain::cmbChartType_Click() { redrawReporting(); }

void frmMain::Command1_Click() { redrawReporting(); }

void frmMain::redrawReporting()
{
    try {
        DrawChart();
    } catch (const DbError& e) {
        tell(e.description);
    }
}

void frmMain::DrawChart()
{
    Pesgo1->Reset();
    Initial_Chart_All();
    const QString type = cmbChartType->currentText();
    if (type == kSwellVsTime || type == kLengthVsTime) {
        drawOverlayChart(type == kSwellVsTime);
        return;
    }
    overlayCurves_.clear();
    if (type == kSwellTemp)
        DrawSwellTempChart();
    else if (type == kSwellPress)
        DrawSwellPressChart();
    else if (type == kSwellTempPress)
        DrawSwellTempPressChart();
    else
        return;
    cmdOverlap->setEnabled(false);
    Frame1->hide();
}

void frmMain::Initial_Chart_All()
{
    for (int s = 0; s < 25; ++s) Pesgo1->SetSubsetColor(s, kSubsetColors[s]);
    Pesgo1->SelectAxis(0);
    Pesgo1->SetAxisColor(kGreen);
    Pesgo1->SetPointX(0, 0, 0);
    for (int p = 0; p <= 3; ++p) Pesgo1->SetPointY(0, p, 0);
    Pesgo1->SetXAxisLabel(kTimeAxis);
    Pesgo1->SetAxisLabel(QStringLiteral("Swell(%)"));
    // Lines without markers, as the reset leaves them; a light grey background.
    Pesgo1->SetBackColor(QColor(236, 236, 236));
    Pesgo1->Redraw();
}

void frmMain::drawOverlayChart(bool swell)
{
    Pesgo1->SetMainTitle(swell ? QStringLiteral("Swell vs. Time") : QStringLiteral("Length Change vs. Time"));
    Pesgo1->SetSubTitle(CurrentTestName);
    Pesgo1->SetXAxisLabel(kTimeAxis);
    Pesgo1->SelectAxis(0);
    Pesgo1->SetAxisLabel(swell ? QStringLiteral("Swell (%)")
                               : QStringLiteral("Length Change ") + Module1::LengthUnitCaption);
    const int shown = std::min(OverlapCount, 8);
    overlayDrawnIds_.clear();
    // Only the drawn tests' points stay kept, also when a load fails.
    const auto forgetOthers = qScopeGuard([this] { overlayCurves_.keepOnly(overlayDrawnIds_); });
    int count = 0;
    for (int i = 1; i <= shown; ++i) {
        QCheckBox* box = Check1[std::size_t(i)];
        if (!box->isChecked()) continue;
        ++count;
        Pesgo1->SetSubsetCount(count);
        Pesgo1->SetAxisSubsetCount(0, count);
        const QString& name = overlayNames_[std::size_t(i)];
        Pesgo1->SetSubsetLabel(count - 1, name);
        if (swell)
            LoadSwellSubset(count - 1, name);
        else
            LoadLengthSubset(count - 1, name);
    }
    cmdOverlap->setEnabled(true);
    if (!Check1[1]->isChecked()) Pesgo1->SetSubTitle(QString());
    Pesgo1->Redraw();
    if (OverlapCount >= 2) Frame1->show();
}

void frmMain::LoadSwellSubset(int subset, const QString& testName) { loadSubset(subset, testName, true); }

void frmMain::LoadLengthSubset(int subset, const QString& testName) { loadSubset(subset, testName, false); }

void frmMain::loadSubset(int subset, const QString& testName, bool swell)
{
    clsTEST_INFO& info = *Module1::TestInfo;
    const clsTEST_RESULT& result = *Module1::TestResult;
    info.TEST_NAME = testName;
    info.GetTestDetail();
    const double length = usableLength(info.SAMPLE_LENGTH);
    // The points as a load of the shared result record gives them: read again only when something may have
    // changed them since an earlier read in this window (or the record's own load), and then only the two
    // columns drawn.
    const TestCurves::Curve& points = overlayCurves_.curve(result, *Module1::DbConnection, info.Test_Id);
    overlayDrawnIds_.push_back(info.Test_Id);
    if (!swell) Pesgo1->SetPointY(subset, 0, 0);
    const auto n = static_cast<std::int32_t>(points.size());
    if (n != 0) {
        ChartPointCount = std::max(ChartPointCount, n);
        Pesgo1->SetPointCount(ChartPointCount);
        Pesgo1->SetSubsetPoints(subset, points.size(), [&](std::size_t k, double& x, double& y) {
            const double h = points.heightChangeAt(k);
            x = points.timeAt(k) / 60;
            y = swell ? h / length * 100 : Module1::DisplayLengthNumber(h);
        });
    }
    Pesgo1->Redraw();
}

void frmMain::DrawSwellTempChart()
{
    drawMultiAxisChart(QStringLiteral("Swell,Temperature Vs. Time "), {Extra::Temp},
                       {QStringLiteral(" Swell(%) "), QStringLiteral("Temp ") + Module1::TempUnitCaption},
                       {QStringLiteral(" Swell(%) "), QStringLiteral("Temperature ") + Module1::TempUnitCaption});
}

void frmMain::DrawSwellPressChart()
{
    drawMultiAxisChart(QStringLiteral("Swell,Pressure Vs. Time"), {Extra::Press},
                       {QStringLiteral(" Swell(%) "), QStringLiteral("Press ") + Module1::PressUnitCaption},
                       {QStringLiteral(" Swell(%) "), QStringLiteral("PRESSURE ") + Module1::PressUnitCaption});
}

void frmMain::DrawSwellTempPressChart()
{
    const QStringList labels = {QStringLiteral(" Swell(%) "), QStringLiteral("Pressure ") + Module1::PressUnitCaption,
                                QStringLiteral("Temperature ") + Module1::TempUnitCaption};
    drawMultiAxisChart(QString(), {Extra::Press, Extra::Temp}, labels, labels);
}

void frmMain::drawMultiAxisChart(const QString& title, const std::vector<Extra>& extras, const QStringList& subsetLabels,
                                 const QStringList& axisLabels)
{
    const int subsets = 1 + int(extras.size());
    if (!title.isEmpty()) Pesgo1->SetMainTitle(title);
    Pesgo1->SetSubTitle(CurrentTestName);
    Pesgo1->SetSubsetCount(subsets);

    clsTEST_RESULT& result = *Module1::TestResult;
    result.Test_Id = CurrentTestId;
    const double length = usableLength(SampleLength);   // 0 before a test is opened
    // The rows the open (or an earlier chart) read, while provably what a load would read now.
    result.LoadIfStale(*Module1::DbConnection);
    for (int s = 0; s < subsets; ++s) Pesgo1->SetPointY(s, 0, 0);
    const std::int32_t n = result.TotalPoints();
    if (n != 0) {
        Pesgo1->SetPointCount(n);
        // Every subset's x is the rows' time: the chart keeps one array of it for all of them.
        const auto& rows = result.rows();
        Pesgo1->SetSubsetPoints(0, rows.size(), [&](std::size_t i, double& x, double& y) {
            x = rows[i].time / 60;
            y = rows[i].heightChange / length * 100;
        });
        for (std::size_t e = 0; e < extras.size(); ++e) {
            const bool temp = extras[e] == Extra::Temp;
            Pesgo1->SetSubsetPoints(int(e) + 1, rows.size(), [&](std::size_t i, double& x, double& y) {
                x = rows[i].time / 60;
                y = temp ? Module1::ToDisplayTemp(rows[i].temp) : Module1::ToDisplayPress(rows[i].press);
            });
        }
    }

    Pesgo1->SetXAxisLabel(kTimeAxis);
    for (int s = 0; s < subsets; ++s) {
        Pesgo1->SetSubsetLabel(s, subsetLabels.value(s));
        Pesgo1->SetAxisSubsetCount(s, 1);
    }
    for (std::size_t e = 0; e < extras.size(); ++e)
        Pesgo1->SetSubsetColor(int(e) + 1, extras[e] == Extra::Temp ? kRed : kNavy);
    Pesgo1->SetSharedAxisCount(subsets);
    for (int a = 0; a < subsets; ++a) {
        Pesgo1->SelectAxis(a);
        Pesgo1->SetAxisColor(a == 0 ? kGreen : (extras[std::size_t(a - 1)] == Extra::Temp ? kRed : kNavy));
        Pesgo1->SetAxisLabel(axisLabels.value(a));
    }
    Pesgo1->Redraw();
}
