#include "records/format.h"

#include "records/FormatDetail.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Format {

namespace {

// ---------------------------------------------------------------------------------------------------
// Decimal digits of a double.
//
// Every number shown is first taken at 15 significant digits (correctly rounded), as the displays of the
// instrument always did: 0.1 + 0.2 shows as 0.3 and 2.675 rounds to 2.68 at two decimals, as the operator
// reads them. Value = d[0].d[1]d[2]... x 10^e; n digits, no trailing zeros; n == 0 means zero.
struct Digits {
    char d[20];
    int n = 0;
    int e = 0;
};

Digits toDigits(double a) // a >= 0 and finite
{
    Digits r;
    if (a == 0) return r;
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
    // buf holds "d.dddddddddddddde+XX"
    r.d[0] = buf[0];
    r.n = 1;
    const char* p = buf + 1;
    if (*p == '.') {
        ++p;
        while (*p != 'e') r.d[r.n++] = *p++;
    }
    ++p; // 'e'
    const bool neg = *p == '-';
    ++p;
    int ex = 0;
    std::from_chars(p, res.ptr, ex);
    r.e = neg ? -ex : ex;
    while (r.n > 0 && r.d[r.n - 1] == '0') --r.n;
    return r;
}

// Keeps the places down to 10^-decimals, taking a half away from zero.
void roundAt(Digits& r, int decimals)
{
    if (r.n == 0) return;
    const long kept = long(r.e) + decimals + 1;
    if (kept >= r.n) return;
    if (kept < 0) {
        r.n = 0;
        return;
    }
    const bool up = r.d[kept] >= '5';
    r.n = int(kept);
    if (up) {
        int i = r.n - 1;
        while (i >= 0 && r.d[i] == '9') r.d[i--] = '0';
        if (i >= 0) {
            ++r.d[i];
        } else { // carried past the first digit (or nothing was kept)
            std::memmove(r.d + 1, r.d, std::size_t(r.n));
            r.d[0] = '1';
            ++r.n;
            ++r.e;
        }
    }
    while (r.n > 0 && r.d[r.n - 1] == '0') --r.n;
}

// The digit at place 10^p.
char digitAt(const Digits& r, long p)
{
    const long i = long(r.e) - p;
    return (i >= 0 && i < r.n) ? r.d[i] : '0';
}

// Plain decimal digits: integer part (none when below 1, unless zeroBeforePoint), point and decimals only
// when there are decimals.
QString plainText(const Digits& r, bool zeroBeforePoint)
{
    QString s;
    if (r.e >= 0) {
        for (long p = r.e; p >= 0; --p) s += QLatin1Char(digitAt(r, p));
    } else if (zeroBeforePoint) {
        s += QLatin1Char('0');
    }
    const long lowest = long(r.e) - r.n + 1;
    if (lowest < 0) {
        s += QLatin1Char('.');
        for (long p = -1; p >= lowest; --p) s += QLatin1Char(digitAt(r, p));
    }
    return s;
}

// Mantissa, "E", sign, at least two exponent digits: "1E-05", "1.5E+16".
QString exponentText(const Digits& r)
{
    QString s(QLatin1Char(r.d[0]));
    if (r.n > 1) {
        s += QLatin1Char('.');
        for (int i = 1; i < r.n; ++i) s += QLatin1Char(r.d[i]);
    }
    s += QLatin1Char('E');
    s += QLatin1Char(r.e < 0 ? '-' : '+');
    s += QStringLiteral("%1").arg(std::abs(r.e), 2, 10, QLatin1Char('0'));
    return s;
}

// Plain digits while 1e-4 <= value < 1e15, the exponent form outside.
bool plainRange(const Digits& r) { return r.e >= -4 && r.e <= 14; }

QString nonFinite(double x)
{
    if (std::isnan(x)) return QStringLiteral("NaN");
    return x < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");
}

// The number's text without sign: "0", plain or exponent form.
QString unsignedText(const Digits& r, bool zeroBeforePoint)
{
    if (r.n == 0) return QStringLiteral("0");
    return plainRange(r) ? plainText(r, zeroBeforePoint) : exponentText(r);
}

// ---------------------------------------------------------------------------------------------------
// Reading numbers.

constexpr int kMaxSignificant = 780; // more than any double needs for a correctly rounded reading

inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
inline bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

struct Scan {
    double value = 0;
    bool number = false;   // a number was found
    bool overflow = false; // ... but it is beyond the range of a double
    std::size_t end = 0;   // where reading stopped
};

// lenient: blanks are skipped anywhere and reading stops at the first character that cannot continue the
// number. Otherwise blanks only around the number; end tells where it stopped.
template <typename Ch>
Scan scanNumber(const Ch* p, std::size_t n, bool lenient)
{
    Scan out;
    if (!p) n = 0;
    const auto at = [p](std::size_t k) -> char16_t {
        if constexpr (sizeof(Ch) == 1)
            return static_cast<unsigned char>(p[k]);
        else
            return static_cast<char16_t>(p[k]);
    };
    std::size_t i = 0;
    const auto skipBlanks = [&](std::size_t& k) {
        while (k < n && isBlank(at(k))) ++k;
    };
    const auto skipInner = [&](std::size_t& k) {
        if (lenient) skipBlanks(k);
    };

    skipBlanks(i);
    bool negative = false;
    if (i < n && (at(i) == u'+' || at(i) == u'-')) {
        negative = at(i) == u'-';
        ++i;
    }

    // "0." + significant digits (+ sticky digit) + "e" + exponent
    char buf[kMaxSignificant + 32];
    buf[0] = '0';
    buf[1] = '.';
    char* const dig = buf + 2;
    int significant = 0;
    long long scale = 0; // value = 0.<digits> x 10^scale
    bool sticky = false, point = false, anyDigit = false;
    for (;;) {
        skipInner(i);
        if (i >= n) break;
        const char16_t c = at(i);
        if (isDigit(c)) {
            anyDigit = true;
            if (significant == 0 && c == u'0') {
                if (point) --scale;
            } else {
                if (significant < kMaxSignificant)
                    dig[significant++] = char(c);
                else if (c != u'0')
                    sticky = true;
                if (!point) ++scale;
            }
            ++i;
        } else if (c == u'.' && !point) {
            point = true;
            ++i;
        } else {
            break;
        }
    }
    if (!anyDigit) {
        out.end = i;
        return out;
    }

    long long exponent = 0;
    {
        std::size_t j = i;
        skipInner(j);
        if (j < n && (at(j) == u'e' || at(j) == u'E')) {
            ++j;
            skipInner(j);
            bool expNegative = false;
            if (j < n && (at(j) == u'+' || at(j) == u'-')) {
                expNegative = at(j) == u'-';
                ++j;
                skipInner(j);
            }
            bool expDigit = false;
            long long ex = 0;
            while (j < n && isDigit(at(j))) {
                expDigit = true;
                ex = std::min<long long>(ex * 10 + (at(j) - u'0'), 100000000);
                ++j;
                skipInner(j);
            }
            if (expDigit) {
                exponent = expNegative ? -ex : ex;
                i = j;
            }
        }
    }
    out.end = i;
    out.number = true;

    if (significant == 0) return out; // zero
    const long long total = scale + exponent;
    if (total > 310) {
        out.overflow = true;
        return out;
    }
    if (total < -330) return out; // far below the smallest double: zero
    char* q = dig + significant;
    if (sticky) *q++ = '1';
    *q++ = 'e';
    q = std::to_chars(q, buf + sizeof buf, total).ptr;
    double v = 0;
    const auto res = std::from_chars(buf, q, v);
    if (res.ec == std::errc::result_out_of_range) {
        if (total > 0) out.overflow = true;
        return out;
    }
    if (res.ec != std::errc()) return out;
    out.value = negative ? -v : v;
    return out;
}

template <typename Ch>
double leadingOf(const Ch* p, std::size_t n)
{
    const Scan s = scanNumber(p, n, true);
    if (!s.number || s.overflow || s.value == 0) return 0.0;
    return s.value;
}

// ---------------------------------------------------------------------------------------------------
// Dates.

QString two(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QDateTime localDateTime(int y, int mo, int d, int h, int mi, int s, int ms)
{
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, Qt::LocalTime);
}

} // namespace

