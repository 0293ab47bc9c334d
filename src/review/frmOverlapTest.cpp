#include "review/frmOverlapTest.h"

#include "platform/Prompts.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "review/TestListGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace testlist = review::testlist;

frmOverlapTest::frmOverlapTest(QWidget* parent) : QDialog(parent) { buildControls(); }

frmOverlapTest::~frmOverlapTest() = default;

void frmOverlapTest::buildControls()
{
    setObjectName(QStringLiteral("frmOverlapTest"));
    setWindowTitle(QStringLiteral("Overlap Saved Test"));
    resize(560, 396);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    Label1 = new QLabel(QStringLiteral("Select a saved test name:"), this);
    named(Label1, "Label1")->setGeometry(12, 10, 300, 20);
    MSFlexGrid1 = new QTableWidget(this);
    named(MSFlexGrid1, "MSFlexGrid1")->setGeometry(12, 32, 536, 250);
    Label2 = new QLabel(QStringLiteral("Enter a new test name:"), this);
    named(Label2, "Label2")->setGeometry(12, 292, 300, 20);
    txtSeqName = new QLineEdit(this);
    named(txtSeqName, "txtSeqName")->setGeometry(12, 314, 536, 24);
    Label2->setBuddy(txtSeqName);

    cmdOk = new QPushButton(QStringLiteral("&OK"), this);
    named(cmdOk, "cmdOk")->setGeometry(12, 352, 100, 30);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    named(cmdCancel, "cmdCancel")->setGeometry(120, 352, 100, 30);
    cmdOk->setDefault(true);

    connect(MSFlexGrid1, &QTableWidget::cellClicked, this, [this](int row, int) { MSFlexGrid1_Click(row); });
    connect(MSFlexGrid1, &QTableWidget::cellDoubleClicked, this, [this](int, int) { MSFlexGrid1_DblClick(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmOverlapTest::Form_Load()
{
    testlist::bindNewRecords();
    InitTestGrid();
    FillList();
    loaded_ = true;
}

void frmOverlapTest::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (loaded_) return;
    try {
        Form_Load();
    } catch (const DbError& e) {
        loaded_ = true;   // reported once; the dialog closes itself
        platform::tell(e.description);
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

void frmOverlapTest::InitTestGrid()
{
    const QChar cr(13);
    const QString format = QStringLiteral("<Test") + cr + QStringLiteral("Name|<Test") + cr + QStringLiteral("Time|<") +
                           QStringLiteral("Sample") + cr + QStringLiteral("Descritione|<") + QStringLiteral("Fluid") +
                           cr + QStringLiteral("Infomation");
    testlist::setUp(MSFlexGrid1, format);
}

void frmOverlapTest::FillList()
{
    testList_ = testlist::fill(MSFlexGrid1);
    if (ListCount() > 0) testlist::setCurrentRow(MSFlexGrid1, 0);
}

int frmOverlapTest::ListCount() const { return MSFlexGrid1->rowCount(); }

QString frmOverlapTest::ListedName(int row) const { return testlist::name(MSFlexGrid1, row); }

int frmOverlapTest::FindName(const QString& name) { return testlist::find(MSFlexGrid1, name); }

int frmOverlapTest::CurrentRow() const { return MSFlexGrid1->rowCount() > 0 ? MSFlexGrid1->currentRow() : -1; }

void frmOverlapTest::MSFlexGrid1_Click(int row)
{
    if (row < 0 || row >= ListCount()) return;
    testlist::setCurrentRow(MSFlexGrid1, row);
    txtSeqName->setText(ListedName(row));
}

void frmOverlapTest::MSFlexGrid1_DblClick()
{
    hide();
    emit OverSelected();
}

void frmOverlapTest::cmdOk_Click() { emit OverSelected(); }

void frmOverlapTest::cmdCancel_Click() { hide(); }
