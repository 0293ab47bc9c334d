// Number and time texts: patterns, printed and general forms, lenient and strict reading, roundings, dates.
#include "records/format.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTime>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Format;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Same value and, for zero, no minus sign.
bool sameValue(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }
} // namespace

// QCOMPARE of doubles is fuzzy; these readings and roundings must be exact.
#define COMPARE_EXACT(actual, expected)                                                                       \
    do {                                                                                                      \
        const double a_ = (actual), e_ = (expected);                                                          \
        QVERIFY2(sameValue(a_, e_), qPrintable(QStringLiteral("%1 != %2").arg(a_, 0, 'g', 17).arg(e_, 0, 'g', 17))); \
    } while (false)

class tst_format : public QObject {
    Q_OBJECT

private slots:
    void number_data();
    void number();
    void text_data();
    void text();
    void elapsedTime_data();
    void elapsedTime();
    void elapsedTimeUnderADayIsClockText();
    void dateTime_data();
    void dateTime();
    void printedAndGeneral_data();
    void printedAndGeneral();
    void leading_data();
    void leading();
    void leadingLongTexts();
    void strict_data();
    void strict();
    void notFiniteNumber_data();
    void notFiniteNumber();
    void roundHalfAway_data();
    void roundHalfAway();
    void roundHalfEvenAndToInt32_data();
    void roundHalfEvenAndToInt32();
    void storedDate_data();
    void storedDate();
    void strictDate_data();
    void strictDate();
    void generalDate_data();
    void generalDate();
    void longDateAndTime();
    void randomRoundTrips();
};

void tst_format::number_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* pattern, double x, const char* expected) {
        QTest::addRow("%s of %.17g", pattern, x) << QString::fromLatin1(pattern) << x << QString::fromLatin1(expected);
    };
    // at least one and at most four decimals
    row("#0.0###", 0.123456, "0.1235");
    row("#0.0###", 3, "3.0");
    row("#0.0###", -0.00004, "0.0");
    row("#0.##", 1, "1.");
    row("#0.##", 2.675, "2.68");
    row("#0.##", 0.125, "0.13");
    row("#0.##", 1.005, "1.01");
    row("#0.##", 12.5, "12.5");
    row("#0.##", 123456789.123, "123456789.12");
    row("##0.#", 70.25, "70.3");
    row("##0.#", 70, "70.");
    row("##0.#", 9.96, "10.");
    row("##0.#", -0.04, "0.");
    row("##0.#", -0.05, "-0.1");
    row("##0.#", -0.0, "0.");
    row("##0.#", 1234.5, "1234.5");
    row("#0.#", -17.7777777777778, "-17.8");
    row("#0.0", -160.0 / 9, "-17.8");
    row("#0.0", 0, "0.0");
    row("0.#%", 0.1234, "12.3%");
    row("0.#%", 1, "100.%");
    row("0%", 0.285, "29%");
    row("000", 99.5, "100");
    row("000", -4, "-004");
    row("000", 0, "000");
    row("000", 95, "095");
    row("000", 1234, "1234");
    row("###.#", 0.5, ".5");
    row("###.#", 150, "150.");
    row("###.#", 0, ".");
    row("###.#", -0.5, "-.5");
    row("##.#", 200, "200.");
    row("##.#", 200.0 * 5 / 9 - 32.0 * 5 / 9, "93.3");
    row("##.##", 25.4, "25.4");
    row("####", 0, "");
    row("####", 300.4, "300");
    row("#0.0#", 25.4, "25.4");
    row("#0.0#", 0, "0.0");
    row("#0.0#", 3.13563, "3.14");
    row("#0.0#", 1.0 / 3, "0.33");
    row("#0.0####", 0.2, "0.2");
    row("#0.0####", 0.1234567, "0.12346");
    row("#0.0####", 12, "12.0");
    row("#0.0####", -0.0125, "-0.0125");
    row("#0.0####", 0.000004, "0.0");
    row("#0.0####", 0.000005, "0.00001");
    row("##0.00###", 1.5, "1.50");
    row("##0.00###", 0.0123456, "0.01235");
    row("##0", 2.5, "3");
    row("##0", -2.5, "-3");
    row("##0", 0.4999999, "0");
    row("##0", -0.4, "0");
    row("#0", 1e20, "100000000000000000000");
    row("#0", 0.1 + 0.2, "0");
    row("#0.#", 0.1 + 0.2, "0.3");
    row("#0.###########", 0.1, "0.1");
    row("#0.###########", 1.23456789012345, "1.23456789012");
    row("#0.####", 1e-300, "0.");
    row(".0", 5.5, "5.5");
    row("0.0 V", 1.25, "1.3 V");
    row("(#0)", -5, "-(5)");
    // finite values whose percentage lies beyond the largest double: the digits moved two places, the sign kept
    const auto digits = [](const char* lead, int zeros, const char* tail) {
        return QString::fromLatin1(lead) + QString(zeros, QLatin1Char('0')) + QString::fromLatin1(tail);
    };
    QTest::newRow("0.#% of 2e306") << "0.#%" << 2e306 << digits("2", 308, ".%");
    QTest::newRow("0.#% of -2e306") << "0.#%" << -2e306 << digits("-2", 308, ".%");
    QTest::newRow("0% of -1e308") << "0%" << -1e308 << digits("-1", 310, "%");
    QTest::newRow("00.00% of the largest double") << "00.00%" << std::numeric_limits<double>::max()
                                                  << digits("179769313486232", 296, ".00%");
    QTest::newRow("#0 of -1e308") << "#0" << -1e308 << digits("-1", 308, "");
    QTest::newRow("#0.## of -1e308") << "#0.##" << -1e308 << digits("-1", 308, ".");
}

