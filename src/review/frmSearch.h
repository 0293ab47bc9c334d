#pragma once
// The test search dialog: up to three conditions on the columns of TEST_INFO; the matching tests are
// listed newest id first, and a double-click hands one back to the open-test dialog.
//
// Use (the open-test dialog creates one for every search):
//   auto* dlg = new frmSearch(parent);         // loads when first shown (own connection, column lists)
//   Module1::SearchForm = dlg;
//   platform::showModal(*dlg);
//   if (!dlg->Cancelled()) name = dlg->CurrentTestName();
//
// The statement is built by review::buildSearch with bound values; the second group of condition rows
// (Combo2, cmbmath2, Text2) is shown, disabled, and not used.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QCloseEvent;
class QResizeEvent;
class QShowEvent;
class clsConnection;

namespace platform {
class ControlLayout;
}

class frmSearch : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Cancelled READ Cancelled WRITE setCancelled)
public:
    explicit frmSearch(QWidget* parent = nullptr);
    ~frmSearch() override;

    // True unless the dialog ended by a double-click on a result row.
    bool Cancelled() const { return cancelled_; }
    void setCancelled(bool value) { cancelled_ = value; }

    // The text of column 0 (the test name) of the result grid's current row; empty when there is none.
    QString CurrentTestName() const;
    // The statement and values of the last search that was built (empty before the first).
    const QString& LastStatement() const { return lastSql_; }
    const QVariantList& LastValues() const { return lastValues_; }

    // Load: layout recorded, own connection opened, column lists and operator lists filled, grid set up,
    // conditions cleared. A failure is shown as "ERROR: " and its description. Runs once; showing the
    // dialog runs it when nobody has.
    void Form_Load();

    // Handlers, public so that callers and tests can run them as a click would.
    void cmdSearch_Click();
    void cmdClear_Click();
    void Command1_Click();                // "Cancel & Return"
    void MSFlexGrid1_DblClick(int row);   // row of the grid, 0 = first result

    QLabel* Label1 = nullptr;
    std::array<QComboBox*, 4> Combo1{};     // 1..3
    std::array<QComboBox*, 4> cmbmath1{};   // 1..3
    std::array<QLineEdit*, 4> Text1{};      // 1..3
    QLabel* Label2 = nullptr;
    std::array<QComboBox*, 4> Combo2{};     // 1..3
    std::array<QComboBox*, 4> cmbmath2{};   // 1..3
    std::array<QLineEdit*, 4> Text2{};      // 1..3
    QLabel* Label3 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QPushButton* cmdSearch = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* Command1 = nullptr;

    // Design size of the window's inside, in pixels.
    static constexpr int DesignWidth = 900;
    static constexpr int DesignHeight = 560;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void Form_Resize();
    // Runs the statement on the own connection and lists the rows.
    void runSearch(const QString& sql, const QVariantList& values);

    std::unique_ptr<clsConnection> connection_;
    platform::ControlLayout* layout_ = nullptr;   // owned by the window
    QString lastSql_;
    QVariantList lastValues_;
    bool cancelled_ = true;
    bool loaded_ = false;
};
