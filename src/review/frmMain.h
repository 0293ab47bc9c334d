#pragma once
// The main window: the program's start-up, the hub that opens every other window, and the review of one
// stored test (open, result grid, test information, charts, printing). Closing it, after a confirmation,
// ends the program.
//
// Use (src/app/main.cpp):
//   frmMain w;            // controls at the design size
//   w.Form_Load();        // start-up: connection, record objects, dialogs, layout, chart types, units, grid
//   w.show();
// Form_Load shows the connection's own message when the database cannot be opened; the window then runs
// with the review controls disabled (DatabaseReady() false).
#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include "records/TestCurves.h"
#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPrinter;
class QPushButton;
class QStatusBar;
class QTableView;
class QCloseEvent;
class clsConnection;
class clsTEST_INFO;
class frmMDIRealTime;
class frmOpenTest;
class frmSetup;
class frmOverlapTest;
class ResultGridModel;
namespace platform {
class Chart;
class ControlLayout;
}
namespace review {
struct ReportSheet;
}

// The about box: program name and version; OK closes it.
class frmabout : public QDialog {
    Q_OBJECT
public:
    explicit frmabout(QWidget* parent = nullptr);
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QPushButton* Command1 = nullptr;
};

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // Inner size of the window as designed; the controls keep their fractions of it at any size.
    static constexpr int DesignWidth = 1000;
    static constexpr int DesignHeight = 660;

    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up, in the order the program has always done it (see the .cpp).
    void Form_Load();
    // False when the database could not be opened or the record objects could not be bound to it.
    bool DatabaseReady() const { return databaseReady_; }
    // The shared connection (Module1::DbConnection).
    std::shared_ptr<clsConnection> Connection() const;

    // What the window says while it adds the overlay's index to a file made before it (see AddMissingIndex).
    static const QString IndexBuildText;
    // Adds the overlay's index to a database file made before it existed, once per file: a progress dialog
    // over the shown window and a status text tell the operator meanwhile. The event loop keeps running
    // during the build (timers tick, windows paint); the dialog's Cancel or the program's end stops it, and
    // the file then works without the index until the next start. Form_Load queues it when the file lacks
    // the index; it runs once the event loop runs.
    void AddMissingIndex();

    // Reads the unit flag (the ninth value of "initial.txt") into Module1::UnitSystem and sets the three
    // unit captions; a missing or unreadable file changes nothing and shows nothing.
    void LoadUnitSetting();

    // ---- opened test ----
    QString CurrentTestName;
    std::int32_t CurrentTestId = 0;
    double SampleLength = 0;   // inches; 0 or below stored is kept as 0.001
    int OverlapCount = 0;
    QVariantList RecordArray;
    // Largest row count of any test loaded into a single-axis chart since the window opened; only grows.
    std::int32_t ChartPointCount = 0;

    void InitResultGrid();
    void ShowTestInfo();
    void FillResultGrid();
    ResultGridModel* resultModel() const { return resultModel_; }
    // Bytes held for the overlay's kept points.
    std::size_t overlayCurveBytes() const { return overlayCurves_.bytes(); }

    // ---- charts ----
    void DrawChart();
    void Initial_Chart_All();
    void LoadSwellSubset(int subset, const QString& testName);
    void LoadLengthSubset(int subset, const QString& testName);
    void DrawSwellTempChart();
    void DrawSwellPressChart();
    void DrawSwellTempPressChart();

    // Printer used by Print Chart instead of asking with the print dialog (tests print to a PDF file).
    void setPrinter(QPrinter* printer) { printer_ = printer; }

    // ---- workbook export and report ----
    // The opened test as a workbook file, opened with the desktop's program for .xlsx files.
    void ExportExcel();
    // Folder of the workbook files (the system's temporary folder unless set) and the last file written.
    void setWorkbookFolder(const QString& folder) { workbookFolder_ = folder; }
    QString LastWorkbook() const { return lastWorkbook_; }

    // ---- handlers, public so that callers and tests run them as a click would ----
    void cmdOpen_Click();
    void fopentest_Selected();
    void cmdRelated_Click();
    void cmdexportExcel_Click();
    void cmdREPORT_Click();
    void cmdOverlap_Click();
    void fOverlap_overSelected();
    void cmdPrintChart_Click();
    void cmdRealTime_Click();
    void cmdSetup_Click();
    void cmdCalibrate_Click();
    void cmdExit_Click();
    void MenuHelpAbout_Click();
    void cmbChartType_Click();
    void Command1_Click();

    // The dialogs and windows this one holds (null until made).
    frmOpenTest* fOpenTest() const;
    frmOverlapTest* fOverLap() const;
    frmMDIRealTime* RealTimeWindow() const;
    frmabout* AboutBox() const;
    frmSetup* SetupWindow() const;
    // True once the exit was confirmed (the program is ending).
    bool Ended() const { return ended_; }

    // ---- controls ----
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdRelated = nullptr;
    QPushButton* cmdexportExcel = nullptr;
    QPushButton* cmdREPORT = nullptr;
    QPushButton* cmdOverlap = nullptr;
    QPushButton* cmdPrintChart = nullptr;
    QPushButton* cmdRealTime = nullptr;
    QPushButton* cmdSetup = nullptr;
    QPushButton* cmdCalibrate = nullptr;
    QPushButton* cmdExit = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QCheckBox*, 9> Check1{};   // 1..8
    std::array<QString, 9> overlayNames_;  // the test name of each overlay box, as stored
    // Overlay box i shows the test name literally (an "&" is no accelerator), visible and ticked.
    void setOverlayEntry(int i, const QString& name);
    QPushButton* Command1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbChartType = nullptr;
    platform::Chart* Pesgo1 = nullptr;
    QTableView* MSFlexGrid1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    QMenu* MenuFile = nullptr;
    QAction* MenuFileOpen = nullptr;
    QAction* seperation1 = nullptr;
    QAction* MenuSetup = nullptr;
    QAction* MenuFileReport = nullptr;
    QAction* MenuFileRealTimeTest = nullptr;
    QAction* Seperation5 = nullptr;
    QAction* MenuPrintChart = nullptr;
    QAction* Seperation3 = nullptr;
    QAction* MenuFileExit = nullptr;
    QMenu* MenuHelp = nullptr;
    QAction* MenuHelpAbout = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void setReviewEnabled(bool on);
    // Frame1 hidden, every overlay box unticked and hidden.
    void clearOverlayList();
    // Overlay charts (items 0 and 1): every ticked box, one subset each.
    void drawOverlayChart(bool swell);
    void loadSubset(int subset, const QString& testName, bool swell);
    // The multi-axis charts of the opened test: the second (and third) subset's values and texts.
    enum class Extra { Temp, Press };
    void drawMultiAxisChart(const QString& title, const std::vector<Extra>& extras, const QStringList& subsetLabels,
                            const QStringList& axisLabels);
    // Runs a redraw from a handler: a database failure is shown and the window stays usable.
    void redrawReporting();
    // What the workbook and the report copy: the stored header of the opened test in the texts of the
    // test-information window, its captions, and the result grid.
    // False when the opened test's header is no longer stored.
    bool fillReportSheet(review::ReportSheet& sheet);
    // The opened-test state and the test-information window from a looked-up header (its defaults when
    // none was found: id 0).
    void showHeader(const clsTEST_INFO& info);

    ResultGridModel* resultModel_ = nullptr;
    platform::ControlLayout* layout_ = nullptr;
    QPointer<frmOpenTest> fOpenTest_;
    QPointer<frmOverlapTest> fOverLap_;
    QString workbookFolder_, lastWorkbook_;
    QPointer<frmMDIRealTime> realTime_;
    QPointer<frmabout> about_;
    QPointer<frmSetup> setup_;
    QPrinter* printer_ = nullptr;
    // The overlay's points of each drawn test, reused by the next overlay redraw while provably current.
    TestCurves overlayCurves_;
    std::vector<qint32> overlayDrawnIds_;
    bool databaseReady_ = false;
    bool ended_ = false;
};
