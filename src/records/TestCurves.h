#pragma once
// The time and length change of stored tests' points, for the charts that overlay several long tests.
//
// A test's points are read through the shared result record (ConnectX) and their two columns kept. They
// are given again without reading only while they provably are what a new load would read (DbSnapshot).
//
//   TestCurves curves;
//   const TestCurves::Curve& c = curves.curve(*Module1::TestResult, *Module1::DbConnection, id);
//   curves.keepOnly({ids drawn});     // forget the others
#include "records/DbSnapshot.h"

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <vector>

class clsConnection;
class clsTEST_RESULT;
class DbHandle;

class TestCurves {
public:
    struct Curve {
        std::vector<double> time, heightChange;   // the points in load order
    };

    // The points of test testId. When they have to be read (or reuse is false), result is loaded (Test_Id =
    // testId, ConnectX) and loaded() is true afterwards; otherwise result is untouched and loaded() false.
    // A result that already holds test testId as a load would read it now is taken as loaded, unread.
    // Throws DbError as ConnectX does.
    const Curve& curve(clsTEST_RESULT& result, const clsConnection& connection, qint32 testId, bool reuse = true);
    bool loaded() const { return loaded_; }
    // Forgets every test not in ids.
    void keepOnly(const std::vector<qint32>& ids);
    void clear() { entries_.clear(); }
    // Bytes held for the kept points.
    std::size_t bytes() const;

private:
    struct Entry {
        qint32 testId;
        DbSnapshot state;
        Curve curve;
    };
    std::vector<Entry> entries_;
    bool loaded_ = false;
};