void tst_format::number()
{
    QFETCH(QString, pattern);
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(Format::number(x, pattern), expected);
}

void tst_format::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("length text 0.0 reformatted") << "0.0" << "#0.####" << "0.";
    QTest::newRow("trailing zeros dropped") << "12.50" << "#0.##" << "12.5";
    QTest::newRow("blanks around") << " 2.345 " << "#0.##" << "2.35";
    QTest::newRow("exponent text") << "1E-05" << "#0.0####" << "0.00001";
    QTest::newRow("not a number") << "abc" << "#0.##" << "abc";
    QTest::newRow("leading number only") << "12 g" << "#0.##" << "12 g";
    QTest::newRow("empty") << "" << "#0" << "";
}

void tst_format::text()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(Format::text(text, pattern), expected);
}

void tst_format::elapsedTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("last second of the first minute") << 59.0 << "00:00:59";
    QTest::newRow("last second of the first hour") << 3599.0 << "00:59:59";
    QTest::newRow("one of each") << 3661.0 << "01:01:01";
    QTest::newRow("last second of the first day") << 86399.0 << "23:59:59";
    QTest::newRow("one day") << 86400.0 << "24:00:00";
    QTest::newRow("25 h 1 min 1 s") << 90061.0 << "25:01:01";
    QTest::newRow("a week-long test") << 500005.0 << "138:53:25";
    QTest::newRow("longest stored time") << 2147483647.0 << "596523:14:07";
    QTest::newRow("beyond any count") << 1e300 << "2500000000000:00:00";
    QTest::newRow("half second up") << 59.5 << "00:01:00";
    QTest::newRow("half second up to a day") << 86399.5 << "24:00:00";
    QTest::newRow("below half") << 3599.4 << "00:59:59";
    QTest::newRow("one second back") << -1.0 << "23:59:59";
    QTest::newRow("one hour back") << -3600.0 << "23:00:00";
    QTest::newRow("not a number") << kNaN << "00:00:00";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "00:00:00";
}

void tst_format::elapsedTime()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(Format::elapsedTime(seconds), expected);
    char buf[Format::ElapsedTimeMaxChars];
    const int n = Format::elapsedTime(seconds, buf);
    QCOMPARE(QString::fromLatin1(buf, n), expected);
}

