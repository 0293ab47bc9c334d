#include "review/TestListDialog.h"

#include "platform/Prompts.h"
#include "records/DbError.h"
#include "review/TestListGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace testlist = review::testlist;

TestListDialog::TestListDialog(QWidget* parent, const char* name, const QString& title, const QString& headingFormat)
    : QDialog(parent), headingFormat_(headingFormat)
{
    setObjectName(QLatin1String(name));
    setWindowTitle(title);
    resize(560, 396);

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
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

TestListDialog::~TestListDialog() = default;

QWidget* TestListDialog::named(QWidget* control, const char* name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

void TestListDialog::Form_Load()
{
    testlist::bindNewRecords();
    testlist::setUp(MSFlexGrid1, headingFormat_);
    FillList();
    loaded_ = true;
}

void TestListDialog::showEvent(QShowEvent* event)
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

void TestListDialog::FillList() { testList_ = testlist::fill(MSFlexGrid1); }

int TestListDialog::ListCount() const { return MSFlexGrid1->rowCount(); }

QString TestListDialog::ListedName(int row) const { return testlist::name(MSFlexGrid1, row); }

int TestListDialog::FindName(const QString& name) { return testlist::find(MSFlexGrid1, name); }

int TestListDialog::CurrentRow() const { return MSFlexGrid1->rowCount() > 0 ? MSFlexGrid1->currentRow() : -1; }

void TestListDialog::setCurrentRow(int row) { testlist::setCurrentRow(MSFlexGrid1, row); }

void TestListDialog::MSFlexGrid1_Click(int row)
{
    if (row < 0 || row >= ListCount()) return;
    setCurrentRow(row);
    txtSeqName->setText(ListedName(row));
}

void TestListDialog::cmdCancel_Click() { hide(); }
