#include "setup/frmSetup.h"

#include "platform/ControlLayout.h"
#include "platform/GridHelpers.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Command.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"
#include "setup/Controls.h"
#include "setup/HardwareSettings.h"
#include "setup/SequenceStore.h"
#include "setup/StepDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTableWidget>

#include <algorithm>

namespace grid = platform::grid;
using platform::tell;
using namespace setup::controls;

namespace {

const QString kNamePrompt = QStringLiteral("Please input new test sequence name:");
const QString kNameTitle = QStringLiteral("Input New Test Sequence Name");
const QString kDuplicateName = QStringLiteral("Duplicate test name - Please enter a unique test name.");
const QString kNameTooLong = QStringLiteral("Sequence name too long,name lengh can not over 50") + QChar(13) +
                             QStringLiteral("input again");
const QString kNoSequence =
    QStringLiteral("No test sequence is chosen. Choose one in the list, or make one with New, before saving.");
constexpr int kMaxNameLength = 50;

} // namespace

frmSetup::frmSetup(QWidget* parent) : QWidget(parent, Qt::Window)
{
    buildControls();
    deleteSteps_ = new frmDeleteSteps(this);
    copyPaste_ = new frmCopyPaste(this);
}

frmSetup::~frmSetup() = default;

// ---------------------------------------------------------------------------------------------------
// Controls

void frmSetup::buildControls()
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Torvan Setup"));
    resize(DesignWidth, DesignHeight);

    TabStrip1 = place(new QTabBar(this), QStringLiteral("TabStrip1"), {8, 6, 884, 28});
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    TabStrip1->addTab(QStringLiteral("Test Sequence Setup"));
    TabStrip1->setTabData(0, QStringLiteral("Sequence_setup"));
    TabStrip1->addTab(QStringLiteral("Hardware && Misc Setup"));
    connect(TabStrip1, &QTabBar::currentChanged, this, [this] { TabStrip1_Click(); });

    for (std::size_t i = 1; i <= 2; ++i) {
        auto* f = place(new QFrame(this), QStringLiteral("Frame3(%1)").arg(i), {8, 34, 884, 490});
        f->setFrameShape(QFrame::StyledPanel);
        Frame3[i] = f;
    }
    buildSequenceTab(Frame3[1]);
    buildHardwareTab(Frame3[2]);
    Frame3[2]->hide();
}

