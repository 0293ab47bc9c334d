// The calibration rules without a window: the screen's own reading of reply records, the straight-line fit,
// the step timer's counters, the label texts and the two reports line by line.
#include "TestSupport.h"
#include "calibration/CalibrationLogic.h"
#include "calibration/CalibrationReports.h"
#include "records/format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <QtTest>
#include <cmath>
#include <limits>

using namespace calibration;

namespace {
QByteArray rec(const QByteArray& text) { return text + char(26); }

QStringList fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("<cannot open>")};
    QString text = QString::fromLocal8Bit(f.readAll());
    if (!text.endsWith(QLatin1String("\r\n"))) return {QStringLiteral("<no CR LF at the end>")};
    text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}
} // namespace

class TestCalibrationLogic : public QObject {
    Q_OBJECT
private slots:
    void parseCellReading_data();
    void parseCellReading();
    void fitLine_data();
    void fitLine();
    void stepTimer();
    void labelTexts_data();
    void labelTexts();
    void readingRises_data();
    void readingRises();
    void heightReport_data();
    void heightReport();
    void pressureReport();
    void writeReportFailures();
    void writeReportProtectedOrLinked_data();
    void writeReportProtectedOrLinked();
};

void TestCalibrationLogic::parseCellReading_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<char>("letter");
    QTest::addColumn<double>("previous");
    QTest::addColumn<double>("reading");
    QTest::addColumn<int>("matched");
    QTest::addColumn<int>("failure");   // 0: none

    const QByteArray two = rec("A1,70,71,72,2134.567,120") + rec("B1,70,71,72,950,120");
    QTest::newRow("two records, A") << two << 'A' << 0.0 << 2.13457 << 1 << 0;
    QTest::newRow("two records, B") << two << 'B' << 0.0 << 0.95 << 1 << 0;
    QTest::newRow("record without SUB ignored")
        << QByteArray("A1,70,71,72,2500,120") << 'A' << 1.5 << 1.5 << 0 << 0;
    QTest::newRow("complete record, then one without SUB")
        << rec("A1,70,71,72,1200,120") + "A1,70,71,72,2500,120" << 'A' << 0.0 << 1.2 << 1 << 0;
    QTest::newRow("last matching record wins")
        << rec("A1,1,2,3,1000,5") + rec("B1,1,2,3,9000,5") + rec("A1,1,2,3,3000,5") << 'A' << 0.0 << 3.0 << 2 << 0;
    QTest::newRow("other cell only keeps the reading") << rec("B1,70,71,72,950,120") << 'A' << 2.5 << 2.5 << 0 << 0;
    QTest::newRow("lower-case letter is another cell") << rec("a1,70,71,72,950,120") << 'A' << 0.7 << 0.7 << 0 << 0;
    QTest::newRow("blank before the tag") << rec(" A1,70,71,72,950,120") << 'A' << 0.7 << 0.7 << 0 << 0;
    QTest::newRow("five comma-terminated fields suffice") << rec("A1,70,71,72,1800,") << 'A' << 0.0 << 1.8 << 1 << 0;
    QTest::newRow("field 5 without its comma is no field")
        << rec("A1,70,71,72,1800") << 'A' << 0.3 << 0.3 << 0 << 0;
    QTest::newRow("short record never takes field 5 of another")
        << rec("A1,70,71,72,1800,9") + rec("A1,70,71") << 'A' << 0.0 << 1.8 << 1 << 0;
    QTest::newRow("short record alone is ignored") << rec("A1,70,") << 'A' << 0.4 << 0.4 << 0 << 0;
    QTest::newRow("five decimals, halves away from zero")
        << rec("A1,1,1,1,1234.565,1") << 'A' << 0.0 << 1.23457 << 1 << 0;
    QTest::newRow("negative millivolts") << rec("B2,1,1,1,-250,1") << 'B' << 0.0 << -0.25 << 1 << 0;
    QTest::newRow("field 5 not a number fails, earlier record kept")
        << rec("A1,1,1,1,1000,1") + rec("A1,1,1,1,12x,1") + rec("A1,1,1,1,4000,1") << 'A' << 0.0 << 1.0 << 1 << 13;
    QTest::newRow("empty field 5 fails") << rec("A1,1,1,1,,1") << 'A' << 0.5 << 0.5 << 0 << 13;
    QTest::newRow("ten fields are fine") << rec("A1,1,1,1,2000,1,1,1,1,1,") << 'A' << 0.0 << 2.0 << 1 << 0;
    QTest::newRow("eleventh field fails") << rec("A1,1,1,1,2000,1,1,1,1,1,1,") << 'A' << 0.5 << 0.5 << 0 << 9;
    QTest::newRow("other cell may hold many commas") << rec("B1,,,,,,,,,,,,,,") << 'A' << 0.5 << 0.5 << 0 << 0;
    QTest::newRow("nothing received") << QByteArray() << 'B' << 0.9 << 0.9 << 0 << 0;
}

