#include "review/frmTestInfo.h"

#include "platform/Prompts.h"
#include "records/Command.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/TestHeaderUpdate.h"
#include "records/RecordCursor.h"
#include "records/format.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

const char* const kCaptions[12] = {nullptr,
                                   "Test Name",
                                   "Test Date",
                                   "Researcher",
                                   "Sample Weight",
                                   "Sample Length",
                                   "Hardness",
                                   "Sample Description",
                                   "Compact. Pressure",
                                   "Compact. Time",
                                   "Compact. Date",
                                   "Fluid Description"};

using platform::tell;

} // namespace

frmTestInfo::frmTestInfo(QWidget* parent) : QWidget(parent)
{
    buildControls();
    Form_Activate();
}

frmTestInfo::~frmTestInfo() = default;

void frmTestInfo::buildControls()
{
    setObjectName(QStringLiteral("frmTestInfo"));
    setWindowTitle(QStringLiteral("TEST INFORMATION"));
    setWindowFlag(Qt::Window, true);
    resize(540, 420);

    constexpr int top = 14, step = 30, height = 24;
    for (int k = 1; k <= 11; ++k) {
        const int y = top + (k - 1) * step;
        Label1[k] = new QLabel(QLatin1String(kCaptions[k]), this);
        Label1[k]->setObjectName(QStringLiteral("Label1(%1)").arg(k));
        Label1[k]->setGeometry(14, y, 140, height);
        txtTestInfo[k] = new QLineEdit(this);
        txtTestInfo[k]->setObjectName(QStringLiteral("txtTestInfo(%1)").arg(k));
        txtTestInfo[k]->setGeometry(160, y, 300, height);
        Label1[k]->setBuddy(txtTestInfo[k]);
    }
    // Name, date and sample length are shown only: the save does not write them.
    for (int k : {1, 2, 5}) txtTestInfo[k]->setReadOnly(true);

    for (int k : {4, 5, 8, 9}) {
        Label2[k] = new QLabel(this);
        Label2[k]->setObjectName(QStringLiteral("Label2(%1)").arg(k));
        Label2[k]->setGeometry(466, top + (k - 1) * step, 64, height);
    }
    Label2[4]->setText(QStringLiteral("(g)"));
    Label2[9]->setText(QStringLiteral("(min)"));

    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setGeometry(250, 374, 100, 30);
    cmdCancel = new QPushButton(QStringLiteral("Close"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Click here to close the Test Information window"));
    cmdCancel->setGeometry(360, 374, 100, 30);
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmTestInfo::Form_Activate()
{
    Label2[5]->setText(Module1::LengthUnitCaption);
    Label2[8]->setText(Module1::PressUnitCaption);
}

void frmTestInfo::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) Form_Activate();
}

void frmTestInfo::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

std::array<QString, 12> frmTestInfo::RecordTexts(const QVariantList& all)
{
    std::array<QString, 12> texts;
    for (int k = 1; k <= 11 && k < all.size(); ++k) texts[std::size_t(k)] = RecordValue::text(all[k]);
    if (all.size() > 8) {
        texts[5] = Format::text(Module1::ToDisplayLength(all[5].toDouble()), QStringLiteral("#0.##"));
        texts[8] = Format::number(Module1::ToDisplayPress(all[8].toDouble()), QStringLiteral("#0.##"));
    }
    return texts;
}

void frmTestInfo::ShowRecord(const QVariantList& all)
{
    const std::array<QString, 12> texts = RecordTexts(all);
    for (int k = 1; k <= 11 && k < all.size(); ++k) txtTestInfo[std::size_t(k)]->setText(texts[std::size_t(k)]);
}

void frmTestInfo::cmdSave_Click()
{
    TestHeaderUpdate::Boxes boxes;
    for (int k = 1; k <= 11; ++k) boxes[std::size_t(k)] = txtTestInfo[std::size_t(k)]->text();
    if (const QString problem = TestHeaderUpdate::lengthProblem(boxes); !problem.isEmpty()) {
        tell(problem);
        return;
    }
    try {
        // A connection of the window's own, replacing the one of the previous save.
        connection_ = std::make_unique<clsConnection>();
        connection_->OpenDB(QStringLiteral("Admin"), QString(), QStringLiteral("Torvan"), QString());
        // A test deleted while it was shown changes no row: reported as a failure.
        TestHeaderUpdate::save(connection_->ADOConnection(), testId_, boxes);
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
        return;
    }
    tell(QStringLiteral("Save is completed"));
}

void frmTestInfo::cmdCancel_Click() { hide(); }

void frmTestInfo::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmTestInfo::Form_Unload()
{
    hide();
    for (int k = 1; k <= 11; ++k) txtTestInfo[std::size_t(k)]->clear();
    testId_ = 0;
    connection_.reset();
}