void frmSetup::buildSequenceTab(QFrame* tab)
{
    Label1 = label(tab, "Label1", QStringLiteral("Saved test sequences:"), {12, 10, 220, 20});
    txtSeqName = edit(tab, "txtSeqName", {12, 32, 220, 24});
    lstSeqName = place(new QListWidget(tab), QStringLiteral("lstSeqName"), {12, 60, 220, 300});

    MSFlexGrid1 = place(new QTableWidget(tab), QStringLiteral("MSFlexGrid1"), {244, 10, 456, 350},
                        QStringLiteral("Select the desired test step by click on it"));
    grid::setFlexLook(MSFlexGrid1);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    // The cell editor lies over the grid's cells.
    txtOverlap2 = new QLineEdit(MSFlexGrid1->viewport());
    txtOverlap2->setObjectName(QStringLiteral("txtOverlap2"));
    txtOverlap2->setInputMask(QStringLiteral("####"));
    txtOverlap2->hide();
    txtOverlap2->installEventFilter(this);
    connect(txtOverlap2, &QLineEdit::textEdited, this, [this] { txtOverlap2_Change(); });

    const int x = 712, w = 160, h = 30;
    cmdNew = button(tab, "cmdNew", QStringLiteral("&New"), {x, 10, w, h}, QStringLiteral("Click here to create a new test sequence"));
    cmdSaveas = button(tab, "cmdSaveas", QStringLiteral("Copy &As"), {x, 46, w, h}, QStringLiteral("Click here to save the selected test sequence as a different name"));
    cmdSaveChange = button(tab, "cmdSaveChange", QStringLiteral("&Save"), {x, 82, w, h}, QStringLiteral("Click here to save change of current sequence"));
    cmdDelete = button(tab, "cmdDelete", QStringLiteral("&Delete"), {x, 118, w, h}, QStringLiteral("Click here to delete the selected test sequence"));
    cmdInsertStep = button(tab, "cmdInsertStep", QStringLiteral("&Insert new step"), {x, 170, w, h}, QStringLiteral("Click here to insert a new step into the current test sequence"));
    cmdDeleteStep = button(tab, "cmdDeleteStep", QStringLiteral("De&lete Current step"), {x, 206, w, h}, QStringLiteral("Click here to delete a step from the current test sequence"));
    cmdDeleteSteps = button(tab, "cmdDeleteSteps", QStringLiteral("Delete Multi- Steps"), {x, 242, w, h}, QStringLiteral("Click here to delete multiple test steps"));
    cmdCopySteps = button(tab, "cmdCopySteps", QStringLiteral("Copy Batch Steps"), {x, 278, w, h}, QStringLiteral("Click here to copy & paste multiple test steps"));
    cmdReturn = button(tab, "cmdReturn", QStringLiteral("&Return"), {x, 452, w, h}, QStringLiteral("Click here to return to main menu"));

    frameRamp = place(new QGroupBox(QStringLiteral("Auto Step Builder"), tab), QStringLiteral("frameRamp"),
                      {12, 372, 688, 110});
    lblTotalSteps = label(frameRamp, "lblTotalSteps", QStringLiteral("Total Steps:"), {14, 32, 150, 22});
    txtTotalSteps = edit(frameRamp, "txtTotalSteps", {168, 30, 100, 24});
    lblStepTime = label(frameRamp, "lblStepTime", QStringLiteral("Step Time (min):"), {296, 32, 150, 22});
    txtStepTime = edit(frameRamp, "txtStepTime", {450, 30, 100, 24});
    lblTemp = label(frameRamp, "lblTemp", QStringLiteral("Temperature"), {14, 70, 150, 22});
    txtTemp = edit(frameRamp, "txtTemp", {168, 68, 100, 24});
    lblInterval = label(frameRamp, "lblInterval", QStringLiteral("Record Interval (sec):"), {296, 70, 150, 22});
    txtInterval = edit(frameRamp, "txtInterval", {450, 68, 100, 24});
    cmdOk = button(frameRamp, "cmdOk", QStringLiteral("OK"), {578, 28, 96, 30}, QStringLiteral("Click here to save as sequence steps"));
    cmdCancel = button(frameRamp, "cmdCancel", QStringLiteral("Cancel"), {578, 66, 96, 30}, QStringLiteral("Click here to clear Auto Step Builder text fields"));

    connect(lstSeqName, &QListWidget::currentRowChanged, this, [this] { lstSeqName_Click(); });
    connect(txtSeqName, &QLineEdit::textChanged, this, [this] { txtSeqName_Change(); });
    connect(MSFlexGrid1, &QTableWidget::cellClicked, this, [this](int row, int column) { MSFlexGrid1_Click(row + 1, column); });
    connect(cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });
    connect(cmdSaveas, &QPushButton::clicked, this, [this] { cmdSaveas_Click(); });
    connect(cmdSaveChange, &QPushButton::clicked, this, [this] { cmdSaveChange_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(cmdInsertStep, &QPushButton::clicked, this, [this] { cmdInsertStep_Click(); });
    connect(cmdDeleteStep, &QPushButton::clicked, this, [this] { cmdDeleteStep_Click(); });
    connect(cmdDeleteSteps, &QPushButton::clicked, this, [this] { cmdDeleteSteps_Click(); });
    connect(cmdCopySteps, &QPushButton::clicked, this, [this] { cmdCopySteps_Click(); });
    connect(cmdReturn, &QPushButton::clicked, this, [this] { cmdReturn_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmSetup::buildHardwareTab(QFrame* tab)
{
    Label2 = label(tab, "Label2", QStringLiteral("Comm port setup for Veduvovir:"), {20, 14, 300, 22});
    for (std::size_t i = 1; i <= 8; ++i) {
        const int y = 48 + int(i - 1) * 36;
        lblUnit[i] = place(new QLabel(QStringLiteral("Unit %1:").arg(i), tab), QStringLiteral("lblUnit(%1)").arg(i),
                           {20, y + 4, 60, 22});
        // The label's text stays level with its box, which keeps its height at every size.
        lblUnit[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        cmbUnit[i] = place(new QComboBox(tab), QStringLiteral("cmbUnit(%1)").arg(i), {84, y, 130, 26});
        lblUnit[i]->setBuddy(cmbUnit[i]);
    }
    Frame1 = place(new QGroupBox(QStringLiteral("Unit Selection"), tab), QStringLiteral("Frame1"), {260, 46, 200, 132});
    optCGS = place(new QRadioButton(QStringLiteral("CGS"), Frame1), QStringLiteral("optCGS"), {16, 28, 168, 24});
    OptSI = place(new QRadioButton(QStringLiteral("SI"), Frame1), QStringLiteral("OptSI"), {16, 60, 168, 24},
                  QStringLiteral("Click here to select Metric Units"));
    OptEI = place(new QRadioButton(QStringLiteral("EI"), Frame1), QStringLiteral("OptEI"), {16, 92, 168, 24},
                  QStringLiteral("Click here to select English Units"));
    cmdSave = button(tab, "cmdSave", QStringLiteral("&Save"), {260, 200, 130, 32}, QStringLiteral("Click here to save hardware setup"));
    cmdReturn2 = button(tab, "cmdReturn2", QStringLiteral("&Return"), {260, 244, 130, 32}, QStringLiteral("Click here to return to the Veduvovir main screen"));

    // Choosing an option performs its choice, also when the program chooses it.
    connect(optCGS, &QRadioButton::toggled, this, [this](bool on) {
        if (on) optCGS_Click();
    });
    connect(OptSI, &QRadioButton::toggled, this, [this](bool on) {
        if (on) OptSI_Click();
    });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdReturn2, &QPushButton::clicked, this, [this] { cmdReturn2_Click(); });
}

// ---------------------------------------------------------------------------------------------------
// Opening and closing

template <class Work>
bool frmSetup::reporting(Work&& work)
{
    try {
        work();
        return true;
    } catch (const DbError& e) {
        tell(e.description);
        return false;
    }
}

void frmSetup::Form_Load(std::shared_ptr<clsConnection> connection)
{
    // 1. The layout at the design size, the window centred.
    SaveControlLayout();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
    // 2-3. An empty grid, the editor hidden, the sequence tab shown.
    tempCaption_ = Module1::TempUnitCaption;
    InitStepGrid();
    txtOverlap2->hide();
    {
        const QSignalBlocker quiet(TabStrip1);
        TabStrip1->setCurrentIndex(0);
    }
    Frame3[1]->show();
    Frame3[2]->hide();
    CurrentTab = 1;
    CurrentSequenceId = 0;
    SequenceFields.clear();
    {
        const QSignalBlocker quiet(txtSeqName);
        txtSeqName->clear();
    }
    for (QLineEdit* e : {txtTotalSteps, txtStepTime, txtTemp, txtInterval}) e->clear();
    // 4-5. The shared sequence objects on the main window's connection, and the name list.
    connection_ = std::move(connection);
    Module1::DbConnection = connection_;
    reporting([&] {
        Module1::SeqInfo = std::make_shared<clsSEQUENCE_INFO>();
        Module1::SeqStep = std::make_shared<clsSEQUENCE_STEP>();
        Module1::SeqInfo->ConnectX(requireConnection(Module1::DbConnection));
        FillSeqNameList();
    });
    // 6. The hardware tab.
    LoadCommSettings();
    // 7.
    setTempCaption(tempCaption_);
    SequenceChanged = false;
    frameRamp->show();
}

void frmSetup::SaveControlLayout()
{
    resize(DesignWidth, DesignHeight);
    if (!layout_) {
        layout_ = new platform::ControlLayout(this, true);
        layout_->save(QSizeF(DesignWidth, DesignHeight));
    } else {
        // Opened again: the fractions are those of the first opening, the controls back at the design size.
        layout_->apply();
    }
}

void frmSetup::closeEvent(QCloseEvent* event)
{
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    cmdSave_Click();
    if (mainWindow_) mainWindow_->show();
    event->accept();
}

bool frmSetup::Form_QueryUnload()
{
    commitEditor();
    if (SequenceChanged) {
        const auto answer = platform::Prompts::current().ask(
            QStringLiteral("Current active sequence was changed.  Click OK to leave without saving, or Cancel to go "
                           "back and save the sequence."),
            platform::Buttons::OKCancel);
        if (answer != platform::Answer::OK) return false;
        SequenceChanged = false;
    }
    return true;
}

void frmSetup::cmdReturn_Click() { close(); }
void frmSetup::cmdReturn2_Click() { close(); }

void frmSetup::TabStrip1_Click()
{
    const int index = TabStrip1->currentIndex() + 1;
    if (index == CurrentTab || index < 1 || index > 2) return;
    commitEditor();
    Frame3[std::size_t(index)]->show();
    Frame3[std::size_t(CurrentTab)]->hide();
    CurrentTab = index;
}

// ---------------------------------------------------------------------------------------------------
// Sequences

QString frmSetup::chosenName() const
{
    const QListWidgetItem* item = lstSeqName->currentItem();
    return item ? item->text() : QString();
}

int frmSetup::Check_Duplicate(const QString& name)
{
    return setup::CheckDuplicate(requireObject(Module1::SeqInfo), requireConnection(Module1::DbConnection), name);
}

void frmSetup::InitStepGrid()
{
    MSFlexGrid1->setRowCount(0);
    grid::applyFormat(MSFlexGrid1,
                      QStringLiteral("<Step No|<Elapse Time (min)|<Temp ") + tempCaption_ +
                          QStringLiteral("|<Record Interval(sec)"),
                      true);
    for (int c = 0; c < setup::StepColumns; ++c) grid::setColumnWidthTwips(MSFlexGrid1, c, 1600);
    grid::setHeaderHeightTwips(MSFlexGrid1, 600);
    MSFlexGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MSFlexGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    steps_.clear();
    clearCurrentStep();
}

void frmSetup::FillSeqNameList()
{
    const QStringList names = setup::SequenceNames(requireObject(Module1::SeqInfo), requireConnection(Module1::DbConnection));
    {
        const QSignalBlocker quiet(lstSeqName);
        lstSeqName->clear();
        lstSeqName->addItems(names);
    }
    if (!names.isEmpty()) lstSeqName->setCurrentRow(0);   // chooses, and so loads, the first sequence
}

void frmSetup::lstSeqName_Click()
{
    commitEditor();
    if (lstSeqName->count() > 0 && lstSeqName->currentRow() >= 0) {
        reporting([&] {
            SequenceFields = setup::ReadSequence(requireObject(Module1::SeqInfo), chosenName());
            ReadSeqInfo();
            FillStepGrid();
        });
    }
    SequenceChanged = false;
}

void frmSetup::ReadSeqInfo() { CurrentSequenceId = SequenceFields.value(0).toDouble(); }

void frmSetup::FillStepGrid()
{
    if (CurrentSequenceId == 0) return;
    steps_.fill(setup::ReadSteps(requireObject(Module1::SeqStep), requireConnection(Module1::DbConnection),
                                 CurrentSequenceId));
    showSteps();
    clearCurrentStep();
    SequenceChanged = false;
}

void frmSetup::txtSeqName_Change()
{
    const QString typed = txtSeqName->text();
    if (typed.isEmpty()) return;
    for (int i = 0; i < lstSeqName->count(); ++i) {
        if (lstSeqName->item(i)->text().startsWith(typed, Qt::CaseSensitive)) {
            lstSeqName->setCurrentRow(i);
            return;
        }
    }
}

QString frmSetup::askNewName(bool checkLength)
{
    auto& prompts = platform::Prompts::current();
    for (;;) {
        const QString name = prompts.input(kNamePrompt, kNameTitle, QString());
        if (name.isEmpty()) return {};
        if (checkLength && name.size() > kMaxNameLength) {
            prompts.message(kNameTooLong);
            continue;
        }
        if (Check_Duplicate(name) == 0) return name;
        if (prompts.ask(kDuplicateName, platform::Buttons::OKCancel) != platform::Answer::OK) return {};
    }
}

void frmSetup::cmdNew_Click()
{
    commitEditor();
    reporting([&] {
        clsSEQUENCE_INFO& info = requireObject(Module1::SeqInfo);
        info.SetDefaults();
        const QString name = askNewName(true);
        if (name.isEmpty()) return;
        info.SetDefaults();
        info.SEQUENCE_NAME = name;
        info.AddNew();
        info.Refresh();
        FillSeqNameList();
    });
}

void frmSetup::cmdSaveas_Click()
{
    commitEditor();
    const QString source = chosenName();
    // With no sequence chosen the grid itself is copied: it has to pass Save's checks, before a name is asked.
    if (source.isEmpty() && refusedBySaveChecks()) return;
    reporting([&] {
        clsSEQUENCE_INFO& info = requireObject(Module1::SeqInfo);
        // A name the database can hold is asked for first, as New does.
        const QString name = askNewName(true);
        if (name.isEmpty()) return;
        // The copy takes the stored steps: the grid is read again from the database.
        SequenceFields = setup::ReadSequence(info, source);
        ReadSeqInfo();
        // A sequence no longer stored leaves the grid as it is, and the grid is what gets copied.
        if (CurrentSequenceId == 0 && refusedBySaveChecks()) return;
        FillStepGrid();
        SequenceFields = setup::CopySequence(requireConnection(Module1::DbConnection), info,
                                             requireObject(Module1::SeqStep), name, steps_.stored());
        ReadSeqInfo();
        SequenceChanged = false;
        info.Refresh();
        FillSeqNameList();
    });
}

bool frmSetup::refusedBySaveChecks()
{
    const auto failure = steps_.checkForSave();
    if (!failure) return false;
    tell(failure->message);
    if (failure->row > 0) openEditor(failure->row, failure->column);
    return true;
}

void frmSetup::cmdSaveChange_Click()
{
    commitEditor();
    if (refusedBySaveChecks()) return;
    // Steps saved under no sequence would be stored where nothing ever finds them.
    if (CurrentSequenceId == 0) {
        tell(kNoSequence);
        return;
    }
    reporting([&] {
        QVariantList fields = SequenceFields;
        while (fields.size() < 4) fields << QVariant();
        if (fields[2].isNull()) fields[2] = 20;
        if (fields[3].isNull()) fields[3] = 60;
        fields[0] = CurrentSequenceId;
        fields[1] = chosenName();
        setup::SaveSequence(requireConnection(Module1::DbConnection), requireObject(Module1::SeqInfo),
                            requireObject(Module1::SeqStep), fields, steps_.stored());
        SequenceFields = fields;
        SequenceChanged = false;
    });
}

void frmSetup::cmdDelete_Click()
{
    commitEditor();
    const auto answer = platform::Prompts::current().ask(
        QStringLiteral("Are you sure you want to delete this test setup and test results?"), platform::Buttons::OKCancel);
    if (answer != platform::Answer::OK) return;
    reporting([&] {
        clsSEQUENCE_INFO& info = requireObject(Module1::SeqInfo);
        setup::DeleteSequence(requireConnection(Module1::DbConnection), info, requireObject(Module1::SeqStep),
                              chosenName());
        info.Refresh();
        FillSeqNameList();
        if (lstSeqName->count() == 0) {
            // The last sequence went: nothing is left for the grid to show or a save to write to.
            CurrentSequenceId = 0;
            SequenceFields.clear();
            steps_.clear();
            showSteps();
            SequenceChanged = false;
        }
    });
}

// ---------------------------------------------------------------------------------------------------
// Step grid and cell editor

QString frmSetup::CellText(int row, int column) const
{
    if (row == 0) {
        const QTableWidgetItem* head = MSFlexGrid1->horizontalHeaderItem(column);
        return head ? head->text() : QString();
    }
    return steps_.text(row, column);
}

void frmSetup::showSteps()
{
    const int n = steps_.count();
    MSFlexGrid1->setRowCount(n);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < setup::StepColumns; ++c) {
            QTableWidgetItem* item = MSFlexGrid1->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                MSFlexGrid1->setItem(r, c, item);
            }
            item->setText(steps_.text(r + 1, c));
        }
    }
}

int frmSetup::CurrentRow() const
{
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void frmSetup::clearCurrentStep()
{
    MSFlexGrid1->setCurrentIndex(QModelIndex());
    MSFlexGrid1->clearSelection();
}

void frmSetup::MSFlexGrid1_Click(int row, int column)
{
    commitEditor();
    if (row < 1 || row > steps_.count() || column < 0 || column >= setup::StepColumns) return;
    MSFlexGrid1->setCurrentCell(row - 1, column);
    if (column == 0) return;
    openEditor(row, column);
}

void frmSetup::openEditor(int row, int column)
{
    EditRow = row;
    EditCol = column;
    MSFlexGrid1->setCurrentCell(row - 1, column);
    MSFlexGrid1->scrollTo(MSFlexGrid1->model()->index(row - 1, column));
    txtOverlap2->setGeometry(MSFlexGrid1->visualRect(MSFlexGrid1->model()->index(row - 1, column)));
    txtOverlap2->setInputMask(QString());
    txtOverlap2->setText(steps_.text(row, column));
    txtOverlap2->show();
    txtOverlap2->setFocus();
}

void frmSetup::txtOverlap2_KeyDown(int key)
{
    SequenceChanged = true;
    int row = EditRow, column = EditCol;
    switch (key) {
    case Qt::Key_Up: if (row > 1) --row; break;
    case Qt::Key_Left: if (column > 1) --column; break;
    case Qt::Key_Down: if (row < steps_.count()) ++row; break;
    case Qt::Key_Right: if (column < setup::StepColumns - 1) ++column; break;
    default: return;
    }
    if (row == EditRow && column == EditCol) return;
    steps_.setText(EditRow, EditCol, txtOverlap2->text());
    if (QTableWidgetItem* item = MSFlexGrid1->item(EditRow - 1, EditCol)) item->setText(txtOverlap2->text());
    openEditor(row, column);
}

void frmSetup::txtOverlap2_Change() { SequenceChanged = true; }

void frmSetup::txtOverlap2_LostFocus()
{
    if (txtOverlap2->isHidden()) return;
    steps_.setText(EditRow, EditCol, txtOverlap2->text());
    if (QTableWidgetItem* item = MSFlexGrid1->item(EditRow - 1, EditCol)) item->setText(txtOverlap2->text());
    txtOverlap2->hide();
    txtOverlap2->clear();
    txtOverlap2->setInputMask(QStringLiteral("####"));
}

void frmSetup::commitEditor() { txtOverlap2_LostFocus(); }

bool frmSetup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtOverlap2) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            txtOverlap2_KeyDown(key);
            if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right) return true;
        } else if (event->type() == QEvent::FocusOut) {
            // Another control took the focus (not merely another window).
            const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason) txtOverlap2_LostFocus();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------------
