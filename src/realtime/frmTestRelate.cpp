#include "realtime/frmTestRelate.h"

#include "platform/GridHelpers.h"
#include "platform/Prompts.h"
#include "realtime/ActiveTests.h"
#include "records/DbError.h"
#include "records/TestDeletion.h"
#include "records/Module1.h"
#include "records/RecordCursor.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/format.h"

#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char* const kCaptions[12] = {nullptr,
                                   "TEST NAME",
                                   "TEST DATE",
                                   "RESEARCHER",
                                   "SAMPLE Wt",
                                   "SAMPLE Len.",
                                   "HARDNESS",
                                   "SAMPLE DESCRIPTION",
                                   "COMPACT PRESS.",
                                   "COMPACT TIME.",
                                   "COMPACT DATE",
                                   "FLUID DESCRIPTION"};

// The text columns of TEST_INFO with their sizes, checked before anything is written.
struct TextLimit {
    int box;
    int size;
    const char* name;
};
constexpr TextLimit kTextLimits[] = {{1, 100, "Test Name"},
                                     {3, 50, "Researcher"},
                                     {7, 255, "Sample Description"},
                                     {10, 50, "Compact Date"},
                                     {11, 255, "Fluid Description"}};

using platform::tell;

clsTEST_INFO& testInfo()
{
    if (!Module1::TestInfo) Module1::TestInfo = std::make_shared<clsTEST_INFO>();
    return *Module1::TestInfo;
}

clsConnection& connection() { return requireConnection(Module1::DbConnection); }

} // namespace

frmTestRelate::frmTestRelate(QWidget* parent) : QDialog(parent)
{
    buildControls();
    Form_Load();
}

frmTestRelate::~frmTestRelate() = default;

