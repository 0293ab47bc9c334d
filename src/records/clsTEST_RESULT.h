#pragma once
// Logged points: table TEST_RESULT, loaded one test at a time in time order.
#include "records/BulkAllocator.h"
#include "records/Command.h"
#include "records/DbSnapshot.h"
#include "records/RecordCursor.h"

#include <cstdint>
#include <memory>
#include <vector>

class clsTEST_RESULT : public RecordCursor {
public:
    clsTEST_RESULT();
    ~clsTEST_RESULT() override;

    // The row count of the last load.
    qint32 TotalPoints() const { return count_; }
    // Binds and loads every point of the test whose id is in Test_Id, ascending RESULT_TIME.
    void ConnectX(const clsConnection& connection);
    // ConnectX unless the cache already holds test Test_Id exactly as a load through connection would read
    // it now (nothing written or committed since its load, no transaction then or now). True when it loaded.
    bool LoadIfStale(const clsConnection& connection);
    // True when the cache holds test testId exactly as a load through connection would read it now.
    bool Holds(const clsConnection& connection, qint32 testId) const;
    // Lets go of the cached rows (holders of sharedRows keep theirs); the cache is empty until the next load.
    void ReleaseRows();
    void MoveFirst() { moveFirst(); }
    void MoveNext() { moveNext(); }
    void SetDefaults();
    // Appends one point from the properties. The cache is untouched: the point shows after ConnectX.
    void AddNew();
    // Deletes every point of Test_Id.
    void Delete();
    // True when the database holds the header of test Test_Id under testName (names compare as the
    // database compares them): a point is added only then, so that none is stored without its test, also
    // after the connection was opened again onto another file at the path. One primary-key lookup.
    bool HeaderStored(const QString& testName);
    // Element 0 the point id, then Test_Id, STEP_NO and the six measurements.
    QVariantList All() const;

    qint32 RESULT_ID = 0;
    qint32 Test_Id = 0;
    qint32 STEP_NO = 0;
    double RESULT_TIME = 0;
    double RESULT_TEMP = 0;
    double RESULT_BATHTEMP = 0;
    double RESULT_PRESS = 0;
    double RESULT_HEIGHT_CHANGE = 0;
    double RESULT_VOLT = 0;

    // One cached point; a null column reads as 0. Its TEST_ID is the load's.
    struct Row {
        qint32 id, step;
        double time, temp, bathTemp, press, heightChange, volt;
    };
    // Held in bulk memory: a long test's rows fill tens of megabytes at once.
    using Rows = std::vector<Row, bulk::Allocator<Row>>;
    // The cached points of the last load, for readers that walk them without the cursor.
    const Rows& rows() const { return *rows_; }
    // The same points, shared: a load never changes them, it replaces them, so a holder (the result grid)
    // keeps them as they were loaded without a copy.
    std::shared_ptr<const Rows> sharedRows() const { return rows_; }

    static const QString LoadSql;
    static const QString DeleteSql;
    static const QString InsertSql;
    static const QString HeaderSql;

protected:
    void loadRow(int row) override;

private:
    void loadRows();

    std::unique_ptr<Command> delete_, insert_, header_;
    std::shared_ptr<Rows> rows_ = std::make_shared<Rows>();
    qint32 rowsTestId_ = 0;   // the test whose points rows_ holds
    // What the connection had seen when rows_ were read, and of which test; invalid when not provably current.
    DbSnapshot loadedState_;
    qint32 loadedTestId_ = 0;
};
