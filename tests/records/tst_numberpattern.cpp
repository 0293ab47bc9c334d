// Prepared number patterns: their texts are exactly those of the general pattern formatting, over the grid's
// patterns and others, on hand-picked hard values (halves, carries, noise next to a half, tiny and huge
// magnitudes) and on many random values; and both give the known texts of hard values.
#include "records/FormatDetail.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The values that are hard for a rounding: every half at 0 to 15 places (and the doubles next to it),
// rounding carries, exponents, the largest and smallest doubles, zeros of both signs.
std::vector<double> hardValues()
{
    std::vector<double> v = {0.0, -0.0, 0.5, 1.5, 2.5, -0.5, -2.5, 0.05, 0.15, 0.25, 0.35, 2.675, 1.005, 1.015,
                             9.99995, -9.99995, 0.99995, 99.95, 99.5, -99.5, 999.5, 9.5, 0.45, 0.049999999999999996,
                             0.1 + 0.2, 1e-5, -1e-5, 1e-20, 5e-324, -5e-324, 2.2250738585072014e-308, 1e-4, 0.00015,
                             0.000149999, 1e12, 999999999999.95, 9999999999999.5, 1e13, 1e15, 1e16, 1e22, 1.5e22,
                             123456789012.5, 4503599627370495.5, 9007199254740993.0, 1e300, -1e300,
                             std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1.0 / 3, 2.0 / 3, -2.0 / 3, 0.995, 0.9995,
                             0.004999999999999999, 0.005, 0.00499999999999995, 12.345, 70.25, 0.123456, 0.1234,
                             0.12345, 0.2, 77.7777777777778, 100.0};
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i)
        if (std::isfinite(v[i])) v.push_back(v[i] * 100); // the same values as percentages
    for (int d = 0; d <= 15; ++d) {
        const double scale = std::pow(10.0, d);
        for (double m : {0.0, 1.0, 2.0, 7.0, 9.0, 12.0, 99.0, 1234.0, 99999.0}) {
            const double half = (m + 0.5) / scale;
            for (double x : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300), -half})
                v.push_back(x);
            const double carry = (m + 1 - 0.5 / 10) / scale; // 9.95, 0.995 ...: carries when rounded up
            v.push_back(carry);
            v.push_back(-carry);
        }
    }
    return v;
}

} // namespace

class tst_numberpattern : public QObject {
    Q_OBJECT

private slots:
    void sameAsGeneral_data();
    void sameAsGeneral();
    void knownTexts_data();
    void knownTexts();
    void roundingSameAsText_data();
    void roundingSameAsText();
};

void tst_numberpattern::sameAsGeneral_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("scale");       // random values are spread up to about this magnitude

    // the result grid's patterns
    QTest::newRow("#0") << QStringLiteral("#0") << 500.0;
    QTest::newRow("0.#%") << QStringLiteral("0.#%") << 0.5;
    QTest::newRow("#0.###########") << QStringLiteral("#0.###########") << 10.0;
    QTest::newRow("##0.#") << QStringLiteral("##0.#") << 300.0;
    QTest::newRow("#0.####") << QStringLiteral("#0.####") << 0.2;
    QTest::newRow("#0.##") << QStringLiteral("#0.##") << 5.0;
    QTest::newRow("#0.0###") << QStringLiteral("#0.0###") << 0.2;
    QTest::newRow("#0.0#") << QStringLiteral("#0.0#") << 5.0;
    // others: zeros in front, no integer place, literals, many places, percent with zeros
    QTest::newRow("000") << QStringLiteral("000") << 2000.0;
    QTest::newRow("###.#") << QStringLiteral("###.#") << 2.0;
    QTest::newRow(".##") << QStringLiteral(".##") << 1.0;
    QTest::newRow("#") << QStringLiteral("#") << 3.0;
    QTest::newRow("00.00%") << QStringLiteral("00.00%") << 2.0;
    QTest::newRow("literals") << QStringLiteral("x#,##0.0# mm") << 1e5;
    QTest::newRow("15 places") << QStringLiteral("0.000000000000000") << 1e-3;
    QTest::newRow("no place") << QStringLiteral("abc") << 10.0;
    QTest::newRow("#0.") << QStringLiteral("#0.") << 50.0;
    QTest::newRow("0.00##") << QStringLiteral("0.00##") << 3.0;
    QTest::newRow("%") << QStringLiteral("%") << 1.0;
    QTest::newRow("0%.0") << QStringLiteral("0%.0") << 1.0;
    QTest::newRow("#0%.") << QStringLiteral("#0%.") << 1.0;
    QTest::newRow("0#.#0") << QStringLiteral("0#.#0") << 100.0;
    // more places than the whole-number rounding takes, and a pattern that is not ASCII
    QTest::newRow("16 places") << QStringLiteral("0.################") << 1.0;
    QTest::newRow("non-ASCII") << QStringLiteral("0.0\u00b0") << 100.0;
}