// Every second of the first day shows as the clock shows that time of day.
void tst_format::elapsedTimeUnderADayIsClockText()
{
    for (int s = 0; s < 86400; ++s) {
        const QString clock = QTime(0, 0).addSecs(s).toString(QStringLiteral("hh:mm:ss"));
        if (Format::elapsedTime(s) != clock) QFAIL(qPrintable(QString::number(s) + " gives " + Format::elapsedTime(s)));
    }
}

void tst_format::dateTime_data()
{
    QTest::addColumn<QDateTime>("t");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    const QDateTime morning(QDate(2020, 1, 2), QTime(3, 4, 5));
    const QDateTime evening(QDate(2021, 11, 30), QTime(23, 58, 7));
    QTest::newRow("start time") << morning << " mm/dd/yyyy hh:mm:ss" << " 01/02/2020 03:04:05";
    QTest::newRow("24-hour clock") << evening << " mm/dd/yyyy hh:mm:ss" << " 11/30/2021 23:58:07";
    QTest::newRow("no blank") << morning << "mm/dd/yyyy hh:mm:ss" << "01/02/2020 03:04:05";
    QTest::newRow("nn minutes") << morning << "yyyy-mm-dd hh:nn:ss" << "2020-01-02 03:04:05";
    QTest::newRow("short forms") << morning << "m/d/yy h:n:s" << "1/2/20 3:4:5";
    QTest::newRow("minutes before seconds") << morning << "mm:ss" << "04:05";
    QTest::newRow("upper case") << morning << "MM/DD/YYYY HH:MM" << "01/02/2020 03:04";
    QTest::newRow("other text copied") << evening << "at hh, mm" << "at 23, 58";
    QTest::newRow("invalid time") << QDateTime() << "mm/dd/yyyy" << "";
}

void tst_format::dateTime()
{
    QFETCH(QDateTime, t);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(Format::dateTime(t, pattern), expected);
}

void tst_format::printedAndGeneral_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("general");
    const auto row = [](double x, const char* printed, const char* general) {
        QTest::addRow("%.17g", x) << x << QString::fromLatin1(printed) << QString::fromLatin1(general);
    };
    row(0.2, " .2 ", "0.2");
    row(-0.125, "-.125 ", "-0.125");
    row(1.5, " 1.5 ", "1.5");
    row(3, " 3 ", "3");
    row(0, " 0 ", "0");
    row(-0.0, " 0 ", "0");
    row(0.5, " .5 ", "0.5");
    row(12.345, " 12.345 ", "12.345");
    row(100, " 100 ", "100");
    row(-160.0 / 9, "-17.7777777777778 ", "-17.7777777777778");
    row(1.0 / 3, " .333333333333333 ", "0.333333333333333");
    row(2.0 / 3, " .666666666666667 ", "0.666666666666667");
    row(0.1 + 0.2, " .3 ", "0.3");
    // lower boundary of plain digits: 1e-4
    row(0.0001, " .0001 ", "0.0001");
    row(0.00012345, " .00012345 ", "0.00012345");
    row(0.000099, " 9.9E-05 ", "9.9E-05");
    row(0.00001, " 1E-05 ", "1E-05");
    row(-1e-7, "-1E-07 ", "-1E-07");
    row(1.25e-100, " 1.25E-100 ", "1.25E-100");
    // upper boundary: 1e15
    row(999999999999999, " 999999999999999 ", "999999999999999");
    row(123456789012345, " 123456789012345 ", "123456789012345");
    row(999999999999999.9, " 1E+15 ", "1E+15");
    row(1e15, " 1E+15 ", "1E+15");
    row(1e16, " 1E+16 ", "1E+16");
    row(1234567890123456, " 1.23456789012346E+15 ", "1.23456789012346E+15");
    row(-2.5e300, "-2.5E+300 ", "-2.5E+300");
    row(kNaN, " NaN ", "NaN");
    row(kInf, " Inf ", "Inf");
    row(-kInf, "-Inf ", "-Inf");
}

void tst_format::printedAndGeneral()
{
    QFETCH(double, x);
    QFETCH(QString, printed);
    QFETCH(QString, general);
    QCOMPARE(Format::printed(x), printed);
    QCOMPARE(Format::str(x), printed.chopped(1));
    QCOMPARE(Format::general(x), general);
}

