#include "realtime/frmTestDetail.h"

#include "platform/ControlLayout.h"
#include "platform/Prompts.h"
#include "records/Command.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"
#include "records/TestHeaderUpdate.h"
#include "records/format.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>

#include <algorithm>
#include <limits>

namespace grid = platform::grid;

// ---------------------------------------------------------------------------------------------------
// Points grid model

DetailPointModel::DetailPointModel(QObject* parent) : TextGridModel(Columns, parent) {}

namespace {

// Places after the point of each number column's pattern (columns 2..7; the bath temperature's "#0.#").
constexpr int kPlaces[DetailPointModel::Columns] = {0, 0, 1, 0, 2, 2, 4, 1};
constexpr double kScale[5] = {1, 10, 100, 1000, 10000};

// The whole number a text of a "#0.##"-like pattern writes in units of its last place ("-12.3" with two
// places is -1230); false when the text is not of that form or the number is beyond 32 bits.
bool scaledDigits(const QString& text, int places, std::int64_t& out)
{
    qsizetype i = 0;
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative) ++i;
    std::int64_t n = 0;
    int digits = 0, decimals = -1;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.') && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || ++digits > 10) return false;
        n = n * 10 + (c.unicode() - '0');
        if (decimals >= 0) ++decimals;
    }
    if (digits == 0 || std::max(decimals, 0) > places) return false;
    for (int d = std::max(decimals, 0); d < places; ++d) n *= 10;
    out = negative ? -n : n;
    return out >= std::numeric_limits<std::int32_t>::min() && out <= std::numeric_limits<std::int32_t>::max();
}

// The pattern of a number column (1..7), the bath temperature's as a point or row of that kind shows it.
QString columnPattern(int column, bool wholeBathTemp)
{
    switch (column) {
    case 1: return QStringLiteral("#0");
    case 2: return QStringLiteral("#0.#");
    case 3: return QStringLiteral("#0");
    case 4: return QStringLiteral("#0.##");
    case 5: return QStringLiteral("#0.##");
    case 6: return QStringLiteral("#0.####");
    case 7: return wholeBathTemp ? QStringLiteral("#0") : QStringLiteral("#0.#");
    default: return {};
    }
}

} // namespace

QString DetailPointModel::pattern(int column) const { return columnPattern(column, wholeBathTemp_); }

int DetailPointModel::places(int column) const { return column == 7 && wholeBathTemp_ ? 0 : kPlaces[column]; }

bool DetailPointModel::store(Row& row, int column, const QString& text)
{
    const int places = this->places(column);
    std::int64_t n = 0;
    if (!scaledDigits(text, places, n)) return false;
    // Only a number that writes the very same text again is stored as a number.
    if (Format::number(double(n) / kScale[places], pattern(column)) != text) return false;
    if (column == 6) {
        row.volts = std::int32_t(n);
        return true;
    }
    if (n < std::numeric_limits<std::int16_t>::min() || n > std::numeric_limits<std::int16_t>::max()) return false;
    std::int16_t* fields[] = {nullptr, &row.stepNo, &row.temp, &row.press, &row.lengthChange, &row.swell, nullptr, &row.bathTemp};
    *fields[column] = std::int16_t(n);
    return true;
}

int DetailPointModel::appendPoint(const DetailPoint& p)
{
    if (rows_.empty()) wholeBathTemp_ = p.wholeBathTemp;
    const int index = static_cast<int>(rows_.size());
    // The texts as the grid shows them, in the display units now in force. The length change is shown as
    // the length display text reads.
    const QString texts[Columns] = {
        QString(),
        Format::number(p.stepNo, pattern(1)),
        Format::number(Module1::ToDisplayTemp(p.temp), pattern(2)),
        Format::number(Module1::ToDisplayPress(p.press), pattern(3)),
        Format::number(Module1::DisplayLengthNumber(p.lengthChange), pattern(4)),
        Format::number(p.swell, pattern(5)),
        Format::number(p.volts, pattern(6)),
        Format::number(Module1::ToDisplayTemp(p.bathTemp), columnPattern(7, p.wholeBathTemp)),
    };
    Row row{p.elapsedSeconds, 0, 0, 0, 0, 0, 0, 0};
    for (int c = 1; c < Columns; ++c) {
        const bool samePattern = c != 7 || p.wholeBathTemp == wholeBathTemp_;
        if (!samePattern || !store(row, c, texts[c])) kept_.push_back({index, c, texts[c]});
    }
    beginInsertRows({}, index, index);
    rows_.push_back(row);
    endInsertRows();
    return index;
}

