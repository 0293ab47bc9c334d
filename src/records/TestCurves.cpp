#include "records/TestCurves.h"

#include "records/SqliteHandle.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// The single integer of a pragma; false when it cannot be read.
bool pragmaValue(sqlite3* db, const char* sql, std::int64_t& value)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const bool ok = sqlite3_step(stmt) == SQLITE_ROW;
    if (ok) value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return ok;
}

} // namespace

bool TestCurves::State::sameAs(const State& o) const
{
    return valid && o.valid && handleAddress == o.handleAddress && !handle.expired() && !o.handle.expired()
           && handle.lock() == o.handle.lock() && totalChanges == o.totalChanges && dataVersion == o.dataVersion
           && schemaVersion == o.schemaVersion;
}

TestCurves::State TestCurves::stateOf(const clsConnection& connection)
{
    State s;
    const std::shared_ptr<DbHandle> handle = connection.ADOConnection();
    if (!handle || !handle->isOpen()) return s;
    sqlite3* db = sqliteHandle(handle->db());
    // Inside a transaction the rows read may still be rolled back: nothing is kept or reused then.
    if (!db || !sqlite3_get_autocommit(db)) return s;
    s.handle = handle;
    s.handleAddress = handle.get();
    s.totalChanges = sqlite3_total_changes64(db);
    s.valid = pragmaValue(db, "PRAGMA data_version", s.dataVersion)
              && pragmaValue(db, "PRAGMA schema_version", s.schemaVersion);
    return s;
}

const TestCurves::Curve& TestCurves::curve(clsTEST_RESULT& result, const clsConnection& connection, qint32 testId,
                                           bool reuse)
{
    loaded_ = false;
    // The state is taken before a load: whatever is committed while it reads makes the kept points stale.
    const State now = stateOf(connection);
    auto it = std::find_if(entries_.begin(), entries_.end(), [testId](const Entry& e) { return e.testId == testId; });
    if (reuse && it != entries_.end() && it->state.sameAs(now)) return it->curve;
    if (it != entries_.end()) entries_.erase(it);

    result.Test_Id = testId;
    result.ConnectX(connection);
    loaded_ = true;
    Entry e{testId, now, {}};
    const auto& rows = result.rows();
    e.curve.time.reserve(rows.size());
    e.curve.heightChange.reserve(rows.size());
    for (const clsTEST_RESULT::Row& r : rows) {
        e.curve.time.push_back(r.time);
        e.curve.heightChange.push_back(r.heightChange);
    }
    // Nothing may have been written between the state and the end of the load (the load itself writes nothing).
    e.state = now.valid && stateOf(connection).sameAs(now) ? now : State{};
    entries_.push_back(std::move(e));
    return entries_.back().curve;
}

void TestCurves::keepOnly(const std::vector<qint32>& ids)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return std::find(ids.begin(), ids.end(), e.testId) == ids.end(); }),
                   entries_.end());
}

std::size_t TestCurves::bytes() const
{
    std::size_t b = 0;
    for (const Entry& e : entries_) b += (e.curve.time.capacity() + e.curve.heightChange.capacity()) * sizeof(double);
    return b;
}