void tst_numberpattern::sameAsGeneral()
{
    QFETCH(QString, pattern);
    QFETCH(double, scale);
    const Format::NumberPattern prepared(pattern);
    std::vector<char> buf(std::size_t(prepared.bufferSize()));
    QByteArray utf8;

    const auto check = [&](double x) {
        const QString expected = Format::number(x, pattern);
        const int n = prepared.fastFormat(x, buf.data());
        if (n >= 0 && QByteArray(buf.data(), n) != expected.toLatin1())
            return QStringLiteral("%1: fast %2, general %3").arg(x, 0, 'g', 17).arg(QString::fromLatin1(buf.data(), n), expected);
        if (prepared.format(x) != expected)
            return QStringLiteral("%1: format %2, general %3").arg(x, 0, 'g', 17).arg(prepared.format(x), expected);
        utf8.truncate(0);
        utf8 += "|"; // appends after what is there
        prepared.appendUtf8(x, utf8);
        if (utf8 != "|" + expected.toUtf8()) return QStringLiteral("%1: appended %2").arg(x).arg(QString::fromUtf8(utf8));
        return QString();
    };

    for (double x : hardValues()) {
        const QString problem = check(x);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // Random values: plain ones around the column's range, values on and next to the pattern's halves, and
    // arbitrary doubles of any magnitude.
    QRandomGenerator rng(20240613);
    const double placeScale = std::pow(10.0, std::max(0, prepared.decimals()));
    constexpr int kValues = 300000;
    for (int k = 0; k < kValues; ++k) {
        double x;
        switch (k % 4) {
        case 0:
        case 1:
            x = (rng.generateDouble() * 2 - 1) * scale;
            break;
        case 2: {
            // a half at the last place (or at a place nearby), as the decimal text gives it, nudged or not
            const double places = placeScale * std::pow(10.0, rng.bounded(-2, 3));
            x = (double(rng.bounded(0, 2000000)) + 0.5) / places;
            const int nudge = rng.bounded(-2, 3);
            for (int i = 0; i < std::abs(nudge); ++i) x = std::nextafter(x, nudge < 0 ? 0.0 : 1e300);
            if (rng.bounded(2)) x = -x;
            break;
        }
        default: {
            if (rng.bounded(4) == 0) {
                const quint64 bits = rng.generate64();
                std::memcpy(&x, &bits, sizeof x);
            } else {
                x = (1 + rng.generateDouble() * 9) * std::pow(10.0, rng.bounded(-18, 18));
                if (rng.bounded(2)) x = -x;
            }
            break;
        }
        }
        const QString problem = check(x);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
}

void tst_numberpattern::knownTexts_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* pattern, double x, const QString& expected) {
        QTest::addRow("%s of %.17g", pattern, x) << QString::fromUtf8(pattern) << x << expected;
    };
    // halves at the last place, as the decimal text gives them, taken away from zero
    row("#0", 0.5, "1");
    row("#0", -0.5, "-1");
    row("#0", 2.5, "3");
    row("##0.#", 70.25, "70.3");
    row("##0.#", -0.05, "-0.1");
    row("##0.#", -0.04, "0.");
    row("#0.##", 2.675, "2.68");
    row("#0.##", 1.005, "1.01");
    row("#0.##", 0.125, "0.13");
    row("#0.##", -0.125, "-0.13");
    row("#0.####", 0.00005, "0.0001");
    row("#0.####", 0.00015, "0.0002");
    row("0.#%", 0.0005, "0.1%");
    row("0.#%", 0.1234, "12.3%");
    row("###.#", 0.05, ".1");
    row("000", 99.5, "100");
    row("000", -4, "-004");
    // carries through every place
    row("##0.#", 99.95, "100.");
    row("#0.0###", 9.99995, "10.0");
    row("#0.0###", 0.99995, "1.0");
    row(".##", 0.995, "1.");
    // 15 significant digits first
    row("#0.###########", 0.1 + 0.2, "0.3");
    row("#0.###########", 1.23456789012345, "1.23456789012");
    // beyond the whole-number rounding: big, tiny, many places, not a number
    row("#0", 9999999999999.5, "10000000000000");
    row("#0.##", 1e-300, "0.");
    row("0.#%", 2e306, "2" + QString(308, QLatin1Char('0')) + ".%");
    row("0.#%", -2e306, "-2" + QString(308, QLatin1Char('0')) + ".%");
    row("0.################", 1.0 / 3, "0.333333333333333");
    row("#0", std::numeric_limits<double>::quiet_NaN(), "NaN");
    row("#0", -std::numeric_limits<double>::infinity(), "-Inf");
    // literals, also not ASCII
    row("x#,##0.0# mm", 12345.675, "x12,345.68 mm");
    row("0.0\u00b0", 25.25, "25.3\u00b0");
}