void tst_format::leading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("number and unit") << "12.5 g" << 12.5;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("letters first") << "x12" << 0.0;
    QTest::newRow("blank inside") << "1 2" << 12.0;
    QTest::newRow("tab, CR, LF around") << "\t-3.5\r\n" << -3.5;
    QTest::newRow("LF inside") << " 1\n2.5" << 12.5;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("E without digits") << "12e" << 12.0;
    QTest::newRow("E and sign without digits") << "12e+" << 12.0;
    QTest::newRow("E then letter") << "12Ex3" << 12.0;
    QTest::newRow("exponent") << "1e3x" << 1000.0;
    QTest::newRow("negative exponent") << "1E-2" << 0.01;
    QTest::newRow("blanks in exponent") << "1 e 2" << 100.0;
    QTest::newRow("point first") << "-.5" << -0.5;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("minus zero") << "-0" << 0.0;
    QTest::newRow("trailing point") << "7." << 7.0;
    QTest::newRow("leading zeros") << "007.50" << 7.5;
    QTest::newRow("comma ends") << "12,5" << 12.0;
    QTest::newRow("hex is not read") << "0x10" << 0.0;
    QTest::newRow("too large") << "1e999" << 0.0;
    QTest::newRow("too small") << "1e-999" << 0.0;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << 0.0;
    QTest::newRow("largest double") << "1.7976931348623157e308" << std::numeric_limits<double>::max();
    QTest::newRow("nan text") << "nan" << 0.0;
    QTest::newRow("inf text") << "inf" << 0.0;
    QTest::newRow("unicode minus") << QString::fromUtf8("\u22125") << 0.0;
    QTest::newRow("exact decimal of 0.1") << "0.1000000000000000055511151231257827021181583404541015625" << 0.1;
    QTest::newRow("more digits than a double") << "123456789012345678901234567890" << 1.2345678901234568e29;
    QTest::newRow("field of a record") << "  70.25,T,1" << 70.25;
}

void tst_format::leading()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    COMPARE_EXACT(Format::leading(text), expected);
    const QByteArray bytes = text.toUtf8();
    COMPARE_EXACT(Format::leading(bytes.constData(), std::size_t(bytes.size())), expected);
}

void tst_format::leadingLongTexts()
{
    // A size ends the text, not a NUL; a null pointer with no size reads 0.
    COMPARE_EXACT(Format::leading("12\0" "34", 5), 12.0);
    COMPARE_EXACT(Format::leading("1234", 2), 12.0);
    COMPARE_EXACT(Format::leading(nullptr, 0), 0.0);

    // Digits far beyond what a double holds: the magnitude and the rounding stay right.
    const QString manyOnes = QString(2000, QLatin1Char('1'));
    COMPARE_EXACT(Format::leading(QStringLiteral("0.") + manyOnes), 1.0 / 9);
    COMPARE_EXACT(Format::leading(manyOnes.left(300)), Format::strict(manyOnes.left(300)).value());
    QVERIFY(std::fabs(Format::leading(manyOnes.left(300)) / 1.111111111111111e299 - 1) < 1e-15);
    COMPARE_EXACT(Format::leading(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QStringLiteral("1")), 0.0);
    COMPARE_EXACT(Format::leading(QStringLiteral("0.") + QString(300, QLatin1Char('0')) + QStringLiteral("1e305")), 1e4);
    // Just above a half-way point that only the digits beyond the 780th decide: 1 + 2^-53 + tiny rounds up.
    const QString halfway = QStringLiteral("1.00000000000000011102230246251565404236316680908203125");
    COMPARE_EXACT(Format::leading(halfway), 1.0);
    COMPARE_EXACT(Format::leading(halfway + QString(1000, QLatin1Char('0')) + QStringLiteral("1")), std::nextafter(1.0, 2.0));
}

