#pragma once
// Grid helpers: the operations of the old flex grid that the windows use, for QTableWidget (small grids)
// and QTableView over a model (long grids).
//
// A format string lists the header captions separated by "|". A leading "<" aligns the column left, "^"
// centres it, ">" aligns it right; a caption without a mark keeps the default (left). A carriage return
// inside a caption is a line break. Sizes are in twips: 1 twip = 1/15 pixel at 96 dpi.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <Qt>

class QTableView;
class QTableWidget;

namespace platform::grid {

struct Column {
    QString caption;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// Splits a format string into its columns; the alignment mark is removed from the caption and CR
// becomes "\n" (a CR LF pair gives one line break).
QList<Column> parseFormat(const QString& format);

// Pixels of a size in twips, rounded to the nearest pixel.
int twipsToPixels(int twips);

// Sets the column count to the number of captions, the header captions and each column's alignment
// (header and cells of the column). Word wrap of the header follows wordWrap.
void applyFormat(QTableWidget* grid, const QString& format, bool wordWrap = true);

// Header alignment flags of a column (Qt::Alignment with Qt::TextWordWrap when asked for), as a model's
// header data gives them for Qt::TextAlignmentRole.
int headerAlignment(const Column& column, bool wordWrap);

// Column width in twips; a width of 0 hides the column, as the flex grid did.
void setColumnWidthTwips(QTableView* grid, int column, int twips);
// Height of the header row in twips, grown when a wrapped caption needs more lines (call it after the
// captions and column widths are set).
void setHeaderHeightTwips(QTableView* grid, int twips);
// Height of the other rows, in twips.
void setRowHeightTwips(QTableView* grid, int twips);

// A grid as the flex grid looked: no row header, whole-row selection, one current row, no editing, its
// 8.25 pt font and rows 300 twips high.
void setFlexLook(QTableView* grid);

// Adds a row of texts at the bottom of a table widget and returns its index.
int appendRow(QTableWidget* grid, const QStringList& texts);

// A read-only grid model for long grids: the headings of a format string, and cell texts that the
// subclass makes only when the view asks for them.
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TextGridModel(int columns, QObject* parent = nullptr);

    void setHeader(const QList<Column>& columns, bool wordWrap);
    // The caption of a column.
    QString heading(int column) const;
    // The text of a cell, as the grid shows it.
    virtual QString text(int row, int column) const = 0;
    // The same text appended as UTF-8 (exports of many cells; a model may make it without a QString).
    virtual void appendText(int row, int column, QByteArray& utf8) const { utf8 += text(row, column).toUtf8(); }
    // Every cell of rows first .. first + count - 1 appended as UTF-8, each cell followed by `after` and each
    // row by `end` (report lines).
    virtual void appendRows(int first, int count, char after, QByteArrayView end, QByteArray& utf8) const
    {
        for (int row = first; row < first + count; ++row) {
            for (int c = 0; c < columns_; ++c) {
                appendText(row, c, utf8);
                utf8 += after;
            }
            utf8 += end;
        }
    }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int columns_;
    QList<Column> header_;
    bool wordWrap_ = true;
};

} // namespace platform::grid
