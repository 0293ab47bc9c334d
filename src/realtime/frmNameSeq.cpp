#include "realtime/frmNameSeq.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

frmNameSeq::frmNameSeq(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNameSeq"));
    setWindowTitle(QStringLiteral("Select Sequence"));
    setModal(true);
    setFixedSize(320, 300);

    Label2 = new QLabel(QStringLiteral("Select a test sequence:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(12, 10, 296, 20);

    lstSeqName = new QListWidget(this);
    lstSeqName->setObjectName(QStringLiteral("lstSeqName"));
    lstSeqName->setSelectionMode(QAbstractItemView::SingleSelection);
    lstSeqName->setGeometry(12, 34, 296, 210);
    Label2->setBuddy(lstSeqName);

    cmdOk = new QPushButton(QStringLiteral("&OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(112, 256, 94, 32);
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(214, 256, 94, 32);
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

frmNameSeq::~frmNameSeq() = default;

QString frmNameSeq::SelectedName() const
{
    const QList<QListWidgetItem*> selected = lstSeqName->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

void frmNameSeq::cmdOk_Click()
{
    cancels_ = false;
    QDialog::accept();   // hides the picker; the modal show returns
}

void frmNameSeq::cmdCancel_Click()
{
    cancels_ = true;
    QDialog::reject();
}

void frmNameSeq::accept() { cmdOk_Click(); }

void frmNameSeq::reject() { cmdCancel_Click(); }
