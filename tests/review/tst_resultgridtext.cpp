// The result grid's cell texts made without a QString (the view, the workbook and the report take these)
// are byte for byte the cell rules' texts through the shared formatting: in both unit systems, with and
// without a sample length, on hard values (halves at each column's last place, rounding carries, negatives,
// tiny and huge values, not-a-number) and on many random points; the model gives the same texts both ways.
#include "records/clsTEST_RESULT.h"
#include "review/ResultGrid.h"
#include "review/TestExport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Row = ResultGridModel::Row;

// Values that are hard for the columns' roundings: halves and carries at 0, 1, 2, 4 and 11 places, their
// neighbours, the inch/millimetre and percent scalings of such halves, and extremes.
std::vector<double> hardValues()
{
    std::vector<double> v = {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, 99.5, -99.5, 9.99995, -9.99995, 0.99995, 0.00005,
                             0.00015, 2.675, 1.005, 0.05, 0.15, 0.25, 32.0, 33.8, 32.9, 122.0, 212.5, 1e-5, -1e-5,
                             1e-20, 5e-324, 1e9, 1e12, 1e13, 1e15, 1e22, -1e22, 1e300,
                             std::numeric_limits<double>::max(), std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             2.50000000000005, 3.4567890123455, 0.0123456789015};
    for (double places : {1.0, 10.0, 100.0, 1e4, 1e11}) {
        for (double m : {0.0, 1.0, 9.0, 99.0, 1234.0}) {
            const double half = (m + 0.5) / places;
            for (double x : {half, -half, std::nextafter(half, 0.0), std::nextafter(half, 1e300), half / 25.4,
                             half * 0.5 / 100, half / 100, (m + 0.95) / places})
                v.push_back(x);
        }
    }
    // Temperatures whose Celsius value is a half: (c + 0.5) * 9 / 5 + 32.
    for (int c = -40; c <= 300; c += 17) v.push_back((c + 0.5) * 9 / 5 + 32);
    return v;
}

QString mismatch(const Row& r, int column, double length, int units)
{
    const QByteArray expected = ResultGridModel::cellText(r, column, length, units).toUtf8();
    QByteArray got = "x"; // appends after what is there
    ResultGridModel::appendCellText(r, column, length, units, got);
    if (got == "x" + expected) return {};
    return QStringLiteral("column %1, units %2, length %3, point (%4 %5 %6 %7 %8 %9 %10): %11 instead of %12")
        .arg(column)
        .arg(units)
        .arg(length, 0, 'g', 17)
        .arg(r.step)
        .arg(r.time, 0, 'g', 17)
        .arg(r.temp, 0, 'g', 17)
        .arg(r.bathTemp, 0, 'g', 17)
        .arg(r.press, 0, 'g', 17)
        .arg(r.heightChange, 0, 'g', 17)
        .arg(r.volt, 0, 'g', 17)
        .arg(QString::fromUtf8(got.mid(1)), QString::fromUtf8(expected));
}

} // namespace

class tst_resultgridtext : public QObject {
    Q_OBJECT

private slots:
    void sameAsCellRules_data();
    void sameAsCellRules();
    void modelTexts();
    void wholeReport_data();
    void wholeReport();
};

void tst_resultgridtext::sameAsCellRules_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<double>("length");
    QTest::newRow("SI, 0.5 in") << 0 << 0.5;
    QTest::newRow("English, 0.5 in") << 1 << 0.5;
    QTest::newRow("SI, 0.75 in") << 0 << 0.75;
    QTest::newRow("English, 0.001 in") << 1 << 0.001;
    QTest::newRow("SI, no length") << 0 << 0.0;
    QTest::newRow("English, no length") << 1 << 0.0;
}

