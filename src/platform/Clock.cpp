#include "platform/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <chrono>

namespace platform {

namespace {
Clock* g_clock = nullptr;
}

Clock& Clock::current()
{
    static SystemClock system;
    return g_clock ? *g_clock : static_cast<Clock&>(system);
}

void Clock::install(Clock* c) { g_clock = c; }

std::uint32_t SystemClock::milliseconds()
{
    using namespace std::chrono;
    const auto ms = duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

ManualClock::ManualClock(std::uint32_t start) : now(start) { Clock::install(this); }
ManualClock::~ManualClock() { Clock::install(nullptr); }

void wait_for_milli_seconds(std::uint32_t ms)
{
    Clock& clock = Clock::current();
    const std::uint32_t start = clock.milliseconds();
    auto* manual = dynamic_cast<ManualClock*>(&clock);
    if (manual) {
        // Time under test moves only here: process what is pending, then let the pause pass.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        manual->advance(ms);
        return;
    }
    while (elapsedMs(start, clock.milliseconds()) < static_cast<std::int64_t>(ms)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}

} // namespace platform
