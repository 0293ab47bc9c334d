// Benchmark of handing a long test out and of overlaying long tests, in the main window as the operator
// does it, each figure beside a reference measured in the same run:
//   (a) the workbook export (Export Excel) of the opened test: time and peak memory, next to a raw
//       libxlsxwriter write (constant-memory mode) of the same cell texts made beforehand; target 1.5x;
//   (b) the comma-separated report (Save Report): time, next to a raw write of the same bytes (written and
//       synced to disk as the report is); target <= 4x;
//   (c) the overlay redraw ("Redraw") with eight tests of that many points ticked, the window shown at its
//       design size and at 1920x1080, painting included: with nothing written since the last redraw, and
//       after a point was written to the database (every test read again), next to a raw sqlite3 read of
//       the eight tests' rows; target under 1 s; and the memory per drawn point (target under 200 bytes).
// Peak memory is the growth of the process's peak resident size during the step (the peak is reset
// before it through /proc/self/clear_refs).
//
//   build/bench_export [points ...] [workbook] [report] [overlay]   (default 600000, every part)
#include "BenchPaint.h"
#include "BenchSupport.h"
#include "TestSupport.h"
#include "platform/Chart.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "platform/Workbook.h"
#include "records/Module1.h"
#include "records/SqliteHandle.h"
#include "records/TestCurves.h"
#include "records/clsTEST_RESULT.h"
#include "records/clsConnection.h"
#include "review/ResultGrid.h"
#include "review/TestExport.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"
#include "review/frmOverlapTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::wallMs;

// Resident and peak resident size in MiB, from /proc/self/status.
double statusMiB(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}
double rssMiB() { return statusMiB("VmRSS:"); }
double peakMiB() { return statusMiB("VmHWM:"); }
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// Eight tests of n points each (a plausible swell run, one point a second), ids 1..8, "Run 1".."Run 8".
bool storeTests(int n)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2("Torvan.accdb", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (int id = 1; ok && id <= 8; ++id) {
        const QByteArray sql =
            QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, "
                           "SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, "
                           "SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO) VALUES (%1, 'Run %1', "
                           "'2023-03-0%1 09:00:00', 'bench', 12.5, 0.5, 40, 'shale core', 300, 5, '03/01/2023', "
                           "'brine');"
                           "WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %2) "
                           "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                           "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) SELECT %1, 1 + i * 4 / %3, i, "
                           "77 + 123 * (1 - exp(-i / 3600.0)) + (i % 13) * 0.05, 78 + 123 * (1 - exp(-i / 3600.0)), "
                           "300 + (i % 50) * 0.1, 0.06 * %1 / 8 * (1 - exp(-i / (%3 / 4.0 + 1))) + (i % 7) * 1e-5, "
                           "2.5 + (i % 97) * 0.0123456 FROM k;")
                .arg(id)
                .arg(n - 1)
                .arg(n)
                .toUtf8();
        ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ok = sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    sqlite3_close(db);
    return ok;
}

// The raw workbook: the same cells, texts made beforehand, written straight to libxlsxwriter.
double rawWorkbook(const std::vector<std::string>& cells, int rows, const QString& path)
{
    const QByteArray file = QFile::encodeName(path), tmp = QFile::encodeName(QDir::tempPath());
    const double t0 = wallMs();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tmp.constData());
    lxw_workbook* book = workbook_new_opt(file.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    std::size_t k = 0;
    for (int r = 0; r < rows; ++r) {
        const bool heading = r < 15;   // title, the 11 fields, "Results:" lines: a few cells each
        const int columns = heading ? 3 : 8;
        for (int c = 0; c < columns; ++c, ++k)
            worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), cells[k].c_str(), heading && c == 0 ? bold : nullptr);
    }
    worksheet_repeat_rows(sheet, 17, 18);
    worksheet_set_landscape(sheet);
    worksheet_fit_to_pages(sheet, 1, 10);
    worksheet_set_header(sheet, "&C~ Test:Run 1");
    workbook_close(book);
    return wallMs() - t0;
}

// The raw report: the same bytes written and synced.
double rawWrite(const QByteArray& bytes, const QString& path)
{
    const QByteArray file = QFile::encodeName(path);
    const double t0 = wallMs();
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, std::size_t(std::min<qsizetype>(left, 1 << 20)));
        if (w <= 0) break;
        p += w;
        left -= w;
    }
    ::fsync(fd);
    ::close(fd);
    return wallMs() - t0;
}

struct Parts {
    bool workbook = true, report = true, overlay = true;
};

// The redraw as the operator waits for it: the click, the queued replot it asks for, the widget painted.
double redrawAndPaintMs(frmMain& w)
{
    const double t0 = wallMs();
    w.Command1->click();
    QCoreApplication::processEvents();
    w.Pesgo1->plot()->repaint();
    return wallMs() - t0;
}

