#include "review/TestDeletion.h"

#include "records/Command.h"
#include "records/DbError.h"
#include "records/Transaction.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"

#include <QSqlQuery>
#include <vector>

namespace review {

int DeleteTest(clsConnection& connection, clsTEST_INFO& info, clsTEST_RESULT& result, const QString& name)
{
    // Both record objects work on the connection that holds the transaction.
    result.Test_Id = 0;
    info.ConnectX(connection);
    result.ConnectX(connection);

    return inTransaction(connection, [&] {
        std::vector<qint32> ids;
        {
            Command find(connection.ADOConnection(), QStringLiteral("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = ?"),
                         {{QStringLiteral("pTEST_NAME"), adVarChar, 100, name}});
            QSqlQuery& q = find.executeQuery();
            while (q.next()) ids.push_back(static_cast<qint32>(q.value(0).toLongLong()));
            find.finish();
        }
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
