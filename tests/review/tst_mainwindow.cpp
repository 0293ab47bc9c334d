// The main window: start-up (unit setting, captions, menus, chart types, overlay list), a database that
// cannot be opened, the exit confirmation, opening a stored test through the open dialog (row click, typed
// name, search), the result grid's texts, the test information, the reused real-time window and about box,
// and the proportional layout at the design size and maximised.
//
// Screenshots: with VEDUVOVIR_SCREENSHOTS set to a folder, layout() saves main-design.png,
// main-maximised.png (a stored demo test opened) and opentest.png (the open dialog) there, e.g.
//   VEDUVOVIR_SCREENSHOTS=/tmp xvfb-run -a -s "-screen 0 1920x1080x24" \
//       env QT_QPA_PLATFORM=xcb build/review_tst_mainwindow layout
#include "LayoutCheck.h"
#include "MainWindowRig.h"
#include "TestSupport.h"

#include "platform/Chart.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "realtime/ActiveTests.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmSimpleTest.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"
#include "review/ResultGrid.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"
#include "review/frmSearch.h"
#include "review/frmTestInfo.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using platform::Answer;
using platform::ScriptedPrompts;
using testsupport::sqlExec;

Q_DECLARE_METATYPE(platform::Answer)

namespace {

// One stored point; the defaults are a quiet reading at room temperature.
struct Point {
    double step = 1, time = 0, temp = 75, bath = 75, press = 0, height = 0, volt = 0;
};

QString sqlNumber(double x) { return Format::general(x); }

bool storeTest(int id, const QString& name, double length, const std::vector<Point>& points,
               const QString& date = QStringLiteral("2020-01-02 10:03:04"))
{
    if (!sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, "
                                "SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, "
                                "SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO) VALUES (%1, '%2', '%3', 'Kim', "
                                "12.5, %4, 3, 'grey clay', 300.456, 5, '01/02/2020', 'brine')")
                     .arg(id)
                     .arg(name, date, sqlNumber(length))))
        return false;
    if (points.empty()) return true;
    QStringList rows;
    for (const Point& p : points)
        rows << QStringLiteral("(%1, %2, %3, %4, %5, %6, %7, %8)")
                    .arg(id)
                    .arg(sqlNumber(p.step), sqlNumber(p.time), sqlNumber(p.temp), sqlNumber(p.bath),
                         sqlNumber(p.press), sqlNumber(p.height), sqlNumber(p.volt));
    return sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                  "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES ")
                   + rows.join(QStringLiteral(", ")));
}

// "initial.txt" with every unit port 0 (no unit offered, so no port is ever opened) and the unit flag.
QByteArray settings(int flag) { return SettingsFile::text({}, flag); }

// Row of the open dialog's list that shows name; -1 when none.
int rowOf(const frmOpenTest& d, const QString& name)
{
    for (int r = 0; r < d.ListCount(); ++r)
        if (d.ListedName(r) == name) return r;
    return -1;
}

using testsupport::layoutFaults;

const QString kNotFound = QStringLiteral("Your test name is not found.  Please try again.");

} // namespace

class MainWindow : public QObject, private MainWindowRig {
    Q_OBJECT

private:
    // How the modal handler works each kind of dialog while its modal show is up.
    std::function<void(frmOpenTest&)> driveOpen_;
    std::function<void(frmSearch&)> driveSearch_;
    std::function<void(QDialog&)> driveOther_;
    QList<QPointer<QDialog>> modalShown_;

    // The main window after its start-up; flag < 0 leaves "initial.txt" away.
    frmMain& start(int flag)
    {
        return startMainWindow(flag >= 0 ? settings(flag) : QByteArray());
    }

    // Leaves the started window by the close box, the Exit button, the menu item or the handler; true when
    // the program ends.
    bool leave(const QString& via)
    {
        if (via == QLatin1String("close box")) return w_->close();
        if (via == QLatin1String("button")) w_->cmdExit->click();
        else if (via == QLatin1String("menu")) w_->MenuFileExit->trigger();
        else w_->cmdExit_Click();
        return w_->Ended();
    }

    // Presses "Open Saved Test" (or the menu item); drive works the dialog; a dialog still up afterwards is
    // cancelled, as the operator would.
    void openDialog(std::function<void(frmOpenTest&)> drive, bool viaMenu = false)
    {
        driveOpen_ = std::move(drive);
        if (viaMenu) w_->MenuFileOpen->trigger();
        else w_->cmdOpen->click();
        driveOpen_ = nullptr;
    }

    void open(const QString& name)
    {
        openDialog([&](frmOpenTest& d) {
            d.txtSeqName->setText(name);
            d.cmdOk_Click();
        });
    }

    // Clay (3 points), Shale (5 points) and BENTONITE (none), newest first: Shale, BENTONITE, Clay.
    bool storeLibrary()
    {
        std::vector<Point> clay(3), shale(5);
        for (std::size_t i = 0; i < clay.size(); ++i) clay[i] = {1, 60.0 * double(i), 150, 150, 200, 0.001 * double(i), 1};
        for (std::size_t i = 0; i < shale.size(); ++i)
            shale[i] = {2, 30.0 * double(i), 120, 121, 100, 0.002 * double(i), 2};
        return storeTest(11, QStringLiteral("Clay"), 0.5, clay, QStringLiteral("2020-01-02 10:03:04"))
            && storeTest(12, QStringLiteral("Shale"), 1.0, shale, QStringLiteral("2021-03-04 05:06:07"))
            && storeTest(13, QStringLiteral("BENTONITE"), 0.75, {}, QStringLiteral("2020-06-07 08:09:10"));
    }

private slots:
    void init()
    {
        freshFolder();
        modalShown_.clear();
        platform::setModalHandler([this](QDialog& d) {
            modalShown_ << QPointer<QDialog>(&d);
            if (auto* open = qobject_cast<frmOpenTest*>(&d)) {
                if (driveOpen_) driveOpen_(*open);
                if (open->isVisible()) open->cmdCancel_Click();
            } else if (auto* search = qobject_cast<frmSearch*>(&d)) {
                if (driveSearch_) driveSearch_(*search);
                if (search->isVisible()) search->Command1_Click();
            } else {
                if (driveOther_) driveOther_(d);
                d.hide();
            }
            return 0;
        });
    }

    void cleanup()
    {
        if (w_) delete w_->RealTimeWindow();
        w_.reset();
        delete Module1::TestInfoForm.data();
        platform::setModalHandler({});
        platform::setSerialPortFactory({});
        driveOpen_ = nullptr;
        driveSearch_ = nullptr;
        driveOther_ = nullptr;
        releaseAll();
    }

    // ---- start-up ----

    void unitSetting_data()
    {
        QTest::addColumn<QByteArray>("file");   // "initial.txt"; empty: no file
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("temp");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("text212F");   // grid text of a point at 212 °F
        QTest::addColumn<QString>("text1in");    // grid text of a length change of 1 inch
        QTest::newRow("no settings file") << QByteArray() << 0 << "" << "" << "" << "100" << "25.4";
        QTest::newRow("flag 1: English") << settings(1) << 1 << "(°F)" << "(in.)" << "(Psi)" << "212" << "1.";
        QTest::newRow("flag 2: SI") << settings(2) << 2 << "(°C)" << "(mm)" << "(Psi)" << "100" << "25.4";
        QTest::newRow("flag 7: SI") << settings(7) << 7 << "(°C)" << "(mm)" << "(Psi)" << "100" << "25.4";
        QTest::newRow("eight values only") << QByteArray("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n") << 0 << ""
                                           << "" << "" << "100" << "25.4";
        QTest::newRow("ninth value not a number") << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nx\r\n") << 0
                                                  << "" << "" << "" << "100" << "25.4";
    }

