// Benchmark of handing a long test out and of overlaying long tests, in the main window as the operator
// does it, each figure beside a reference measured in the same run:
//   (a) the workbook export (Export Excel) of the opened test: time and peak memory, next to a raw
//       libxlsxwriter write (constant-memory mode) of the same cell texts made beforehand; target 1.5x;
//   (b) the comma-separated report (Save Report): time, next to a raw write of the same bytes (written and
//       synced to disk as the report is, into a new file); target <= 4x. Timed as the operator meets it as
//       well: in a fresh process, the program's own save dialog shown, the name typed, from Return until the
//       file is in place; the raw write then in a fresh process too;
//   (c) the overlay redraw ("Redraw") with eight tests of that many points ticked, the window shown at its
//       design size and at 1920x1080, painting included: with nothing written since the last redraw, and
//       after a point was written to the database (every test read again), next to a raw sqlite3 read of
//       the eight tests' rows; target under 1 s; and the memory per drawn point (target under 200 bytes).
//       The redraw after a write is also timed in fresh processes (eight tests added, one redraw, a point
//       written, then the redraw timed);
//   (d) the start of the program on a file made before the overlay's index existed: the window painted, the
//       index added, and the longest the event loop was held meanwhile (in a fresh process).
// Peak memory is the growth of the process's peak resident size during the step (the peak is reset
// before it through /proc/self/clear_refs). The eight tests' points are stored as eight logging units store
// them: one point of each test in turn, by time. The display is the platform's own (QT_QPA_PLATFORM;
// offscreen only when asked for).
//
//   build/bench_export [points ...] [workbook] [report] [overlay] [index]   (default 600000, every part)
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
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>
#include <QWindow>
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

// Eight tests of n points each (a plausible swell run, one point a second), ids 1..8, "Run 1".."Run 8", the
// points stored as eight units log them: each second one point of every test in turn.
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
                           "'brine');")
                .arg(id)
                .toUtf8();
        ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // Row k is point i = k / 8 of test id = 1 + k % 8.
    const QByteArray points =
        QStringLiteral("WITH RECURSIVE k(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM k WHERE k < %1), "
                       "p(id, i) AS (SELECT 1 + k % 8, k / 8 FROM k) "
                       "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                       "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) SELECT id, 1 + i * 4 / %2, i, "
                       "77 + 123 * (1 - exp(-i / 3600.0)) + (i % 13) * 0.05, 78 + 123 * (1 - exp(-i / 3600.0)), "
                       "300 + (i % 50) * 0.1, 0.06 * id / 8 * (1 - exp(-i / (%2 / 4.0 + 1))) + (i % 7) * 1e-5, "
                       "2.5 + (i % 97) * 0.0123456 FROM p;")
            .arg(8LL * n - 1)
            .arg(n)
            .toUtf8();
    ok = ok && sqlite3_exec(db, points.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
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
    bool workbook = true, report = true, overlay = true, index = true;
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

// Fresh-process runs, each printing "RESULT <ms>".

// The main window with "Run 1" opened through its dialog (driven, not timed).
bool openRunOne(frmMain& w)
{
    w.Form_Load();
    platform::setModalHandler([](QDialog& d) {
        if (auto* dlg = qobject_cast<frmOpenTest*>(&d)) {
            dlg->txtSeqName->setText(QStringLiteral("Run 1"));
            dlg->cmdOk_Click();
        }
        return 0;
    });
    w.cmdOpen_Click();
    platform::setModalHandler({});
    return w.CurrentTestName == QLatin1String("Run 1");
}

// "Run 2" to "Run 8" added to the overlay through its dialog (driven, not timed).
void addOverlays(frmMain& w)
{
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
    platform::setModalHandler({});
}

// Closes any message box that comes up (the run has failed then) and says what it said.
void closeMessages()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
            std::printf("message: %s\n", qPrintable(box->text()));
            box->done(0);
        }
}