void tst_format::strict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("expected");
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("point first") << "-.5" << true << -0.5;
    QTest::newRow("plus") << "+2" << true << 2.0;
    QTest::newRow("blanks around") << " \t7.25 \r\n" << true << 7.25;
    QTest::newRow("trailing point") << "1." << true << 1.0;
    QTest::newRow("minus zero") << "-0" << true << 0.0;
    QTest::newRow("exponent form of printed") << " 1E-05 " << true << 1e-5;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks") << "   " << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
    QTest::newRow("unit after") << "12 g" << false << 0.0;
    QTest::newRow("blank inside") << "1 2" << false << 0.0;
    QTest::newRow("blank after sign") << "- 5" << false << 0.0;
    QTest::newRow("E without digits") << "1e" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("sign only") << "+" << false << 0.0;
    QTest::newRow("exponent only") << "e5" << false << 0.0;
    QTest::newRow("too large") << "1e999" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("inf") << "Inf" << false << 0.0;
    QTest::newRow("hex") << "0x10" << false << 0.0;
    QTest::newRow("comma") << "1,5" << false << 0.0;
}

void tst_format::strict()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, expected);
    const auto v = Format::strict(text);
    QCOMPARE(v.has_value(), ok);
    if (ok) COMPARE_EXACT(*v, expected);
}

// Texts that name a number without a finite double value, told from texts that are no number at all.
void tst_format::notFiniteNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("notFinite");
    for (const char* t : {"NaN", "nan", " NAN ", "inf", "-inf", "+Inf", "Infinity", "-infinity", "1e999", "-1E+400",
                          "99999999999999999999e300", "\t1e999\r\n"})
        QTest::newRow(t) << QString::fromLatin1(t) << true;
    for (const char* t : {"", "abc", "1e308", "-1.5", "0", "1e-999", "nanx", "in f", "infinit", "1e999x", "--inf",
                          "1e", "-"})
        QTest::newRow(*t ? t : "empty") << QString::fromLatin1(t) << false;
}

void tst_format::notFiniteNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, notFinite);
    QCOMPARE(Format::notFiniteNumber(text), notFinite);
    if (notFinite) QVERIFY(!Format::strict(text));
}

void tst_format::roundHalfAway_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("expected");
    QTest::newRow("half up") << 2.5 << 0 << 3.0;
    QTest::newRow("half down (negative)") << -2.5 << 0 << -3.0;
    QTest::newRow("0.125") << 0.125 << 2 << 0.13;
    QTest::newRow("2.675 as written") << 2.675 << 2 << 2.68;
    QTest::newRow("1.005 as written") << 1.005 << 2 << 1.01;
    QTest::newRow("swell") << 70.25 << 1 << 70.3;
    QTest::newRow("to zero keeps no sign") << -0.04 << 1 << 0.0;
    QTest::newRow("carry") << 9.999 << 2 << 10.0;
    QTest::newRow("binary noise") << 0.1 + 0.2 << 5 << 0.3;
    QTest::newRow("five decimals") << 0.0123456 << 5 << 0.01235;
    QTest::newRow("tens") << 1235.0 << -1 << 1240.0;
    QTest::newRow("whole") << 1e20 << 0 << 1e20;
    QTest::newRow("far below") << 1e-300 << 3 << 0.0;
    QTest::newRow("not a number") << kNaN << 2 << kNaN;
}

void tst_format::roundHalfAway()
{
    QFETCH(double, x);
    QFETCH(int, decimals);
    QFETCH(double, expected);
    const double r = Format::roundHalfAway(x, decimals);
    if (std::isnan(expected))
        QVERIFY(std::isnan(r));
    else
        COMPARE_EXACT(r, expected);
}

void tst_format::roundHalfEvenAndToInt32_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("even");
    QTest::addColumn<bool>("fits");
    QTest::newRow("2.5") << 2.5 << 2.0 << true;
    QTest::newRow("3.5") << 3.5 << 4.0 << true;
    QTest::newRow("-2.5") << -2.5 << -2.0 << true;
    QTest::newRow("0.5") << 0.5 << 0.0 << true;
    QTest::newRow("-0.5") << -0.5 << 0.0 << true;
    QTest::newRow("1.5") << 1.5 << 2.0 << true;
    QTest::newRow("below half") << 2.4999999999999996 << 2.0 << true;
    QTest::newRow("above half") << 2.5000000000000004 << 3.0 << true;
    QTest::newRow("largest int32") << 2147483647.0 << 2147483647.0 << true;
    QTest::newRow("rounds down into range") << 2147483647.4 << 2147483647.0 << true;
    QTest::newRow("rounds out of range") << 2147483647.5 << 2147483648.0 << false;
    QTest::newRow("smallest int32 from half") << -2147483648.5 << -2147483648.0 << true;
    QTest::newRow("below range") << -2147483649.0 << -2147483649.0 << false;
    QTest::newRow("huge") << 1e300 << 1e300 << false;
    QTest::newRow("infinity") << -kInf << -kInf << false;
    QTest::newRow("not a number") << kNaN << kNaN << false;
}

