#pragma once
// What the open and overlay dialogs share: the list of stored tests (newest first) with its two labels, the
// name box and the OK and Cancel buttons, loading on the first show, and the look-ups in the list. Each
// dialog adds its own buttons and raises its own signal from OK.
#include "records/RecordCursor.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QShowEvent;

class TestListDialog : public QDialog {
    Q_OBJECT
public:
    ~TestListDialog() override;

    // Load: new record objects in Module1::TestInfo and Module1::TestResult, bound to Module1::DbConnection
    // (this reads the list of tests), the grid set up and filled. Throws DbError when the connection is
    // missing or not open or the list cannot be read. Showing the dialog loads it when the caller has not.
    void Form_Load();
    bool IsLoaded() const { return loaded_; }

    // Refills the grid from Module1::TestInfo->UsedName(): one row per test.
    virtual void FillList();

    // The list last shown: (column, row) with TEST_NAME, TEST_DATE, SAMPLE_description, Fluid_Info.
    const RowTable& TestList() const { return testList_; }
    // Rows of the grid below its heading (0 = the newest test) and the name shown in a row.
    int ListCount() const;
    QString ListedName(int row) const;
    // The first row whose name equals name exactly (case-sensitive), made the current row; -1 if none.
    int FindName(const QString& name);
    // The current row of the grid (0 = the newest test), -1 when the list is empty.
    int CurrentRow() const;

    // Handlers, public so that callers and tests can run them as a click would.
    void MSFlexGrid1_Click(int row);   // row of the grid, 0 = the newest test: made current, name into the box
    virtual void cmdOk_Click() = 0;
    void cmdCancel_Click();

    QLabel* Label1 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtSeqName = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    // The shared controls of a 560 x 396 dialog; headingFormat is the grid's heading row ("|" between
    // columns, "<" for left-aligned).
    TestListDialog(QWidget* parent, const char* name, const QString& title, const QString& headingFormat);

    void showEvent(QShowEvent* event) override;
    void setCurrentRow(int row);
    // Names a control after its member and returns it.
    static QWidget* named(QWidget* control, const char* name);

    RowTable testList_;

private:
    QString headingFormat_;
    bool loaded_ = false;
};
