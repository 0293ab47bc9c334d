#include "platform/DatabaseLock.h"

#include "platform/Prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// SQLite's lock bytes on Unix (fixed by its file format, so that every version locks alike): the shared
// range of the database file, and in the -shm the WAL's write lock and the byte held by every process
// that has the database open.
constexpr off_t SharedFirst = 0x40000000 + 2;
constexpr off_t SharedSize = 510;
constexpr off_t ShmWriteLock = 120;
constexpr off_t ShmInUse = 128;

struct Identity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const Identity& o) const { return exists == o.exists && dev == o.dev && ino == o.ino; }
};

Identity identityOf(const QByteArray& path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino};
}

struct File {
    QByteArray path;
    int fd = -1;   // kept open while watched: its inode cannot be reused meanwhile
    Identity id;
};

File openFile(const QByteArray& path, int flags)
{
    File f;
    f.path = path;
    f.fd = ::open(path.constData(), flags | O_CLOEXEC);
    struct stat st {};
    if (f.fd >= 0 && ::fstat(f.fd, &st) == 0) f.id = {true, st.st_dev, st.st_ino};
    else f.id = identityOf(path);
    return f;
}

using Identities = std::array<Identity, 3>;   // database, -wal, -shm at their paths

Identities identitiesAt(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    return {identityOf(native), identityOf(native + "-wal"), identityOf(native + "-shm")};
}

// One watched database: its files as opened by the guard and the connections on it.
struct Database {
    QString path;
    bool wal = false;
    File db, walFile, shm;
    std::vector<WatchedConnection*> connections;
    bool writeLossTold = false;

    bool holds(const WatchedConnection* c) const
    {
        return std::find(connections.begin(), connections.end(), c) != connections.end();
    }
    // The database file open is still linked somewhere (at the path or wherever it was moved).
    bool stillLinked() const
    {
        struct stat st {};
        return db.fd >= 0 && ::fstat(db.fd, &st) == 0 && st.st_nlink > 0;
    }
    // The files at the paths are no longer the ones open. A database moved away from its path (renamed,
    // still linked somewhere) is not a change to act on: its connections go on writing through the
    // descriptors SQLite holds, the database's own (wherever it moved) and the -wal and -shm that SQLite
    // opened by the old path names and that still lie at the path; closing them now would leave the
    // frames in that -wal, and clearing it would lose them. When the same file comes back, nothing changed.
    bool changed() const
    {
        const Identities now = identitiesAt(path);
        if (!now[0].exists && stillLinked()) return false;
        return !(now[0] == db.id) || (wal && (!(now[1] == walFile.id) || !(now[2] == shm.id)));
    }
};

// Connections whose database could not be opened again: tried again once the files at the path change,
// or once the old -wal and -shm left at the path by a replaced database can be cleared away, and quietly
// every few seconds meanwhile (a cause that passes, such as a lock, must not keep points queued for good).
struct Waiting {
    QString path;
    std::vector<WatchedConnection*> connections;
    Identities tried;
    File oldWal, oldShm;   // open while they wait to be cleared
    std::chrono::steady_clock::time_point retryAt{};
};

constexpr std::chrono::seconds ReopenRetry{5};

void closeFile(File& f)
{
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
}

struct State {
    std::vector<std::unique_ptr<Database>> databases;
    std::vector<Waiting> waiting;
    QPointer<QTimer> timer;
    int retakes = 0;
    int reopens = 0;
    bool reopening = false;
} g_state;

bool setLock(int fd, int command, short type, off_t start, off_t length)
{
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    return ::fcntl(fd, command, &fl) == 0;
}

enum class Holder { None, Process, Other };

// Who holds a lock on the range that a write lock would meet, seen from the guard's own descriptor (whose
// own OFD locks never count against itself): nobody, this process (a POSIX lock of SQLite's or the
// guard's), or another (then a lock of this process may be there too, behind it).
Holder holderOf(int fd, off_t start, off_t length)
{
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return Holder::Other;
    if (fl.l_type == F_UNLCK) return Holder::None;
    return fl.l_pid == ::getpid() ? Holder::Process : Holder::Other;
}

