#include "TestSupport.h"

#include "records/clsConnection.h"

#include <QFile>
#include <QTest>
#include <sqlite3.h>

namespace testsupport {

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

} // namespace testsupport
