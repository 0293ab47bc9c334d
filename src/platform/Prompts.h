#pragma once
// Message boxes, input boxes and the save-file dialog behind one small interface, so that tests can
// answer them from a script and read back every text that was shown.
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

namespace platform {

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel };
enum class Icon { None, Information, Warning, Critical, Question };
enum class Answer { OK, Cancel, Yes, No, Retry };

// Title used when a caller gives none: the program's own title.
QString defaultTitle();

// A plain message (OK button, no icon, the default title) through the prompts in force.
void tell(const QString& text);

class Prompts {
public:
    virtual ~Prompts() = default;
    // A message with an OK button only.
    virtual void message(const QString& text, const QString& title = {}, Icon icon = Icon::None) = 0;
    // A message with a choice of buttons; returns the button pressed (closing the box counts as Cancel
    // or, without a Cancel button, as No).
    virtual Answer ask(const QString& text, Buttons buttons, const QString& title = {},
                       Icon icon = Icon::None) = 0;
    // An input box; returns the text typed, or an empty text when the operator cancels.
    virtual QString input(const QString& prompt, const QString& title = {}, const QString& initial = {}) = 0;
    // A save-file dialog; returns the chosen path, or an empty text when cancelled.
    virtual QString saveFileName(const QString& title, const QString& filter, const QString& initialName = {}) = 0;
    // The same with entry `selected` (from 1) of the filter (entries separated by ";;") preselected. The
    // base class runs saveFileName.
    virtual QString saveFileNameFiltered(const QString& title, const QString& filter, int selected,
                                         const QString& initialName = {});

    // The prompts in force; the Qt implementation unless a test installed another.
    static Prompts& current();
    // Installs p (not owned) as the prompts in force; nullptr restores the Qt implementation.
    static void install(Prompts* p);
};

// Real boxes on screen.
class QtPrompts final : public Prompts {
public:
    void message(const QString& text, const QString& title, Icon icon) override;
    Answer ask(const QString& text, Buttons buttons, const QString& title, Icon icon) override;
    QString input(const QString& prompt, const QString& title, const QString& initial) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName) override;
    QString saveFileNameFiltered(const QString& title, const QString& filter, int selected,
                                 const QString& initialName) override;
};

// Records every prompt and answers from queues (a plain message takes no answer). An empty queue answers
// OK, Yes or Retry for a choice and "" for an input or a file name.
class ScriptedPrompts final : public Prompts {
public:
    enum class Kind { Message, Ask, Input, SaveFile };
    struct Shown {
        Kind kind;
        QString text;
        QString title;
        Buttons buttons = Buttons::OK;
        Icon icon = Icon::None;
        QString initial;
        QString filter;           // save-file dialogs: the filter and the preselected entry (from 1)
        int selectedFilter = 0;
    };

    ScriptedPrompts();   // installs itself
    ~ScriptedPrompts() override;   // restores the Qt prompts

    void message(const QString& text, const QString& title, Icon icon) override;
    Answer ask(const QString& text, Buttons buttons, const QString& title, Icon icon) override;
    QString input(const QString& prompt, const QString& title, const QString& initial) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName) override;
    QString saveFileNameFiltered(const QString& title, const QString& filter, int selected,
                                 const QString& initialName) override;

    void queueAnswer(Answer a) { answers.push_back(a); }
    void queueInput(const QString& s) { inputs.push_back(s); }
    void queueFile(const QString& s) { files.push_back(s); }

    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::deque<QString> inputs;
    std::deque<QString> files;

    // Texts of every prompt shown so far, in order.
    QStringList texts() const;
    void clear() { shown.clear(); }
};

} // namespace platform
