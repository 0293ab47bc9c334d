#pragma once
// The setup window: the named test sequences and their steps (first tab) and the hardware settings, the
// serial port of each unit and the unit system (second tab). It opens without blocking the main window,
// which hides meanwhile and is shown again when this window closes.
//
// Use (one window, reused):
//   setup->Form_Load(connection);   // layout, grid, shared sequence objects, name list, settings file
//   setup->show();
// Closing (Return on either tab, or the frame) asks about unsaved step changes, saves the hardware
// settings and shows the main window again.
#include "setup/StepTable.h"

#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QVariantList>
#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTableWidget;
class QCloseEvent;
class clsConnection;
class frmCopyPaste;
class frmDeleteSteps;
class frmInsertStep;
namespace platform {
class ControlLayout;
}

class frmSetup : public QWidget {
    Q_OBJECT
public:
    // Inner size of the window as designed; the controls keep their fractions of it at any size.
    static constexpr int DesignWidth = 900;
    static constexpr int DesignHeight = 532;

    explicit frmSetup(QWidget* parent = nullptr);
    ~frmSetup() override;

    // The window shown again when this one closes (the main window).
    void setMainWindow(QWidget* w) { mainWindow_ = w; }

    // Opening: layout, empty grid, first tab, the shared sequence objects on connection, the name list
    // (its first sequence chosen), the hardware tab from the settings file, the builder's label.
    void Form_Load(std::shared_ptr<clsConnection> connection);

    // 1 when a stored sequence bears name (letter case ignored), else 0.
    int Check_Duplicate(const QString& name);

    // ---- state ----
    double CurrentSequenceId = 0;
    QVariantList SequenceFields;
    bool SequenceChanged = false;
    int CurrentTab = 1;
    int EditRow = 0, EditCol = 0;

    // Results of the range dialogs.
    int CopyFromStep = 0;
    int CopyToStep = 0;
    int PasteToStep = 0;
    int PastePosition = 0;
    int DeleteFromStep = 0;
    int DeleteToStep = 0;
    double NewPressure = 0;
    double NewTemperature = 0;

    // The steps as the grid shows them, and the current step: the grid's highlighted row however it got
    // there (a click, the editor's arrow keys, the grid's own keys); 0 = none chosen.
    const setup::StepTable& Steps() const { return steps_; }
    int CurrentRow() const;
    // Text of a grid cell in flex-grid terms: row 0 the header, step k in row k.
    QString CellText(int row, int column) const;
    frmDeleteSteps* DeleteStepsDialog() const { return deleteSteps_; }
    frmCopyPaste* CopyPasteDialog() const { return copyPaste_; }

    // ---- handlers, public so that callers and tests run them as a click would ----
    void TabStrip1_Click();
    void lstSeqName_Click();
    void txtSeqName_Change();
    void MSFlexGrid1_Click(int row, int column);   // flex-grid row (1 = first step) and column
    void txtOverlap2_KeyDown(int key);
    void txtOverlap2_Change();   // the operator changed the editor's text (typing, paste, cut, undo ...)
    void txtOverlap2_LostFocus();
    void cmdNew_Click();
    void cmdSaveas_Click();
    void cmdSaveChange_Click();
    void cmdDelete_Click();
    void cmdInsertStep_Click();
    void cmdDeleteStep_Click();
    void cmdDeleteSteps_Click();
    void cmdCopySteps_Click();
    void cmdOk_Click();       // Auto Step Builder
    void cmdCancel_Click();   // clears the builder
    void cmdReturn_Click();
    void cmdReturn2_Click();
    void cmdSave_Click();     // hardware settings
    void optCGS_Click();
    void OptSI_Click();

    // ---- controls ----
    QTabBar* TabStrip1 = nullptr;
    std::array<QFrame*, 3> Frame3{};   // 1 sequences, 2 hardware

    QLabel* Label1 = nullptr;
    QLineEdit* txtSeqName = nullptr;
    QListWidget* lstSeqName = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QLineEdit* txtOverlap2 = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdSaveas = nullptr;
    QPushButton* cmdSaveChange = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdInsertStep = nullptr;
    QPushButton* cmdDeleteStep = nullptr;
    QPushButton* cmdDeleteSteps = nullptr;
    QPushButton* cmdCopySteps = nullptr;
    QPushButton* cmdReturn = nullptr;
    QGroupBox* frameRamp = nullptr;
    QLabel* lblTotalSteps = nullptr;
    QLineEdit* txtTotalSteps = nullptr;
    QLabel* lblStepTime = nullptr;
    QLineEdit* txtStepTime = nullptr;
    QLabel* lblTemp = nullptr;
    QLineEdit* txtTemp = nullptr;
    QLabel* lblInterval = nullptr;
    QLineEdit* txtInterval = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

    QLabel* Label2 = nullptr;
    std::array<QLabel*, 9> lblUnit{};       // 1..8
    std::array<QComboBox*, 9> cmbUnit{};    // 1..8
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optCGS = nullptr;
    QRadioButton* OptSI = nullptr;
    QRadioButton* OptEI = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdReturn2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildSequenceTab(QFrame* tab);
    void buildHardwareTab(QFrame* tab);
    void SaveControlLayout();
    void InitStepGrid();
    void FillSeqNameList();
    void ReadSeqInfo();
    void FillStepGrid();
    void LoadCommSettings();
    // The unit system in which the window shows and takes temperatures: the grid's temperatures are shown
    // again in it, and the headings and labels name its unit.
    void useUnitSystem(int unitSystem);
    void setTempCaption(const QString& caption);
    // After a hardware save that was refused or failed: the unit choice, the flag and with it every
    // conversion are those of the settings file again.
    void restoreFileUnits();
    void clearUnitOptions();
    // Closing: false when the operator went back to save the sequence.
    bool Form_QueryUnload();
    // The grid shows the step table.
    void showSteps();
    // The editor's text goes into its cell when an operation reads or changes the grid meanwhile.
    void commitEditor();
    void openEditor(int row, int column);
    // Save's checks of the grid: on a failure its message, the editor on the failing cell, and true.
    bool refusedBySaveChecks();
    // Asks for a new sequence name until it is usable: empty when the operator gave up.
    QString askNewName(bool checkLength);
    // Runs work; a database failure is shown and the window goes on.
    template <class Work>
    bool reporting(Work&& work);
    QString chosenName() const;

    // No step chosen: the grid has no current cell.
    void clearCurrentStep();

    setup::StepTable steps_;
    // The temperature caption of the grid's heading, the builder and the step dialogs.
    QString tempCaption_;
    // The unit-system flag as the settings file holds it (read at opening or written by the last save), and
    // whether the file gave one at all.
    int fileUnitSystem_ = 0;
    bool fileHasFlag_ = false;
    std::shared_ptr<clsConnection> connection_;
    QPointer<QWidget> mainWindow_;
    platform::ControlLayout* layout_ = nullptr;
    frmDeleteSteps* deleteSteps_ = nullptr;
    frmCopyPaste* copyPaste_ = nullptr;
    bool closing_ = false;
};
