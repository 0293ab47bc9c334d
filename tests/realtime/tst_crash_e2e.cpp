// Crash safety of logging, end to end. veduvovir-crash-logger runs the main and real-time windows against
// torvan-sim with both cells of units 1 and 2 logging every second, and prints each point whose insert has
// been committed. It is killed with SIGKILL at 20 moments drawn (from a fixed seed) between 1 and 6 s after
// its cells started, while another process reads the database now and then. After each kill the database
// must pass its integrity check and hold every point that was printed.
#include "TestSupport.h"
#include "records/SettingsFile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

using namespace testsupport;

namespace {
constexpr int Runs = 20;
} // namespace

class CrashEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void killedAtRandomMomentsLosesNoLoggedPoint();
};

void CrashEndToEnd::killedAtRandomMomentsLosesNoLoggedPoint()
{
    TempWorkDir dir;
    QVERIFY(!sqliteCommandLine("SELECT 1").startsWith("FAILED"));   // the sqlite3 command line is there
    dir.write("initial.txt", SettingsFile::text({1, 2}, 1));
    QByteArray cal;
    for (int i = 0; i < 8; ++i) cal += "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,1.2,2.2,3.2, .1 , .25 , .1 , .25 ,\r\n";
    dir.write("Calib.dat", cal);

    QRandomGenerator moments(20240610);
    QStringList faults;
    int printed = 0, reads = 0;
    for (int run = 1; run <= Runs; ++run) {
        LoggerRun logging;
        const QString failed = logging.start(run);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));

        // Log for 1..6 s while another process reads now and then; then SIGKILL.
        const int delay = 1000 + int(moments.bounded(5000));
        QProcess reader;
        QElapsedTimer t;
        t.start();
        qint64 lastRead = -1000;
        logging.waitFor(
            [&] {
                if (reader.state() == QProcess::NotRunning && t.elapsed() - lastRead >= 300) {
                    reader.start(QStringLiteral("sqlite3"), {"Torvan.accdb", "SELECT count(*), max(RESULT_ID) FROM TEST_RESULT"});
                    lastRead = t.elapsed();
                    ++reads;
                }
                return false;
            },
            delay);
        logging.kill();
        reader.waitForFinished(30000);
        for (const QByteArray& line : logging.lines)
            if (line.startsWith("ERROR ")) faults << QStringLiteral("run %1: %2").arg(run).arg(QString::fromUtf8(line));
        const QSet<qint64>& logged = logging.logged;
        printed += int(logged.size());
        const QString integrity = sqliteCommandLine("PRAGMA integrity_check");
        if (integrity != "ok") faults << QStringLiteral("run %1: integrity_check: %2").arg(run).arg(integrity);
        QSet<qint64> stored;
        for (const QString& id : sqliteCommandLine("SELECT RESULT_ID FROM TEST_RESULT").split('\n', Qt::SkipEmptyParts))
            stored.insert(id.toLongLong());
        const QSet<qint64> lost = logged - stored;
        if (!lost.isEmpty())
            faults << QStringLiteral("run %1 (killed after %2 ms): %3 of %4 logged points missing")
                          .arg(run)
                          .arg(delay)
                          .arg(lost.size())
                          .arg(logged.size());
        qInfo("run %d: killed after %d ms, %lld points logged, integrity %s", run, delay, qlonglong(logged.size()),
              qPrintable(integrity));
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    // The runs did log: four cells at one point a second for 1..6 s each.
    QVERIFY2(printed >= 2 * Runs, qPrintable(QString::number(printed)));
    QVERIFY(reads >= Runs);
}

QTEST_GUILESS_MAIN(CrashEndToEnd)
#include "tst_crash_e2e.moc"
