#include "records/clsConnection.h"

#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/Module1.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace {

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
    {
        QSqlDatabase d = QSqlDatabase::database(name_, false);
        if (d.isOpen()) d.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

void DbHandle::open(const QString& path)
{
    QSqlDatabase d = db();
    // The URI form with mode=rw: a missing file fails instead of being created.
    const QByteArray encoded = QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/");
    d.setDatabaseName(QStringLiteral("file:%1?mode=rw").arg(QString::fromUtf8(encoded)));
    d.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    if (!d.open()) {
        DbError err = toDbError(d.lastError());
        if (err.number < 0) err.number = 14;
        throw err;
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
    open_ = true;
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