// Save Report with the program's own save dialog: once the dialog is on the screen the file's name is
// typed, then from Return until the report is in place.
int reportRun(const QString& csv)
{
    frmMain w;
    if (!openRunOne(w)) return 1;
    w.show();
    bench::PaintWatch shown;
    shown.watch(w.MSFlexGrid1->viewport());
    shown.arm();
    shown.waitMs(10000);
    QFile::remove(csv);
    double t0 = 0;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        closeMessages();
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (t0 > 0 || !dlg || !dlg->windowHandle() || !dlg->windowHandle()->isExposed()) return;
        auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) return;
        bench::PaintWatch dialogShown;
        dialogShown.watch(dlg);
        dialogShown.arm();
        dialogShown.waitMs(10000);
        name->setFocus();
        name->setText(csv);
        QCoreApplication::processEvents();
        t0 = wallMs();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(name, &press);
        QCoreApplication::sendEvent(name, &release);
    });
    poll.start();
    w.cmdREPORT_Click();
    const double end = wallMs();
    poll.stop();
    if (t0 <= 0 || QFileInfo(csv).size() <= 0) {
        std::printf("the report was not written\n");
        return 1;
    }
    std::printf("RESULT %.2f\n", end - t0);
    return 0;
}

// The raw write of the bytes of the report at csv, to a file beside it.
int rawWriteRun(const QString& csv)
{
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly)) return 1;
    const QByteArray bytes = f.readAll();
    // Into a new file, as the report is written (it replaces none: its run removes the old one first).
    const QString raw = csv + QStringLiteral(".raw");
    QFile::remove(raw);
    std::printf("RESULT %.2f\n", rawWrite(bytes, raw));
    return 0;
}

// Eight tests in the overlay, the window at 1920x1080, one redraw; then a point written and the redraw timed.
int overlayRun()
{
    frmMain w;
    if (!openRunOne(w)) return 1;
    addOverlays(w);
    w.resize(1920, 1080);
    w.show();
    bench::PaintWatch shown;
    shown.watch(w.Pesgo1->plot());
    shown.arm();
    shown.waitMs(60000);
    redrawAndPaintMs(w);
    sqlite3* windowDb = sqliteHandle(Module1::DbConnection->ADOConnection()->db());
    sqlite3_exec(windowDb, "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME) VALUES (1, 1e9)", nullptr, nullptr, nullptr);
    const double ms = redrawAndPaintMs(w);
    if (drawnPoints(w) < 8) return 1;
    std::printf("RESULT %.2f\n", ms);
    return 0;
}

// The start of the program (the main window's load and show) on a file that lacks the overlay's index: when
// the window is painted, when the index is in place, and the longest the event loop was held meanwhile (the
// gaps of a 5 ms precise timer).
int indexRun()
{
    frmMain w;
    const double t0 = wallMs();
    w.Form_Load();
    w.show();
    // The first paint of the window's grid, timed when it happens (it may come from inside the build).
    struct FirstPaint : QObject {
        double at = -1;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint && at < 0) at = wallMs();
            return false;
        }
    } painted;
    w.MSFlexGrid1->viewport()->installEventFilter(&painted);
    double last = 0, worstGap = 0, dialogAt = -1, dialogGoneAt = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double now = wallMs();
        if (last > 0) worstGap = std::max(worstGap, now - last);
        last = now;
        const bool dialog = w.findChild<QWidget*>(QStringLiteral("IndexProgress")) != nullptr;
        if (dialog && dialogAt < 0) dialogAt = now;
        if (!dialog && dialogAt >= 0 && dialogGoneAt < 0) dialogGoneAt = now;
    });
    probe.start();
    const double deadline = wallMs() + 120000;
    while (wallMs() < deadline && (dialogGoneAt < 0 || painted.at < 0))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QSqlQuery q(Module1::DbConnection->ADOConnection()->db());
    const bool present = q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'IX_TEST_RESULT_CURVE'")) && q.next();
    q.finish();
    std::printf("window painted after %.0f ms, progress dialog from %.0f to %.0f ms; index %s; event loop held at "
                "most %.0f ms meanwhile\n",
                painted.at - t0, dialogAt - t0, dialogGoneAt - t0, present ? "added" : "NOT added", worstGap);
    std::printf("RESULT %.2f\n", present && dialogGoneAt > 0 ? dialogGoneAt - t0 : -1);
    return 0;
}

