#pragma once
// The literal update of a test header's editable fields, shared by the detail window and the
// test-information window. Values are bound, so texts are stored exactly as typed.
#include <QString>
#include <array>
#include <memory>

class DbHandle;

namespace TestHeaderUpdate {

extern const QString Sql;

// Box texts by field index of clsTEST_INFO.All (1..11; 0 unused).
using Boxes = std::array<QString, 12>;

// The message for the first description that is too long for its column, empty when all fit.
QString lengthProblem(const Boxes& boxes);

// Shown after "ERROR: " when a save found no stored header to change (the test was deleted).
inline const QString NotSavedMessage = QStringLiteral("This test is no longer stored; nothing was saved.");

// Writes researcher, weight, hardness, description, compaction and fluid of test testId. Numbers are the
// boxes read leniently. Returns the number of rows changed (0 when the test is no longer stored).
// Throws DbError.
int run(const std::shared_ptr<DbHandle>& db, int testId, const Boxes& boxes);

// The save of a window: as run, but a save that changed no row is a failure too, thrown as DbError with
// NotSavedMessage, so the window reports it as it reports a refused statement and never as completed.
void save(const std::shared_ptr<DbHandle>& db, int testId, const Boxes& boxes);

} // namespace TestHeaderUpdate
