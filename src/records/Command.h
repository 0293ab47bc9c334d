#pragma once
// A prepared SQL statement with positional, typed parameters, as the record classes use it.
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <vector>

class DbHandle;
class clsConnection;

// Parameter type codes of the record classes.
enum ParamType : int {
    adInteger = 3,        // 32-bit integer
    adDouble = 5,         // double
    adDBTimeStamp = 135,  // date and time, stored as "yyyy-MM-dd HH:mm:ss"
    adVarChar = 200,      // text of at most `size` characters
};

struct Parameter {
    QString name;
    int type = adDouble;
    int size = 0;
    QVariant value;
};

class Command {
public:
    // Prepares text on the connection; throws DbError when the connection is not open or the text fails.
    Command(std::shared_ptr<DbHandle> handle, const QString& text, std::vector<Parameter> parameters);
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const QString& text() const { return text_; }
    std::vector<Parameter>& parameters() { return params_; }
    void setValue(std::size_t i, const QVariant& v) { params_.at(i).value = v; }

    // Executes a statement that returns no rows; returns the number of rows affected.
    int execute();
    // Executes a query; read its rows from query() to the end, then call finish().
    QSqlQuery& executeQuery();
    QSqlQuery& query() { return query_; }
    void finish() { query_.finish(); }

private:
    void prepare();
    // Before each run: the connection's files checked, and the text prepared again when the connection
    // was opened again since (its earlier statement is gone then).
    void ready();
    void bindAll();

    std::shared_ptr<DbHandle> handle_;   // declared first: outlives the query
    QString text_;
    std::vector<Parameter> params_;
    QSqlQuery query_;
    std::uint64_t generation_ = 0;
};

// Throws DbError 3709 unless handle is open.
void requireOpen(const std::shared_ptr<DbHandle>& handle);
// The connection itself; throws DbError 3709 when there is none.
clsConnection& requireConnection(const std::shared_ptr<clsConnection>& connection);
