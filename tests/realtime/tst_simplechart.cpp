// The simple-test screen's logging and live chart (interval, retry after a failed store, traces, axes,
// appended points against a full reload) and its panel layout at the design size and maximised.
//
// Screenshots: with VEDUVOVIR_SCREENSHOTS set to a folder, layout() saves the screen with two running
// cells as simpletest-<size>.png there, e.g.
//   VEDUVOVIR_SCREENSHOTS=/tmp xvfb-run -a -s "-screen 0 1920x1080x24" \
//       env QT_QPA_PLATFORM=xcb build/realtime_tst_simplechart layout
#include "ChartView.h"
#include "LayoutCheck.h"
#include "SimpleTestRig.h"

#include "realtime/CellControl.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QScreen>

#include <cmath>
#include <limits>

using platform::Answer;
using rig::Rig;

namespace {

QString sql(const QString& s) { return testsupport::sqlValue(s); }

using testsupport::ChartView;

QCheckBox* box(Rig& r, const char* name) { return r.find<QCheckBox>(QLatin1String(name)); }

void setBoxes(Rig& r, bool swell, bool temp, bool press)
{
    // A click toggles the box and redraws, as the operator's click does.
    if (box(r, "chkSwell")->isChecked() != swell) box(r, "chkSwell")->click();
    if (box(r, "chkTemp")->isChecked() != temp) box(r, "chkTemp")->click();
    if (box(r, "chkPress")->isChecked() != press) box(r, "chkPress")->click();
}

// Readings that change every tick, so every point differs.
void runVarying(Rig& r, int ticks, int& t)
{
    for (int i = 0; i < ticks; ++i, ++t) {
        r.feed(1, 150 + (t % 7) * 0.3, 2500 + 3.7 * t, 120 + t % 5);
        r.feed(2, 149 - (t % 5) * 0.7, 2500 + 2.3 * t, 90 + t % 3);
        r.tick();
    }
}

} // namespace

class tst_SimpleChart : public QObject {
    Q_OBJECT
private slots:
    void interval_data();
    void interval();
    void traces();
    void failedStoreRetried();
    void appendedEqualsReload_data();
    void appendedEqualsReload();
    void rebuildKeepsHeldPoints_data();
    void rebuildKeepsHeldPoints();
    void layout_data();
    void layout();
};

void tst_SimpleChart::interval_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("seconds");
    QTest::newRow("2.5 to even") << "2.5" << 2;
    QTest::newRow("3.5 to even") << "3.5" << 4;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("leading number") << "7 s" << 7;
    QTest::newRow("beyond 32 bits") << "1e12" << std::numeric_limits<int>::max();
}

void tst_SimpleChart::interval()
{
    QFETCH(QString, text);
    QFETCH(int, seconds);
    Rig r;
    r.type("txtInterval", 2, text);
    QCOMPARE(r.cell(2).loggingInterval, seconds);
    QCOMPARE(r.cell(1).loggingInterval, 30);
}

