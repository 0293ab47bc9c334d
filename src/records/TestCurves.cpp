#include "records/TestCurves.h"

#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"

#include <algorithm>

const TestCurves::Curve& TestCurves::curve(clsTEST_RESULT& result, const clsConnection& connection, qint32 testId,
                                           bool reuse)
{
    loaded_ = false;
    // The state is taken before a load: whatever is committed while it reads makes the kept points stale.
    const DbSnapshot now = DbSnapshot::of(connection);
    auto it = std::find_if(entries_.begin(), entries_.end(), [testId](const Entry& e) { return e.testId == testId; });
    if (reuse && it != entries_.end() && it->state.sameAs(now)) return it->curve;
    if (it != entries_.end()) entries_.erase(it);

    result.Test_Id = testId;
    loaded_ = result.LoadIfStale(connection);
    Entry e{testId, now, {}};
    const auto& rows = result.rows();
    e.curve.time.reserve(rows.size());
    e.curve.heightChange.reserve(rows.size());
    for (const clsTEST_RESULT::Row& r : rows) {
        e.curve.time.push_back(r.time);
        e.curve.heightChange.push_back(r.heightChange);
    }
    // Nothing may have been written between the state and the end of the load (the load itself writes nothing).
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
