#include "review/frmSearch.h"

#include "platform/ControlLayout.h"
#include "platform/ControlName.h"
#include "platform/GridHelpers.h"
#include "platform/Prompts.h"
#include "records/Command.h"
#include "records/DbError.h"
#include "records/clsConnection.h"
#include "records/format.h"
#include "review/SearchStatement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableWidget>

namespace grid = platform::grid;

namespace {

constexpr int kGridColumns = 11;
constexpr int kGridColumnTwips = 2000;

using platform::tell;

// A result value as the grid shows it: numbers in their general text, the test date as a date.
QString cellText(const QVariant& v, const QString& column)
{
    if (v.isNull()) return {};
    if (column.compare(QLatin1String("TEST_DATE"), Qt::CaseInsensitive) == 0) {
        const QDateTime t = Format::fromStoredDate(v.toString());
        return t.isValid() ? Format::generalDate(t) : v.toString();
    }
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: return Format::general(v.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return Format::general(static_cast<double>(v.toLongLong()));
    default: return v.toString();
    }
}

// The statement's values as bound parameters: numbers as doubles, texts and dates as text (no size limit:
// a search value is only compared).
std::vector<Parameter> parameters(const QVariantList& values)
{
    std::vector<Parameter> params;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QVariant& v = values[i];
        const bool number = v.typeId() == QMetaType::Double;
        params.push_back({QStringLiteral("p%1").arg(i + 1), number ? adDouble : adVarChar, 0, v});
    }
    return params;
}

} // namespace

frmSearch::frmSearch(QWidget* parent) : QDialog(parent) { buildControls(); }

frmSearch::~frmSearch() = default;

