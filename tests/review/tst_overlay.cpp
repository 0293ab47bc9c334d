// The overlay of stored tests on the main window's single-axis charts: the overlay dialog (caption, labels,
// list headings and widths, newest first, row 1 current with an empty name box, click, double-click, OK,
// Cancel and the window's close box) and the main window's overlay list (no test open, the exact lookup,
// the limit of eight, duplicates, the redraw after an addition, the dialog made at start-up, a list that
// cannot be read, the shared record objects replaced under the charts).
//
// Screenshot: with VEDUVOVIR_SCREENSHOTS set to a folder, screenshot() saves overlay-main.png (four tests
// on "Swell Vs Time") and overlay-dialog.png there, e.g.
//   VEDUVOVIR_SCREENSHOTS=/tmp xvfb-run -a -s "-screen 0 1920x1080x24" \
//       env QT_QPA_PLATFORM=xcb build/review_tst_overlay screenshot
#include "ChartView.h"
#include "MainWindowRig.h"
#include "TestSupport.h"

#include "platform/Chart.h"
#include "platform/GridHelpers.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"
#include "review/frmOverlapTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using platform::ScriptedPrompts;
using testsupport::ChartView;
using testsupport::sqlExec;

namespace {

const QString kNotFound = QStringLiteral("Your test name is not found.  Please try again.");
const QString kNoTest = QStringLiteral("No opened test to overlap; Please open one test first.");
const QString kLimit = QStringLiteral("Veduvovir cannot overlap more than 8 tests");

// A test of `points` points, one a minute, swelling 0.01 in. a minute on a 1 in. sample (swell 1 % a
// minute) times `rate`.
bool storeTest(int id, const QString& name, const QString& date, int points, double rate = 1)
{
    if (!sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, SAMPLE_LENGTH, "
                                "SAMPLE_description, FLUID_INFO) VALUES (%1, '%2', '%3', 1, 'clay %1', 'brine %1')")
                     .arg(id)
                     .arg(name, date)))
        return false;
    if (points == 0) return true;
    return sqlExec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %2) "
                                  "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                  "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) "
                                  "SELECT %1, 1, i * 60, 150, 150, 300, i * 0.01 * %3, 2.5 FROM k")
                       .arg(id)
                       .arg(points - 1)
                       .arg(rate));
}

// Stored oldest first; the dialog lists them newest first: Delta, Gamma, Beta, Alpha.
const QStringList kNewestFirst{"Delta", "Gamma", "Beta", "Alpha"};

} // namespace

class Overlay : public QObject, private MainWindowRig {
    Q_OBJECT

private:
    // Works the overlay dialog while its modal show is up (the dialog is shown first, as exec would).
    std::function<void(frmOverlapTest&)> driveOverlap_;
    QList<QPointer<QDialog>> modalShown_;
    bool overlapStillUp_ = false;   // the dialog was still shown when the driver was done

    frmMain& start()
    {
        return startMainWindow(SettingsFile::text({}, 2));
    }

    bool open(const QString& name)
    {
        w_->cmdOpen_Click();
        return w_->CurrentTestName == name && prompts_->shown.empty();
    }
    QString openName_;

    // Presses "Overlap Charts" with drive working the dialog; a dialog still up afterwards is cancelled.
    void overlay(std::function<void(frmOverlapTest&)> drive)
    {
        driveOverlap_ = std::move(drive);
        w_->cmdOverlap->click();
        driveOverlap_ = nullptr;
    }
    // Adds a test through the dialog: a click on its row, then OK.
    void add(const QString& name)
    {
        overlay([&](frmOverlapTest& d) {
            const int row = d.FindName(name);
            QVERIFY2(row >= 0, qPrintable(name));
            d.MSFlexGrid1_Click(row);
            d.cmdOk_Click();
        });
    }