void TestCalibrationLogic::parseCellReading()
{
    QFETCH(QByteArray, received);
    QFETCH(char, letter);
    QFETCH(double, previous);
    QFETCH(double, reading);
    QFETCH(int, matched);
    QFETCH(int, failure);
    const CellReadingResult r = calibration::parseCellReading(received, letter, previous);
    QCOMPARE(r.reading, reading);
    QCOMPARE(r.matched, matched);
    QCOMPARE(r.failure ? r.failure->number : 0, failure);
}

void TestCalibrationLogic::fitLine_data()
{
    QTest::addColumn<std::vector<double>>("x");
    QTest::addColumn<std::vector<double>>("y");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QString>("slope");       // printed form, as the calibration file keeps it
    QTest::addColumn<QString>("intercept");

    QTest::newRow("lower segment 1.2, 2.45") << std::vector<double>{1.2, 2.45} << std::vector<double>{0.4, 0.65}
                                             << true << " .2 " << " .16 ";
    QTest::newRow("upper segment 2.45, 3.7") << std::vector<double>{2.45, 3.7} << std::vector<double>{0.65, 0.9}
                                             << true << " .2 " << " .16 ";
    QTest::newRow("simulator transducer") << std::vector<double>{1.2, 2.2} << std::vector<double>{0.4, 0.65} << true
                                          << " .25 " << " .1 ";
    QTest::newRow("pressure 0.5 V to 4.5 V") << std::vector<double>{0, 1000} << std::vector<double>{0.5, 4.5}
                                             << true << " .004 " << " .5 ";
    QTest::newRow("equal pressure readings") << std::vector<double>{0, 1000} << std::vector<double>{2, 2} << true
                                             << " 0 " << " 2 ";
    QTest::newRow("falling line") << std::vector<double>{1, 3} << std::vector<double>{1, 0.75} << true << "-.125 "
                                  << " 1.125 ";
    QTest::newRow("three points, least squares") << std::vector<double>{0, 1, 2} << std::vector<double>{0, 1, 4}
                                                 << true << " 2 " << "-.333333333333333 ";
    QTest::newRow("equal readings: no slope") << std::vector<double>{2.2, 2.2} << std::vector<double>{0.4, 0.65}
                                              << false << "" << "";
    QTest::newRow("one point") << std::vector<double>{1} << std::vector<double>{1} << false << "" << "";
    QTest::newRow("lengths differ") << std::vector<double>{1, 2} << std::vector<double>{1} << false << "" << "";
    QTest::newRow("not finite") << std::vector<double>{0, qInf()} << std::vector<double>{1, 2} << false << "" << "";
}

void TestCalibrationLogic::fitLine()
{
    QFETCH(std::vector<double>, x);
    QFETCH(std::vector<double>, y);
    QFETCH(bool, fits);
    QFETCH(QString, slope);
    QFETCH(QString, intercept);
    const auto f = calibration::fitLine(x, y);
    QCOMPARE(f.has_value(), fits);
    if (!f) return;
    QCOMPARE(Format::printed(f->slope), slope);
    QCOMPARE(Format::printed(f->intercept), intercept);
}

