// Benchmark of the record layer, each figure beside a reference measured in the same run: one logging AddNew
// (each its own committed statement, as the logging path writes it), and loading a 600,000-point test (a
// week at one point a second) among 1,200,000 points of other tests: ConnectX alone (what the main
// window's open does; goal <= 1.3x a raw sqlite3 read of the same rows) and ConnectX + MoveNext + All (the
// cursor walked as the record class offers it).
#include "BenchSupport.h"
#include "TestSupport.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

double rawRead(int testId, long long* rowsOut)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2("Torvan.accdb", &db, SQLITE_OPEN_READONLY, nullptr);
    const double ms = bench::rawTestRead(db, testId, rowsOut);
    sqlite3_close(db);
    return ms;
}

// ConnectX, and with walk the cursor walked with All at every point.
double recordLoad(clsConnection& c, int testId, bool walk, long long* rowsOut)
{
    QElapsedTimer t;
    t.start();
    clsTEST_RESULT r;
    r.Test_Id = testId;
    r.ConnectX(c);
    if (!walk) {
        *rowsOut = r.TotalPoints();
        return t.nsecsElapsed() / 1e6;
    }
    long long rows = 0;
    double sum = 0;
    r.MoveFirst();
    while (!r.EOF_()) {
        const QVariantList all = r.All();
        for (const QVariant& v : all) sum += v.toDouble();
        ++rows;
        r.MoveNext();
    }
    const double ms = t.nsecsElapsed() / 1e6;
    *rowsOut = rows + (sum == -1 ? 1 : 0);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testsupport::TempWorkDir dir;
    auto c = testsupport::openConnection();

    // 1. Logging: 10,000 single AddNew calls, each an autocommitted statement with synchronous=FULL.
    clsTEST_RESULT log;
    log.Test_Id = 1;
    log.ConnectX(*c);
    std::vector<double> us;
    us.reserve(10000);
    for (int i = 0; i < 10000; ++i) {
        log.STEP_NO = 1;
        log.RESULT_TIME = i;
        log.RESULT_TEMP = 300 + i % 7;
        log.RESULT_BATHTEMP = 301;
        log.RESULT_PRESS = 1100;
        log.RESULT_HEIGHT_CHANGE = 0.001 * (i % 100);
        log.RESULT_VOLT = 1.6;
        QElapsedTimer t;
        t.start();
        log.AddNew();
        us.push_back(t.nsecsElapsed() / 1e3);
    }
    std::vector<double> sorted = us;
    std::sort(sorted.begin(), sorted.end());
    std::printf("logging AddNew (10,000, each committed): median %.1f us, p99 %.1f us, worst %.1f us\n",
                sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], sorted.back());

    // 2. Loading: test 2 holds 600,000 points among 1,800,000.
    testsupport::sqlExec(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 1799999) "
        "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, RESULT_PRESS, "
        "RESULT_HEIGHT_CHANGE, RESULT_VOLT) SELECT 2 + (i % 3), 1, i / 3, 300.5, 301.25, 1100, i * 1e-6, 1.6 FROM n");
    double bestRaw = 1e18, bestConnect = 1e18, bestRec = 1e18;
    long long rawRows = 0, connectRows = 0, recRows = 0;
    for (int round = 0; round < 3; ++round) {
        bestRaw = std::min(bestRaw, rawRead(2, &rawRows));
        bestConnect = std::min(bestConnect, recordLoad(*c, 2, false, &connectRows));
        bestRec = std::min(bestRec, recordLoad(*c, 2, true, &recRows));
    }
    std::printf("load of one test, best of 3: raw sqlite3 %lld rows %.1f ms; ConnectX %lld rows %.1f ms, ratio %.2fx "
                "(goal <= 1.3x); ConnectX+MoveNext+All %lld rows %.1f ms, ratio %.2fx\n",
                rawRows, bestRaw, connectRows, bestConnect, bestConnect / bestRaw, recRows, bestRec, bestRec / bestRaw);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly)) std::printf("load: %s", load.readAll().constData());
    return 0;
}
