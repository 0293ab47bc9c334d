#pragma once
// Painting figures of a shown chart, beside two references drawn in the same run: a bare QCustomPlot of
// the same points (1 px pens, adaptive sampling), and the same chart drawn from one min/max pair per
// pixel column. Each figure is the best of three full paints (replot into the buffer, then the widget
// repainted and flushed to the display once); the window must be shown.
#include "BenchSupport.h"
#include "platform/Chart.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <limits>
#include <memory>
#include <unistd.h>
#include <qcustomplot.h>

namespace bench {

// Best of three: replot into the paint buffer and repaint the widget on screen once, as a redraw of the
// event loop does it (an immediate refresh would paint and flush the widget a second time).
inline double paintMs(QCustomPlot* plot)
{
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 3; ++i) {
        const double t0 = wallMs();
        plot->replot(QCustomPlot::rpQueuedRefresh);
        plot->repaint();
        best = std::min(best, wallMs() - t0);
    }
    return best;
}

// The points of graph gi of `of`: those the chart holds for its subset when `of` is a chart's plot (a chart's
// graph keeps no copy in its own container), else the graph's container.
inline QVector<QCPGraphData> graphPoints(QCustomPlot* of, int gi)
{
    QVector<QCPGraphData> pts;
    auto* chart = qobject_cast<platform::Chart*>(of->parentWidget());
    if (chart && chart->plot() == of && chart->graph(gi) == of->graph(gi)) {
        const std::vector<double> x = chart->drawnX(gi), y = chart->drawnY(gi);
        pts.reserve(qsizetype(x.size()));
        for (std::size_t i = 0; i < x.size(); ++i) pts.append(QCPGraphData(x[i], y[i]));
        return pts;
    }
    const auto* d = of->graph(gi)->data().data();
    pts.reserve(d->size());
    for (auto it = d->constBegin(); it != d->constEnd(); ++it) pts.append(*it);
    return pts;
}

// A bare plot of the same size and axis ranges holding copies of every graph of `of`; with `minMax` each
// graph holds only the lowest and highest point of every pixel column.
inline std::unique_ptr<QCustomPlot> referencePlot(QCustomPlot* of, bool minMax)
{
    auto ref = std::make_unique<QCustomPlot>();
    ref->resize(of->size());
    ref->xAxis->setRange(of->xAxis->range());
    ref->yAxis->setRange(of->yAxis->range());
    const double columns = std::max(1, of->axisRect()->width());
    for (int gi = 0; gi < of->graphCount(); ++gi) {
        QCPGraph* g = of->graph(gi);
        QCPGraph* r = ref->addGraph();
        r->setPen(QPen(g->pen().color(), 1));
        r->setAdaptiveSampling(true);
        const QVector<QCPGraphData> all = graphPoints(of, gi);
        QVector<QCPGraphData> pts;
        if (!minMax) {
            pts = all;
        } else if (!all.isEmpty()) {
            const double k0 = all.front().key, k1 = all.back().key;
            const double w = k1 > k0 ? (k1 - k0) / columns : 1;
            int col = -1;
            QCPGraphData lo, hi;
            auto flush = [&] {
                if (col < 0) return;
                if (lo.key <= hi.key) { pts.append(lo); if (hi.key != lo.key) pts.append(hi); }
                else { pts.append(hi); pts.append(lo); }
            };
            for (const QCPGraphData& p : all) {
                const int c = int((p.key - k0) / w);
                if (c != col) { flush(); col = c; lo = hi = p; continue; }
                if (p.value < lo.value) lo = p;
                if (p.value > hi.value) hi = p;
            }
            flush();
        }
        r->data()->set(pts, true);
        r->setValueAxis(ref->yAxis);
        r->valueAxis()->setRange(g->valueAxis()->range());
        if (gi > 0) {   // each graph keeps its own value range, as on the chart
            QCPAxis* a = ref->axisRect()->addAxis(QCPAxis::atLeft);
            a->setRange(g->valueAxis()->range());
            r->setValueAxis(a);
        }
    }
    ref->show();
    QApplication::processEvents();
    return ref;
}

// The screen chart's figure, then its ratio to each reference, printed on one line.
inline void printPaint(const char* label, QCustomPlot* plot)
{
    const double figure = paintMs(plot);
    auto bare = referencePlot(plot, false);
    const double bareMs = paintMs(bare.get());
    auto mm = referencePlot(plot, true);
    const double mmMs = paintMs(mm.get());
    std::printf("%-26s plot %4dx%-4d  paint %8.2f ms  bare %8.2f ms (x%5.2f)  min/max per column %8.2f ms (x%5.2f)\n",
                label, plot->width(), plot->height(), figure, bareMs, figure / bareMs, mmMs, figure / mmMs);
    std::fflush(stdout);
}

// Resident set size in bytes, from /proc/self/statm.
inline double rssBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : 0;
}

// Load average, printed beside each figure.
inline void printLoad()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly)) std::printf("load: %s", f.readAll().constData());
}

} // namespace bench
