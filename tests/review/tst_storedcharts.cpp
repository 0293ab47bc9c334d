// The main window's chart of stored tests: the five chart types (titles, labels, axes, colours, values in
// both unit systems), the overlay list (ticked boxes, duplicates, empty and unknown tests, the frame and the
// overlay button), the shared point count of the single-axis charts, redraws without a test, rebuilding
// from what is stored at the moment of the redraw, and printing.
#include "ChartView.h"
#include "MainWindowRig.h"
#include "TestSupport.h"

#include "platform/Chart.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Module1.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"
#include "records/SettingsFile.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>

#include <sqlite3.h>

#include <cmath>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using platform::ScriptedPrompts;
using testsupport::sqlExec;

namespace {

using Series = QList<double>;

struct Point {
    double time, temp, press, height;   // seconds, °F, psi, inches
};

struct StoredTest {
    int id;
    QString name;
    QVariant sampleLength;   // invalid: NULL
    std::vector<Point> points;
};

// Alpha is the test the suite opens; the others are overlaid or opened where a case needs them.
const std::vector<StoredTest> kTests{
    {1, "Alpha", 0.5, {{0, 212, 1000, 0}, {90, 32, 1500.5, 0.1}, {600, 122, 2000, 0.12345}}},
    {2, "Beta", 2.0, {{30, 50, 300, 0.2}, {120, 68, 400, 0.5}}},
    {3, "Gamma", 1.0, {{0, 70, 10, 0.01}, {60, 70, 10, 0.02}, {120, 70, 10, 0.03}, {180, 70, 10, 0.04}}},
    {4, "Empty", 1.0, {}},
};

// What the charts must show of each stored test (x in minutes; swell against the test's own length; length
// change in mm read back from its two-decimal text). Names that are not stored have no points.
const std::map<QString, Series> kMinutes{
    {"Alpha", {0, 1.5, 10}}, {"Beta", {0.5, 2}}, {"Gamma", {0, 1, 2, 3}}, {"Empty", {}}, {"Nobody", {}}};
const std::map<QString, Series> kSwell{
    {"Alpha", {0, 20, 24.69}}, {"Beta", {10, 25}}, {"Gamma", {1, 2, 3, 4}}, {"Empty", {}}, {"Nobody", {}}};
const std::map<QString, Series> kLengthMm{
    {"Alpha", {0, 2.54, 3.14}}, {"Beta", {5.08, 12.7}}, {"Gamma", {0.25, 0.51, 0.76, 1.02}}, {"Empty", {}},
    {"Nobody", {}}};

const QColor kGreen(0, 128, 0), kNavy(0, 0, 128), kRed(255, 0, 0);
// The base subset colours by index (the first eight; at most eight tests are listed).
const QList<QColor> kBaseColors{kGreen,          kNavy,           kRed,           QColor(128, 0, 0),
                                QColor(254, 153, 0), QColor(155, 153, 0), QColor(51, 51, 255), QColor(155, 255, 0)};

const QStringList kItemTexts{"Swell Vs Time", "Length Change Vs Time", "Swell, Temp Vs Time",
                             "Swell, Press Vs Time", "Swell, Temp, Press Vs Time"};
const QStringList kTitles{"Swell vs. Time", "Length Change vs. Time", "Swell,Temperature Vs. Time ",
                          "Swell,Pressure Vs. Time", ""};
const QList<int> kMultiSubsets{0, 0, 2, 2, 3};   // subsets of the multi-axis charts

bool storeTest(const StoredTest& t)
{
    const QString length = t.sampleLength.isValid() ? QString::number(t.sampleLength.toDouble(), 'g', 17)
                                                    : QStringLiteral("NULL");
    if (!sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, SAMPLE_LENGTH) "
                                "VALUES (%1, '%2', '2022-01-%3 10:00:00', %4)")
                     .arg(t.id)
                     .arg(t.name)
                     .arg(t.id, 2, 10, QLatin1Char('0'))
                     .arg(length)))
        return false;
    for (const Point& p : t.points)
        if (!sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                    "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) "
                                    "VALUES (%1, 1, %2, %3, %3, %4, %5, 2.5)")
                         .arg(t.id)
                         .arg(p.time, 0, 'g', 17)
                         .arg(p.temp, 0, 'g', 17)
                         .arg(p.press, 0, 'g', 17)
                         .arg(p.height, 0, 'g', 17)))
            return false;
    return true;
}

