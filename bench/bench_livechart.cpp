// Benchmark of logging on the simple-test screen: the cost of one logged point (the TEST_RESULT row, the
// detail row, the live chart brought up to date and drawn) with both cells running and 1,000, 100,000 and
// 600,000 points per cell already logged, and the cost of the full chart rebuild that START runs.
//
// Each size gets two fresh tests whose earlier points are written straight into the database (one
// transaction) before START; then both cells log one point per poll tick and the chart is drawn after each
// tick, as the event loop would draw it. Then the replot as a running screen meets it, in fresh processes
// (this program again, with --replot-run): the screen shown at its design size or at 1920x1080, once a
// second of wall time a poll tick that logs a point in each cell and the chart's replot and paint timed
// right after it (cold, nothing drawn for a second), and half a second later a bare QCustomPlot of the
// same points at the same size, timed the same way; medians over every replot of every run. Goal at 1,000
// points per cell: <= 3 ms, and no slower than the bare plot.
//
// Last, the memory of running tests: eight unit screens, both cells of each logging every second, and the
// growth of the resident set per logged point beside its goal.
//   build/bench_livechart [--offscreen] [points per cell ...]      (default 1000 100000 600000)
//   BENCH_REPLOT_RUNS=n   fresh processes per size (default 3), each timing 8 replots
//   The real display (xcb; under xvfb-run -s '-screen 0 1920x1080x24' without one) unless QT_QPA_PLATFORM
//   is set or --offscreen is given.
//   BENCH_MEMORY_TICKS=n  ticks of the memory run (default 20000; 0 leaves it out)
//   SHOT=name             saves each painted chart as /tmp/livechart_<name>_<points>_<width>.png
#include "BenchPaint.h"
#include "BenchSupport.h"
#include "TestSupport.h"
#include "platform/Chart.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/clsConnection.h"

#include <QApplication>
#include <cstring>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QEventLoop>
#include <QTimer>
#include <QPushButton>
#include <qcustomplot.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using bench::cpuMs;
using bench::wallMs;