void tst_resultgridtext::sameAsCellRules()
{
    QFETCH(int, units);
    QFETCH(double, length);

    // Every hard value in every number column, with the other columns plain.
    const std::vector<double> hard = hardValues();
    for (double x : hard) {
        const Row r{x, x, x, x, x, x, std::int32_t(std::isfinite(x) ? std::fmod(x, 1e6) : 0)};
        for (int c = 0; c < ResultGridModel::Columns; ++c) {
            const QString problem = mismatch(r, c, length, units);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }

    // Random points around a swell test's ranges, and now and then far outside them.
    QRandomGenerator rng(20240614);
    for (int k = 0; k < 100000; ++k) {
        const bool wild = k % 10 == 0;
        const auto value = [&](double low, double high) {
            if (wild) return (rng.generateDouble() * 2 - 1) * std::pow(10.0, rng.bounded(-12, 16));
            return low + rng.generateDouble() * (high - low);
        };
        Row r{std::round(value(0, 700000)), value(60, 400),  value(60, 400),         value(0, 3000),
              value(-0.01, 0.1),            value(0, 10),    std::int32_t(rng.bounded(0, 40))};
        if (k % 7 == 0) r.heightChange = (rng.bounded(-5000, 5000) + 0.5) / (units == 1 ? 1e4 : 254.0);
        for (int c = 0; c < ResultGridModel::Columns; ++c) {
            const QString problem = mismatch(r, c, length, units);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }
}

void tst_resultgridtext::modelTexts()
{
    ResultGridModel model;
    clsTEST_RESULT::Rows points;
    for (int i = 0; i < 50; ++i)
        points.push_back({i + 1, i % 3, 3600.0 * i + 0.5, 70 + i * 1.25, 71 + i * 0.35, 300 + i * 0.05,
                          i * 0.00125 - 0.02, 2.5 + i * 0.0123456789, });
    model.setRows(points, 0.5, 0);
    QCOMPARE(model.rowCount(), 50);
    for (int i = 0; i < 50; ++i) {
        const Row r = ResultGridModel::rowOf(points[std::size_t(i)]);
        for (int c = 0; c < ResultGridModel::Columns; ++c) {
            const QString expected = ResultGridModel::cellText(r, c, 0.5, 0);
            QCOMPARE(model.text(i, c), expected);
            QCOMPARE(model.data(model.index(i, c), Qt::DisplayRole).toString(), expected);
            QByteArray utf8;
            model.appendText(i, c, utf8);
            QCOMPARE(utf8, expected.toUtf8());
        }
    }
    // Report lines: the eight texts, each followed by the separator, each row by the end, after what is
    // there; rows past the grid give nothing.
    for (int i = 0; i < 50; ++i) {
        QByteArray line = "x";
        model.appendRows(i, 3, ',', "\r\n", line);
        QByteArray expected = "x";
        for (int row = i; row < std::min(i + 3, 50); ++row) {
            for (int c = 0; c < ResultGridModel::Columns; ++c) expected += model.text(row, c).toUtf8() + ',';
            expected += "\r\n";
        }
        QCOMPARE(line, expected);
    }
    // Outside the rows: nothing.
    QCOMPARE(model.text(50, 0), QString());
    QByteArray none;
    model.appendText(-1, 0, none);
    QVERIFY(none.isEmpty());
}

void tst_resultgridtext::wholeReport_data() { sameAsCellRules_data(); }

// A whole report of hard and random points, byte for byte the cell rules' texts joined as report lines.
void tst_resultgridtext::wholeReport()
{
    QFETCH(int, units);
    QFETCH(double, length);
    clsTEST_RESULT::Rows points;
    int id = 0;
    for (double x : hardValues()) {
        const std::int32_t step = std::int32_t(std::isfinite(x) ? std::fmod(x, 1e6) : 0);
        points.push_back({++id, step, std::isfinite(x) ? std::fabs(x) : 0, x, x, x, x, x});
    }
    QRandomGenerator rng(20261211);
    for (int k = 0; k < 20000; ++k)
        points.push_back({++id, std::int32_t(rng.bounded(0, 40)), double(k), 60 + rng.generateDouble() * 340,
                          60 + rng.generateDouble() * 340, rng.generateDouble() * 3000,
                          -0.01 + rng.generateDouble() * 0.11, rng.generateDouble() * 10});
    ResultGridModel model;
    model.setHeader(QStringLiteral("<Step No|<Time (hh:mm:ss)|<Temp (C)|<Press (Psi)|<Length Change (mm)|"
                                   "< Swell (%) |<read voltage|<Bath Temp (C)"));
    model.setRows(points, length, units);
    review::ReportSheet sheet;
    sheet.grid = &model;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.csv"));
    QCOMPARE(review::WriteReport(sheet, path), QString());

    QByteArray expected = review::ReportHead(sheet);
    QStringList heading;
    for (int c = 0; c < ResultGridModel::Columns; ++c) heading << model.heading(c) + QLatin1Char(',');
    expected += heading.join(QString()).toUtf8() + "\r\n";
    for (const clsTEST_RESULT::Row& p : points) {
        const Row r = ResultGridModel::rowOf(p);
        for (int c = 0; c < ResultGridModel::Columns; ++c)
            expected += ResultGridModel::cellText(r, c, length, units).toUtf8() + ',';
        expected += "\r\n";
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray got = f.readAll();
    QCOMPARE(got.size(), expected.size());
    QVERIFY(got == expected);
}

QTEST_MAIN(tst_resultgridtext)
#include "tst_resultgridtext.moc"
