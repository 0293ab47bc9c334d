#pragma once
// The overlay dialog: every stored test, newest first. The operator clicks a test (or types a name) and
// confirms with OK, or double-clicks a test; the dialog raises OverSelected and the main window looks the
// name up in the list and adds it to its overlay list.
//
// Use (a fresh dialog for every overlay):
//   auto* dlg = new frmOverlapTest(this);
//   connect(dlg, &frmOverlapTest::OverSelected, this, &frmMain::fOverlap_overSelected);
//   try { dlg->Form_Load(); }                       // replaces and binds Module1::TestInfo/TestResult,
//   catch (const DbError& e) { message(e.description); delete dlg; return; }   // fills the list
//   platform::showModal(*dlg);                      // OverSelected arrives while it is up
//   delete dlg;
// In the OverSelected handler: name = dlg->txtSeqName->text(); row = dlg->FindName(name) (exact,
// case-sensitive; -1 when not listed); dlg->hide() ends the modal show.
#include "records/RecordCursor.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QShowEvent;

class frmOverlapTest : public QDialog {
    Q_OBJECT
public:
    explicit frmOverlapTest(QWidget* parent = nullptr);
    ~frmOverlapTest() override;

    // Load: new record objects in Module1::TestInfo and Module1::TestResult, bound to Module1::DbConnection
    // (this reads the list of tests), the grid set up and filled. Throws DbError when the connection is
    // missing or not open or the list cannot be read. Showing the dialog loads it when the caller has not.
    void Form_Load();
    bool IsLoaded() const { return loaded_; }

    // Refills the grid from Module1::TestInfo->UsedName(); the newest test's row is made current.
    void FillList();

    // The list last read: (column, row) with TEST_NAME, TEST_DATE, SAMPLE_description, Fluid_Info.
    const RowTable& TestList() const { return testList_; }
    // Rows of the grid below its heading (0 = the newest test) and the name shown in a row.
    int ListCount() const;
    QString ListedName(int row) const;
    // The first row whose name equals name exactly (case-sensitive), made the current row; -1 if none.
    int FindName(const QString& name);
    // The current row of the grid (0 = the newest test), -1 when the list is empty.
    int CurrentRow() const;

    // Handlers, public so that callers and tests can run them as a click would.
    void MSFlexGrid1_Click(int row);   // row of the grid, 0 = the newest test
    void MSFlexGrid1_DblClick();
    void cmdOk_Click();
    void cmdCancel_Click();

    QLabel* Label1 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtSeqName = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

signals:
    // A test was chosen (OK or a double-click); the handler reads txtSeqName and the list.
    void OverSelected();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void InitTestGrid();

    RowTable testList_;
    bool loaded_ = false;
};
