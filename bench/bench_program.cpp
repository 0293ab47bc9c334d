// Benchmark of the whole program's cost while eight units run: the real-time window on a 1920x1080 screen
// with eight simple-test screens added from its menu and tiled side by side with its "Tile Vertically"
// (each screen keeps its minimum width of 320 px, so the eight columns overlap), every screen shown and
// painted, both cells of every unit running a test that logs a point every second. torvan-sim plays the
// eight units on pseudo-terminals, so the poll reads a real serial port and every point goes through the
// screen's own logging into Torvan.accdb, its detail window and its live chart.
//
// For each fill level (points per cell) it first brings every cell up to that many points, then lets the
// event loop run for a window of real time and measures:
//   - CPU: process CPU time per wall second, as % of one core (goal: under 10 %);
//   - probe: the worst lateness of a 10 ms precise timer, i.e. the longest the event loop was busy
//     (goal: no more than 50 ms);
//   - unit ticks: the worst lateness of any screen's 500 ms poll tick against the time its timer was due
//     (goal: no more than 50 ms).
// The reference, measured in the same run, is the same eight screens shown and polling with no cell running.
//
// The fill: a week at one point a second cannot be waited for. Each cell's points are added through the
// screen's own LogPoint (the TEST_RESULT row through the shared record object, the detail window's row and
// the live chart's point), with the rows committed in batches of 20,000 instead of one commit per point;
// then each screen's chart takes them through its usual append path, and the cell's start time is moved
// back by the added seconds so that its elapsed time and logged times go on from the last filled point. The
// filled points are the cell's readings of the moment with noise of the simulator's size.
//
//   build/bench_program [--offscreen] [--seconds S] [--settle S] [--sync-normal] [points per cell ...]
//       (default 20 s, 3 s, 0 1000 100000 600000). --sync-normal is a comparison: the database commits
//       without flushing to disk (the program flushes every commit), to show what the flushes cost.
// After each level a second window clicks, one screen after another, its Temperature trace box off and on
// again (two chart rebuilds each), and stops and starts again cell B of unit 1 (a START of the other cell):
// the "rebuild" line gives the same figures for that window.
//
// The display: the real one (xcb; run under xvfb-run -s '-screen 0 1920x1080x24' without a display) unless
// QT_QPA_PLATFORM is set, or --offscreen is given for the offscreen platform with one 1920x1080 screen. With
// BENCH_SHOT=PATH a
// picture of the window is saved as PATH-<level>.png after each level. Each "measuring" line carries the
// process id, so a profiler can attach for that window (perf record -g -p PID -- sleep S).
#include "BenchPaint.h"
#include "BenchSupport.h"
#include "TestSupport.h"
#include "platform/Chart.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using bench::cpuMs;
using bench::wallMs;
constexpr int kUnits = 8;
constexpr double kGoalCpuPercent = 10;
constexpr double kGoalLateMs = 50;
constexpr int kProbeMs = 10;
constexpr int kPollMs = 500;

// Runs the event loop for ms of real time.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() or ms have passed; false on time-out.
template <class F>
bool runUntil(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        runFor(50);
    }
    return true;
}

// Watches the event loop: a 10 ms precise timer's gaps, each screen's poll ticks (seen when their timer
// event arrives, before the tick runs) and the chart paints.
class Watch : public QObject {
public:
    explicit Watch(const std::vector<frmSimpleTest*>& screens) : due_(screens.size(), 0.0)
    {
        probe_.setTimerType(Qt::PreciseTimer);
        probe_.setInterval(kProbeMs);
        connect(&probe_, &QTimer::timeout, this, [this] {
            const double now = wallMs();
            if (lastProbe_ > 0) probeGaps_.push_back(now - lastProbe_);
            lastProbe_ = now;
        });
        probe_.start();
        for (std::size_t i = 0; i < screens.size(); ++i) {
            screens[i]->Timer1->installEventFilter(this);
            screens[i]->Timer1->setProperty("benchIndex", int(i));
            screens[i]->Pesgo1->plot()->installEventFilter(this);
        }
    }