// Puts SQLite's read lock on a range back. Where another process's lock hides whether it is there, it is
// set again anyway: this process only ever holds a read lock there, so that changes nothing when it is.
// True when it was surely gone.
bool restoreRead(const File& f, off_t start, off_t length)
{
    if (f.fd < 0) return false;
    const Holder h = holderOf(f.fd, start, length);
    if (h == Holder::Process) return false;
    setLock(f.fd, F_SETLK, F_RDLCK, start, length);
    return h == Holder::None;
}

// SQLite's locks of the database as its connections believe them held; true when one was taken again.
bool restoreLocks(Database& d)
{
    if (!d.wal) return false;
    bool taken = restoreRead(d.db, SharedFirst, SharedSize);
    taken = restoreRead(d.shm, ShmInUse, 1) || taken;
    const bool writing = std::any_of(d.connections.begin(), d.connections.end(),
                                     [](const WatchedConnection* c) { return c->writing(); });
    if (writing && d.shm.fd >= 0) {
        // A write transaction whose write lock was dropped: another process could write into the WAL
        // meanwhile and this transaction's commit would then fail.
        const Holder h = holderOf(d.shm.fd, ShmWriteLock, 1);
        if (h == Holder::None && setLock(d.shm.fd, F_SETLK, F_WRLCK, ShmWriteLock, 1)) {
            taken = true;
        } else if (h != Holder::Process && !d.writeLossTold) {
            d.writeLossTold = true;
            qWarning("The write lock of %s was lost to another process inside a transaction.",
                     qPrintable(d.path));
        }
    } else {
        d.writeLossTold = false;
    }
    return taken;
}

void takeOwnLocks(Database& d)
{
    if (!d.wal) return;
    setLock(d.db.fd, F_OFD_SETLK, F_RDLCK, SharedFirst, SharedSize);
    setLock(d.shm.fd, F_OFD_SETLK, F_RDLCK, ShmInUse, 1);
}

void releaseOwnLocks(Database& d)
{
    if (!d.wal) return;
    setLock(d.db.fd, F_OFD_SETLK, F_UNLCK, SharedFirst, SharedSize);
    setLock(d.shm.fd, F_OFD_SETLK, F_UNLCK, ShmInUse, 1);
}

void closeFiles(Database& d)
{
    for (File* f : {&d.db, &d.walFile, &d.shm}) closeFile(*f);
}

// Whether a descriptor of this process other than the guard's own f has the file f open.
bool openElsewhere(const File& f)
{
    if (f.fd < 0) return false;
    QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool number = false;
        const int fd = entry.toInt(&number);
        struct stat st {};
        if (!number || fd == f.fd || ::fstat(fd, &st) != 0) continue;
        if (st.st_dev == f.id.dev && st.st_ino == f.id.ino) return true;
    }
    return false;
}

// A replaced database's -wal and -shm stay at the path (SQLite leaves them when its file has moved); the
// new file must not read the old frames as its own. They are removed once no other process has them open
// (every SQLite connection holds a read lock on the -shm's in-use byte) and no connection of this one
// still uses them. True when nothing is left.
bool clearOldCompanions(Waiting& w)
{
    if (w.oldShm.fd < 0 && w.oldWal.fd < 0) return true;
    if (openElsewhere(w.oldWal) || openElsewhere(w.oldShm)) return false;
    if (w.oldShm.fd >= 0 && !setLock(w.oldShm.fd, F_OFD_SETLK, F_WRLCK, ShmInUse, 1)) return false;
    for (File* f : {&w.oldWal, &w.oldShm}) {
        if (f->fd >= 0 && identityOf(f->path) == f->id) ::unlink(f->path.constData());
        closeFile(*f);
    }
    return true;
}

QString reopenFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("The database file '%1' changed on disk while the program had it open, and it could "
                          "not be opened again: %2\r\nPoints logged meanwhile are kept and stored once it can be "
                          "opened.")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Opens the waiting connections again; what fails stays waiting until the files at the path change.
