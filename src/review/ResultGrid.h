#pragma once
// The main window's result grid: one row per stored point of the opened test, eight columns, texts made
// only when the view asks for them (a week-long test holds 600,000 points).
//
// A row keeps the stored numbers; the unit system and the sample length in force when the grid was filled
// are kept with the rows, so a later change of the unit system does not change texts shown under the
// headings of the fill.
#include <cstdint>
#include <vector>

#include "platform/GridHelpers.h"
#include "records/clsTEST_RESULT.h"

class ResultGridModel : public platform::grid::TextGridModel {
    Q_OBJECT
public:
    static constexpr int Columns = 8;

    struct Row {
        double time;           // whole seconds since start
        double temp;           // °F
        double bathTemp;       // °F
        double press;          // psi
        double heightChange;   // inches
        double volt;
        std::int32_t step;
    };

    explicit ResultGridModel(QObject* parent = nullptr);

    // Headings from a format string (captions after their alignment marks).
    void setHeader(const QString& format, bool wordWrap = true);
    // Heading only.
    void clear();
    // The points of a load, with the sample length (inches, already > 0) and the unit system they are
    // shown in.
    void setRows(const std::vector<clsTEST_RESULT::Row>& points, double sampleLength, int unitSystem);

    // The text of a cell of row `row` below the heading, as the grid shows it.
    QString text(int row, int column) const override;
    void appendText(int row, int column, QByteArray& utf8) const override;
    void appendRow(int row, char after, QByteArray& utf8) const override;
    // Bytes held for the rows (the row storage as allocated).
    std::size_t rowBytes() const { return rows_.capacity() * sizeof(Row); }

    // The cell rules on their own: the eight texts of one stored point, through the shared formatting.
    static QString cellText(const Row& r, int column, double sampleLength, int unitSystem);
    // The same text appended as UTF-8, made without a QString where the prepared patterns settle it (the
    // grid's view and the exports use this; cellText is the rule it must match).
    static void appendCellText(const Row& r, int column, double sampleLength, int unitSystem, QByteArray& utf8);
    // The same text written to out (room for CellBytes); returns its length, or -1 where only cellText
    // makes it.
    static constexpr int CellBytes = 96;
    static int writeCellText(const Row& r, int column, double sampleLength, int unitSystem, char* out);

    int rowCount(const QModelIndex& parent = {}) const override;

private:
    std::vector<Row> rows_;
    double sampleLength_ = 0.001;
    int unitSystem_ = 0;
};
