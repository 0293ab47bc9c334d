// The chart layer: reset, subsets on axes, right-hand scales, points without values, single precision,
// the append path against a full rebuild, what a Redraw shows, and printing.
#include "platform/Chart.h"

#include <qcustomplot.h>

#include <QFile>
#include <QPrinter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <functional>
#include <limits>

using platform::Chart;
using platform::ChartError;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> singles(std::initializer_list<double> v)
{
    std::vector<double> out;
    for (double d : v) out.push_back(double(float(d)));
    return out;
}

// A chart with titles, three subsets on two axes with a right-hand scale, and points.
void fillSample(Chart& c)
{
    c.SetMainTitle("Swell vs. Time");
    c.SetSubTitle("T1");
    c.SetXAxisLabel("Time (min)");
    c.SetSubsetCount(3);
    c.SetPointCount(4);
    for (int s = 0; s < 3; ++s) {
        c.SetSubsetLabel(s, QString("S%1").arg(s));
        c.SetSubsetColor(s, QColor(10 * s, 100, 200));
        for (int i = 0; i < 4; ++i) {
            c.SetPointX(s, i, i);
            c.SetPointY(s, i, s * 10 + i);
        }
    }
    c.SetAxisSubsetCount(0, 1);
    c.SetAxisSubsetCount(1, 2);
    c.SelectAxis(1);
    c.SetAxisLabel("Temperature");
    c.SetRightAxisLabel("Pressure");
    c.SetRightAxisSubsetCount(1);
    c.SetSharedAxisCount(2);
    c.SetBackColor(QColor(1, 2, 3));
    c.Redraw();
}

} // namespace

class TestChart : public QObject {
    Q_OBJECT
private slots:
    void resetGivesAnEmptyChart();
    void subsetsGoToAxesInOrder_data();
    void subsetsGoToAxesInOrder();
    void rightHandScaleCarriesTheLastSubsetsOfItsAxis();
    void pointsWithoutValuesAreNotDrawn_data();
    void pointsWithoutValuesAreNotDrawn();
    void pointsAreSinglePrecision_data();
    void pointsAreSinglePrecision();
    void appendingDrawsWhatAFullRebuildDraws_data();
    void appendingDrawsWhatAFullRebuildDraws();
    void appendedPointsDoNotRebuildTheSubset();
    void subsetsOfEqualXKeepTheirOwnPoints_data();
    void subsetsOfEqualXKeepTheirOwnPoints();
    void linesLookAsDrawnFromEveryPoint_data();
    void linesLookAsDrawnFromEveryPoint();
    void redrawShowsSettingsInTheirOrder();
    void printsToPdf();
    void printFailureRaisesDescription();
};

void TestChart::resetGivesAnEmptyChart()
{
    Chart fresh;
    Chart c;
    fillSample(c);
    QCOMPARE(c.plot()->graphCount(), 3);

    c.Reset();
    c.Redraw();
    QCOMPARE(c.subsetCount(), 0);
    QCOMPARE(c.pointCount(), 0);
    QCOMPARE(c.axisCount(), 1);
    QCOMPARE(c.selectedAxis(), 0);
    QCOMPARE(c.sharedAxisCount(), 1);
    QCOMPARE(c.mainTitle(), QString());
    QCOMPARE(c.subTitle(), QString());
    QCOMPARE(c.xAxisLabel(), QString());
    QCOMPARE(c.axisLabel(0), QString());
    QVERIFY(!c.hasRightAxis(0));
    QCOMPARE(c.backColor(), fresh.backColor());
    QCOMPARE(c.plot()->graphCount(), 0);
    QCOMPARE(c.plot()->legend->itemCount(), 0);

    // Nothing of the old points, styles or axes comes back when subsets are asked for again.
    c.SetSubsetCount(3);
    c.SetPointCount(4);
    c.Redraw();
    fresh.SetSubsetCount(3);
    fresh.Redraw();
    for (int s = 0; s < 3; ++s) {
        QVERIFY(c.drawnX(s).empty());
        QCOMPARE(c.subsetLabel(s), QString());
        QCOMPARE(c.subsetColor(s), fresh.subsetColor(s));
        QCOMPARE(c.subsetAxis(s), 0);
    }
}

