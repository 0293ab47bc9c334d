#pragma once
// The test-information window: the header of the test opened in the main window, shown and corrected.
// Save writes the editable fields of that TEST_INFO row with one UPDATE (values bound) over a connection
// the window opens for itself; the shared connection is not touched.
//
// Use: one instance for the program's life, created at start-up and kept in Module1::TestInfoForm:
//   auto* w = new frmTestInfo;                  // not shown
//   Module1::TestInfoForm = w;
// Showing a test ("Test Info"):
//   w->setTestId(id);                           // the WHERE of the save
//   w->ShowRecord(Module1::TestInfo->All());    // boxes 1..11 (or write txtTestInfo[k] directly)
//   w->show(); w->raise(); w->activateWindow();
// Close only hides the window (the boxes keep their texts); the close box unloads it: the boxes are emptied,
// so unsaved edits never outlive the window, and the next "Test Info" fills it from the database again.
#include <QString>
#include <QVariantList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QCloseEvent;
class QEvent;
class QShowEvent;
class clsConnection;

class frmTestInfo : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int TestId READ TestId WRITE setTestId)
public:
    explicit frmTestInfo(QWidget* parent = nullptr);
    ~frmTestInfo() override;

    // TEST_ID of the shown test; set by the main window.
    std::int32_t TestId() const { return testId_; }
    void setTestId(std::int32_t id) { testId_ = id; }

    // Boxes 1..11 from a test's 12-element record array (element 0 the id): texts as stored, numbers in
    // their general text, the date in its default text; box 5 the sample length in the display unit
    // "#0.##", box 8 the compaction pressure in the display unit "#0.##".
    void ShowRecord(const QVariantList& all);
    // The texts ShowRecord puts into boxes 1..11 (element 0 unused).
    static std::array<QString, 12> RecordTexts(const QVariantList& all);

    // The window's own connection of the last save (null before the first).
    const clsConnection* OwnConnection() const { return connection_.get(); }

    // Handlers, public so that callers and tests can run them as a click would.
    void cmdSave_Click();
    void cmdCancel_Click();
    // Unit captions of Label2(5) and Label2(8) from Module1; runs at load and at every activation.
    void Form_Activate();
    // The close box: hides the window and returns it to its state at load (empty boxes, no test, no own
    // connection).
    void Form_Unload();


    std::array<QLabel*, 12> Label1{};        // 1..11 captions of the boxes
    std::array<QLineEdit*, 12> txtTestInfo{};   // 1..11 in the order of clsTEST_INFO::All
    std::array<QLabel*, 12> Label2{};        // units: 4 "(g)", 5 length, 8 pressure, 9 "(min)"
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();

    std::unique_ptr<clsConnection> connection_;
    std::int32_t testId_ = 0;
};
