#pragma once
// The steps of a cell's test sequence and the stepping rule, apart from any window.
//
// A cell keeps a table of 100 step positions (duration in minutes, set point in °F, logging interval in
// seconds). Loading a sequence overwrites positions 1..n; higher positions keep what a longer sequence left
// there. While the cell runs, the step that began at the step tick ends on the first poll at which its
// duration × 60 is at most the whole seconds since that tick (a 0-minute step ends on the first poll); the
// next step then begins at that poll, and after the last step the cell stops. Each step therefore lasts its
// duration plus up to one poll interval.
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace realtime {

struct SequenceStep {
    double minutes = 0;      // STEP_ELAPSE_TIME
    double setPointF = 0;    // STEP_TEMP, °F
    double recordRate = 0;   // RECORD_RATE, seconds between logged points
};

class SequenceSteps {
public:
    static constexpr int MaxSteps = 100;

    enum class Load { Loaded, Empty, TooMany };

    // Takes the steps of a sequence in step-number order. A sequence with no step or with more than
    // MaxSteps is refused and changes nothing.
    Load load(const std::vector<SequenceStep>& steps);

    // Number of steps of the loaded sequence (0 until one is loaded).
    int count() const { return count_; }
    // Step position k, 1..MaxSteps (anything else reads as an empty step).
    const SequenceStep& step(int k) const;

    // The running sequence: the current step and whole seconds since its tick.
    int current() const { return current_; }
    const SequenceStep& currentStep() const { return step(current_); }
    bool onLastStep() const { return current_ >= count_; }
    std::int32_t stepSeconds() const { return stepSeconds_; }
    std::uint32_t stepTick() const { return stepTick_; }

    // START: step 1 begins at the clock reading `now`.
    void start(std::uint32_t now);
    // Reads the whole seconds since the step tick; true when the current step's time is up.
    bool stepTimeUp(std::uint32_t now);
    // The next step begins at `now`.
    void nextStep(std::uint32_t now);
    // The step tick taken again (after the new step's set point went out).
    void restartStep(std::uint32_t now) { stepTick_ = now; }
    // Back to step k begun at stepTick (a step change that did not reach the unit).
    void resumeStep(int k, std::uint32_t stepTick)
    {
        current_ = k;
        stepTick_ = stepTick;
    }

    // Start of each step 1..count from START in whole seconds, as the detail window lists them: the running
    // sum taken to the nearest whole second (halves to even) after each step.
    std::vector<double> startSeconds() const;

    // Texts of the checks and refusals at START.
    static QString overMaximumMessage(int stepNo, const QString& limitText);
    static QString emptyMessage(const QString& name);
    static QString tooManyMessage(const QString& name, int steps);

private:
    std::array<SequenceStep, MaxSteps + 1> table_{};   // position 0 unused
    int count_ = 0;
    int current_ = 1;
    std::uint32_t stepTick_ = 0;
    std::int32_t stepSeconds_ = 0;
};

} // namespace realtime
