// veduvovir-crash-logger --dir FOLDER [--dialog report|height-report|pressure-report|print-file]
//                        [--drop-locks] [--replace]
//
// Runs the program's main window in FOLDER (Torvan.accdb, initial.txt with units 1 and 2, Calib.dat, and
// the COM1/COM2 links of a running torvan-sim), opens its real-time window and starts a test on both cells
// of both units at a 1 s interval, through the same screens, poll, serial layer and record classes as an
// operator would. Then it logs until it is killed.
//
// With --dialog, once the cells run, it also opens one real file dialog of the program on the working
// folder, as an operator would: the save dialog of Save Report (on the running test of unit 1 cell A,
// opened in the main window), of the height or the pressure calibration report, or the file choice of the
// print dialog. The dialog is closed with Cancel once its listing of the folder is complete.
//
// With --drop-locks, once points are in the -wal, something inside the program opens and closes the
// database and its -shm with a plain file open (which drops SQLite's locks on both), and an outside sqlite3
// reads the database at once, before the program's event loop runs again. With --replace, an outside
// sqlite3 folds the -wal into the database, an outside cp copies it, and the copy is renamed over the
// database, all between two ticks; the program goes on logging.
//
// Output, one line each, flushed at once:
//   READY                 all four cells are running
//   LOGGED <RESULT_ID>    a point row of TEST_RESULT whose insert has been committed
//   LISTED <n> <provider> <retakes>
//                         the dialog listed the n files of the working folder, with the program's name-only
//                         icon provider ("own") or another ("other"), and was cancelled; retakes is how
//                         often the lock guard had to take the database's locks again since start-up
//   DROPPED <db> <shm> <wal>
//                         --drop-locks: 1 where the program had no lock on the database (the -shm) when
//                         the outside reader had finished, and 1 when the -wal was still there
//   REPLACED              --replace: the copy has been renamed over the database
//   REOPENED <n>          the program opened its connections again onto the files at the path (n times)
//   RETAKES <n>           the lock guard had to take a lock again (n times since start-up)
//   ERROR <text>          set-up failed (the program then ends with status 2)
// A LOGGED line is written by SQLite's WAL hook, which runs only after the transaction holding the insert
// has been committed to the -wal file (synchronous=FULL): whatever queueing the logging does, a printed
// point has been stored.
#include "calibration/frmCalibrate.h"
#include "platform/DatabaseLock.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

std::vector<sqlite3_int64> g_pending;   // point rows inserted by the transaction not yet committed
int g_logged = 0;                       // committed point rows

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
    g_logged += int(g_pending.size());
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

// Messages and questions answered from the script, file dialogs shown for real.
class RealFileDialogs final : public platform::Prompts {
public:
    explicit RealFileDialogs(platform::ScriptedPrompts& scripted) : scripted_(scripted) {}
    void message(const QString& text, const QString& title, platform::Icon icon) override
    {
        scripted_.message(text, title, icon);
    }
    platform::Answer ask(const QString& text, platform::Buttons buttons, const QString& title,
                         platform::Icon icon) override
    {
        return scripted_.ask(text, buttons, title, icon);
    }
    QString input(const QString& prompt, const QString& title, const QString& initial) override
    {
        return scripted_.input(prompt, title, initial);
    }
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName) override
    {
        return real_.saveFileName(title, filter, initialName);
    }
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName,
                         int selectedFilter) override
    {
        return real_.saveFileName(title, filter, initialName, selectedFilter);
    }

private:
    platform::ScriptedPrompts& scripted_;
    platform::QtPrompts real_;
};

// Plays the operator at the dialogs that come up: in the print dialog, chooses the file entry and clicks
// its "..." button; in a file dialog, waits until the working folder is listed with every entry's kind
// told, notes it, and cancels; then cancels the print dialog.
class DialogOperator : public QObject {
public:
    QString listed;   // the LISTED line's figures once a file dialog was seen through