void TestChart::subsetsGoToAxesInOrder_data()
{
    QTest::addColumn<int>("subsets");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("2,1,1") << 4 << QList<int>{2, 1, 1} << QList<int>{0, 0, 1, 2};
    QTest::newRow("one each") << 3 << QList<int>{1, 1, 1} << QList<int>{0, 1, 2};
    QTest::newRow("no counts: all on axis 0") << 3 << QList<int>{} << QList<int>{0, 0, 0};
    QTest::newRow("rest on the last axis") << 5 << QList<int>{2, 1} << QList<int>{0, 0, 1, 1, 1};
    QTest::newRow("empty first axis") << 2 << QList<int>{0, 2} << QList<int>{1, 1};
    QTest::newRow("counts beyond the subsets") << 2 << QList<int>{1, 3} << QList<int>{0, 1};
}

void TestChart::subsetsGoToAxesInOrder()
{
    QFETCH(int, subsets);
    QFETCH(QList<int>, counts);
    QFETCH(QList<int>, expected);

    Chart c;
    c.SetSubsetCount(subsets);
    for (int a = 0; a < counts.size(); ++a) {
        c.SetAxisSubsetCount(a, counts[a]);
        c.SelectAxis(a);
        c.SetAxisLabel(QString("axis %1").arg(a));
    }
    c.SetSharedAxisCount(int(counts.size()));
    c.Redraw();

    QCOMPARE(c.axisCount(), std::max<int>(1, int(counts.size())));
    QSet<QCPAxis*> distinct;
    for (int a = 0; a < c.axisCount(); ++a) distinct.insert(c.valueAxis(a));
    QCOMPARE(int(distinct.size()), c.axisCount());
    for (int s = 0; s < subsets; ++s) {
        QCOMPARE(c.subsetAxis(s), expected[s]);
        QCOMPARE(c.graph(s)->valueAxis(), c.valueAxis(expected[s]));
        if (!counts.isEmpty()) QCOMPARE(c.graph(s)->valueAxis()->label(), QString("axis %1").arg(expected[s]));
    }
}

void TestChart::rightHandScaleCarriesTheLastSubsetsOfItsAxis()
{
    // Two cells with swell, temperature and pressure: temperature and pressure share axis 1, pressure on
    // its right-hand scale.
    Chart c;
    c.SetSubsetCount(6);
    c.SelectAxis(0);
    c.SetAxisColor(QColor(0, 128, 0));
    c.SetAxisLabel("Swell% ");
    c.SetAxisSubsetCount(0, 2);
    c.SelectAxis(1);
    c.SetAxisColor(QColor(255, 128, 128));
    c.SetAxisLabel("Temperature (F)");
    c.SetAxisSubsetCount(1, 4);
    c.SetRightAxisColor(QColor(0, 0, 255));
    c.SetRightAxisLabel("Pressure (Psi)");
    c.SetRightAxisSubsetCount(2);
    c.SetSharedAxisCount(2);
    const double values[6] = {1, 2, 150, 160, 900, 1000};
    for (int s = 0; s < 6; ++s) c.SetSubsetPoints(s, {0, 1}, {values[s] / 2, values[s]});
    c.Redraw();

    QVERIFY(!c.hasRightAxis(0));
    QVERIFY(c.hasRightAxis(1));
    QCOMPARE(c.rightAxisLabel(1), QString("Pressure (Psi)"));
    QCOMPARE(c.rightAxisColor(1), QColor(0, 0, 255));
    QCOMPARE(c.axisColor(1), QColor(255, 128, 128));
    QCOMPARE(c.valueAxis(1, true)->axisType(), QCPAxis::atRight);
    const QList<bool> right{false, false, false, false, true, true};
    const QList<int> axis{0, 0, 1, 1, 1, 1};
    for (int s = 0; s < 6; ++s) {
        QCOMPARE(c.subsetAxis(s), axis[s]);
        QCOMPARE(c.subsetOnRightAxis(s), right[s]);
        QCOMPARE(c.graph(s)->valueAxis(), c.valueAxis(axis[s], right[s]));
    }
    // Each scale spans its own subsets only.
    const QCPRange temp = c.valueAxis(1)->range(), press = c.valueAxis(1, true)->range();
    QVERIFY(temp.contains(75) && temp.contains(160) && !temp.contains(450));
    QVERIFY(press.contains(450) && press.contains(1000) && !press.contains(160));
    QVERIFY(c.valueAxis(0)->range().contains(2) && !c.valueAxis(0)->range().contains(75));
}

