// Benchmark of reviewing a long stored test in the main window, each figure beside a reference measured in
// the same run and the goal:
//   (a) a raw sqlite3 read of the test's rows;
//   (b) opening it as the operator does: the open dialog shown, the name typed, then from the OK click
//       until the result grid and the swell chart are painted: goal <= 1.3x (a). (a), (b) and the record
//       load alone each run in a fresh process (this program again), as a freshly started program meets
//       them; the same open repeated in one process, where memory freed by the last open is reused, is
//       shown beside them;
//   (c) a redraw of each of the five chart types (a chart-type change: DrawChart and the painting), the
//       window at its design size and at 1920x1080, beside a bare QCustomPlot of the same points painted at
//       the same size: goal < 50 ms each;
//   (d) the memory the opened test holds after the open and all five chart types (grid rows, chart points,
//       cached record rows; rows shared by the grid and the record counted once) and the process's RSS
//       growth per point: goal < 120 bytes/point.
//
// Each size gets a fresh database of eight tests of that many points, stored as eight logging units store
// them: one point of each test in turn, by time. The display is the platform's own (QT_QPA_PLATFORM, e.g.
// xcb on the X display in DISPLAY; offscreen only when asked for).
//   build/bench_review [points ...] [fresh]     (default 10000 600000; "fresh": the fresh-process runs alone)
#include "BenchPaint.h"
#include "BenchSupport.h"
#include "TestSupport.h"
#include "platform/Chart.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"
#include "review/ResultGrid.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <qcustomplot.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kLongTestId = 2;
const QString kLongTestName = QStringLiteral("Long run");
constexpr int kRounds = 3;

using bench::wallMs;

double rssMiB() { return bench::rssBytes() / 1048576.0; }

