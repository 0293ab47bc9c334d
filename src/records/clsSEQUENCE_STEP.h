#pragma once
// Steps of the test sequences: table SEQUENCE_STEP, loaded one sequence at a time by step number.
#include "records/Command.h"
#include "records/RecordCursor.h"

class clsSEQUENCE_STEP : public RecordCursor {
public:
    clsSEQUENCE_STEP();
    ~clsSEQUENCE_STEP() override;

    // Binds and loads every step of the sequence whose id is in SequenceId, ascending STEP_NO.
    void ConnectX(const clsConnection& connection);
    void MoveFirst() { moveFirst(); }
    void MoveNext() { moveNext(); }
    void SetDefaults();
    // Inserts one step from the properties (SEQUENCE_STEP_ID is not sent).
    void AddNew();
    // Deletes every step of SequenceId.
    void Delete();
    QVariantList All() const;
    int Count() const { return count_; }

    double SEQUENCE_STEP_ID = 0;
    double SequenceId = 0;
    double STEPNO = 0;
    double STEP_ELAPSE_TIME = 0;
    double STEP_TEMP = 0;
    double RECORD_RATE = 1;
    double STEP_PRESS = 0;

    static const QString LoadSql;
    static const QString DeleteSql;
    static const QString InsertSql;

protected:
    void loadRow(int row) override;

private:
    std::unique_ptr<Command> delete_, insert_;
};
