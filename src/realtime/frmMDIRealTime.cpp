#include "realtime/frmMDIRealTime.h"

#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmSimpleTest.h"
#include "records/CalibrationFiles.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/WorkFiles.h"
#include "records/format.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// A failure of an add handler, with the number and description shown in the "Form_Load Error" box.
struct AddFailure {
    FileFailure failure;
};

constexpr int PortErrorNumber = 8002;   // the serial component's "Invalid port number" / cannot open

} // namespace

frmMDIRealTime::frmMDIRealTime(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMDIRealTime"));
    setWindowTitle(QStringLiteral("Veduvovir Real Time Test & Monitoring"));
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);

    MenuAddInstrument = menuBar()->addMenu(QStringLiteral("Sequencer Test"));
    MenuAddInstrument->setObjectName(QStringLiteral("MenuAddInstrument"));
    menuSimple = menuBar()->addMenu(QStringLiteral("Simple Test"));
    menuSimple->setObjectName(QStringLiteral("menuSimple"));
    for (int n = 1; n <= Module1::MaxUnits; ++n) {
        const QString caption = QStringLiteral("Add Torvan Unit %1").arg(n);
        MenuSeqAdd[n] = MenuAddInstrument->addAction(caption, this, [this, n] { MenuSeqAdd_Click(n); });
        MenuSeqAdd[n]->setObjectName(QStringLiteral("MenuSeqAdd(%1)").arg(n));
        menuSimpleAdd[n] = menuSimple->addAction(caption, this, [this, n] { menuSimpleAdd_Click(n); });
        menuSimpleAdd[n]->setObjectName(QStringLiteral("menuSimpleAdd(%1)").arg(n));
    }
    MenuWindow = menuBar()->addMenu(QStringLiteral("Window"));
    MenuWindow->setObjectName(QStringLiteral("MenuWindow"));
    MenuWindowHorizontal = MenuWindow->addAction(QStringLiteral("Tile Horizontal"), this,
                                                 [this] { MenuWindowHorizontal_Click(); });
    MenuWindowHorizontal->setObjectName(QStringLiteral("MenuWindowHorizontal"));
    MenuWindowVertically = MenuWindow->addAction(QStringLiteral("Tile Vertically"), this,
                                                 [this] { MenuWindowVertically_Click(); });
    MenuWindowVertically->setObjectName(QStringLiteral("MenuWindowVertically"));
    MenuWindowCascade = MenuWindow->addAction(QStringLiteral("Cascade"), this, [this] { MenuWindowCascade_Click(); });
    MenuWindowCascade->setObjectName(QStringLiteral("MenuWindowCascade"));
    connect(MenuWindow, &QMenu::aboutToShow, this, &frmMDIRealTime::fillWindowList);
    MenuExit = menuBar()->addAction(QStringLiteral("E&xit"), this, [this] { MenuExit_Click(); });
    MenuExit->setObjectName(QStringLiteral("MenuExit"));

    MDIForm_Load();
}

frmMDIRealTime::~frmMDIRealTime() = default;

bool frmMDIRealTime::offered(const QAction* item) { return item && item->isEnabled(); }

void frmMDIRealTime::MDIForm_Load()
{
    setWindowState(windowState() | Qt::WindowMaximized);
    const SettingsFile::ReadResult settings = SettingsFile::read();
    // Units whose value was read are offered or withdrawn; the others keep their state.
    const int ports = std::min<int>(int(settings.values.size()), SettingsFile::PortCount);
    for (int n = 1; n <= ports; ++n) {
        const bool unit = settings.values[std::size_t(n - 1)] != 0;
        MenuSeqAdd[n]->setEnabled(unit);
        menuSimpleAdd[n]->setEnabled(unit);
    }
    if (const auto flag = settings.value(SettingsFile::FlagPosition)) Module1::UnitSystem = *flag;
    if (settings.failure) {
        platform::Prompts::current().message(QStringLiteral("Error: ") + QString::number(settings.failure->number) +
                                             QStringLiteral("\r\n") + settings.failure->description);
    }
}

void frmMDIRealTime::menuSimpleAdd_Click(int Index) { addUnit(Index, false); }

void frmMDIRealTime::MenuSeqAdd_Click(int Index) { addUnit(Index, true); }