// Returns the message to tell (empty when every one opened).
QString tryReopen(Waiting& w)
{
    w.tried = identitiesAt(w.path);
    std::vector<WatchedConnection*> left;
    QString reason;
    for (WatchedConnection* c : w.connections) {
        const QString why = c->reopen();
        if (why.isEmpty()) continue;
        left.push_back(c);
        if (reason.isEmpty()) reason = why;
    }
    w.connections = std::move(left);
    return w.connections.empty() ? QString() : reopenFailure(w.path, reason);
}

// Closes every connection on the database at index and opens them again on the files now at its path.
// Nothing happens while one of them is busy (then at the next check). Returns the message to tell.
QString reopenDatabase(std::size_t index, bool* done)
{
    *done = false;
    Database& d = *g_state.databases[index];
    for (const WatchedConnection* c : d.connections)
        if (c->busy()) return {};
    // A database moved away (still linked somewhere) and another file now at its path: the frames its
    // connections wrote into the -wal at the path go into the moved file first, or they would be lost with
    // that -wal. Where that cannot be done completely now, the connections go on as they are until the next
    // check.
    if (d.wal && d.stillLinked() && !(identityOf(d.db.path) == d.db.id))
        for (WatchedConnection* c : d.connections)
            if (!c->checkpoint()) return {};
    std::unique_ptr<Database> gone = std::move(g_state.databases[index]);
    g_state.databases.erase(g_state.databases.begin() + std::ptrdiff_t(index));
    *done = true;
    ++g_state.reopens;
    g_state.reopening = true;
    // SQLite's last close may then fold the old -wal into the old file and remove it from the path.
    releaseOwnLocks(*gone);
    for (WatchedConnection* c : gone->connections) c->closeForReopen();
    Waiting w{gone->path, gone->connections, {}, {}, {}};
    if (gone->wal && !(identityOf(gone->db.path) == gone->db.id)) {
        std::swap(w.oldWal, gone->walFile);
        std::swap(w.oldShm, gone->shm);
    }
    closeFiles(*gone);
    QString message;
    if (!clearOldCompanions(w)) {
        w.tried = identitiesAt(w.path);
        message = reopenFailure(gone->path, QStringLiteral("another program still has the old file's -wal open."));
    } else {
        message = tryReopen(w);
    }
    w.retryAt = std::chrono::steady_clock::now() + ReopenRetry;
    if (!w.connections.empty()) g_state.waiting.push_back(std::move(w));
    g_state.reopening = false;
    return message;
}

// The file check for the databases that match; returns the messages to tell.
QStringList checkFiles(const std::function<bool(const QString& path, const std::vector<WatchedConnection*>&)>& match)
{
    QStringList messages;
    for (std::size_t i = 0; i < g_state.databases.size();) {
        Database& d = *g_state.databases[i];
        bool done = false;
        if (match(d.path, d.connections) && d.changed()) {
            const QString m = reopenDatabase(i, &done);
            if (!m.isEmpty()) messages << m;
        }
        if (!done) ++i;
    }
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::pair<Waiting, bool>> due;   // with whether a failure is told again
    for (auto it = g_state.waiting.begin(); it != g_state.waiting.end();) {
        const bool old = it->oldShm.fd >= 0 || it->oldWal.fd >= 0;
        const bool moved = !old && !(identitiesAt(it->path) == it->tried);
        if (match(it->path, it->connections) && (old ? clearOldCompanions(*it) : moved || now >= it->retryAt)) {
            due.emplace_back(std::move(*it), old || moved);
            it = g_state.waiting.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [w, tellFailure] : due) {
        g_state.reopening = true;
        const QString m = tryReopen(w);
        g_state.reopening = false;
        if (!m.isEmpty() && tellFailure) messages << m;
        w.retryAt = now + ReopenRetry;
        if (!w.connections.empty()) g_state.waiting.push_back(std::move(w));
    }
    return messages;
}

void tellAll(const QStringList& messages)
{
    for (const QString& m : messages) tell(m);
}

} // namespace

