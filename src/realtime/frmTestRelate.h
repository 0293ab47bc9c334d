#pragma once
// The cell test-information dialog: the operator names and describes the test a cell is about to run.
// OK stores a new TEST_INFO row through Module1::TestInfo; the caller then looks the row up by the name
// left in txtTestInfo(1).
//
// Use (one dialog per click of a cell's test-information button):
//   auto* dlg = new frmTestRelate;             // loads: date, unit captions, test list; throws DbError
//   Module1::TestRelateForms[cell] = dlg;      //   when the test list cannot be read
//   dlg->Label17->setText(unitNo); dlg->Label18->setText("CELL A");
//   dlg->setWindowTitle("CELL A Test Information");
//   dlg->ShowWaferLength(waferInches);         // box 5, shown "##.##" in the display unit, disabled
//   platform::showModal(*dlg);
//   if (!dlg->Cancels()) name = dlg->txtTestInfo[1]->text();   // already trimmed
#include <QDialog>
#include <QString>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class frmTestRelate : public QDialog {
    Q_OBJECT
public:
    // OK on the name of a test that a cell holds (from its Enter Info until its stop): "%1" the name,
    // "%2" the cell letter, "%3" the unit number.
    static inline const QString ReplaceRefusedMessage = QStringLiteral(
        "The test \"%1\" cannot be replaced: it is the test of cell %2 of unit %3. Please enter another test "
        "name.");

    explicit frmTestRelate(QWidget* parent = nullptr);
    ~frmTestRelate() override;

    // True when the dialog ended without storing (also while it is open and nothing is stored yet).
    bool Cancels() const { return cancels_; }
    void setCancels(bool value) { cancels_ = value; }

    // Binds Module1::TestInfo to Module1::DbConnection and lists the stored tests in the pick grid.
    // Throws DbError when the list cannot be read.
    void FillList();

    // Puts the cell's wafer length (inches) into box 5 as the display unit shows it, formatted "##.##",
    // and disables the box: the length comes from the cell's zero measurement.
    void ShowWaferLength(double inches);

    // Handlers, public so that tests and callers can run them as a click would.
    void cmdPick_Click();
    void MSFlexGrid1_Click(int row);   // row of the grid, 0 = first test below the heading
    void cmdCopy_Click();
    void Command2_Click();             // OK
    void Command1_Click();             // Cancel

    // Boxes 1..11 hold the fields of the test record in the order of clsTEST_INFO::All.
    std::array<QLineEdit*, 12> txtTestInfo{};
    std::array<QLabel*, 12> lblTestInfo{};   // the caption beside each box
    std::array<QLabel*, 7> Label1{};          // Label1(6): the copy-from caption
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label9 = nullptr;    // "(g)"
    QLabel* Label13 = nullptr;   // length unit
    QLabel* Label14 = nullptr;   // pressure unit
    QLabel* Label15 = nullptr;   // "(min)"
    QLabel* Label16 = nullptr;   // "Test Unit: "
    QLabel* Label17 = nullptr;   // unit number, set by the caller
    QLabel* Label18 = nullptr;   // "CELL " + letter, set by the caller
    QLineEdit* txtCopyFrom = nullptr;
    QPushButton* cmdPick = nullptr;
    QPushButton* cmdCopy = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QPushButton* Command2 = nullptr;   // OK
    QPushButton* Command1 = nullptr;   // Cancel

private:
    void buildControls();
    void Form_Load();
    void setUpGrid();
    // Checks the entries that the store would refuse; shows the reason and returns false.
    bool validEntries(const std::array<QString, 12>& fields);
    // Stores the record; replace = delete the header of that name first, in the same transaction.
    // Shows the reason and returns false when the store fails (nothing is changed then).
    bool store(const QVariantList& record, bool replace);
    // True, with ReplaceRefusedMessage (or the database's failure) shown, when a cell of a unit screen
    // holds a test named name, which a replacement would delete.
    bool refuseReplace(const QString& name);

    bool cancels_ = true;
};
