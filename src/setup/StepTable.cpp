#include "setup/StepTable.h"

#include "records/Module1.h"
#include "records/format.h"

#include <algorithm>
#include <cmath>

namespace setup {

namespace {

const QString kDisplayPattern = QStringLiteral("##0.##");
constexpr int kDisplayDecimals = 2;   // the places of kDisplayPattern
// A step's temperature range, °F.
constexpr double kLowestF = 0;
constexpr double kHighestF = 680;
const QString kWholePattern = QStringLiteral("##0");
const QString kTooManySteps = QStringLiteral("Too Many Test Steps.");
const QString kStepNoInvalid = QStringLiteral("Step No. input invalid");

QString plain(double x) { return Format::general(x); }

// A step number typed into a dialog: its leading number taken to the nearest whole one.
int stepNumber(const QString& text)
{
    const auto whole = Format::toInt32(Format::roundHalfEven(Format::leading(text)));
    return whole ? *whole : 0;
}

Refusal bufferRefusal()
{
    return {QStringLiteral("Too many steps to hold: at most %1 steps can be moved or copied at once.")
                .arg(MaxBufferRows),
            kTooManySteps};
}

} // namespace

double lowestDisplayTemp() { return Module1::ToDisplayTemp(kLowestF); }
double highestDisplayTemp() { return Module1::ToDisplayTemp(kHighestF); }
bool tempInRange(double t) { return !(t < lowestDisplayTemp()) && !(t > highestDisplayTemp()); }

namespace {

// A temperature typed into the grid, in the display units of unitSystem, checked at the grid's precision:
// against the limits as the grid shows them, so that -17.78 °C (0 °F shown in SI) is taken.
bool typedTempInRange(double t, int unitSystem)
{
    const double lowest = Format::roundHalfAway(Module1::ToDisplayTemp(kLowestF, unitSystem), kDisplayDecimals);
    const double highest = Format::roundHalfAway(Module1::ToDisplayTemp(kHighestF, unitSystem), kDisplayDecimals);
    return !(t < lowest) && !(t > highest);
}

} // namespace

QString StepTable::text(int step, int column) const
{
    if (step < 1 || step > count() || column < 0 || column >= StepColumns) return {};
    return rows_[std::size_t(step - 1)][std::size_t(column)];
}

void StepTable::setText(int step, int column, const QString& text)
{
    if (step < 1 || step > count() || column < 0 || column >= StepColumns) return;
    QString& cell = rows_[std::size_t(step - 1)][std::size_t(column)];
    if (column == ColTemp && cell != text) tempF_[std::size_t(step - 1)].reset();
    cell = text;
}

void StepTable::clear()
{
    rows_.clear();
    tempF_.clear();
}

void StepTable::append(const StepRow& row)
{
    rows_.push_back(row);
    tempF_.emplace_back();
}

double StepTable::number(int step, int column) const { return Format::leading(text(step, column)); }

void StepTable::renumber()
{
    for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i][ColStepNo] = plain(double(i + 1));
}

void StepTable::fill(const std::vector<StoredStep>& steps)
{
    clear();
    for (const StoredStep& s : steps) {
        append({plain(s.stepNo), Format::number(s.elapse, kDisplayPattern),
                Format::number(Module1::ToDisplayTemp(s.temp), kDisplayPattern), plain(s.rate)});
        tempF_.back() = s.temp;
    }
}

void StepTable::changeUnits(int from, int to)
{
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        std::optional<double>& f = tempF_[i];
        if (!f) {
            const auto shown = Format::leadingNumber(rows_[i][ColTemp]);
            if (!shown) continue;
            f = Module1::ToStoredTemp(*shown, from);
            // A typed limit as the grid shows it (-17.78 °C) means the limit itself.
            if (typedTempInRange(*shown, from)) f = std::clamp(*f, kLowestF, kHighestF);
        }
        rows_[i][ColTemp] = Format::number(Module1::ToDisplayTemp(*f, to), kDisplayPattern);
    }
}