// -------------------------------------------------------------------------------------------------------
// Number patterns.
//
// The rules, for number() and the prepared patterns alike (NumberPattern::walkFormat for any prepared
// pattern, NumberPattern::fastFormat in FormatDetail.h for the plain ones):
// - "0" is a digit always written, "#" a digit written only when significant, "." the decimal point, always
//   written (1 with "#0.##" gives "1."), "%" multiplies the value by 100 and is written itself; any other
//   character is copied where it stands ("0.0 V" of 1.25 gives "1.3 V").
// - The value is taken at 15 significant digits, then rounded at the pattern's last place (as many places
//   as the fraction section has "0"s and "#"s), halves away from zero: "##0.#" 70.25 -> "70.3", "000" 99.5
//   -> "100", "#0.##" 2.675 -> "2.68".
// - Integer section: the digits of the whole part (none for 0) fill its places from the right; places left
//   over write "0" where the pattern has "0" and nothing where it has "#" ("000" 95 -> "095", "###.#" 0.5
//   -> ".5"); digits beyond the places go in front of the first place, or in front of the point when the
//   section has no place ("#0" 1234 -> "1234").
// - Fraction section: exactly its places are written, then trailing zeros are dropped at "#" places from the
//   right ("#0.0###" 3 -> "3.0", "#0.0###" 0.123456 -> "0.1235").
// - A negative value that is not zero once rounded gets a minus sign in front of everything ("000" -4 ->
//   "-004", "(#0)" -5 -> "-(5)"); one that rounds to zero gets none ("##0.#" -0.04 -> "0.").
// - Not a number, infinities and an empty pattern give general().
QString number(double x, const QString& pattern)
{
    if (!std::isfinite(x) || pattern.isEmpty()) return general(x);

    const bool percent = pattern.contains(QLatin1Char('%'));
    const qsizetype pointAt = pattern.indexOf(QLatin1Char('.'));
    const QStringView intSection = pointAt < 0 ? QStringView(pattern) : QStringView(pattern).left(pointAt);
    const QStringView fracSection = pointAt < 0 ? QStringView() : QStringView(pattern).mid(pointAt + 1);
    const auto isPlaceholder = [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('#'); };

    int decimals = 0;
    for (QChar c : fracSection)
        if (isPlaceholder(c)) ++decimals;

    const double v = percent ? x * 100 : x;
    Digits r;
    if (std::isfinite(v)) {
        r = toDigits(std::fabs(v));
    } else {
        // A percentage beyond the largest double: the value's digits, two places up.
        r = toDigits(std::fabs(x));
        r.e += 2;
    }
    roundAt(r, decimals);

    QString intDigits;
    for (long p = r.e; p >= 0 && r.n > 0; --p) intDigits += QLatin1Char(digitAt(r, p));
    QString fracDigits;
    for (long p = -1; p >= -long(decimals); --p) fracDigits += QLatin1Char(digitAt(r, p));

    QList<QChar> fracPlaces;
    for (QChar c : fracSection)
        if (isPlaceholder(c)) fracPlaces.append(c);
    int fracKept = decimals;
    while (fracKept > 0 && fracPlaces[fracKept - 1] == QLatin1Char('#') && fracDigits[fracKept - 1] == QLatin1Char('0'))
        --fracKept;

    QString out;
    if (x < 0 && r.n > 0) out += QLatin1Char('-');

    int intPlaces = 0;
    for (QChar c : intSection)
        if (isPlaceholder(c)) ++intPlaces;
    const qsizetype extra = std::max<qsizetype>(0, intDigits.size() - intPlaces);
    int place = 0;
    for (QChar c : intSection) {
        if (!isPlaceholder(c)) {
            out += c;
            continue;
        }
        if (place == 0) out += intDigits.left(extra);
        // digit index in intDigits for this place, counted so that the last place takes the last digit
        const qsizetype idx = intDigits.size() - (intPlaces - place);
        if (idx >= 0)
            out += intDigits[idx];
        else if (c == QLatin1Char('0'))
            out += QLatin1Char('0');
        ++place;
    }
    if (intPlaces == 0) out += intDigits;

    if (pointAt >= 0) {
        out += QLatin1Char('.');
        int k = 0;
        for (QChar c : fracSection) {
            if (!isPlaceholder(c)) {
                out += c;
                continue;
            }
            if (k < fracKept) out += fracDigits[k];
            ++k;
        }
    }
    return out;
}

