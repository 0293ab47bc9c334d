#include "TestSupport.h"

#include "records/Module1.h"
#include "records/clsConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>

namespace testsupport {

FileSizeLimit::FileSizeLimit(unsigned long bytes)
{
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    oldCur_ = old.rlim_cur;
    oldMax_ = old.rlim_max;
    rlimit lim = old;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit old{};
    old.rlim_cur = rlim_t(oldCur_);
    old.rlim_max = rlim_t(oldMax_);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler_);
}

TempWorkDir::TempWorkDir(bool withDatabase) : previous_(QDir::currentPath())
{
    if (!dir_.isValid()) qFatal("cannot create a temporary folder");
    QDir::setCurrent(dir_.path());
    if (withDatabase) {
        const QString error = createDatabase(dir_.path());
        if (!error.isEmpty()) qFatal("%s", qPrintable(error));
    }
}

TempWorkDir::~TempWorkDir() { QDir::setCurrent(previous_); }

void TempWorkDir::write(const QString& name, const QByteArray& bytes) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(name));
    f.write(bytes);
}

std::shared_ptr<clsConnection> openConnection()
{
    auto c = std::make_shared<clsConnection>();
    c->OpenDB();
    if (!c->IsOpen()) qWarning("connection did not open: %s", qPrintable(c->LastError()));
    return c;
}

namespace {
struct Db {
    sqlite3* db = nullptr;
    Db()
    {
        const QByteArray path = QDir::current().absoluteFilePath(QStringLiteral("Torvan.accdb")).toUtf8();
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 2000);
    }
    ~Db() { sqlite3_close(db); }
};
} // namespace

QString sqlValue(const QString& sql)
{
    Db d;
    sqlite3_stmt* st = nullptr;
    const QByteArray text = sql.toUtf8();
    QString out;
    if (sqlite3_prepare_v2(d.db, text.constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* v = sqlite3_column_text(st, 0);
        if (v) out = QString::fromUtf8(reinterpret_cast<const char*>(v));
    }
    sqlite3_finalize(st);
    return out;
}

bool sqlExec(const QString& sql)
{
    Db d;
    char* err = nullptr;
    const bool ok = sqlite3_exec(d.db, sql.toUtf8().constData(), nullptr, nullptr, &err) == SQLITE_OK;
    if (!ok) qWarning("sqlExec: %s", err);
    sqlite3_free(err);
    return ok;
}

WriteLock::WriteLock()
{
    const QByteArray path = QDir::current().absoluteFilePath(QStringLiteral("Torvan.accdb")).toUtf8();
    sqlite3_open_v2(path.constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

WriteLock::~WriteLock()
{
    release();
    sqlite3_close(db_);
}

void WriteLock::release()
{
    if (held_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    held_ = false;
}

QString sqliteCommandLine(const QString& sql, const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), file, sql});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("FAILED: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

LoggerRun::~LoggerRun()
{
    for (QProcess* p : {&logger_, &sim_}) {
        if (p->state() == QProcess::NotRunning) continue;
        p->kill();
        p->waitForFinished(5000);
    }
}

QString LoggerRun::start(int seed, const QStringList& extraArguments, const QStringList& environment)
{
    const QString folder = QDir::currentPath();
    sim_.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
               {QStringLiteral("--dir"), folder, QStringLiteral("--ports"), QStringLiteral("1,2"),
                QStringLiteral("--seed"), QString::number(seed)});
    if (!sim_.waitForStarted(5000)) return QStringLiteral("torvan-sim did not start");
    if (!waitFor([] { return QFile::exists(QStringLiteral("COM1")) && QFile::exists(QStringLiteral("COM2")); }, 5000))
        return QStringLiteral("torvan-sim made no COM1/COM2");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    logger_.setProcessEnvironment(env);
    logger_.setProcessChannelMode(QProcess::SeparateChannels);
    logger_.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/veduvovir-crash-logger"),
                  QStringList{QStringLiteral("--dir"), folder} + extraArguments);
    if (!logger_.waitForStarted(5000)) return QStringLiteral("the logger did not start");
    if (!waitFor([this] { return lines.contains("READY") || !loggerRunning(); }, 30000) || !lines.contains("READY"))
        return QString::fromUtf8(lines.join('\n') + '\n' + logger_.readAllStandardError());
    return {};
}

void LoggerRun::collect()
{
    if (!logger_.isOpen()) return;   // not started yet
    buffer_ += logger_.readAllStandardOutput();
    qsizetype end;
    while ((end = buffer_.indexOf('\n')) >= 0) {
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.startsWith("LOGGED ")) logged.insert(line.mid(7).toLongLong());
        else lines << line;
    }
}

bool LoggerRun::waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (true) {
        collect();
        if (done()) return true;
        if (t.elapsed() > ms) return false;
        QTest::qWait(20);
    }
}

void LoggerRun::kill()
{
    logger_.kill();
    logger_.waitForFinished(10000);
    collect();   // a line cut by the kill stays out
    sim_.kill();
    sim_.waitForFinished(5000);
}

void setUnits(int system)
{
    Module1::UnitSystem = system;
    Module1::SetUnitCaptions();
}

bool storeSampleHeader(int id, const QString& name)
{
    return sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, "
                                  "SAMPLE_WEIGHT, SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, "
                                  "SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO) "
                                  "VALUES (%1, '%2', '2020-01-02 10:03:04', 'old', 12.5, 0.12, 3, 'grey clay', "
                                  "300, 5, '01/02/2020', 'brine')")
                       .arg(id)
                       .arg(name));
}

QString storedSteps(int sequenceId)
{
    return sqlValue(QStringLiteral("SELECT group_concat(s, ' ') FROM (SELECT STEP_NO || ':' || STEP_ELAPSE_TIME || ':' "
                                   "|| STEP_TEMP || ':' || RECORD_RATE AS s FROM SEQUENCE_STEP WHERE SEQUENCE_ID = %1 "
                                   "ORDER BY STEP_NO)")
                        .arg(sequenceId));
}

QString headerColumn(const QString& column, int id)
{
    return sqlValue(QStringLiteral("SELECT %1 FROM TEST_INFO WHERE TEST_ID = %2").arg(column).arg(id));
}

void addControlColumns()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
}

void addControlRow(const char* name, const char* caption, const char* tip)
{
    QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(caption) << QString::fromUtf8(tip);
}

} // namespace testsupport