void TestChart::pointsWithoutValuesAreNotDrawn_data()
{
    // xs / ys: values handed over for points 0, 1, ...; NaN = not given. Then the point count is set to
    // each of `counts` in turn.
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<QList<double>>("xs");
    QTest::addColumn<QList<double>>("ys");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QList<double>>("drawnX");
    QTest::addColumn<QList<double>>("drawnY");
    QTest::newRow("all given") << 3 << QList<double>{0, 1, 2} << QList<double>{5, 6, 7} << QList<int>{}
                               << QList<double>{0, 1, 2} << QList<double>{5, 6, 7};
    QTest::newRow("x missing") << 3 << QList<double>{0, NaN, 2} << QList<double>{5, 6, 7} << QList<int>{}
                               << QList<double>{0, 2} << QList<double>{5, 7};
    QTest::newRow("short subset of a longer count") << 5 << QList<double>{0, 1} << QList<double>{5, 6} << QList<int>{}
                                                    << QList<double>{0, 1} << QList<double>{5, 6};
    QTest::newRow("y given alone") << 4 << QList<double>{0} << QList<double>{0, 0, 0, 0} << QList<int>{}
                                   << QList<double>{0} << QList<double>{0};
    QTest::newRow("infinite value") << 2 << QList<double>{0, 1} << QList<double>{qInf(), 3} << QList<int>{}
                                    << QList<double>{1} << QList<double>{3};
    QTest::newRow("beyond the count") << 2 << QList<double>{0, 1, 2} << QList<double>{5, 6, 7} << QList<int>{}
                                      << QList<double>{0, 1} << QList<double>{5, 6};
    QTest::newRow("count lowered") << 3 << QList<double>{0, 1, 2} << QList<double>{5, 6, 7} << QList<int>{1}
                                   << QList<double>{0} << QList<double>{5};
    QTest::newRow("lowered then raised") << 3 << QList<double>{0, 1, 2} << QList<double>{5, 6, 7}
                                         << QList<int>{1, 3} << QList<double>{0} << QList<double>{5};
    QTest::newRow("no points") << 0 << QList<double>{0} << QList<double>{1} << QList<int>{} << QList<double>{}
                               << QList<double>{};
}

void TestChart::pointsWithoutValuesAreNotDrawn()
{
    QFETCH(int, pointCount);
    QFETCH(QList<double>, xs);
    QFETCH(QList<double>, ys);
    QFETCH(QList<int>, counts);
    QFETCH(QList<double>, drawnX);
    QFETCH(QList<double>, drawnY);

    // Once drawn in one Redraw, once with a Redraw before the count changes.
    for (bool drawFirst : {false, true}) {
        Chart c;
        c.SetSubsetCount(2);
        c.SetPointCount(pointCount);
        for (int i = 0; i < xs.size(); ++i)
            if (!std::isnan(xs[i])) c.SetPointX(1, i, xs[i]);
        for (int i = 0; i < ys.size(); ++i)
            if (!std::isnan(ys[i])) c.SetPointY(1, i, ys[i]);
        if (drawFirst) c.Redraw();
        for (int n : counts) c.SetPointCount(n);
        c.Redraw();
        QCOMPARE(c.drawnX(1), std::vector<double>(drawnX.begin(), drawnX.end()));
        QCOMPARE(c.drawnY(1), std::vector<double>(drawnY.begin(), drawnY.end()));
        QVERIFY(c.drawnX(0).empty());
        QCOMPARE(c.pointCount(), counts.isEmpty() ? pointCount : counts.back());
    }
}

void TestChart::pointsAreSinglePrecision_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("setters") << "setters";
    QTest::newRow("bulk") << "bulk";
    QTest::newRow("append") << "append";
}

void TestChart::pointsAreSinglePrecision()
{
    QFETCH(QString, path);
    Chart c;
    c.SetSubsetCount(1);
    const double x[2] = {1.0 / 3.0, 2.1}, y[2] = {0.1, 1e-7};
    if (path == "setters") {
        c.SetPointCount(2);
        for (int i = 0; i < 2; ++i) {
            c.SetPointX(0, i, x[i]);
            c.SetPointY(0, i, y[i]);
        }
    } else if (path == "bulk") {
        c.SetSubsetPoints(0, {x[0], x[1]}, {y[0], y[1]});
    } else {
        c.AppendPoint(0, x[0], y[0]);
        c.AppendPoint(0, x[1], y[1]);
    }
    c.Redraw();
    QCOMPARE(c.pointCount(), 2);
    QCOMPARE(c.drawnX(0), singles({1.0 / 3.0, 2.1}));
    QCOMPARE(c.drawnY(0), singles({0.1, 1e-7}));
    QVERIFY(c.drawnY(0)[0] != 0.1);
}