// -------------------------------------------------------------------------------------------------------
// Prepared patterns.
//
// number() takes the value at 15 significant digits D (within 0.5e-14 of it, relatively) and rounds D at
// the pattern's last place, halves away from zero. With y = |v| x 10^decimals below 1e13 the 15-digit
// place lies at least two places below the last one, and y itself is within 1e-14 y of D x 10^decimals
// (the product is correctly rounded, 10^decimals exact). So where the fraction of y is farther than
// 2e-14 y from one half, D x 10^decimals lies on the same side of the half as y and rounds to the same
// whole number R; R's digits are the pattern's digits. Any other value goes through number().

namespace {
using detail::kPow10d;
using detail::kPow10u;
constexpr int kMaxFastDecimals = detail::MaxFastDecimals;
constexpr qsizetype kMaxFastPattern = 64;
inline bool isPlace(char c) { return c == '0' || c == '#'; }

} // namespace

bool detail::decimalRounding(double a, int decimals, std::uint64_t& rounded)
{
    if (decimals < 0 || decimals > MaxFastDecimals || !(a * kPow10d[decimals] < 1e13)) return false;
    Digits r = toDigits(a);
    roundAt(r, decimals);
    // The kept digits, the last of them at place 10^(e - n + 1), at least 10^-decimals once rounded.
    const int shift = r.e - r.n + 1 + decimals;
    if (r.n > 0 && (shift < 0 || r.n + shift > 14)) return false;
    std::uint64_t whole = 0;
    for (int i = 0; i < r.n; ++i) whole = whole * 10 + std::uint64_t(r.d[i] - '0');
    rounded = r.n > 0 ? whole * kPow10u[shift] : 0;
    return true;
}

