// Crash safety of logging, end to end. veduvovir-crash-logger runs the real-time window against torvan-sim
// with both cells of units 1 and 2 logging every second, and prints each point whose insert has been
// committed. It is killed with SIGKILL at 20 moments drawn (from a fixed seed) between 1 and 6 s after its
// cells started, while another process reads the database now and then. After each kill the database must
// pass its integrity check and hold every point that was printed.
#include "TestSupport.h"
#include "records/SettingsFile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

using namespace testsupport;

namespace {

const QString kSim = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");
const QString kLogger = QStringLiteral(VEDUVOVIR_BIN_DIR "/veduvovir-crash-logger");
constexpr int Runs = 20;

// Complete lines of a process's output so far (a line cut by the kill is left out).
struct Lines {
    QByteArray buffer;
    QList<QByteArray> take(QProcess& p)
    {
        buffer += p.readAllStandardOutput();
        QList<QByteArray> out;
        qsizetype end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            out << buffer.left(end);
            buffer.remove(0, end + 1);
        }
        return out;
    }
};

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
        QProcess sim;
        sim.start(kSim, {"--dir", dir.path(), "--ports", "1,2", "--seed", QString::number(run)});
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file("COM1")) && QFile::exists(dir.file("COM2")), 5000);

        QProcess logger;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        logger.setProcessEnvironment(env);
        logger.setProcessChannelMode(QProcess::SeparateChannels);
        logger.start(kLogger, {"--dir", dir.path()});
        QVERIFY(logger.waitForStarted(5000));
        Lines lines;
        QSet<qint64> logged;
        bool ready = false;
        const auto collect = [&] {
            for (const QByteArray& line : lines.take(logger)) {
                if (line == "READY") ready = true;
                else if (line.startsWith("LOGGED ")) logged.insert(line.mid(7).toLongLong());
                else if (line.startsWith("ERROR ")) faults << QStringLiteral("run %1: %2").arg(run).arg(QString::fromUtf8(line));
            }
        };
        QTRY_VERIFY2_WITH_TIMEOUT((collect(), ready || logger.state() == QProcess::NotRunning), "no READY", 30000);
        QVERIFY2(ready, qPrintable(faults.join('\n') + QString::fromUtf8(logger.readAllStandardError())));

        // Log for 1..6 s while another process reads now and then; then SIGKILL.
        const int delay = 1000 + int(moments.bounded(5000));
        QProcess reader;
        QElapsedTimer t;
        t.start();
        qint64 lastRead = -1000;
        while (t.elapsed() < delay) {
            if (reader.state() == QProcess::NotRunning && t.elapsed() - lastRead >= 300) {
                reader.start(QStringLiteral("sqlite3"), {"Torvan.accdb", "SELECT count(*), max(RESULT_ID) FROM TEST_RESULT"});
                lastRead = t.elapsed();
                ++reads;
            }
            QTest::qWait(20);
            collect();
        }
        logger.kill();
        QVERIFY(logger.waitForFinished(10000));
        collect();
        reader.waitForFinished(30000);
        sim.kill();
        sim.waitForFinished(5000);

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