    void reset()
    {
        probeGaps_.clear();
        lastProbe_ = 0;
        tickLate_.clear();
        // A tick that fell due before the window (while the bench counted the stored rows) is not the window's.
        std::fill(due_.begin(), due_.end(), 0.0);
        paints_ = 0;
    }

    struct Figures {
        double probeWorst = 0, probeP99 = 0;   // ms late
        double tickWorst = 0, tickP99 = 0;     // ms late against the time the timer was due
        int ticks = 0;
        int paints = 0;
    };

    Figures figures() const
    {
        Figures f;
        auto worstAndP99 = [](std::vector<double> v, double& worst, double& p99) {
            std::sort(v.begin(), v.end());
            if (v.empty()) return;
            worst = v.back();
            p99 = v[v.size() * 99 / 100];
        };
        std::vector<double> late;
        for (double g : probeGaps_) late.push_back(std::max(0.0, g - kProbeMs));
        worstAndP99(late, f.probeWorst, f.probeP99);
        f.ticks = int(tickLate_.size());
        worstAndP99(tickLate_, f.tickWorst, f.tickP99);
        f.paints = paints_;
        return f;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Timer) {
            // The dispatcher has already scheduled the next timeout when the event arrives: the tick is late
            // by the time since it was due, and the next one is due after the remaining time.
            const QVariant i = o->property("benchIndex");
            auto* timer = qobject_cast<QTimer*>(o);
            if (i.isValid() && timer) {
                const double now = wallMs();
                double& due = due_[std::size_t(i.toInt())];
                if (due > 0) tickLate_.push_back(std::max(0.0, now - due));
                due = now + timer->remainingTime();
            }
        } else if (e->type() == QEvent::Paint) {
            ++paints_;
        }
        return false;
    }

private:
    QTimer probe_;
    double lastProbe_ = 0;
    std::vector<double> probeGaps_;
    std::vector<double> due_;        // per screen: when its next tick is due (wall ms), 0 before its first
    std::vector<double> tickLate_;
    int paints_ = 0;
};

// The application, timing every event it delivers from the event loop (not the nested ones): the slowest
// few of a window, each with its wall and CPU time, tell a busy handler from a wait (a disk flush, the
// scheduler of a loaded machine).
class TimedApp : public QApplication {
public:
    using QApplication::QApplication;
    struct Slow {
        double wallMs, cpuMs;
        QString what;
    };
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        const double w0 = wallMs(), c0 = bench::clockMs(CLOCK_THREAD_CPUTIME_ID);
        const int type = int(event->type());
        const QPointer<QObject> alive(receiver);   // a single-shot timer's receiver goes with its event
        const bool result = QApplication::notify(receiver, event);
        const double wall = wallMs() - w0;
        --depth_;
        if (alive) {
            Total& t = totals_[QStringLiteral("event %1 to %2").arg(type).arg(QString::fromLatin1(receiver->metaObject()->className()))];
            ++t.count;
            t.cpuMs += bench::clockMs(CLOCK_THREAD_CPUTIME_ID) - c0;
        }
        if (alive && wall > 20 && (slow_.size() < 5 || wall > slow_.back().wallMs)) {
            QString who = QString::fromLatin1(receiver->metaObject()->className());
            for (QObject* o = receiver; o; o = o->parent()) {
                if (auto* s = qobject_cast<frmSimpleTest*>(o)) {
                    who += QStringLiteral(" of unit %1").arg(s->Units());
                    break;
                }
            }
            if (!receiver->objectName().isEmpty()) who += QStringLiteral(" ") + receiver->objectName();
            slow_.push_back({wall, bench::clockMs(CLOCK_THREAD_CPUTIME_ID) - c0,
                             QStringLiteral("event %1 to %2").arg(type).arg(who)});
            std::sort(slow_.begin(), slow_.end(), [](const Slow& a, const Slow& b) { return a.wallMs > b.wallMs; });
            if (slow_.size() > 5) slow_.pop_back();
        }
        return result;
    }
    std::vector<Slow> takeSlow() { return std::exchange(slow_, {}); }
    // CPU per kind of event (type and receiver class) since the last call, the costliest first.
    struct Total {
        int count = 0;
        double cpuMs = 0;
    };
    std::vector<std::pair<QString, Total>> takeTotals(std::size_t most)
    {
        std::vector<std::pair<QString, Total>> out(totals_.begin(), totals_.end());
        totals_.clear();
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second.cpuMs > b.second.cpuMs; });
        if (out.size() > most) out.resize(most);
        return out;
    }