void freshReportRuns(const QString& folder, const QString& csv)
{
    std::vector<double> report, raw;
    for (int r = 0; r < 5; ++r) {
        report.push_back(bench::freshRun({QStringLiteral("--report-run"), folder, csv}));
        raw.push_back(bench::freshRun({QStringLiteral("--rawwrite-run"), folder, csv}));
        std::printf("    fresh run %d: report %.1f ms, raw write %.1f ms (%.2fx); load %s\n", r + 1, report.back(),
                    raw.back(), report.back() / raw.back(), bench::loadNow().constData());
    }
    const bench::Spread a = bench::spreadOf(report), b = bench::spreadOf(raw);
    std::printf("(b) report in fresh processes, Return in the save dialog until the file is in place, best / "
                "median of %d: %.1f / %.1f ms; raw write %.1f / %.1f ms; ratio %.2fx / %.2fx (goal <= 4x)\n",
                a.runs, a.best, a.median, b.best, b.median, a.best / b.best, a.median / b.median);
}

void freshOverlayRuns(const QString& folder, double rawTwoColumns)
{
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        runs.push_back(bench::freshRun({QStringLiteral("--overlay-run"), folder}));
        std::printf("    fresh run %d: overlay redraw after a write %.1f ms; load %s\n", r + 1, runs.back(),
                    bench::loadNow().constData());
    }
    const bench::Spread o = bench::spreadOf(runs);
    std::printf("(c) overlay redraw after a write at 1920x1080, fresh processes, best / median of %d: %.0f / %.0f ms "
                "(raw read of the two columns %.0f ms; target < 1000 ms)\n",
                o.runs, o.best, o.median, rawTwoColumns);
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
    const bool runOne = openRunOne(w);
    w.setWorkbookFolder(dir.path());
    if (!runOne || w.resultModel()->rowCount() != n) {
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
        QFile::remove(dir.file(QStringLiteral("raw.csv")));   // a new file each time, as the report's
        rawMs = std::min(rawMs, rawWrite(bytes, dir.file(QStringLiteral("raw.csv"))));
    }
    std::printf("(b) report in this process (scripted save dialog), best of 3: %.0f ms, peak +%.1f MiB, %.1f MiB written%s\n", reportMs, reportPeak,
                double(bytes.size()) / 1048576, reportOk ? "" : "  ** REPORT FAILED **");
    std::printf("    raw write of the same bytes, best of 3: %.0f ms; ratio %.2fx (goal <= 4x)\n", rawMs,
                reportMs / rawMs);
    freshReportRuns(dir.path(), dir.file(QStringLiteral("fresh.csv")));
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
    addOverlays(w);
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
    freshOverlayRuns(dir.path(), raw);
    bench::printLoad();
    }
    if (parts.index) {
        // (d) an older file: the overlay's index gone, added by the next start of the program.
        sqlite3* windowDb = sqliteHandle(Module1::DbConnection->ADOConnection()->db());
        sqlite3_exec(windowDb, "DROP INDEX IX_TEST_RESULT_CURVE", nullptr, nullptr, nullptr);
        sqlite3_exec(windowDb, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        for (int r = 0; r < 2; ++r) {
            if (r > 0) sqlite3_exec(windowDb, "DROP INDEX IX_TEST_RESULT_CURVE", nullptr, nullptr, nullptr);
            const double ms = bench::freshRun({QStringLiteral("--index-run"), dir.path()});
            std::printf("(d) start of the program on a file of 8 x %d points without the overlay's index: "
                        "index added %.0f ms after the start; load %s\n",
                        n, ms, bench::loadNow().constData());
        }
    }
    platform::setModalHandler({});
    platform::setDocumentOpener({});
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
        const QString file = argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString();
        if (mode == "--report-run") return reportRun(file);
        if (mode == "--rawwrite-run") return rawWriteRun(file);
        if (mode == "--overlay-run") return overlayRun();
        if (mode == "--index-run") return indexRun();
        return 2;
    }
    std::vector<int> sizes;
    Parts parts;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "workbook" || a == "report" || a == "overlay" || a == "index") {
            if (!named) parts = {false, false, false, false};
            named = true;
            (a == "workbook" ? parts.workbook : a == "report" ? parts.report : a == "overlay" ? parts.overlay : parts.index) = true;
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {600000};
    for (int n : sizes) runSize(n, parts);
    return 0;
}
