#pragma once
// Message boxes, input boxes and the save-file dialog behind one small interface, so that tests can
// answer them from a script and read back every text that was shown.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QAbstractFileIconProvider;
class QWidget;

namespace platform {

// The icon provider of every file dialog the program shows: kinds and icons from file names only, so that
// no dialog opens the files it lists (which would drop SQLite's locks on the database).
QAbstractFileIconProvider& nameOnlyIconProvider();

// The program's save-file dialog (Qt's own, never the desktop's, with the name-only provider), modal over
// parent: filter entries in Qt's form, the first listing on initialPath's folder (the working folder when it
// names no folder) with its file name preselected. Returns the chosen path, or an empty text when cancelled.
QString chooseSaveFile(QWidget* parent, const QString& title, const QStringList& filterEntries,
                       const QString& initialPath, int selectedFilter, bool confirmOverwrite = true);

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel };
enum class Icon { None, Information, Warning, Critical, Question };
enum class Answer { OK, Cancel, Yes, No, Retry };

// Title used when a caller gives none: the program's own title.
QString defaultTitle();

// A message with an OK button through the prompts in force (by default no icon and the program's title).
// Shown at once, except while a timer handler runs (a TickScope lives): a box's own event loop would hold
// that timer's next ticks, so the message is then shown after the outermost handler has returned. Such
// messages are shown once each, in the order raised, one box at a time.
void tell(const QString& text, const QString& title = {}, Icon icon = Icon::None);

// Marks a timer handler (a poll tick) on the stack while it lives; nests.
class TickScope {
public:
    TickScope();
    ~TickScope();
    TickScope(const TickScope&) = delete;
    TickScope& operator=(const TickScope&) = delete;
    // True while any handler is marked.
    static bool active();
};

// Messages raised inside a timer handler and not shown yet.
int pendingMessages();

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
    // A save-file dialog; returns the chosen path, or an empty text when cancelled. The filter is either
    // Qt's form ("Text (*.csv);;All (*)") or the form "description|pattern|description|pattern" of the
    // original dialogs.
    virtual QString saveFileName(const QString& title, const QString& filter, const QString& initialName = {}) = 0;
    // The same with the 0-based filter entry preselected (prompts that do not show entries ignore it).
    virtual QString saveFileName(const QString& title, const QString& filter, const QString& initialName,
                                 int selectedFilter)
    {
        (void)selectedFilter;
        return saveFileName(title, filter, initialName);
    }

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
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName) override
    {
        return saveFileName(title, filter, initialName, 0);
    }
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName,
                         int selectedFilter) override;
};

// The filter entries of a dialog filter in either form, in Qt's form ("Text Files(*.csv)"): an entry of the
// "description|pattern" form keeps its description, with " (pattern)" added when it names no pattern.
QStringList dialogFilterEntries(const QString& filter);

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
        QString filter;           // save-file dialogs: the filter as given
        int selectedFilter = 0;   // and the entry preselected
    };

    ScriptedPrompts();   // installs itself
    ~ScriptedPrompts() override;   // restores the Qt prompts

    void message(const QString& text, const QString& title, Icon icon) override;
    Answer ask(const QString& text, Buttons buttons, const QString& title, Icon icon) override;
    QString input(const QString& prompt, const QString& title, const QString& initial) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName) override
    {
        return saveFileName(title, filter, initialName, 0);
    }
    QString saveFileName(const QString& title, const QString& filter, const QString& initialName,
                         int selectedFilter) override;

    void queueAnswer(Answer a) { answers.push_back(a); }
    void queueInput(const QString& s) { inputs.push_back(s); }
    void queueFile(const QString& s) { files.push_back(s); }

    std::vector<Shown> shown;
    std::deque<Answer> answers;

    // The operator looking at a box: when set, a message or question runs this while its box is "open"
    // (after it was recorded, before it is answered). It may run a nested event loop (QTest::qWait,
    // QTRY_*), as a real box does; timers and other queued work go on meanwhile.
    std::function<void(const Shown&)> whileOpen;
    // Boxes open at this moment (messages and questions inside whileOpen).
    int open = 0;
    std::deque<QString> inputs;
    std::deque<QString> files;

    // Texts of every prompt shown so far, in order.
    QStringList texts() const;
    void clear() { shown.clear(); }

private:
    void holdOpen();
};

} // namespace platform