bool processHoldsLock(const QString& path, qint64 pid)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return false;
    const QString owner = QString::number(pid > 0 ? pid : qint64(::getpid()));
    const QString inode = QStringLiteral(":%1").arg(quint64(st.st_ino));
    const QString device = QStringLiteral("%1:%2")
                               .arg(uint(major(st.st_dev)), 2, 16, QLatin1Char('0'))
                               .arg(uint(minor(st.st_dev)), 2, 16, QLatin1Char('0'));
    for (const QByteArray& raw : locks.readAll().split('\n')) {
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741826 1073742335"; "->" marks a waiting lock.
        if (raw.contains("->")) continue;
        const QStringList f = QString::fromLatin1(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qsizetype at = f.indexOf(owner);
        if (at < 1 || at + 1 >= f.size() || !f[at + 1].endsWith(inode)) continue;
        if (f[at + 1].startsWith(device, Qt::CaseInsensitive)) return true;
    }
    return false;
}

void watchDatabaseLock(const QString& path, WatchedConnection* c, bool wal)
{
    const QByteArray native = QFile::encodeName(path);
    const Identity id = identityOf(native);
    for (const std::unique_ptr<Database>& d : g_state.databases)
        if (id.exists && d->db.id == id) {
            d->connections.push_back(c);
            return;
        }
    auto d = std::make_unique<Database>();
    d->path = path;
    d->wal = wal;
    d->db = openFile(native, O_RDONLY);
    d->walFile = openFile(native + "-wal", O_RDONLY);
    d->shm = openFile(native + "-shm", O_RDWR);
    d->connections.push_back(c);
    takeOwnLocks(*d);
    g_state.databases.push_back(std::move(d));
    if (!g_state.timer && QCoreApplication::instance()) {
        g_state.timer = new QTimer(QCoreApplication::instance());
        QObject::connect(g_state.timer.data(), &QTimer::timeout, [] {
            TickScope scope;   // a message of the check waits for the handler to return
            keepDatabaseLock();
        });
        g_state.timer->start(1000);
    }
}

void closeWatched(WatchedConnection* c, const std::function<void()>& close)
{
    for (Waiting& w : g_state.waiting) {
        std::erase(w.connections, c);
        if (w.connections.empty()) {
            closeFile(w.oldWal);
            closeFile(w.oldShm);
        }
    }
    std::erase_if(g_state.waiting, [](const Waiting& w) { return w.connections.empty(); });
    const auto at = std::find_if(g_state.databases.begin(), g_state.databases.end(),
                                 [c](const std::unique_ptr<Database>& d) { return d->holds(c); });
    if (at == g_state.databases.end()) {
        close();
        return;
    }
    if ((*at)->connections.size() > 1) {
        std::erase((*at)->connections, c);
        close();
        return;
    }
    // The last connection: SQLite's own locks in place, the guard's let go, SQLite closed, and only then
    // the guard's descriptors.
    std::unique_ptr<Database> gone = std::move(*at);
    g_state.databases.erase(at);
    gone->connections.clear();
    restoreLocks(*gone);
    releaseOwnLocks(*gone);
    close();
    closeFiles(*gone);
}

void checkDatabaseFiles(WatchedConnection* c, const QString& path)
{
    if (g_state.reopening) return;
    tellAll(checkFiles([&](const QString& p, const std::vector<WatchedConnection*>& connections) {
        return c ? std::find(connections.begin(), connections.end(), c) != connections.end() : p == path;
    }));
}

bool keepDatabaseLock()
{
    if (g_state.reopening) return false;
    const QStringList messages = checkFiles([](const QString&, const std::vector<WatchedConnection*>&) { return true; });
    bool taken = false;
    for (const std::unique_ptr<Database>& d : g_state.databases) taken = restoreLocks(*d) || taken;
    if (taken) ++g_state.retakes;
    tellAll(messages);
    return taken;
}

int databaseLockRetakes() { return g_state.retakes; }

int databaseReopens() { return g_state.reopens; }

} // namespace platform
