#pragma once
// Painting figures of a shown chart, beside two references drawn in the same run: a bare QCustomPlot of
// the same points (1 px pens, adaptive sampling), and the same chart drawn from one min/max pair per
// pixel column. Each figure of printPaint is the best of three full paints (replot into the buffer, then the widget
// repainted and flushed to the display once); the window must be shown.
#include "BenchSupport.h"
#include "platform/Chart.h"
#include "records/Module1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <cstdio>
#include <limits>
#include <map>
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

// One replot as the program runs it: the chart's data already handed over, the replot drawn into the
// buffer and the widget painted and flushed to the display once.
inline double paintOnceMs(QCustomPlot* plot)
{
    const double t0 = wallMs();
    plot->replot(QCustomPlot::rpQueuedRefresh);
    plot->repaint();
    return wallMs() - t0;
}

// Replots as a running screen meets them: once a second of wall time for `seconds` seconds, with the event
// loop idle in between, `tick` (what the program does in that second, e.g. a poll that logs a point), then
// the chart's replot timed at once (it is cold: nothing was drawn for a second); half a second later the
// reference plot's, cold as well. Returns the chart's and the reference's times.
inline std::pair<std::vector<double>, std::vector<double>> coldPaints(QCustomPlot* plot, QCustomPlot* reference,
                                                                     int seconds, const std::function<void()>& tick)
{
    std::vector<double> chart, ref;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(500);
    int half = 0;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (half % 2 == 0) {
            if (tick) tick();
            chart.push_back(paintOnceMs(plot));
        } else {
            ref.push_back(paintOnceMs(reference));
        }
        if (++half == 2 * seconds) loop.quit();
    });
    timer.start();
    loop.exec();
    return {chart, ref};
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

// Watches widgets for the first paint that shows what the operator waits for: from arm() on, a widget
// counts as painted by its first paint event for which its condition holds (checked at the paint; it
// should tell that the new content is in place). waitMs() takes the time when the event loop has finished
// the pass that painted the last of them (the window's buffer flushed to the display included).
class PaintWatch : public QObject {
public:
    void watch(QWidget* w, std::function<bool()> ready = {})
    {
        w->installEventFilter(this);
        entries_.push_back({w, std::move(ready), false});
    }
    void arm()
    {
        armed_ = true;
        for (Entry& e : entries_) e.painted = false;
    }
    bool allPainted() const
    {
        return std::all_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.painted; });
    }
    // Runs the event loop until every watched widget is painted or timeoutMs passed; the time then, or -1.
    double waitMs(double timeoutMs = 60000)
    {
        const double deadline = wallMs() + timeoutMs;
        while (!allPainted() && wallMs() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return allPainted() ? wallMs() : -1;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (armed_ && e->type() == QEvent::Paint)
            for (Entry& en : entries_)
                if (en.widget == o && !en.painted && (!en.ready || en.ready())) en.painted = true;
        return false;
    }

private:
    struct Entry {
        QWidget* widget;
        std::function<bool()> ready;
        bool painted;
    };
    std::vector<Entry> entries_;
    bool armed_ = false;
};

// A fresh-process run's surroundings: the run works in folder, and the shared module's windows and records
// go before the application does.
struct FreshRunScope {
    explicit FreshRunScope(const char* folder) { QDir::setCurrent(QString::fromLocal8Bit(folder)); }
    ~FreshRunScope() { Module1::Reset(); }
};

// Runs this program again with args in a fresh process and returns the lines it printed (none when it did
// not finish within ten minutes).
inline QList<QByteArray> freshOutput(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return p.readAllStandardOutput().split('\n');
}

// Runs this program again with args, in a fresh process for one timed run, and returns the number it
// printed after "RESULT " (-1 when it printed none). The child's other output is passed on.
inline double freshRun(const QStringList& args)
{
    double value = -1;
    for (const QByteArray& line : freshOutput(args)) {
        if (line.startsWith("RESULT ")) value = line.mid(7).trimmed().toDouble();
        else if (!line.isEmpty()) std::printf("    %s\n", line.constData());
    }
    return value;
}

// Runs this program again with args in a fresh process and returns, by name, the numbers it printed on
// lines "SAMPLES <name> <number> ...". The child's other output is passed on.
inline std::map<QByteArray, std::vector<double>> freshSamples(const QStringList& args)
{
    std::map<QByteArray, std::vector<double>> out;
    for (const QByteArray& line : freshOutput(args)) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == "SAMPLES") {
            std::vector<double>& v = out[parts[1]];
            for (qsizetype i = 2; i < parts.size(); ++i) v.push_back(parts[i].toDouble());
        } else if (!line.isEmpty()) {
            std::printf("    %s\n", line.constData());
        }
    }
    return out;
}

// A line "SAMPLES <name> <number> ..." for freshSamples.
inline void printSamples(const char* name, const std::vector<double>& v)
{
    std::printf("SAMPLES %s", name);
    for (double x : v) std::printf(" %.4f", x);
    std::printf("\n");
    std::fflush(stdout);
}

// The load average as /proc/loadavg gives its first three figures.
inline QByteArray loadNow()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().split(' ').mid(0, 3).join(' ');
}

// Best and median of a list of figures (-1 entries, failed runs, left out).
struct Spread {
    double best = -1, median = -1;
    int runs = 0;
};
inline Spread spreadOf(std::vector<double> v)
{
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    Spread s;
    s.runs = int(v.size());
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.best = v.front();
    s.median = v[v.size() / 2];
    return s;
}

} // namespace bench
