#pragma once
// Spreadsheet workbooks: a real .xlsx file with one worksheet, written with libxlsxwriter in its
// constant-memory mode (each row goes to a temporary file as soon as a later row is begun), and opened
// afterwards with the desktop's program for .xlsx files.
//
// Use:
//   platform::Workbook book(path);
//   book.write(1, 1, "Title", true);           // row, column from 1 (A1 is 1, 1); rows in ascending order
//   book.setLandscape(); book.setFitToPages(1, 10);
//   book.setCenterHeader(text); book.setPrintTitleRows(18, 19);
//   if (!book.close()) message(book.error());  // the file is written here
//   platform::openDocument(path);              // false when no program could be started for it
//
// A failing step is remembered (the first failure's text in error()) and the next step still runs, so a
// cell that cannot be written does not stop the rest of the sheet.
#include <QString>
#include <functional>
#include <string>
#include <unordered_map>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace platform {

class Workbook {
public:
    explicit Workbook(const QString& path);
    ~Workbook();   // closes the workbook when close() was not called
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // A text cell; bold or in the sheet's default font. In constant-memory mode a row before the last
    // row written can no longer be written (an error).
    void write(int row, int column, const QString& text, bool bold = false);
    // The same with the text already in UTF-8 (long sheets).
    void writeUtf8(int row, int column, const char* text, bool bold = false);

    // A number cell shown with the spreadsheet number format numberFormat (for example "0.00", "0.0%",
    // "[hh]:mm:ss" for a time in days), in the sheet's default font.
    void writeNumber(int row, int column, double value, const std::string& numberFormat);

    // Page set-up of the worksheet.
    void setLandscape();
    void setFitToPages(int wide, int tall);
    // The centre section of the page header; "&" in the text is printed as it stands.
    void setCenterHeader(const QString& text);
    // Rows (from 1) repeated at the top of every printed page.
    void setPrintTitleRows(int first, int last);

    // The last row (from 1) a worksheet holds.
    static constexpr int MaxRow = 1048576;

    // Writes the file. False when it could not be written or a cell failed; error() says why (with the
    // system's reason, such as a full disk, where there is one).
    bool close();
    // The text of the first failure, empty when none.
    QString error() const { return error_; }

private:
    void fail(int code, const char* what);
    // " (the system's text of error)", empty for 0.
    static QString cause(int error);

    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    std::unordered_map<std::string, lxw_format*> numberFormats_;   // one format per number format
    QByteArray path_, tmpdir_;
    QString error_;
};

// True when the desktop's MIME database names a program for the type of the file's name (the mimeapps
// lists' defaults and associations, the programs' own MIME types); the file is not read.
bool desktopHasProgramFor(const QString& path);
// Opens a file with the desktop's program for its type. False when no program is registered for it or
// none could be started.
bool openDocument(const QString& path);
// Replaces the desktop opener (tests record the path instead of starting a program); an empty function
// restores it.
void setDocumentOpener(std::function<bool(const QString&)> opener);

} // namespace platform
