#pragma once
// The three dialogs of step editing: insert one step (frmInsertStep, a fresh dialog per insert), delete a
// range of steps (frmDeleteSteps) and copy and paste a range (frmCopyPaste), the last two kept by the setup
// window and filled afresh at every opening. Each is shown modally and ends by hiding itself; closing one
// by its frame counts as Cancel.
#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmInsertStep : public QDialog {
    Q_OBJECT
public:
    // tempCaption: the unit of the temperature entry, "(°F)" or "(°C)".
    explicit frmInsertStep(const QString& tempCaption, QWidget* parent = nullptr);

    // Results, read after the modal show.
    double TempError() const { return 0; }
    double time() const { return time_; }
    double Temp() const { return temp_; }
    double TempSTEPRate() const { return 0; }
    double Cycle() const { return 0; }
    bool Before() const { return before_; }
    bool CancelInp() const { return cancelInp_; }
    double Press() const { return 0; }
    double Rate() const { return rate_; }

    void cmbBeforeAfter_Click();
    void cmbBeforeAfter_Change();
    void cmdOk_Click();
    void cmdCancel_Click();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbBeforeAfter = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtStepNo = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtTime = nullptr;
    QLabel* lblTemp = nullptr;
    QLineEdit* txtTemp = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtRate = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

    void reject() override;

private:
    double time_ = 0, temp_ = 0, rate_ = 0;
    bool before_ = true;
    bool cancelInp_ = true;   // until OK succeeds: a dialog closed any other way inserts nothing
};

class frmDeleteSteps : public QDialog {
    Q_OBJECT
public:
    explicit frmDeleteSteps(QWidget* parent = nullptr);

    // Fills both lists with "1" .. steps and shows "1"; the result is cancelled until OK succeeds.
    void Form_Load(int steps);

    // 0 = cancelled.
    int DeleteFromStep = 0;
    int DeleteToStep = 0;

    void cmdOk_Click();
    void cmdCancel_Click();
    void reject() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbDeletefrom = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cmbDeleteto = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    int steps_ = 0;
};

class frmCopyPaste : public QDialog {
    Q_OBJECT
public:
    explicit frmCopyPaste(QWidget* parent = nullptr);

    // Fills the step lists with "1" .. steps and shows "1", "after", empty entries, the temperature label
    // with tempCaption; cancelled until OK.
    void Form_Load(int steps, const QString& tempCaption);

    // 0 = cancelled.
    int CopyFromStep = 0;
    int CopyToStep = 0;
    int PasteToStep = 0;
    int PastePosition = 0;   // 0 after, 1 before
    double NewPressure = 0;
    double NewTemperature = 0;

    void cmbBeforeAfter_Change();
    void cmdOk_Click();
    void cmdCancel_Click();
    void reject() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbCopyfrom = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cmbCopyto = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cmbBeforeAfter = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* cmbPasteto = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lblTemp = nullptr;
    QLineEdit* txtNewTemperature = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* txtNewPressure = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    int steps_ = 0;
};
