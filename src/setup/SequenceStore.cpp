#include "setup/SequenceStore.h"

#include "records/Command.h"
#include "records/RecordCursor.h"
#include "records/Transaction.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"

#include <QSqlQuery>

namespace setup {

namespace {

// Rewrites the steps of id: every stored step goes, then each given step is added in order.
void writeSteps(clsSEQUENCE_STEP& step, const clsConnection& connection, double id, const std::vector<StoredStep>& steps)
{
    step.SequenceId = id;
    step.ConnectX(connection);
    step.Delete();
    for (const StoredStep& s : steps) {
        step.SequenceId = id;
        step.SEQUENCE_STEP_ID = 0;
        step.STEPNO = s.stepNo;
        step.STEP_ELAPSE_TIME = s.elapse;
        step.STEP_TEMP = s.temp;
        step.RECORD_RATE = s.rate;
        step.AddNew();
    }
}

} // namespace

QStringList SequenceNames(clsSEQUENCE_INFO& info, const clsConnection& connection)
{
    info.ConnectX(connection);
    const RowTable names = info.JustName();
    QStringList out;
    for (int r = 0; r < names.rowCount(); ++r) out << RecordValue::text(names.value(0, r));
    return out;
}

int CheckDuplicate(clsSEQUENCE_INFO& info, const clsConnection& connection, const QString& name)
{
    info.ConnectX(connection);
    if (info.EOF_()) return 0;
    const RowTable names = info.JustName();
    const QString wanted = name.toUpper();
    for (int r = 0; r < names.rowCount(); ++r)
        if (RecordValue::text(names.value(0, r)).toUpper() == wanted) return 1;
    return 0;
}

QVariantList ReadSequence(clsSEQUENCE_INFO& info, const QString& name)
{
    info.SEQUENCE_NAME = name;
    info.GetSeqDetail();
    return info.All();
}

std::vector<StoredStep> ReadSteps(clsSEQUENCE_STEP& step, const clsConnection& connection, double id)
{
    step.SequenceId = id;
    step.ConnectX(connection);
    std::vector<StoredStep> out;
    if (step.EOF_()) return out;
    step.MoveFirst();
    while (!step.EOF_()) {
        out.push_back({step.STEPNO, step.STEP_ELAPSE_TIME, step.STEP_TEMP, step.RECORD_RATE});
        step.MoveNext();
    }
    return out;
}

void SaveSequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step,
                  const QVariantList& fields, const std::vector<StoredStep>& steps)
{
    inTransaction(connection, [&] {
        info.SetAll(fields);
        info.Update();
        writeSteps(step, connection, info.SEQUENCE_ID, steps);
    });
}

QVariantList CopySequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step,
                          const QString& name, const std::vector<StoredStep>& steps)
{
    return inTransaction(connection, [&] {
        info.SetDefaults();
        info.SEQUENCE_NAME = name;
        info.AddNew();
        const QVariantList fields = ReadSequence(info, name);
        writeSteps(step, connection, info.SEQUENCE_ID, steps);
        return fields;
    });
}

int DeleteSequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step, const QString& name)
{
    return inTransaction(connection, [&] {
        std::vector<double> ids;
        {
            Command find(connection.ADOConnection(),
                         QStringLiteral("SELECT SEQUENCE_ID FROM SEQUENCE_INFO WHERE SEQUENCE_NAME = ?"),
                         {{QStringLiteral("pSEQUENCE_NAME"), adVarChar, 50, name}});
            QSqlQuery& q = find.executeQuery();
            while (q.next()) ids.push_back(q.value(0).toDouble());
            find.finish();
        }
        info.SEQUENCE_NAME = name;
        info.Delete();
        for (double id : ids) {
            step.SequenceId = id;
            step.ConnectX(connection);
            step.Delete();
        }
        return int(ids.size());
    });
}

} // namespace setup