// A finisher is due exactly once, on the second tick after its click; a click before that restarts the
// wait; idle and stopped counters never become due; the order is step by step, cell A first.
void TestCalibrationLogic::stepTimer()
{
    using Due = std::vector<std::pair<int, int>>;
    StepTimer t;
    for (int step = 1; step <= 5; ++step)
        for (int cell = 1; cell <= 2; ++cell) QCOMPARE(t.ticks(step, cell), 5L);
    QCOMPARE(t.tick(), Due{});

    t.start(1, 2);
    t.start(4, 1);
    QCOMPARE(t.tick(), Due{});
    t.start(3, 1);
    QCOMPARE(t.tick(), (Due{{1, 2}, {4, 1}}));
    t.start(1, 2);   // a second click restarts the wait
    QCOMPARE(t.tick(), (Due{{3, 1}}));
    QCOMPARE(t.tick(), (Due{{1, 2}}));
    for (int i = 0; i < 50; ++i) QCOMPARE(t.tick(), Due{});

    t.start(5, 2);
    t.start(2, 1);
    t.stop(5, 2);    // a failed click: no finisher
    t.tick();
    QCOMPARE(t.tick(), (Due{{2, 1}}));
    QCOMPARE(t.ticks(2, 1), 2L);
    QCOMPARE(t.ticks(9, 1), 5L);   // outside the table
    t.start(0, 1);
    t.start(1, 3);
    QCOMPARE(t.tick(), Due{});
}

void TestCalibrationLogic::labelTexts_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("reading");

    QTest::newRow("0.2") << 0.2 << "0.2" << "0.2";
    QTest::newRow("0.1234567") << 0.1234567 << "0.12346" << "0.1234567";
    QTest::newRow("12") << 12.0 << "12.0" << "12";
    QTest::newRow("-0.0125") << -0.0125 << "-0.0125" << "-0.0125";
    QTest::newRow("0.004") << 0.004 << "0.004" << "0.004";
    QTest::newRow("0.16") << 0.16000000000000003 << "0.16" << "0.16";
    // Never an exponent, at any magnitude.
    QTest::newRow("0.00004") << 4e-5 << "0.00004" << "0.00004";
    QTest::newRow("-0.00000001") << -1e-8 << "0.0" << "-0.00000001";
    QTest::newRow("1e15") << 1e15 << "1000000000000000.0" << "1000000000000000";
    QTest::newRow("1/3e-6") << 1.0 / 3e6 << "0.0" << "0.000000333333333333333";
    QTest::newRow("1.5e16") << 1.5e16 << "15000000000000000.0" << "15000000000000000";
}

void TestCalibrationLogic::labelTexts()
{
    QFETCH(double, x);
    QFETCH(QString, factor);
    QFETCH(QString, reading);
    QCOMPARE(factorText(x), factor);
    QCOMPARE(readingText(x), reading);
    QCOMPARE(labelValue(reading), Format::strict(reading).value());
    QCOMPARE(labelValue(QString()), 0.0);
}

// A spacer's reading must lie at least one volt above the one before it (at five decimals), and within
// what a transducer gives.
void TestCalibrationLogic::readingRises_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::addColumn<bool>("rises");
    QTest::newRow("1.0 V above") << 1.3 << 2.3 << true;
    QTest::newRow("0.99999 V above") << 1.2 << 2.19999 << false;
    QTest::newRow("1.0 V below") << 3.0 << 2.0 << false;
    QTest::newRow("2.5 V below") << 0.9 << -1.6 << false;
    QTest::newRow("equal") << 2.0 << 2.0 << false;
    QTest::newRow("negative, rising") << -5.0 << -3.5 << true;
    QTest::newRow("not a number") << 1.0 << std::nan("") << false;
}

