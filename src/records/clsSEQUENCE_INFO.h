#pragma once
// Named test sequences: table SEQUENCE_INFO.
#include "records/Command.h"
#include "records/RecordCursor.h"

#include <QString>

class clsSEQUENCE_INFO : public RecordCursor {
public:
    clsSEQUENCE_INFO();
    ~clsSEQUENCE_INFO() override;

    // Binds and loads the list of sequence names, ascending.
    void ConnectX(const clsConnection& connection);
    // The row cache as a (column, row) table: one column of names after ConnectX.
    RowTable JustName() const { return cache_; }
    void SetDefaults();
    // Looks the sequence up by SEQUENCE_NAME. Only the id and the name are taken from the row:
    // TIME_BEFORE_READ and SAMPLE_INTERVAL keep their defaults 20 and 60.
    void GetSeqDetail();
    void AddNew();
    // Rewrites the row whose id is SEQUENCE_ID.
    void Update();
    // Removes every header row named SEQUENCE_NAME (its steps are removed separately).
    void Delete();
    QVariantList All() const;
    void SetAll(const QVariantList& values);

    double SEQUENCE_ID = 0;
    QString SEQUENCE_NAME;
    double TIME_BEFORE_READ = 20;
    // Read and written as a double, held as a whole number (halves to even).
    qint32 SAMPLE_INTERVAL = 60;
    void setSAMPLE_INTERVAL(double v);

    static const QString DetailSql;
    static const QString ListSql;
    static const QString DeleteSql;
    static const QString UpdateSql;
    static const QString InsertSql;

protected:
    void loadRow(int row) override;

private:
    std::unique_ptr<Command> detail_, delete_, update_, insert_;
};
