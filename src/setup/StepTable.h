#pragma once
// The steps of the sequence under edit, as the step grid shows them: one row of four texts per step (step
// number, elapse time in minutes, temperature in display units, record interval in seconds). Every reading
// of a cell takes its leading number. The step operations of the setup window live here, so that they are
// the same whatever drives them; each ends with the step numbers rewritten 1, 2, 3 ... from the top.
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <variant>
#include <vector>

namespace setup {

// Columns of a step row.
enum StepColumn { ColStepNo = 0, ColElapse = 1, ColTemp = 2, ColRate = 3, StepColumns = 4 };

// Limits of the step operations and of a saved sequence.
constexpr int MaxInsertSteps = 998;   // an insert is refused when the grid already has this many steps
constexpr int MaxBufferRows = 1000;   // rows a copy or a range delete may hold aside
constexpr int MaxSavedSteps = 100;    // a longer sequence is not saved
// The longest step a sequence may hold, in minutes (as the insert dialog allows), and so the longest record
// interval that can ever log a point within a step, in seconds.
constexpr double MaxStepMinutes = 60000;
constexpr double MaxRecordSeconds = MaxStepMinutes * 60;

// A refusal: the message and its title (empty: the default title).
struct Refusal {
    QString message;
    QString title;
    bool operator==(const Refusal&) const = default;
};

// A step as stored: the numbers that go into SEQUENCE_STEP.
struct StoredStep {
    double stepNo = 0;
    double elapse = 0;    // minutes
    double temp = 0;      // whole °F
    double rate = 0;      // seconds
};

// Where a step failed the save checks: step row (1-based), grid column and message.
struct SaveFailure {
    int row = 0;
    int column = 0;
    QString message;
};

using StepRow = std::array<QString, StepColumns>;

class StepTable {
public:
    int count() const { return int(rows_.size()); }
    // Text of a cell; step is 1-based.
    QString text(int step, int column) const;
    void setText(int step, int column, const QString& text);
    double number(int step, int column) const;
    const std::vector<StepRow>& rows() const { return rows_; }
    void clear();
    void append(const StepRow& row);

    // Step numbers 1..n in column 0.
    void renumber();

    // Rows from stored steps: step number and record interval as plain numbers, elapse time and
    // temperature (converted to display units) with "##0.##".
    void fill(const std::vector<StoredStep>& steps);

    // The temperatures shown again in another unit system (1 English, else SI), "##0.##": each keeps the
    // degrees it meant. A text without a number stays as it is. A temperature keeps the °F it came from
    // until its text is changed, so switching back and forth neither drifts nor changes what is stored.
    void changeUnits(int from, int to);

    // The refusal of an insert when the grid already holds MaxInsertSteps steps.
    std::optional<Refusal> insertRefusal() const;
    // Inserts one step before (when current > 0 and before) or after the current step (0 = none chosen),
    // the three values as plain numbers. Refused at MaxInsertSteps steps.
    std::optional<Refusal> insert(int current, bool before, double time, double temp, double rate);
    // Removes the current step; nothing when current is 0 or names no step. True when a step went.
    bool removeStep(int current);
    // Removes steps from..to (1-based, from <= to, both existing). Refused when more than MaxBufferRows
    // steps lie below the range.
    std::optional<Refusal> removeRange(int from, int to);
    // Copies steps from..to next to pasteTo (after it, or before it when before), every copy with the
    // temperature newTemp brought to whole display units ("##0"). Refused when more than MaxBufferRows
    // steps are copied.
    std::optional<Refusal> copyPaste(int from, int to, int pasteTo, bool before, double newTemp);

    // The Auto Step Builder: count equal steps replace the grid. Every text is read as the operator typed
    // it; the count's whole part is taken. Refused with the builder's messages, or the save limit.
    struct BuilderRefusal {
        QString message;
        enum Field { TotalSteps, Temp, Interval } field;
    };
    std::optional<BuilderRefusal> build(const QString& totalSteps, const QString& stepTime, const QString& temp,
                                        const QString& interval);

    // The save checks in step order: the step limit (row 0), then per step its elapse time (above 0, at most
    // MaxStepMinutes), temperature (0..680 °F: an unedited one as the °F it came from, a typed one in display
    // units at the grid's two places, so -17.78 and 360 °C pass) and record interval (above 0, at most
    // MaxRecordSeconds). A cell must begin with a number: a text without one ("abc", "nan", "inf", blank) or a
    // number beyond a double fails its column's check.
    std::optional<SaveFailure> checkForSave() const;
    // The steps as they are stored: the temperature through the stored-units conversion to whole degrees.
    std::vector<StoredStep> stored() const;

private:
    std::vector<StepRow> rows_;
    // Per row, the °F that the temperature text was made from (a stored step, or a change of units); none
    // once the text is typed or given by a step operation.
    std::vector<std::optional<double>> tempF_;
};

// The temperature range of a step in display units: 0..680 °F.
double lowestDisplayTemp();
double highestDisplayTemp();
bool tempInRange(double displayTemp);

// The checks of the step dialogs' OK buttons. Numbers are read leniently from the texts.
namespace dialogs {

struct InsertValues {
    double time = 0, temp = 0, rate = 0;
};
// Which entry failed: 1 time, 2 temperature, 3 rate.
struct InsertRefusal {
    Refusal refusal;
    int field = 0;
};
std::variant<InsertValues, InsertRefusal> checkInsert(const QString& time, const QString& temp, const QString& rate);

// A range of existing steps: whole step numbers from <= to within 1..steps.
struct Range {
    int from = 0, to = 0;
};
std::variant<Range, Refusal> checkDeleteRange(const QString& from, const QString& to, int steps);

struct CopyValues {
    int from = 0, to = 0, pasteTo = 0;
    double newTemp = 0, newPressure = 0;
};
std::variant<CopyValues, Refusal> checkCopy(const QString& from, const QString& to, const QString& pasteTo,
                                            const QString& newTemp, const QString& newPressure, int steps);

} // namespace dialogs

} // namespace setup
