#include "records/TestHeaderUpdate.h"

#include "records/Command.h"
#include "records/DbError.h"
#include "records/format.h"

namespace TestHeaderUpdate {

const QString Sql = QStringLiteral(
    "UPDATE TEST_INFO SET  RESEARCHER_NAME = ? , SAMPLE_WEIGHT = ? , SAMPLE_HARDNESS = ? , "
    "SAMPLE_DESCRIPTION = ? , SAMPLE_COMPACT_PRESS = ? , SAMPLE_COMPACT_TIME = ? , SAMPLE_COMPACT_DATE = ? , "
    "FLUID_INFO = ? WHERE test_id=?");

namespace {
// A box's number as the statement writes it: read leniently (leading number, else 0), then taken at its
// shortest text of up to 15 significant digits.
double statementNumber(const QString& box)
{
    const double x = Format::leading(box);
    return Format::strict(Format::general(x)).value_or(x);
}
} // namespace

QString lengthProblem(const Boxes& boxes)
{
    if (boxes[7].size() > 255) return QStringLiteral("The max text length of 'Sample Description' is 255");
    if (boxes[11].size() > 255) return QStringLiteral("The max text length of 'Fluid Description' is 255");
    return {};
}

int run(const std::shared_ptr<DbHandle>& db, int testId, const Boxes& boxes)
{
    Command update(db, Sql,
                   {{QStringLiteral("pRESEARCHER_NAME"), adVarChar, 50, boxes[3]},
                    {QStringLiteral("pSAMPLE_WEIGHT"), adDouble, 0, statementNumber(boxes[4])},
                    {QStringLiteral("pSAMPLE_HARDNESS"), adDouble, 0, statementNumber(boxes[6])},
                    {QStringLiteral("pSAMPLE_DESCRIPTION"), adVarChar, 255, boxes[7]},
                    {QStringLiteral("pSAMPLE_COMPACT_PRESS"), adDouble, 0, statementNumber(boxes[8])},
                    {QStringLiteral("pSAMPLE_COMPACT_TIME"), adDouble, 0, statementNumber(boxes[9])},
                    {QStringLiteral("pSAMPLE_COMPACT_DATE"), adVarChar, 50, boxes[10]},
                    {QStringLiteral("pFLUID_INFO"), adVarChar, 255, boxes[11]},
                    {QStringLiteral("pTEST_ID"), adInteger, 0, testId}});
    return update.execute();
}

void save(const std::shared_ptr<DbHandle>& db, int testId, const Boxes& boxes)
{
    // 3021: no current record, the engine's own number for a row that is not there.
    if (run(db, testId, boxes) == 0) throw DbError(3021, NotSavedMessage);
}

} // namespace TestHeaderUpdate