void tst_format::roundHalfEvenAndToInt32()
{
    QFETCH(double, x);
    QFETCH(double, even);
    QFETCH(bool, fits);
    if (std::isnan(even))
        QVERIFY(std::isnan(Format::roundHalfEven(x)));
    else
        COMPARE_EXACT(Format::roundHalfEven(x), even);
    const auto i = Format::toInt32(x);
    QCOMPARE(i.has_value(), fits);
    if (fits) COMPARE_EXACT(double(*i), even);
}

void tst_format::storedDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("stored form") << "2020-01-02 03:04:05" << QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
    QTest::newRow("T and fraction") << "2020-01-02T03:04:05.250" << QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 250));
    QTest::newRow("date only") << "2020-01-02" << QDateTime(QDate(2020, 1, 2), QTime(0, 0));
    QTest::newRow("month 13") << "2020-13-01 00:00:00" << QDateTime();
    QTest::newRow("30 February") << "2020-02-30 00:00:00" << QDateTime();
    QTest::newRow("hour 24") << "2020-01-02 24:00:00" << QDateTime();
    QTest::newRow("letters") << "abc" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
}

void tst_format::storedDate()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime t = Format::fromStoredDate(text);
    QCOMPARE(t.isValid(), expected.isValid());
    if (!expected.isValid()) return;
    QCOMPARE(t, expected);
    QCOMPARE(t.timeSpec(), Qt::LocalTime);
    QCOMPARE(Format::storedDate(t), text.left(19).replace(QLatin1Char('T'), QLatin1Char(' '))
                                        + (text.size() == 10 ? QStringLiteral(" 00:00:00") : QString()));
    // A time given in another zone is stored as local time.
    QCOMPARE(Format::storedDate(t.toUTC()), Format::storedDate(t));
}

void tst_format::strictDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    };
    QTest::newRow("date") << "1/2/2020" << at(2020, 1, 2);
    QTest::newRow("padded with time") << "01/02/2020 10:03:04" << at(2020, 1, 2, 10, 3, 4);
    QTest::newRow("evening") << "12/31/2019 23:59" << at(2019, 12, 31, 23, 59);
    QTest::newRow("PM") << "1/2/2020 10:03 PM" << at(2020, 1, 2, 22, 3);
    QTest::newRow("12 AM") << "1/2/2020 12:00:00 AM" << at(2020, 1, 2);
    QTest::newRow("12 pm") << "1/2/2020 12:30 pm" << at(2020, 1, 2, 12, 30);
    QTest::newRow("leap day") << " 2/29/2020 " << at(2020, 2, 29);
    QTest::newRow("stored form") << "2020-01-02 03:04:05" << at(2020, 1, 2, 3, 4, 5);
    QTest::newRow("day first") << "13/1/2020" << QDateTime();
    QTest::newRow("30 February") << "2/30/2020" << QDateTime();
    QTest::newRow("no leap day") << "2/29/2021" << QDateTime();
    QTest::newRow("two-digit year") << "1/2/20" << QDateTime();
    QTest::newRow("hour 24") << "1/2/2020 24:00" << QDateTime();
    QTest::newRow("13 PM") << "1/2/2020 13:00 PM" << QDateTime();
    QTest::newRow("0 AM") << "1/2/2020 0:00 AM" << QDateTime();
    QTest::newRow("minute 61") << "1/2/2020 10:61" << QDateTime();
    QTest::newRow("trailing text") << "1/2/2020 x" << QDateTime();
    QTest::newRow("letters") << "abc" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
}