private:
    int depth_ = 0;
    std::vector<Slow> slow_;
    std::map<QString, Total> totals_;
};

frmTestDetail* detail(int unit, int cell)
{
    return Module1::form<frmTestDetail>(Module1::DetailForms[std::size_t(unit)][std::size_t(cell)]);
}

int pointsOf(int unit, int cell)
{
    frmTestDetail* d = detail(unit, cell);
    return d ? d->PointCount() : 0;
}

// Adds points to every running cell until each holds n, through the screens' own logging (see the top).
// Returns the milliseconds taken.
double fill(const std::vector<frmSimpleTest*>& screens, int n)
{
    const double t0 = wallMs();
    clsConnection& db = *Module1::DbConnection;
    std::uint32_t seed = 12345;
    auto noise = [&seed] {   // -1 .. 1
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 23) - 1.0;
    };
    for (frmSimpleTest* s : screens) {
        for (int c = 1; c <= 2; ++c) {
            realtime::UnitCell& k = s->poll().cell(c);
            const int have = pointsOf(s->Units(), c);
            const int add = n - have;
            if (add <= 0 || k.state != realtime::CellRunning) continue;
            const std::uint32_t now = platform::Clock::current().milliseconds();
            const std::int32_t elapsed = std::int32_t(realtime::msSince(k.startTick, now) / 1000);
            int token = db.BeginTrans();
            for (int i = 0; i < add; ++i) {
                realtime::LoggedPoint p;
                p.cell = c;
                p.testId = k.testId;
                p.stepNo = 1;
                p.resultTime = elapsed + 1 + i;
                p.temp = k.currentTemp + 0.3 * noise();
                p.bathTemp = k.bathTemp + 0.3 * noise();
                p.press = std::round(k.pressure + 2 * noise());
                p.heightChange = k.lengthChange + 0.00005 * noise();
                p.volts = k.volts + 0.0002 * noise();
                p.swell = k.waferLength > 0 ? std::round(p.heightChange / k.waferLength * 1000) / 10 : 0;
                s->LogPoint(s->Units(), p);
                if ((i + 1) % 20000 == 0) {
                    db.CommitTrans(token);
                    token = db.BeginTrans();
                }
            }
            db.CommitTrans(token);
            // The cell started `add` seconds earlier; its next point falls due one interval from now.
            k.startTick -= std::uint32_t(add) * 1000u;
            k.lastLogTick = platform::Clock::current().milliseconds();
        }
        s->RefreshChart();
    }
    return wallMs() - t0;
}

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : 0;
}

struct Window {
    double cpuPercent = 0;
    Watch::Figures f;
    double pointsPerCellSecond = 0;
    double rssMB = 0;
    double load = 0;
    double seconds = 0;
    std::vector<TimedApp::Slow> slow;
    std::vector<std::pair<QString, TimedApp::Total>> totals;
};