    // The captions of the visible boxes 1..8, with the ticked ones marked "+".
    QStringList entries() const
    {
        QStringList out;
        for (int i = 1; i <= 8; ++i) {
            const QCheckBox* box = w_->Check1[std::size_t(i)];
            if (!box->isHidden()) out << (box->isChecked() ? "+" : "") + box->text();
        }
        return out;
    }
    ChartView chart() const { return ChartView::of(*w_->Pesgo1); }

private slots:
    void init()
    {
        freshFolder();
        modalShown_.clear();
        QVERIFY(storeTest(1, "Alpha", "2021-01-01 10:00:00", 3));
        QVERIFY(storeTest(2, "Beta", "2021-02-01 10:00:00", 4, 2));
        QVERIFY(storeTest(3, "Gamma", "2021-03-01 10:00:00", 5, 3));
        QVERIFY(storeTest(4, "Delta", "2021-04-01 10:00:00", 0));
        platform::setModalHandler([this](QDialog& d) {
            modalShown_ << QPointer<QDialog>(&d);
            if (auto* open = qobject_cast<frmOpenTest*>(&d)) {
                open->txtSeqName->setText(openName_);
                open->cmdOk_Click();
            } else if (auto* over = qobject_cast<frmOverlapTest*>(&d)) {
                over->show();
                if (driveOverlap_) driveOverlap_(*over);
                overlapStillUp_ = over->isVisible();
                if (over->isVisible()) over->cmdCancel_Click();
            }
            d.hide();
            return 0;
        });
        openName_ = QStringLiteral("Alpha");
    }

    void cleanup()
    {
        platform::setModalHandler({});
        driveOverlap_ = nullptr;
        releaseAll();
    }

    // ---- the dialog ----

    // Made at start-up, not loaded and not shown; every press of the button makes a fresh one.
    void dialogAtStartUp()
    {
        frmMain& w = start();
        QPointer<frmOverlapTest> first = w.fOverLap();
        QVERIFY(first);
        QVERIFY(!first->IsLoaded());
        QVERIFY(first->isHidden());
        QVERIFY(open("Alpha"));
        QPointer<frmOverlapTest> during;
        bool shown = false;
        overlay([&](frmOverlapTest& d) {
            during = &d;
            shown = d.IsLoaded() && w.fOverLap() == &d;
        });
        QVERIFY(shown);
        QVERIFY(!first);   // replaced by the one the button made
        QVERIFY(!during);  // and that one let go when its modal show ended
        QVERIFY(!w.fOverLap());
    }