    DialogOperator()
    {
        connect(&timer_, &QTimer::timeout, this, &DialogOperator::look);
        timer_.start(20);
    }

private:
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            auto* model = files->findChild<QFileSystemModel*>();
            const QString folder = QDir::currentPath();
            if (!model || QDir(model->rootPath()) != QDir(folder)) return;
            // Every kind of file shown, as the operator picking "All Files" would; the listing itself reads
            // all entries whatever the filter.
            if (model->nameFilters() != QStringList{QStringLiteral("*")}) model->setNameFilters({QStringLiteral("*")});
            // Listed when every plain file of the folder (not the port links) is in the model with its kind told.
            const QFileInfoList plain = QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks);
            for (const QFileInfo& info : plain) {
                const QModelIndex at = model->index(info.absoluteFilePath());
                if (!at.isValid() || model->type(at).isEmpty()) return;   // not fetched yet
            }
            const bool own = files->iconProvider() == &platform::nameOnlyIconProvider();
            listed = QStringLiteral("%1 %2").arg(plain.size()).arg(own ? "own" : "other");
            files->reject();
        } else if (auto* print = qobject_cast<QPrintDialog*>(modal)) {
            if (!listed.isEmpty()) {
                print->reject();
                return;
            }
            if (browsing_) return;
            auto* printers = print->findChild<QComboBox*>(QStringLiteral("printers"));
            auto* browse = print->findChild<QToolButton*>(QStringLiteral("fileBrowser"));
            if (!printers || !browse) {
                listed = QStringLiteral("0 none");
                print->reject();
                return;
            }
            printers->setCurrentIndex(printers->count() - 1);
            browsing_ = true;
            // Clicked from the event loop: the file dialog's own loop must not run inside this tick.
            QMetaObject::invokeMethod(browse, &QToolButton::click, Qt::QueuedConnection);
        }
    }

    QTimer timer_;
    bool browsing_ = false;
};

// Opens the named dialog of the program through its window and returns once it was cancelled.
void runDialog(const QString& name, frmMain& main, platform::ScriptedPrompts& scripted)
{
    RealFileDialogs prompts(scripted);
    platform::Prompts::install(&prompts);
    DialogOperator op;
    if (name == QLatin1String("report")) {
        main.cmdOpen_Click();   // the running test of unit 1 cell A: see the modal handler
        if (main.CurrentTestId <= 0) fail(QStringLiteral("the running test did not open"));
        main.cmdREPORT_Click();
    } else if (name == QLatin1String("height-report") || name == QLatin1String("pressure-report")) {
        main.cmdCalibrate_Click();
        auto* calibrate = main.findChild<frmCalibrate*>();
        if (!calibrate) fail(QStringLiteral("no calibration window"));
        if (name == QLatin1String("height-report")) calibrate->cmdExportH_Click();
        else calibrate->cmdExport_Click();
    } else if (name == QLatin1String("print-file")) {
        main.cmdPrintChart_Click();
    } else {
        fail(QStringLiteral("no dialog ") + name);
    }
    platform::Prompts::install(&scripted);
    if (op.listed.isEmpty()) fail(QStringLiteral("the dialog listed nothing: ") + scripted.texts().join(" | "));
    say("LISTED " + op.listed.toUtf8() + ' ' + QByteArray::number(platform::databaseLockRetakes()));
}

// Runs an outside program to its end; its output, or fails.
QByteArray runOutside(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError()));
    return p.readAllStandardOutput().trimmed();
}

// Opens and closes the database and its -shm with a plain file open, as some library might; then an outside
// reader at once.
void dropLocks()
{
    for (const char* name : {"Torvan.accdb", "Torvan.accdb-shm"}) {
        QFile f(QString::fromLatin1(name));
        if (!f.open(QIODevice::ReadOnly)) fail(QStringLiteral("cannot open ") + f.fileName());
        f.read(64);
    }
    runOutside(QStringLiteral("sqlite3"), {QStringLiteral("Torvan.accdb"), QStringLiteral("SELECT count(*) FROM TEST_RESULT")});
    const bool db = !platform::processHoldsLock(QStringLiteral("Torvan.accdb"));
    const bool shm = !platform::processHoldsLock(QStringLiteral("Torvan.accdb-shm"));
    const bool wal = QFileInfo::exists(QStringLiteral("Torvan.accdb-wal"));
    say(QByteArrayLiteral("DROPPED ") + (db ? "1 " : "0 ") + (shm ? "1 " : "0 ") + (wal ? "1" : "0"));
}