// A test of n points, one a minute, 0.001 in. more swell each.
bool storeLongTest(int id, const QString& name, int n)
{
    return storeTest({id, name, 1.0, {}})
        && sqlExec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %2) "
                                  "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                  "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) "
                                  "SELECT %1, 1, i * 60, 150, 150, 300, i * 0.001, 2.5 FROM k")
                         .arg(id)
                         .arg(n - 1));
}

bool close(double got, double want) { return std::abs(got - want) <= 1e-6 * std::max(1.0, std::abs(want)); }

// Compares a drawn series with the expected one; on a difference, says where.
QString seriesDiff(const std::vector<double>& got, const Series& want)
{
    if (got.size() != std::size_t(want.size()))
        return QStringLiteral("%1 points drawn, %2 expected").arg(got.size()).arg(want.size());
    for (qsizetype i = 0; i < want.size(); ++i)
        if (!close(got[std::size_t(i)], want[i]))
            return QStringLiteral("point %1: %2, expected %3").arg(i).arg(got[std::size_t(i)], 0, 'g', 9).arg(want[i]);
    return {};
}

using testsupport::ChartView;

// Counts the statements that read test 1's points through one connection, as SQLite starts them.
class PointReads {
public:
    explicit PointReads(const clsConnection& connection) : db_(sqliteHandle(connection.ADOConnection()->db()))
    {
        sqlite3_trace_v2(db_, SQLITE_TRACE_STMT, &PointReads::traced, this);
    }
    ~PointReads() { sqlite3_trace_v2(db_, 0, nullptr, nullptr); }
    int take() { return std::exchange(count_, 0); }

private:
    static int traced(unsigned, void* self, void* stmt, void*)
    {
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(stmt));
        const QByteArray text(sql ? sql : "");
        sqlite3_free(sql);
        if (text.contains("FROM TEST_RESULT") && text.contains("TEST_ID = 1 ")) ++static_cast<PointReads*>(self)->count_;
        return 0;
    }
    sqlite3* db_;
    int count_ = 0;
};

QByteArray settings(int unitFlag) { return SettingsFile::text({1}, unitFlag); }

} // namespace

class StoredCharts : public QObject, private MainWindowRig {
    Q_OBJECT

private:

    // The window loaded in a folder with the stored tests; unitFlag < 0: no settings file.
    frmMain& start(int unitFlag = 2)
    {
        return startMainWindow(unitFlag >= 0 ? settings(unitFlag) : QByteArray());
    }

    // Opens a test as the operator does: the open dialog, the name typed, OK.
    bool open(const QString& name)
    {
        platform::setModalHandler([name](QDialog& d) {
            auto* dlg = qobject_cast<frmOpenTest*>(&d);
            if (!dlg) return 0;
            dlg->txtSeqName->setText(name);
            dlg->cmdOk_Click();
            return 1;
        });
        w_->cmdOpen_Click();
        platform::setModalHandler({});
        return w_->CurrentTestName == name && prompts_->shown.empty();
    }

    // Lists the tests in the overlay boxes as the overlay does (entry 1 stays the opened test's box).
    void list(const QStringList& names, const QList<bool>& ticks)
    {
        w_->OverlapCount = int(names.size());
        for (int i = 1; i <= 8; ++i) {
            const bool used = i <= names.size();
            if (used) w_->setOverlayEntry(i, names[i - 1]);
            w_->Check1[std::size_t(i)]->setVisible(used);
            w_->Check1[std::size_t(i)]->setChecked(used && ticks[i - 1]);
        }
    }

    void select(int item)
    {
        if (w_->cmbChartType->currentIndex() == item)
            w_->DrawChart();
        else
            w_->cmbChartType->setCurrentIndex(item);
    }

    ChartView chart() const { return ChartView::of(*w_->Pesgo1); }

private slots:
    void init()
    {
        freshFolder();
        for (const StoredTest& t : kTests) QVERIFY(storeTest(t));
    }

    void cleanup()
    {
        platform::setModalHandler({});
        releaseAll();
    }

    // ---- the five chart types of the opened test ----