void frmTestRelate::buildControls()
{
    setObjectName(QStringLiteral("frmTestRelate"));
    setWindowTitle(QStringLiteral("START TEST"));

    auto named = [](QWidget* w, const QString& name) {
        w->setObjectName(name);
        return w;
    };

    for (int k = 1; k <= 11; ++k) {
        txtTestInfo[k] = new QLineEdit(this);
        named(txtTestInfo[k], QStringLiteral("txtTestInfo(%1)").arg(k));
        lblTestInfo[k] = new QLabel(QString::fromLatin1(kCaptions[k]), this);
        named(lblTestInfo[k], QStringLiteral("lblTestInfo(%1)").arg(k));
        lblTestInfo[k]->setBuddy(txtTestInfo[k]);
    }
    for (int k : {4, 5, 6, 8, 9}) txtTestInfo[k]->setText(QStringLiteral("0"));

    Label9 = new QLabel(QStringLiteral("(g)"), this);
    Label13 = new QLabel(this);
    Label14 = new QLabel(this);
    Label15 = new QLabel(QStringLiteral("(min)"), this);
    Label16 = new QLabel(QStringLiteral("Test Unit: "), this);
    Label17 = new QLabel(this);
    Label18 = new QLabel(this);
    named(Label9, QStringLiteral("Label9"));
    named(Label13, QStringLiteral("Label13"));
    named(Label14, QStringLiteral("Label14"));
    named(Label15, QStringLiteral("Label15"));
    named(Label16, QStringLiteral("Label16"));
    named(Label17, QStringLiteral("Label17"));
    named(Label18, QStringLiteral("Label18"));
    QFont strong = Label17->font();
    strong.setBold(true);
    Label17->setFont(strong);
    Label18->setFont(strong);

    Label1[6] = new QLabel(QStringLiteral("Copy steps from existing test (enter test name here):"), this);
    named(Label1[6], QStringLiteral("Label1(6)"));
    txtCopyFrom = new QLineEdit(this);
    named(txtCopyFrom, QStringLiteral("txtCopyFrom"));
    cmdPick = new QPushButton(QStringLiteral("Pick Name..."), this);
    named(cmdPick, QStringLiteral("cmdPick"));
    cmdPick->setToolTip(QStringLiteral("Click here to choose an existing test to copy"));
    cmdCopy = new QPushButton(QStringLiteral("&Get && Copy"), this);
    named(cmdCopy, QStringLiteral("cmdCopy"));
    cmdCopy->setToolTip(QStringLiteral("Click here to copy steps from an existing test"));
    MSFlexGrid1 = new QTableWidget(this);
    named(MSFlexGrid1, QStringLiteral("MSFlexGrid1"));
    Command2 = new QPushButton(QStringLiteral("OK"), this);
    named(Command2, QStringLiteral("Command2"));
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    named(Command1, QStringLiteral("Command1"));
    for (QPushButton* b : {cmdPick, cmdCopy, Command1}) b->setAutoDefault(false);
    Command2->setDefault(true);

    // Frame1: name, date, researcher, fluid. Frame2: the sample.
    Frame1 = new QGroupBox(QStringLiteral("TEST INFOMATION"), this);
    named(Frame1, QStringLiteral("Frame1"));
    Frame2 = new QGroupBox(QStringLiteral("SAMPLE INFOMATION"), this);
    named(Frame2, QStringLiteral("Frame2"));

    // One row per box, top down: caption, box and the unit label where there is one.
    struct Row {
        int box;
        QLabel* unit;
    };
    auto addRows = [this](QGridLayout* g, std::initializer_list<Row> rows) {
        int row = 0;
        for (const Row& r : rows) {
            g->addWidget(lblTestInfo[r.box], row, 0);
            g->addWidget(txtTestInfo[r.box], row, 1);
            if (r.unit) g->addWidget(r.unit, row, 2);
            ++row;
        }
    };
    auto* g1 = new QGridLayout(Frame1);
    addRows(g1, {{1, nullptr}, {2, nullptr}, {3, nullptr}, {11, nullptr}});
    g1->setRowStretch(4, 1);
    g1->setColumnMinimumWidth(1, 220);

    auto* g2 = new QGridLayout(Frame2);
    addRows(g2, {{4, Label9}, {5, Label13}, {6, nullptr}, {7, nullptr}, {8, Label14}, {9, Label15}, {10, nullptr}});
    g2->setColumnMinimumWidth(1, 200);
    g2->setColumnMinimumWidth(2, 40);

    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(Label16);
    unitRow->addWidget(Label17);
    unitRow->addSpacing(24);
    unitRow->addWidget(Label18);
    unitRow->addStretch(1);

    auto* frames = new QHBoxLayout;
    frames->addWidget(Frame1, 1);
    frames->addWidget(Frame2, 1);

    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(txtCopyFrom, 1);
    copyRow->addWidget(cmdPick);
    copyRow->addWidget(cmdCopy);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command1);

    auto* top = new QVBoxLayout(this);
    top->addLayout(unitRow);
    top->addLayout(frames);
    top->addWidget(Label1[6]);
    top->addLayout(copyRow);
    top->addWidget(MSFlexGrid1);
    top->addLayout(buttons);
    // The dialog follows its contents: it grows while the pick grid is shown and shrinks after.
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdPick, &QPushButton::clicked, this, [this] { cmdPick_Click(); });
    connect(cmdCopy, &QPushButton::clicked, this, [this] { cmdCopy_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(MSFlexGrid1, &QTableWidget::cellClicked, this, [this](int row, int) { MSFlexGrid1_Click(row); });
}

void frmTestRelate::Form_Load()
{
    txtTestInfo[2]->setText(Format::dateTime(QDateTime::currentDateTime(), QStringLiteral("mm/dd/yyyy hh:mm:ss")));
    Label13->setText(Module1::LengthUnitCaption);
    Label14->setText(Module1::PressUnitCaption);
    setUpGrid();
    FillList();
    cancels_ = true;
}

void frmTestRelate::setUpGrid()
{
    namespace grid = platform::grid;
    grid::setFlexLook(MSFlexGrid1);
    MSFlexGrid1->setRowCount(0);
    grid::applyFormat(MSFlexGrid1, QStringLiteral("<Test \rName|<Test\rDate|<Fluid\rInfo"), true);
    for (int c = 0; c < 3; ++c) grid::setColumnWidthTwips(MSFlexGrid1, c, 1200);
    grid::setHeaderHeightTwips(MSFlexGrid1, 800);
    MSFlexGrid1->setFixedHeight(grid::twipsToPixels(2600));
    MSFlexGrid1->hide();
}

void frmTestRelate::FillList()
{
    clsTEST_INFO& info = testInfo();
    info.ConnectX(connection());
    const RowTable list = info.UsedName();
    MSFlexGrid1->setRowCount(0);
    for (int r = 0; r < list.rowCount(); ++r) {
        // The third column shows the third field of the list, the sample description.
        platform::grid::appendRow(MSFlexGrid1, {list.value(0, r).toString(), RecordValue::text(list.value(1, r)),
                                                list.value(2, r).toString()});
    }
}

void frmTestRelate::ShowWaferLength(double inches)
{
    txtTestInfo[5]->setText(Format::text(Module1::ToDisplayLength(inches), QStringLiteral("##.##")));
    txtTestInfo[5]->setEnabled(false);
}

void frmTestRelate::cmdPick_Click()
{
    MSFlexGrid1->show();
    MSFlexGrid1->raise();
}

void frmTestRelate::MSFlexGrid1_Click(int row)
{
    if (row < 0 || row >= MSFlexGrid1->rowCount()) return;
    MSFlexGrid1->setCurrentCell(row, 0);
    const QTableWidgetItem* item = MSFlexGrid1->item(row, 0);
    txtCopyFrom->setText(item ? item->text() : QString());
    MSFlexGrid1->hide();
    cmdCopy_Click();
}

void frmTestRelate::cmdCopy_Click()
{
    const QString name = txtCopyFrom->text();
    if (name.isEmpty()) return;
    bool found = false;
    for (int r = 0; r < MSFlexGrid1->rowCount() && !found; ++r) {
        const QTableWidgetItem* item = MSFlexGrid1->item(r, 0);
        found = item && item->text() == name;   // exact, case-sensitive
    }
    if (!found) {
        tell(QStringLiteral("Your test sequence name is not found.  Please try again."));
        return;
    }
    try {
        clsTEST_INFO& info = testInfo();
        info.TEST_NAME = name;
        info.GetTestDetail();
        const QVariantList all = info.All();
        if (all[0].toDouble() == 0) return;
        for (int k : {4, 6, 7, 9, 10, 11}) txtTestInfo[k]->setText(RecordValue::text(all[k]));
        txtTestInfo[8]->setText(
            Format::number(Module1::ToDisplayPress(all[8].toDouble()), QStringLiteral("####")));
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
    }
}

bool frmTestRelate::validEntries(const std::array<QString, 12>& fields)
{
    if (!Format::strictDate(fields[2])) {
        tell(QStringLiteral("The test date \"%1\" is not a valid date. Please enter it as mm/dd/yyyy "
                            "hh:mm:ss.")
                 .arg(fields[2]));
        txtTestInfo[2]->setFocus();
        return false;
    }
    for (const TextLimit& limit : kTextLimits) {
        if (fields[limit.box].size() > limit.size) {
            tell(QStringLiteral("The max text length of '%1' is %2")
                     .arg(QString::fromLatin1(limit.name))
                     .arg(limit.size));
            txtTestInfo[limit.box]->setFocus();
            return false;
        }
    }
    return true;
}

void frmTestRelate::Command2_Click()
{
    // The name is trimmed once; the duplicate check, the stored row and the caller's lookup all use it.
    const QString name = txtTestInfo[1]->text().trimmed();
    if (name.isEmpty()) {
        tell(QStringLiteral("Please enter a test name to identify the test."));
        return;
    }
    std::array<QString, 12> fields;
    fields[1] = name;
    for (int k = 2; k <= 11; ++k) fields[k] = txtTestInfo[k]->text().trimmed();
    // Everything the store would refuse is checked before any row is touched.
    if (!validEntries(fields)) return;

    bool exists = false;
    try {
        clsTEST_INFO& info = testInfo();
        // Bound again, so that the lookup, the delete and the insert run on the connection whose
        // transaction guards the replacement.
        info.ConnectX(connection());
        info.TEST_NAME = name;
        info.GetTestDetail();
        exists = !(info.EOF_() && info.BOF());
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
        return;
    }
    // A test that a cell holds is not replaced: the cell would log under a header that is gone.
    if (exists && refuseReplace(name)) return;
    if (exists) {
        const auto answer = platform::Prompts::current().ask(
            QStringLiteral("Duplicate test name. do you want replace it"), platform::Buttons::YesNo);
        if (answer != platform::Answer::Yes) return;
    }

    cancels_ = false;
    QVariantList record;
    record.reserve(12);
    record.append(0.0);   // the id is assigned by the database
    for (int k = 1; k <= 11; ++k) record.append(fields[k]);
    record[5] = Module1::ToStoredLength(Format::leading(fields[5]));
    record[8] = Module1::ToStoredPress(Format::leading(fields[8]));
    if (!store(record, exists)) {
        cancels_ = true;
        return;
    }
    txtTestInfo[1]->setText(name);
    accept();
}

bool frmTestRelate::store(const QVariantList& record, bool replace)
{
    bool failed = false;
    QString failure;
    try {
        clsTEST_INFO& info = testInfo();
        info.SetAll(record);
        if (!replace) {
            info.AddNew();
            return true;
        }
        // The old header goes and the new one comes in one transaction: a refused insert keeps the old
        // header. The old test's stored points stay in TEST_RESULT. A header that a cell holds does not go:
        // checked on the very rows the delete removes.
        const QString name = info.TEST_NAME;
        const std::optional<std::vector<qint32>> removed = DeleteTestsNamed(
            connection(), info, nullptr, name,
            [](const std::vector<qint32>& ids) { return realtime::anyTestInUse(ids); }, [&] { info.AddNew(); });
        if (!removed) {
            // Refused on the rows the delete would have removed; told once the transaction has ended.
            refuseReplace(name);
            return false;
        }
        // Their points still queued in a unit screen go with the headers: none may be stored afterwards.
        realtime::dropQueuedPoints(*removed);
        return true;
    } catch (const DbError& e) {
        failed = true;
        failure = e.description;
    }
    if (!failed) return true;
    // Shown only after the transaction has ended.
    tell(QStringLiteral("ERROR: ") + failure);
    return false;
}

bool frmTestRelate::refuseReplace(const QString& name)
{
    std::optional<realtime::HeldTest> held;
    try {
        held = realtime::cellHoldingTest(TestIdsNamed(connection(), name));
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
        return true;
    }
    if (!held) return false;
    tell(ReplaceRefusedMessage.arg(name).arg(QChar::fromLatin1(held->cell == 2 ? 'B' : 'A')).arg(held->unit));
    return true;
}

void frmTestRelate::Command1_Click()
{
    cancels_ = true;
    reject();
}
