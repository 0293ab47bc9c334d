#include "records/clsSEQUENCE_STEP.h"

#include "records/clsConnection.h"

#include <QSqlQuery>

const QString clsSEQUENCE_STEP::LoadSql = QStringLiteral(
    "SELECT SEQUENCE_STEP_ID, SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS  FROM "
    "SEQUENCE_STEP Where SEQUENCE_ID = ?  ORDER BY STEP_NO ");
const QString clsSEQUENCE_STEP::DeleteSql = QStringLiteral("DELETE  FROM SEQUENCE_STEP  WHERE SEQUENCE_ID = ?");
const QString clsSEQUENCE_STEP::InsertSql = QStringLiteral(
    "INSERT INTO  SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE,STEP_PRESS) "
    "VALUES (?, ?, ?, ?, ?, ?)");

clsSEQUENCE_STEP::clsSEQUENCE_STEP() { SetDefaults(); }
clsSEQUENCE_STEP::~clsSEQUENCE_STEP() = default;

void clsSEQUENCE_STEP::SetDefaults()
{
    SEQUENCE_STEP_ID = SequenceId = STEPNO = STEP_ELAPSE_TIME = STEP_TEMP = STEP_PRESS = 0;
    RECORD_RATE = 1;
}

void clsSEQUENCE_STEP::ConnectX(const clsConnection& connection)
{
    bindTo(connection);
    Command load(handle_, LoadSql, {{"pSEQUENCE_ID", adDouble, 0, {}}});
    delete_ = std::make_unique<Command>(handle_, DeleteSql,
                                        std::vector<Parameter>{{"pSEQUENCE_ID", adDouble, 0, {}}});
    insert_ = std::make_unique<Command>(handle_, InsertSql,
                                        std::vector<Parameter>{{"pSequence_Id", adDouble, 0, {}},
                                                               {"pSTEP_NO", adDouble, 0, {}},
                                                               {"pSTEP_ELAPSE_TIME", adDouble, 0, {}},
                                                               {"pSTEP_TEMP", adDouble, 0, {}},
                                                               {"pRECORD_RATE", adDouble, 0, {}},
                                                               {"pSTEP_PRESS", adDouble, 0, {}}});
    load.setValue(0, SequenceId);
    fillCache(load.executeQuery(), 7);
}

void clsSEQUENCE_STEP::loadRow(int row)
{
    SetDefaults();
    double* fields[] = {&SEQUENCE_STEP_ID, &SequenceId, &STEPNO, &STEP_ELAPSE_TIME,
                        &STEP_TEMP,        &RECORD_RATE, &STEP_PRESS};
    for (int c = 0; c < 7; ++c)
        if (!cache_.isNull(c, row)) *fields[c] = cache_.value(c, row).toDouble();
}

void clsSEQUENCE_STEP::AddNew()
{
    if (!insert_) requireOpen(nullptr);
    const double values[] = {SequenceId, STEPNO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS};
    for (std::size_t i = 0; i < std::size(values); ++i) insert_->setValue(i, values[i]);
    insert_->execute();
    Refresh();
}

void clsSEQUENCE_STEP::Delete()
{
    if (!delete_) requireOpen(nullptr);
    delete_->setValue(0, SequenceId);
    delete_->execute();
    Refresh();
}

QVariantList clsSEQUENCE_STEP::All() const
{
    return {SEQUENCE_STEP_ID, SequenceId, STEPNO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS,
            QVariant(),       QVariant()};
}