    void chartTypes_data()
    {
        QTest::addColumn<int>("unitFlag");
        QTest::addColumn<int>("item");
        QTest::addColumn<QStringList>("axisLabels");
        QTest::addColumn<QList<QColor>>("axisColors");
        QTest::addColumn<QStringList>("subsetLabels");
        QTest::addColumn<QList<QColor>>("subsetColors");
        QTest::addColumn<QList<Series>>("values");   // y of each subset

        const Series swell{0, 20, 24.69};
        const Series tempC{100, 0, 50}, tempF{212, 32, 122}, press{1000, 1500.5, 2000};
        const QString C = QString::fromUtf8("(°C)"), F = QString::fromUtf8("(°F)");

        QTest::newRow("swell, SI") << 2 << 0 << QStringList{"Swell (%)"} << QList<QColor>{kGreen}
                                   << QStringList{"Alpha"} << QList<QColor>{kGreen} << QList<Series>{swell};
        QTest::newRow("swell, English") << 1 << 0 << QStringList{"Swell (%)"} << QList<QColor>{kGreen}
                                        << QStringList{"Alpha"} << QList<QColor>{kGreen} << QList<Series>{swell};
        QTest::newRow("length, SI: mm to two decimals")
            << 2 << 1 << QStringList{"Length Change (mm)"} << QList<QColor>{kGreen} << QStringList{"Alpha"}
            << QList<QColor>{kGreen} << QList<Series>{{0, 2.54, 3.14}};
        QTest::newRow("length, English: inches to four decimals")
            << 1 << 1 << QStringList{"Length Change (in.)"} << QList<QColor>{kGreen} << QStringList{"Alpha"}
            << QList<QColor>{kGreen} << QList<Series>{{0, 0.1, 0.1235}};
        QTest::newRow("length, no settings file: metric, no caption")
            << -1 << 1 << QStringList{"Length Change "} << QList<QColor>{kGreen} << QStringList{"Alpha"}
            << QList<QColor>{kGreen} << QList<Series>{{0, 2.54, 3.14}};
        QTest::newRow("swell and temperature, SI")
            << 2 << 2 << QStringList{" Swell(%) ", "Temperature " + C} << QList<QColor>{kGreen, kRed}
            << QStringList{" Swell(%) ", "Temp " + C} << QList<QColor>{kGreen, kRed} << QList<Series>{swell, tempC};
        QTest::newRow("swell and temperature, English")
            << 1 << 2 << QStringList{" Swell(%) ", "Temperature " + F} << QList<QColor>{kGreen, kRed}
            << QStringList{" Swell(%) ", "Temp " + F} << QList<QColor>{kGreen, kRed} << QList<Series>{swell, tempF};
        QTest::newRow("swell and pressure, SI")
            << 2 << 3 << QStringList{" Swell(%) ", "PRESSURE (Psi)"} << QList<QColor>{kGreen, kNavy}
            << QStringList{" Swell(%) ", "Press (Psi)"} << QList<QColor>{kGreen, kNavy} << QList<Series>{swell, press};
        QTest::newRow("swell and pressure, English")
            << 1 << 3 << QStringList{" Swell(%) ", "PRESSURE (Psi)"} << QList<QColor>{kGreen, kNavy}
            << QStringList{" Swell(%) ", "Press (Psi)"} << QList<QColor>{kGreen, kNavy} << QList<Series>{swell, press};
        QTest::newRow("swell, pressure and temperature, SI")
            << 2 << 4 << QStringList{" Swell(%) ", "Pressure (Psi)", "Temperature " + C}
            << QList<QColor>{kGreen, kNavy, kRed} << QStringList{" Swell(%) ", "Pressure (Psi)", "Temperature " + C}
            << QList<QColor>{kGreen, kNavy, kRed} << QList<Series>{swell, press, tempC};
        QTest::newRow("swell, pressure and temperature, English")
            << 1 << 4 << QStringList{" Swell(%) ", "Pressure (Psi)", "Temperature " + F}
            << QList<QColor>{kGreen, kNavy, kRed} << QStringList{" Swell(%) ", "Pressure (Psi)", "Temperature " + F}
            << QList<QColor>{kGreen, kNavy, kRed} << QList<Series>{swell, press, tempF};
    }