    // The unit flag and captions from "initial.txt", the grid headings of the start-up and the texts of a point.
    void unitSetting()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, flag);
        QFETCH(QString, temp);
        QFETCH(QString, length);
        QFETCH(QString, press);
        QFETCH(QString, text212F);
        QFETCH(QString, text1in);
        if (!file.isEmpty()) dir_->write(QStringLiteral("initial.txt"), file);
        Point p;
        p.temp = 212;
        p.height = 1;
        QVERIFY(storeTest(1, QStringLiteral("Probe"), 1, {p}));
        frmMain& w = start(-1);

        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join(QLatin1Char('|'))));
        QCOMPARE(Module1::UnitSystem, flag);
        QCOMPARE(Module1::TempUnitCaption, temp);
        QCOMPARE(Module1::LengthUnitCaption, length);
        QCOMPARE(Module1::PressUnitCaption, press);

        const QStringList headings{"Step No",          "Time (hh:mm:ss)", "Temp " + temp, "Press " + press,
                                   "Length Change " + length, " Swell (%) ",  "read voltage",  "Bath Temp " + temp};
        ResultGridModel* m = w.resultModel();
        QCOMPARE(w.MSFlexGrid1->model(), m);
        QCOMPARE(m->columnCount(), 8);
        QCOMPARE(m->rowCount(), 0);
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(m->heading(c), headings[c]);
            QCOMPARE(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headings[c]);
        }

        open(QStringLiteral("Probe"));
        QCOMPARE(w.CurrentTestName, QStringLiteral("Probe"));
        QCOMPARE(m->rowCount(), 1);
        QCOMPARE(m->text(0, 2), text212F);
        QCOMPARE(m->text(0, 4), text1in);
        QVERIFY(prompts_->shown.empty());
    }

    void controls_data()
    {
        testsupport::addControlColumns();
        const auto row = testsupport::addControlRow;
        row("cmdOpen", "&Open Saved Test", "Click here to open a saved test");
        row("cmdRelated", "Test Info", "Click here to display test infomation");
        row("cmdexportExcel", "Export Excel", "Click here to generate a detailed report in Excel format");
        row("cmdREPORT", "Save Report", "Click here to save a detailed report in .CSV file format");
        row("cmdOverlap", "Overlap Charts",
            "Click here to display another set of test results over the current test results.  Charts can only be "
            "overlapped when chart type is \"Swell Vs. Time\" & \"Height Change Vs Time\".");
        row("cmdPrintChart", "Print Chart", "Click here to print the chart shown at top");
        row("cmdRealTime", "Real &Time Test", "Click here to run a real time test");
        row("cmdSetup", "&Setup", "Click here to access the Test Sequence and Hardware Setup screen");
        row("cmdCalibrate", "&Calibrate", "Click here to calibrate the Torvan");
        row("cmdExit", "&Exit", "Click here to exit Veduvovir");
        row("Frame1", "Overlap Test Chart", "");
        row("Command1", "Redraw", "Click here to redraw the chart to include checked overlapping charts");
        row("Label2", "Select Chart Type:", "");
        row("cmbChartType", "", "Select different chart types by select corresponding pulldown items");
        row("Pesgo1", "", "");
        row("MSFlexGrid1", "", "This table lists the test results. Double click to change its settings.");
        row("StatusBar1", "", "");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        frmMain& w = start(1);
        // The window's own control of that name (its dialogs have controls of the same names).
        QList<QWidget*> found;
        for (QWidget* c : w.findChildren<QWidget*>(name))
            if (c->window() == &w) found << c;
        QCOMPARE(found.size(), 1);
        QWidget* c = found.front();
        QString text;
        if (auto* b = qobject_cast<QPushButton*>(c)) text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c)) text = g->title();
        else if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
        QCOMPARE(text, caption);
        QCOMPARE(c->toolTip(), tip);
    }

    void windowAfterStartUp()
    {
        frmMain& w = start(1);
        QCOMPARE(w.windowTitle(), QStringLiteral("Veduvovir- v2.0.0.8"));
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QVERIFY(w.DatabaseReady());
        QVERIFY(Module1::DbConnection && Module1::DbConnection->IsOpen());
        QVERIFY(w.Connection() == Module1::DbConnection);
        QVERIFY(Module1::TestInfo && Module1::TestResult);
        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QVERIFY(info);
        QVERIFY(!info->isVisible());

        // Menus, in order; separators as "-".
        auto entries = [](QMenu* menu) {
            QStringList out;
            for (QAction* a : menu->actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text()) + QLatin1Char('=') + a->objectName();
            return out;
        };
        QVERIFY(w.menuBar()->actions() == (QList<QAction*>{w.MenuFile->menuAction(), w.MenuHelp->menuAction()}));
        QCOMPARE(w.MenuFile->title(), QStringLiteral("&File"));
        QCOMPARE(w.MenuHelp->title(), QStringLiteral("&Help"));
        QCOMPARE(entries(w.MenuFile),
                 (QStringList{"&Open Saved Test=MenuFileOpen", "-=seperation1", "&Setup=MenuSetup",
                              "Export Excel=MenuFileReport", "Real &Time Test=MenuFileRealTimeTest", "-=Seperation5",
                              "Print Chart=MenuPrintChart", "-=Seperation3", "E&xit=MenuFileExit"}));
        QCOMPARE(entries(w.MenuHelp), QStringList{"&About=MenuHelpAbout"});

        // The chart types, the first selected and drawn with no test open.
        QStringList types;
        for (int i = 0; i < w.cmbChartType->count(); ++i) types << w.cmbChartType->itemText(i);
        QCOMPARE(types, (QStringList{"Swell Vs Time", "Length Change Vs Time", "Swell, Temp Vs Time",
                                     "Swell, Press Vs Time", "Swell, Temp, Press Vs Time"}));
        QCOMPARE(w.cmbChartType->currentIndex(), 0);
        QCOMPARE(w.Pesgo1->mainTitle(), QStringLiteral("Swell vs. Time"));
        QVERIFY(w.Pesgo1->subTitle().isEmpty());
        // That drawing enabled the overlay button; start-up disables it afterwards.
        QVERIFY(!w.cmdOverlap->isEnabled());

        // The overlay list: hidden and unticked, inside its frame.
        QVERIFY(w.Frame1->isHidden());
        QCOMPARE(w.Command1->parentWidget(), static_cast<QWidget*>(w.Frame1));
        for (int i = 1; i <= 8; ++i) {
            QCheckBox* box = w.Check1[std::size_t(i)];
            QVERIFY(box);
            QCOMPARE(box->objectName(), QStringLiteral("Check1(%1)").arg(i));
            QCOMPARE(box->parentWidget(), static_cast<QWidget*>(w.Frame1));
            QVERIFY2(box->isHidden() && !box->isChecked(), qPrintable(box->objectName()));
        }

        // Opened-test state empty; grid columns 800 twips, 1000 for time and length change, bath temperature hidden.
        QVERIFY(w.CurrentTestName.isEmpty());
        QCOMPARE(w.CurrentTestId, 0);
        QCOMPARE(w.OverlapCount, 0);
        const int widths[7] = {800, 1000, 800, 800, 1000, 800, 800};
        for (int c = 0; c < 7; ++c) QCOMPARE(w.MSFlexGrid1->columnWidth(c), qRound(widths[c] / 15.0));
        QVERIFY(w.MSFlexGrid1->isColumnHidden(7) || w.MSFlexGrid1->columnWidth(7) == 0);
        QVERIFY(prompts_->shown.empty());
    }

    void databaseNotOpened_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("text file") << true << QByteArray("This is not a database.\r\n");
        QTest::newRow("empty file") << true << QByteArray();
    }

    void databaseNotOpened()
    {
        QFETCH(bool, present);
        QFETCH(QByteArray, content);
        dir_ = std::make_unique<testsupport::TempWorkDir>(false);
        if (present) dir_->write(QStringLiteral("Torvan.accdb"), content);
        frmMain& w = start(1);

        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        const auto& box = prompts_->shown.front();
        QCOMPARE(box.kind, ScriptedPrompts::Kind::Message);
        QVERIFY2(box.text.startsWith(QStringLiteral("clsConnection.OpenConnection: Error #: ")), qPrintable(box.text));
        QCOMPARE(box.icon, platform::Icon::None);
        QCOMPARE(box.title, platform::defaultTitle());
        QVERIFY(!w.DatabaseReady());

        const QList<QObject*> review{w.cmdOpen,        w.MenuFileOpen,  w.cmdRelated,     w.cmdexportExcel,
                                     w.MenuFileReport, w.cmdREPORT,     w.cmdPrintChart,  w.MenuPrintChart,
                                     w.cmbChartType,   w.Command1};
        for (QObject* o : review) QVERIFY2(!o->property("enabled").toBool(), qPrintable(o->objectName()));
        const QList<QObject*> others{w.cmdRealTime, w.cmdSetup, w.cmdCalibrate, w.cmdExit, w.MenuFileExit, w.MenuHelpAbout};
        for (QObject* o : others) QVERIFY2(o->property("enabled").toBool(), qPrintable(o->objectName()));

        // The handlers run anyway open nothing and show no dialog.
        w.cmdOpen_Click();
        w.cmdRelated_Click();
        QVERIFY(modalShown_.isEmpty());
        QVERIFY(w.CurrentTestName.isEmpty());
        QCOMPARE(w.CurrentTestId, 0);
        QCOMPARE(w.resultModel()->rowCount(), 0);
        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QVERIFY(!info || !info->isVisible());

        // The file is neither created nor changed.
        QCOMPARE(QFile::exists(dir_->file(QStringLiteral("Torvan.accdb"))), present);
        if (present) {
            QFile f(dir_->file(QStringLiteral("Torvan.accdb")));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), content);
        }
    }

    void olderFileIndexedAfterTheWindowShows_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("built") << false;
        QTest::newRow("cancelled") << true;
    }

    // A file made before the overlay's index, with 8 tests of 80,000 points interleaved as eight units log
    // them. Its start shows the window first and the index is added afterwards, with the progress dialog
    // and the status text on the screen; meanwhile the event loop runs (a timer keeps firing), the shared
    // connection reads, and a write on it fails as locked (as the logging queue expects) instead of waiting.
    // Afterwards the index is there and the write goes in; Cancel leaves the file whole, without it.
    void olderFileIndexedAfterTheWindowShows()
    {
        QFETCH(bool, cancel);
        using testsupport::sqlExec;
        using testsupport::sqlValue;
        QVERIFY(sqlExec("DROP INDEX IX_TEST_RESULT_CURVE"));
        QVERIFY(sqlExec("WITH RECURSIVE k(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM k WHERE k < 639999) "
                        "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_HEIGHT_CHANGE) "
                        "SELECT 1 + k % 8, 1, k / 8, 150, (k / 8) * 1e-6 FROM k"));
        auto indexed = [] {
            return !sqlValue("SELECT name FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'").isEmpty();
        };
        // A point of test 1 stored through the shared connection: "stored", or why not.
        auto writePoint = []() -> QString {
            clsTEST_RESULT point;
            point.ConnectX(*Module1::DbConnection);
            point.Test_Id = 1;
            point.RESULT_TIME = 1e6;
            try {
                point.AddNew();
            } catch (const DbError& e) {
                return e.description;
            }
            return QStringLiteral("stored");
        };

        frmMain& w = start(1);
        QVERIFY2(!indexed(), "the index was built before the window was shown");
        int ticks = 0, whileBuilding = 0, readDuring = -1;
        bool dialogSeen = false, dialogGone = false;
        QString writeDuring;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            auto* progress = w.findChild<QProgressDialog*>(QStringLiteral("IndexProgress"));
            if (!progress) {
                dialogGone = dialogSeen;
                return;
            }
            dialogSeen = true;
            if (!progress->isVisible() || !w.isVisible() || indexed()) return;
            QCOMPARE(progress->labelText(), frmMain::IndexBuildText);
            QCOMPARE(w.StatusBar1->currentMessage(), frmMain::IndexBuildText);
            if (++whileBuilding == 2) {
                clsTEST_RESULT read;
                read.Test_Id = 3;
                read.ConnectX(*Module1::DbConnection);
                readDuring = read.TotalPoints();
                writeDuring = writePoint();
            }
            if (cancel && whileBuilding == 4) progress->cancel();
        });
        timer.start();
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialogGone, 60000);
        QVERIFY2(whileBuilding >= 4, qPrintable(QStringLiteral("%1 of %2 ticks during the build").arg(whileBuilding).arg(ticks)));
        QCOMPARE(readDuring, 80000);
        QVERIFY2(writeDuring.contains(QStringLiteral("locked")), qPrintable(writeDuring));
        QCOMPARE(indexed(), !cancel);
        QCOMPARE(sqlValue("PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT WHERE RESULT_TIME = 1e6"), QStringLiteral("0"));
        QVERIFY(w.StatusBar1->currentMessage().isEmpty());
        QVERIFY(prompts_->shown.empty());
        // The point goes in once the build is over; this run does not try the index again.
        QCOMPARE(writePoint(), QStringLiteral("stored"));
        QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT WHERE RESULT_TIME = 1e6"), QStringLiteral("1"));
        QVERIFY(!Module1::DbConnection->IndexMissing());
    }

    // ---- exit ----

    void exitConfirmation_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<Answer>("answer");
        for (const char* via : {"close box", "button", "menu", "handler"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, No").arg(QLatin1String(via)))) << QString::fromLatin1(via) << Answer::No;
            QTest::newRow(qPrintable(QStringLiteral("%1, Yes").arg(QLatin1String(via)))) << QString::fromLatin1(via) << Answer::Yes;
        }
    }

    void exitConfirmation()
    {
        QFETCH(QString, via);
        QFETCH(Answer, answer);
        platform::setSerialPortFactory([] { return std::make_unique<platform::FakeSerialPort>(); });
        frmMain& w = start(1);
        w.show();
        w.cmdRealTime_Click();   // a running real-time window does not change the question
        QVERIFY(w.RealTimeWindow());
        prompts_->clear();
        prompts_->queueAnswer(answer);
        if (via == QLatin1String("close box")) QCOMPARE(w.close(), answer != Answer::No);
        else if (via == QLatin1String("button")) w.cmdExit->click();
        else if (via == QLatin1String("menu")) w.MenuFileExit->trigger();
        else w.cmdExit_Click();

        // One question and nothing else, whatever the answer (no other window's closing is run).
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        const auto& asked = prompts_->shown.front();
        QCOMPARE(asked.kind, ScriptedPrompts::Kind::Ask);
        QCOMPARE(asked.text, QStringLiteral("Are you sure you want to exit?"));
        QCOMPARE(asked.buttons, platform::Buttons::YesNo);
        QCOMPARE(asked.title, QStringLiteral("Exit Check"));
        QCOMPARE(asked.icon, platform::Icon::Warning);

        const bool ends = answer != Answer::No;
        QCOMPARE(w.Ended(), ends);
        QCOMPARE(w.isVisible(), !ends);
        if (!ends) QVERIFY(w.RealTimeWindow()->isVisible());
    }

    // While a cell of a unit screen runs or preheats, every way out is refused with the real-time window's
    // message and no question; once the cells are stopped the question is asked again.
    void exitRefusedWhileCellActive_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("sequence");   // a sequence screen instead of a simple one
        QTest::newRow("close box, cell A running") << "close box" << 1 << int(realtime::CellRunning) << false;
        QTest::newRow("button, cell B running") << "button" << 2 << int(realtime::CellRunning) << false;
        QTest::newRow("menu, cell A preheating") << "menu" << 1 << int(realtime::CellPreheating) << false;
        QTest::newRow("handler, cell B preheating") << "handler" << 2 << int(realtime::CellPreheating) << false;
        QTest::newRow("close box, sequence cell B running") << "close box" << 2 << int(realtime::CellRunning) << true;
        QTest::newRow("button, sequence cell A preheating") << "button" << 1 << int(realtime::CellPreheating) << true;
    }

    void exitRefusedWhileCellActive()
    {
        QFETCH(QString, via);
        QFETCH(int, cell);
        QFETCH(int, state);
        QFETCH(bool, sequence);
        platform::setSerialPortFactory([] { return std::make_unique<platform::FakeSerialPort>(); });
        frmMain& w = start(1);
        w.show();
        QPointer<frmSimpleTest> screen = sequence ? new frmSeqTest : new frmSimpleTest;
        (sequence ? Module1::SeqTestForms : Module1::SimpleTestForms)[3] = screen.data();
        screen->poll().cell(cell).state = state;
        prompts_->clear();
        QVERIFY(!leave(via));
        QCOMPARE(prompts_->texts(),
                 QStringList{QStringLiteral("The test must be stopped before exiting the Real Time Test screen")});
        QCOMPARE(prompts_->shown.front().kind, ScriptedPrompts::Kind::Message);
        QVERIFY(!w.Ended());
        QVERIFY(w.isVisible());
        QCOMPARE(screen->poll().cell(cell).state, state);   // nothing of the unit was touched

        // Stopped: the ordinary question again.
        screen->poll().cell(cell).state = realtime::CellStopped;
        prompts_->clear();
        prompts_->queueAnswer(Answer::No);
        QVERIFY(!leave(via));
        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("Are you sure you want to exit?")});
        delete screen.data();
    }

    // A stop the unit has not confirmed: the exit gives the units a moment (the screens' real timers tick on
    // meanwhile), then asks, naming the unit and cell, instead of the ordinary question; No keeps the program
    // running, Yes ends it. A unit that confirms within the moment leaves the ordinary question.
    void exitAskedWhileStopOwed_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<bool>("sequence");
        QTest::addColumn<bool>("confirms");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("close box, unit silent, No") << "close box" << false << false << Answer::No;
        QTest::newRow("button, unit silent, Yes") << "button" << false << false << Answer::Yes;
        QTest::newRow("menu, sequence screen, unit silent, No") << "menu" << true << false << Answer::No;
        QTest::newRow("handler, unit confirms meanwhile") << "handler" << false << true << Answer::No;
    }

    void exitAskedWhileStopOwed()
    {
        QFETCH(QString, via);
        QFETCH(bool, sequence);
        QFETCH(bool, confirms);
        QFETCH(Answer, answer);
        platform::setSerialPortFactory([] { return std::make_unique<platform::FakeSerialPort>(); });
        frmMain& w = start(1);
        w.show();
        QPointer<frmSimpleTest> screen = sequence ? new frmSeqTest : new frmSimpleTest;
        (sequence ? Module1::SeqTestForms : Module1::SimpleTestForms)[3] = screen.data();
        screen->setUnits(3);
        auto* port = static_cast<platform::FakeSerialPort*>(screen->MSComm1.get());
        QVERIFY(port->open(3, QStringLiteral("19200,n,8,1")));
        screen->poll().cell(1).state = realtime::CellPreheating;
        screen->StopTest(1);
        QVERIFY(screen->poll().cell(1).stopOwed);
        // The unit: a record every 100 ms reporting the setting 0 once it has the stop, read by the screen's
        // own 500 ms timer.
        QTimer unit;
        QObject::connect(&unit, &QTimer::timeout, [&] { port->receive("A3,70,70,0,2500,0\x1a"); });
        if (confirms) {
            unit.start(100);
            screen->Timer1->start(500);
        }
        prompts_->clear();
        prompts_->queueAnswer(answer);
        QElapsedTimer t;
        t.start();
        const bool ended = leave(via);
        unit.stop();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QCOMPARE(prompts_->shown.front().kind, ScriptedPrompts::Kind::Ask);
        if (confirms) {
            QCOMPARE(prompts_->shown.front().text, QStringLiteral("Are you sure you want to exit?"));
            QVERIFY(!screen->poll().cell(1).stopOwed);
        } else {
            QCOMPARE(prompts_->shown.front().text,
                     realtime::owedStopsQuestion({QStringLiteral("Instrument No. 3, Cell A")},
                                                 realtime::ProgramEndingWithOwedStops));
            QCOMPARE(prompts_->shown.front().buttons, platform::Buttons::YesNo);
            QVERIFY2(t.elapsed() >= qint64(realtime::OwedStopGraceMs) - 20, qPrintable(QString::number(t.elapsed())));
            QVERIFY(screen->poll().cell(1).stopOwed);
        }
        QCOMPARE(ended, answer == Answer::Yes);
        QCOMPARE(w.Ended(), ended);
        delete screen.data();
    }

    // A stopped cell's points wait in its unit's queue while another program holds the database's write
    // lock (a real second connection in BEGIN IMMEDIATE): every way out is refused with the unit screen's
    // message, and the points stay queued. Once the lock is gone the exit stores them and asks as usual.
    void exitRefusedWhilePointsWait_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<bool>("sequence");
        QTest::newRow("close box") << "close box" << false;
        QTest::newRow("button, sequence screen") << "button" << true;
        QTest::newRow("menu") << "menu" << false;
        QTest::newRow("handler, sequence screen") << "handler" << true;
    }

    void exitRefusedWhilePointsWait()
    {
        QFETCH(QString, via);
        QFETCH(bool, sequence);
        platform::ManualClock clock(100000);
        platform::setSerialPortFactory([] { return std::make_unique<platform::FakeSerialPort>(); });
        frmMain& w = start(1);
        w.show();
        QVERIFY(testsupport::storeSampleHeader(7, QStringLiteral("Held")));
        QPointer<frmSimpleTest> screen = sequence ? new frmSeqTest : new frmSimpleTest;
        (sequence ? Module1::SeqTestForms : Module1::SimpleTestForms)[3] = screen.data();
        realtime::UnitPoll& poll = screen->poll();
        poll.cell(2).testId = 7;
        poll.cell(2).startedTestName = QStringLiteral("Held");   // the test the cell was started with
        poll.cell(2).elapsedSeconds = 60;
        {
            testsupport::WriteLock lock;
            QVERIFY(lock.held());
            poll.takePoint(2);   // taken while the cell ran; the cell has stopped since
            QCOMPARE(poll.pendingPoints().size(), std::size_t(1));
            clock.advance(realtime::UnitPoll::StoreRetryMs);   // the exit's own try meets the lock
            prompts_->clear();
            QVERIFY(!leave(via));
            QCOMPARE(prompts_->texts(), QStringList{frmSimpleTest::UnstoredPointsMessage});
            QVERIFY(!w.Ended());
            QVERIFY(w.isVisible());
            QCOMPARE(poll.pendingPoints().size(), std::size_t(1));
        }
        clock.advance(realtime::UnitPoll::StoreRetryMs);
        prompts_->clear();
        prompts_->queueAnswer(Answer::No);
        QVERIFY(!leave(via));
        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("Are you sure you want to exit?")});
        QVERIFY(poll.pendingPoints().empty());
        QCOMPARE(testsupport::sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = 7 AND "
                                                      "RESULT_TIME = 60")),
                 QStringLiteral("1"));
        delete screen.data();
    }

    // ---- opening a test ----

    void openTest_data()
    {
        QTest::addColumn<QString>("how");    // click, type, menu (typed), search
        QTest::addColumn<QString>("text");   // the row's name, the typed text, or the part of a name searched for
        QTest::addColumn<bool>("opens");     // Shale becomes the opened test
        QTest::addColumn<bool>("notFound");  // the not-found message is shown
        QTest::addColumn<int>("row");        // the list's current row before OK (2, the last, when nothing matched)
        QTest::newRow("click a row") << "click" << "Shale" << true << false << 0;
        QTest::newRow("type the name") << "type" << "Shale" << true << false << 0;
        QTest::newRow("menu item, type the name") << "menu" << "Shale" << true << false << 0;
        QTest::newRow("search") << "search" << "hal" << true << false << 0;
        QTest::newRow("a prefix selects but is not a name") << "type" << "BEN" << false << true << 1;
        QTest::newRow("lower-case prefix of a capital name") << "type" << "ben" << false << true << 2;
        QTest::newRow("name in another case") << "type" << "shale" << false << true << 2;
        QTest::newRow("capital name in lower case") << "type" << "bentonite" << false << true << 2;
        QTest::newRow("name not stored") << "type" << "Granite" << false << true << 2;
        QTest::newRow("empty text") << "type" << "" << false << false << -1;
    }

    void openTest()
    {
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(bool, opens);
        QFETCH(bool, notFound);
        QFETCH(int, row);
        QVERIFY(storeLibrary());
        frmMain& w = start(1);
        open(QStringLiteral("Clay"));
        QCOMPARE(w.CurrentTestName, QStringLiteral("Clay"));
        QVERIFY(!w.fOpenTest());
        // Another chart type and two overlaid tests, as the operator may have left them.
        w.cmbChartType->setCurrentIndex(3);
        w.OverlapCount = 3;
        for (std::size_t i : {2, 3}) {
            w.Check1[i]->setText(QStringLiteral("BENTONITE"));
            w.Check1[i]->setChecked(true);
            w.Check1[i]->show();
        }
        w.Frame1->show();
        prompts_->clear();
        modalShown_.clear();

        bool sameDialog = false, upAfterOk = false;
        int currentRow = -1;
        driveSearch_ = [&](frmSearch& s) {
            s.Combo1[1]->setCurrentText(QStringLiteral("TEST_NAME"));
            s.cmbmath1[1]->setCurrentIndex(6);   // " Like "
            s.Text1[1]->setText(text);
            s.cmdSearch_Click();
            if (s.MSFlexGrid1->rowCount() == 1) s.MSFlexGrid1_DblClick(0);
        };
        openDialog(
            [&](frmOpenTest& d) {
                sameDialog = w.fOpenTest() == &d;
                if (how == QLatin1String("click")) d.MSFlexGrid1_Click(rowOf(d, text));
                else if (how == QLatin1String("search")) d.cmdSearch_Click();
                else QTest::keyClicks(d.txtSeqName, text);
                currentRow = d.CurrentRow();
                d.cmdOk_Click();
                upAfterOk = d.isVisible();
            },
            how == QLatin1String("menu"));
        QVERIFY(sameDialog);
        QVERIFY(!w.fOpenTest());   // released when the modal show returns
        QCOMPARE(upAfterOk, !opens);
        if (row >= 0) QCOMPARE(currentRow, row);
        if (how == QLatin1String("search")) QCOMPARE(modalShown_.size(), 2);

        if (notFound) {
            QCOMPARE(prompts_->shown.size(), std::size_t(1));
            const auto& box = prompts_->shown.front();
            QCOMPARE(box.kind, ScriptedPrompts::Kind::Message);
            QCOMPARE(box.text, kNotFound);
            QCOMPARE(box.icon, platform::Icon::None);
            QCOMPARE(box.title, platform::defaultTitle());
        } else {
            QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join(QLatin1Char('|'))));
        }

        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QVERIFY(info);
        if (opens) {
            QCOMPARE(w.CurrentTestName, QStringLiteral("Shale"));
            QCOMPARE(w.CurrentTestId, 12);
            QCOMPARE(w.SampleLength, 1.0);
            QCOMPARE(w.OverlapCount, 1);
            QVERIFY(w.Frame1->isHidden());
            QVERIFY(!w.Check1[1]->isHidden());
            QVERIFY(w.Check1[1]->isChecked());
            QCOMPARE(w.Check1[1]->text(), QStringLiteral("Shale"));
            for (std::size_t i = 2; i <= 8; ++i)
                QVERIFY2(w.Check1[i]->isHidden() && !w.Check1[i]->isChecked(), qPrintable(w.Check1[i]->objectName()));
            QCOMPARE(w.cmbChartType->currentIndex(), 0);
            QCOMPARE(w.resultModel()->rowCount(), 5);
            QCOMPARE(info->TestId(), 12);
            QCOMPARE(info->txtTestInfo[1]->text(), QStringLiteral("Shale"));
            // The swell chart of the opened test alone.
            QCOMPARE(w.Pesgo1->mainTitle(), QStringLiteral("Swell vs. Time"));
            QCOMPARE(w.Pesgo1->subsetCount(), 1);
            QCOMPARE(w.Pesgo1->subsetLabel(0), QStringLiteral("Shale"));
            QCOMPARE(w.Pesgo1->subTitle(), QStringLiteral("Shale"));
            QCOMPARE(w.Pesgo1->drawnX(0).size(), std::size_t(5));
        } else {
            QCOMPARE(w.CurrentTestName, QStringLiteral("Clay"));
            QCOMPARE(w.CurrentTestId, 11);
            QCOMPARE(w.SampleLength, 0.5);
            QCOMPARE(w.OverlapCount, 3);
            QVERIFY(!w.Frame1->isHidden());
            QVERIFY(!w.Check1[2]->isHidden() && w.Check1[2]->isChecked());
            QCOMPARE(w.cmbChartType->currentIndex(), 3);
            QCOMPARE(w.resultModel()->rowCount(), 3);
            QCOMPARE(info->TestId(), 11);
        }
    }

    // A header row that vanished between listing and opening: the defaults, no points, the window usable.
    void openVanishedTest()
    {
        QVERIFY(storeLibrary());
        frmMain& w = start(1);
        openDialog([&](frmOpenTest& d) {
            QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_ID = 12")));
            d.MSFlexGrid1_Click(rowOf(d, QStringLiteral("Shale")));
            d.cmdOk_Click();
        });
        QCOMPARE(w.CurrentTestName, QStringLiteral("Shale"));
        QCOMPARE(w.CurrentTestId, 0);
        QCOMPARE(w.SampleLength, 0.001);
        QCOMPARE(w.resultModel()->rowCount(), 0);
        QCOMPARE(w.Check1[1]->text(), QStringLiteral("Shale"));
        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QCOMPARE(info->txtTestInfo[1]->text(), QString());
        QCOMPARE(info->txtTestInfo[3]->text(), QStringLiteral("UNKOWN"));
        // Another test still opens.
        open(QStringLiteral("Clay"));
        QCOMPARE(w.CurrentTestId, 11);
        QCOMPARE(w.resultModel()->rowCount(), 3);
    }

    // Names are looked up as data: quotes and SQL in a name open exactly that test.
    void openNameWithQuotes()
    {
        QVERIFY(storeLibrary());
        QVERIFY(storeTest(14, QStringLiteral("O''Neil''s clay"), 0.5, std::vector<Point>(2)));
        QVERIFY(storeTest(15, QStringLiteral("x'' OR ''1''=''1"), 0.5, std::vector<Point>(4)));
        frmMain& w = start(1);
        const QList<QPair<QString, int>> cases{{QStringLiteral("O'Neil's clay"), 14}, {QStringLiteral("x' OR '1'='1"), 15}};
        for (const auto& [name, id] : cases) {
            open(name);
            QCOMPARE(w.CurrentTestName, name);
            QCOMPARE(w.CurrentTestId, id);
            QCOMPARE(w.resultModel()->rowCount(), id == 14 ? 2 : 4);
            QCOMPARE(w.Pesgo1->subsetLabel(0), name);
            QCOMPARE(w.Pesgo1->drawnX(0).size(), std::size_t(id == 14 ? 2 : 4));
        }
        QVERIFY(prompts_->shown.empty());
    }

    // ---- the result grid ----

    void gridTexts_data()
    {
        QTest::addColumn<int>("flag");        // unit flag of "initial.txt"; -1: no file
        QTest::addColumn<double>("length");   // SAMPLE_LENGTH, inches
        QTest::addColumn<QString>("field");   // the value of the point set for the case
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("step 0 shows 1") << 1 << 1.0 << "step" << 0.0 << 0 << "1";
        QTest::newRow("step 12") << 1 << 1.0 << "step" << 12.0 << 0 << "12";
        QTest::newRow("25 h 1 min 1 s") << 1 << 1.0 << "time" << 90061.0 << 1 << "25:01:01";
        QTest::newRow("a week") << 1 << 1.0 << "time" << 500005.0 << 1 << "138:53:25";
        QTest::newRow("59 s") << 1 << 1.0 << "time" << 59.0 << 1 << "00:00:59";
        QTest::newRow("temperature English, half up") << 1 << 1.0 << "temp" << 150.5 << 2 << "151";
        QTest::newRow("temperature SI 212 F") << 2 << 1.0 << "temp" << 212.0 << 2 << "100";
        QTest::newRow("temperature SI 150 F") << 2 << 1.0 << "temp" << 150.0 << 2 << "66";
        QTest::newRow("temperature SI below zero") << 2 << 1.0 << "temp" << 0.0 << 2 << "-18";
        QTest::newRow("temperature without settings is SI") << -1 << 1.0 << "temp" << 212.0 << 2 << "100";
        QTest::newRow("pressure English") << 1 << 1.0 << "press" << 199.5 << 3 << "200";
        QTest::newRow("pressure SI is psi") << 2 << 1.0 << "press" << 199.4 << 3 << "199";
        QTest::newRow("length change 0 English") << 1 << 1.0 << "height" << 0.0 << 4 << "0.";
        QTest::newRow("length change English 4 decimals") << 1 << 1.0 << "height" << 0.123456 << 4 << "0.1235";
        QTest::newRow("length change English whole") << 1 << 1.0 << "height" << 3.0 << 4 << "3.";
        QTest::newRow("length change English negative") << 1 << 1.0 << "height" << -0.02 << 4 << "-0.02";
        QTest::newRow("length change SI 0.1 in") << 2 << 1.0 << "height" << 0.1 << 4 << "2.54";
        QTest::newRow("length change SI 0.12345 in") << 2 << 1.0 << "height" << 0.12345 << 4 << "3.14";
        QTest::newRow("length change SI 0") << 2 << 1.0 << "height" << 0.0 << 4 << "0.";
        QTest::newRow("length change without settings is mm") << -1 << 1.0 << "height" << 1.0 << 4 << "25.4";
        QTest::newRow("swell") << 1 << 0.5 << "height" << 0.0123 << 5 << "2.5%";
        QTest::newRow("swell whole percent") << 1 << 1.0 << "height" << 0.08 << 5 << "8.%";
        QTest::newRow("swell the same in SI") << 2 << 0.5 << "height" << 0.0123 << 5 << "2.5%";
        QTest::newRow("swell of a shrinking sample") << 1 << 0.5 << "height" << -0.001 << 5 << "-0.2%";
        QTest::newRow("swell against 0.001 for length 0") << 1 << 0.0 << "height" << 0.0001 << 5 << "10.%";
        QTest::newRow("swell against 0.001 for a negative length") << 1 << -2.0 << "height" << 0.00002 << 5 << "2.%";
        QTest::newRow("voltage 11 decimals") << 1 << 1.0 << "volt" << 1.23456789012345 << 6 << "1.23456789012";
        QTest::newRow("voltage short") << 1 << 1.0 << "volt" << 2.5 << 6 << "2.5";
        QTest::newRow("voltage small negative") << 1 << 1.0 << "volt" << -0.000123 << 6 << "-0.000123";
        QTest::newRow("voltage 0") << 1 << 1.0 << "volt" << 0.0 << 6 << "0.";
        QTest::newRow("bath English") << 1 << 1.0 << "bath" << 150.25 << 7 << "150.3";
        QTest::newRow("bath SI whole") << 2 << 1.0 << "bath" << 212.0 << 7 << "100.";
        QTest::newRow("bath SI") << 2 << 1.0 << "bath" << 150.0 << 7 << "65.6";
    }

    void gridTexts()
    {
        QFETCH(int, flag);
        QFETCH(double, length);
        QFETCH(QString, field);
        QFETCH(double, value);
        QFETCH(int, column);
        QFETCH(QString, text);
        Point p;
        double* slot = field == QLatin1String("step")    ? &p.step
                     : field == QLatin1String("time")    ? &p.time
                     : field == QLatin1String("temp")    ? &p.temp
                     : field == QLatin1String("bath")    ? &p.bath
                     : field == QLatin1String("press")   ? &p.press
                     : field == QLatin1String("height")  ? &p.height
                                                         : &p.volt;
        *slot = value;
        QVERIFY(storeTest(21, QStringLiteral("Edge"), length, {p}));
        frmMain& w = start(flag);
        open(QStringLiteral("Edge"));
        QCOMPARE(w.CurrentTestName, QStringLiteral("Edge"));
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(w.SampleLength, length > 0 ? length : 0.001);
        ResultGridModel* m = w.resultModel();
        QCOMPARE(m->rowCount(), 1);
        QCOMPARE(m->text(0, column), text);
        QCOMPARE(m->data(m->index(0, column), Qt::DisplayRole).toString(), text);
    }

    // The rows of the opened test only, in time order; a test without points leaves the heading only.
    void gridRows()
    {
        std::vector<Point> clay(4);
        const double times[4] = {300, 0, 120, 60};
        const double steps[4] = {4, 1, 3, 2};
        for (std::size_t i = 0; i < 4; ++i) {
            clay[i].time = times[i];
            clay[i].step = steps[i];
            clay[i].height = times[i] / 600;   // 0.5 in. at 300 s
        }
        Point other;
        other.time = 30;
        QVERIFY(storeTest(11, QStringLiteral("Clay"), 0.5, clay));
        QVERIFY(storeTest(12, QStringLiteral("Shale"), 1, {other}));
        QVERIFY(storeTest(13, QStringLiteral("Empty"), 1, {}));
        frmMain& w = start(1);
        ResultGridModel* m = w.resultModel();

        open(QStringLiteral("Clay"));
        QStringList stepTexts, timeTexts;
        for (int r = 0; r < m->rowCount(); ++r) {
            stepTexts << m->text(r, 0);
            timeTexts << m->text(r, 1);
        }
        QCOMPARE(timeTexts, (QStringList{"00:00:00", "00:01:00", "00:02:00", "00:05:00"}));
        QCOMPARE(stepTexts, (QStringList{"1", "2", "3", "4"}));
        // A later change of the unit system does not change texts shown under the headings of the fill.
        QCOMPARE(m->text(3, 4), QStringLiteral("0.5"));
        QCOMPARE(m->text(3, 2), QStringLiteral("75"));
        Module1::UnitSystem = 2;
        QCOMPARE(m->text(3, 4), QStringLiteral("0.5"));
        QCOMPARE(m->text(3, 2), QStringLiteral("75"));
        QCOMPARE(m->heading(4), QStringLiteral("Length Change (in.)"));
        Module1::UnitSystem = 1;

        open(QStringLiteral("Empty"));
        QCOMPARE(w.CurrentTestName, QStringLiteral("Empty"));
        QCOMPARE(w.CurrentTestId, 13);
        QCOMPARE(m->rowCount(), 0);
        QCOMPARE(m->columnCount(), 8);
        QCOMPARE(m->heading(0), QStringLiteral("Step No"));
        QCOMPARE(w.Check1[1]->text(), QStringLiteral("Empty"));
        QVERIFY(prompts_->shown.empty());
    }

    // Opening another test shows its grid from the first row, whatever the previous test was scrolled to.
    void gridStartsAtFirstRow()
    {
        std::vector<Point> points(400);
        for (std::size_t i = 0; i < points.size(); ++i) points[i].time = double(i);
        QVERIFY(storeTest(11, QStringLiteral("Clay"), 1, points));
        QVERIFY(storeTest(12, QStringLiteral("Shale"), 1, points));
        frmMain& w = start(1);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTableView* grid = w.MSFlexGrid1;
        open(QStringLiteral("Clay"));
        QApplication::processEvents();
        grid->scrollToBottom();
        QApplication::processEvents();
        QVERIFY(grid->verticalScrollBar()->value() > 0);
        open(QStringLiteral("Shale"));
        QApplication::processEvents();
        QCOMPARE(w.CurrentTestName, QStringLiteral("Shale"));
        QCOMPARE(grid->verticalScrollBar()->value(), 0);
        QCOMPARE(grid->rowAt(0), 0);
    }

    // The demo database holds volts as a unit reports them (millivolts with one decimal), so its grid's
    // voltage column shows whole texts, not a clipped run of decimals.
    void demoDatabaseVolts()
    {
        for (const char* f : {"Torvan.accdb", "Torvan.accdb-wal", "Torvan.accdb-shm"}) QFile::remove(dir_->file(f));
        QProcess initdb;
        initdb.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/initdb/veduvovir-initdb"),
                     {QStringLiteral("--demo"), dir_->path()});
        QVERIFY(initdb.waitForFinished());
        QCOMPARE(initdb.exitCode(), 0);
        const QString name = testsupport::sqlValue(QStringLiteral("SELECT TEST_NAME FROM TEST_INFO"));
        QVERIFY(!name.isEmpty());
        frmMain& w = start(1);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        open(name);
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        ResultGridModel* m = w.resultModel();
        QVERIFY(m->rowCount() > 0);
        const QFontMetrics metrics(w.MSFlexGrid1->font());
        const int room = w.MSFlexGrid1->columnWidth(6) - 2 * (w.MSFlexGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        for (int r = 0; r < m->rowCount(); ++r) {
            const QString volts = m->text(r, 6);
            const qsizetype point = volts.indexOf(QLatin1Char('.'));
            QVERIFY2(point >= 0 && volts.size() - point - 1 <= 4, qPrintable(QString::number(r) + ": " + volts));
            QVERIFY2(metrics.horizontalAdvance(volts) <= room, qPrintable(volts));
        }
    }

    // ---- test information ----

    void testInformation_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("lengthBox");
        QTest::newRow("English") << 1 << 0.123456 << "0.12";
        QTest::newRow("English whole") << 1 << 2.0 << "2.";
        QTest::newRow("SI") << 2 << 0.123456 << "3.14";
        QTest::newRow("SI stored length 0") << 2 << 0.0 << "0.";
    }

    void testInformation()
    {
        QFETCH(int, flag);
        QFETCH(double, length);
        QFETCH(QString, lengthBox);
        QVERIFY(storeTest(11, QStringLiteral("Clay"), length, {Point{}}));
        frmMain& w = start(flag);
        auto* info = Module1::form<frmTestInfo>(Module1::TestInfoForm);
        QVERIFY(info);

        // Nothing opened yet: the button does nothing.
        w.cmdRelated->click();
        QVERIFY(!info->isVisible());
        QVERIFY(prompts_->shown.empty());

        open(QStringLiteral("Clay"));
        w.cmdRelated->click();
        QVERIFY(info->isVisible());
        QCOMPARE(info->TestId(), w.CurrentTestId);
        QCOMPARE(w.CurrentTestId, 11);
        const QStringList boxes{"Clay", "1/2/2020 10:03:04 AM", "Kim",        "12.5",       lengthBox, "3",
                                "grey clay", "300.46",           "5", "01/02/2020", "brine"};
        for (std::size_t k = 1; k <= 11; ++k) QCOMPARE(info->txtTestInfo[k]->text(), boxes[int(k) - 1]);

        // Pressed again: refilled from the database, an edit that was not saved is gone.
        info->txtTestInfo[3]->setText(QStringLiteral("typed, not saved"));
        info->txtTestInfo[7]->setText(QStringLiteral("typed too"));
        QVERIFY(sqlExec(QStringLiteral("UPDATE TEST_INFO SET RESEARCHER_NAME = 'Lee' WHERE TEST_ID = 11")));
        info->cmdCancel_Click();
        QVERIFY(!info->isVisible());
        w.cmdRelated->click();
        QVERIFY(info->isVisible());
        QCOMPARE(info->txtTestInfo[3]->text(), QStringLiteral("Lee"));
        QCOMPARE(info->txtTestInfo[7]->text(), QStringLiteral("grey clay"));
        QVERIFY(prompts_->shown.empty());
    }

    // ---- other windows ----

    void realTimeWindowReused()
    {
        int portsMade = 0;
        platform::setSerialPortFactory([&] {
            ++portsMade;
            return std::make_unique<platform::FakeSerialPort>();
        });
        frmMain& w = start(1);
        w.show();
        QVERIFY(!w.RealTimeWindow());
        w.cmdRealTime->click();
        QPointer<frmMDIRealTime> first = w.RealTimeWindow();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(w.isVisible());

        first->hide();
        w.MenuFileRealTimeTest->trigger();
        QCOMPARE(w.RealTimeWindow(), first.data());
        QVERIFY(first->isVisible());
        w.cmdRealTime_Click();
        QCOMPARE(w.RealTimeWindow(), first.data());
        QVERIFY(w.isVisible());
        QCOMPARE(portsMade, 0);
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join(QLatin1Char('|'))));
    }

    void aboutBoxReused()
    {
        frmMain& w = start(1);
        QList<QPointer<QDialog>> shown;
        bool modal = false, closedByOk = false;
        QString ok;
        driveOther_ = [&](QDialog& d) {
            shown << QPointer<QDialog>(&d);
            modal = d.isModal();
            auto* about = qobject_cast<frmabout*>(&d);
            if (!about) return;
            ok = about->Command1->text();
            about->Command1->click();
            closedByOk = !about->isVisible();
        };
        w.MenuHelpAbout->trigger();
        QCOMPARE(shown.size(), 1);
        QVERIFY(qobject_cast<frmabout*>(shown[0].data()));
        QCOMPARE(w.AboutBox(), shown[0].data());
        QVERIFY(modal);
        QCOMPARE(ok, QStringLiteral("&OK"));
        QVERIFY(closedByOk);

        closedByOk = false;
        w.MenuHelpAbout_Click();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0]);
        QCOMPARE(shown[1].data(), shown[0].data());
        QCOMPARE(w.AboutBox(), shown[0].data());
        QVERIFY(closedByOk);
    }

    // ---- layout ----

    void layout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("inner");   // the size is the inner size (central widget), else the window's
        QTest::newRow("design") << QSize(frmMain::DesignWidth, frmMain::DesignHeight) << true;
        QTest::newRow("maximised") << QSize(1920, 1080) << false;
    }

    // Every control inside the window, none overlapping another, texts not clipped, with a demo test open.
    void layout()
    {
        QFETCH(QSize, size);
        QFETCH(bool, inner);
        const QString demo = QStringLiteral("Bentonite 12% KCl brine");
        // Five hours of a swelling clay, a point a minute: swell towards 8 %, the cell warmed to 150 °F at
        // 200 psi.
        std::vector<Point> points;
        const double length = 0.5;
        for (int k = 0; k <= 300; ++k) {
            const double t = 60.0 * k;
            Point p;
            p.step = 1;
            p.time = t;
            p.temp = 150 - 75 * std::exp(-t / 900) + 0.3 * std::sin(k / 7.0);
            p.bath = 151 - 75 * std::exp(-t / 800);
            p.press = 200 + 1.5 * std::sin(k / 11.0);
            p.height = length * 0.08 * (1 - std::exp(-t / 5400));
            p.volt = 2.5 + 4 * p.height;
            points.push_back(p);
        }
        QVERIFY(storeTest(1, QStringLiteral("Sand pack 3"), 1, {Point{}}, QStringLiteral("2024-02-01 09:00:00")));
        QVERIFY(storeTest(2, QStringLiteral("Shale core B-7 fresh water"), 0.75, {Point{}},
                          QStringLiteral("2024-02-12 14:30:00")));
        QVERIFY(storeTest(3, demo, length, points, QStringLiteral("2024-03-05 08:15:00")));
        QVERIFY(storeTest(4, QStringLiteral("Kaolinite reference"), 1, {Point{}}, QStringLiteral("2024-03-18 16:45:00")));

        const QString folder = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        frmMain& w = start(1);
        w.show();
        bool dialogSaved = false;
        openDialog([&](frmOpenTest& d) {
            d.MSFlexGrid1_Click(rowOf(d, demo));
            if (!folder.isEmpty() && tag == QLatin1String("design")) {
                QCoreApplication::processEvents();
                const QString file = QDir(folder).filePath(QStringLiteral("opentest.png"));
                dialogSaved = d.grab().save(file);
                qInfo("screenshot: %s", qPrintable(file));
            }
            d.cmdOk_Click();
        });
        QCOMPARE(w.CurrentTestName, demo);
        QCOMPARE(w.resultModel()->rowCount(), 301);
        if (!folder.isEmpty() && tag == QLatin1String("design")) QVERIFY(dialogSaved);

        w.setWindowState(Qt::WindowNoState);
        w.resize(size);
        QCoreApplication::processEvents();
        QWidget* central = w.centralWidget();
        QVERIFY(central);
        if (inner) {
            w.resize(w.size() + (size - central->size()));
            QCoreApplication::processEvents();
            QCOMPARE(central->size(), size);
        } else {
            QCOMPARE(w.size(), size);
        }

        QStringList faults = layoutFaults(central, central->rect());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

        if (!folder.isEmpty()) {
            const QString file = QDir(folder).filePath(QStringLiteral("main-%1.png").arg(tag));
            QVERIFY(w.grab().save(file));
            qInfo("screenshot: %s", qPrintable(file));
        }

        // A full overlay list of short names fits as well: the frame among the other controls, its eight boxes
        // inside it.
        const QStringList names{"Bentonite 1", "Sand pack 3", "Shale B-7", "Kaolinite 2",
                                "Bentonite 4", "Sand pack 5", "Shale B-8", "Kaolinite 6"};
        for (std::size_t i = 1; i <= 8; ++i) {
            w.Check1[i]->setText(names[int(i) - 1]);
            w.Check1[i]->setChecked(true);
            w.Check1[i]->show();
        }
        w.Frame1->show();
        QCoreApplication::processEvents();
        faults = layoutFaults(central, central->rect());
        faults << layoutFaults(w.Frame1, w.Frame1->rect().adjusted(0, QFontMetrics(w.Frame1->font()).height(), 0, 0));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(MainWindow)
#include "tst_mainwindow.moc"
