#include "review/TestExport.h"

#include "records/WorkFiles.h"

#include "platform/GridHelpers.h"
#include "platform/Workbook.h"

#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace review {

namespace {
constexpr int kKeepAliveRows = 4096;
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
            book.writeUtf8(WorkbookRows::FirstGrid + r, c + 1, text.constData());
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
    buffer.reserve(kReportBuffer + 4096);
    int error = 0;
    const auto flush = [&] {
        errno = 0;
        const bool written = file.write(buffer) == buffer.size();
        if (!written) error = errno;
        buffer.truncate(0);
        return written;
    };
    bool ok = true;
    const int rows = sheet.gridRows();
    for (int r = 0; ok && r < rows; ++r) {
        AppendReportGridLine(sheet, r, buffer);
        if (buffer.size() >= kReportBuffer) ok = flush();
        if (keepAlive && r % kKeepAliveRows == kKeepAliveRows - 1) keepAlive();
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