    void chartTypes()
    {
        QFETCH(int, unitFlag);
        QFETCH(int, item);
        QFETCH(QStringList, axisLabels);
        QFETCH(QList<QColor>, axisColors);
        QFETCH(QStringList, subsetLabels);
        QFETCH(QList<QColor>, subsetColors);
        QFETCH(QList<Series>, values);

        frmMain& w = start(unitFlag);
        QVERIFY(open(QStringLiteral("Alpha")));
        QCOMPARE(w.cmbChartType->currentIndex(), 0);   // opening draws the swell chart
        if (item != 0) w.cmbChartType->setCurrentIndex(item);
        QCOMPARE(w.cmbChartType->currentText(), kItemTexts[item]);

        const ChartView v = chart();
        QCOMPARE(v.title, kTitles[item]);
        QCOMPARE(v.subTitle, QStringLiteral("Alpha"));
        QCOMPARE(v.xLabel, QStringLiteral("Time (min)"));
        QCOMPARE(v.axes, int(axisLabels.size()));
        QCOMPARE(v.axisLabels, axisLabels);
        QCOMPARE(v.axisColors, axisColors);
        QCOMPARE(v.subsets, int(subsetLabels.size()));
        QCOMPARE(v.subsetLabels, subsetLabels);
        QCOMPARE(v.subsetColors, subsetColors);
        QCOMPARE(v.points, 3);
        const bool multiAxis = item >= 2;
        if (multiAxis) QCOMPARE(v.shared, v.axes);
        for (int s = 0; s < v.subsets; ++s) {
            QCOMPARE(v.subsetAxis[s], multiAxis ? s : 0);
            QVERIFY2(seriesDiff(v.x[std::size_t(s)], kMinutes.at("Alpha")).isEmpty(),
                     qPrintable(QStringLiteral("x of subset %1: ").arg(s) + seriesDiff(v.x[std::size_t(s)], kMinutes.at("Alpha"))));
            const QString d = seriesDiff(v.y[std::size_t(s)], values[s]);
            QVERIFY2(d.isEmpty(), qPrintable(QStringLiteral("y of subset %1: ").arg(s) + d));
        }
        QCOMPARE(w.cmdOverlap->isEnabled(), !multiAxis);
        QVERIFY(w.Frame1->isHidden());
        QVERIFY(prompts_->shown.empty());
    }

    void openingSelectsSwellChart()
    {
        frmMain& w = start();
        w.cmbChartType->setCurrentIndex(3);
        QVERIFY(open(QStringLiteral("Beta")));
        QCOMPARE(w.cmbChartType->currentIndex(), 0);
        const ChartView v = chart();
        QCOMPARE(v.title, kTitles[0]);
        QCOMPARE(v.subTitle, QStringLiteral("Beta"));
        QCOMPARE(v.subsetLabels, QStringList{"Beta"});
        QVERIFY(seriesDiff(v.y[0], kSwell.at("Beta")).isEmpty());
        QVERIFY(w.cmdOverlap->isEnabled());
    }

    // A chart-type entry that is none of the five draws the base set-up alone.
    void unknownChartTypeDrawsBaseOnly()
    {
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        w.cmbChartType->addItem(QStringLiteral("Bar chart"));
        w.cmbChartType->setCurrentIndex(5);
        const ChartView v = chart();
        QCOMPARE(v.title, QString());
        QCOMPARE(v.subTitle, QString());
        QCOMPARE(v.xLabel, QStringLiteral("Time (min)"));
        QCOMPARE(v.axisLabels, QStringList{"Swell(%)"});
        QCOMPARE(v.axisColors, QList<QColor>{kGreen});
        QCOMPARE(v.drawnPoints(), 0);
        QVERIFY(w.cmdOverlap->isEnabled());   // left as the swell chart set it
    }

    // ---- stored sample length of 0 or below ----

    void sampleLengthNotPositive_data()
    {
        QTest::addColumn<QVariant>("length");
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("overlaid");
        for (const QVariant& length : {QVariant(0.0), QVariant(-0.5)})
            for (int item : {0, 2, 3, 4}) {
                const QByteArray name = QByteArray("length ") + QByteArray::number(length.toDouble()) + ", "
                    + kItemTexts[item].toUtf8();
                QTest::newRow(name.constData()) << length << item << false;
            }
        QTest::newRow("length 0, overlaid test") << QVariant(0.0) << 0 << true;
        QTest::newRow("length -0.5, overlaid test") << QVariant(-0.5) << 0 << true;
    }

