#include "platform/Prompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace platform {

namespace {
Prompts* g_installed = nullptr;

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
} // namespace

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
    bool ok = false;
    const QString s = QInputDialog::getText(nullptr, titleOr(title), prompt, QLineEdit::Normal, initial, &ok);
    return ok ? s : QString();
}

QString QtPrompts::saveFileName(const QString& title, const QString& filter, const QString& initialName)
{
    return QFileDialog::getSaveFileName(nullptr, titleOr(title), initialName, filter);
}

QString Prompts::saveFileNameFiltered(const QString& title, const QString& filter, int, const QString& initialName)
{
    return saveFileName(title, filter, initialName);
}

QString QtPrompts::saveFileNameFiltered(const QString& title, const QString& filter, int selected,
                                        const QString& initialName)
{
    QString chosen = filter.split(QStringLiteral(";;")).value(selected - 1);
    return QFileDialog::getSaveFileName(nullptr, titleOr(title), initialName, filter, &chosen);
}

ScriptedPrompts::ScriptedPrompts() { Prompts::install(this); }
ScriptedPrompts::~ScriptedPrompts() { Prompts::install(nullptr); }

void ScriptedPrompts::message(const QString& text, const QString& title, Icon icon)
{
    shown.push_back({Kind::Message, text, titleOr(title), Buttons::OK, icon, {}});
}

Answer ScriptedPrompts::ask(const QString& text, Buttons buttons, const QString& title, Icon icon)
{
    shown.push_back({Kind::Ask, text, titleOr(title), buttons, icon, {}});
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

QString ScriptedPrompts::saveFileName(const QString& title, const QString& filter, const QString& initialName)
{
    return saveFileNameFiltered(title, filter, 1, initialName);
}

QString ScriptedPrompts::saveFileNameFiltered(const QString& title, const QString& filter, int selected,
                                              const QString& initialName)
{
    shown.push_back(
        {Kind::SaveFile, title, titleOr(title), Buttons::OKCancel, Icon::None, initialName, filter, selected});
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

void tell(const QString& text) { Prompts::current().message(text); }

} // namespace platform