void tst_format::strictDate()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const auto t = Format::strictDate(text);
    QCOMPARE(t.has_value(), expected.isValid());
    if (t) QCOMPARE(*t, expected);
}

void tst_format::generalDate_data()
{
    QTest::addColumn<QDateTime>("t");
    QTest::addColumn<QString>("expected");
    QTest::newRow("evening") << QDateTime(QDate(2020, 1, 2), QTime(22, 3, 4)) << "1/2/2020 10:03:04 PM";
    QTest::newRow("morning") << QDateTime(QDate(2020, 11, 12), QTime(9, 0, 5)) << "11/12/2020 9:00:05 AM";
    QTest::newRow("noon") << QDateTime(QDate(2020, 1, 2), QTime(12, 0)) << "1/2/2020 12:00:00 PM";
    QTest::newRow("after midnight") << QDateTime(QDate(2020, 1, 2), QTime(0, 30)) << "1/2/2020 12:30:00 AM";
    QTest::newRow("midnight: date only") << QDateTime(QDate(2020, 1, 2), QTime(0, 0)) << "1/2/2020";
}

void tst_format::generalDate()
{
    QFETCH(QDateTime, t);
    QFETCH(QString, expected);
    QCOMPARE(Format::generalDate(t), expected);
    // Both date texts shown to the operator read back to the same time.
    QCOMPARE(Format::strictDate(Format::generalDate(t)), std::optional<QDateTime>(t));
    QCOMPARE(Format::strictDate(Format::dateTime(t, QStringLiteral("mm/dd/yyyy hh:mm:ss"))), std::optional<QDateTime>(t));
    QCOMPARE(Format::strictDate(Format::storedDate(t)), std::optional<QDateTime>(t));
}

void tst_format::longDateAndTime()
{
    const QDateTime t(QDate(2023, 7, 14), QTime(15, 4, 5));
    QVERIFY(Format::longDate(t).contains(QStringLiteral("2023")));
    const QString time = Format::longTime(t);
    QVERIFY2(time.contains(QStringLiteral(":04:05")), qPrintable(time));
    QVERIFY2(!time.contains(t.timeZoneAbbreviation()), qPrintable(time));
    QCOMPARE(time, time.trimmed());
    QVERIFY(Format::longDate(QDateTime()).isEmpty());
}

void tst_format::randomRoundTrips()
{
    QRandomGenerator rng(20240611);
    for (int k = 0; k < 20000; ++k) {
        // Random significands over a wide range of magnitudes, and now and then an arbitrary bit pattern.
        double x;
        if (k % 10 == 0) {
            quint64 bits = rng.generate64();
            std::memcpy(&x, &bits, sizeof x);
            if (!std::isfinite(x)) continue;
        } else {
            x = (1 + rng.generateDouble() * 9) * std::pow(10.0, rng.bounded(-20, 21));
            if (rng.bounded(2)) x = -x;
        }
        const QString g = Format::general(x);
        const auto back = Format::strict(g);
        QVERIFY2(back.has_value(), qPrintable(g));
        // 15 significant digits: within half a unit of the 15th digit, and the text is stable.
        QVERIFY2(std::fabs(*back - x) <= std::fabs(x) * 5.000001e-15, qPrintable(g));
        QCOMPARE(Format::general(*back), g);
        QCOMPARE(Format::strict(Format::printed(x)), back);
        COMPARE_EXACT(Format::leading(g), *back);

        // Reading is correctly rounded: 17 significant digits give the very same double.
        QCOMPARE(Format::strict(QString::number(x, 'g', 17)), std::optional<double>(x));

        // A pattern's text and the rounding that stores it agree.
        if (std::fabs(x) < 1e9) {
            const auto shown = Format::strict(Format::number(x, QStringLiteral("##0.0####")));
            QVERIFY(shown.has_value());
            COMPARE_EXACT(*shown, Format::roundHalfAway(x, 5));
        }
    }
}

QTEST_GUILESS_MAIN(tst_format)
#include "tst_format.moc"
