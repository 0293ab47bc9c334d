#include "records/SqliteHandle.h"

#include <QSqlDriver>
#include <QVariant>
#include <cstring>

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    if (!db.driver()) return nullptr;
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || std::strcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}