void TestChart::appendingDrawsWhatAFullRebuildDraws_data()
{
    // Weights of the operations between redraws: append, set x or y of any point (also earlier ones and
    // partial points), lower the point count, replace a subset in bulk, x going backwards on append.
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QList<int>>("weights");
    QTest::newRow("appends only") << 1u << QList<int>{10, 0, 0, 0, 0};
    QTest::newRow("appends, x sometimes backwards") << 2u << QList<int>{10, 0, 0, 0, 2};
    QTest::newRow("appends and single points") << 3u << QList<int>{6, 4, 0, 0, 0};
    QTest::newRow("everything") << 4u << QList<int>{8, 4, 1, 1, 1};
    QTest::newRow("everything, other seed") << 5u << QList<int>{8, 4, 1, 1, 1};
}

void TestChart::appendingDrawsWhatAFullRebuildDraws()
{
    QFETCH(quint32, seed);
    QFETCH(QList<int>, weights);
    QRandomGenerator rng(seed);
    const int subsets = 3;

    // Every operation is logged, so that a fresh chart can replay all of them and draw once.
    std::vector<std::function<void(Chart&)>> log;
    auto run = [&](Chart& c, std::function<void(Chart&)> op) {
        op(c);
        log.push_back(std::move(op));
    };
    Chart live;
    run(live, [](Chart& c) { c.SetSubsetCount(subsets); });
    std::vector<double> lastX(subsets, 0.0);
    int total = 0;
    for (int w : weights) total += w;

    for (int round = 0; round < 60; ++round) {
        const int ops = 1 + int(rng.bounded(4));
        for (int k = 0; k < ops; ++k) {
            const int s = int(rng.bounded(subsets));
            int pick = int(rng.bounded(total));
            int kind = 0;
            while (pick >= weights[kind]) pick -= weights[kind++];
            switch (kind) {
            case 0: {   // append a point at or after the last x
                lastX[s] += rng.bounded(3) * 0.5;
                const double x = lastX[s], y = rng.bounded(100.0);
                run(live, [s, x, y](Chart& c) { c.AppendPoint(s, x, y); });
                break;
            }
            case 1: {   // one coordinate of any point
                const int i = int(rng.bounded(std::max(1, live.pointCount() + 2)));
                const bool isX = rng.bounded(2) == 0;
                const double v = isX ? rng.bounded(lastX[s] + 1) : rng.bounded(100.0);
                run(live, [=](Chart& c) { isX ? c.SetPointX(s, i, v) : c.SetPointY(s, i, v); });
                break;
            }
            case 2: {   // fewer points
                const int n = int(rng.bounded(std::max(1, live.pointCount())));
                run(live, [n](Chart& c) { c.SetPointCount(n); });
                break;
            }
            case 3: {   // a subset replaced in bulk
                std::vector<double> x, y;
                const int n = int(rng.bounded(20));
                for (int i = 0; i < n; ++i) {
                    x.push_back(i);
                    y.push_back(rng.bounded(100.0));
                }
                lastX[s] = n;
                run(live, [s, x, y](Chart& c) { c.SetSubsetPoints(s, x, y); });
                break;
            }
            case 4: {   // x goes backwards
                lastX[s] = std::max(0.0, lastX[s] - 3);
                const double x = lastX[s], y = rng.bounded(100.0);
                run(live, [s, x, y](Chart& c) { c.AppendPoint(s, x, y); });
                break;
            }
            }
        }
        live.Redraw();

        Chart rebuilt;
        for (auto& op : log) op(rebuilt);
        rebuilt.Redraw();
        QCOMPARE(live.pointCount(), rebuilt.pointCount());
        for (int s = 0; s < subsets; ++s) {
            QCOMPARE(live.drawnX(s), rebuilt.drawnX(s));
            QCOMPARE(live.drawnY(s), rebuilt.drawnY(s));
            QCOMPARE(live.valueAxis(0)->range(), rebuilt.valueAxis(0)->range());
        }
        QCOMPARE(live.plot()->xAxis->range(), rebuilt.plot()->xAxis->range());
    }
}

