#include "platform/Workbook.h"

#include <QDesktopServices>
#include <QFile>
#include <QDir>
#include <QUrl>

#include <xlsxwriter.h>

#include <cstdio>

namespace platform {

namespace {
std::function<bool(const QString&)> g_opener;
} // namespace

Workbook::Workbook(const QString& path) : path_(QFile::encodeName(path)), tmpdir_(QFile::encodeName(QDir::tempPath()))
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir_.data();
    book_ = workbook_new_opt(path_.constData(), &options);
    if (!book_) {
        error_ = QStringLiteral("The workbook could not be created.");
        return;
    }
    sheet_ = workbook_add_worksheet(book_, nullptr);
    bold_ = workbook_add_format(book_);
    if (!sheet_ || !bold_) {
        error_ = QStringLiteral("The worksheet could not be created.");
        return;
    }
    format_set_bold(bold_);
}

Workbook::~Workbook()
{
    if (book_) workbook_close(book_);
}

void Workbook::fail(int code, const char* what)
{
    if (code == LXW_NO_ERROR || !error_.isEmpty()) return;
    error_ = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(lxw_strerror(lxw_error(code))));
}

void Workbook::write(int row, int column, const QString& text, bool bold)
{
    writeUtf8(row, column, text.toUtf8().constData(), bold);
}

void Workbook::writeUtf8(int row, int column, const char* text, bool bold)
{
    if (!sheet_ || row < 1 || column < 1) return;
    fail(worksheet_write_string(sheet_, lxw_row_t(row - 1), lxw_col_t(column - 1), text, bold ? bold_ : nullptr),
         "Cell");
}

void Workbook::setLandscape()
{
    if (sheet_) worksheet_set_landscape(sheet_);
}

void Workbook::setFitToPages(int wide, int tall)
{
    if (sheet_) worksheet_fit_to_pages(sheet_, uint16_t(wide), uint16_t(tall));
}

void Workbook::setCenterHeader(const QString& text)
{
    if (!sheet_) return;
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    fail(worksheet_set_header(sheet_, (QStringLiteral("&C") + escaped).toUtf8().constData()), "Page header");
}

void Workbook::setPrintTitleRows(int first, int last)
{
    if (!sheet_ || first < 1 || last < first) return;
    fail(worksheet_repeat_rows(sheet_, lxw_row_t(first - 1), lxw_row_t(last - 1)), "Print titles");
}

bool Workbook::close()
{
    if (!book_) return false;
    // The rows written so far wait in a temporary file; the library does not notice when that file could
    // not take them (a full disk) and would write a workbook that silently lacks them.
    bool spoolFailed = false;
    if (sheet_ && sheet_->optimize_tmpfile) {
        FILE* spool = sheet_->optimize_tmpfile;
        spoolFailed = std::fflush(spool) != 0 || std::ferror(spool) != 0;
    }
    const lxw_error result = workbook_close(book_);
    book_ = nullptr;
    sheet_ = nullptr;
    if (spoolFailed) {
        QFile::remove(QFile::decodeName(path_));
        error_ = QStringLiteral("The workbook could not be written: the temporary folder %1 could not take its rows.")
                     .arg(QDir::toNativeSeparators(QFile::decodeName(tmpdir_)));
        return false;
    }
    if (result != LXW_NO_ERROR) {
        QFile::remove(QFile::decodeName(path_));
        // The file itself failed: that is the failure to report, whatever a cell did before.
        error_ = QStringLiteral("The workbook could not be written: %1")
                     .arg(QString::fromUtf8(lxw_strerror(result)));
        return false;
    }
    return true;
}

bool openDocument(const QString& path)
{
    if (g_opener) return g_opener(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setDocumentOpener(std::function<bool(const QString&)> opener) { g_opener = std::move(opener); }

} // namespace platform
