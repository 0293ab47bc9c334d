#include "records/clsConnection.h"
#include "records/SqliteHandle.h"

#include "platform/DatabaseLock.h"
#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/WorkFiles.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <filesystem>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// SQLite's code for a database that cannot be written.
constexpr int ReadOnlyErrorNumber = 8;

// Why the database at path cannot be written, naming the file; empty when it can. The database, its
// -wal and -shm files (where they exist) and its folder (where SQLite makes them) must all take writes:
// a database opened read-only would leave read-only -wal/-shm files that keep it unwritable later on.
QString writeProblem(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (WorkFiles::writeProtected(path))
        return QStringLiteral("The database file '%1' is write-protected: no test can be stored in it. Allow "
                              "writing to it and start the program again.")
            .arg(shown);
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        if (Module1::FileExists(companion) && WorkFiles::writeProtected(companion))
            return QStringLiteral("The database file '%1' cannot be written: its file '%2' is write-protected. "
                                  "Allow writing to both and start the program again.")
                .arg(shown, QDir::toNativeSeparators(companion));
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (WorkFiles::writeProtected(folder))
        return QStringLiteral("The database file '%1' cannot be written: its folder '%2' is write-protected. "
                              "Allow writing to the folder and start the program again.")
            .arg(shown, QDir::toNativeSeparators(folder));
    return {};
}

// True when SQLite opened the main database read-only (it falls back to that when a read-write open is
// refused).
bool openedReadOnly(const QSqlDatabase& d)
{
    sqlite3* handle = sqliteHandle(d);
    return handle && sqlite3_db_readonly(handle, "main") == 1;
}

// The index that the overlay of long tests reads their time and length change from alone (the rows of
// eight units logging together lie interleaved in the table, so a read through the narrow index takes one
// table page per few points). New files get it from the schema; an older file gets it once, after the
// program's start has shown its window (clsConnection::AddMissingIndex). A file that cannot take it now
// (another program writing) works without it.
const char* const CurveIndexSql = "CREATE INDEX IF NOT EXISTS IX_TEST_RESULT_CURVE "
                                  "ON TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_ID, RESULT_HEIGHT_CHANGE)";

// The files whose missing index this run has tried to add (or found present): a later open, which may come
// while units log, leaves them as they are.
QSet<QString>& indexTried()
{
    static QSet<QString> tried;
    return tried;
}

// How many virtual-machine steps of the index build pass between two looks at the clock.
constexpr int BuildStepsPerCheck = 1000;
// How long the build runs between two calls of the caller's step, in milliseconds.
constexpr double BuildSliceMs = 15;

struct BuildProgress {
    const std::function<bool()>* step;
    QElapsedTimer sinceStep;
    bool stopped = false;
};

// SQLite's progress handler during the build: hands the thread to the caller's step every slice; a step
// that answers false interrupts the build (SQLite then rolls it back).
int buildProgress(void* context)
{
    auto* p = static_cast<BuildProgress*>(context);
    if (p->sinceStep.elapsed() < BuildSliceMs) return 0;
    if (!(*p->step)()) {
        p->stopped = true;
        return 1;
    }
    p->sinceStep.restart();
    return 0;
}

QAtomicInt g_connectionCounter;

DbError toDbError(const QSqlError& e)
{
    bool ok = false;
    int number = e.nativeErrorCode().toInt(&ok);
    if (!ok) number = -1;
    QString text = e.driverText();
    if (!e.databaseText().isEmpty()) text = e.databaseText();
    if (text.isEmpty()) text = e.text();
    return DbError(number, text);
}

} // namespace

DbHandle::DbHandle()
    : name_(QStringLiteral("veduvovir-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1))
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
}

DbHandle::~DbHandle()
{
    // SQLite closes before the guard's descriptors on the file (their close drops the process's locks).
    platform::closeWatched(this, [this] {
        QSqlDatabase d = QSqlDatabase::database(name_, false);
        if (d.isOpen()) d.close();
    });
    QSqlDatabase::removeDatabase(name_);
}

bool DbHandle::busy() const
{
    sqlite3* h = open_ ? sqliteHandle(db()) : nullptr;
    return h && sqlite3_txn_state(h, nullptr) != SQLITE_TXN_NONE;
}

bool DbHandle::writing() const
{
    sqlite3* h = open_ ? sqliteHandle(db()) : nullptr;
    return h && sqlite3_txn_state(h, nullptr) == SQLITE_TXN_WRITE;
}

bool DbHandle::checkpoint()
{
    sqlite3* h = open_ ? sqliteHandle(db()) : nullptr;
    if (!h) return true;
    int frames = -1, written = -1;
    return sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &frames, &written) == SQLITE_OK
        && frames == written;
}

void DbHandle::closeForReopen()
{
    open_ = false;
    QSqlDatabase d = db();
    if (d.isOpen()) d.close();
}

QString DbHandle::reopen()
{
    try {
        open(path_);
    } catch (const DbError& e) {
        return e.description;
    }
    return {};
}

void DbHandle::checkFiles()
{
    if (!path_.isEmpty()) platform::checkDatabaseFiles(this);
}

void DbHandle::setOpenHook(std::function<void(const QSqlDatabase&)> hook)
{
    openHook_ = std::move(hook);
    if (open_ && openHook_) openHook_(db());
}

