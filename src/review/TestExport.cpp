#include "review/TestExport.h"

#include "platform/GridHelpers.h"
#include "platform/Workbook.h"

#include <QSaveFile>

namespace review {

namespace {
constexpr int kKeepAliveRows = 4096;
const QByteArray kEol = QByteArrayLiteral("\r\n");
} // namespace

int ReportSheet::gridRows() const { return grid ? 1 + grid->rowCount() : 0; }

QString ReportSheet::cell(int row, int column) const
{
    if (!grid) return {};
    return row == 0 ? grid->heading(column) : grid->text(row - 1, column);
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
    const int rows = sheet.gridRows();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < ReportSheet::GridColumns; ++c)
            book.writeUtf8(WorkbookRows::FirstGrid + r, c + 1, sheet.cell(r, c).toUtf8().constData());
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

QByteArray ReportGridLine(const ReportSheet& sheet, int row)
{
    QByteArray line;
    line.reserve(96);
    for (int c = 0; c < ReportSheet::GridColumns; ++c) {
        line += sheet.cell(row, c).toUtf8();
        line += ',';
    }
    line += kEol;
    return line;
}

QString WriteReport(const ReportSheet& sheet, const QString& path, const std::function<void()>& keepAlive)
{
    QSaveFile file(path);
    // A folder that does not let us make the temporary file next to the report still gets the report.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    bool ok = file.write(ReportHead(sheet)) >= 0;
    const int rows = sheet.gridRows();
    for (int r = 0; ok && r < rows; ++r) {
        ok = file.write(ReportGridLine(sheet, r)) >= 0;
        if (keepAlive && r % kKeepAliveRows == kKeepAliveRows - 1) keepAlive();
    }
    if (!ok) {
        const QString problem = file.errorString();
        file.cancelWriting();
        return problem;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

} // namespace review