void TestChart::appendedPointsDoNotRebuildTheSubset()
{
    Chart c;
    c.SetSubsetCount(2);
    std::vector<double> x(1000), y(1000);
    for (int i = 0; i < 1000; ++i) {
        x[std::size_t(i)] = i;
        y[std::size_t(i)] = i % 7;
    }
    c.SetSubsetPoints(0, x, y);
    c.SetSubsetPoints(1, x, y);
    c.Redraw();
    QCOMPARE(c.lastRedrawStats().rebuiltSubsets, 2);

    c.AppendPoint(0, 1000, 50);
    c.SetPointX(1, 1000, 1000);   // the same through the single-point setters
    c.SetPointY(1, 1000, -5);
    c.Redraw();
    QCOMPARE(c.lastRedrawStats().rebuiltSubsets, 0);
    QCOMPARE(c.lastRedrawStats().appendedPoints, std::size_t(2));
    QCOMPARE(c.drawnY(0).back(), 50.0);
    QVERIFY(c.valueAxis(0)->range().contains(50) && c.valueAxis(0)->range().contains(-5));

    c.SetPointY(1, 10, 3);   // unchanged value: still nothing to rebuild
    c.Redraw();
    QCOMPARE(c.lastRedrawStats().rebuiltSubsets, 0);

    c.SetPointY(1, 10, 4);   // an earlier point changed
    c.Redraw();
    QCOMPARE(c.lastRedrawStats().rebuiltSubsets, 1);
    QCOMPARE(c.drawnY(1)[10], 4.0);
}

void TestChart::subsetsOfEqualXKeepTheirOwnPoints_data()
{
    // Two subsets given the same x in bulk, drawn, then one of them changed (or the chart reset and given
    // new points): each subset draws exactly its own points.
    QTest::addColumn<int>("change");
    QTest::newRow("point appended to one") << 0;
    QTest::newRow("x of one point changed") << 1;
    QTest::newRow("y given beyond the last point") << 2;
    QTest::newRow("point count lowered") << 3;
    QTest::newRow("reset and new points") << 4;
    QTest::newRow("other x given to one") << 5;
}

void TestChart::subsetsOfEqualXKeepTheirOwnPoints()
{
    QFETCH(int, change);
    constexpr int n = 200;
    std::vector<std::vector<double>> x(2), y(2);
    for (int i = 0; i < n; ++i) {
        for (std::size_t s = 0; s < 2; ++s) {
            x[s].push_back(i * 0.5);
            y[s].push_back(double((i * (3 + int(s))) % 17));
        }
    }
    Chart c;
    c.SetSubsetCount(2);
    for (int s = 0; s < 2; ++s) c.SetSubsetPoints(s, x[std::size_t(s)], y[std::size_t(s)]);
    c.Redraw();
    switch (change) {
    case 0:
        c.AppendPoint(0, n, 7);
        x[0].push_back(n);
        y[0].push_back(7);
        break;
    case 1:
        c.SetPointX(1, 5, 2.25);
        x[1][5] = 2.25;
        break;
    case 2:
        c.SetPointCount(n + 1);
        c.SetPointY(0, n, 9);
        c.SetPointX(0, n, n);
        x[0].push_back(n);
        y[0].push_back(9);
        break;
    case 3:
        c.SetPointCount(n / 2);
        for (std::size_t s = 0; s < 2; ++s) {
            x[s].resize(n / 2);
            y[s].resize(n / 2);
        }
        break;
    case 4:
        c.Reset();
        c.Redraw();
        c.SetSubsetCount(2);
        for (std::size_t s = 0; s < 2; ++s) {
            for (int i = 0; i < n; ++i) {
                x[s][std::size_t(i)] = i + double(s);
                y[s][std::size_t(i)] = -i * 0.25;
            }
            c.SetSubsetPoints(int(s), x[s], y[s]);
        }
        break;
    case 5:
        for (double& v : x[0]) v *= 2;
        c.SetSubsetPoints(0, x[0], y[0]);
        break;
    }
    c.Redraw();
    for (int s = 0; s < 2; ++s) {
        QCOMPARE(c.drawnX(s), x[std::size_t(s)]);
        QCOMPARE(c.drawnY(s), y[std::size_t(s)]);
    }
}

