#include "platform/DatabaseLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

struct LockRange {
    qint64 start = 0;
    qint64 end = -1;   // -1: to the end of the file
};

// The read locks (with allTypes, every lock) /proc/locks lists for the process pid (0: this one) on the file
// at path; ok false when the file is gone.
std::vector<LockRange> readLocks(const QString& path, bool* any = nullptr, bool* ok = nullptr, bool allTypes = false,
                                 qint64 pid = 0)
{
    std::vector<LockRange> ranges;
    if (any) *any = false;
    if (ok) *ok = false;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return ranges;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return ranges;
    if (ok) *ok = true;
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
        if (at < 1 || at + 3 >= f.size() || !f[at + 1].endsWith(inode)) continue;
        if (!f[at + 1].startsWith(device, Qt::CaseInsensitive)) continue;
        if (any) *any = true;
        if (!allTypes && f[at - 1] != QLatin1String("READ")) continue;
        LockRange r;
        r.start = f[at + 2].toLongLong();
        r.end = f[at + 3] == QLatin1String("EOF") ? -1 : f[at + 3].toLongLong();
        ranges.push_back(r);
    }
    return ranges;
}

// One watched file: the read locks to keep and the descriptor that re-takes them (open until the next
// database is watched).
struct Watched {
    QString path;
    std::vector<LockRange> ranges;
    int fd = -1;
};

struct State {
    QString path;
    int watchers = 0;
    std::vector<Watched> files;
    QPointer<QTimer> timer;
    int retakes = 0;
} g_state;

void release()
{
    for (Watched& w : g_state.files)
        if (w.fd >= 0) ::close(w.fd);
    g_state.files.clear();
}

// Takes the missing locks of w again; true when one was taken.
bool retake(Watched& w)
{
    if (w.ranges.empty()) return false;
    bool ok = false;
    const std::vector<LockRange> held = readLocks(w.path, nullptr, &ok, true);
    if (!ok) return false;
    bool taken = false;
    for (const LockRange& r : w.ranges) {
        // A range this process holds in any way, even in part, is left alone: setting a read lock over a
        // write lock SQLite holds would turn it into a read lock.
        bool present = false;
        for (const LockRange& h : held)
            present = present || ((h.end < 0 || h.end >= r.start) && (r.end < 0 || r.end >= h.start));
        if (present) continue;
        if (w.fd < 0) w.fd = ::open(QFile::encodeName(w.path).constData(), O_RDWR | O_CLOEXEC);
        if (w.fd < 0) return taken;
        struct flock fl {};
        fl.l_type = F_RDLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = r.start;
        fl.l_len = r.end < 0 ? 0 : r.end - r.start + 1;
        if (::fcntl(w.fd, F_SETLK, &fl) == 0) taken = true;
    }
    return taken;
}

} // namespace

bool processHoldsLock(const QString& path, qint64 pid)
{
    bool any = false;
    readLocks(path, &any, nullptr, false, pid);
    return any;
}

void watchDatabaseLock(const QString& path)
{
    if (g_state.watchers > 0 && g_state.path == path) {
        ++g_state.watchers;
        return;
    }
    release();
    g_state.path = path;
    g_state.watchers = 1;
    for (const QString& file : {path, path + QStringLiteral("-shm")}) {
        Watched w;
        w.path = file;
        w.ranges = readLocks(file);
        g_state.files.push_back(std::move(w));
    }
    if (!g_state.timer && QCoreApplication::instance()) {
        g_state.timer = new QTimer(QCoreApplication::instance());
        QObject::connect(g_state.timer.data(), &QTimer::timeout, [] { keepDatabaseLock(); });
        g_state.timer->start(1000);
    }
}

void unwatchDatabaseLock(const QString& path)
{
    if (g_state.path != path || g_state.watchers == 0) return;
    if (--g_state.watchers == 0) release();
}

bool keepDatabaseLock()
{
    bool taken = false;
    for (Watched& w : g_state.files) taken = retake(w) || taken;
    if (taken) ++g_state.retakes;
    return taken;
}

int databaseLockRetakes() { return g_state.retakes; }

} // namespace platform
