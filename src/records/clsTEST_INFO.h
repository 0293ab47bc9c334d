#pragma once
// Test headers: table TEST_INFO, found by test name.
#include "records/Command.h"
#include "records/RecordCursor.h"

#include <QDateTime>
#include <QString>

class clsTEST_INFO : public RecordCursor {
public:
    clsTEST_INFO();
    ~clsTEST_INFO() override;

    // Binds to the connection and loads the list of all tests, newest first: TEST_NAME, TEST_DATE,
    // SAMPLE_description, Fluid_Info.
    void ConnectX(const clsConnection& connection);
    // True when the last GetTestDetail found no row.
    bool BOF() const { return bof_; }
    // The row cache as a (column, row) table: the test list after ConnectX.
    RowTable UsedName() const { return cache_; }
    void SetDefaults();
    // Looks the test up by TEST_NAME; loads the first row found, or the defaults.
    void GetTestDetail();
    // Looks the test up by Test_Id, as GetTestDetail does by name: its row, or the defaults (Test_Id 0).
    void GetTestDetailById();
    void AddNew();
    // Removes every header row named TEST_NAME (points are removed separately by id).
    void Delete();
    QVariantList All() const;
    void SetAll(const QVariantList& values);

    qint32 Test_Id = 0;
    QString TEST_NAME;
    QDateTime TEST_Date;
    QString RESEARCHER_NAME;
    double SAMPLE_WEIGHT = 0;
    double SAMPLE_LENGTH = 0;
    double SAMPLE_HARDNESS = 0;
    QString SAMPLE_description;
    double SAMPLE_COMPACT_PRESS = 0;
    double SAMPLE_COMPACT_TIME = 0;
    QString SAMPLE_COMPACT_DATE;
    QString FLUID_INFO;

    static const QString ListSql;
    static const QString DetailSql;
    static const QString DetailByIdSql;
    static const QString DeleteSql;
    static const QString InsertSql;

protected:
    void loadRow(int row) override;

private:
    // Runs a detail query: its first row into the properties, or the defaults.
    void loadDetail(Command& query);
    std::unique_ptr<Command> detail_, detailById_, delete_, insert_;
    bool bof_ = false;
};
