#pragma once
// The two hand-outs of the opened test: the workbook (a real .xlsx) and the comma-separated report. Both
// copy the same sheet: the eleven test-information captions and texts with the four unit captions, and
// every cell of the result grid, heading row included (the hidden bath-temperature column too).
//
// Use (the main window builds the sheet from the stored test header and its result grid):
//   review::ReportSheet sheet;  sheet.labels[i] = ...; sheet.texts[i] = ...; sheet.units[4] = "(g)"; ...
//   sheet.grid = model;          // heading(c) and text(r, c); rowCount() rows below the heading
//   QString problem = review::WriteWorkbook(sheet, path, keepAlive);   // empty on success
//   QString problem = review::WriteReport(sheet, path, keepAlive);
// keepAlive (optional) runs every few thousand grid rows, so a long test does not stop the program's
// timers while it is written. Neither writer holds the sheet in memory: rows are written as they are made.
#include <QString>
#include <array>
#include <functional>
#include <string>

namespace platform::grid {
class TextGridModel;
}

namespace review {

struct ReportSheet {
    static constexpr int Fields = 11;
    std::array<QString, Fields + 1> labels;   // 1..11: captions of the test-information boxes
    std::array<QString, Fields + 1> texts;    // 1..11: their texts
    std::array<QString, Fields + 1> units;    // unit captions; only 4, 5, 8 and 9 are written
    const platform::grid::TextGridModel* grid = nullptr;   // null: no grid at all
    static constexpr int GridColumns = 8;

    // Fields followed by their unit caption.
    static bool hasUnit(int field) { return field == 4 || field == 5 || field == 8 || field == 9; }
    // Rows of the grid, heading included, and the text of grid row r (0 = heading), column c.
    int gridRows() const;
    QString cell(int row, int column) const;
    // The same text appended as UTF-8.
    void appendCell(int row, int column, QByteArray& utf8) const;
};

// Rows of the worksheet (from 1) that the layout uses.
namespace WorkbookRows {
constexpr int Title = 1;
constexpr int FirstField = 4;     // field i on row 3 + i
constexpr int Results = 17;
constexpr int FirstGrid = 19;     // grid row r on row 19 + r
} // namespace WorkbookRows

// How a grid text goes into a workbook cell: a plain decimal ("150.", "0.1235", "24.7%") as a number with
// a number format that shows the same digits; an elapsed time "hh:mm:ss" (hours past 23 too) as a time
// value in days shown "[hh]:mm:ss"; anything else as text.
struct GridCell {
    enum Kind { Text, Number, Elapsed } kind = Text;
    double value = 0;
    std::string format;
};
GridCell ReadGridCell(const char* text);

// Grid rows (heading included) that fit below the results' heading on one worksheet.
constexpr int WorkbookGridRowsMax = 1048576 - WorkbookRows::FirstGrid + 1;

// Writes the workbook file; returns the failure's text, empty when the file was written. A grid longer
// than a worksheet holds is written up to the sheet's last row (see WorkbookShortNotice).

QString WriteWorkbook(const ReportSheet& sheet, const QString& path, const std::function<void()>& keepAlive = {});

// The operator's message when the grid does not fit on one worksheet (how many points the workbook
// holds; the report holds them all); empty when it fits.
QString WorkbookShortNotice(const ReportSheet& sheet);

// The report's lines, CR LF after each, no quoting, as bytes (UTF-8).
QByteArray ReportHead(const ReportSheet& sheet);
QByteArray ReportGridLine(const ReportSheet& sheet, int row);
// Appends that line to out.
void AppendReportGridLine(const ReportSheet& sheet, int row, QByteArray& out);

// Writes the report file (an existing file is replaced only once the whole report is written); returns
// the failure's text, empty when the file was written.
QString WriteReport(const ReportSheet& sheet, const QString& path, const std::function<void()>& keepAlive = {});

} // namespace review
