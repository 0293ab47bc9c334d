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
#include "review/TestListDialog.h"

class frmOverlapTest : public TestListDialog {
    Q_OBJECT
public:
    explicit frmOverlapTest(QWidget* parent = nullptr);
    ~frmOverlapTest() override;

    // Refills the grid from Module1::TestInfo->UsedName(); the newest test's row is made current.
    void FillList() override;

    // Handlers, public so that callers and tests can run them as a click would.
    void MSFlexGrid1_DblClick();
    void cmdOk_Click() override;

signals:
    // A test was chosen (OK or a double-click); the handler reads txtSeqName and the list.
    void OverSelected();
};