void frmSearch::buildControls()
{
    setObjectName(QStringLiteral("frmSearch"));
    setWindowTitle(QStringLiteral("Test Search"));
    resize(DesignWidth, DesignHeight);

    auto named = [](QWidget* w, const QString& name) {
        w->setObjectName(name);
        return w;
    };

    Label1 = new QLabel(QStringLiteral("TEST INFORMATION :"), this);
    named(Label1, QStringLiteral("Label1"))->setGeometry(10, 10, 420, 20);
    Label2 = new QLabel(QStringLiteral("TEST ADDITION INFO :"), this);
    named(Label2, QStringLiteral("Label2"))->setGeometry(460, 10, 420, 20);
    for (int i = 1; i <= 3; ++i) {
        const int y = 36 + (i - 1) * 30;
        Combo1[i] = new QComboBox(this);
        Combo1[i]->setEditable(true);   // a column name may be typed
        named(Combo1[i], platform::controlName("Combo1", i))->setGeometry(10, y, 190, 24);
        cmbmath1[i] = new QComboBox(this);
        named(cmbmath1[i], platform::controlName("cmbmath1", i))->setGeometry(206, y, 70, 24);
        Text1[i] = new QLineEdit(this);
        named(Text1[i], platform::controlName("Text1", i))->setGeometry(282, y, 160, 24);

        // The second group is shown but takes no part in the search.
        Combo2[i] = new QComboBox(this);
        named(Combo2[i], platform::controlName("Combo2", i))->setGeometry(460, y, 190, 24);
        cmbmath2[i] = new QComboBox(this);
        named(cmbmath2[i], platform::controlName("cmbmath2", i))->setGeometry(656, y, 70, 24);
        Text2[i] = new QLineEdit(this);
        named(Text2[i], platform::controlName("Text2", i))->setGeometry(732, y, 158, 24);
        for (QWidget* w : {static_cast<QWidget*>(Combo2[i]), static_cast<QWidget*>(cmbmath2[i]),
                           static_cast<QWidget*>(Text2[i])})
            w->setEnabled(false);
    }
    Label3 = new QLabel(QStringLiteral("RESULT LIST :"), this);
    named(Label3, QStringLiteral("Label3"))->setGeometry(10, 136, 300, 20);
    MSFlexGrid1 = new QTableWidget(this);
    named(MSFlexGrid1, QStringLiteral("MSFlexGrid1"))->setGeometry(10, 160, 880, 340);

    cmdSearch = new QPushButton(QStringLiteral("SEARCH"), this);
    named(cmdSearch, QStringLiteral("cmdSearch"))->setGeometry(470, 514, 130, 32);
    cmdClear = new QPushButton(QStringLiteral("CLEAR"), this);
    named(cmdClear, QStringLiteral("cmdClear"))->setGeometry(610, 514, 130, 32);
    Command1 = new QPushButton(QStringLiteral("Cancel && Return"), this);
    named(Command1, QStringLiteral("Command1"))->setGeometry(750, 514, 140, 32);
    cmdSearch->setDefault(true);

    connect(cmdSearch, &QPushButton::clicked, this, [this] { cmdSearch_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(MSFlexGrid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { MSFlexGrid1_DblClick(row); });
}

void frmSearch::Form_Load()
{
    if (loaded_) return;
    loaded_ = true;
    layout_ = new platform::ControlLayout(this);
    layout_->save(QSizeF(DesignWidth, DesignHeight));

    grid::setFlexLook(MSFlexGrid1);
    MSFlexGrid1->setColumnCount(kGridColumns);
    MSFlexGrid1->setRowCount(0);
    MSFlexGrid1->setHorizontalHeaderLabels(QStringList(kGridColumns, QString()));
    for (int c = 0; c < kGridColumns; ++c) grid::setColumnWidthTwips(MSFlexGrid1, c, kGridColumnTwips);

    for (int i = 1; i <= 3; ++i) {
        cmbmath1[i]->clear();
        cmbmath2[i]->clear();
        cmbmath1[i]->addItems(review::searchOperators());
        cmbmath2[i]->addItems(review::searchOperators());
    }
    try {
        connection_ = std::make_unique<clsConnection>();
        connection_->OpenDB(QStringLiteral("Admin"), QString(), QStringLiteral("Torvan"), QString());
        // Again after the connection is opened anew onto a replaced file.
        connection_->ADOConnection()->setOpenHook([](const QSqlDatabase& db) { review::registerSearchFunctions(db); });
        Command query(connection_->ADOConnection(), review::searchBaseStatement(), {});
        QSqlQuery& q = query.executeQuery();
        const QSqlRecord record = q.record();
        query.finish();
        for (int i = 1; i <= 3; ++i) {
            Combo1[i]->clear();
            for (int c = 0; c < record.count(); ++c) Combo1[i]->addItem(record.fieldName(c));
        }
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
    }
    cmdClear_Click();
}

void frmSearch::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Form_Load();
}

void frmSearch::cmdClear_Click()
{
    for (int i = 1; i <= 3; ++i) {
        Combo1[i]->setCurrentIndex(Combo1[i]->count() > 0 ? 0 : -1);
        cmbmath1[i]->setCurrentIndex(0);
        Text1[i]->clear();
    }
    cancelled_ = true;
}

void frmSearch::cmdSearch_Click()
{
    MSFlexGrid1->setRowCount(0);
    std::array<review::SearchCondition, 3> rows;
    for (int i = 1; i <= 3; ++i)
        rows[i - 1] = {Combo1[i]->currentText(), cmbmath1[i]->currentText(), Text1[i]->text()};
    try {
        const review::SearchStatement statement = review::buildSearch(rows);
        lastSql_ = statement.sql;
        lastValues_ = statement.values;
        runSearch(statement.sql, statement.values);
    } catch (const review::SearchError& e) {
        tell(QStringLiteral("Wrong search string.  ") + e.description);
    } catch (const DbError& e) {
        tell(QStringLiteral("Wrong search string.  ") + e.description);
    }
}

void frmSearch::runSearch(const QString& sql, const QVariantList& values)
{
    // Without a connection the statement refuses with the connection's own error.
    Command query(connection_ ? connection_->ADOConnection() : nullptr, sql, parameters(values));
    QSqlQuery& q = query.executeQuery();
    const QSqlRecord record = q.record();
    // The grid shows the result's columns 1 to count - 3: TEST_NAME to SAMPLE_COMPACT_TIME.
    const int n = record.count() - 3;
    bool first = true;
    while (q.next()) {
        if (first) {
            for (int j = 1; j <= n && j - 1 < kGridColumns; ++j) {
                auto* head = new QTableWidgetItem(record.fieldName(j));
                QFont bold = head->font();
                bold.setBold(true);
                head->setFont(bold);
                head->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                MSFlexGrid1->setHorizontalHeaderItem(j - 1, head);
            }
            first = false;
        }
        const int row = MSFlexGrid1->rowCount();
        MSFlexGrid1->insertRow(row);
        for (int j = 1; j <= n && j - 1 < kGridColumns; ++j) {
            const QString text = cellText(q.value(j), record.fieldName(j));
            MSFlexGrid1->setItem(row, j - 1, new QTableWidgetItem(text));
        }
    }
    query.finish();
}

QString frmSearch::CurrentTestName() const
{
    const int row = MSFlexGrid1->currentRow();
    const QTableWidgetItem* item = row >= 0 ? MSFlexGrid1->item(row, 0) : nullptr;
    return item ? item->text() : QString();
}

void frmSearch::MSFlexGrid1_DblClick(int row)
{
    // Only a result row hands a test back.
    if (row < 0 || row >= MSFlexGrid1->rowCount()) return;
    MSFlexGrid1->setCurrentCell(row, 0);
    cancelled_ = false;
    hide();
}

void frmSearch::Command1_Click()
{
    cancelled_ = true;
    hide();
}

void frmSearch::closeEvent(QCloseEvent* event)
{
    cancelled_ = true;
    QDialog::closeEvent(event);
}

void frmSearch::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmSearch::Form_Resize()
{
    if (layout_) layout_->apply();
}