Window measure(TimedApp& app, Watch& watch, const std::vector<frmSimpleTest*>& screens, int seconds, const char* what)
{
    std::printf("measuring %s for %d s (pid %lld)\n", what, seconds, (long long)getpid());
    std::fflush(stdout);
    // Rows stored (a restarted cell's detail window starts again from none), counted outside the window.
    auto points = [] {
        return testsupport::sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT")).toLongLong();
    };
    const long long p0 = points();
    watch.reset();
    app.takeSlow();
    app.takeTotals(0);
    const double c0 = cpuMs(), w0 = wallMs();
    runFor(seconds * 1000);
    const double c1 = cpuMs(), w1 = wallMs();
    (void)screens;
    Window out;
    out.cpuPercent = (c1 - c0) / (w1 - w0) * 100;
    out.f = watch.figures();
    out.pointsPerCellSecond = double(points() - p0) / (2.0 * kUnits) / ((w1 - w0) / 1000);
    out.rssMB = bench::rssBytes() / 1e6;
    out.load = loadAverage();
    out.seconds = (w1 - w0) / 1000;
    out.slow = app.takeSlow();
    out.totals = app.takeTotals(4);
    return out;
}

void printWindow(const char* label, const Window& w, const Window* ref)
{
    auto verdict = [](bool ok) { return ok ? "ok " : "OVER"; };
    std::printf("%-12s cpu %6.2f %% of a core [goal < %.0f %% %s]%s  probe worst %6.1f ms (p99 %5.1f) [goal <= %.0f ms %s]  "
                "unit ticks worst %6.1f ms (p99 %5.1f, %d ticks) [goal <= %.0f ms %s]  points %.2f /cell/s  "
                "chart paints %.1f /s  RSS %.0f MB  load %.1f\n",
                label, w.cpuPercent, kGoalCpuPercent, verdict(w.cpuPercent < kGoalCpuPercent),
                ref ? qPrintable(QStringLiteral(" (idle ref %1 %, x%2)")
                                     .arg(ref->cpuPercent, 0, 'f', 2)
                                     .arg(ref->cpuPercent > 0 ? w.cpuPercent / ref->cpuPercent : 0, 0, 'f', 1))
                    : "",
                w.f.probeWorst, w.f.probeP99, kGoalLateMs, verdict(w.f.probeWorst <= kGoalLateMs), w.f.tickWorst,
                w.f.tickP99, w.f.ticks, kGoalLateMs,
                verdict(w.f.tickWorst <= kGoalLateMs), w.pointsPerCellSecond,
                double(w.f.paints) / w.seconds, w.rssMB, w.load);
    for (const TimedApp::Slow& e : w.slow)
        std::printf("    slow event: %7.1f ms wall, %6.1f ms CPU: %s\n", e.wallMs, e.cpuMs, qPrintable(e.what));
    for (const auto& [what, t] : w.totals)
        std::printf("    CPU by event kind: %7.1f ms in %d: %s\n", t.cpuMs, t.count, qPrintable(what));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // The offscreen platform's note about size hints, once per window, says nothing about the program.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QLatin1String("propagateSizeHints"))) previous(type, context, text);
        });
    bool offscreen = false;
    for (int i = 1; i < argc; ++i) offscreen = offscreen || !std::strcmp(argv[i], "--offscreen");
    // The real display unless a platform was chosen; on request one 1920x1080 screen on the offscreen one.
    QTemporaryFile screenConfig(QStringLiteral("/tmp/bench_program_screen_XXXXXX.json"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !offscreen) {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            std::fprintf(stderr, "no display: run under xvfb-run -s '-screen 0 1920x1080x24', or give --offscreen\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && screenConfig.open()) {
        screenConfig.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,
                               "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screenConfig.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenConfig.fileName().toLocal8Bit());
    }
    int seconds = 20, settle = 3;
    bool syncNormal = false;
    std::vector<int> levels;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--settle") && i + 1 < argc) settle = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--sync-normal")) syncNormal = true;
        else if (!std::strcmp(argv[i], "--offscreen")) continue;
        else levels.push_back(std::atoi(argv[i]));
    }
    if (levels.empty()) levels = {0, 1000, 100000, 600000};
    std::sort(levels.begin(), levels.end());
    TimedApp app(argc, argv);

    // A working folder with eight units on ports 1..8, each calibrated as the simulator's transducer.
    testsupport::TempWorkDir dir;
    dir.write(QStringLiteral("initial.txt"), SettingsFile::text({1, 2, 3, 4, 5, 6, 7, 8}, 1));
    QByteArray cal;
    for (int i = 0; i < kUnits; ++i) cal += "1,2.5,4,.1,.25,.1,.25,1,2.5,4,.1,.25,.1,.25\r\n";
    dir.write(QStringLiteral("Calib.dat"), cal);
    Module1::UnitSystem = 1;
    Module1::SetUnitCaptions();
    Module1::DbConnection = testsupport::openConnection();
    if (syncNormal) {
        // A comparison only: commits without a flush to disk, to show what the flushes cost the event loop.
        QSqlQuery q(Module1::DbConnection->ADOConnection()->db());
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        std::printf("comparison run: PRAGMA synchronous=NORMAL (the program runs with FULL)\n");
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
              {"--dir", dir.path(), "--ports", "1,2,3,4,5,6,7,8", "--seed", "5"});
    if (!sim.waitForStarted(5000)
        || !runUntil([&] {
               for (int n = 1; n <= kUnits; ++n)
                   if (!QFile::exists(dir.file(QStringLiteral("COM%1").arg(n)))) return false;
               return true;
           }, 10000)) {
        std::fprintf(stderr, "torvan-sim did not start (build the torvan-sim target)\n");
        return 1;
    }

    platform::ScriptedPrompts prompts;
    QString nextName;
    platform::setModalHandler([&nextName](QDialog& d) {
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->txtTestInfo[1]->setText(nextName);
        dlg->Command2_Click();
        return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });

    int status = 0;
    {
        frmMDIRealTime w;
        w.show();
        std::vector<frmSimpleTest*> screens;
        for (int n = 1; n <= kUnits; ++n) {
            w.menuSimpleAdd_Click(n);
            if (auto* s = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[std::size_t(n)]); s && s->MSComm1->isOpen())
                screens.push_back(s);
        }
        if (int(screens.size()) != kUnits || !prompts.texts().isEmpty()) {
            std::fprintf(stderr, "the units did not open: %s\n", qPrintable(prompts.texts().join(" | ")));
            return 1;
        }
        // Maximised on the screen, as the window opens; the offscreen platform needs the geometry given.
        w.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        runFor(200);
        w.MenuWindowVertically_Click();
        const QSize screenSize = QGuiApplication::primaryScreen()->size();
        const QSize unitSize = screens[0]->size(), plotSize = screens[0]->Pesgo1->plot()->size();
        std::printf("screen %dx%d, window %dx%d, %d unit screens tiled side by side, each %dx%d (chart %dx%d)\n",
                    screenSize.width(), screenSize.height(), w.width(), w.height(), kUnits, unitSize.width(),
                    unitSize.height(), plotSize.width(), plotSize.height());

        if (!runUntil([&] {
                for (frmSimpleTest* s : screens)
                    if (s->poll().cell(1).volts < 1.5 || s->poll().cell(2).volts < 1.5) return false;
                return true;
            }, 10000)) {
            std::fprintf(stderr, "the units do not report\n");
            return 1;
        }
        Watch watch(screens);
        runFor(settle * 1000);
        const Window idle = measure(app, watch, screens, seconds, "idle reference");
        printWindow("idle (ref)", idle, nullptr);

        // Both cells of every unit: zeroed against the dry wafer, described, a point a second, started.
        int started = 0;
        auto start = [&](frmSimpleTest* s, int c) {
            // The dry wafer is the length the cell reads now: a wafer the simulator let swell stays swollen.
            prompts.queueInput(QString::number(s->poll().cell(c).length, 'f', 4));
            s->cmdzero_Click(c);
            nextName = QStringLiteral("bench unit %1 cell %2 test %3").arg(s->Units()).arg(c).arg(++started);
            s->cmdInfo_Click(c);
            s->txtInterval[std::size_t(c)]->setText(QStringLiteral("1"));
            s->txtMaxTime[std::size_t(c)]->setText(QStringLiteral("100000"));
            s->txtTemps[std::size_t(c)]->setText(QStringLiteral("150"));
            s->cmdStart_Click(c);
            if (s->poll().cell(c).state == realtime::CellRunning) return true;
            std::fprintf(stderr, "unit %d cell %d did not start: %s\n", s->Units(), c, qPrintable(prompts.texts().join(" | ")));
            return false;
        };
        for (frmSimpleTest* s : screens)
            for (int c = 1; c <= 2; ++c)
                if (!start(s, c)) return 1;

        for (int n : levels) {
            const double fillMs = fill(screens, n);
            int least = 1 << 30, most = 0;
            for (frmSimpleTest* s : screens)
                for (int c = 1; c <= 2; ++c) {
                    least = std::min(least, pointsOf(s->Units(), c));
                    most = std::max(most, pointsOf(s->Units(), c));
                }
            std::printf("fill to %d points per cell: %.1f s (cells hold %d..%d points)\n", n, fillMs / 1000, least, most);
            runFor(settle * 1000);
            char label[32];
            std::snprintf(label, sizeof label, "%d/cell", n);
            const Window win = measure(app, watch, screens, seconds, label);
            printWindow(label, win, &idle);
            // The operator's rebuilds: each screen's Temperature box off and on, then cell B of unit 1 stopped
            // and started again, spread over the window.
            if (seconds >= 4) {
                const int step = seconds * 1000 / (2 * kUnits + 3);
                for (int k = 0; k < 2 * kUnits; ++k)
                    QTimer::singleShot(step * (k + 1), &app, [s = screens[std::size_t(k / 2)]] { s->chkTemp->click(); });
                QTimer::singleShot(step * (2 * kUnits + 1), &app, [&prompts, s = screens[0]] {
                    prompts.queueAnswer(platform::Answer::Yes);
                    s->cmdStart_Click(2);
                });
                QTimer::singleShot(step * (2 * kUnits + 2), &app, [&, s = screens[0]] { start(s, 2); });
                std::snprintf(label, sizeof label, "%d rebuild", n);
                const Window rebuilt = measure(app, watch, screens, seconds, label);
                printWindow(label, rebuilt, &idle);
            }
            // With BENCH_SHOT set, a picture of the window after each level's window.
            if (const QString shot = qEnvironmentVariable("BENCH_SHOT"); !shot.isEmpty())
                w.grab().save(QStringLiteral("%1-%2.png").arg(shot).arg(n));
            if (win.pointsPerCellSecond < 0.5) {
                std::fprintf(stderr, "warning: only %.2f points per cell and second were logged\n", win.pointsPerCellSecond);
                status = 1;
            }
        }

        // Every point the detail windows show is in the database.
        long long shown = 0;
        for (frmSimpleTest* s : screens)
            for (int c = 1; c <= 2; ++c) shown += pointsOf(s->Units(), c);
        long long stored = 0;   // of the tests now running (a restarted cell's earlier test has its own rows)
        for (frmSimpleTest* s : screens)
            for (int c = 1; c <= 2; ++c)
                stored += testsupport::sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = %1")
                                                    .arg(s->poll().cell(c).testId)).toLongLong();
        std::printf("points shown in the detail windows %lld, rows in TEST_RESULT %lld%s\n", shown, stored,
                    shown == stored ? "" : "  MISMATCH");
        if (shown != stored) status = 1;
        bench::printLoad();

        // Stop every cell so the screens close as an operator would close them.
        for (frmSimpleTest* s : screens)
            for (int c = 1; c <= 2; ++c) {
                prompts.queueAnswer(platform::Answer::Yes);
                s->cmdStart_Click(c);
            }
    }
    sim.kill();
    sim.waitForFinished(3000);
    for (auto& unit : Module1::DetailForms)
        for (auto& d : unit) delete d.data();
    platform::setModalHandler({});
    Module1::Reset();
    return status;
}
