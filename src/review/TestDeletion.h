#pragma once
// Deleting a stored test: every header of that name and the points of every one of them go together.
#include <QString>

#include <functional>
#include <vector>

class clsConnection;
class clsTEST_INFO;
class clsTEST_RESULT;

namespace review {

// The ids of every TEST_INFO row named name, as the database compares names (the rows DeleteTest removes).
std::vector<qint32> TestIdsNamed(clsConnection& connection, const QString& name);

// Binds info and result to connection, then in one transaction removes every TEST_INFO row named name
// (names compare as the database compares them) and every TEST_RESULT row of each of their ids. When
// refuse is given and returns true for those ids, nothing is removed and -1 is returned. A failure rolls
// everything back and is thrown as DbError once the transaction has ended. Returns the number of headers
// removed. Leaves info.TEST_NAME = name and result.Test_Id at the last id removed.
int DeleteTest(clsConnection& connection, clsTEST_INFO& info, clsTEST_RESULT& result, const QString& name,
               const std::function<bool(const std::vector<qint32>&)>& refuse = {});

} // namespace review
