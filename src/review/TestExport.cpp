#include "review/TestExport.h"

#include "records/WorkFiles.h"

#include "platform/GridHelpers.h"
#include "platform/Workbook.h"

#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <string>
#include <cerrno>
#include <cstring>

#include <fcntl.h>

namespace review {

namespace {
constexpr int kKeepAliveRows = 4096;
constexpr int kBlockRows = 512;   // divides kKeepAliveRows
constexpr qsizetype kReportBuffer = 1 << 20;
const QByteArray kEol = QByteArrayLiteral("\r\n");

// The description of a failed step of the report: the system's own (a full disk says so) where the
// file's text does not know it ("Unknown error").
QString failure(const QFileDevice& file, int error)
{
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
}
} // namespace

int ReportSheet::gridRows() const { return grid ? 1 + grid->rowCount() : 0; }

QString ReportSheet::cell(int row, int column) const
{
    if (!grid) return {};
    return row == 0 ? grid->heading(column) : grid->text(row - 1, column);
}

void ReportSheet::appendCell(int row, int column, QByteArray& utf8) const
{
    if (!grid) return;
    if (row == 0)
        utf8 += grid->heading(column).toUtf8();
    else
        grid->appendText(row - 1, column, utf8);
}

GridCell ReadGridCell(const char* text)
{
    GridCell cell;
    const char* end = text + std::strlen(text);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    // Elapsed time "h...h:mm:ss" (hours may go past 23): a time value, shown as the grid shows it.
    if (const char* colon = std::strchr(text, ':'); colon && colon > text && end - colon == 6 && colon[3] == ':') {
        bool ok = std::all_of(text, colon, digit) && digit(colon[1]) && digit(colon[2]) && digit(colon[4]) &&
                  digit(colon[5]) && colon[1] <= '5' && colon[4] <= '5' && colon - text <= 9;
        if (ok) {
            long long hours = 0;
            std::from_chars(text, colon, hours);
            const int minutes = (colon[1] - '0') * 10 + (colon[2] - '0');
            const int seconds = (colon[4] - '0') * 10 + (colon[5] - '0');
            cell.kind = GridCell::Elapsed;
            cell.value = double(hours * 3600 + minutes * 60 + seconds) / 86400.0;
            cell.format = colon - text >= 2 ? "[hh]:mm:ss" : "[h]:mm:ss";
            return cell;
        }
    }
    // A plain decimal: optional "-", an integer part without leading zeros, optional "." with digits,
    // optional "%". The number format repeats its digits, point and percent sign.
    const char* p = text;
    if (p < end && *p == '-') ++p;
    const char* intStart = p;
    while (p < end && digit(*p)) ++p;
    const char* intEnd = p;
    if (intEnd == intStart || (intEnd - intStart > 1 && *intStart == '0')) return cell;
    int decimals = -1;   // -1: no point
    if (p < end && *p == '.') {
        ++p;
        const char* f = p;
        while (p < end && digit(*p)) ++p;
        decimals = int(p - f);
    }
    const bool percent = p < end && *p == '%';
    if (percent) ++p;
    if (p != end || decimals > 15) return cell;
    double value = 0;
    if (std::from_chars(text, percent ? end - 1 : end, value).ec != std::errc()) return cell;
    cell.kind = GridCell::Number;
    cell.value = percent ? value / 100.0 : value;
    cell.format = "0";
    if (decimals >= 0) cell.format += '.' + std::string(std::size_t(decimals), '0');
    if (percent) cell.format += '%';
    return cell;
}

QString WriteWorkbook(const ReportSheet& sheet, const QString& path, const std::function<void()>& keepAlive)
{
    platform::Workbook book(path);
    book.write(WorkbookRows::Title, 1, QStringLiteral("Veduvovir Test Report"), true);
    for (int i = 1; i <= ReportSheet::Fields; ++i) {
        const int row = WorkbookRows::FirstField + i - 1;
        book.write(row, 1, sheet.labels[std::size_t(i)], true);
        book.write(row, 3, sheet.texts[std::size_t(i)]);
        if (ReportSheet::hasUnit(i)) book.write(row, 4, sheet.units[std::size_t(i)]);
    }
    book.write(WorkbookRows::Results, 1, QStringLiteral("Results:"), true);
    const int rows = std::min(sheet.gridRows(), WorkbookGridRowsMax);
    QByteArray text;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < ReportSheet::GridColumns; ++c) {
            text.truncate(0);
            sheet.appendCell(r, c, text);
            // Numbers and elapsed times go in as values, so sums and charts of the sheet work; the
            // headings and other texts as text.
            const GridCell value = r == 0 ? GridCell{} : ReadGridCell(text.constData());
            if (value.kind == GridCell::Text)
                book.writeUtf8(WorkbookRows::FirstGrid + r, c + 1, text.constData());
            else
                book.writeNumber(WorkbookRows::FirstGrid + r, c + 1, value.value, value.format);
        }
        if (keepAlive && r % kKeepAliveRows == kKeepAliveRows - 1) keepAlive();
    }
    // Printed pages repeat the empty row above the results' headings and the headings themselves.
    book.setPrintTitleRows(WorkbookRows::FirstGrid - 1, WorkbookRows::FirstGrid);
    book.setLandscape();
    book.setFitToPages(1, 10);
    book.setCenterHeader(QStringLiteral("~ Test:") + sheet.texts[1]);
    if (!book.close()) return book.error();
    return {};
}