NumberPattern::NumberPattern(const QString& pattern) : pattern_(pattern)
{
    fast_ = !pattern.isEmpty() && pattern.size() <= kMaxFastPattern;
    for (QChar c : pattern)
        if (c.unicode() == 0 || c.unicode() >= 128) fast_ = false;
    if (!fast_) return;
    const std::string p = pattern.toStdString();
    percent_ = p.find('%') != std::string::npos;
    const std::size_t pointAt = p.find('.');
    point_ = pointAt != std::string::npos;
    intSection_ = point_ ? p.substr(0, pointAt) : p;
    fracSection_ = point_ ? p.substr(pointAt + 1) : std::string();
    for (char c : intSection_) intPlaces_ += isPlace(c) ? 1 : 0;
    for (char c : fracSection_) decimals_ += isPlace(c) ? 1 : 0;
    if (decimals_ > kMaxFastDecimals) fast_ = false;

    std::string intCore = intSection_, fracCore = fracSection_;
    std::string& last = point_ ? fracCore : intCore;
    if (percent_ && !last.empty() && last.back() == '%') last.pop_back();   // plain only with the "%" last
    const auto run = [](const std::string& t, char first, char second, int& seconds) {
        const std::size_t split = t.find_first_not_of(first);
        const std::size_t rest = split == std::string::npos ? t.size() : split;
        seconds = int(t.size() - rest);
        return t.find_first_not_of(second, rest) == std::string::npos;
    };
    int hashes = 0;
    plain_ = fast_ && (intPlaces_ > 0 || point_) && (!percent_ || p.back() == '%') && std::count(p.begin(), p.end(), '%') <= 1
             && run(intCore, '#', '0', minInt_) && run(fracCore, '0', '#', hashes);
    minDecimals_ = decimals_ - hashes;
}

