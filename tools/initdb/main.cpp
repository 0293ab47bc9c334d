// veduvovir-initdb [--demo] [folder]: creates an empty Torvan.accdb in folder (default: the current folder).
// With --demo the new database also holds one stored demo test (two days of points every minute), so that
// the review windows have something to show on a first start.
#include "records/clsConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <cmath>
#include <cstdio>
#include <sqlite3.h>

namespace {

// One test of 2,880 points: the cell heats from 75 °F to 150 °F in the first half hour at 200 psi, and the
// wafer (0.5 in.) swells towards 8 %.
QString storeDemoTest(const QString& file)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString e = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return e;
    }
    auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
    bool ok = exec("BEGIN") &&
              exec("INSERT INTO TEST_INFO (TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, SAMPLE_LENGTH, "
                   "SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, "
                   "SAMPLE_COMPACT_DATE, FLUID_INFO) VALUES ('Demo shale in 7% KCl', '2026-12-01 09:30:00', "
                   "'Demo', 20, 0.5, 0, 'Compacted shale wafer', 10000, 30, '11/30/2026', '7% KCl brine')");
    const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db,
                                  "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                  "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) "
                                  "VALUES (?, 1, ?, ?, ?, ?, ?, ?)",
                                  -1, &insert, nullptr) == SQLITE_OK;
    for (int k = 0; ok && k < 2880; ++k) {
        const double minutes = k;
        const double temp = 150 - 75 * std::exp(-minutes / 10);
        const double height = 0.04 * (1 - std::exp(-minutes / 600)) + 0.002 * (1 - std::exp(-minutes / 20));
        // The transducer gives 0.25 in. a volt above 0.1 in.; a unit reports millivolts with one decimal,
        // which the program stores as volts.
        const double millivolts = std::round(10000 * (0.5 + height - 0.1) / 0.25) / 10;
        const double volt = millivolts / 1000;
        sqlite3_bind_int64(insert, 1, id);
        sqlite3_bind_double(insert, 2, minutes * 60);
        sqlite3_bind_double(insert, 3, temp);
        sqlite3_bind_double(insert, 4, temp + 1);
        sqlite3_bind_double(insert, 5, 200);
        sqlite3_bind_double(insert, 6, height);
        sqlite3_bind_double(insert, 7, volt);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    const QString error = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    ok = ok && exec("COMMIT");
    if (!ok) exec("ROLLBACK");
    sqlite3_close(db);
    return ok ? QString() : (error.isEmpty() ? QStringLiteral("cannot store the demo test") : error);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    if (args.size() > 1 || (!args.isEmpty() && args[0].startsWith('-'))) {
        std::fprintf(stderr, "usage: veduvovir-initdb [--demo] [folder]\n");
        return 2;
    }
    const QString folder = args.isEmpty() ? QDir::currentPath() : args[0];
    const QString error = createDatabase(folder);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "veduvovir-initdb: %s\n", qPrintable(error));
        return 1;
    }
    const QString file = QDir(folder).absoluteFilePath(QStringLiteral("Torvan.accdb"));
    std::printf("created %s\n", qPrintable(file));
    if (demo) {
        const QString failure = storeDemoTest(file);
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "veduvovir-initdb: demo test: %s\n", qPrintable(failure));
            return 1;
        }
        std::printf("stored the demo test\n");
    }
    return 0;
}