void DbHandle::open(const QString& path)
{
    // Connections on a file replaced at that path are moved to the new file first: SQLite's close of the
    // old one may remove the -wal and -shm at the path, which the new connection would be using.
    platform::checkDatabaseFiles(nullptr, QFileInfo(path).absoluteFilePath());
    QSqlDatabase d = db();
    // The URI form with mode=rw: a missing file fails instead of being created.
    const QByteArray encoded = QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/");
    d.setDatabaseName(QStringLiteral("file:%1?mode=rw").arg(QString::fromUtf8(encoded)));
    // A short busy timeout: the window never waits long on a database another program holds; a logged
    // point that finds it locked is kept and stored later (realtime::UnitPoll).
    d.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!d.open()) {
        DbError err = toDbError(d.lastError());
        if (err.number < 0) err.number = 14;
        throw err;
    }
    // A database that SQLite could open only for reading is refused before anything is read, so that no
    // read-only -wal/-shm file is made.
    if (openedReadOnly(d)) {
        d.close();
        const QString problem = writeProblem(path);
        throw DbError(ReadOnlyErrorNumber,
                      problem.isEmpty()
                          ? QStringLiteral("The database file '%1' cannot be written.").arg(QDir::toNativeSeparators(path))
                          : problem);
    }
    // Probe at once, so a damaged or foreign file fails here and not at the first read.
    QSqlQuery q(d);
    const char* statements[] = {
        "PRAGMA synchronous=FULL",
        "SELECT 1 FROM TEST_INFO, TEST_RESULT, SEQUENCE_INFO, SEQUENCE_STEP LIMIT 0",
    };
    for (const char* s : statements) {
        if (!q.exec(QString::fromLatin1(s))) {
            DbError err = toDbError(q.lastError());
            q.finish();
            d.close();
            throw err;
        }
        q.finish();
    }
    const bool wal = q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next()
                     && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    q.finish();
    path_ = QFileInfo(path).absoluteFilePath();
    open_ = true;
    ++generation_;
    platform::watchDatabaseLock(path_, this, wal);
    if (openHook_) openHook_(d);
}

clsConnection::clsConnection() : handle_(std::make_shared<DbHandle>()) {}

clsConnection::~clsConnection()
{
    if (inTransaction_ && handle_ && handle_->isOpen()) handle_->db().rollback();
}

void clsConnection::OpenDB(const QString&, const QString&, const QString&, const QString&)
{
    handle_ = std::make_shared<DbHandle>();
    inTransaction_ = false;
    token_ = 0;
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("Torvan.accdb"));
    connectionString_.clear();
    try {
        if (Module1::FileExists(path)) connectionString_ = path;
        if (connectionString_.isEmpty())
            throw DbError(14, QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
        if (const QString problem = writeProblem(path); !problem.isEmpty()) throw DbError(ReadOnlyErrorNumber, problem);
        handle_->open(connectionString_);
    } catch (const DbError& e) {
        lastError_ = QStringLiteral("clsConnection.OpenConnection: Error #: ") + QString::number(e.number) +
                     QStringLiteral("\r\n") + e.description;
        platform::Prompts::current().message(lastError_);
    }
}

bool clsConnection::IndexMissing() const
{
    if (!IsOpen() || indexTried().contains(connectionString_)) return false;
    QSqlQuery q(handle_->db());
    const bool present = q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = "
                                               "'IX_TEST_RESULT_CURVE'")) && q.next();
    const bool failed = q.lastError().isValid();
    q.finish();
    if (present) indexTried().insert(connectionString_);
    return !present && !failed;
}

bool clsConnection::AddMissingIndex(const std::function<bool()>& step)
{
    if (!IndexMissing()) return false;
    indexTried().insert(connectionString_);
    // A connection of its own: the build holds the write lock and runs inside SQLite while step runs, so
    // the shared connection stays free for what step lets happen meanwhile (reads go on; a write waits
    // its short busy timeout and fails as locked, and a logged point stays queued).
    const QByteArray encoded = QUrl::toPercentEncoding(connectionString_, "/");
    const QByteArray uri = "file:" + encoded + "?mode=rw";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, DbHandle::BusyTimeoutMs);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    // The commit would fold the new pages into the file at once, in one piece: done below instead, once.
    sqlite3_wal_autocheckpoint(db, 0);
    BuildProgress progress{&step, {}};
    progress.sinceStep.start();
    sqlite3_progress_handler(db, BuildStepsPerCheck, buildProgress, &progress);
    const bool built = sqlite3_exec(db, CurveIndexSql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    // The new index passed through the -wal; it is given back to the file at once (and a build given up
    // leaves no pages of its own there). The commit's flush and this checkpoint are each one piece of work
    // (a few hundred milliseconds on a file of millions of points): the caller's step runs between them.
    if (!progress.stopped) step();
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    // The shared connection reads the changed schema now, so that statements prepared from here on plan
    // with the index (those prepared before are prepared again by SQLite when they next run).
    if (built) {
        QSqlQuery q(handle_->db());
        q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        q.finish();
    }
    return built;
}

int clsConnection::BeginTrans()
{
    if (inTransaction_) return 0;
    if (handle_) handle_->checkFiles();
    if (!IsOpen()) throw DbError(3709, QStringLiteral("The connection is not open."));
    const int token = static_cast<int>(QRandomGenerator::global()->generateDouble() * 1000000.0) + 1;
    if (!handle_->db().transaction()) throw toDbError(handle_->db().lastError());
    inTransaction_ = true;
    token_ = token;
    return token;
}

bool clsConnection::CommitTrans(int token)
{
    if (!inTransaction_ || token != token_) return false;
    if (!handle_->db().commit()) throw toDbError(handle_->db().lastError());
    inTransaction_ = false;
    token_ = 0;
    return true;
}

bool clsConnection::RollBack(int token)
{
    if (!inTransaction_ || token != token_) return false;
    if (!handle_->db().rollback()) throw toDbError(handle_->db().lastError());
    inTransaction_ = false;
    token_ = 0;
    return true;
}