    void sampleLengthNotPositive()
    {
        QFETCH(QVariant, length);
        QFETCH(int, item);
        QFETCH(bool, overlaid);
        QVERIFY(storeTest({9, "Short", length, {{0, 100, 300, 0.01}, {60, 100, 300, 0.02}}}));
        frmMain& w = start();
        if (overlaid) {
            QVERIFY(open(QStringLiteral("Alpha")));
            list({"Alpha", "Short"}, {false, true});
            w.Command1_Click();
        } else {
            QVERIFY(open(QStringLiteral("Short")));
            QCOMPARE(w.SampleLength, 0.001);
            select(item);
        }
        const ChartView v = chart();
        QVERIFY(v.subsets >= 1);
        // 0.01 in. against 0.001 in.
        const QString d = seriesDiff(v.y[0], Series{1000, 2000});
        QVERIFY2(d.isEmpty(), qPrintable(d));
    }

    // ---- the point count of the single-axis charts ----

    void chartPointCountOnlyGrows()
    {
        QVERIFY(storeLongTest(20, QStringLiteral("Big"), 500));
        QVERIFY(storeLongTest(21, QStringLiteral("Small"), 200));
        frmMain& w = start();
        QCOMPARE(w.ChartPointCount, 0);

        QVERIFY(open(QStringLiteral("Big")));
        QCOMPARE(w.ChartPointCount, 500);
        QCOMPARE(w.Pesgo1->pointCount(), 500);
        QCOMPARE(int(w.Pesgo1->drawnX(0).size()), 500);

        QVERIFY(open(QStringLiteral("Small")));
        for (int item : {0, 1, 0}) {
            select(item);
            QCOMPARE(w.ChartPointCount, 500);
            QCOMPARE(w.Pesgo1->pointCount(), 500);
            // Points 200 to 499 carry no data and are not drawn.
            const auto x = w.Pesgo1->drawnX(0);
            QCOMPARE(int(x.size()), 200);
            QCOMPARE(x.back(), 199.0);
            QCOMPARE(int(w.Pesgo1->drawnY(0).size()), 200);
        }
        // The multi-axis charts size to the opened test alone.
        for (int item : {2, 3, 4}) {
            select(item);
            QCOMPARE(w.Pesgo1->pointCount(), 200);
            for (int s = 0; s < kMultiSubsets[item]; ++s) QCOMPARE(int(w.Pesgo1->drawnX(s).size()), 200);
            QCOMPARE(w.ChartPointCount, 500);
        }
        // A test without rows leaves it as it is.
        QVERIFY(open(QStringLiteral("Empty")));
        QCOMPARE(w.ChartPointCount, 500);
    }

    // ---- the overlay list ----

    void overlayList_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<bool>>("ticks");
        QTest::addColumn<QStringList>("drawn");   // subset labels, in box order
        QTest::addColumn<bool>("frameShown");

