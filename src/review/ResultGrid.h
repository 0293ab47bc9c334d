#pragma once
// The main window's result grid: one row per stored point of the opened test, eight columns, texts made
// only when the view asks for them (a week-long test holds 600,000 points).
//
// The rows are the stored numbers as the record loaded them (shared, not copied); the unit system and the sample length in force when the grid was filled
// are kept with the rows, so a later change of the unit system does not change texts shown under the
// headings of the fill.
#include <cstdint>
#include <memory>
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
    // shown in. The shared points are held, not copied (a load replaces rather than changes them).
    void setRows(std::shared_ptr<const clsTEST_RESULT::Rows> points, double sampleLength, int unitSystem);
    void setRows(const clsTEST_RESULT::Rows& points, double sampleLength, int unitSystem);

    // The text of a cell of row `row` below the heading, as the grid shows it.
    QString text(int row, int column) const override;
    void appendText(int row, int column, QByteArray& utf8) const override;
    void appendRows(int first, int count, char after, QByteArrayView end, QByteArray& utf8) const override;
    // The points held (shared with the record that loaded them) and their bytes as allocated.
    const clsTEST_RESULT::Rows* rowStorage() const { return points_.get(); }
    std::size_t rowBytes() const { return points_ ? points_->capacity() * sizeof(clsTEST_RESULT::Row) : 0; }

    // The cell rules on their own: the eight texts of one stored point, through the shared formatting.
    static QString cellText(const Row& r, int column, double sampleLength, int unitSystem);
    static Row rowOf(const clsTEST_RESULT::Row& p) { return {p.time, p.temp, p.bathTemp, p.press, p.heightChange, p.volt, p.step}; }
    // The same text appended as UTF-8, made without a QString where the prepared patterns settle it (the
    // grid's view and the exports use this; cellText is the rule it must match).
    static void appendCellText(const Row& r, int column, double sampleLength, int unitSystem, QByteArray& utf8);
    // The same text written to out (room for CellBytes); returns its length, or -1 where only cellText
    // makes it.
    static constexpr int CellBytes = 96;
    static int writeCellText(const Row& r, int column, double sampleLength, int unitSystem, char* out);

    int rowCount(const QModelIndex& parent = {}) const override;

private:
    std::size_t size() const { return points_ ? points_->size() : 0; }
    Row at(int row) const { return rowOf((*points_)[std::size_t(row)]); }

    std::shared_ptr<const clsTEST_RESULT::Rows> points_;
    double sampleLength_ = 0.001;
    int unitSystem_ = 0;
};
