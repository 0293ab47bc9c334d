#pragma once
// The sequence picker: a small modal dialog in which the operator picks the stored test sequence that a
// cell of the sequence-test screen is to run. It neither reads nor writes the database: the caller fills
// lstSeqName, shows it modally and reads Cancels and the selected name afterwards.
//
//   frmNameSeq picker;
//   ... add the names to picker.lstSeqName, select the first ...
//   platform::showModal(picker);
//   if (picker.Cancels()) ...; else name = picker.SelectedName();   // empty when nothing is selected
//
// OK and Enter answer the choice; Cancel, Escape and closing from the frame answer Cancels = true.
#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

class frmNameSeq : public QDialog {
    Q_OBJECT
public:
    explicit frmNameSeq(QWidget* parent = nullptr);
    ~frmNameSeq() override;

    // True when the operator cancelled; false when the picker is created.
    bool Cancels() const { return cancels_; }
    void setCancels(bool value) { cancels_ = value; }

    // Text of the selected item of lstSeqName; empty when nothing is selected.
    QString SelectedName() const;

    void cmdOk_Click();
    void cmdCancel_Click();

    QLabel* Label2 = nullptr;
    QListWidget* lstSeqName = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

    // Escape and the frame's close box arrive here: they cancel.
    void reject() override;
    void accept() override;

private:
    bool cancels_ = false;
};
