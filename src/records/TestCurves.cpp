#include "records/TestCurves.h"

#include "records/Command.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"

#include <sqlite3.h>

#include <algorithm>

// The record's load orders by RESULT_TIME through an index on (TEST_ID, RESULT_TIME, ...), whose ties follow
// the row id: the same order, said outright. The index on (TEST_ID, RESULT_TIME, RESULT_ID,
// RESULT_HEIGHT_CHANGE) answers it alone, without a table page per point.
const char* const TestCurves::ColumnsSql = "SELECT RESULT_TIME, RESULT_HEIGHT_CHANGE FROM TEST_RESULT "
                                           "WHERE TEST_ID = ? ORDER BY RESULT_TIME, RESULT_ID";

namespace {
// A long curve keeps room for a few percent more points, so that a read after more points were logged
// fills the same memory again; a short one takes just what it holds.
void keepRoom(std::vector<double>& v)
{
    constexpr std::size_t Long = std::size_t(1) << 16;
    if (v.size() < Long) {
        v.shrink_to_fit();
        return;
    }
    if (v.capacity() <= v.size() + v.size() / 8) return;
    std::vector<double> kept;
    kept.reserve(v.size() + v.size() / 32);
    kept.assign(v.begin(), v.end());
    v.swap(kept);
}
} // namespace

const TestCurves::Curve& TestCurves::curve(const clsTEST_RESULT& result, const clsConnection& connection,
                                           qint32 testId)
{
    loaded_ = false;
    // The state is taken before a read: whatever is committed while it reads makes the kept points stale.
    const DbSnapshot now = DbSnapshot::of(connection);
    auto it = std::find_if(entries_.begin(), entries_.end(), [testId](const Entry& e) { return e.testId == testId; });
    if (it != entries_.end() && it->state.sameAs(now)) return it->curve;

    Entry e{testId, now, {}};
    Curve& c = e.curve;
    if (it != entries_.end()) {
        // A test read again (points were logged since): its points go into the memory of the last read,
        // which is already there, not into fresh memory grown step by step.
        c.time = std::move(it->curve.time);
        c.heightChange = std::move(it->curve.heightChange);
        c.time.clear();
        c.heightChange.clear();
        entries_.erase(it);
    }
    if (result.Holds(connection, testId)) {
        c.time = {};
        c.heightChange = {};
        c.rows = result.sharedRows();
    } else {
        const std::shared_ptr<DbHandle> handle = connection.ADOConnection();
        requireOpen(handle);
        forEachRow(handle->db(), QByteArray(ColumnsSql), testId, [&c](sqlite3_stmt* stmt) {
            c.time.push_back(sqlite3_column_double(stmt, 0));
            c.heightChange.push_back(sqlite3_column_double(stmt, 1));
        });
        keepRoom(c.time);
        keepRoom(c.heightChange);
        loaded_ = true;
    }
    // Nothing may have been written between the state and the end of the read (the read itself writes nothing).
    e.state = now.valid && DbSnapshot::of(connection).sameAs(now) ? now : DbSnapshot{};
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
