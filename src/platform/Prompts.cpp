#include "platform/Prompts.h"

#include "platform/DatabaseLock.h"

#include <QAbstractFileIconProvider>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <deque>

namespace platform {

namespace {
Prompts* g_installed = nullptr;

// Messages raised inside timer handlers, waiting for the handlers to return.
struct Deferred {
    QString text, title;
    Icon icon;
};
std::deque<Deferred> g_deferred;
int g_tickDepth = 0;
bool g_flushPosted = false;   // a flush is queued on the event loop
bool g_flushing = false;      // a flush is showing a box (later messages wait their turn)

void flushDeferred();

void postFlush()
{
    if (g_flushPosted || g_flushing || g_deferred.empty() || !QCoreApplication::instance()) return;
    g_flushPosted = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &flushDeferred, Qt::QueuedConnection);
}

void flushDeferred()
{
    g_flushPosted = false;
    // A flush that comes round inside a pause of a handler waits for that handler's end.
    if (g_tickDepth > 0 || g_flushing) return;
    g_flushing = true;
    struct Done {
        ~Done() { g_flushing = false; }
    } done;
    while (!g_deferred.empty() && g_tickDepth == 0) {
        const Deferred d = g_deferred.front();
        g_deferred.pop_front();
        Prompts::current().message(d.text, d.title, d.icon);   // ticks go on inside its loop
    }
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString titleOr(const QString& title) { return title.isEmpty() ? defaultTitle() : title; }

// After a box or dialog has closed, the database keeps its lock whatever the dialog did.
struct KeepLock {
    ~KeepLock() { keepDatabaseLock(); }
};

// Kinds and icons of listed files from their names only. Qt's own provider reads a file's first bytes to
// tell its kind; opening and closing the database that way drops SQLite's locks on it.
class NameOnlyIcons final : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir()) return QStringLiteral("Folder");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
    }
};
} // namespace

QAbstractFileIconProvider& nameOnlyIconProvider()
{
    static NameOnlyIcons provider;
    return provider;
}

QString defaultTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Veduvovir") : name;
}

Prompts& Prompts::current()
{
    static QtPrompts qtPrompts;
    return g_installed ? *g_installed : static_cast<Prompts&>(qtPrompts);
}

void Prompts::install(Prompts* p) { g_installed = p; }

void QtPrompts::message(const QString& text, const QString& title, Icon icon)
{
    KeepLock keep;
    QMessageBox box(toQt(icon), titleOr(title), text, QMessageBox::Ok);
    box.exec();
}

Answer QtPrompts::ask(const QString& text, Buttons buttons, const QString& title, Icon icon)
{
    QMessageBox::StandardButtons set;
    switch (buttons) {
    case Buttons::OK: set = QMessageBox::Ok; break;
    case Buttons::OKCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case Buttons::RetryCancel: set = QMessageBox::Retry | QMessageBox::Cancel; break;
    }
    KeepLock keep;
    QMessageBox box(toQt(icon), titleOr(title), text, set);
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::OK;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    default: break;
    }
    return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
}

QString QtPrompts::input(const QString& prompt, const QString& title, const QString& initial)
{
    KeepLock keep;
    bool ok = false;
    const QString s = QInputDialog::getText(nullptr, titleOr(title), prompt, QLineEdit::Normal, initial, &ok);
    return ok ? s : QString();
}

QStringList dialogFilterEntries(const QString& filter)
{
    if (!filter.contains(QLatin1Char('|'))) return filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString pattern = i + 1 < parts.size() ? parts[i + 1] : QString();
        entries << (description.contains(QLatin1Char('(')) || pattern.isEmpty()
                        ? description
                        : description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return entries;
}

QString chooseSaveFile(QWidget* parent, const QString& title, const QStringList& filterEntries,
                       const QString& initialPath, int selectedFilter, bool confirmOverwrite)
{
    KeepLock keep;
    // Qt's own dialog (a desktop's dialog reads files inside the program as well), listing the root folder
    // until the provider is set, so that no listing of the working folder ever tells kinds by content.
    QFileDialog dialog(parent, titleOr(title), QDir::rootPath(), filterEntries.join(QStringLiteral(";;")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    dialog.setIconProvider(&nameOnlyIconProvider());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QFileInfo initial(initialPath);
    dialog.setDirectory(initialPath.contains(QLatin1Char('/')) ? initial.absolutePath() : QDir::currentPath());
    if (!initial.fileName().isEmpty()) dialog.selectFile(initial.fileName());
    if (selectedFilter >= 0 && selectedFilter < filterEntries.size())
        dialog.selectNameFilter(filterEntries[selectedFilter]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString QtPrompts::saveFileName(const QString& title, const QString& filter, const QString& initialName,
                                int selectedFilter)
{
    return chooseSaveFile(nullptr, title, dialogFilterEntries(filter), initialName, selectedFilter);
}

ScriptedPrompts::ScriptedPrompts() { Prompts::install(this); }
ScriptedPrompts::~ScriptedPrompts() { Prompts::install(nullptr); }

void ScriptedPrompts::holdOpen()
{
    if (!whileOpen) return;
    const Shown s = shown.back();
    ++open;
    struct Close {
        int& n;
        ~Close() { --n; }
    } close{open};
    whileOpen(s);
}

void ScriptedPrompts::message(const QString& text, const QString& title, Icon icon)
{
    shown.push_back({Kind::Message, text, titleOr(title), Buttons::OK, icon, {}});
    holdOpen();
}

Answer ScriptedPrompts::ask(const QString& text, Buttons buttons, const QString& title, Icon icon)
{
    shown.push_back({Kind::Ask, text, titleOr(title), buttons, icon, {}});
    holdOpen();
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
    default: return Answer::OK;
    }
}

QString ScriptedPrompts::input(const QString& prompt, const QString& title, const QString& initial)
{
    shown.push_back({Kind::Input, prompt, titleOr(title), Buttons::OKCancel, Icon::None, initial});
    if (inputs.empty()) return {};
    const QString s = inputs.front();
    inputs.pop_front();
    return s;
}

QString ScriptedPrompts::saveFileName(const QString& title, const QString& filter, const QString& initialName,
                                      int selectedFilter)
{
    shown.push_back(
        {Kind::SaveFile, title, titleOr(title), Buttons::OKCancel, Icon::None, initialName, filter, selectedFilter});
    if (files.empty()) return {};
    const QString s = files.front();
    files.pop_front();
    return s;
}

QStringList ScriptedPrompts::texts() const
{
    QStringList out;
    for (const auto& s : shown) out << s.text;
    return out;
}

void tell(const QString& text, const QString& title, Icon icon)
{
    if (g_tickDepth == 0) {
        Prompts::current().message(text, title, icon);
        return;
    }
    g_deferred.push_back({text, title, icon});
}

TickScope::TickScope() { ++g_tickDepth; }

TickScope::~TickScope()
{
    if (--g_tickDepth == 0) postFlush();
}

bool TickScope::active() { return g_tickDepth > 0; }

int pendingMessages() { return int(g_deferred.size()); }

} // namespace platform