// Step editing

void frmSetup::cmdInsertStep_Click()
{
    commitEditor();
    const int r = CurrentRow();
    if (const auto full = steps_.insertRefusal()) {
        platform::Prompts::current().message(full->message, full->title);
        return;
    }
    frmInsertStep dialog(tempCaption_, this);
    platform::showModal(dialog);
    if (!dialog.CancelInp()) {
        steps_.insert(r, dialog.Before(), dialog.time(), dialog.Temp(), dialog.Rate());
        showSteps();
    }
    SequenceChanged = true;
}

void frmSetup::cmdDeleteStep_Click()
{
    commitEditor();
    if (!steps_.removeStep(CurrentRow())) return;
    showSteps();
    SequenceChanged = true;
}

void frmSetup::cmdDeleteSteps_Click()
{
    commitEditor();
    if (steps_.count() == 0) return;
    deleteSteps_->Form_Load(steps_.count());
    platform::showModal(*deleteSteps_);
    DeleteFromStep = deleteSteps_->DeleteFromStep;
    DeleteToStep = deleteSteps_->DeleteToStep;
    if (DeleteFromStep == 0) return;
    if (const auto refused = steps_.removeRange(DeleteFromStep, DeleteToStep)) {
        platform::Prompts::current().message(refused->message, refused->title);
        return;
    }
    showSteps();
    SequenceChanged = true;
}

