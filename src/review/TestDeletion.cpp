#include "review/TestDeletion.h"

#include "records/Command.h"
#include "records/DbError.h"
#include "records/Transaction.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

#include <QSqlQuery>

namespace review {

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

int DeleteTest(clsConnection& connection, clsTEST_INFO& info, clsTEST_RESULT& result, const QString& name,
               const std::function<bool(const std::vector<qint32>&)>& refuse)
{
    // Both record objects work on the connection that holds the transaction.
    result.Test_Id = 0;
    info.ConnectX(connection);
    result.ConnectX(connection);

    return inTransaction(connection, [&] {
        // The ids are read inside the transaction, so the check sees exactly the rows that go.
        const std::vector<qint32> ids = TestIdsNamed(connection, name);
        if (refuse && refuse(ids)) return -1;
        info.TEST_NAME = name;
        info.Delete();
        for (qint32 id : ids) {
            result.Test_Id = id;
            result.Delete();
        }
        return static_cast<int>(ids.size());
    });
}

} // namespace review