sqlite3* openDb(int flags)
{
    sqlite3* db = nullptr;
    const QByteArray path = QDir::current().absoluteFilePath(QStringLiteral("Torvan.accdb")).toUtf8();
    if (sqlite3_open_v2(path.constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

// Eight test headers (the long one is kLongTestId) and n points of each, a plausible swell run: one point a
// second, the cell heating from room temperature to 200 °F, pressure near 300 psi, the sample swelling
// towards 0.06 in. The points are stored as eight units log them: each second one point of every test.
bool storeTests(sqlite3* db, int n)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, "
                       "SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, FLUID_INFO) "
                       "VALUES (?, ?, ?, 'bench', 12.5, 0.5, 40, 'shale core', 'brine')",
                       -1, &st, nullptr);
    bool ok = true;
    for (int id = 1; ok && id <= 8; ++id) {
        const QByteArray name = id == kLongTestId ? kLongTestName.toUtf8() : QByteArray("Run ") + QByteArray::number(id);
        const QByteArray date = QByteArray("2023-03-0") + QByteArray::number(id) + " 09:00:00";
        sqlite3_bind_int(st, 1, id);
        sqlite3_bind_text(st, 2, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, date.constData(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);

    sqlite3_prepare_v2(db,
                       "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &st, nullptr);
    for (int i = 0; ok && i < n; ++i) {
        const double heat = 1 - std::exp(-double(i) / 3600);
        const double swell = 0.06 * (1 - std::exp(-double(i) / (n / 4.0 + 1)));
        for (int id = 1; ok && id <= 8; ++id) {
            sqlite3_bind_int(st, 1, id);
            sqlite3_bind_int(st, 2, 1 + i * 4 / n);
            sqlite3_bind_double(st, 3, i);
            sqlite3_bind_double(st, 4, 77 + 123 * heat + (i % 13) * 0.05);
            sqlite3_bind_double(st, 5, 78 + 123 * heat);
            sqlite3_bind_double(st, 6, 300 + (i % 50) * 0.1);
            sqlite3_bind_double(st, 7, swell * (0.5 + id / 16.0) + (i % 7) * 1e-5);
            sqlite3_bind_double(st, 8, 2.5 + swell * 5);
            ok = sqlite3_step(st) == SQLITE_DONE;
            sqlite3_reset(st);
        }
    }
    sqlite3_finalize(st);
    return ok;
}

bool storeTests(int n)
{
    sqlite3* db = openDb(SQLITE_OPEN_READWRITE);
    if (!db) return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    bool ok = storeTests(db, n);
    ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    sqlite3_close(db);
    return ok;
}

// Record rows not shared with the grid.
std::size_t recordOnlyBytes(const frmMain& w)
{
    if (!Module1::TestResult || w.resultModel()->rowStorage() == &Module1::TestResult->rows()) return 0;
    return Module1::TestResult->rows().capacity() * sizeof(clsTEST_RESULT::Row);
}

std::size_t openedTestBytes(const frmMain& w)
{
    return w.resultModel()->rowBytes() + w.Pesgo1->pointMemoryBytes() + recordOnlyBytes(w) + w.overlayCurveBytes();
}

// What the operator waits for after a click: the queued replot the chart asked for, and the widget painted.
void render(frmMain& w)
{
    QCoreApplication::processEvents();
    w.Pesgo1->plot()->repaint();
}

// Fresh-process runs, each printing "RESULT <ms>".

// A raw read of the long test's rows.
int rawRun()
{
    sqlite3* db = openDb(SQLITE_OPEN_READONLY);
    if (!db) return 1;
    long long rows = 0;
    std::printf("RESULT %.2f\n", bench::rawTestRead(db, kLongTestId, &rows));
    sqlite3_close(db);
    return 0;
}

// One record load (ConnectX) of the long test.
int loadRun()
{
    platform::ScriptedPrompts prompts;
    clsConnection c;
    c.OpenDB();
    clsTEST_RESULT result;
    result.Test_Id = kLongTestId;
    const double t0 = wallMs();
    result.ConnectX(c);
    std::printf("RESULT %.2f\n", wallMs() - t0);
    return result.TotalPoints() > 0 ? 0 : 1;
}

// The program's main window shown; Open clicked and its dialog shown; once the dialog is on the screen the
// name is typed, then from the OK click until the result grid and the swell chart show the test.
int openRun(int n)
{
    frmMain w;
    w.Form_Load();
    w.show();
    bench::PaintWatch shown;
    shown.watch(w.MSFlexGrid1->viewport());
    shown.arm();
    shown.waitMs(10000);
    QCustomPlot* plot = w.Pesgo1->plot();
    bool replotted = false;
    // A replot draws its buffer and may paint the widget before it ends: the paint after its start counts.
    QObject::connect(plot, &QCustomPlot::beforeReplot, plot, [&] { replotted = w.Pesgo1->pointCount() >= n; });
    bench::PaintWatch opened;
    opened.watch(w.MSFlexGrid1->viewport(), [&] { return w.resultModel()->rowCount() == n; });
    opened.watch(plot, [&] { return replotted; });
    bench::PaintWatch dialogShown;
    double t0 = 0, handled = 0;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<frmOpenTest*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->windowHandle() || !dlg->windowHandle()->isExposed()) return;
        poll.stop();
        dialogShown.watch(dlg);
        dialogShown.arm();
        dialogShown.waitMs(10000);
        dlg->txtSeqName->setText(kLongTestName);
        QCoreApplication::processEvents();   // the typed name shown and its row selected
        // Runs after the main window's own handler of the same signal.
        QObject::connect(dlg, &frmOpenTest::Selected, dlg, [&] { handled = wallMs(); });
        opened.arm();
        t0 = wallMs();
        dlg->cmdOk->click();
    });
    poll.start();
    w.cmdOpen_Click();
    const double closed = wallMs();
    const double end = opened.waitMs(t0 > 0 ? 60000 : 0);
    if (t0 <= 0 || end < 0 || w.CurrentTestName != kLongTestName) {
        std::printf("the test did not open and show (OK clicked %d, rows %d, chart points %d, replotted %d)\n",
                    t0 > 0, w.resultModel()->rowCount(), w.Pesgo1->pointCount(), replotted);
        return 1;
    }
    std::printf("open: grid and chart filled %.1f ms, dialog gone %.1f ms, painted %.1f ms\n", handled - t0,
                closed - t0, end - t0);
    std::printf("RESULT %.2f\n", end - t0);
    return 0;
}

void freshRuns(const QString& folder, int n)
{
    constexpr int kFresh = 15;
    std::vector<double> raw, load, open;
    for (int r = 0; r < kFresh; ++r) {
        raw.push_back(bench::freshRun({QStringLiteral("--raw-run"), folder}));
        load.push_back(bench::freshRun({QStringLiteral("--load-run"), folder}));
        open.push_back(bench::freshRun({QStringLiteral("--open-run"), folder, QString::number(n)}));
        std::printf("    fresh run %d: raw read %.1f ms, record load %.1f ms, open %.1f ms (%.2fx); load %s\n", r + 1,
                    raw.back(), load.back(), open.back(), open.back() / raw.back(), bench::loadNow().constData());
    }
    const bench::Spread a = bench::spreadOf(raw), l = bench::spreadOf(load), o = bench::spreadOf(open);
    std::printf("(a) raw sqlite3 read, fresh processes, best / median of %d: %.1f / %.1f ms\n", a.runs, a.best, a.median);
    std::printf("(b) open, OK click until grid and swell chart painted, fresh processes, best / median of %d: "
                "%.1f / %.1f ms; ratio to (a) %.2fx / %.2fx (goal <= 1.3x at the median)\n",
                o.runs, o.best, o.median, o.best / a.best, o.median / a.median);
    std::printf("    one record load (ConnectX) alone, fresh processes, best / median of %d: %.1f / %.1f ms "
                "(%.2fx / %.2fx raw)\n",
                l.runs, l.best, l.median, l.best / a.best, l.median / a.median);
}

void runSize(int n, bool freshOnly)
{
    std::printf("== %d points ==\n", n);
    testsupport::TempWorkDir dir;
    dir.write(QStringLiteral("initial.txt"), "1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2\r\n");
    double t0 = wallMs();
    if (!storeTests(n)) {
        std::printf("could not store the tests\n");
        return;
    }
    std::printf("stored eight tests of %d points, interleaved as eight units log them, in %.0f ms\n", n,
                wallMs() - t0);
    freshRuns(dir.path(), n);
    if (freshOnly) return;

    // (a) raw read
    double bestRaw = 1e18;
    long long rawRows = 0;
    if (sqlite3* db = openDb(SQLITE_OPEN_READONLY)) {
        for (int r = 0; r < kRounds; ++r) bestRaw = std::min(bestRaw, bench::rawTestRead(db, kLongTestId, &rawRows));
        sqlite3_close(db);
    }
    std::printf("    in this process: raw sqlite3 read, best of %d: %lld rows in %.1f ms\n", kRounds, rawRows, bestRaw);

    platform::ScriptedPrompts prompts;
    {
        frmMain w;
        w.Form_Load();
        w.show();
        render(w);
        platform::setModalHandler([](QDialog& d) {
            auto* dlg = qobject_cast<frmOpenTest*>(&d);
            if (!dlg) return 0;
            dlg->txtSeqName->setText(kLongTestName);
            dlg->cmdOk_Click();
            return 1;
        });

        // (b) opening the test: dialog, grid, swell chart, drawn.
        const double rssBefore = rssMiB();
        double rssAfterFirst = 0;
        double bestOpen = 1e18;
        for (int r = 0; r < kRounds; ++r) {
            t0 = wallMs();
            w.cmdOpen_Click();
            render(w);
            bestOpen = std::min(bestOpen, wallMs() - t0);
            if (r == 0) rssAfterFirst = rssMiB();
        }
        const double rssAfterAll = rssMiB();
        const bool opened = w.CurrentTestName == kLongTestName && w.resultModel()->rowCount() == n
            && int(w.Pesgo1->drawnX(0).size()) == n;
        std::printf("    in this process, repeated (memory of the last open reused; dialog not shown), best of %d: "
                    "%.1f ms; ratio to the raw read %.2fx%s\n",
                    kRounds, bestOpen, bestOpen / bestRaw, opened ? "" : "  ** TEST NOT FULLY OPENED **");
        // Where the open's time goes: the one load of the rows through the record class.
        double bestLoad = 1e18;
        for (int r = 0; r < kRounds; ++r) {
            clsTEST_RESULT result;
            result.Test_Id = kLongTestId;
            t0 = wallMs();
            result.ConnectX(*Module1::DbConnection);
            bestLoad = std::min(bestLoad, wallMs() - t0);
        }
        std::printf("    one record load (ConnectX) of the test, best of %d: %.1f ms (%.2fx raw)\n", kRounds, bestLoad,
                    bestLoad / bestRaw);
        if (!prompts.shown.empty())
            std::printf("    messages shown: %s\n", qPrintable(prompts.texts().join(QStringLiteral(" | "))));

        // (d) memory held for the opened test.
        const std::size_t grid = w.resultModel()->rowBytes();
        const std::size_t chart = w.Pesgo1->pointMemoryBytes();
        const std::size_t rows = recordOnlyBytes(w);
        std::printf("(d) memory of the opened test (swell chart): grid rows (shared with the record) %.1f + chart %.1f "
                    "+ record rows of its own %.1f + kept overlay points %.1f = %.1f bytes/point; RSS %.1f MiB before, "
                    "+%.1f MiB after the first open, +%.1f MiB after %d opens\n",
                    double(grid) / n, double(chart) / n, double(rows) / n, double(w.overlayCurveBytes()) / n,
                    double(openedTestBytes(w)) / n, rssBefore, rssAfterFirst - rssBefore, rssAfterAll - rssBefore,
                    kRounds);

        // (d) the program's own memory: each chart type shown once, before the bench builds any reference
        // plot of its own (those hold copies of every point that the allocator may keep afterwards).
        std::size_t worstBytes = 0;
        for (int item = 0; item < w.cmbChartType->count(); ++item) {
            w.cmbChartType->setCurrentIndex(item);
            render(w);
            worstBytes = std::max(worstBytes, openedTestBytes(w));
        }
        const double shownGrowth = (rssMiB() - rssBefore) * 1048576;
        std::printf("(d) after the open and all five chart types: largest memory held %.1f bytes/point; RSS growth "
                    "%.1f MiB = %.1f bytes/point (goal < 120)\n",
                    double(worstBytes) / n, shownGrowth / 1048576, shownGrowth / n);

        // (c) redraw of each chart type (DrawChart and the painting), at both sizes.
        const QSize sizes[] = {{frmMain::DesignWidth, frmMain::DesignHeight}, {1920, 1080}};
        for (const QSize& size : sizes) {
            w.resize(size);
            render(w);
            std::printf("(c) window %dx%d, chart %dx%d:\n", w.width(), w.height(), w.Pesgo1->width(), w.Pesgo1->height());
            for (int item = 0; item < w.cmbChartType->count(); ++item) {
                w.cmbChartType->setCurrentIndex(item);
                render(w);
                double best = 1e18;
                for (int r = 0; r < kRounds; ++r) {
                    t0 = wallMs();
                    w.DrawChart();
                    render(w);
                    best = std::min(best, wallMs() - t0);
                }
                worstBytes = std::max(worstBytes, openedTestBytes(w));
                int drawn = 0;
                for (int s = 0; s < w.Pesgo1->subsetCount(); ++s) drawn += int(w.Pesgo1->drawnX(s).size());
                auto bare = bench::referencePlot(w.Pesgo1->plot(), false);
                const double bareMs = bench::paintMs(bare.get());
                std::printf("    redraw \"%s\", best of %d: %.1f ms (goal < 50 ms); bare plot of the same %d points "
                            "painted %.1f ms (x%.2f)\n",
                            qPrintable(w.cmbChartType->itemText(item)), kRounds, best, drawn, bareMs, best / bareMs);
            }
        }
        const double rssGrowth = (rssMiB() - rssBefore) * 1048576;
        std::printf("(d) after (c) at both sizes, the bench's reference plots included: largest memory held %.1f "
                    "bytes/point; RSS growth %.1f MiB = %.1f bytes/point\n",
                    double(worstBytes) / n, rssGrowth / 1048576, rssGrowth / n);
        bench::printLoad();
        platform::setModalHandler({});
    }
    Module1::Reset();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc >= 3 && argv[1][0] == '-') {
        // One fresh-process run in the given folder.
        const bench::FreshRunScope scope(argv[2]);
        const QByteArray mode(argv[1]);
        if (mode == "--raw-run") return rawRun();
        if (mode == "--load-run") return loadRun();
        if (mode == "--open-run" && argc >= 4) {
            platform::ScriptedPrompts prompts;
            return openRun(std::atoi(argv[3]));
        }
        return 2;
    }
    bool freshOnly = false;
    for (int i = 1; i < argc; ++i) freshOnly = freshOnly || QByteArray(argv[i]) == "fresh";
    for (int n : bench::sizes(argc, argv, {10000, 600000}))
        if (n > 0) runSize(n, freshOnly);
    return 0;
}