QString WorkbookShortNotice(const ReportSheet& sheet)
{
    const int points = sheet.gridRows() - 1;
    if (sheet.gridRows() <= WorkbookGridRowsMax) return {};
    return QStringLiteral("This test has %1 points; a worksheet holds only the first %2 of them, so the workbook "
                          "ends there. The report (Save Report) holds all %1 points.")
        .arg(points)
        .arg(WorkbookGridRowsMax - 1);
}

QByteArray ReportHead(const ReportSheet& sheet)
{
    QByteArray out = QByteArrayLiteral("Torvan Test Report") + kEol + kEol;
    for (int i = 1; i <= ReportSheet::Fields; ++i) {
        out += sheet.labels[std::size_t(i)].toUtf8() + ", " + sheet.texts[std::size_t(i)].toUtf8();
        if (ReportSheet::hasUnit(i)) out += sheet.units[std::size_t(i)].toUtf8() + ',';
        out += kEol;
    }
    out += kEol + kEol + QByteArrayLiteral("Results:") + kEol;
    return out;
}

void AppendReportGridLine(const ReportSheet& sheet, int row, QByteArray& out)
{
    if (sheet.grid && row > 0) {
        sheet.grid->appendRows(row - 1, 1, ',', kEol, out);
        return;
    }
    for (int c = 0; c < ReportSheet::GridColumns; ++c) {
        sheet.appendCell(row, c, out);
        out += ',';
    }
    out += kEol;
}

QByteArray ReportGridLine(const ReportSheet& sheet, int row)
{
    QByteArray line;
    line.reserve(96);
    AppendReportGridLine(sheet, row, line);
    return line;
}

QString WriteReport(const ReportSheet& sheet, const QString& path, const std::function<void()>& keepAlive)
{
    // Renaming a report over the database would pull the file from under the running connection.
    if (WorkFiles::isDatabaseFile(path)) return WorkFiles::DatabaseNotAReportMessage;
    QSaveFile file(path);
    // A folder that does not let us make the temporary file next to the report still gets the report.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    // The lines are gathered in a buffer of about a megabyte and written a buffer at a time.
    QByteArray buffer = ReportHead(sheet);
    buffer.reserve(kReportBuffer + 64 * 1024);
    int error = 0;
    const auto flush = [&] {
        errno = 0;
        const bool written = file.write(buffer) == buffer.size() && file.flush();
        if (!written) error = errno;
        buffer.truncate(0);
        // The disk starts on what is written while the next lines are made, so that the sync at the end
        // finds little left to write. Only a hint: a failure shows in the writes and the sync.
        if (written) sync_file_range(file.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        return written;
    };
    bool ok = true;
    const int rows = sheet.gridRows();
    if (rows > 0) AppendReportGridLine(sheet, 0, buffer);
    // The grid's rows below the heading, a block of lines at a time.
    for (int r = 1, blocks = 1; ok && r < rows; r += kBlockRows, ++blocks) {
        sheet.grid->appendRows(r - 1, std::min(kBlockRows, rows - r), ',', kEol, buffer);
        if (buffer.size() >= kReportBuffer) ok = flush();
        if (keepAlive && blocks % (kKeepAliveRows / kBlockRows) == 0) keepAlive();
    }
    if (ok) ok = flush();
    if (!ok) {
        const QString problem = failure(file, error);
        file.cancelWriting();
        return problem;
    }
    errno = 0;
    if (!file.commit()) return failure(file, errno);
    return {};
}

} // namespace review
