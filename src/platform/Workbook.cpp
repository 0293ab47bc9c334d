#include "platform/Workbook.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QMimeDatabase>
#include <QFile>
#include <QDir>
#include <QUrl>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

void Workbook::writeNumber(int row, int column, double value, const std::string& numberFormat)
{
    if (!sheet_ || !book_ || row < 1 || column < 1) return;
    lxw_format*& format = numberFormats_[numberFormat];
    if (!format) {
        format = workbook_add_format(book_);
        if (!format) {
            fail(LXW_ERROR_MEMORY_MALLOC_FAILED, "Number format");
            return;
        }
        format_set_num_format(format, numberFormat.c_str());
    }
    fail(worksheet_write_number(sheet_, lxw_row_t(row - 1), lxw_col_t(column - 1), value, format), "Cell");
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
    int spoolErrno = 0;
    if (sheet_ && sheet_->optimize_tmpfile) {
        FILE* spool = sheet_->optimize_tmpfile;
        errno = 0;
        spoolFailed = std::fflush(spool) != 0 || std::ferror(spool) != 0;
        spoolErrno = errno;
    }
    errno = 0;
    const lxw_error result = workbook_close(book_);
    const int closeErrno = errno;
    book_ = nullptr;
    sheet_ = nullptr;
    if (spoolFailed) {
        QFile::remove(QFile::decodeName(path_));
        error_ = QStringLiteral("The workbook could not be written: the temporary folder %1 could not take its rows%2.")
                     .arg(QDir::toNativeSeparators(QFile::decodeName(tmpdir_)), cause(spoolErrno));
        return false;
    }
    if (result != LXW_NO_ERROR) {
        QFile::remove(QFile::decodeName(path_));
        // The file itself failed: that is the failure to report, whatever a cell did before. The library's
        // own text ("Zip generic error") does not say why; the system's error does (a full disk).
        const QString library = QString::fromUtf8(lxw_strerror(result));
        error_ = closeErrno == 0 ? QStringLiteral("The workbook could not be written: %1").arg(library)
                                 : QStringLiteral("The workbook could not be written: %1 (%2)")
                                       .arg(QString::fromLocal8Bit(std::strerror(closeErrno)), library);
        return false;
    }
    // A cell that could not be written leaves the workbook without it: not a success.
    return error_.isEmpty();
}

QString Workbook::cause(int error)
{
    if (error == 0) return {};
    return QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
}

namespace {

// Folders of the desktop's XDG lists: the user's one first, then the system's ones.
QStringList xdgDirs(const char* homeVar, const QString& homeDefault, const char* dirsVar, const QString& dirsDefault)
{
    QString home = qEnvironmentVariable(homeVar);
    if (home.isEmpty()) home = QDir::homePath() + homeDefault;
    QStringList dirs{home};
    const QString list = qEnvironmentVariable(dirsVar);
    dirs += (list.isEmpty() ? dirsDefault : list).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

// True when a line "key=a;b;..." of an ini-like file under [group] (any group when group is empty)
// names one of types.
bool listsType(const QString& file, const QStringList& groups, const QString& keyPrefix, const QStringList& types)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QString group;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            group = line;
            continue;
        }
        if (!groups.isEmpty() && !groups.contains(group)) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QStringList values = line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (keyPrefix.isEmpty()) {
            if (types.contains(key) && !values.isEmpty()) return true;
        } else if (key == keyPrefix) {
            for (const QString& v : values)
                if (types.contains(v.trimmed())) return true;
        }
    }
    return false;
}

} // namespace

bool desktopHasProgramFor(const QString& path)
{
    // The type by the file's name only: the content is not read.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return false;
    const QStringList types = QStringList{type.name()} + type.aliases();
    const QStringList configDirs =
        xdgDirs("XDG_CONFIG_HOME", QStringLiteral("/.config"), "XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList appDirs;
    for (const QString& d : xdgDirs("XDG_DATA_HOME", QStringLiteral("/.local/share"), "XDG_DATA_DIRS",
                                    QStringLiteral("/usr/local/share:/usr/share")))
        appDirs << d + QStringLiteral("/applications");
    // Defaults and added associations of the mimeapps lists.
    const QStringList mimeappsGroups{QStringLiteral("[Default Applications]"), QStringLiteral("[Added Associations]")};
    for (const QString& d : configDirs + appDirs)
        if (listsType(d + QStringLiteral("/mimeapps.list"), mimeappsGroups, {}, types)) return true;
    for (const QString& d : appDirs) {
        if (listsType(d + QStringLiteral("/mimeinfo.cache"), {QStringLiteral("[MIME Cache]")}, {}, types)) return true;
        // Programs installed without a refreshed cache: their own MimeType lines.
        QDirIterator it(d, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (listsType(it.next(), {QStringLiteral("[Desktop Entry]")}, QStringLiteral("MimeType"), types))
                return true;
    }
    return false;
}

bool openDocument(const QString& path)
{
    if (g_opener) return g_opener(path);
    // The desktop's opener starts even when nothing can show the file and then fails out of sight.
    if (!desktopHasProgramFor(path)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setDocumentOpener(std::function<bool(const QString&)> opener) { g_opener = std::move(opener); }

} // namespace platform