    // Caption, labels, buttons, headings (two lines each, spelled as the list has them), widths, the tests
    // newest first with the first row current and the name box empty.
    void dialogLooks()
    {
        start();
        QVERIFY(open("Alpha"));
        bool seen = false;
        overlay([&](frmOverlapTest& d) {
            seen = true;
            QCOMPARE(d.windowTitle(), QStringLiteral("Overlap Saved Test"));
            QCOMPARE(d.findChild<QLabel*>("Label1")->text(), QStringLiteral("Select a saved test name:"));
            QCOMPARE(d.findChild<QLabel*>("Label2")->text(), QStringLiteral("Enter a new test name:"));
            QCOMPARE(d.findChild<QPushButton*>("cmdOk")->text(), QStringLiteral("&OK"));
            QCOMPARE(d.findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("&Cancel"));
            auto* grid = d.findChild<QTableWidget*>("MSFlexGrid1");
            auto* name = d.findChild<QLineEdit*>("txtSeqName");
            QVERIFY(grid && name);
            QCOMPARE(grid->columnCount(), 4);
            const QStringList headings{"Test\nName", "Test\nTime", "Sample\nDescritione", "Fluid\nInfomation"};
            for (int c = 0; c < 4; ++c) {
                QCOMPARE(grid->horizontalHeaderItem(c)->text(), headings[c]);
                QCOMPARE(grid->columnWidth(c), platform::grid::twipsToPixels(1800));
            }
            QCOMPARE(grid->rowCount(), kNewestFirst.size());
            for (int r = 0; r < kNewestFirst.size(); ++r) QCOMPARE(grid->item(r, 0)->text(), kNewestFirst[r]);
            QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("3/1/2021 10:00:00 AM"));
            QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("clay 3"));
            QCOMPARE(grid->item(1, 3)->text(), QStringLiteral("brine 3"));
            QCOMPARE(d.CurrentRow(), 0);
            QVERIFY(name->text().isEmpty());
        });
        QVERIFY(seen);
    }

    // An empty test table: the heading row alone, and a typed name is never found.
    void emptyTable()
    {
        QVERIFY(sqlExec("DELETE FROM TEST_RESULT") && sqlExec("DELETE FROM TEST_INFO"));
        frmMain& w = start();
        // A test opened before the table was emptied is still the opened test.
        w.CurrentTestName = QStringLiteral("Alpha");
        w.OverlapCount = 1;
        w.cmdOverlap->setEnabled(true);
        overlay([&](frmOverlapTest& d) {
            QCOMPARE(d.ListCount(), 0);
            QCOMPARE(d.CurrentRow(), -1);
            d.cmdOk_Click();
            QVERIFY(prompts_->shown.empty());
            d.txtSeqName->setText(QStringLiteral("Alpha"));
            d.cmdOk_Click();
        });
        QCOMPARE(prompts_->texts(), QStringList{kNotFound});
        QCOMPARE(w.OverlapCount, 1);
        QVERIFY(overlapStillUp_);
    }

    // ---- the main window's list ----

    // No test open: the message with its title, no frame, no dialog.
    void noTestOpen()
    {
        frmMain& w = start();
        w.cmdOverlap->setEnabled(true);
        w.cmdOverlap->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QCOMPARE(prompts_->shown[0].text, kNoTest);
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Operation Error"));
        QCOMPARE(prompts_->shown[0].buttons, platform::Buttons::OK);
        QVERIFY(w.Frame1->isHidden());
        QVERIFY(modalShown_.isEmpty());
        QCOMPARE(w.OverlapCount, 0);
    }

    // Ways of leaving the dialog without adding: Cancel, the close box, OK with nothing chosen (the dialog
    // stays up), a name in another case (not found, the dialog stays up). Entry 1 only, the frame shown,
    // the chart as before.
    void nothingAdded_data()
    {
        QTest::addColumn<QString>("typed");    // typed into the name box first ("" none)
        QTest::addColumn<QString>("action");   // "cancel", "close", "ok"
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("stillUp");
        QTest::newRow("cancel") << "" << "cancel" << QStringList{} << false;
        QTest::newRow("close box") << "" << "close" << QStringList{} << false;
        QTest::newRow("OK without a choice") << "" << "ok" << QStringList{} << true;
        QTest::newRow("OK, name in another case") << "beta" << "ok" << QStringList{kNotFound} << true;
        QTest::newRow("OK, name with a blank after it") << "Beta " << "ok" << QStringList{kNotFound} << true;
        QTest::newRow("cancel after a click") << "Beta" << "cancel" << QStringList{} << false;
        QTest::newRow("OK, test deleted since the list was read") << "Beta" << "delete, ok" << QStringList{kNotFound}
                                                                  << true;
    }
    void nothingAdded()
    {
        QFETCH(QString, typed);
        QFETCH(QString, action);
        QFETCH(QStringList, messages);
        QFETCH(bool, stillUp);
        frmMain& w = start();
        QVERIFY(open("Alpha"));
        const ChartView before = chart();
        overlay([&](frmOverlapTest& d) {
            if (!typed.isEmpty()) d.txtSeqName->setText(typed);
            if (action == "cancel") d.cmdCancel->click();
            else if (action == "close") d.close();
            else if (action == "delete, ok") {
                QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_NAME = '%1'").arg(typed)));
                d.cmdOk->click();
            } else d.cmdOk->click();
        });
        QCOMPARE(prompts_->texts(), messages);
        QCOMPARE(overlapStillUp_, stillUp);
        QCOMPARE(w.OverlapCount, 1);
        QCOMPARE(entries(), QStringList{"+Alpha"});
        QVERIFY(!w.Frame1->isHidden());
        QVERIFY2(chart() == before, qPrintable(chart().describe()));
    }

    // A chosen test is appended ticked, the dialog goes, and the chart is redrawn with it as the last
    // subset: by a click and OK, by a double-click, by a typed name and OK; the redraw uses the record
    // objects that the dialog put in place.
    void addOne_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("click, OK") << "click";
        QTest::newRow("double-click") << "double";
        QTest::newRow("typed, OK") << "typed";
    }
    void addOne()
    {
        QFETCH(QString, how);
        frmMain& w = start();
        QVERIFY(open("Alpha"));
        const void* infoBefore = Module1::TestInfo.get();
        overlay([&](frmOverlapTest& d) {
            QCOMPARE(d.FindName("Gamma"), 1);
            auto* grid = d.MSFlexGrid1;
            const QRect cell = grid->visualItemRect(grid->item(1, 2));
            if (how == "click") {
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
                QCOMPARE(d.txtSeqName->text(), QStringLiteral("Gamma"));
                QCOMPARE(grid->currentColumn(), 0);
                d.cmdOk->click();
            } else if (how == "double") {
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            } else {
                d.txtSeqName->setText(QStringLiteral("Gamma"));
                d.cmdOk->click();
            }
            QVERIFY(!d.isVisible());
        });
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QVERIFY(Module1::TestInfo.get() != infoBefore);
        QCOMPARE(w.OverlapCount, 2);
        QCOMPARE(entries(), (QStringList{"+Alpha", "+Gamma"}));
        QVERIFY(!w.Frame1->isHidden());
        const ChartView c = chart();
        QCOMPARE(c.subsetLabels, (QStringList{"Alpha", "Gamma"}));
        QCOMPARE(c.y[1], (std::vector<double>{0, 3, 6, 9, 12}));
        QCOMPARE(c.y[0], (std::vector<double>{0, 1, 2}));
        QCOMPARE(c.subTitle, QStringLiteral("Alpha"));
        QVERIFY(w.cmdOverlap->isEnabled());
    }

    // A name with "&" is shown literally in the boxes (no accelerator), and its entries draw that test.
    void ampersandInName()
    {
        QVERIFY(storeTest(5, "Salt & Sand", "2021-05-01 10:00:00", 3, 2));
        frmMain& w = start();
        openName_ = QStringLiteral("Salt & Sand");
        QVERIFY(open("Salt & Sand"));
        add(QStringLiteral("Salt & Sand"));
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(w.OverlapCount, 2);
        for (int i = 1; i <= 2; ++i) {
            const QCheckBox* box = w.Check1[std::size_t(i)];
            QVERIFY2(QKeySequence::mnemonic(box->text()).isEmpty(), qPrintable(box->text()));
            QCOMPARE(QString(box->text()).replace(QStringLiteral("&&"), QStringLiteral("&")),
                     QStringLiteral("Salt & Sand"));
        }
        const ChartView c = chart();
        QCOMPARE(c.subsetLabels, (QStringList{"Salt & Sand", "Salt & Sand"}));
        QCOMPARE(c.y[1], (std::vector<double>{0, 2, 4}));
    }

    // Seven added tests fill entries 2 to 8 (the opened test and a test without points may be listed more
    // than once and are drawn each time); the ninth is refused with its message, the dialog goes, the
    // entries and the chart stay as they were.
    void limitOfEight()
    {
        frmMain& w = start();
        QVERIFY(open("Alpha"));
        const QStringList added{"Beta", "Alpha", "Gamma", "Delta", "Beta", "Alpha", "Gamma"};
        for (const QString& name : added) add(name);
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(w.OverlapCount, 8);
        QStringList expected{"+Alpha"};
        for (const QString& name : added) expected << "+" + name;
        QCOMPARE(entries(), expected);
        ChartView c = chart();
        QCOMPARE(c.subsetLabels, QStringList({"Alpha"}) + added);
        QCOMPARE(c.x[1].size(), std::size_t(4));   // Beta
        QCOMPARE(c.y[2], c.y[0]);                  // the opened test drawn twice
        QVERIFY(c.x[4].empty());                   // Delta: labelled, no points

        // Unticked boxes stay as the operator left them through the refused ninth.
        w.Check1[3]->setChecked(false);
        const ChartView before = chart();
        add("Gamma");
        QCOMPARE(prompts_->texts(), QStringList{kLimit});
        QCOMPARE(prompts_->shown[0].title, platform::defaultTitle());
        QVERIFY(!overlapStillUp_);
        QCOMPARE(w.OverlapCount, 8);
        expected[2] = expected[2].mid(1);
        QCOMPARE(entries(), expected);
        QVERIFY2(chart() == before, qPrintable(chart().describe()));
    }

    // Opening another test clears the list; the overlay list survives chart-type changes, and the
    // multi-axis types disable the button.
    void listLifecycle()
    {
        frmMain& w = start();
        QVERIFY(open("Alpha"));
        add("Beta");
        w.cmbChartType->setCurrentIndex(1);
        QCOMPARE(chart().subsetLabels, (QStringList{"Alpha", "Beta"}));
        w.cmbChartType->setCurrentIndex(2);
        QVERIFY(!w.cmdOverlap->isEnabled());
        QCOMPARE(entries(), (QStringList{"+Alpha", "+Beta"}));
        openName_ = QStringLiteral("Gamma");
        QVERIFY(open("Gamma"));
        QCOMPARE(w.OverlapCount, 1);
        QCOMPARE(entries(), QStringList{"+Gamma"});
        QVERIFY(w.Frame1->isHidden());
    }

    // A list that cannot be read: the database's message, no dialog, the list unchanged.
    void listUnreadable()
    {
        frmMain& w = start();
        QVERIFY(open("Alpha"));
        QVERIFY(sqlExec("ALTER TABLE TEST_INFO RENAME TO TEST_INFO_AWAY"));
        w.cmdOverlap->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QVERIFY(!prompts_->shown[0].text.isEmpty());
        QCOMPARE(prompts_->shown[0].title, platform::defaultTitle());
        QVERIFY(modalShown_.size() == 1);   // the open dialog only
        QCOMPARE(w.OverlapCount, 1);
        QCOMPARE(entries(), QStringList{"+Alpha"});
    }

    // ---- screenshot ----

    void screenshot()
    {
        const QString folder = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
        QVERIFY(storeTest(5, "Epsilon", "2021-05-01 10:00:00", 40, 0.5));
        QVERIFY(storeTest(6, "Zeta", "2021-06-01 10:00:00", 60, 0.25));
        sqlExec("UPDATE TEST_RESULT SET RESULT_HEIGHT_CHANGE = RESULT_HEIGHT_CHANGE * 0.2 WHERE TEST_ID IN (2, 3)");
        frmMain& w = start();
        w.show();
        QVERIFY(open("Alpha"));
        add("Beta");
        add("Gamma");
        add("Zeta");
        QCOMPARE(chart().subsetLabels, (QStringList{"Alpha", "Beta", "Gamma", "Zeta"}));
        bool dialogSaved = folder.isEmpty();
        overlay([&](frmOverlapTest& d) {
            d.MSFlexGrid1_Click(d.FindName("Epsilon"));
            if (folder.isEmpty()) return;
            QCoreApplication::processEvents();
            const QString file = QDir(folder).filePath(QStringLiteral("overlay-dialog.png"));
            dialogSaved = d.grab().save(file);
            qInfo("screenshot: %s", qPrintable(file));
        });
        QVERIFY(dialogSaved);
        QCOMPARE(w.OverlapCount, 4);
        if (folder.isEmpty()) return;
        QCoreApplication::processEvents();
        const QString file = QDir(folder).filePath(QStringLiteral("overlay-main.png"));
        QVERIFY(w.grab().save(file));
        qInfo("screenshot: %s", qPrintable(file));
    }
};

QTEST_MAIN(Overlay)
#include "tst_overlay.moc"