void tst_SimpleChart::traces()
{
    Rig r;
    platform::Chart* chart = r.screen->Pesgo1;
    // No running cell: the initial state whatever the boxes.
    setBoxes(r, true, true, true);
    QCOMPARE(chart->mainTitle(), QStringLiteral("Swell vs. Time"));
    QCOMPARE(chart->xAxisLabel(), QStringLiteral("Time (min)"));
    QCOMPARE(chart->axisLabel(0), QStringLiteral("Swell(%)"));
    QCOMPARE(chart->backColor(), QColor(192, 192, 192));
    QVERIFY(chart->drawnX(0).empty());

    r.runCell(1, QStringLiteral("A1"));
    r.runCell(2, QStringLiteral("B1"));
    r.type("txtInterval", 1, QStringLiteral("1"));
    r.type("txtInterval", 2, QStringLiteral("1"));
    r.run(4, 150, 2525, 160, 2550, 300);

    QCOMPARE(chart->subsetCount(), 6);
    QCOMPARE((QStringList{chart->subsetLabel(0), chart->subsetLabel(1), chart->subsetLabel(2), chart->subsetLabel(3),
                          chart->subsetLabel(4), chart->subsetLabel(5)}),
             (QStringList{"A1-Swell", "B1-Swell", "A1-Temp.", "B1-Temp.", "A1-Press.", "B1-Press."}));
    const QList<QColor> colours = {QColor(0, 128, 0), QColor(128, 128, 0),   QColor(255, 0, 0),
                                   QColor(255, 128, 255), QColor(0, 0, 128), QColor(0, 255, 255)};
    for (int s = 0; s < 6; ++s) QCOMPARE(chart->subsetColor(s), colours[s]);
    QCOMPARE(chart->axisCount(), 2);
    QCOMPARE(chart->axisLabel(0), QStringLiteral("Swell% "));
    QCOMPARE(chart->axisColor(0), QColor(0, 128, 0));
    QVERIFY(!chart->hasRightAxis(0));
    QCOMPARE(chart->axisLabel(1), QStringLiteral("Temperature (°F)"));
    QCOMPARE(chart->axisColor(1), QColor(255, 0, 0));
    QCOMPARE(chart->rightAxisLabel(1), QStringLiteral("Pressure (Psi)"));
    QCOMPARE(chart->rightAxisColor(1), QColor(0, 0, 128));
    for (int s = 0; s < 6; ++s) {
        QCOMPARE(chart->subsetAxis(s), s < 2 ? 0 : 1);
        QCOMPARE(chart->subsetOnRightAxis(s), s >= 4);
    }
    QCOMPARE(chart->drawnY(1), (std::vector<double>{2, 2}));     // B: 0.005 in. of 0.25 in.
    QCOMPARE(chart->drawnY(3), (std::vector<double>{160, 160}));
    QCOMPARE(chart->drawnY(4), (std::vector<double>{300, 300}));

    // Pressure alone: an axis of its own.
    setBoxes(r, false, false, true);
    QCOMPARE(chart->axisCount(), 1);
    QCOMPARE(chart->axisLabel(0), QStringLiteral("Pressure (Psi)"));
    QCOMPARE(chart->axisColor(0), QColor(0, 0, 128));
    QVERIFY(!chart->hasRightAxis(0));
    QCOMPARE(chart->subsetCount(), 2);
    QCOMPARE(chart->subsetLabel(0), QStringLiteral("A1-Press."));
    QCOMPARE(chart->subsetLabel(1), QStringLiteral("B1-Press."));

    // Temperature alone in SI captions: no right-hand scale.
    setBoxes(r, false, true, false);
    QCOMPARE(chart->axisCount(), 1);
    QCOMPARE(chart->axisLabel(0), QStringLiteral("Temperature (°F)"));
    QVERIFY(!chart->hasRightAxis(0));

    // No box: the initial state although both cells run.
    setBoxes(r, false, false, false);
    QCOMPARE(chart->axisLabel(0), QStringLiteral("Swell(%)"));
    QVERIFY(chart->drawnX(0).empty());
}

