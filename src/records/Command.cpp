#include "records/Command.h"

#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/format.h"

#include <QDateTime>
#include <QSqlError>

namespace {

DbError fromQuery(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    bool ok = false;
    int number = e.nativeErrorCode().toInt(&ok);
    if (!ok) number = -1;
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return DbError(number, text);
}

QVariant toBound(const Parameter& p)
{
    if (p.value.isNull() || !p.value.isValid()) return QVariant();
    switch (p.type) {
    case adVarChar: {
        const QString s = p.value.toString();
        // The original engine refused a text longer than its parameter; so does this layer.
        if (p.size > 0 && s.size() > p.size)
            throw DbError(3163, QStringLiteral("The field is too small to accept the amount of data you "
                                               "attempted to add.  Try inserting or pasting less data. (%1)")
                                    .arg(p.name));
        return s;
    }
    case adInteger: {
        bool ok = false;
        const double d = p.value.toDouble(&ok);
        const auto v = ok ? Format::toInt32(d) : std::nullopt;
        if (!v) throw DbError(6, QStringLiteral("Overflow (%1)").arg(p.name));
        return QVariant(static_cast<qint32>(*v));
    }
    case adDouble: {
        bool ok = false;
        const double d = p.value.toDouble(&ok);
        if (!ok) throw DbError(13, QStringLiteral("Type mismatch (%1)").arg(p.name));
        return d;
    }
    case adDBTimeStamp: {
        QDateTime t = p.value.toDateTime();
        if (!t.isValid() && p.value.typeId() == QMetaType::QString) {
            const auto parsed = Format::strictDate(p.value.toString());
            if (parsed) t = *parsed;
        }
        if (!t.isValid()) throw DbError(13, QStringLiteral("Type mismatch (%1)").arg(p.name));
        return Format::storedDate(t);
    }
    default: break;
    }
    return p.value;
}

DbError notUsable()
{
    return DbError(3709, QStringLiteral("The connection cannot be used to perform this operation. "
                                        "It is either closed or invalid in this context."));
}

} // namespace

void requireOpen(const std::shared_ptr<DbHandle>& handle)
{
    if (!handle || !handle->isOpen()) throw notUsable();
}

clsConnection& requireConnection(const std::shared_ptr<clsConnection>& connection)
{
    if (!connection) throw notUsable();
    return *connection;
}

Command::Command(std::shared_ptr<DbHandle> handle, const QString& text, std::vector<Parameter> parameters)
    : handle_(std::move(handle)), text_(text), params_(std::move(parameters))
{
    requireOpen(handle_);
    prepare();
}

void Command::prepare()
{
    query_ = QSqlQuery(handle_->db());
    query_.setForwardOnly(true);
    generation_ = handle_->generation();
    if (!query_.prepare(text_)) {
        generation_ = 0;
        throw fromQuery(query_);
    }
}

void Command::ready()
{
    if (handle_) handle_->checkFiles();
    requireOpen(handle_);
    if (generation_ != handle_->generation()) prepare();
}

Command::~Command() { query_.finish(); }

void Command::bindAll()
{
    for (std::size_t i = 0; i < params_.size(); ++i) query_.bindValue(static_cast<int>(i), toBound(params_[i]));
}

int Command::execute()
{
    ready();
    bindAll();
    const bool ok = query_.exec();
    const int affected = ok ? query_.numRowsAffected() : 0;
    query_.finish();
    if (!ok) throw fromQuery(query_);
    return affected;
}

QSqlQuery& Command::executeQuery()
{
    ready();
    bindAll();
    if (!query_.exec()) {
        DbError e = fromQuery(query_);
        query_.finish();
        throw e;
    }
    return query_;
}
