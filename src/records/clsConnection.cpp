#include "records/clsConnection.h"
#include "records/SqliteHandle.h"

#include "platform/DatabaseLock.h"
#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/Module1.h"

#include <QAtomicInt>
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

// True when the entry cannot be written: it carries no write permission at all (a write-protected file,
// which holds even for a user whom the system lets write anyway), or the system refuses this process
// the write (permissions, a read-only mount, an immutable file). Nothing is opened.
bool writeProtected(const QString& path)
{
    namespace fs = std::filesystem;
    const QByteArray native = QFile::encodeName(path);
    std::error_code ec;
    const fs::perms p = fs::status(fs::path(native.toStdString()), ec).permissions();
    if (ec) return false;
    const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (p & anyWrite) == fs::perms::none || ::access(native.constData(), W_OK) != 0;
}

// Why the database at path cannot be written, naming the file; empty when it can. The database, its
// -wal and -shm files (where they exist) and its folder (where SQLite makes them) must all take writes:
// a database opened read-only would leave read-only -wal/-shm files that keep it unwritable later on.
QString writeProblem(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (writeProtected(path))
        return QStringLiteral("The database file '%1' is write-protected: no test can be stored in it. Allow "
                              "writing to it and start the program again.")
            .arg(shown);
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        if (Module1::FileExists(companion) && writeProtected(companion))
            return QStringLiteral("The database file '%1' cannot be written: its file '%2' is write-protected. "
                                  "Allow writing to both and start the program again.")
                .arg(shown, QDir::toNativeSeparators(companion));
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (writeProtected(folder))
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
// table page per few points). New files get it from the schema; an older file gets it at its first open in
// this process: the program's start, before any unit screen logs. Building it takes seconds on a file of
// millions of points, once. A file that cannot take it now (another program writing) works without it.
const char* const CurveIndexSql = "CREATE INDEX IF NOT EXISTS IX_TEST_RESULT_CURVE "
                                  "ON TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_ID, RESULT_HEIGHT_CHANGE)";

void addMissingIndexes(const QSqlDatabase& d, const QString& path)
{
    static QSet<QString> tried;
    if (tried.contains(path)) return;
    tried.insert(path);
    QSqlQuery q(d);
    const bool present = q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = "
                                               "'IX_TEST_RESULT_CURVE'")) && q.next();
    q.finish();
    if (present) return;
    // The new index passes through the -wal; it is given back to the file at once.
    if (q.exec(QString::fromLatin1(CurveIndexSql))) {
        q.finish();
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    q.finish();
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
    addMissingIndexes(d, path_);
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