void TestCalibrationLogic::readingRises()
{
    QFETCH(double, before);
    QFETCH(double, after);
    QFETCH(bool, rises);
    QCOMPARE(calibration::readingRises(before, after), rises);
    for (double v : {10.0, -10.0, 0.0}) QVERIFY(calibration::readingUsable(v));
    for (double v : {10.00001, -10.5, 1e305, std::numeric_limits<double>::infinity(), std::nan("")})
        QVERIFY(!calibration::readingUsable(v));
}

void TestCalibrationLogic::heightReport_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("fitA");
    QTest::addColumn<bool>("fitB");
    QTest::addColumn<QStringList>("tail");   // lines from line 5 on

    QTest::newRow("cell B only, unit 4")
        << 4 << false << true
        << QStringList{"Unit No.: , 4 ", "", "Cell A :", "", "", "Cell B :", "Data ,Volt ", "0.4,1.2", "0.65,2.45",
                       "0.9,3.7", "", "Factor ", "0.16", "0.2", "", ""};
    QTest::newRow("before any unit") << 0 << false << false
                                     << QStringList{"Unit No.: , 0 ", "", "Cell A :", "", "", "Cell B :", "", ""};
    QTest::newRow("both cells, unit 8")
        << 8 << true << true
        << QStringList{"Unit No.: , 8 ", "",         "Cell A :", "Data ,Volt ", "0.4,1.2", "0.65,2.45", "0.9,3.7", "",
                       "Factor ",        "0.16",     "0.2",      "",            "",        "Cell B :",  "Data ,Volt ",
                       "0.4,1.2",        "0.65,2.45", "0.9,3.7", "",            "Factor ", "0.16",      "0.2",
                       "",               ""};
}

void TestCalibrationLogic::heightReport()
{
    QFETCH(int, unit);
    QFETCH(bool, fitA);
    QFETCH(bool, fitB);
    QFETCH(QStringList, tail);
    HeightReportCell fitted{true, {"0.4", "0.65", "0.9"}, {"1.2", "2.45", "3.7"}, "0.16", "0.2"};
    HeightReportCell unfitted{false, {"0.4", "0.65", "0.9"}, {"9", "", ""}, "", ""};
    const QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    const QStringList lines = heightReportLines(now, unit, fitA ? fitted : unfitted, fitB ? fitted : unfitted);
    QCOMPARE(lines.mid(0, 4), (QStringList{"Calibration Report of Torvan. ", "",
                                           "Calibration Time:  ," + Format::longTime(now) + "," + Format::longDate(now),
                                           ""}));
    QCOMPARE(lines.mid(4), tail);

    testsupport::TempWorkDir dir(false);
    QVERIFY(!writeReport(dir.file("h.csv"), lines));
    QCOMPARE(fileLines(dir.file("h.csv")), lines);
}

void TestCalibrationLogic::pressureReport()
{
    const QDateTime now(QDate(2024, 3, 5), QTime(9, 0, 1));
    const QStringList empty = pressureReportLines(now, 0, {}, {});
    QCOMPARE(empty, (QStringList{"Pressure Calibration Report of Torvan,", "",
                                 "Calibration Time:," + Format::longTime(now) + "," + Format::longDate(now), "",
                                 "Instrument Unit: , 0 ", "", "volt,Factor", ",", ",", ",", ",", ""}));
    const QStringList lines =
        pressureReportLines(now, 3, {"0.5", "4.5", "0.5", "0.004"}, {"1", "1", "1", "0"});
    QCOMPARE(lines.mid(4), (QStringList{"Instrument Unit: , 3 ", "", "volt,Factor", "0.5,0.004", "4.5,0.5", "1,0",
                                        "1,1", ""}));
}

