#pragma once
// Changes that belong together: run in one transaction of the connection, committed when they all
// succeed, rolled back when any fails. The failure is thrown again once the transaction has ended, so the
// caller reports it with the database as it was before.
#include "records/DbError.h"
#include "records/clsConnection.h"

#include <type_traits>

template <class Work>
auto inTransaction(clsConnection& connection, Work&& work) -> decltype(work())
{
    const int token = connection.BeginTrans();
    if (token == 0) throw DbError(3246, QStringLiteral("Another change of the database is still open."));
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            connection.CommitTrans(token);
        } else {
            auto result = work();
            connection.CommitTrans(token);
            return result;
        }
    } catch (const DbError&) {
        try {
            connection.RollBack(token);
        } catch (const DbError&) {
            // The transaction went with its connection; the first failure is the one to report.
        }
        throw;
    }
}