// Known texts, whichever way the prepared pattern takes: its text, its UTF-8, what fastFormat writes when it
// writes anything, and the general formatting's.
void tst_numberpattern::knownTexts()
{
    QFETCH(QString, pattern);
    QFETCH(double, x);
    QFETCH(QString, expected);
    const Format::NumberPattern prepared(pattern);
    QCOMPARE(Format::number(x, pattern), expected);
    QCOMPARE(prepared.format(x), expected);
    QByteArray utf8 = "|";
    prepared.appendUtf8(x, utf8);
    QCOMPARE(QString::fromUtf8(utf8), "|" + expected);
    std::vector<char> buf(std::size_t(prepared.bufferSize()));
    if (const int n = prepared.fastFormat(x, buf.data()); n >= 0)
        QCOMPARE(QString::fromLatin1(buf.data(), n), expected);
}

void tst_numberpattern::roundingSameAsText_data()
{
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("scale");   // random values are spread up to about this magnitude
    // the length change's two roundings (inches, millimetres), the other places in use, and the limits of
    // the arithmetic way (16 places go through the digits)
    QTest::newRow("4 places, inches") << 4 << 0.2;
    QTest::newRow("2 places, millimetres") << 2 << 5.0;
    QTest::newRow("0 places") << 0 << 3000.0;
    QTest::newRow("1 place") << 1 << 300.0;
    QTest::newRow("5 places") << 5 << 10.0;
    QTest::newRow("11 places") << 11 << 10.0;
    QTest::newRow("15 places") << 15 << 1e-3;
    QTest::newRow("16 places") << 16 << 1e-3;
}

// roundHalfAway is the number read back from the text of a pattern with that many places, bit for bit
// (the chart's length change is defined through that text).
void tst_numberpattern::roundingSameAsText()
{
    QFETCH(int, decimals);
    QFETCH(double, scale);
    QString pattern = QStringLiteral("0");
    if (decimals > 0) pattern += QLatin1Char('.') + QString(decimals, QLatin1Char('#'));
    const auto check = [&](double x) {
        const double rounded = Format::roundHalfAway(x, decimals);
        // Not-a-number and infinities come back as they are; a text beyond the largest double (the largest
        // ones at 15 digits) is taken as infinity.
        double expected = x;
        if (std::isfinite(x))
            expected = Format::strict(Format::number(x, pattern)).value_or(std::copysign(HUGE_VAL, x));
        const bool same = std::isnan(expected) ? std::isnan(rounded)
                                               : std::memcmp(&rounded, &expected, sizeof rounded) == 0;
        return same ? QString()
                    : QStringLiteral("%1: %2, text %3").arg(x, 0, 'g', 17).arg(rounded, 0, 'g', 17).arg(expected, 0, 'g', 17);
    };
    for (double x : hardValues()) {
        const QString problem = check(x);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    QRandomGenerator rng(20261210);
    const double places = std::pow(10.0, decimals);
    for (int k = 0; k < 200000; ++k) {
        double x;
        switch (k % 3) {
        case 0: x = (rng.generateDouble() * 2 - 1) * scale; break;
        case 1: {
            // on and next to a half of the last place, as the decimal text gives it
            x = (double(rng.bounded(0, 20000000)) + 0.5) / places;
            const int nudge = rng.bounded(-2, 3);
            for (int i = 0; i < std::abs(nudge); ++i) x = std::nextafter(x, nudge < 0 ? 0.0 : 1e300);
            if (rng.bounded(2)) x = -x;
            break;
        }
        default:
            x = (1 + rng.generateDouble() * 9) * std::pow(10.0, rng.bounded(-18, 18));
            if (rng.bounded(2)) x = -x;
            break;
        }
        const QString problem = check(x);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
}

QTEST_GUILESS_MAIN(tst_numberpattern)
#include "tst_numberpattern.moc"