std::optional<Refusal> StepTable::insertRefusal() const
{
    if (count() >= MaxInsertSteps) return Refusal{QStringLiteral("Maximum number of steps is 998."), kTooManySteps};
    return std::nullopt;
}

std::optional<Refusal> StepTable::insert(int current, bool before, double time, double temp, double rate)
{
    if (auto full = insertRefusal()) return full;
    current = std::clamp(current, 0, count());
    const int target = (current > 0 && before) ? current : current + 1;   // 1-based row of the new step
    rows_.insert(rows_.begin() + (target - 1), StepRow{QString(), plain(time), plain(temp), plain(rate)});
    tempF_.insert(tempF_.begin() + (target - 1), std::nullopt);
    renumber();
    return std::nullopt;
}

bool StepTable::removeStep(int current)
{
    if (current < 1 || current > count()) return false;
    rows_.erase(rows_.begin() + (current - 1));
    tempF_.erase(tempF_.begin() + (current - 1));
    renumber();
    return true;
}

std::optional<Refusal> StepTable::removeRange(int from, int to)
{
    if (from < 1 || to < from || to > count()) return Refusal{QStringLiteral("No such steps."), kStepNoInvalid};
    if (count() - to > MaxBufferRows) return bufferRefusal();
    rows_.erase(rows_.begin() + (from - 1), rows_.begin() + to);
    tempF_.erase(tempF_.begin() + (from - 1), tempF_.begin() + to);
    renumber();
    return std::nullopt;
}

std::optional<Refusal> StepTable::copyPaste(int from, int to, int pasteTo, bool before, double newTemp)
{
    if (from < 1 || to < from || to > count() || pasteTo < 1 || pasteTo > count())
        return Refusal{QStringLiteral("No such steps."), kStepNoInvalid};
    if (to - from + 1 > MaxBufferRows) return bufferRefusal();
    // The copies are taken before anything moves.
    std::vector<StepRow> copies(rows_.begin() + (from - 1), rows_.begin() + to);
    const QString temp = Format::number(newTemp, kWholePattern);
    for (StepRow& r : copies) r[ColTemp] = temp;
    const int at = before ? pasteTo - 1 : pasteTo;   // 0-based index of the first copy
    rows_.insert(rows_.begin() + at, copies.begin(), copies.end());
    tempF_.insert(tempF_.begin() + at, copies.size(), std::nullopt);
    renumber();
    return std::nullopt;
}

std::optional<StepTable::BuilderRefusal> StepTable::build(const QString& totalSteps, const QString& stepTime,
                                                          const QString& temp, const QString& interval)
{
    // A fractional count means its whole part; a grid longer than a sequence may be is of no use.
    const double n = std::trunc(Format::leading(totalSteps));
    if (!(n > 0))
        return BuilderRefusal{QStringLiteral("You must input the total number of steps."), BuilderRefusal::TotalSteps};
    if (n > MaxSavedSteps)
        return BuilderRefusal{QStringLiteral("Sequence can not over 100 steps"), BuilderRefusal::TotalSteps};
    const double t = Format::leading(temp);
    if (!tempInRange(t))
        return BuilderRefusal{QStringLiteral("Temperature input out of range. Temperature can not be set over ") +
                                  plain(highestDisplayTemp()),
                              BuilderRefusal::Temp};
    const double r = Format::leading(interval);
    if (!(r > 0))
        return BuilderRefusal{QStringLiteral("Interval input out of range. Interval must >0"), BuilderRefusal::Interval};
    const QString time = plain(Format::leading(stepTime));
    const QString tempText = Format::number(t, kWholePattern);
    const QString rate = plain(r);
    clear();
    for (int k = 1; k <= int(n); ++k) append({plain(k), time, tempText, rate});
    return std::nullopt;
}

