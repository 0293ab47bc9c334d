#pragma once
// The internals of the number patterns: the powers of ten, the whole-number rounding and the digit writer
// shared by format.cpp (the prepared patterns, roundHalfAway) and the inline NumberPattern::fastFormat.
// Included by format.cpp and by the few callers that format a value per cell with a prepared pattern; every
// other file includes records/format.h only.
#include "records/format.h"

#include <cmath>
#include <cstdint>

namespace Format {

namespace detail {
inline constexpr int MaxFastDecimals = 15;
inline constexpr double kPow10d[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
inline constexpr std::uint64_t kPow10u[] = {1ull,          10ull,          100ull,          1000ull,
                                            10000ull,      100000ull,      1000000ull,      10000000ull,
                                            100000000ull,  1000000000ull,  10000000000ull,  100000000000ull,
                                            1000000000000ull, 10000000000000ull, 100000000000000ull,
                                            1000000000000000ull};

// The whole number that y = |v| x 10^decimals (y >= 0) rounds to as number() and roundHalfAway() round it,
// when that is beyond doubt (see format.cpp); false otherwise.
inline bool wholeRounding(double y, std::uint64_t& rounded)
{
    if (!(y < 1e13)) return false;
    const std::uint64_t whole = std::uint64_t(y);   // y >= 0: the truncation is the floor
    const double fraction = y - double(whole);
    if (std::fabs(fraction - 0.5) <= y * 2e-14) return false;
    rounded = whole + (fraction > 0.5 ? 1 : 0);
    return true;
}

// Writes the last `count` decimal digits of v (leading zeros included) to the count chars before end, two
// at a time.
inline void writeDigits(std::uint64_t v, int count, char* end)
{
    static constexpr char pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                    "8081828384858687888990919293949596979899";
    for (; count >= 2; count -= 2, v /= 100) {
        const char* pair = pairs + 2 * (v % 100);
        *--end = pair[1];
        *--end = pair[0];
    }
    if (count > 0) *--end = char('0' + v % 10);
}

// The whole number for a value that wholeRounding leaves in doubt (within rounding noise of a half): a
// (>= 0) taken to its 15 significant digits and rounded at `decimals` places (at most MaxFastDecimals),
// exactly as number() rounds it; false when a x 10^decimals is not below 10^13 or is not a number.
bool decimalRounding(double a, int decimals, std::uint64_t& rounded);

// The whole number that a (>= 0) x 10^decimals rounds to as number() rounds it: the cheap way where it
// settles the rounding, the decimal digits where a lies next to a half.
inline bool patternRounding(double a, int decimals, std::uint64_t& rounded)
{
    return wholeRounding(a * kPow10d[decimals], rounded) || decimalRounding(a, decimals, rounded);
}
} // namespace detail

// A plain pattern ("#"s then "0"s, the point, "0"s then "#"s, a final "%") written straight from the
// rounded whole number; any other prepared pattern walks its sections.
inline int NumberPattern::fastFormat(double x, char* buf) const
{
    if (!plain_) return walkFormat(x, buf);
    const double v = percent_ ? x * 100 : x;
    std::uint64_t rounded = 0;
    // Not a number and infinities fail the rounding's range check.
    if (!detail::patternRounding(std::fabs(v), decimals_, rounded)) return -1;
    char* o = buf;
    if (x < 0 && rounded > 0) *o++ = '-';
    // rounded / 10^decimals without a division: the whole part of |v| (rounded, from |v| x 10^decimals, is
    // at least that part x 10^decimals, the product being monotonic), one more when the rounding carried.
    const std::uint64_t unit = detail::kPow10u[decimals_];
    std::uint64_t intPart = std::uint64_t(std::fabs(v));
    std::uint64_t fracPart = rounded - intPart * unit;
    if (fracPart >= unit) {
        ++intPart;
        fracPart -= unit;
    }
    int len = 0;   // digits of the whole part, at least minInt_
    while (len < 16 && intPart >= detail::kPow10u[len]) ++len;
    if (len < minInt_) len = minInt_;
    o += len;
    detail::writeDigits(intPart, len, o);
    if (point_) {
        *o++ = '.';
        int kept = decimals_;   // trailing zeros dropped down to the "0" places
        while (kept > minDecimals_ && fracPart % 10 == 0) {
            fracPart /= 10;
            --kept;
        }
        o += kept;
        detail::writeDigits(fracPart, kept, o);
    }
    if (percent_) *o++ = '%';
    return int(o - buf);
}

} // namespace Format