        QTest::newRow("opened test and two overlaid")
            << QStringList{"Alpha", "Beta", "Gamma"} << QList<bool>{true, true, true}
            << QStringList{"Alpha", "Beta", "Gamma"} << true;
        QTest::newRow("opened test unticked: only the overlaid, no subtitle")
            << QStringList{"Alpha", "Beta", "Gamma"} << QList<bool>{false, true, true} << QStringList{"Beta", "Gamma"}
            << true;
        QTest::newRow("middle entry unticked") << QStringList{"Alpha", "Beta", "Gamma"}
                                               << QList<bool>{true, false, true} << QStringList{"Alpha", "Gamma"}
                                               << true;
        QTest::newRow("no box ticked: titles only")
            << QStringList{"Alpha", "Beta"} << QList<bool>{false, false} << QStringList{} << true;
        QTest::newRow("one entry unticked: frame left hidden")
            << QStringList{"Alpha"} << QList<bool>{false} << QStringList{} << false;
        QTest::newRow("a test listed twice is drawn twice")
            << QStringList{"Alpha", "Beta", "Alpha"} << QList<bool>{true, true, true}
            << QStringList{"Alpha", "Beta", "Alpha"} << true;
        QTest::newRow("a test without rows") << QStringList{"Alpha", "Empty", "Beta"}
                                             << QList<bool>{true, true, true}
                                             << QStringList{"Alpha", "Empty", "Beta"} << true;
        QTest::newRow("a name that is not stored")
            << QStringList{"Alpha", "Nobody", "Beta"} << QList<bool>{true, true, true}
            << QStringList{"Alpha", "Nobody", "Beta"} << true;
        QTest::newRow("eight entries")
            << QStringList{"Alpha", "Beta", "Gamma", "Empty", "Gamma", "Nobody", "Beta", "Alpha"}
            << QList<bool>(8, true) << QStringList{"Alpha", "Beta", "Gamma", "Empty", "Gamma", "Nobody", "Beta", "Alpha"}
            << true;
    }

    void overlayList()
    {
        QFETCH(QStringList, names);
        QFETCH(QList<bool>, ticks);
        QFETCH(QStringList, drawn);
        QFETCH(bool, frameShown);

        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        const ChartView opened = chart();
        list(names, ticks);
        QCOMPARE(chart(), opened);   // nothing changes until the next redraw

        const QString subtitle = ticks[0] ? QStringLiteral("Alpha") : QString();
        // Redraw, then the length chart and the swell chart again (changes of chart type).
        bool first = true;
        for (int item : {0, 1, 0}) {
            if (std::exchange(first, false))
                w.Command1_Click();
            else
                w.cmbChartType->setCurrentIndex(item);
            const ChartView v = chart();
            QCOMPARE(v.title, kTitles[item]);
            QCOMPARE(v.subTitle, subtitle);
            QCOMPARE(v.xLabel, QStringLiteral("Time (min)"));
            QCOMPARE(v.axisLabels.value(0), item == 0 ? QStringLiteral("Swell (%)") : QStringLiteral("Length Change (mm)"));
            QCOMPARE(v.subsetLabels, drawn);
            QCOMPARE(v.subsetColors, kBaseColors.mid(0, drawn.size()));
            const auto& values = item == 0 ? kSwell : kLengthMm;
            for (int s = 0; s < v.subsets; ++s) {
                QCOMPARE(v.subsetAxis[s], 0);
                const QString dx = seriesDiff(v.x[std::size_t(s)], kMinutes.at(drawn[s]));
                const QString dy = seriesDiff(v.y[std::size_t(s)], values.at(drawn[s]));
                QVERIFY2(dx.isEmpty() && dy.isEmpty(),
                         qPrintable(QStringLiteral("subset %1 (%2): %3 %4").arg(s).arg(drawn[s], dx, dy)));
            }
            QVERIFY(w.cmdOverlap->isEnabled());
            QCOMPARE(!w.Frame1->isHidden(), frameShown);
        }
        // The list itself is left as it was.
        QCOMPARE(w.OverlapCount, int(names.size()));
        for (int i = 1; i <= names.size(); ++i) {
            QCOMPARE(w.Check1[std::size_t(i)]->text(), names[i - 1]);
            QCOMPARE(w.Check1[std::size_t(i)]->isChecked(), ticks[i - 1]);
        }
        QVERIFY(prompts_->shown.empty());
    }

    // The multi-axis charts show the opened test whatever the list says, and hide the frame and disable the
    // overlay button; the single-axis charts bring them back.
    void multiAxisIgnoresOverlay_data()
    {
        QTest::addColumn<int>("item");
        for (int item : {2, 3, 4}) QTest::newRow(kItemTexts[item].toUtf8().constData()) << item;
    }

    void multiAxisIgnoresOverlay()
    {
        QFETCH(int, item);
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        list({"Alpha", "Beta"}, {false, true});
        w.Command1_Click();
        QVERIFY(!w.Frame1->isHidden());
        QCOMPARE(chart().subsetLabels, QStringList{"Beta"});

        w.cmbChartType->setCurrentIndex(item);
        ChartView v = chart();
        QCOMPARE(v.title, kTitles[item]);
        QCOMPARE(v.subTitle, QStringLiteral("Alpha"));
        QCOMPARE(v.subsets, kMultiSubsets[item]);
        QVERIFY(seriesDiff(v.y[0], kSwell.at("Alpha")).isEmpty());
        QVERIFY(w.Frame1->isHidden());
        QVERIFY(!w.cmdOverlap->isEnabled());
        // Redraw keeps to the chart type chosen.
        w.Command1_Click();
        QCOMPARE(chart(), v);

        for (int single : {1, 0}) {
            w.cmbChartType->setCurrentIndex(single);
            v = chart();
            QCOMPARE(v.subsetLabels, QStringList{"Beta"});
            QCOMPARE(v.subTitle, QString());
            QVERIFY(!w.Frame1->isHidden());
            QVERIFY(w.cmdOverlap->isEnabled());
            w.cmbChartType->setCurrentIndex(item);
            QVERIFY(w.Frame1->isHidden());
            QVERIFY(!w.cmdOverlap->isEnabled());
        }
        QCOMPARE(w.OverlapCount, 2);
        QVERIFY(w.Check1[2]->isChecked());
        QVERIFY(!w.Check1[1]->isChecked());
    }

    // With one entry the single-axis charts leave the frame as it was.
    void frameKeptWithOneEntry()
    {
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        QVERIFY(w.Frame1->isHidden());
        w.Frame1->setVisible(true);
        w.Command1_Click();
        QVERIFY(!w.Frame1->isHidden());
        w.cmbChartType->setCurrentIndex(1);
        QVERIFY(!w.Frame1->isHidden());
        w.Frame1->setVisible(false);
        w.cmbChartType->setCurrentIndex(0);
        QVERIFY(w.Frame1->isHidden());
    }

    // ---- charts without points ----

    void chartsWithoutPoints_data()
    {
        QTest::addColumn<QString>("opened");   // "" = no test opened
        QTest::addColumn<int>("item");
        for (const QString& opened : {QString(), QStringLiteral("Empty")})
            for (int item = 0; item < 5; ++item) {
                const QString row = (opened.isEmpty() ? QStringLiteral("no test open, ") : QStringLiteral("test without rows, "))
                    + kItemTexts[item];
                QTest::newRow(row.toUtf8().constData()) << opened << item;
            }
    }

    void chartsWithoutPoints()
    {
        QFETCH(QString, opened);
        QFETCH(int, item);
        frmMain& w = start();
        if (!opened.isEmpty()) QVERIFY(open(opened));
        select(item);
        const ChartView v = chart();
        QCOMPARE(v.title, kTitles[item]);
        QCOMPARE(v.subTitle, opened);
        QCOMPARE(v.xLabel, QStringLiteral("Time (min)"));
        const int subsets = item >= 2 ? kMultiSubsets[item] : (opened.isEmpty() ? 0 : 1);
        QCOMPARE(v.subsets, subsets);
        if (item < 2 && subsets == 1) QCOMPARE(v.subsetLabels, QStringList{opened});
        QCOMPARE(v.drawnPoints(), 0);
        QCOMPARE(w.cmdOverlap->isEnabled(), item < 2);
        QVERIFY(w.Frame1->isHidden());
        QVERIFY(prompts_->shown.empty());
    }

    void startupDrawsEmptySwellChart()
    {
        frmMain& w = start();
        QCOMPARE(w.cmbChartType->currentIndex(), 0);
        QCOMPARE(w.cmbChartType->count(), 5);
        for (int i = 0; i < 5; ++i) QCOMPARE(w.cmbChartType->itemText(i), kItemTexts[i]);
        const ChartView v = chart();
        QCOMPARE(v.title, kTitles[0]);
        QCOMPARE(v.subTitle, QString());
        QCOMPARE(v.axisLabels.value(0), QStringLiteral("Swell (%)"));
        QCOMPARE(v.subsets, 0);
        QCOMPARE(w.ChartPointCount, 0);
        QVERIFY(!w.cmdOverlap->isEnabled());   // disabled after start-up whatever the drawing did
        QVERIFY(w.Frame1->isHidden());
    }

    // ---- rebuilt from the database on every redraw ----

    void redrawShowsWhatIsStored()
    {
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        QCOMPARE(int(w.Pesgo1->drawnX(0).size()), 3);

        QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE) VALUES (1, 1, 1200, 212, 900, 0.2)")));
        QCOMPARE(int(w.Pesgo1->drawnX(0).size()), 3);   // kept until the next redraw
        w.Command1_Click();
        QVERIFY(seriesDiff(w.Pesgo1->drawnX(0), Series{0, 1.5, 10, 20}).isEmpty());
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(0), Series{0, 20, 24.69, 40}).isEmpty());
        QCOMPARE(w.Pesgo1->pointCount(), 4);
        QCOMPARE(w.ChartPointCount, 4);

        w.cmbChartType->setCurrentIndex(3);
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(1), Series{1000, 1500.5, 2000, 900}).isEmpty());

        // The single-axis charts read each test's length anew; the multi-axis charts use the opened test's.
        QVERIFY(sqlExec(QStringLiteral("UPDATE TEST_INFO SET SAMPLE_LENGTH = 1 WHERE TEST_ID = 1")));
        w.cmbChartType->setCurrentIndex(0);
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(0), Series{0, 10, 12.345, 20}).isEmpty());
        w.cmbChartType->setCurrentIndex(2);
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(0), Series{0, 20, 24.69, 40}).isEmpty());

        QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_RESULT WHERE TEST_ID = 1 AND RESULT_TIME < 100")));
        w.cmbChartType->setCurrentIndex(4);
        QVERIFY(seriesDiff(w.Pesgo1->drawnX(2), Series{10, 20}).isEmpty());
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(2), Series{50, 100}).isEmpty());
        QVERIFY(prompts_->shown.empty());
    }

    // The open reads the points once; a chart-type change draws from them while nothing was written since,
    // and reads again (once) after any write.
    void pointsReadOnlyWhenStale()
    {
        frmMain& w = start();
        PointReads reads(*Module1::DbConnection);
        QVERIFY(open(QStringLiteral("Alpha")));
        QCOMPARE(reads.take(), 1);
        for (int item = 1; item < kItemTexts.size(); ++item) {
            select(item);
            QCOMPARE(reads.take(), 0);
        }
        select(0);
        QCOMPARE(reads.take(), 0);
        QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE) VALUES (1, 1, 1200, 212, 900, 0.2)")));
        select(2);
        QCOMPARE(reads.take(), 1);
        QCOMPARE(int(w.Pesgo1->drawnX(1).size()), 4);
        select(3);
        QCOMPARE(reads.take(), 0);
        QVERIFY(prompts_->shown.empty());
    }

    // A database failure during a redraw is reported and leaves the window usable.
    void redrawAfterDatabaseFailure()
    {
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        QVERIFY(sqlExec(QStringLiteral("ALTER TABLE TEST_RESULT RENAME TO TEST_RESULT_AWAY")));
        w.Command1_Click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QVERIFY(!prompts_->shown.front().text.isEmpty());
        QVERIFY(sqlExec(QStringLiteral("ALTER TABLE TEST_RESULT_AWAY RENAME TO TEST_RESULT")));
        prompts_->clear();
        w.cmbChartType->setCurrentIndex(2);
        QVERIFY(prompts_->shown.empty());
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(0), kSwell.at("Alpha")).isEmpty());
        w.cmbChartType->setCurrentIndex(0);
        QCOMPARE(chart().subsetLabels, QStringList{"Alpha"});
        QVERIFY(seriesDiff(w.Pesgo1->drawnY(0), kSwell.at("Alpha")).isEmpty());
    }

    // ---- printing ----

    void print_data()
    {
        QTest::addColumn<bool>("menu");
        QTest::newRow("button") << false;
        QTest::newRow("menu item") << true;
    }

    void print()
    {
        QFETCH(bool, menu);
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        w.cmbChartType->setCurrentIndex(4);
        const ChartView before = chart();
        // Nothing is redrawn first: a row stored since the drawing is not printed nor drawn.
        QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                       "VALUES (1, 1, 1200, 0.2)")));

        const QString path = dir_->file(QStringLiteral("chart.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        w.setPrinter(&printer);
        if (menu)
            w.MenuPrintChart->trigger();
        else
            w.cmdPrintChart_Click();

        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join(" | ")));
        QFile pdf(path);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.size() > 1000);
        QVERIFY(bytes.startsWith("%PDF"));
        QCOMPARE(chart(), before);
    }

    void printFailure()
    {
        frmMain& w = start();
        QVERIFY(open(QStringLiteral("Alpha")));
        const ChartView before = chart();

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir_->file(QStringLiteral("no such folder/chart.pdf")));
        // The description the chart gives for this printer.
        QString description;
        try {
            w.Pesgo1->PrintChart(&printer);
        } catch (const platform::ChartError& e) {
            description = e.description();
        }
        QVERIFY(!description.isEmpty());

        w.setPrinter(&printer);
        w.cmdPrintChart_Click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        const auto& box = prompts_->shown.front();
        QCOMPARE(int(box.kind), int(ScriptedPrompts::Kind::Message));
        QCOMPARE(box.text, description);
        QCOMPARE(box.title, platform::defaultTitle());
        QCOMPARE(int(box.icon), int(platform::Icon::None));
        QCOMPARE(chart(), before);
        QVERIFY(!QFile::exists(dir_->file(QStringLiteral("no such folder/chart.pdf"))));
    }
};

QTEST_MAIN(StoredCharts)
#include "tst_storedcharts.moc"