std::optional<SaveFailure> StepTable::checkForSave() const
{
    if (count() > MaxSavedSteps) return SaveFailure{0, 0, QStringLiteral("Sequence can not over 100 steps")};
    const auto within = [](const std::optional<double>& x, double highest) { return x && *x > 0 && *x <= highest; };
    for (int i = 1; i <= count(); ++i) {
        if (!within(Format::leadingNumber(text(i, ColElapse)), MaxStepMinutes))
            return SaveFailure{i, ColElapse, QStringLiteral("Elapse Time input out of range.")};
        // An unedited temperature is checked as the °F it came from, a typed one at the grid's precision.
        const std::optional<double>& f = tempF_[std::size_t(i - 1)];
        const auto typed = f ? std::nullopt : Format::leadingNumber(text(i, ColTemp));
        if (f ? !(*f >= kLowestF && *f <= kHighestF) : !typed || !typedTempInRange(*typed, Module1::UnitSystem))
            return SaveFailure{i, ColTemp, QStringLiteral("Temperature input out of range.")};
        if (!within(Format::leadingNumber(text(i, ColRate)), MaxRecordSeconds))
            return SaveFailure{i, ColRate, QStringLiteral("Record interval input out of range.")};
    }
    return std::nullopt;
}

std::vector<StoredStep> StepTable::stored() const
{
    std::vector<StoredStep> out;
    for (int i = 1; i <= count(); ++i) {
        const std::optional<double>& f = tempF_[std::size_t(i - 1)];
        const double tempF = f ? *f : Module1::ToStoredTemp(number(i, ColTemp));
        out.push_back({number(i, ColStepNo), number(i, ColElapse), Format::roundHalfAway(tempF, 0), number(i, ColRate)});
    }
    return out;
}

namespace dialogs {

std::variant<InsertValues, InsertRefusal> checkInsert(const QString& time, const QString& temp, const QString& rate)
{
    InsertValues v{Format::leading(time), Format::leading(temp), Format::leading(rate)};
    if (v.time < 0 || v.time > 60000)
        return InsertRefusal{{QStringLiteral("Invalid time input"), QStringLiteral("Time input out of range")}, 1};
    if (!tempInRange(v.temp))
        return InsertRefusal{
            {QStringLiteral("Invalid temperature input"), QStringLiteral("Temperature input out of range")}, 2};
    if (v.rate < 0)
        return InsertRefusal{{QStringLiteral("Invalid data recording rate input"),
                              QStringLiteral("Data recording rate input out of range")},
                             3};
    return v;
}

std::variant<Range, Refusal> checkDeleteRange(const QString& from, const QString& to, int steps)
{
    const Range r{stepNumber(from), stepNumber(to)};
    if (r.to < r.from)
        return Refusal{QStringLiteral("Deleted steps should be listed in order from lower to higher numbered steps"),
                       kStepNoInvalid};
    if (r.from < 1 || r.to > steps)
        return Refusal{QStringLiteral("Deleted steps should be existing steps, numbered from 1 to %1").arg(steps),
                       kStepNoInvalid};
    return r;
}

std::variant<CopyValues, Refusal> checkCopy(const QString& from, const QString& to, const QString& pasteTo,
                                            const QString& newTemp, const QString& newPressure, int steps)
{
    const CopyValues v{stepNumber(from), stepNumber(to), stepNumber(pasteTo), Format::leading(newTemp),
                       Format::leading(newPressure)};
    if (v.to < v.from)
        return Refusal{QStringLiteral("Copied steps should be listed in order from lower to higher numbered steps"),
                       kStepNoInvalid};
    if (v.from < 1 || v.to > steps)
        return Refusal{QStringLiteral("Copied steps should be existing steps, numbered from 1 to %1").arg(steps),
                       kStepNoInvalid};
    if (v.pasteTo < 1 || v.pasteTo > steps)
        return Refusal{QStringLiteral("Paste target step should be an existing step, numbered from 1 to %1").arg(steps),
                       kStepNoInvalid};
    if (!tempInRange(v.newTemp))
        return Refusal{QStringLiteral("Invalid new target temperature"),
                       QStringLiteral("New target temperature input invalid")};
    return v;
}

} // namespace dialogs

} // namespace setup