// Points -n .. -1 s of a test, so the points logged after START follow them in time.
bool prefill(int testId, int n)
{
    sqlite3* db = nullptr;
    const QByteArray path = QDir::current().absoluteFilePath(QStringLiteral("Torvan.accdb")).toUtf8();
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return false;
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES (?, 1, ?, ?, ?, ?, ?, ?)",
                       -1, &st, nullptr);
    for (int i = 0; i < n; ++i) {
        const double t = -(n - i);
        sqlite3_bind_int(st, 1, testId);
        sqlite3_bind_double(st, 2, t);
        sqlite3_bind_double(st, 3, 250 + (i % 50) * 0.1);
        sqlite3_bind_double(st, 4, 251 + (i % 40) * 0.1);
        sqlite3_bind_double(st, 5, 300 + i % 7);
        sqlite3_bind_double(st, 6, 0.03 * double(i) / n);
        sqlite3_bind_double(st, 7, 2.5 + 0.3 * double(i) / n);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

QByteArray record(char cell, int i)
{
    const double t = 250 + (i % 13) * 0.1;
    return QByteArray(1, cell) + "1," + QByteArray::number(t) + "," + QByteArray::number(t + 1) + ",250,"
        + QByteArray::number(2600 + (i % 100) * 0.5) + "," + QByteArray::number(300 + i % 3) + char(26);
}

constexpr int kReplotSeconds = 8;

// The cold replots of the screen at one fill level and size, in fresh processes: medians of the chart's and
// the bare plot's times over every replot.
void freshReplots(int n, const QSize& size)
{
    const int runs = qEnvironmentVariableIsSet("BENCH_REPLOT_RUNS") ? qEnvironmentVariableIntValue("BENCH_REPLOT_RUNS") : 3;
    std::vector<double> chart, bare;
    for (int r = 0; r < runs; ++r) {
        auto got = bench::freshSamples({QStringLiteral("--replot-run"), QString::number(n), QString::number(size.width()),
                                        QString::number(size.height())});
        chart.insert(chart.end(), got["chart"].begin(), got["chart"].end());
        bare.insert(bare.end(), got["bare"].begin(), got["bare"].end());
    }
    const bench::Spread c = bench::spreadOf(chart), b = bench::spreadOf(bare);
    const bool goal = c.median >= 0 && c.median <= 3 && c.median <= b.median;
    std::printf("%d/cell %dx%d: cold replot once a second, median of %d in %d fresh processes: %.2f ms; bare "
                "QCustomPlot of the same points %.2f ms (x%.2f)%s\n",
                n, size.width(), size.height(), c.runs, runs, c.median, b.median, c.median / b.median,
                n == 1000 ? (goal ? "  [goal <= 3 ms and <= bare: met]" : "  [goal <= 3 ms and <= bare: NOT met]") : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;   // the arguments without --offscreen and the fresh run's
    bool offscreen = false;
    int replotRun = 0;   // points per cell of a fresh replot run (--replot-run N WIDTH HEIGHT), 0 otherwise
    QSize replotSize;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && !std::strcmp(argv[i], "--offscreen")) {
            offscreen = true;
        } else if (i > 0 && !std::strcmp(argv[i], "--replot-run") && i + 3 < argc) {
            replotRun = std::atoi(argv[i + 1]);
            replotSize = QSize(std::atoi(argv[i + 2]), std::atoi(argv[i + 3]));
            i += 3;
        } else {
            args.push_back(argv[i]);
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (!offscreen && qEnvironmentVariableIsEmpty("DISPLAY")) {
            std::fprintf(stderr, "no display: run under xvfb-run -s '-screen 0 1920x1080x24', or give --offscreen\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", offscreen ? "offscreen" : "xcb");
    }
    int count = int(args.size());
    QApplication app(count, args.data());
    const std::vector<int> sizes =
        replotRun > 0 ? std::vector<int>{replotRun} : bench::sizes(int(args.size()), args.data(), {1000, 100000, 600000});

    testsupport::TempWorkDir dir;
    platform::ScriptedPrompts prompts;
    platform::ManualClock clock(1000);
    Module1::UnitSystem = 1;
    Module1::SetUnitCaptions();
    Module1::DbConnection = testsupport::openConnection();
    for (int c = 1; c <= 2; ++c) Module1::Calibration[1][std::size_t(c)] = {1, 2.5, 4, 0, 0.1, 0, 0.1};

    platform::FakeSerialPort* port = nullptr;
    platform::setSerialPortFactory([&port] {
        auto p = std::make_unique<platform::FakeSerialPort>();
        port = p.get();
        return std::unique_ptr<platform::SerialPort>(std::move(p));
    });
    QString nextName;
    platform::setModalHandler([&nextName](QDialog& d) {
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        dlg->txtTestInfo[1]->setText(nextName);
        dlg->Command2_Click();
        return 1;
    });
    std::uint32_t nextTestNo = 0;
    // A cell zeroed and described with a new test, set to log every second at 250 °F (not started).
    auto describe = [&](frmSimpleTest* s, int c) {
        prompts.queueInput(QStringLiteral("0.25"));
        s->cmdzero_Click(c);
        nextName = QStringLiteral("bench %1").arg(++nextTestNo);
        s->cmdInfo_Click(c);
        s->txtInterval[std::size_t(c)]->setText(QStringLiteral("1"));
        s->txtMaxTime[std::size_t(c)]->setText(QStringLiteral("100000"));
        s->txtTemps[std::size_t(c)]->setText(QStringLiteral("250"));
    };
    auto stopCells = [&](frmSimpleTest* s) {
        for (int c = 1; c <= 2; ++c) {
            prompts.queueAnswer(platform::Answer::Yes);
            s->cmdStart_Click(c);
        }
    };
    auto deleteDetailWindows = [] {
        for (auto& unit : Module1::DetailForms)
            for (auto& w : unit) delete w.data();
    };

    // Memory of running tests, first, in a fresh process: eight unit screens tiled on a 1920x1080 desktop,
    // both cells of each logging every second; the resident set's growth per logged point once the screens
    // have settled.
    const int memTicks = replotRun > 0 ? 0
        : qEnvironmentVariableIsSet("BENCH_MEMORY_TICKS") ? qEnvironmentVariableIntValue("BENCH_MEMORY_TICKS") : 20000;
    if (memTicks > 0) {
        constexpr int kUnits = 8;
        constexpr double kGoal = 64;
        std::vector<frmSimpleTest*> screens;
        std::vector<platform::FakeSerialPort*> ports;
        for (int u = 1; u <= kUnits; ++u) {
            for (int c = 1; c <= 2; ++c) Module1::Calibration[std::size_t(u)][std::size_t(c)] = {1, 2.5, 4, 0, 0.1, 0, 0.1};
            auto* s = new frmSimpleTest;
            s->setUnits(u);
            Module1::SimpleTestForms[std::size_t(u)] = s;
            s->setGeometry(((u - 1) % 4) * 480, ((u - 1) / 4) * 540, 480, 540);
            s->show();
            port->open(u, QStringLiteral("19200,n,8,1"));
            screens.push_back(s);
            ports.push_back(port);
        }
        QApplication::processEvents();
        auto tickAll = [&](int i) {
            for (auto* p : ports) p->receive(record('A', i) + record('B', i));
            clock.advance(1000);
            for (auto* s : screens) s->Timer1_Timer();
            if (i % 100 == 0) QApplication::processEvents();
        };
        int i = 0;
        for (; i < 2; ++i) tickAll(i);
        for (std::size_t k = 0; k < screens.size(); ++k) {
            frmSimpleTest* s = screens[k];
            for (int c = 1; c <= 2; ++c) {
                describe(s, c);
                s->cmdStart_Click(c);
            }
            s->Timer1->stop();
            for (QCheckBox* box : {s->chkSwell, s->chkTemp, s->chkPress}) box->setChecked(true);
        }
        const int warmUp = 2000;
        for (; i < warmUp; ++i) tickAll(i);
        auto held = [&] {
            std::size_t chart = 0, detail = 0;
            for (std::size_t k = 0; k < screens.size(); ++k) {
                chart += screens[k]->Pesgo1->pointMemoryBytes();
                for (int c = 1; c <= 2; ++c)
                    if (auto* w = Module1::form<frmTestDetail>(Module1::DetailForms[k + 1][std::size_t(c)]))
                        detail += w->points()->rowBytes();
            }
            return std::pair(double(chart), double(detail));
        };
        const double rss0 = bench::rssBytes();
        const auto [chart0, detail0] = held();
        for (; i < warmUp + memTicks; ++i) tickAll(i);
        QApplication::processEvents();
        const double rss1 = bench::rssBytes();
        const auto [chart1, detail1] = held();
        const double points = 2.0 * kUnits * memTicks;
        std::printf("running tests, %d units x 2 cells, %d points per cell after %d: RSS growth %.1f B per logged point "
                    "(goal <= %.0f: %s); of it the charts' points %.1f B, the detail rows %.1f B\n",
                    kUnits, memTicks, warmUp, (rss1 - rss0) / points, kGoal, (rss1 - rss0) / points <= kGoal ? "met" : "not met",
                    (chart1 - chart0) / points, (detail1 - detail0) / points);
        bench::printLoad();
        for (frmSimpleTest* s : screens) {
            stopCells(s);
            delete s;
        }
        deleteDetailWindows();
    }

    auto* screen = new frmSimpleTest;
    screen->resize(985, 707);
    screen->setUnits(1);
    screen->show();
    QApplication::processEvents();
    Module1::SimpleTestForms[1] = screen;
    port->open(1, QStringLiteral("19200,n,8,1"));
    screen->chkSwell->setChecked(true);
    screen->chkTemp->setChecked(true);
    screen->chkPress->setChecked(true);
    QCustomPlot* plot = screen->Pesgo1->plot();

    int recordNo = 0;
    auto tick = [&](std::uint32_t ms) {
        port->receive(record('A', recordNo) + record('B', recordNo));
        ++recordNo;
        clock.advance(ms);
        screen->Timer1_Timer();
    };

    if (replotRun == 0)
        std::printf("points/cell  START rebuild (ms cpu)  per logged point: cpu ms (wall ms)  chart MB  max cpu ms/tick\n");
    for (int n : sizes) {
        // Two tests, zeroed, named and stored; their earlier points written straight into the table.
        for (int c = 1; c <= 2; ++c) {
            tick(500);
            describe(screen, c);
            if (!prefill(screen->poll().cell(c).testId, n)) {
                std::fprintf(stderr, "prefill failed\n");
                return 1;
            }
        }
        const double startCpu = cpuMs();
        for (int c = 1; c <= 2; ++c) screen->cmdStart_Click(c);
        plot->replot(QCustomPlot::rpImmediateRefresh);
        const double startCost = cpuMs() - startCpu;
        screen->Timer1->stop();

        if (replotRun > 0) {
            // A fresh replot run: the screen at the size asked for, settled, then the cold replots.
            screen->resize(replotSize);
            QApplication::processEvents();
            QEventLoop settle;
            QTimer::singleShot(1000, &settle, &QEventLoop::quit);
            settle.exec();
            auto bare = bench::referencePlot(plot, false);
            const auto [chart, ref] = bench::coldPaints(plot, bare.get(), kReplotSeconds, [&] { tick(1000); });
            bench::printSamples("chart", chart);
            bench::printSamples("bare", ref);
            stopCells(screen);
            delete screen;
            deleteDetailWindows();
            Module1::SimpleTestForms[1] = nullptr;
            platform::setModalHandler({});
            platform::setSerialPortFactory({});
            Module1::Reset();
            return 0;
        }

        // One point per cell per tick; the chart drawn after each tick.
        const int ticks = 200;
        double cpuTotal = 0, wallTotal = 0, worst = 0;
        for (int i = 0; i < ticks; ++i) {
            const double c0 = cpuMs(), w0 = wallMs();
            tick(1000);
            plot->replot(QCustomPlot::rpImmediateRefresh);
            const double c1 = cpuMs() - c0;
            cpuTotal += c1;
            wallTotal += wallMs() - w0;
            worst = std::max(worst, c1);
        }
        const int logged = screen->Pesgo1->pointCount() - n;
        if (logged != ticks) std::fprintf(stderr, "warning: %d points logged in %d ticks\n", logged, ticks);
        std::printf("%11d  %22.1f  %16.2f (%6.2f)  %8.1f  %15.2f\n", n, startCost, cpuTotal / (2.0 * ticks),
                    wallTotal / (2.0 * ticks), double(screen->Pesgo1->pointMemoryBytes()) / 1e6, worst);
        std::fflush(stdout);

        // The screen at its design size and full screen: the chart saved on request, then the cold replots in
        // fresh processes.
        if (qEnvironmentVariableIsSet("SHOT")) {
            for (const QSize size : {QSize(985, 707), QSize(1920, 1080)}) {
                screen->resize(size);
                QApplication::processEvents();
                plot->replot(QCustomPlot::rpImmediateRefresh);
                plot->grab().save(QStringLiteral("/tmp/livechart_%1_%2_%3.png").arg(qEnvironmentVariable("SHOT")).arg(n).arg(size.width()));
            }
            screen->resize(985, 707);
            QApplication::processEvents();
        }
        for (const QSize size : {QSize(985, 707), QSize(1920, 1080)}) freshReplots(n, size);
        bench::printLoad();

        stopCells(screen);
    }

    delete screen;
    deleteDetailWindows();
    Module1::SimpleTestForms[1] = nullptr;

    platform::setModalHandler({});
    platform::setSerialPortFactory({});
    Module1::Reset();
    return 0;
}