int NumberPattern::walkFormat(double x, char* buf) const
{
    if (!fast_ || !std::isfinite(x)) return -1;
    const double v = percent_ ? x * 100 : x;
    std::uint64_t rounded = 0;
    if (!detail::patternRounding(std::fabs(v), decimals_, rounded)) return -1;

    char intDigits[24], fracDigits[kMaxFastDecimals + 1];
    const std::uint64_t intPart = rounded / kPow10u[decimals_];
    std::uint64_t fracPart = rounded % kPow10u[decimals_];
    const int intLen = intPart == 0 ? 0 : int(std::to_chars(intDigits, intDigits + sizeof intDigits, intPart).ptr - intDigits);
    for (int k = decimals_ - 1; k >= 0; --k, fracPart /= 10) fracDigits[k] = char('0' + fracPart % 10);

    char* o = buf;
    if (x < 0 && rounded > 0) *o++ = '-';
    const int extra = std::max(0, intLen - intPlaces_);
    int place = 0;
    for (char c : intSection_) {
        if (!isPlace(c)) {
            *o++ = c;
            continue;
        }
        if (place == 0) o = std::copy(intDigits, intDigits + extra, o);
        const int idx = intLen - (intPlaces_ - place);
        if (idx >= 0)
            *o++ = intDigits[idx];
        else if (c == '0')
            *o++ = '0';
        ++place;
    }
    if (intPlaces_ == 0) o = std::copy(intDigits, intDigits + intLen, o);
    if (point_) {
        int fracKept = decimals_;
        for (auto it = fracSection_.rbegin(); it != fracSection_.rend() && fracKept > 0; ++it) {
            if (!isPlace(*it)) continue;
            if (*it != '#' || fracDigits[fracKept - 1] != '0') break;
            --fracKept;
        }
        *o++ = '.';
        int k = 0;
        for (char c : fracSection_) {
            if (!isPlace(c)) {
                *o++ = c;
                continue;
            }
            if (k < fracKept) *o++ = fracDigits[k];
            ++k;
        }
    }
    return int(o - buf);
}

QString NumberPattern::format(double x) const
{
    char buf[kMaxFastPattern + 32];
    const int n = fastFormat(x, buf);
    return n < 0 ? number(x, pattern_) : QString::fromLatin1(buf, n);
}

void NumberPattern::appendUtf8(double x, QByteArray& out) const
{
    char buf[kMaxFastPattern + 32];
    const int n = fastFormat(x, buf);
    if (n < 0)
        out += number(x, pattern_).toUtf8();
    else
        out.append(buf, n);
}

QString text(const QString& s, const QString& pattern)
{
    const auto v = strict(s);
    return v ? number(*v, pattern) : s;
}

int elapsedTime(double seconds, char* buf)
{
    // Whole seconds; beyond what a 64-bit count holds exactly the figure is held at that bound.
    constexpr double limit = 9.0e15;
    double s = std::isfinite(seconds) ? std::round(seconds) : 0.0;
    if (s < 0) {
        s = std::fmod(s, 86400.0);
        if (s < 0) s += 86400.0;
    }
    const std::int64_t t = std::int64_t(std::min(s, limit));
    const std::int64_t hours = t / 3600;
    char* p = buf;
    if (hours < 10) *p++ = '0';
    p = std::to_chars(p, buf + ElapsedTimeMaxChars, hours).ptr;
    const int rest[] = {int(t / 60 % 60), int(t % 60)};
    for (int v : rest) {
        *p++ = ':';
        *p++ = char('0' + v / 10);
        *p++ = char('0' + v % 10);
    }
    return int(p - buf);
}

QString elapsedTime(double seconds)
{
    char buf[ElapsedTimeMaxChars];
    return QString::fromLatin1(buf, elapsedTime(seconds, buf));
}