void frmSetup::cmdCopySteps_Click()
{
    commitEditor();
    if (steps_.count() == 0) return;
    copyPaste_->Form_Load(steps_.count(), tempCaption_);
    platform::showModal(*copyPaste_);
    CopyFromStep = copyPaste_->CopyFromStep;
    CopyToStep = copyPaste_->CopyToStep;
    PasteToStep = copyPaste_->PasteToStep;
    PastePosition = copyPaste_->PastePosition;
    NewPressure = copyPaste_->NewPressure;
    NewTemperature = copyPaste_->NewTemperature;
    if (CopyFromStep == 0) return;
    if (const auto refused = steps_.copyPaste(CopyFromStep, CopyToStep, PasteToStep, PastePosition == 1, NewTemperature)) {
        platform::Prompts::current().message(refused->message, refused->title);
        return;
    }
    showSteps();
    SequenceChanged = true;
}

// ---------------------------------------------------------------------------------------------------
// Auto Step Builder

void frmSetup::cmdOk_Click()
{
    commitEditor();
    if (const auto refused = steps_.build(txtTotalSteps->text(), txtStepTime->text(), txtTemp->text(), txtInterval->text())) {
        tell(refused->message);
        using F = setup::StepTable::BuilderRefusal;
        (refused->field == F::TotalSteps ? txtTotalSteps : refused->field == F::Temp ? txtTemp : txtInterval)->setFocus();
        return;
    }
    showSteps();
    clearCurrentStep();
    frameRamp->show();
    SequenceChanged = true;
}