void DetailPointModel::clear()
{
    beginResetModel();
    std::deque<Row>().swap(rows_);
    kept_.clear();
    kept_.shrink_to_fit();
    endResetModel();
}

std::size_t DetailPointModel::rowBytes() const
{
    std::size_t bytes = rows_.size() * sizeof(Row) + kept_.capacity() * sizeof(KeptText);
    for (const KeptText& k : kept_) bytes += std::size_t(k.text.capacity()) * sizeof(QChar);
    return bytes;
}

QString DetailPointModel::text(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= Columns) return {};
    const Row& r = rows_[static_cast<std::size_t>(row)];
    if (column == 0) return Format::elapsedTime(r.elapsedSeconds);
    const auto kept = std::lower_bound(kept_.begin(), kept_.end(), std::pair(row, column), [](const KeptText& k, std::pair<int, int> at) {
        return std::pair(k.row, k.column) < at;
    });
    if (kept != kept_.end() && kept->row == row && kept->column == column) return kept->text;
    const std::int32_t numbers[Columns] = {0, r.stepNo, r.temp, r.press, r.lengthChange, r.swell, r.volts, r.bathTemp};
    return Format::number(double(numbers[column]) / kScale[places(column)], pattern(column));
}

int DetailPointModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

// ---------------------------------------------------------------------------------------------------
// Window

namespace {

const char* const kCaptions[12] = {"Sequence NAME",
                                   "TEST NAME",
                                   "TEST DATE",
                                   "RESEARCHER",
                                   "SAMPLE Wt",
                                   "SAMPLE Len",
                                   "HARDNESS",
                                   "    SAMPLE DESCRIPTION",
                                   "COMPACT PRESS.",
                                   "COMPACT TIME.",
                                   "COMPACT DATE",
                                   "      FLUID DESCRIPTION"};

// Design size of the window's inside, in pixels; the controls below are placed on it.
constexpr int kWidth = 790;
constexpr int kHeight = 600;

using platform::tell;

} // namespace

frmTestDetail::frmTestDetail(QWidget* parent) : QWidget(parent)
{
    buildControls();
    Form_Load();
}

frmTestDetail::~frmTestDetail() = default;

