// Benchmark of the sequence-test screen, shown as an operator sees it:
//  1. the CPU cost of one poll tick of a whole screen shown at its design size (records read, labels,
//     stepping, a logged point per cell every second, the live chart redrawn and the window painted),
//     both cells running, next to the simple-test screen's with the same readings and interval;
//  2. the painting of the screen at its design size (985x628) and at 1920x1080: the whole window, beside
//     the simple screen's at the same size, and its chart, beside a bare QCustomPlot of the same points
//     and the same chart drawn from one min/max pair per pixel column;
//  3. how far each step's real length is from its duration over a 20-step run on the real clock and a real
//     500 ms QTimer (each step may last up to one tick longer than its duration).
// Usage: bench_seqtest [ticks]   (default 2400 ticks = 20 minutes of test time per screen, at most 3000)
//   SHOT=name   saves each painted window as /tmp/seqtest_<name>_<sequence 0|1>_<width>.png
#include "../tests/realtime/SimpleTestRig.h"
#include "BenchPaint.h"
#include "BenchSupport.h"

#include "platform/FakeSerialPort.h"
#include "realtime/SequenceSteps.h"
#include "realtime/UnitPoll.h"
#include "realtime/frmNameSeq.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <qcustomplot.h>

namespace {

double threadCpuUs() { return bench::clockMs(CLOCK_THREAD_CPUTIME_ID) * 1e3; }

struct TickCost {
    double median = 0, p99 = 0, mean = 0;
};

// Ticks of a shown screen, each followed by what the event loop runs after it: the queued chart replot
// and the window's painting.
TickCost measure(rig::Rig& r, int ticks)
{
    std::vector<double> us;
    us.reserve(std::size_t(ticks));
    for (int i = 0; i < ticks; ++i) {
        r.feed(1, 250 + (i % 7) * 0.1, 2500 + i * 0.01, 400);
        r.feed(2, 249 + (i % 5) * 0.1, 2500 + i * 0.02, 400);
        r.clock.advance(500);
        const double t0 = threadCpuUs();
        r.screen->Timer1_Timer();
        QApplication::processEvents();
        QApplication::processEvents();
        us.push_back(threadCpuUs() - t0);
    }
    TickCost c;
    double sum = 0;
    for (double v : us) sum += v;
    std::sort(us.begin(), us.end());
    c.median = us[us.size() / 2];
    c.p99 = us[us.size() * 99 / 100];
    c.mean = sum / double(us.size());
    return c;
}

// Best of three paints of the whole window, as an expose repaints it (the chart from its buffer).
double windowPaintMs(QWidget* w)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        const double t0 = bench::wallMs();
        w->repaint();
        best = std::min(best, bench::wallMs() - t0);
    }
    return best;
}

struct ScreenRun {
    TickCost tick;
    double window[2] = {0, 0};   // design size, 1920x1080
};

// Both cells of a screen zeroed, described and started with a 1 s interval (sequence: 0.25 min steps,
// alternating 250 and 260 °F, 1 s interval), all three traces ticked, the screen shown at its design size
// while it runs. Then the window painted at its design size and at 1920x1080; the sequence screen's chart
// too, beside its references.
ScreenRun screenRun(bool sequence, int ticks)
{
    rig::Rig r(1, sequence);
    const QSize design(985, sequence ? frmSeqTest::DesignHeight : frmSimpleTest::DesignHeight);
    r.screen->resize(design);
    r.screen->show();
    QApplication::processEvents();
    if (sequence) {
        testsupport::sqlExec("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) VALUES ('B', 20, 60)");
        QString values;
        for (int k = 1; k <= 100; ++k)
            values += QStringLiteral("%1(1, %2, 0.25, %3, 1, 0)").arg(k > 1 ? "," : "").arg(k).arg(k % 2 ? 250 : 260);
        testsupport::sqlExec(QStringLiteral("INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, "
                                            "STEP_TEMP, RECORD_RATE, STEP_PRESS) VALUES ") + values);
        r.otherDialog = [](QDialog& d) {
            auto* p = qobject_cast<frmNameSeq*>(&d);
            if (p) p->cmdOk->click();
            return d.result();
        };
    }
    for (int c = 1; c <= 2; ++c) {
        r.zero(c, QStringLiteral("0.25"));
        r.enterInfo(c, QStringLiteral("Bench %1 %2").arg(sequence).arg(c));
        r.feed(c, 70, 2500, 400);
        r.tick();
        r.type("txtTemps", c, QStringLiteral("250"));
        if (!sequence) {
            r.type("txtInterval", c, QStringLiteral("1"));
            r.type("txtMaxTime", c, QStringLiteral("100000"));
        }
        r.start(c);
    }
    for (QCheckBox* box : {r.screen->chkSwell, r.screen->chkTemp, r.screen->chkPress}) box->setChecked(true);
    ScreenRun run;
    run.tick = measure(r, ticks);

    QCustomPlot* plot = r.screen->Pesgo1->plot();
    int k = 0;
    for (const QSize size : {design, QSize(1920, 1080)}) {
        r.screen->resize(size);
        QApplication::processEvents();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        run.window[k++] = windowPaintMs(r.screen);
        if (qEnvironmentVariableIsSet("SHOT"))
            r.screen->grab().save(QStringLiteral("/tmp/seqtest_%1_%2_%3.png").arg(qEnvironmentVariable("SHOT")).arg(sequence).arg(size.width()));
        if (sequence) {
            char label[64];
            std::snprintf(label, sizeof label, "chart, %dx%d", size.width(), size.height());
            bench::printPaint(label, plot);
        }
    }
    return run;
}

