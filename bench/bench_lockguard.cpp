// The hold guard's check as its one-second timer runs it, with the program's database open: wall time of
// each call in microseconds (median and worst of many), next to the machine's load.
#include "BenchSupport.h"
#include "TestSupport.h"

#include "platform/DatabaseLock.h"
#include "records/Module1.h"
#include "records/clsConnection.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int calls = bench::sizes(argc, argv, {500}).front();
    testsupport::TempWorkDir dir;
    Module1::DbConnection = testsupport::openConnection();
    {
        QSqlQuery q(Module1::DbConnection->ADOConnection()->db());
        q.exec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME) VALUES (1, 'bench')"));
    }
    std::vector<double> us;
    for (int i = 0; i < calls; ++i) {
        const double t0 = bench::wallMs();
        platform::keepDatabaseLock();
        us.push_back((bench::wallMs() - t0) * 1000.0);
    }
    std::sort(us.begin(), us.end());
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    std::printf("keepDatabaseLock: %d calls, median %.1f us, worst %.1f us; load %s", calls, us[us.size() / 2],
                us.back(), load.readAll().constData());
    Module1::Reset();
    return 0;
}