void frmTestDetail::buildControls()
{
    setObjectName(QStringLiteral("frmTestDetail"));
    setWindowTitle(QStringLiteral("TEST INFO DETAIL"));
    setWindowFlag(Qt::Window, true);
    // Closing a detail window never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(kWidth, kHeight);

    // Header: boxes 1..6 on the left, 7..11 and the sequence name on the right.
    constexpr int rowTop = 10, rowStep = 30, boxHeight = 24;
    auto place = [&](int k, int x, int row, int labelWidth, int boxWidth) {
        Label1[k] = new QLabel(QString::fromLatin1(kCaptions[k]), this);
        Label1[k]->setObjectName(QStringLiteral("Label1(%1)").arg(k));
        Label1[k]->setGeometry(x, rowTop + row * rowStep, labelWidth, boxHeight);
        Label1[k]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QLineEdit* box = new QLineEdit(this);
        box->setGeometry(x + labelWidth + 4, rowTop + row * rowStep, boxWidth, boxHeight);
        Label1[k]->setBuddy(box);
        return box;
    };
    for (int k = 1; k <= 6; ++k) txtTestInfo[k] = place(k, 10, k - 1, 110, 200);
    for (int k = 7; k <= 11; ++k) txtTestInfo[k] = place(k, 400, k - 7, 150, 170);
    txtSeqInfo = place(0, 400, 5, 150, 170);
    txtSeqInfo->setObjectName(QStringLiteral("txtSeqInfo"));
    for (int k = 1; k <= 11; ++k) {
        txtTestInfo[k]->setObjectName(QStringLiteral("txtTestInfo(%1)").arg(k));
        connect(txtTestInfo[k], &QLineEdit::textChanged, this, [this, k] { txtTestInfo_Change(k); });
    }

    auto unitLabel = [&](int index, const QString& text, QLineEdit* beside) {
        Label2[index] = new QLabel(text, this);
        Label2[index]->setObjectName(QStringLiteral("Label2(%1)").arg(index));
        const QRect r = beside->geometry();
        Label2[index]->setGeometry(r.right() + 6, r.top(), 50, r.height());
    };
    unitLabel(5, QString(), txtTestInfo[5]);
    unitLabel(8, QString(), txtTestInfo[8]);
    unitLabel(9, QStringLiteral("(min)"), txtTestInfo[9]);

    const int gridsTop = rowTop + 6 * rowStep + 8;
    const int gridsHeight = kHeight - gridsTop - 52;

    Frame3 = new QGroupBox(QStringLiteral("Test Result"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(10, gridsTop, 520, gridsHeight);
    MSFlexGrid1 = new QTableView(Frame3);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(8, 22, 520 - 16, gridsHeight - 30);
    points_ = new DetailPointModel(this);
    MSFlexGrid1->setModel(points_);
    // Making a new row current must not scroll by itself: that measures every row of a long test.
    MSFlexGrid1->setAutoScroll(false);
    // The row header is hidden; left on the grid's selection it would recompute the position of every row
    // each time a new point becomes the current row.
    MSFlexGrid1->verticalHeader()->setSelectionModel(new QItemSelectionModel(points_, MSFlexGrid1->verticalHeader()));

    MSFlexGrid2 = new QTableWidget(this);
    MSFlexGrid2->setObjectName(QStringLiteral("MSFlexGrid2"));
    MSFlexGrid2->setGeometry(540, gridsTop + 8, kWidth - 550, gridsHeight - 8);

    cmdEdit = new QPushButton(QStringLiteral("Save"), this);
    cmdEdit->setObjectName(QStringLiteral("cmdEdit"));
    cmdEdit->setGeometry(kWidth - 230, kHeight - 40, 100, 30);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(kWidth - 120, kHeight - 40, 100, 30);
    connect(cmdEdit, &QPushButton::clicked, this, [this] { cmdEdit_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void frmTestDetail::Form_Load()
{
    // The controls' fractions of the design size, recorded before the window is centred.
    layout_ = new platform::ControlLayout(this);
    layout_->save();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
    Label2[5]->setText(Module1::LengthUnitCaption);
    Label2[8]->setText(Module1::PressUnitCaption);
    setUpGrids();
    infoChanged_ = false;
}

void frmTestDetail::setUpGrids()
{
    const QString temp = Module1::TempUnitCaption;
    const QString format = QStringLiteral("Time (hh:mm:ss)|<Step No|<Temp. ") + temp + QStringLiteral("|<Press. ") +
                           Module1::PressUnitCaption + QStringLiteral("|<Length Change ") +
                           Module1::LengthUnitCaption + QStringLiteral("|< Swell (%) ") +
                           QStringLiteral("|<Voltage ") + QStringLiteral("|<Bath Temp. ") + temp;
    grid::setFlexLook(MSFlexGrid1);
    points_->clear();
    points_->setHeader(grid::parseFormat(format), true);
    for (int c = 0; c < DetailPointModel::Columns; ++c) grid::setColumnWidthTwips(MSFlexGrid1, c, 1000);
    grid::setColumnWidthTwips(MSFlexGrid1, 1, 700);
    grid::setColumnWidthTwips(MSFlexGrid1, 7, 0);
    grid::setHeaderHeightTwips(MSFlexGrid1, 500);

    grid::setFlexLook(MSFlexGrid2);
    MSFlexGrid2->setRowCount(0);
    grid::applyFormat(MSFlexGrid2, QStringLiteral("Time (hh:mm:ss)|<Step No|<Temp. ") + temp, true);
    for (int c = 0; c < 3; ++c) grid::setColumnWidthTwips(MSFlexGrid2, c, 1000);
    grid::setHeaderHeightTwips(MSFlexGrid2, 500);
}

void frmTestDetail::FillHeader(const clsTEST_INFO& info)
{
    testId_ = info.Test_Id;
    const QVariantList all = info.All();
    for (int k = 1; k <= 11; ++k) txtTestInfo[k]->setText(RecordValue::text(all[k]));
    txtTestInfo[5]->setText(Format::text(Module1::ToDisplayLength(info.SAMPLE_LENGTH), QStringLiteral("#0.##")));
    txtTestInfo[8]->setText(Format::number(Module1::ToDisplayPress(info.SAMPLE_COMPACT_PRESS), QStringLiteral("###0")));
    infoChanged_ = false;
}

void frmTestDetail::ShowSequenceControls(bool visible)
{
    MSFlexGrid2->setVisible(visible);
    Label1[0]->setVisible(visible);
    txtSeqInfo->setVisible(visible);
}

void frmTestDetail::ClearSteps() { MSFlexGrid2->setRowCount(0); }

void frmTestDetail::AddStep(double startSeconds, int stepNo, double setPointF)
{
    grid::appendRow(MSFlexGrid2, {Format::elapsedTime(startSeconds), Format::general(stepNo),
                                  Format::number(Module1::ToDisplayTemp(setPointF), QStringLiteral("#0.#"))});
}

int frmTestDetail::appendPoint(const DetailPoint& p)
{
    // A grid scrolled to its end follows the new rows; one scrolled back stays where the operator put it.
    const QScrollBar* bar = MSFlexGrid1->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int row = points_->appendPoint(p);
    MSFlexGrid1->selectionModel()->setCurrentIndex(points_->index(row, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (following && MSFlexGrid1->isVisible()) MSFlexGrid1->scrollToBottom();
    return row;
}

int frmTestDetail::PointCount() const { return points_->rowCount(); }

QString frmTestDetail::PointText(int row, int column) const { return points_->text(row, column); }

void frmTestDetail::txtTestInfo_Change(int) { infoChanged_ = true; }

void frmTestDetail::cmdEdit_Click()
{
    TestHeaderUpdate::Boxes boxes;
    for (int k = 1; k <= 11; ++k) boxes[std::size_t(k)] = txtTestInfo[std::size_t(k)]->text();
    if (const QString problem = TestHeaderUpdate::lengthProblem(boxes); !problem.isEmpty()) {
        tell(problem);
        return;
    }
    try {
        // A freshly opened connection replaces the shared one; record objects bound to the old one keep
        // it until they are bound again.
        Module1::DbConnection = std::make_shared<clsConnection>();
        Module1::DbConnection->OpenDB(QStringLiteral("Admin"), QString(), QStringLiteral("Torvan"), QString());
        // A test whose header is gone changes no row: reported as a failure, the edits stay.
        TestHeaderUpdate::save(Module1::DbConnection->ADOConnection(), testId_, boxes);
    } catch (const DbError& e) {
        tell(QStringLiteral("ERROR: ") + e.description);
        return;
    }
    infoChanged_ = false;
    tell(QStringLiteral("Save is completed"));
    close();
}

void frmTestDetail::cmdClose_Click()
{
    if (infoChanged_) {
        const auto answer = platform::Prompts::current().ask(QStringLiteral("Do you want to save the change?"),
                                                             platform::Buttons::YesNo);
        if (answer == platform::Answer::Yes) cmdEdit_Click();
    }
    // Closing by the program only hides the window (it has no delete-on-close of its own), so the unit
    // screen shows it again as it was; a window the screen has already replaced and marked
    // delete-on-close goes.
    close();
}

void frmTestDetail::closeEvent(QCloseEvent* event)
{
    // The title-bar close box acts as Close: the window is only hidden, so the unit screen keeps adding
    // points to it and shows it again as it was.
    if (event->spontaneous()) {
        event->ignore();
        cmdClose_Click();
        return;
    }
    QWidget::closeEvent(event);
}

void frmTestDetail::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmTestDetail::Form_Resize()
{
    // Every control at its recorded fractions of the new inner size (nothing at 1 or less).
    if (layout_) layout_->apply();
}
