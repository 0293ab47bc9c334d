#include "records/TestDeletion.h"

#include "records/Command.h"
#include "records/DbError.h"
#include "records/Transaction.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

#include <QSqlQuery>

std::vector<qint32> TestIdsNamed(clsConnection& connection, const QString& name)
{
    std::vector<qint32> ids;
    Command find(connection.ADOConnection(), QStringLiteral("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = ?"),
                 {{QStringLiteral("pTEST_NAME"), adVarChar, 100, name}});
    QSqlQuery& q = find.executeQuery();
    while (q.next()) ids.push_back(static_cast<qint32>(q.value(0).toLongLong()));
    find.finish();
    return ids;
}

std::optional<std::vector<qint32>> DeleteTestsNamed(clsConnection& connection, clsTEST_INFO& info,
                                                    clsTEST_RESULT* points, const QString& name,
                                                    const std::function<bool(const std::vector<qint32>&)>& refuse,
                                                    const std::function<void()>& also)
{
    // The record objects work on the connection that holds the transaction.
    info.ConnectX(connection);
    if (points) {
        points->Test_Id = 0;
        points->ConnectX(connection);
    }

    return inTransaction(connection, [&]() -> std::optional<std::vector<qint32>> {
        // The ids are read inside the transaction, so the check sees exactly the rows that go.
        std::vector<qint32> ids = TestIdsNamed(connection, name);
        if (refuse && refuse(ids)) return std::nullopt;
        info.TEST_NAME = name;
        info.Delete();
        if (points) {
            for (qint32 id : ids) {
                points->Test_Id = id;
                points->Delete();
            }
        }
        if (also) also();
        return ids;
    });
}
