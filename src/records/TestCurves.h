#pragma once
// The time and length change of stored tests' points, for the charts that overlay several long tests.
//
// A test's points are kept after they are read and given again without reading only while they provably
// are what a new read would give (DbSnapshot). A read takes the two columns alone; the shared result record
// is only looked at, never loaded.
//
//   TestCurves curves;
//   const TestCurves::Curve& c = curves.curve(*Module1::TestResult, *Module1::DbConnection, id);
//   curves.keepOnly({ids drawn});     // forget the others
#include "records/DbSnapshot.h"
#include "records/clsTEST_RESULT.h"

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <vector>

class clsConnection;
class DbHandle;

class TestCurves {
public:
    // The points in load order: the two columns read on their own, or the rows of a record's load, shared.
    struct Curve {
        std::vector<double> time, heightChange;
        std::shared_ptr<const clsTEST_RESULT::Rows> rows;
        std::size_t size() const { return rows ? rows->size() : time.size(); }
        double timeAt(std::size_t i) const { return rows ? (*rows)[i].time : time[i]; }
        double heightChangeAt(std::size_t i) const { return rows ? (*rows)[i].heightChange : heightChange[i]; }
    };
    // The points of test testId as the result record's load gives them (RESULT_TIME order, ties in storing
    // order, a null as 0): the kept ones while provably current; else the rows that result holds when it
    // holds the test as a load would read it now (shared, not copied); else the two columns read alone. result
    // is never changed.
    // loaded() tells afterwards whether rows were read. Throws DbError as ConnectX does.
    const Curve& curve(const clsTEST_RESULT& result, const clsConnection& connection, qint32 testId);
    bool loaded() const { return loaded_; }
    // Forgets every test not in ids.
    void keepOnly(const std::vector<qint32>& ids);
    void clear() { entries_.clear(); }
    // Bytes held for the kept points (rows shared with a record not counted).
    std::size_t bytes() const;

    // The statement of a read of the two columns alone.
    static const char* const ColumnsSql;

private:
    struct Entry {
        qint32 testId;
        DbSnapshot state;
        Curve curve;
    };
    std::vector<Entry> entries_;
    bool loaded_ = false;
};
