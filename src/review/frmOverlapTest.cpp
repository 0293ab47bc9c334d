#include "review/frmOverlapTest.h"

#include "review/TestListGrid.h"

#include <QTableWidget>

namespace {

QString headingFormat()
{
    const QChar cr(13);
    return QStringLiteral("<Test") + cr + QStringLiteral("Name|<Test") + cr + QStringLiteral("Time|<") +
           QStringLiteral("Sample") + cr + QStringLiteral("Descritione|<") + QStringLiteral("Fluid") + cr +
           QStringLiteral("Infomation");
}

} // namespace

frmOverlapTest::frmOverlapTest(QWidget* parent)
    : TestListDialog(parent, "frmOverlapTest", QStringLiteral("Overlap Saved Test"), headingFormat())
{
    connect(MSFlexGrid1, &QTableWidget::cellDoubleClicked, this, [this](int, int) { MSFlexGrid1_DblClick(); });
}

frmOverlapTest::~frmOverlapTest() = default;

void frmOverlapTest::FillList()
{
    TestListDialog::FillList();
    if (ListCount() > 0) setCurrentRow(0);
}

void frmOverlapTest::MSFlexGrid1_DblClick()
{
    hide();
    emit OverSelected();
}

void frmOverlapTest::cmdOk_Click() { emit OverSelected(); }