void TestChart::linesLookAsDrawnFromEveryPoint_data()
{
    // Traces of `points` points each in a plotting area about `width` pixels wide: a random walk with
    // spikes, steps with runs of equal x, and a trace with gaps of several pixels between clusters, over
    // a shorter x range than the others. Then a few more points appended.
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("width");
    QTest::newRow("many points per column") << 11u << 40000 << 420;
    QTest::newRow("a few per column") << 12u << 1500 << 500;
    QTest::newRow("fewer points than columns") << 13u << 300 << 700;
    QTest::newRow("wide") << 14u << 200000 << 1900;
}

void TestChart::linesLookAsDrawnFromEveryPoint()
{
    QFETCH(quint32, seed);
    QFETCH(int, points);
    QFETCH(int, width);
    QRandomGenerator rng(seed);
    Chart c;
    c.resize(width, 320);
    c.SetMainTitle("Swell vs. Time");
    c.SetXAxisLabel("Time (min)");
    c.SetSubsetCount(3);
    c.SetAxisSubsetCount(0, 2);
    c.SetAxisSubsetCount(1, 1);
    c.SelectAxis(1);
    c.SetAxisLabel("Temperature");
    c.SetSharedAxisCount(2);
    const double span = 500;
    std::vector<std::vector<double>> x(3), y(3);
    double walk = 0;
    for (int i = 0; i < points; ++i) {
        const double t = span * i / points;
        walk += rng.bounded(2.0) - 1;
        x[0].push_back(t);
        y[0].push_back(rng.bounded(1000) == 0 ? walk + 40 : walk);
        x[1].push_back(std::floor(t / 3) * 3);   // runs of equal x
        y[1].push_back(double(i % 17 < 8 ? 1 : -1) * (1 + i % 5));
        // clusters of points with gaps of up to a few pixels between them, inside [0.1, 0.9] of the range
        const double cluster = std::floor(i / 40.0);
        x[2].push_back(span * (0.1 + 0.8 * (cluster * 40 + (i % 40) * 0.02) / points));
        y[2].push_back(200 + rng.bounded(30.0));
    }
    for (int s = 0; s < 3; ++s) {
        c.SetSubsetPoints(s, x[std::size_t(s)], y[std::size_t(s)]);
        c.SetSubsetColor(s, QColor(60 * s, 120, 200 - 60 * s));
        c.SetSubsetLabel(s, QString("T-%1-Swell").arg(s));
    }
    c.Redraw();
    for (int k = 0; k < 3; ++k) c.AppendPoint(0, span + k, walk + k);
    c.Redraw();
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QCustomPlot* plot = c.plot();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    const QImage drawn = plot->grab().toImage();
    // The chart holds every point once, in single precision: two floats a point, with the growth room of
    // the subset appended to (a quarter and 1,024 points) and the blocks' index. A second copy as QCustomPlot
    // keeps points (QCPGraphData, 16 bytes a point) does not fit in that.
    std::size_t given = 0;
    for (int s = 0; s < 3; ++s) {
        given += x[std::size_t(s)].size() + (s == 0 ? 3 : 0);
        QCOMPARE(c.drawnX(s).size(), x[std::size_t(s)].size() + (s == 0 ? 3 : 0));
    }
    const std::size_t once = given * 2 * sizeof(float) * 5 / 4 + 2 * 1024 * sizeof(float) + given / 8 + 64;
    QVERIFY2(c.pointMemoryBytes() <= once,
             qPrintable(QStringLiteral("%1 bytes for %2 points").arg(c.pointMemoryBytes()).arg(given)));

    // The same traces drawn by QCustomPlot itself from every point, in place of the chart's own, and the
    // legend's entries as QCustomPlot draws them (the chart's keep their texts as images).
    plot->legend->clearItems();
    for (int s = 0; s < 3; ++s) plot->legend->addItem(new QCPPlottableLegendItem(plot->legend, c.graph(s)));
    for (int s = 0; s < 3; ++s) {
        auto* plain = new QCPGraph(plot->xAxis, c.graph(s)->valueAxis());
        const std::vector<double> px = c.drawnX(s), py = c.drawnY(s);
        plain->setData(QVector<double>(px.begin(), px.end()), QVector<double>(py.begin(), py.end()), true);
        plain->setPen(c.graph(s)->pen());
        c.graph(s)->setVisible(false);
    }
    plot->replot(QCustomPlot::rpImmediateRefresh);
    const QImage plain = plot->grab().toImage();
    QCOMPARE(drawn.size(), plain.size());
    int differing = 0;
    for (int yy = 0; yy < drawn.height(); ++yy)
        for (int xx = 0; xx < drawn.width(); ++xx) differing += drawn.pixel(xx, yy) != plain.pixel(xx, yy) ? 1 : 0;
    QCOMPARE(differing, 0);
}