long long drawnPoints(const frmMain& w)
{
    long long k = 0;
    for (int s = 0; s < w.Pesgo1->subsetCount(); ++s) k += qint64(w.Pesgo1->drawnX(s).size());
    return k;
}

// A raw sqlite3 read of the eight tests' points, best of 3: every column (the record's statement), or the
// two columns that the overlay draws.
double rawEightTests(bool allColumns)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2("Torvan.accdb", &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 0;
    const QByteArray sql = allColumns ? clsTEST_RESULT::LoadSql.toUtf8() : QByteArray(TestCurves::ColumnsSql);
    double best = 1e18;
    for (int r = 0; r < 3; ++r) {
        long long rows = 0;
        double sum = 0;
        const double t0 = wallMs();
        for (int id = 1; id <= 8; ++id) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
            sqlite3_bind_int(st, 1, id);
            const int columns = sqlite3_column_count(st);
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int c = 0; c < columns; ++c) sum += sqlite3_column_double(st, c);
                ++rows;
            }
            sqlite3_finalize(st);
        }
        best = std::min(best, wallMs() - t0 + (sum == -1 ? rows : 0));
    }
    sqlite3_close(db);
    return best;
}

void runSize(int n, const Parts& parts)
{
    std::printf("== %d points ==\n", n);
    testsupport::TempWorkDir dir;
    dir.write(QStringLiteral("initial.txt"), "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n");
    double t0 = wallMs();
    if (!storeTests(n)) {
        std::printf("could not store the tests\n");
        return;
    }
    std::printf("stored eight tests of %d points in %.0f ms\n", n, wallMs() - t0);

    platform::ScriptedPrompts prompts;
    QStringList opened;
    platform::setDocumentOpener([&](const QString& path) {
        opened << path;
        return true;
    });
    frmMain w;
    w.Form_Load();
    w.setWorkbookFolder(dir.path());
    platform::setModalHandler([](QDialog& d) {
        if (auto* dlg = qobject_cast<frmOpenTest*>(&d)) {
            dlg->txtSeqName->setText(QStringLiteral("Run 1"));
            dlg->cmdOk_Click();
        }
        return 0;
    });
    w.cmdOpen_Click();
    if (w.resultModel()->rowCount() != n) {
        std::printf("the test did not open\n");
        return;
    }
    review::ReportSheet sheet;
    sheet.grid = w.resultModel();
    if (parts.workbook) {
    // (a) workbook
    resetPeak();
    double base = rssMiB();
    t0 = wallMs();
    w.ExportExcel();
    const double bookMs = wallMs() - t0;
    const double bookPeak = peakMiB() - base;
    const bool bookOk = opened.size() == 1 && prompts.shown.empty();

    // The same cells as texts, made beforehand, for the raw write.
    std::vector<std::string> cells;
    cells.reserve(std::size_t(15 * 3 + (n + 1) * 8));
    for (int r = 0; r < 15; ++r)
        for (int c = 0; c < 3; ++c) cells.push_back("Sample Description x");
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c < 8; ++c) cells.push_back(sheet.cell(r, c).toStdString());
    resetPeak();
    base = rssMiB();
    const double rawBookMs = rawWorkbook(cells, 15 + n + 1, dir.file(QStringLiteral("raw.xlsx")));
    const double rawBookPeak = peakMiB() - base;
    cells.clear();
    cells.shrink_to_fit();
    std::printf("(a) workbook export: %.0f ms, peak +%.1f MiB, file %.1f MiB%s\n", bookMs, bookPeak,
                double(QFile(opened.value(0)).size()) / 1048576, bookOk ? "" : "  ** EXPORT FAILED **");
    std::printf("    raw libxlsxwriter write of the same cell texts: %.0f ms, peak +%.1f MiB; ratio %.2fx (target <= "
                "1.5x)\n",
                rawBookMs, rawBookPeak, bookMs / rawBookMs);

    }

    if (parts.report) {
    // (b) report
    const QString csv = dir.file(QStringLiteral("report.csv"));
    double reportMs = 1e18, rawMs = 1e18, reportPeak = 0;
    QByteArray bytes;
    bool reportOk = true;
    for (int r = 0; r < 3; ++r) {
        prompts.clear();
        prompts.queueFile(csv);
        resetPeak();
        const double base = rssMiB();
        t0 = wallMs();
        w.cmdREPORT_Click();
        reportMs = std::min(reportMs, wallMs() - t0);
        reportPeak = std::max(reportPeak, peakMiB() - base);
        reportOk = reportOk && prompts.shown.size() == 1;   // the save dialog alone
        QFile f(csv);
        f.open(QIODevice::ReadOnly);
        bytes = f.readAll();
        rawMs = std::min(rawMs, rawWrite(bytes, dir.file(QStringLiteral("raw.csv"))));
    }
    std::printf("(b) report, best of 3: %.0f ms, peak +%.1f MiB, %.1f MiB written%s\n", reportMs, reportPeak,
                double(bytes.size()) / 1048576, reportOk ? "" : "  ** REPORT FAILED **");
    std::printf("    raw write of the same bytes, best of 3: %.0f ms; ratio %.2fx (goal <= 4x)\n", rawMs,
                reportMs / rawMs);
    // Where both exports' time goes beyond the raw writes: making the grid's texts, as the grid does.
    t0 = wallMs();
    std::size_t chars = 0;
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c < 8; ++c) chars += std::size_t(sheet.cell(r, c).size());
    std::printf("    making the grid's %d cell texts alone (%zu characters): %.0f ms\n", (n + 1) * 8, chars,
                wallMs() - t0);
    t0 = wallMs();
    QByteArray line;
    std::size_t bytesMade = 0;
    for (int r = 0; r <= n; ++r) {
        line.truncate(0);
        review::AppendReportGridLine(sheet, r, line);
        bytesMade += std::size_t(line.size());
    }
    std::printf("    of which the report's grid lines made as bytes alone (%zu bytes): %.0f ms\n", bytesMade,
                wallMs() - t0);

    }

    if (parts.overlay) {
    // (c) overlay: seven more tests added through the dialog, then the redraw with all eight ticked.
    for (int id = 2; id <= 8; ++id) {
        platform::setModalHandler([id](QDialog& d) {
            if (auto* over = qobject_cast<frmOverlapTest*>(&d)) {
                over->txtSeqName->setText(QStringLiteral("Run %1").arg(id));
                over->cmdOk_Click();
            }
            return 0;
        });
        w.cmdOverlap_Click();
    }
    prompts.clear();
    w.show();
    QCoreApplication::processEvents();
    resetPeak();
    double base = rssMiB();
    const double chartBefore = double(w.Pesgo1->pointMemoryBytes());
    redrawAndPaintMs(w);
    const double redrawPeak = peakMiB() - base;
    const long long drawn = drawnPoints(w);
    // The overlay's kept points (reused by a redraw while provably current) count as held too.
    const double held = double(w.Pesgo1->pointMemoryBytes() + w.overlayCurveBytes());
    const double rawAll = rawEightTests(true), raw = rawEightTests(false);
    std::printf("(c) overlay redraw, %d tests ticked, %lld points drawn; raw sqlite3 read of the eight tests' "
                "rows, best of 3: every column %.0f ms, the two columns drawn %.0f ms\n",
                w.Pesgo1->subsetCount(), drawn, rawAll, raw);
    sqlite3* windowDb = sqliteHandle(Module1::DbConnection->ADOConnection()->db());
    const QSize sizes[] = {{frmMain::DesignWidth, frmMain::DesignHeight}, {1920, 1080}};
    for (const QSize& size : sizes) {
        w.resize(size);
        QCoreApplication::processEvents();
        redrawAndPaintMs(w);
        double unchanged = 1e18, written = 1e18;
        long long drawnAfter = 0;
        for (int r = 0; r < 3; ++r) {
            unchanged = std::min(unchanged, redrawAndPaintMs(w));
            // A point added through the window's connection (as a running test logs one): every test is
            // read again.
            const QByteArray sql =
                QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME) VALUES (1, %1)").arg(1e9 + r).toUtf8();
            sqlite3_exec(windowDb, sql.constData(), nullptr, nullptr, nullptr);
            written = std::min(written, redrawAndPaintMs(w));
            drawnAfter = drawnPoints(w);
        }
        std::printf("    window %4dx%-4d chart %4dx%-4d: redraw and paint, best of 3: nothing written %.0f ms; after a "
                    "point was written %.0f ms (%lld points drawn), %.2fx the raw read of the two columns (target < 1000 ms)%s\n",
                    w.width(), w.height(), w.Pesgo1->width(), w.Pesgo1->height(), unchanged, written, drawnAfter,
                    written / raw, prompts.shown.empty() ? "" : "  ** MESSAGES **");
    }
    std::printf("    chart and kept overlay points held %.1f MiB = %.1f bytes per drawn point (target < 200; before %.1f MiB); "
                "peak growth during the first redraw %.1f MiB = %.1f bytes per drawn point\n",
                held / 1048576, held / double(std::max(1LL, drawn)), chartBefore / 1048576, redrawPeak,
                redrawPeak * 1048576 / double(std::max(1LL, drawn)));
    bench::printLoad();
    }
    platform::setModalHandler({});
    platform::setDocumentOpener({});
    Module1::Reset();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<int> sizes;
    Parts parts;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "workbook" || a == "report" || a == "overlay") {
            if (!named) parts = {false, false, false};
            named = true;
            (a == "workbook" ? parts.workbook : a == "report" ? parts.report : parts.overlay) = true;
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {600000};
    for (int n : sizes) runSize(n, parts);
    return 0;
}