// A point that cannot be stored is tried again on the next tick: no point is lost, and neither the
// detail grid nor the chart shows a point the database lacks.
void tst_SimpleChart::failedStoreRetried()
{
    Rig r;
    r.type("txtInterval", 1, QStringLiteral("1"));
    r.runCell(1, QStringLiteral("Retry"));
    r.run(2);   // 1.0 s: first point
    r.prompts.clear();
    QCOMPARE(sql(QStringLiteral("SELECT group_concat(RESULT_TIME) FROM TEST_RESULT")), QStringLiteral("1.0"));

    QVERIFY(testsupport::sqlExec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON TEST_RESULT BEGIN SELECT RAISE(ABORT, 'disk busy'); END")));
    r.run(2);   // 2.0 s: due, refused
    QCOMPARE(sql(QStringLiteral("SELECT COUNT(*) FROM TEST_RESULT")), QStringLiteral("1"));
    QCOMPARE(r.detail(1)->PointCount(), 1);
    QCOMPARE(r.screen->Pesgo1->drawnX(0).size(), std::size_t(1));
    QVERIFY2(r.messages().isEmpty(), qPrintable(r.messages().join('|')));   // the tick ends silently

    QVERIFY(testsupport::sqlExec(QStringLiteral("DROP TRIGGER refuse")));
    r.run(1);   // 2.5 s: the retry stores the point that was due
    r.run(2);   // 3.5 s: the next one, one second after the stored one
    QCOMPARE(sql(QStringLiteral("SELECT group_concat(RESULT_TIME) FROM TEST_RESULT")),
             QStringLiteral("1.0,2.0,3.0"));
    QCOMPARE(r.detail(1)->PointCount(), 3);
    QCOMPARE(r.detail(1)->PointText(1, 0), QStringLiteral("00:00:02"));
    QCOMPARE(r.screen->Pesgo1->drawnX(0).size(), std::size_t(3));
}

void tst_SimpleChart::appendedEqualsReload_data()
{
    QTest::addColumn<int>("unitSystem");
    QTest::newRow("English") << 1;
    QTest::newRow("SI") << 2;
}

// Points added one by one after each logged point show the same chart as a rebuild from the database,
// through starts, a stop, box changes and a restart with a new test.
void tst_SimpleChart::appendedEqualsReload()
{
    QFETCH(int, unitSystem);
    Rig r(unitSystem);
    platform::Chart* chart = r.screen->Pesgo1;
    realtime::LiveChart& live = r.screen->liveChart();
    // Empty when a rebuild from the database shows what the appended chart showed.
    chart->resize(900, 420);
    auto pixels = [&] {
        chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
        return chart->plot()->grab().toImage();
    };
    auto reloadDiffers = [&]() -> QString {
        const ChartView appended = ChartView::of(*chart);
        const QImage appendedPixels = pixels();
        r.screen->RefreshChart(true);
        const ChartView reloaded = ChartView::of(*chart);
        if (appended != reloaded)
            return QStringLiteral("appended [%1] reloaded [%2]").arg(appended.describe(), reloaded.describe());
        if (appendedPixels != pixels()) return QStringLiteral("the same points drawn otherwise");
        return {};
    };
#define RELOAD_MATCHES()                                                                                        \
    do {                                                                                                        \
        const QString d = reloadDiffers();                                                                      \
        QVERIFY2(d.isEmpty(), qPrintable(d));                                                                   \
    } while (false)

    setBoxes(r, true, true, true);
    r.type("txtInterval", 1, QStringLiteral("1"));
    r.type("txtInterval", 2, QStringLiteral("3"));
    r.runCell(1, QStringLiteral("Long"));
    int t = 0;
    runVarying(r, 20, t);
    r.runCell(2, QStringLiteral("Short"));

    // Logging alone only appends.
    const int rebuilds = live.rebuildCount();
    runVarying(r, 40, t);
    QCOMPARE(live.rebuildCount(), rebuilds);
    QVERIFY(chart->lastRedrawStats().appendedPoints > 0);
    QCOMPARE(chart->lastRedrawStats().rebuiltSubsets, 0);
    QCOMPARE(int(chart->drawnX(0).size()), sql(QStringLiteral("SELECT COUNT(*) FROM TEST_RESULT WHERE TEST_ID = %1")
                                                    .arg(r.cell(1).testId)).toInt());
    RELOAD_MATCHES();

    // B stops: it leaves the chart at the next drawing; the point count stays at its highest.
    r.prompts.queueAnswer(Answer::Yes);
    r.click("cmdStart", 2);
    runVarying(r, 6, t);
    QCOMPARE(chart->subsetCount(), 3);
    RELOAD_MATCHES();

    setBoxes(r, true, false, true);
    runVarying(r, 10, t);
    RELOAD_MATCHES();

    // B again with a new test: fewer points than A, the count stays A's.
    r.runCell(2, QStringLiteral("Again"));
    runVarying(r, 30, t);
    QCOMPARE(chart->pointCount(), int(chart->drawnX(0).size()));
    QVERIFY(chart->drawnX(1).size() < chart->drawnX(0).size());
    RELOAD_MATCHES();
#undef RELOAD_MATCHES
}

void tst_SimpleChart::rebuildKeepsHeldPoints_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("trace box") << "box";
    QTest::newRow("START of the other cell") << "start";
}

