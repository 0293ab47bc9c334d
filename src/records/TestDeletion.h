#pragma once
// Deleting stored test headers by name: every header of that name goes, with the points of every one of
// them where the caller asks so, in one transaction, after a check on exactly the rows that go.
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class clsConnection;
class clsTEST_INFO;
class clsTEST_RESULT;

// The ids of every TEST_INFO row named name, as the database compares names (the rows a delete by name
// removes).
std::vector<qint32> TestIdsNamed(clsConnection& connection, const QString& name);

// Binds info (and points, when given) to connection, then in one transaction reads the ids of every
// TEST_INFO row named name; when refuse is given and returns true for them, nothing is changed and nullopt
// is returned. Otherwise those rows go (info.Delete), with points every TEST_RESULT row of each of their
// ids, then also() runs in the same transaction (a replacement's new header). A failure rolls everything
// back and is thrown as DbError once the transaction has ended. Returns the ids removed, once committed.
// Leaves info.TEST_NAME = name and points->Test_Id at the last id removed.
std::optional<std::vector<qint32>> DeleteTestsNamed(clsConnection& connection, clsTEST_INFO& info,
                                                    clsTEST_RESULT* points, const QString& name,
                                                    const std::function<bool(const std::vector<qint32>&)>& refuse,
                                                    const std::function<void()>& also = {});
