#pragma once
// Pieces shared by the benchmarks: the clocks, the sizes asked for on the command line, and the raw sqlite3
// read of one test's points that the record loads are measured against.
#include "records/clsTEST_RESULT.h"

#include <cstdlib>
#include <ctime>
#include <sqlite3.h>
#include <vector>

namespace bench {

inline double clockMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
inline double wallMs() { return clockMs(CLOCK_MONOTONIC); }
inline double cpuMs() { return clockMs(CLOCK_PROCESS_CPUTIME_ID); }

// The sizes given as arguments, or the defaults when none is given.
inline std::vector<int> sizes(int argc, char** argv, std::vector<int> defaults)
{
    std::vector<int> given;
    for (int i = 1; i < argc; ++i) given.push_back(std::atoi(argv[i]));
    return given.empty() ? defaults : given;
}

// Every column of one test's points, with the record class's own statement; returns the milliseconds taken
// and the row count in *rowsOut.
inline double rawTestRead(sqlite3* db, int testId, long long* rowsOut)
{
    const QByteArray sql = clsTEST_RESULT::LoadSql.toUtf8();
    const double t0 = wallMs();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    sqlite3_bind_int(st, 1, testId);
    long long rows = 0;
    double sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        sum += sqlite3_column_int(st, 0) + sqlite3_column_int(st, 1) + sqlite3_column_int(st, 2);
        for (int c = 3; c < 9; ++c) sum += sqlite3_column_double(st, c);
        ++rows;
    }
    sqlite3_finalize(st);
    const double ms = wallMs() - t0;
    *rowsOut = rows + (sum == -1 ? 1 : 0);   // keeps the sum alive
    return ms;
}

} // namespace bench