QString dateTime(const QDateTime& t, const QString& pattern)
{
    if (!t.isValid()) return {};
    const QDate date = t.date();
    const QTime time = t.time();

    // Split into runs of the same date letter; everything else is copied.
    struct Token {
        QChar letter; // lower case; null for copied text
        int count;
        QString literal;
    };
    QList<Token> tokens;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i].toLower();
        if (QStringLiteral("ymdhns").contains(c)) {
            qsizetype j = i;
            while (j < pattern.size() && pattern[j].toLower() == c) ++j;
            tokens.append({c, int(j - i), {}});
            i = j;
        } else {
            tokens.append({QChar(), 0, QString(pattern[i])});
            ++i;
        }
    }

    const auto num = [](int v, int count) { return count >= 2 ? two(v) : QString::number(v); };
    QString out;
    QChar previous; // the last date letter seen
    for (qsizetype k = 0; k < tokens.size(); ++k) {
        const Token& tk = tokens[k];
        if (tk.letter.isNull()) {
            out += tk.literal;
            continue;
        }
        switch (tk.letter.unicode()) {
        case u'y':
            out += tk.count <= 2 ? two(date.year() % 100) : QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
            break;
        case u'm': {
            // "m" means minutes right after an hour or right before seconds.
            QChar next;
            for (qsizetype j = k + 1; j < tokens.size() && next.isNull(); ++j) next = tokens[j].letter;
            const bool minutes = previous == QLatin1Char('h') || next == QLatin1Char('s');
            out += num(minutes ? time.minute() : date.month(), tk.count);
            break;
        }
        case u'd': out += num(date.day(), tk.count); break;
        case u'h': out += num(time.hour(), tk.count); break;
        case u'n': out += num(time.minute(), tk.count); break;
        case u's': out += num(time.second(), tk.count); break;
        }
        previous = tk.letter;
    }
    return out;
}

QString str(double x)
{
    if (!std::isfinite(x)) return (std::isnan(x) || x > 0 ? QStringLiteral(" ") : QString()) + nonFinite(x);
    const Digits r = toDigits(std::fabs(x));
    return QLatin1Char(x < 0 && r.n > 0 ? '-' : ' ') + unsignedText(r, false);
}

QString printed(double x) { return str(x) + QLatin1Char(' '); }

QString general(double x)
{
    if (!std::isfinite(x)) return nonFinite(x);
    const Digits r = toDigits(std::fabs(x));
    const QString body = unsignedText(r, true);
    return x < 0 && r.n > 0 ? QLatin1Char('-') + body : body;
}

double leading(const QString& s)
{
    return leadingOf(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

double leading(const char* data, std::size_t size) { return leadingOf(data, size); }

std::optional<double> leadingNumber(const QString& s)
{
    const Scan r = scanNumber(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()), true);
    if (!r.number || r.overflow) return std::nullopt;
    return r.value == 0 ? 0.0 : r.value;
}

std::optional<double> strict(const QString& s)
{
    const auto* p = reinterpret_cast<const char16_t*>(s.utf16());
    const std::size_t n = std::size_t(s.size());
    const Scan r = scanNumber(p, n, false);
    if (!r.number || r.overflow) return std::nullopt;
    std::size_t i = r.end;
    while (i < n && isBlank(p[i])) ++i;
    if (i != n) return std::nullopt;
    return r.value == 0 ? 0.0 : r.value;
}

bool notFiniteNumber(const QString& s)
{
    const auto* p = reinterpret_cast<const char16_t*>(s.utf16());
    std::size_t n = std::size_t(s.size());
    std::size_t i = 0;
    while (i < n && isBlank(p[i])) ++i;
    while (n > i && isBlank(p[n - 1])) --n;
    const Scan r = scanNumber(p + i, n - i, false);
    if (r.number) return r.overflow && r.end == n - i;
    std::size_t k = i;
    if (k < n && (p[k] == u'+' || p[k] == u'-')) ++k;
    const QString word = s.mid(qsizetype(k), qsizetype(n - k)).toLower();
    return word == QLatin1String("nan") || word == QLatin1String("inf") || word == QLatin1String("infinity");
}

double roundHalfAway(double x, int decimals)
{
    if (!std::isfinite(x)) return x;
    // Where the prepared patterns' rounding gives the whole number R, R / 10^decimals (R below 2^53, the power
    // exact) is the double nearest to R x 10^-decimals, as reading R's digits back gives it.
    std::uint64_t rounded = 0;
    if (decimals >= 0 && decimals <= kMaxFastDecimals && detail::patternRounding(std::fabs(x), decimals, rounded)) {
        if (rounded == 0) return 0.0;
        const double v = double(rounded) / kPow10d[decimals];
        return x < 0 ? -v : v;
    }
    Digits r = toDigits(std::fabs(x));
    roundAt(r, decimals);
    if (r.n == 0) return 0.0;
    char buf[48];
    std::memcpy(buf, r.d, std::size_t(r.n));
    char* q = buf + r.n;
    *q++ = 'e';
    q = std::to_chars(q, buf + sizeof buf, r.e - r.n + 1).ptr;
    double v = 0;
    const auto res = std::from_chars(buf, q, v);
    if (res.ec == std::errc::result_out_of_range) v = std::numeric_limits<double>::infinity();
    return x < 0 ? -v : v;
}

double roundHalfEven(double x)
{
    if (!std::isfinite(x)) return x;
    double r = std::round(x);
    if (std::fabs(r - x) == 0.5) r = 2.0 * std::round(x / 2.0);
    return r == 0 ? 0.0 : r;
}

std::optional<std::int32_t> toInt32(double x)
{
    if (std::isnan(x)) return std::nullopt;
    const double r = roundHalfEven(x);
    if (r < double(std::numeric_limits<std::int32_t>::min()) || r > double(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return std::int32_t(r);
}

QString storedDate(const QDateTime& t)
{
    if (!t.isValid()) return {};
    const QDateTime l = t.toLocalTime();
    const QDate d = l.date();
    const QTime tm = l.time();
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(two(d.month()), two(d.day()), two(tm.hour()), two(tm.minute()), two(tm.second()));
}

QDateTime fromStoredDate(const QString& s)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d+))?)?)?\s*$)"));
    const auto m = re.match(s);
    if (!m.hasMatch()) return {};
    int ms = 0;
    if (m.hasCaptured(7)) ms = m.captured(7).left(3).leftJustified(3, QLatin1Char('0')).toInt();
    return localDateTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                         m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
}