void frmMDIRealTime::addUnit(int n, bool sequence)
{
    if (n < 1 || n > Module1::MaxUnits) return;
    auto& prompts = platform::Prompts::current();
    // The two kinds differ in the screen, its registry, its caption, the menu item and the error layout.
    std::array<QAction*, 9>& items = sequence ? MenuSeqAdd : menuSimpleAdd;
    auto boxText = [sequence](const FileFailure& f) {
        return sequence ? Format::general(f.number) + f.boxText() : f.boxText();
    };
    try {
        // 1. The unit's port from the settings file.
        const SettingsFile::ReadResult settings = SettingsFile::read(n);
        if (settings.failure) throw AddFailure{*settings.failure};
        const int port = *settings.value(n);

        // 2-5. The screen, its caption, unit label and unit number (the screen loads when created).
        frmSimpleTest* screen = nullptr;
        if (sequence) {
            screen = new frmSeqTest;
            Module1::SeqTestForms[std::size_t(n)] = screen;
        } else {
            screen = new frmSimpleTest;
            Module1::SimpleTestForms[std::size_t(n)] = screen;
        }
        const QString number = Format::str(n);
        screen->setWindowTitle((sequence ? QStringLiteral("Veduvovir Test BY Sequence Unit # ")
                                         : QStringLiteral("Veduvovir Simple Test Unit # "))
                               + number);
        screen->lblUnitNo->setText(number);
        screen->setUnits(n);
        screen->offerMenuItem = [this, &items](int unit) {
            if (unit >= 1 && unit <= Module1::MaxUnits) items[std::size_t(unit)]->setEnabled(true);
        };
        if (!screen->MSComm1) {
            prompts.message(QStringLiteral("There is a problem communicating with this unit, please check the "
                                           "serial/USB connection and try again."),
                            QStringLiteral(" CreateObject Error"), platform::Icon::Warning);
            std::exit(1);
        }

        // 6. The unit's calibration.
        const CalibrationFile::UnitRead cal = CalibrationFile::readUnit(n);
        using Outcome = CalibrationFile::UnitRead::Outcome;
        if (cal.outcome == Outcome::NoLineForUnit || cal.outcome == Outcome::FileMissing) {
            prompts.message(CalibrationFile::NoCalibrationDataMessage);
            // The screen was never shown and polls nothing: it goes.
            screen->offerMenuItem = nullptr;
            screen->deleteLater();
            return;
        }
        for (int cell : cal.notCalibrated) prompts.message(CalibrationFile::notCalibratedMessage(n, cell));
        if (cal.outcome == Outcome::Failed) {
            screen->offerMenuItem = nullptr;
            screen->deleteLater();
            throw AddFailure{cal.failure.value_or(FileFailure::typeMismatch())};
        }
        Module1::Calibration[std::size_t(n)][1] = cal.cells[1];
        Module1::Calibration[std::size_t(n)][2] = cal.cells[2];

        // 7-8. Shown as a child; the item is withdrawn until the screen closes.
        showScreen(screen, QSize(frmSimpleTest::DesignWidth,
                                 sequence ? frmSeqTest::DesignHeight : frmSimpleTest::DesignHeight));
        items[std::size_t(n)]->setEnabled(false);

        // 9. Polling starts.
        screen->Timer1->setInterval(500);
        screen->Timer1->start();

        // 10. The serial port.
        if (!screen->MSComm1->open(port, QStringLiteral("19200,n,8,1")))
            throw AddFailure{FileFailure{PortErrorNumber, screen->MSComm1->lastError()}};
    } catch (const AddFailure& f) {
        prompts.message(boxText(f.failure), WorkFiles::FormLoadErrorTitle, platform::Icon::Warning);
    } catch (const DbError& e) {
        prompts.message(boxText(FileFailure{e.number, e.description}), WorkFiles::FormLoadErrorTitle,
                        platform::Icon::Warning);
    }
}

QMdiSubWindow* frmMDIRealTime::showScreen(QWidget* screen, QSize designSize)
{
    QMdiSubWindow* sub = mdiArea->addSubWindow(screen);
    sub->show();
    // The sub-window's frame and title bar come on top of the screen's own design size, so that the
    // screen's proportional layout starts from the size it was drawn at.
    const QMargins frame = sub->contentsMargins();
    sub->resize(designSize.grownBy(frame));
    return sub;
}

void frmMDIRealTime::MenuWindowCascade_Click() { mdiArea->cascadeSubWindows(); }
void frmMDIRealTime::MenuWindowHorizontal_Click() { tile(true); }
void frmMDIRealTime::MenuWindowVertically_Click() { tile(false); }

void frmMDIRealTime::tile(bool rows)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        if (w->isVisible() && !w->isMinimized()) windows << w;
    if (windows.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow* w = windows[i];
        if (w->isMaximized()) w->showNormal();
        if (rows) {
            const int top = area.height() * i / count, bottom = area.height() * (i + 1) / count;
            w->setGeometry(0, top, area.width(), bottom - top);
        } else {
            const int left = area.width() * i / count, right = area.width() * (i + 1) / count;
            w->setGeometry(left, 0, right - left, area.height());
        }
    }
}

void frmMDIRealTime::MenuExit_Click() { close(); }

void frmMDIRealTime::closeEvent(QCloseEvent* event)
{
    // Every screen closes through its own closing step; one that refuses (a test still running, or a stop
    // the unit has not confirmed and the operator keeps the screen for) keeps this window open.
    mdiArea->closeAllSubWindows();
    if (!mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

void frmMDIRealTime::fillWindowList()
{
    for (QAction* a : windowList_) {
        MenuWindow->removeAction(a);
        a->deleteLater();
    }
    windowList_.clear();
    const auto windows = mdiArea->subWindowList();
    if (windows.isEmpty()) return;
    windowList_ << MenuWindow->addSeparator();
    int i = 0;
    for (QMdiSubWindow* w : windows) {
        QAction* a = MenuWindow->addAction(QStringLiteral("&%1 %2").arg(++i).arg(w->windowTitle()));
        a->setCheckable(true);
        a->setChecked(w == mdiArea->activeSubWindow());
        connect(a, &QAction::triggered, mdiArea, [this, w] { mdiArea->setActiveSubWindow(w); });
        windowList_ << a;
    }
}
