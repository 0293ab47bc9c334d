#pragma once
// The one place where numbers and times are turned into text and read back. Nothing else formats or
// parses a number by hand.
#include <QDateTime>
#include <QString>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace Format {

// A number by a pattern ("#0.0###", "##0.#", "000", "0.#%", "0.0 V" ...): 0.123456 with "#0.0###" gives
// "0.1235". The pattern rules are written down once, where they are implemented, above number() in
// format.cpp.
QString number(double x, const QString& pattern);

// A number pattern prepared once for formatting many values with it (the result grid's columns): the texts
// are exactly those of number(x, pattern), made without its general digit work wherever that gives the same
// text beyond doubt.
class NumberPattern {
public:
    explicit NumberPattern(const QString& pattern);
    QString format(double x) const;
    // Appends the same text as UTF-8.
    void appendUtf8(double x, QByteArray& out) const;
    // The text into buf (at least bufferSize() bytes); returns its length, or -1 when the value has to go
    // through number(). Inline for the callers that format a value per cell: defined in
    // records/FormatDetail.h, which they include.
    inline int fastFormat(double x, char* buf) const;
    int bufferSize() const { return int(intSection_.size() + fracSection_.size()) + 24; }
    // Places after the point.
    int decimals() const { return decimals_; }

private:
    // fastFormat for any prepared pattern: its sections walked place by place.
    int walkFormat(double x, char* buf) const;

    QString pattern_;
    std::string intSection_, fracSection_;   // ASCII
    bool fast_ = false, percent_ = false, point_ = false;
    int intPlaces_ = 0, decimals_ = 0;
    // A plain pattern ("#0", "##0.#", "0.00##", "0.#%") is written by fastFormat without walking it: at least
    // minInt_ integer digits, at least minDecimals_ decimals.
    bool plain_ = false;
    int minInt_ = 0, minDecimals_ = 0;
};

// A pattern applied to a text: the text is read strictly as a number first; a text that is not a number
// comes back unchanged.
QString text(const QString& s, const QString& pattern);

// An elapsed time "hh:mm:ss" of a number of seconds. Hours go on counting past 23, so the days of a long
// test stay apart (500005 s -> "138:53:25"); under 24 hours the text is always eight characters.
// Fractions are taken to the nearest second; negative seconds count back from midnight ("23:59:59" for -1);
// a value that is not a number gives "00:00:00".
QString elapsedTime(double seconds);
// The same characters written to buf, which holds at least ElapsedTimeMaxChars; returns their number.
constexpr int ElapsedTimeMaxChars = 24;
int elapsedTime(double seconds, char* buf);

// A date and time by a pattern of the letters yyyy, mm (month, or minutes right after hh), dd, hh, nn, ss;
// other characters are copied. Example: " mm/dd/yyyy hh:mm:ss".
QString dateTime(const QDateTime& t, const QString& pattern);

// The printed-number form: a blank (or "-" for negatives) before the digits, up to 15 significant digits
// with no "0" before the point below magnitude 1, one blank after; very small or large magnitudes in
// exponent form with at least two exponent digits. 0.2 -> " .2 ", -0.125 -> "-.125 ", 1e-5 -> " 1E-05 ".
// Plain digits are used while 1e-4 <= |x| < 1e15 (after rounding to 15 significant digits), the
// exponent form otherwise: 0.0001 -> " .0001 ", 0.00001 -> " 1E-05 ", 1e15 -> " 1E+15 ".
QString printed(double x);

// The printed-number form without its trailing blank: the sign position and the digits (3 -> " 3").
QString str(double x);

// General text: the shortest plain decimal text with up to 15 significant digits, "." as decimal point,
// "0" before the point below magnitude 1, no trailing zeros (0.5, 12.345, 0, -17.7777777777778).
// Outside 1e-4 <= |x| < 1e15 the exponent form of printed() is used without the blanks (1e-5 -> "1E-05").
// Not-a-number and infinities give "NaN", "Inf" and "-Inf" (no reader takes them back as numbers).
QString general(double x);

// Lenient reading of a leading number: blanks, tabs, CR and LF are skipped wherever they stand, then the
// longest prefix forming a decimal number (sign, digits, one point, optional exponent) is taken; a text
// that does not begin with a number reads as 0. Never fails. An "E" that is not followed by exponent
// digits ends the number before it ("12e" reads 12). A number beyond the range of a double reads as 0.
double leading(const QString& s);
double leading(const char* data, std::size_t size);
// The same leading number where the text has one: nullopt when it does not begin with a number (after
// blanks) or the number lies beyond the range of a double ("abc", "nan", "inf", "", "1e999").
std::optional<double> leadingNumber(const QString& s);

// Strict reading: the whole text (blanks around allowed) must be one decimal number ("1e3", "-.5", "+2",
// "1."); nullopt for anything else, also for a number beyond the range of a double.
std::optional<double> strict(const QString& s);
// Whether the whole text (blanks around allowed) names a number that no double holds as a finite value:
// "NaN", "inf", "-Infinity" (any case, optional sign) or a decimal number beyond the range of a double
// ("1e999"). strict() refuses these like any other text; a reader that must tell an absurd value from
// a text that is no number at all asks this.
bool notFiniteNumber(const QString& s);

// Rounding: halves away from zero (the patterns), halves to even (whole-number conversions: 2.5 -> 2,
// 3.5 -> 4). roundHalfAway gives the double nearest to what number() shows with that many decimals
// (the value is taken at 15 significant digits first, so 2.675 -> 2.68 with 2 decimals), which is the
// number read back from that text. Through the prepared patterns' rounding (0 to 15 decimals, below 10^13
// once scaled), through the digits otherwise.
double roundHalfAway(double x, int decimals = 0);
double roundHalfEven(double x);

// Whole-number conversion to a 32-bit integer with halves to even; nullopt when out of range or NaN.
std::optional<std::int32_t> toInt32(double x);

// Dates as stored in the database: local time text "yyyy-MM-dd HH:mm:ss".
QString storedDate(const QDateTime& t);
// Reads a stored date text (also accepts a "T" between date and time and trailing fractions); invalid
// QDateTime when the text is not a date.
QDateTime fromStoredDate(const QString& s);

// Strict date reading of operator text: month first "m/d/yyyy" with an optional "h:mm[:ss] [AM|PM]",
// or the stored form. nullopt when the text is not a date.
std::optional<QDateTime> strictDate(const QString& s);

// The default text of a date and time: "m/d/yyyy h:mm:ss AM" (12-hour clock), the date alone when the
// time is midnight. strictDate reads it back.
QString generalDate(const QDateTime& t);

// The system's long date and long time formats (reports); the long time leaves out the time-zone name.
QString longDate(const QDateTime& t);
QString longTime(const QDateTime& t);

// Plain decimal text at any magnitude, never an exponent: up to 15 significant digits, "." as decimal
// point, "-" for negatives, no blanks, no trailing zeros; "0" before the point below magnitude 1 when
// zeroBeforePoint (4e-5 -> "0.00004", 1e16 -> "10000000000000000"; without it 0.2 -> ".2").
// Not-a-number and infinities give the texts of general().
QString plainDecimal(double x, bool zeroBeforePoint = true);

// The printed-number form of printed() in plain decimal digits at any magnitude (1e-5 -> " .00001 ").
QString printedPlain(double x);

} // namespace Format