// A rebuild for a trace box or the other cell's START draws the points the screen already holds: with the
// running cell's rows gone from the database behind the program's back, the chart still shows every point
// logged, and the shared record keeps no rows once the rebuild is done.
void tst_SimpleChart::rebuildKeepsHeldPoints()
{
    QFETCH(QString, change);
    Rig r;
    platform::Chart* chart = r.screen->Pesgo1;
    setBoxes(r, true, false, true);
    r.type("txtInterval", 1, QStringLiteral("1"));
    r.runCell(1, QStringLiteral("Held"));
    int t = 0;
    runVarying(r, 30, t);
    const ChartView before = ChartView::of(*chart);
    QCOMPARE(before.x.at(0).size(), std::size_t(15));
    QVERIFY(testsupport::sqlExec(QStringLiteral("DELETE FROM TEST_RESULT")));

    if (change == QLatin1String("box")) {
        setBoxes(r, true, true, true);
        QCOMPARE(chart->subsetCount(), 3);
        QCOMPARE(chart->subsetLabel(1), QStringLiteral("Held-Temp."));
        QCOMPARE(chart->drawnX(1), before.x.at(0));
        QCOMPARE(chart->drawnX(2), before.x.at(1));
        QCOMPARE(chart->drawnY(2), before.y.at(1));
    } else {
        r.runCell(2, QStringLiteral("Other"));
        QCOMPARE(chart->subsetCount(), 4);
        QCOMPARE(chart->subsetLabel(2), QStringLiteral("Held-Press."));
        QCOMPARE(chart->drawnY(2), before.y.at(1));
    }
    QCOMPARE(chart->drawnX(0), before.x.at(0));
    QCOMPARE(chart->drawnY(0), before.y.at(0));
    QCOMPARE(Module1::TestResult->TotalPoints(), 0);
    QVERIFY(Module1::TestResult->rows().empty());
}

void tst_SimpleChart::layout_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << QSize(985, 707);
    QTest::newRow("subwindow") << QSize(975, 677);   // the design size with a sub-window's frame
    QTest::newRow("maximised") << QSize(1920, 1080);
}

// Every control lies inside its frame, no two overlap, and their texts fit, with two cells running.
void tst_SimpleChart::layout()
{
    QFETCH(QSize, size);
    Rig r;
    frmSimpleTest* s = r.screen;

    // Two cells an hour into their tests at 250 °F and 180 °F, readings of the widest usual form.
    const double setPoint[3] = {0, 250, 180};
    const double psi[3] = {0, 312, 158};
    const QString names[3] = {{}, QStringLiteral("Bentonite 12% KCl brine"), QStringLiteral("Shale core B-7 fresh water")};
    for (int c = 1; c <= 2; ++c) {
        r.type("txtMaxTime", c, QStringLiteral("600"));
        r.zero(c, QStringLiteral("0.25"));
        r.enterInfo(c, names[c]);
        r.feed(c, 75, 2500, psi[c]);
        r.tick();
        r.type("txtTemps", c, Format::general(setPoint[c]));
        r.start(c);
    }
    for (int k = 0; k < 7200; ++k) {
        const double m = k / 120.0;   // minutes
        r.feed(1, 250 - 175 * std::exp(-m / 9), 2500 + 310 * (1 - std::exp(-m / 14)), 312,
               251 - 170 * std::exp(-m / 8), 250);
        r.feed(2, 180 - 105 * std::exp(-m / 7), 2500 + 180 * (1 - std::exp(-m / 20)), 158,
               181 - 100 * std::exp(-m / 6), 180);
        r.tick();
    }
    QCOMPARE(r.detail(1)->PointCount(), 120);
    s->Label44[2]->setVisible(true);   // an alarm shown must not cover anything either
    s->lblvolt[1]->setText(QStringLiteral("-0.123456789"));
    s->lbltemp1[2]->setText(QStringLiteral("-17.8"));

    const QStringList faults = rig::screenLayoutFaults(s, size);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    const QString folder = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
    if (!folder.isEmpty()) {
        const QString file = QDir(folder).filePath(QStringLiteral("simpletest-%1.png").arg(QLatin1String(QTest::currentDataTag())));
        QVERIFY(s->grab().save(file));
        qInfo("screenshot: %s", qPrintable(file));
    }
}

QTEST_MAIN(tst_SimpleChart)
#include "tst_simplechart.moc"