// A report over the database file is refused before the file is touched; an unwritable place reports why.
void TestCalibrationLogic::writeReportFailures()
{
    testsupport::TempWorkDir dir;   // with Torvan.accdb
    const QByteArray db = [&] {
        QFile f(dir.file("Torvan.accdb"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QVERIFY(!db.isEmpty());
    for (const QString& name : {"Torvan.accdb", "torvan.ACCDB", "Torvan.accdb-wal", "./Torvan.accdb-shm"}) {
        const auto failure = writeReport(name, {"x"});
        QVERIFY2(failure, qPrintable(name));
        QVERIFY(!failure->description.isEmpty());
    }
    QFile f(dir.file("Torvan.accdb"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), db);
    QVERIFY(!QFile::exists(dir.file("Torvan.accdb-wal")) || QFileInfo(dir.file("Torvan.accdb-wal")).size() == 0);

    const auto missing = writeReport(dir.file("no/such/folder/r.csv"), {"x"});
    QVERIFY(missing);
    QVERIFY(!missing->description.isEmpty());
    QVERIFY(!writeReport(dir.file("Torvan.accdb.csv"), {"x"}));   // a name that merely starts alike is fine
}

void TestCalibrationLogic::writeReportProtectedOrLinked_data()
{
    QTest::addColumn<int>("mode");             // the old report's permissions; -1: no old report
    QTest::addColumn<QStringList>("links");    // "name>target" symbolic links made first, in order
    QTest::addColumn<QString>("written");      // the file that must hold the report; empty: refused
    QTest::newRow("write-protected report") << 0444 << QStringList{} << QString();
    QTest::newRow("read-only for its owner") << 0400 << QStringList{} << QString();
    QTest::newRow("writable report") << 0644 << QStringList{} << "r.csv";
    QTest::newRow("link to a file not made yet") << -1 << QStringList{"r.csv>kept/t.csv"} << "kept/t.csv";
    QTest::newRow("chain of links to a file not made yet")
        << -1 << QStringList{"r.csv>l2", "l2>kept/t.csv"} << "kept/t.csv";
    QTest::newRow("link into a folder that does not exist") << -1 << QStringList{"r.csv>none/t.csv"} << QString();
}

// A report over a write-protected file is refused as a file that cannot be written, also for root, and
// leaves it as it was; a report through a symbolic link whose target does not exist yet creates the target
// and keeps every link.
void TestCalibrationLogic::writeReportProtectedOrLinked()
{
    QFETCH(int, mode);
    QFETCH(QStringList, links);
    QFETCH(QString, written);
    testsupport::TempWorkDir dir(false);
    QVERIFY(QDir(dir.path()).mkdir("kept"));
    if (mode >= 0) {
        dir.write("r.csv", "old\r\n");
        QCOMPARE(::chmod(QFile::encodeName(dir.file("r.csv")).constData(), mode_t(mode)), 0);
    }
    for (const QString& link : links) {
        const QStringList parts = link.split('>');
        QVERIFY(QFile::link(parts[1], dir.file(parts[0])));
    }
    const auto failure = writeReport(dir.file("r.csv"), {"x", "y"});
    if (written.isEmpty()) {
        QVERIFY(failure);
        QCOMPARE(failure->boxText(), FileFailure::pathFileAccessError().boxText());
        if (mode >= 0) QCOMPARE(fileLines(dir.file("r.csv")), QStringList{"old"});
    } else {
        QVERIFY2(!failure, failure ? qPrintable(failure->boxText()) : "");
        QCOMPARE(fileLines(dir.file(written)), (QStringList{"x", "y"}));
    }
    for (const QString& link : links)
        QVERIFY2(QFileInfo(dir.file(link.split('>')[0])).isSymLink(), qPrintable(link));
    QCOMPARE(QDir(dir.file("kept")).entryList(QDir::Files | QDir::Hidden),
             written.startsWith("kept/") ? QStringList{"t.csv"} : QStringList{});
}

QTEST_GUILESS_MAIN(TestCalibrationLogic)
#include "tst_calibrationlogic.moc"