void frmSetup::cmdCancel_Click()
{
    for (QLineEdit* e : {txtTotalSteps, txtStepTime, txtTemp, txtInterval}) e->clear();
}

// ---------------------------------------------------------------------------------------------------
// Hardware settings

void frmSetup::LoadCommSettings()
{
    const QStringList entries = setup::PortEntries();
    for (std::size_t i = 1; i <= 8; ++i) {
        cmbUnit[i]->clear();
        cmbUnit[i]->addItems(entries);
        cmbUnit[i]->setCurrentIndex(-1);
    }
    // No unit choice until the file gives one.
    clearUnitOptions();
    const SettingsFile::ReadResult file = SettingsFile::readHardware();
    const int ports = std::min<int>(int(file.values.size()), SettingsFile::PortCount);
    for (int i = 1; i <= ports; ++i) cmbUnit[std::size_t(i)]->setCurrentIndex(file.values[std::size_t(i - 1)]);
    // The chosen option sets the flag (1, or 2 for any other value).
    const auto flag = file.value(SettingsFile::FlagPosition);
    if (flag) (*flag == 1 ? optCGS : OptSI)->setChecked(true);
    fileUnitSystem_ = Module1::UnitSystem;
    fileHasFlag_ = flag.has_value();
    if (file.failure) tell(file.failure->description);
}

