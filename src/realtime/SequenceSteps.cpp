#include "realtime/SequenceSteps.h"

#include "records/format.h"

namespace realtime {

SequenceSteps::Load SequenceSteps::load(const std::vector<SequenceStep>& steps)
{
    if (steps.empty()) return Load::Empty;
    if (steps.size() > std::size_t(MaxSteps)) return Load::TooMany;
    for (std::size_t i = 0; i < steps.size(); ++i) table_[i + 1] = steps[i];
    count_ = int(steps.size());
    return Load::Loaded;
}

const SequenceStep& SequenceSteps::step(int k) const
{
    static const SequenceStep none{};
    return k >= 1 && k <= MaxSteps ? table_[std::size_t(k)] : none;
}

void SequenceSteps::start(std::uint32_t now)
{
    current_ = 1;
    stepTick_ = now;
    stepSeconds_ = 0;
}

bool SequenceSteps::stepTimeUp(std::uint32_t now)
{
    // Wrap-safe on the 32-bit clock; whole seconds.
    stepSeconds_ = std::int32_t((now - stepTick_) / 1000);
    return currentStep().minutes * 60 <= stepSeconds_;
}

void SequenceSteps::nextStep(std::uint32_t now)
{
    if (current_ < MaxSteps) ++current_;
    stepTick_ = now;
    stepSeconds_ = 0;
}

std::vector<double> SequenceSteps::startSeconds() const
{
    std::vector<double> out;
    out.reserve(std::size_t(count_));
    double sum = 0;
    for (int k = 1; k <= count_; ++k) {
        out.push_back(sum);
        sum = Format::roundHalfEven(sum + step(k).minutes * 60);
    }
    return out;
}

QString SequenceSteps::overMaximumMessage(int stepNo, const QString& limitText)
{
    return QStringLiteral("The step %1 Temperature  is over the maximum ( %2)").arg(stepNo).arg(limitText);
}

QString SequenceSteps::emptyMessage(const QString& name)
{
    return QStringLiteral("The sequence %1 has no steps, test stop").arg(name);
}

QString SequenceSteps::tooManyMessage(const QString& name, int steps)
{
    return QStringLiteral("The sequence %1 has %2 steps, more than the %3 a test can run, test stop")
        .arg(name)
        .arg(steps)
        .arg(MaxSteps);
}

} // namespace realtime