void TestChart::redrawShowsSettingsInTheirOrder()
{
    Chart c;
    c.SetMainTitle("first");
    c.SetMainTitle("Swell vs. Time");
    c.SetSubTitle("T-100");
    c.SetXAxisLabel("Time (min)");
    c.SetSubsetCount(3);
    c.SetSubsetLabel(0, "A-Swell");
    c.SetSubsetLabel(2, "B-Swell");
    c.SetSubsetColor(0, QColor(0, 128, 0));
    c.SetSubsetColor(2, QColor(128, 128, 0));
    c.SetSubsetColor(7, QColor(1, 1, 1));   // beyond the count: kept for later
    c.SetSubsetLineStyle(2, Chart::LineStyle::Dash);
    c.SetSubsetMarker(2, Chart::Marker::Circle);
    c.SelectAxis(0);
    c.SetAxisLabel("Swell% ");
    c.SetAxisColor(QColor(0, 128, 0));
    c.SetBackColor(QColor(192, 192, 192));
    QCOMPARE(c.mainTitle(), QString());   // not drawn yet
    c.Redraw();

    QCOMPARE(c.mainTitle(), QString("Swell vs. Time"));
    QCOMPARE(c.subTitle(), QString("T-100"));
    QCOMPARE(c.xAxisLabel(), QString("Time (min)"));
    QCOMPARE(c.axisLabel(0), QString("Swell% "));
    QCOMPARE(c.axisColor(0), QColor(0, 128, 0));
    QCOMPARE(c.backColor(), QColor(192, 192, 192));
    QCOMPARE(c.subsetLabel(0), QString("A-Swell"));
    QCOMPARE(c.subsetColor(2), QColor(128, 128, 0));
    QCOMPARE(c.graph(2)->pen().style(), Qt::DashLine);
    // Every trace, however few its points, is drawn 1 px wide: a wider pen takes the raster engine's slow
    // stroker on every redraw.
    for (int s = 0; s < 3; ++s) QCOMPARE(c.graph(s)->pen().widthF(), 1.0);
    QCOMPARE(c.subsetLineStyle(2), Chart::LineStyle::Dash);
    QCOMPARE(c.subsetMarker(2), Chart::Marker::Circle);
    QCOMPARE(c.graph(2)->scatterStyle().shape(), QCPScatterStyle::ssCircle);
    // The legend lists the labelled subsets in subset order.
    QCOMPARE(c.plot()->legend->itemCount(), 2);
    QCOMPARE(c.plot()->legend->itemWithPlottable(c.graph(0)), c.plot()->legend->item(0));
    QCOMPARE(c.plot()->legend->itemWithPlottable(c.graph(2)), c.plot()->legend->item(1));

    c.SetSubsetCount(8);
    c.Redraw();
    QCOMPARE(c.subsetColor(7), QColor(1, 1, 1));

    c.SetMainTitle("");
    c.SetSubsetCount(1);
    c.Redraw();
    QCOMPARE(c.mainTitle(), QString());
    QCOMPARE(c.plot()->graphCount(), 1);
    QCOMPARE(c.plot()->legend->itemCount(), 1);
}

void TestChart::printsToPdf()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("chart.pdf");
    Chart c;
    c.resize(985, 400);
    fillSample(c);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QVERIFY(c.PrintChart(&printer));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.size() > 1000);
    QVERIFY(f.read(5) == "%PDF-");
    // Printing leaves the chart as it was drawn.
    QCOMPARE(c.mainTitle(), QString("Swell vs. Time"));
    QCOMPARE(c.drawnY(2).size(), std::size_t(4));
}

void TestChart::printFailureRaisesDescription()
{
    Chart c;
    fillSample(c);
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName("/nonexistent-folder/chart.pdf");
    try {
        c.PrintChart(&printer);
        QFAIL("no error raised");
    } catch (const ChartError& e) {
        QVERIFY(e.description().contains("/nonexistent-folder/chart.pdf"));
        QVERIFY(e.description().startsWith("The chart could not be printed"));
    }
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