// Every committed point folded into the database file, the file copied and the copy renamed over it.
void replaceDatabase()
{
    const QByteArray checkpoint = runOutside(QStringLiteral("sqlite3"), {QStringLiteral("Torvan.accdb"),
                                                                         QStringLiteral("PRAGMA wal_checkpoint(FULL)")});
    const QList<QByteArray> f = checkpoint.split('|');
    if (f.size() != 3 || f[0] != "0" || f[1] != f[2]) fail(QStringLiteral("checkpoint incomplete: ") + QString::fromLatin1(checkpoint));
    runOutside(QStringLiteral("cp"), {QStringLiteral("Torvan.accdb"), QStringLiteral("Torvan.copy")});
    std::error_code ec;
    std::filesystem::rename("Torvan.copy", "Torvan.accdb", ec);
    if (ec) fail(QStringLiteral("rename: ") + QString::fromStdString(ec.message()));
    say("REPLACED");
}

} // namespace

int main(int argc, char** argv)
{
    // As the program itself: Qt's own file dialogs.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--dir"));
    if (at < 0 || at + 1 >= args.size()) fail(QStringLiteral("usage: veduvovir-crash-logger --dir FOLDER"));
    if (!QDir::setCurrent(args[at + 1])) fail(QStringLiteral("no folder ") + args[at + 1]);
    const qsizetype dialogAt = args.indexOf(QStringLiteral("--dialog"));
    const QString dialog = dialogAt >= 0 && dialogAt + 1 < args.size() ? args[dialogAt + 1] : QString();

    platform::ScriptedPrompts prompts;
    QString nextName;
    platform::setModalHandler([&](QDialog& d) {
        if (auto* open = qobject_cast<frmOpenTest*>(&d)) {
            open->txtSeqName->setText(QStringLiteral("crash unit 1 cell 1"));
            open->cmdOk_Click();
            d.hide();
            return int(QDialog::Accepted);
        }
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->txtTestInfo[1]->setText(nextName);
        dlg->Command2_Click();
        return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });

    frmMain main;
    main.Form_Load();
    if (!main.DatabaseReady()) fail(prompts.texts().join(QStringLiteral(" | ")));
    // The hooks go on every SQLite handle the shared connection gets (it is opened again onto a replaced file).
    int opens = 0;
    Module1::DbConnection->ADOConnection()->setOpenHook([&opens](const QSqlDatabase& d) {
        sqlite3* db = sqliteHandle(d);
        if (!db) fail(QStringLiteral("no SQLite handle"));
        g_pending.clear();
        sqlite3_update_hook(db, onUpdate, nullptr);
        sqlite3_rollback_hook(db, onRollback, nullptr);
        sqlite3_wal_hook(db, onWalCommit, nullptr);
        if (opens++ > 0) say("REOPENED " + QByteArray::number(opens - 1));
    });
    QTimer retakes;
    int retakesSaid = 0;
    QObject::connect(&retakes, &QTimer::timeout, [&retakesSaid] {
        if (platform::databaseLockRetakes() == retakesSaid) return;
        retakesSaid = platform::databaseLockRetakes();
        say("RETAKES " + QByteArray::number(retakesSaid));
    });
    retakes.start(50);

    main.show();
    main.cmdRealTime_Click();
    frmMDIRealTime& w = *main.RealTimeWindow();
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
    const bool drop = args.contains(QStringLiteral("--drop-locks"));
    const bool replace = args.contains(QStringLiteral("--replace"));
    if (!dialog.isEmpty() || drop || replace) {
        // A point of every cell committed to the -wal first, as in any run.
        if (!waitFor([] { return g_logged >= 4; }, 20000)) fail(QStringLiteral("no points were committed"));
    }
    if (!dialog.isEmpty()) runDialog(dialog, main, prompts);
    if (drop) dropLocks();
    if (replace) replaceDatabase();
    return app.exec();
}
