#pragma once
// The millisecond counter of the unit screens: a 32-bit value that wraps, read through one interface so
// tests can drive time by hand.
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, modulo 2^32.
    virtual std::uint32_t milliseconds() = 0;

    // The clock in force: steady_clock unless a test installed another.
    static Clock& current();
    static void install(Clock* c);   // nullptr restores the system clock
};

// Wrap-safe difference later − earlier on the 32-bit counter, as a signed number of milliseconds.
inline std::int64_t elapsedMs(std::uint32_t earlier, std::uint32_t later)
{
    return static_cast<std::int32_t>(later - earlier);
}

class SystemClock final : public Clock {
public:
    std::uint32_t milliseconds() override;
};

// A clock that moves only when told; installs itself while it lives.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint32_t start = 0);
    ~ManualClock() override;
    std::uint32_t milliseconds() override { return now; }
    void advance(std::uint32_t ms) { now += ms; }
    void set(std::uint32_t ms) { now = ms; }
    std::uint32_t now;
};

// Waits at least ms milliseconds of the clock in force while processing pending window events (ticks
// and clicks may run inside). With a manual clock the wait advances the clock itself, so it ends.
void wait_for_milli_seconds(std::uint32_t ms);

} // namespace platform