std::optional<QDateTime> strictDate(const QString& s)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?(?:\s*([AaPp])[Mm])?)?\s*$)"));
    const auto m = re.match(s);
    if (!m.hasMatch()) {
        const QDateTime t = fromStoredDate(s);
        if (t.isValid()) return t;
        return std::nullopt;
    }
    int hour = m.captured(4).toInt();
    if (m.hasCaptured(7)) {
        if (hour < 1 || hour > 12) return std::nullopt;
        const bool pm = m.captured(7).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QDateTime t = localDateTime(m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt(), hour,
                                      m.captured(5).toInt(), m.captured(6).toInt(), 0);
    if (!t.isValid()) return std::nullopt;
    return t;
}

QString generalDate(const QDateTime& t)
{
    if (!t.isValid()) return {};
    const QDate d = t.date();
    const QTime tm = t.time();
    QString s = QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year(), 4, 10, QLatin1Char('0'));
    if (tm.hour() == 0 && tm.minute() == 0 && tm.second() == 0) return s;
    const int h12 = tm.hour() % 12 == 0 ? 12 : tm.hour() % 12;
    return s + QStringLiteral(" %1:%2:%3 %4")
                   .arg(h12)
                   .arg(two(tm.minute()), two(tm.second()), tm.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString longDate(const QDateTime& t)
{
    if (!t.isValid()) return {};
    return QLocale::system().toString(t.date(), QLocale::LongFormat);
}

QString longTime(const QDateTime& t)
{
    if (!t.isValid()) return {};
    // The system's long time format without its time-zone letters (outside quoted text).
    const QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (QChar c : fmt) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        kept += c;
    }
    return QLocale::system().toString(t.time(), kept.simplified());
}

QString plainDecimal(double x, bool zeroBeforePoint)
{
    if (!std::isfinite(x)) return nonFinite(x);
    const Digits r = toDigits(std::fabs(x));
    if (r.n == 0) return QStringLiteral("0");
    const QString body = plainText(r, zeroBeforePoint);
    return x < 0 ? QLatin1Char('-') + body : body;
}

QString printedPlain(double x)
{
    if (!std::isfinite(x)) return printed(x);
    const QString body = plainDecimal(std::fabs(x), false);
    return QLatin1Char(x < 0 && body != QLatin1String("0") ? '-' : ' ') + body + QLatin1Char(' ');
}

} // namespace Format