// A poll on a silent fake port with one cell stepping through 20 steps on the real clock.
class StepListener : public realtime::UnitPollListener {
public:
    realtime::UnitPoll* poll = nullptr;
    std::vector<double> changes;   // wall ms of each step begin
    QElapsedTimer wall;
    bool done = false;
    void showLabel(int, realtime::CellLabel, const QString&) override {}
    void showAlarm(int, bool) override {}
    void showStatus(int, const QString&) override {}
    void showMessage(const QString&) override {}
    void stopCell(int c) override
    {
        poll->cell(c).state = realtime::CellStopped;
        changes.push_back(double(wall.nsecsElapsed()) / 1e6);
        done = true;
    }
    bool storePoint(const realtime::LoggedPoint&) override { return true; }
    bool stepChanged(int) override
    {
        changes.push_back(double(wall.nsecsElapsed()) / 1e6);
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ticks = bench::sizes(argc, argv, {2400}).front();

    std::printf("sequence screen shown, both cells running and logging every second, %d ticks; then its chart:\n", ticks);
    const ScreenRun sequence = screenRun(true, ticks);
    const ScreenRun simple = screenRun(false, ticks);
    std::printf("screen tick with the chart redrawn and the window painted at its design size (CPU per tick):\n");
    std::printf("  simple screen:   median %8.1f us, p99 %8.1f us, mean %8.1f us\n", simple.tick.median,
                simple.tick.p99, simple.tick.mean);
    std::printf("  sequence screen: median %8.1f us, p99 %8.1f us, mean %8.1f us (x%.2f of the simple screen's;\n"
                "                   15 s steps: a step change every 30th tick per cell)\n",
                sequence.tick.median, sequence.tick.p99, sequence.tick.mean, sequence.tick.mean / simple.tick.mean);
    const char* sizeNames[2] = {"design size", "1920x1080"};
    for (int k = 0; k < 2; ++k)
        std::printf("whole window painted, %-11s: sequence screen %7.2f ms, simple screen %7.2f ms (x%.2f)\n",
                    sizeNames[k], sequence.window[k], simple.window[k], sequence.window[k] / simple.window[k]);
    bench::printLoad();

    // --- step lengths on the real clock ---
    constexpr int kSteps = 20;
    constexpr double kMinutes = 2.0 / 60;   // 2 s (a step ends on whole seconds since its tick)
    platform::FakeSerialPort port;
    port.open(1, "19200,n,8,1");
    StepListener listener;
    realtime::UnitPoll poll(port, listener, 1, realtime::UnitPoll::Screen::Sequence);
    listener.poll = &poll;
    realtime::UnitCell& cell = poll.cell(1);
    std::vector<realtime::SequenceStep> steps(kSteps, realtime::SequenceStep{kMinutes, 200, 1});
    cell.sequence.load(steps);
    cell.state = realtime::CellRunning;
    cell.loggingInterval = 1;
    listener.wall.start();
    poll.startTiming(1);
    listener.changes.push_back(0);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        port.receive(rig::record(1, 200, 200, 200, 2500, 0) + rig::record(2, 200, 200, 200, 2500, 0));
        poll.tick();
        if (listener.done) app.quit();
    });
    timer.start(500);
    app.exec();
    std::vector<double> excess;
    for (std::size_t i = 1; i < listener.changes.size(); ++i)
        excess.push_back(listener.changes[i] - listener.changes[i - 1] - kMinutes * 60000);
    double sum = 0, worst = 0;
    for (double e : excess) {
        sum += e;
        worst = std::max(worst, e);
    }
    std::printf("%d steps of %.1f s on the real clock, 500 ms poll: each step %.0f ms longer on average, at most "
                "%.0f ms; the run %.2f s for %.1f s of steps\n",
                kSteps, kMinutes * 60, sum / double(excess.size()), worst, listener.changes.back() / 1000,
                kSteps * kMinutes * 60);
    return int(excess.size()) == kSteps ? 0 : 1;
}
