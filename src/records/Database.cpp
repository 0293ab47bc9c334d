// Creating a new database file from the built-in schema.
#include "records/clsConnection.h"

#include "records/schema_text.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

QString databaseSchema() { return QString::fromUtf8(kDatabaseSchema); }

QString createDatabase(const QString& folder)
{
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("Torvan.accdb"));
    if (QFileInfo::exists(path)) return QStringLiteral("%1 exists already; it is left as it is.").arg(path);
    if (!QDir().mkpath(folder)) return QStringLiteral("Cannot create the folder %1.").arg(folder);
    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        char* message = nullptr;
        rc = sqlite3_exec(db, kDatabaseSchema, nullptr, nullptr, &message);
        if (rc != SQLITE_OK) error = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
    } else {
        error = QString::fromUtf8(sqlite3_errstr(rc));
    }
    sqlite3_close(db);
    if (!error.isEmpty()) {
        QFile::remove(path);
        return QStringLiteral("Cannot create %1: %2").arg(path, error);
    }
    return {};
}
