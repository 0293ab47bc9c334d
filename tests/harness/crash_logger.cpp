// veduvovir-crash-logger --dir FOLDER
//
// Runs the real-time window of the program in FOLDER (Torvan.accdb, initial.txt with units 1 and 2,
// Calib.dat, and the COM1/COM2 links of a running torvan-sim) and starts a test on both cells of both
// units at a 1 s interval, through the same screens, poll, serial layer and record classes as an operator
// would. Then it logs until it is killed.
//
// Output, one line each, flushed at once:
//   READY                 all four cells are running
//   LOGGED <RESULT_ID>    a point row of TEST_RESULT whose insert has been committed
//   ERROR <text>          set-up failed (the program then ends with status 2)
// A LOGGED line is written by SQLite's WAL hook, which runs only after the transaction holding the insert
// has been committed to the -wal file (synchronous=FULL): whatever queueing the logging does, a printed
// point has been stored.
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

std::vector<sqlite3_int64> g_pending;   // point rows inserted by the transaction not yet committed

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString& text)
{
    say("ERROR " + text.toUtf8());
    std::_Exit(2);
}

void onUpdate(void*, int op, const char*, const char* table, sqlite3_int64 row)
{
    if (op == SQLITE_INSERT && std::strcmp(table, "TEST_RESULT") == 0) g_pending.push_back(row);
}

void onRollback(void*) { g_pending.clear(); }

int onWalCommit(void*, sqlite3* db, const char* name, int frames)
{
    for (sqlite3_int64 row : g_pending) say("LOGGED " + QByteArray::number(row));
    g_pending.clear();
    // The checkpoint that SQLite's own hook (replaced by this one) would run.
    if (frames >= 1000) sqlite3_wal_checkpoint(db, name);
    return SQLITE_OK;
}

// Keeps the event loop running until done() or the time is up.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--dir"));
    if (at < 0 || at + 1 >= args.size()) fail(QStringLiteral("usage: veduvovir-crash-logger --dir FOLDER"));
    if (!QDir::setCurrent(args[at + 1])) fail(QStringLiteral("no folder ") + args[at + 1]);

    platform::ScriptedPrompts prompts;
    Module1::UnitSystem = 1;
    Module1::SetUnitCaptions();
    Module1::DbConnection = std::make_shared<clsConnection>();
    Module1::DbConnection->OpenDB();
    if (!Module1::DbConnection->IsOpen()) fail(Module1::DbConnection->LastError());
    sqlite3* db = sqliteHandle(Module1::DbConnection->ADOConnection()->db());
    if (!db) fail(QStringLiteral("no SQLite handle"));
    sqlite3_update_hook(db, onUpdate, nullptr);
    sqlite3_rollback_hook(db, onRollback, nullptr);
    sqlite3_wal_hook(db, onWalCommit, nullptr);

    QString nextName;
    platform::setModalHandler([&](QDialog& d) {
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->txtTestInfo[1]->setText(nextName);
        dlg->Command2_Click();
        return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });

    frmMDIRealTime w;
    w.show();
    for (int unit = 1; unit <= 2; ++unit) w.menuSimpleAdd_Click(unit);
    std::array<frmSimpleTest*, 3> screens{};
    for (int unit = 1; unit <= 2; ++unit) {
        screens[std::size_t(unit)] = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[std::size_t(unit)]);
        if (!screens[std::size_t(unit)] || !screens[std::size_t(unit)]->MSComm1->isOpen())
            fail(QStringLiteral("unit %1 did not open: %2").arg(unit).arg(prompts.texts().join(QStringLiteral(" | "))));
    }
    const bool reading = waitFor(
        [&] {
            for (int unit = 1; unit <= 2; ++unit)
                for (int cell = 1; cell <= 2; ++cell)
                    if (screens[std::size_t(unit)]->poll().cell(cell).volts <= 1.5) return false;
            return true;
        },
        15000);
    if (!reading) fail(QStringLiteral("no readings from the simulator"));

    for (int unit = 1; unit <= 2; ++unit) {
        frmSimpleTest& s = *screens[std::size_t(unit)];
        for (int cell = 1; cell <= 2; ++cell) {
            prompts.queueInput(QStringLiteral("0.5"));
            s.cmdzero_Click(cell);
            nextName = QStringLiteral("crash unit %1 cell %2").arg(unit).arg(cell);
            s.cmdInfo_Click(cell);
            s.txtInterval[std::size_t(cell)]->setText(QStringLiteral("1"));
            s.txtInterval_Change(cell);
            s.txtTemps[std::size_t(cell)]->setText(QStringLiteral("150"));
            s.cmdStart_Click(cell);
            if (s.poll().cell(cell).state != 1)
                fail(QStringLiteral("unit %1 cell %2 did not start: %3")
                         .arg(unit)
                         .arg(cell)
                         .arg(prompts.texts().join(QStringLiteral(" | "))));
        }
    }
    say("READY");
    return app.exec();
}
