#pragma once
// The real-time window: the parent window in which every unit screen opens as a child. Its menus add a
// unit of the settings file as a simple test screen (or a sequence test screen), arrange the screens, and
// leave. Adding a unit creates its screen, loads the unit's calibration and opens the unit's serial port.
#include <QMainWindow>
#include <array>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

class frmMDIRealTime : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMDIRealTime(QWidget* parent = nullptr);
    ~frmMDIRealTime() override;

    // Window load: maximised; the settings file decides which units are offered and the unit system.
    void MDIForm_Load();
    // Adds unit Index (1..8) as a simple test screen.
    void menuSimpleAdd_Click(int Index);
    // Adds unit Index as a sequence test screen.
    void MenuSeqAdd_Click(int Index);
    void MenuWindowCascade_Click();
    void MenuWindowHorizontal_Click();
    void MenuWindowVertically_Click();
    void MenuExit_Click();

    // A withdrawn item is greyed (disabled); the same property serves load, add and a screen's close.
    static bool offered(const QAction* item);

    QMdiArea* mdiArea = nullptr;
    QMenu* MenuAddInstrument = nullptr;                  // "Sequencer Test"
    std::array<QAction*, 9> MenuSeqAdd{};                // 1..8
    QMenu* menuSimple = nullptr;                         // "Simple Test"
    std::array<QAction*, 9> menuSimpleAdd{};             // 1..8
    QMenu* MenuWindow = nullptr;
    QAction* MenuWindowHorizontal = nullptr;
    QAction* MenuWindowVertically = nullptr;
    QAction* MenuWindowCascade = nullptr;
    QAction* MenuExit = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Shows a unit screen as a child window whose inner area (the screen itself) has the screen's design
    // size.
    QMdiSubWindow* showScreen(QWidget* screen, QSize designSize);
    // Adds unit n as a simple or a sequence test screen.
    void addUnit(int n, bool sequence);
    void fillWindowList();
    // Arranges the open screens in rows (horizontal tiling) or columns (vertical tiling).
    void tile(bool rows);

    QList<QAction*> windowList_;
};
