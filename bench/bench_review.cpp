// Benchmark of reviewing a long stored test in the main window, each figure beside a reference measured in
// the same run and the goal:
//   (a) a raw sqlite3 read of the test's rows;
//   (b) opening it as the operator does (open dialog, name typed, OK) until the result grid and the swell
//       chart are built and painted: goal <= 1.3x (a);
//   (c) a redraw of each of the five chart types (a chart-type change: DrawChart and the painting), the
//       window at its design size and at 1920x1080, beside a bare QCustomPlot of the same points painted at
//       the same size: goal < 50 ms each;
//   (d) the memory the opened test holds after the open and all five chart types (grid rows, chart points,
//       cached record rows; rows shared by the grid and the record counted once) and the process's RSS
//       growth per point: goal < 120 bytes/point.
//
// Each size gets a fresh database holding the long test between two shorter ones.
//   build/bench_review [points ...]      (default 10000 600000)
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

// One test header and n points of a plausible swell run: one point a second, the cell heating from room
// temperature to 200 °F, pressure near 300 psi, the sample swelling towards 0.06 in.
bool storeTest(sqlite3* db, int id, const char* name, const char* date, int n)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, "
                       "SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, FLUID_INFO) "
                       "VALUES (?, ?, ?, 'bench', 12.5, 0.5, 40, 'shale core', 'brine')",
                       -1, &st, nullptr);
    sqlite3_bind_int(st, 1, id);
    sqlite3_bind_text(st, 2, name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, date, -1, SQLITE_TRANSIENT);
    bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);

    sqlite3_prepare_v2(db,
                       "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &st, nullptr);
    for (int i = 0; ok && i < n; ++i) {
        const double heat = 1 - std::exp(-double(i) / 3600);
        const double swell = 0.06 * (1 - std::exp(-double(i) / (n / 4.0 + 1)));
        sqlite3_bind_int(st, 1, id);
        sqlite3_bind_int(st, 2, 1 + i * 4 / n);
        sqlite3_bind_double(st, 3, i);
        sqlite3_bind_double(st, 4, 77 + 123 * heat + (i % 13) * 0.05);
        sqlite3_bind_double(st, 5, 78 + 123 * heat);
        sqlite3_bind_double(st, 6, 300 + (i % 50) * 0.1);
        sqlite3_bind_double(st, 7, swell + (i % 7) * 1e-5);
        sqlite3_bind_double(st, 8, 2.5 + swell * 5);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    return ok;
}

bool storeTests(int n)
{
    sqlite3* db = openDb(SQLITE_OPEN_READWRITE);
    if (!db) return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    bool ok = storeTest(db, 1, "Earlier run", "2023-03-01 09:00:00", 5000)
        && storeTest(db, kLongTestId, kLongTestName.toUtf8().constData(), "2023-03-02 09:00:00", n)
        && storeTest(db, 3, "Later run", "2023-03-10 09:00:00", 5000);
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

void runSize(int n)
{
    std::printf("== %d points ==\n", n);
    testsupport::TempWorkDir dir;
    dir.write(QStringLiteral("initial.txt"), "1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2\r\n");
    double t0 = wallMs();
    if (!storeTests(n)) {
        std::printf("could not store the tests\n");
        return;
    }
    std::printf("stored the test among two of 5,000 points in %.0f ms\n", wallMs() - t0);

    // (a) raw read
    double bestRaw = 1e18;
    long long rawRows = 0;
    if (sqlite3* db = openDb(SQLITE_OPEN_READONLY)) {
        for (int r = 0; r < kRounds; ++r) bestRaw = std::min(bestRaw, bench::rawTestRead(db, kLongTestId, &rawRows));
        sqlite3_close(db);
    }
    std::printf("(a) raw sqlite3 read, best of %d: %lld rows in %.1f ms\n", kRounds, rawRows, bestRaw);

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
        std::printf("(b) open through the dialog to grid and swell chart painted, best of %d: %.1f ms; "
                    "ratio to (a) %.2fx (goal <= 1.3x)%s\n",
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int n : bench::sizes(argc, argv, {10000, 600000}))
        if (n > 0) runSize(n);
    return 0;
}