void frmSetup::clearUnitOptions()
{
    for (QRadioButton* o : {optCGS, OptSI, OptEI}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
}

void frmSetup::restoreFileUnits()
{
    clearUnitOptions();
    if (fileHasFlag_) (fileUnitSystem_ == 1 ? optCGS : OptSI)->setChecked(true);
    useUnitSystem(fileUnitSystem_);
}

void frmSetup::optCGS_Click() { useUnitSystem(1); }
void frmSetup::OptSI_Click() { useUnitSystem(2); }

void frmSetup::useUnitSystem(int unitSystem)
{
    const auto shown = [](int flag) { return flag == 1 ? 1 : 2; };
    const int from = shown(Module1::UnitSystem), to = shown(unitSystem);
    Module1::UnitSystem = unitSystem;
    if (from == to) return;
    // The grid's temperatures keep their degrees: a save after the change stores what they meant before it.
    commitEditor();
    steps_.changeUnits(from, to);
    showSteps();
    setTempCaption(Module1::TempCaptionOf(to));
}

void frmSetup::setTempCaption(const QString& caption)
{
    tempCaption_ = caption;
    if (QTableWidgetItem* head = MSFlexGrid1->horizontalHeaderItem(setup::ColTemp))
        head->setText(QStringLiteral("Temp ") + caption);
    lblTemp->setText(QStringLiteral("Temperature") + caption);
}

void frmSetup::cmdSave_Click()
{
    std::array<int, SettingsFile::PortCount> choices{};
    for (std::size_t i = 0; i < choices.size(); ++i) choices[i] = cmbUnit[i + 1]->currentIndex();
    if (setup::FirstSharedPort(choices) != 0) {
        tell(setup::PortInUseMessage);
        restoreFileUnits();
        return;
    }
    if (const auto failure = SettingsFile::write(choices, Module1::UnitSystem)) {
        tell(QStringLiteral("The hardware settings could not be saved to initial.txt (%1). The previous file is kept.")
                 .arg(failure->description));
        restoreFileUnits();
        return;
    }
    fileUnitSystem_ = Module1::UnitSystem;
    fileHasFlag_ = true;
    Module1::SetUnitCaptions();
    // The sequence tab's changed mark stays: unsaved step edits are still asked about on closing.
}
