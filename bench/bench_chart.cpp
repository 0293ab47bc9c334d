// Benchmark of the chart layer on long tests (a week at one point a second: 600,000 points per cell).
// - live chart: one point appended to every subset, Redraw, and a forced replot of the 985 x 400 widget,
//   with 2 subsets (swell of both cells) and 6 subsets (swell, temperature and pressure of both cells);
// - full rebuild of a 600,000-point chart (as the main window draws a stored test), in bulk and through
//   the per-point setters;
// - heap memory per point, filled in bulk and grown point by point.
// Run with QT_QPA_PLATFORM=offscreen.
#include "BenchSupport.h"
#include "platform/Chart.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <malloc.h>
#include <vector>

using platform::Chart;

namespace {

using bench::cpuMs;

std::size_t heapBytes()
{
    const auto m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double value(int subset, int i)
{
    const double t = i / 60.0;
    switch (subset % 3) {
    case 0: return (subset + 1) * 10 * (1 - std::exp(-t / 2000.0)) + 0.05 * std::sin(i * 0.01);
    case 1: return 200 + std::sin(i * 0.001);
    default: return 150 + 3 * std::sin(i * 0.0001);
    }
}

// The live chart's set-up: swell on axis 0; temperature on axis 1 with pressure on its right-hand scale.
void setUpLive(Chart& c, int subsets)
{
    c.Reset();
    c.SetBackColor(QColor(192, 192, 192));
    c.SetMainTitle("Swell vs. Time");
    c.SetXAxisLabel("Time (min)");
    c.SelectAxis(0);
    c.SetAxisLabel("Swell% ");
    c.SetAxisColor(QColor(0, 128, 0));
    c.SetAxisSubsetCount(0, 2);
    if (subsets > 2) {
        c.SelectAxis(1);
        c.SetAxisLabel("Temperature (F)");
        c.SetAxisColor(QColor(255, 128, 128));
        c.SetAxisSubsetCount(1, subsets - 2);
        c.SetRightAxisLabel("Pressure (Psi)");
        c.SetRightAxisColor(QColor(0, 0, 255));
        c.SetRightAxisSubsetCount((subsets - 2) / 2);
        c.SetSharedAxisCount(2);
    }
    c.SetSubsetCount(subsets);
    for (int s = 0; s < subsets; ++s) c.SetSubsetLabel(s, QString("T%1").arg(s));
}

// Subset s of the live chart: swell A, swell B, temperature A, temperature B, pressure A, pressure B.
int kindOf(int s) { return s / 2; }

void fillBulk(Chart& c, int subsets, int n)
{
    std::vector<double> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
    for (int s = 0; s < subsets; ++s) {
        for (int i = 0; i < n; ++i) {
            x[std::size_t(i)] = i / 60.0;
            y[std::size_t(i)] = value(kindOf(s), i);
        }
        c.SetSubsetPoints(s, x, y);
    }
}

void liveCase(Chart& c, int subsets, int n)
{
    setUpLive(c, subsets);
    fillBulk(c, subsets, n);
    c.Redraw();
    c.plot()->replot(QCustomPlot::rpImmediateRefresh);

    const int rounds = 40;
    std::vector<double> total, redraw, cpu;
    for (int r = 0; r < rounds; ++r) {
        const int i = n + r;
        QElapsedTimer t;
        const double c0 = cpuMs();
        t.start();
        for (int s = 0; s < subsets; ++s) c.AppendPoint(s, i / 60.0, value(kindOf(s), i));
        c.Redraw();
        const double r1 = t.nsecsElapsed() / 1e6;
        c.plot()->replot(QCustomPlot::rpImmediateRefresh);
        total.push_back(t.nsecsElapsed() / 1e6);
        redraw.push_back(r1);
        cpu.push_back(cpuMs() - c0);
    }
    auto mean = [](const std::vector<double>& v) {
        double s = 0;
        for (double d : v) s += d;
        return s / double(v.size());
    };
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("  %d subsets x %6d points: append+Redraw median %.3f ms (mean %.3f); with replot median %.2f ms, "
                "mean %.2f ms, max %.2f ms; cpu mean %.2f ms\n",
                subsets, n, median(redraw), mean(redraw), median(total), mean(total),
                *std::max_element(total.begin(), total.end()), mean(cpu));
}

void rebuildCase(Chart& c, int subsets, int n, bool perPoint)
{
    setUpLive(c, subsets);
    fillBulk(c, subsets, 10);
    c.Redraw();
    c.plot()->replot(QCustomPlot::rpImmediateRefresh);

    // The caller's values are ready (read from the database); the timing covers handing them over,
    // Redraw and the replot.
    std::vector<std::vector<double>> xs(static_cast<std::size_t>(subsets)), ys(static_cast<std::size_t>(subsets));
    for (int s = 0; s < subsets; ++s) {
        xs[std::size_t(s)].resize(std::size_t(n));
        ys[std::size_t(s)].resize(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            xs[std::size_t(s)][std::size_t(i)] = i / 60.0;
            ys[std::size_t(s)][std::size_t(i)] = value(kindOf(s), i);
        }
    }
    QElapsedTimer t;
    const double c0 = cpuMs();
    t.start();
    setUpLive(c, subsets);
    c.Redraw();
    if (perPoint) {
        c.SetPointCount(n);
        for (int s = 0; s < subsets; ++s)
            for (int i = 0; i < n; ++i) {
                c.SetPointX(s, i, xs[std::size_t(s)][std::size_t(i)]);
                c.SetPointY(s, i, ys[std::size_t(s)][std::size_t(i)]);
            }
    } else {
        for (int s = 0; s < subsets; ++s) c.SetSubsetPoints(s, xs[std::size_t(s)], ys[std::size_t(s)]);
    }
    const double handed = t.nsecsElapsed() / 1e6;
    c.Redraw();
    const double redrawn = t.nsecsElapsed() / 1e6;
    c.plot()->replot(QCustomPlot::rpImmediateRefresh);
    const double total = t.nsecsElapsed() / 1e6;
    std::printf("  %d subsets x %d points, %s: points handed over %.1f ms, Redraw %.1f ms, replot %.1f ms, "
                "total %.1f ms (cpu %.1f ms)\n",
                subsets, n, perPoint ? "per-point setters" : "SetSubsetPoints", handed, redrawn - handed,
                total - redrawn, total, cpuMs() - c0);
}

void memoryCase(int subsets, int n, bool grown)
{
    auto chart = std::make_unique<Chart>();
    chart->resize(985, 400);
    setUpLive(*chart, subsets);
    chart->Redraw();
    malloc_trim(0);
    const std::size_t before = heapBytes();
    if (grown) {
        for (int i = 0; i < n; ++i) {
            for (int s = 0; s < subsets; ++s) chart->AppendPoint(s, i / 60.0, value(kindOf(s), i));
            if (i % 100 == 0) chart->Redraw();
        }
        chart->Redraw();
    } else {
        fillBulk(*chart, subsets, n);
        chart->Redraw();
    }
    malloc_trim(0);
    const std::size_t after = heapBytes();
    const double points = double(subsets) * n;
    std::printf("  %d subsets x %d points, %s: heap %.1f bytes/point (chart's own count %.1f)\n", subsets, n,
                grown ? "grown point by point" : "filled in bulk", double(after - before) / points,
                double(chart->pointMemoryBytes()) / points);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Chart chart;
    chart.resize(985, 400);
    chart.show();
    QApplication::processEvents();

    std::printf("Live chart: one point appended per subset, Redraw, forced replot (985 x 400), mean of 40\n");
    for (int subsets : {2, 6})
        for (int n : {1000, 100000, 600000}) liveCase(chart, subsets, n);

    std::printf("Full rebuild\n");
    rebuildCase(chart, 2, 600000, false);
    rebuildCase(chart, 3, 600000, false);
    rebuildCase(chart, 2, 600000, true);

    std::printf("Memory\n");
    memoryCase(2, 600000, false);
    memoryCase(2, 600000, true);
    return 0;
}
