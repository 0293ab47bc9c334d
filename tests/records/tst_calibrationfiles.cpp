// The calibration files: the unit screen's reader of "Calib.dat", the height save and the pressure save.
#include "TestSupport.h"
#include "records/CalibrationFiles.h"

#include <QFile>
#include <QtTest>

#include <sys/stat.h>

using CalibrationFile::HeightFit;
using Outcome = CalibrationFile::UnitRead::Outcome;

namespace {

// Lines joined with CR LF, each one ended.
QByteArray crlf(const QList<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& l : lines) out += l + "\r\n";
    return out;
}

QByteArray fileBytes(const testsupport::TempWorkDir& dir, const QString& name)
{
    QFile f(dir.file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const testsupport::TempWorkDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QList<double> valuesOf(const CalibrationFile::UnitRead& r)
{
    QList<double> v;
    for (int cell = 1; cell <= 2; ++cell) {
        const Module1::CellCalibration& c = r.cells[std::size_t(cell)];
        v << c.CalVolt1 << c.CalVolt2 << c.CalVolt3 << c.CalIntercept1 << c.CalSlope1 << c.CalIntercept2
          << c.CalSlope2;
    }
    return v;
}

// Two calibrated cells as a save writes them, and their values.
const QByteArray kCellA = "2.1,3.4,4.6, .9 ,-.2 , 1.2 ,-.3 ,";
const QByteArray kCellB = "1.5,2.5,3.5, .7 , .1 , .8 , 5E-02 ,";
const QList<double> kValuesA{2.1, 3.4, 4.6, 0.9, -0.2, 1.2, -0.3};
const QList<double> kValuesB{1.5, 2.5, 3.5, 0.7, 0.1, 0.8, 0.05};
const QList<double> kZeros{0, 0, 0, 0, 0, 0, 0};

// New fits as the screen hands them over, and the field texts they must give.
const HeightFit kFitA{"0.5", "1.25", "-0.75", 0.2, -0.125, 1e-5, 1.5};
const QByteArray kFitAText = "0.5,1.25,-0.75, .2 ,-.125 , .00001 , 1.5 ,";
const HeightFit kFitB{"2.05", "3.1", "4.25", -0.3, 0.000123, 12, 0.2};
const QByteArray kFitBText = "2.05,3.1,4.25,-.3 , .000123 , 12 , .2 ,";

#define VERIFY_SAVED(failure)                                                                                 \
    do {                                                                                                      \
        const auto f_ = (failure);                                                                            \
        QVERIFY2(!f_, f_ ? qPrintable(f_->boxText()) : "");                                                   \
    } while (false)

} // namespace

class tst_calibrationfiles : public QObject {
    Q_OBJECT
private slots:
    void readUnit_data();
    void readUnit();
    void readerCreatesOnlyAMissingFile();
    void messages();
    void saveHeight_data();
    void saveHeight();
    void saveHeightRefused_data();
    void saveHeightRefused();
    void savedFitsReadBack();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void savedFileMode_data();
    void savedFileMode();
    void saveThroughLink();
    void savePressure_data();
    void savePressure();
    void unitFromChoice_data();
    void unitFromChoice();
};

void tst_calibrationfiles::readUnit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QList<int>>("notCalibrated");
    QTest::addColumn<int>("failure");

    const QByteArray full = kCellA + kCellB;
    const int read = int(Outcome::Read), noLine = int(Outcome::NoLineForUnit), failed = int(Outcome::Failed);
    QTest::newRow("unit 4, three lines") << "Calib.dat" << crlf({full, full, full}) << 4 << noLine
                                         << kZeros + kZeros << QList<int>{} << 0;
    QTest::newRow("unit 3, three lines") << "Calib.dat" << crlf({"", "", full}) << 3 << read
                                         << kValuesA + kValuesB << QList<int>{} << 0;
    QTest::newRow("unit 2, cell B all zeros") << "Calib.dat" << crlf({full, kCellA + "0,0,0,0,0,0,0,", full}) << 2
                                              << read << kValuesA + kZeros << QList<int>{2} << 0;
    QTest::newRow("every field form")
        << "Calib.dat" << crlf({" 1.25 ,2.5,0.5, .2 ,-.125 , 1E-05 ,-1 ," + kCellB}) << 1 << read
        << QList<double>{1.25, 2.5, 0.5, 0.2, -0.125, 1e-5, -1} + kValuesB << QList<int>{} << 0;
    QTest::newRow("LF ends, last line unended") << "Calib.dat" << QByteArray("\n\n" + full) << 3 << read
                                                << kValuesA + kValuesB << QList<int>{} << 0;
    QTest::newRow("lone CR ends") << "Calib.dat" << QByteArray("x\r" + full + "\r") << 2 << read
                                  << kValuesA + kValuesB << QList<int>{} << 0;
    QTest::newRow("empty line is not taken from the next") << "Calib.dat" << crlf({"", full}) << 1 << read
                                                           << kZeros + kZeros << QList<int>{1, 2} << 0;
    QTest::newRow("seven empty fields for cell A") << "Calib.dat" << crlf({",,,,,,," + kCellB}) << 1 << read
                                                   << kZeros + kValuesB << QList<int>{1} << 0;
    QTest::newRow("short line completed with zeros") << "Calib.dat" << crlf({kCellA, full}) << 1 << read
                                                     << kValuesA + kZeros << QList<int>{2} << 0;
    QTest::newRow("fields after the 14th ignored") << "Calib.dat" << crlf({full + "9,x,"}) << 1 << read
                                                   << kValuesA + kValuesB << QList<int>{} << 0;
    QTest::newRow("one empty segment per cell")
        << "Calib.dat" << crlf({"1,2,3,0,0,1,1,1,2,3,1,1,0,0,"}) << 1 << read
        << QList<double>{1, 2, 3, 0, 0, 1, 1, 1, 2, 3, 1, 1, 0, 0} << QList<int>{1, 2} << 0;
    QTest::newRow("an intercept alone is a segment")
        << "Calib.dat" << crlf({"1,2,3,0,.5,.3,0,1,2,3,.1,0,0,.2,"}) << 1 << read
        << QList<double>{1, 2, 3, 0, 0.5, 0.3, 0, 1, 2, 3, 0.1, 0, 0, 0.2} << QList<int>{} << 0;
    QTest::newRow("name in capitals") << "CALIB.DAT" << crlf({full}) << 1 << read << kValuesA + kValuesB
                                      << QList<int>{} << 0;
    QTest::newRow("not a number in cell B, after cell A")
        << "Calib.dat" << crlf({"0,0,0,0,0,0,0,1,2,x,1,1,1,1,"}) << 1 << failed << kZeros + kZeros
        << QList<int>{1} << 13;
    QTest::newRow("not a number in cell A") << "Calib.dat" << crlf({"1,2,3,4 5,1,1,1," + kCellB}) << 1 << failed
                                            << kZeros + kZeros << QList<int>{} << 13;
}

void tst_calibrationfiles::readUnit()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, unit);
    QFETCH(int, outcome);
    QFETCH(QList<double>, values);
    QFETCH(QList<int>, notCalibrated);
    QFETCH(int, failure);
    testsupport::TempWorkDir dir(false);
    dir.write(name, content);

    const CalibrationFile::UnitRead r = CalibrationFile::readUnit(unit);
    QCOMPARE(int(r.outcome), outcome);
    if (r.outcome != Outcome::Failed) QCOMPARE(valuesOf(r), values);
    QCOMPARE(QList<int>(r.notCalibrated.begin(), r.notCalibrated.end()), notCalibrated);
    QCOMPARE(r.failure ? r.failure->number : 0, failure);
    // Reading never touches the file.
    QCOMPARE(filesIn(dir), QStringList{name});
    QCOMPARE(fileBytes(dir, name), content);
}

void tst_calibrationfiles::readerCreatesOnlyAMissingFile()
{
    testsupport::TempWorkDir dir(false);
    QCOMPARE(CalibrationFile::readUnit(1).outcome, Outcome::FileMissing);
    QCOMPARE(filesIn(dir), QStringList{"calib.dat"});
    QCOMPARE(fileBytes(dir, "calib.dat"), QByteArray());

    // Now the file exists (empty): it has no line for the unit and stays as it is.
    QCOMPARE(CalibrationFile::readUnit(1).outcome, Outcome::NoLineForUnit);
    QCOMPARE(filesIn(dir), QStringList{"calib.dat"});

    // A file of another spelling is the calibration file: nothing is created beside it or emptied.
    testsupport::TempWorkDir other(false);
    other.write("CALIB.DAT", crlf({kCellA + kCellB}));
    QCOMPARE(CalibrationFile::readUnit(4).outcome, Outcome::NoLineForUnit);
    QCOMPARE(filesIn(other), QStringList{"CALIB.DAT"});
    QCOMPARE(fileBytes(other, "CALIB.DAT"), crlf({kCellA + kCellB}));
}

void tst_calibrationfiles::messages()
{
    QCOMPARE(CalibrationFile::notCalibratedMessage(2, 2), QString("Unit 2, Cell B  not calibrated yet!"));
    QCOMPARE(CalibrationFile::notCalibratedMessage(8, 1), QString("Unit 8, Cell A  not calibrated yet!"));
    QCOMPARE(CalibrationFile::NoCalibrationDataMessage,
             QString("No calibration data saved, please complete calibration first"));
}

void tst_calibrationfiles::saveHeight_data()
{
    QTest::addColumn<QString>("oldName");   // empty: no file
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("fitA");
    QTest::addColumn<bool>("fitB");
    QTest::addColumn<QByteArray>("written");

    const QByteArray full = kCellA + kCellB;
    QTest::newRow("first save, no file, unit 3 cell B only")
        << "" << QByteArray() << 3 << false << true << crlf({"", "", ",,,,,,," + kFitBText, "", "", "", "", ""});
    const QByteArray oldB = "1.5, 2.75 ,3.5,  .7  , .1 ,.8 , 5E-02 ,";
    QTest::newRow("unit 2, new cell A, old cell B texts kept")
        << "Calib.dat" << crlf({full, "9,9,9, 1 , 1 , 1 , 1 ," + oldB}) << 2 << true << false
        << crlf({full, kFitAText + oldB, "", "", "", "", "", ""});
    QTest::newRow("both cells new") << "Calib.dat" << crlf({full, full}) << 1 << true << true
                                    << crlf({kFitAText + kFitBText, full, "", "", "", "", "", ""});
    QTest::newRow("no fit: old fields, missing ones empty") << "Calib.dat" << crlf({"1, 2 ,3"}) << 1 << false << false
                                                            << crlf({"1, 2 ,3,,,,,,,,,,,,", "", "", "", "", "", "", ""});
    QTest::newRow("old fields after the 14th dropped")
        << "Calib.dat" << crlf({full + "x,y,"}) << 1 << true << false
        << crlf({kFitAText + kCellB, "", "", "", "", "", "", ""});
    QList<QByteArray> twelve;
    for (int i = 1; i <= 12; ++i) twelve << "line " + QByteArray::number(i);
    QTest::newRow("12 lines cut to 8")
        << "Calib.dat" << crlf(twelve) << 5 << false << true
        << crlf({"line 1", "line 2", "line 3", "line 4", "line 5,,,,,,," + kFitBText, "line 6", "line 7", "line 8"});
    QList<QByteArray> eighteen = twelve;
    for (int i = 13; i <= 18; ++i) eighteen << "line " + QByteArray::number(i);
    QTest::newRow("18 lines accepted") << "Calib.dat" << crlf(eighteen) << 9 << true << true << crlf(twelve.mid(0, 8));
    QTest::newRow("unit 0 replaces no line") << "Calib.dat" << crlf({full, full}) << 0 << true << true
                                             << crlf({full, full, "", "", "", "", "", ""});
    QTest::newRow("LF lines rewritten with CR LF") << "Calib.dat" << QByteArray("a,\nb,\nc,") << 2 << true << false
                                                   << crlf({"a,", kFitAText + ",,,,,,,", "c,", "", "", "", "", ""});
    QTest::newRow("other spelling replaced") << "calib.dat" << crlf({full}) << 1 << false << true
                                             << crlf({kCellA + kFitBText, "", "", "", "", "", "", ""});
}

void tst_calibrationfiles::saveHeight()
{
    QFETCH(QString, oldName);
    QFETCH(QByteArray, old);
    QFETCH(int, unit);
    QFETCH(bool, fitA);
    QFETCH(bool, fitB);
    QFETCH(QByteArray, written);
    testsupport::TempWorkDir dir(false);
    if (!oldName.isEmpty()) dir.write(oldName, old);

    VERIFY_SAVED(CalibrationFile::saveHeight(unit, fitA ? std::optional(kFitA) : std::nullopt,
                                             fitB ? std::optional(kFitB) : std::nullopt));
    QCOMPARE(filesIn(dir), QStringList{"Calib.dat"});
    QCOMPARE(fileBytes(dir, "Calib.dat"), written);
}

void tst_calibrationfiles::saveHeightRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("old");
    QList<QByteArray> nineteen;
    for (int i = 1; i <= 19; ++i) nineteen << "line " + QByteArray::number(i);
    QTest::newRow("19 lines") << "Calib.dat" << crlf(nineteen);
    QTest::newRow("19th line unended") << "Calib.dat" << QByteArray(crlf(nineteen.mid(0, 18)) + "x");
    QTest::newRow("19th line empty") << "calib.dat" << QByteArray(crlf(nineteen.mid(0, 18)) + "\r\n");
}

void tst_calibrationfiles::saveHeightRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, old);
    testsupport::TempWorkDir dir(false);
    dir.write(name, old);
    const auto failure = CalibrationFile::saveHeight(1, kFitA, kFitB);
    QVERIFY(failure);
    QCOMPARE(failure->number, 9);
    QCOMPARE(failure->boxText(), QString("Subscript out of range -  9"));
    QCOMPARE(filesIn(dir), QStringList{name});
    QCOMPARE(fileBytes(dir, name), old);
}

void tst_calibrationfiles::savedFitsReadBack()
{
    testsupport::TempWorkDir dir(false);
    const HeightFit precise{"0.00001", "1", "123.45678", 1.0 / 3, -2.0 / 7, 6.02e23, -1e-9};
    VERIFY_SAVED(CalibrationFile::saveHeight(6, std::nullopt, precise));
    VERIFY_SAVED(CalibrationFile::saveHeight(6, kFitA, std::nullopt));
    const CalibrationFile::UnitRead r = CalibrationFile::readUnit(6);
    QCOMPARE(r.outcome, Outcome::Read);
    QCOMPARE(valuesOf(r).mid(0, 7), (QList<double>{0.5, 1.25, -0.75, 0.2, -0.125, 1e-5, 1.5}));
    const Module1::CellCalibration& b = r.cells[2];
    QCOMPARE(b.CalVolt1, 0.00001);
    QCOMPARE(b.CalVolt3, 123.45678);
    // The fits keep 15 significant digits.
    const std::pair<double, double> fits[] = {
        {b.CalIntercept1, 1.0 / 3}, {b.CalSlope1, -2.0 / 7}, {b.CalIntercept2, 6.02e23}, {b.CalSlope2, -1e-9}};
    for (auto [read, fitted] : fits)
        QVERIFY2(std::abs(read - fitted) <= std::abs(fitted) * 1e-14, qPrintable(QString::number(read, 'g', 17)));
    QVERIFY(r.notCalibrated.empty());
}

void tst_calibrationfiles::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<bool>("protect");   // the old file write-protected (0444), else the disk full
    QTest::addColumn<QString>("failure");
    const QByteArray calib = crlf({kCellA + kCellB, {}, {}, {}, {}, {}, {}, {}});
    const QByteArray press = crlf({"0.5,4.5,0.5,0.004,0.6,4.6,0.6,0.004,", {}, {}, {}, {}, {}, {}, {}});
    const QString full = FileFailure::diskFull().boxText();
    const QString access = FileFailure::pathFileAccessError().boxText();
    QTest::newRow("height, disk full") << "Calib.dat" << calib << false << full;
    QTest::newRow("pressure, disk full") << "pcalinfo.csv" << press << false << full;
    QTest::newRow("height, write-protected") << "Calib.dat" << calib << true << access;
    QTest::newRow("pressure, write-protected") << "pcalinfo.csv" << press << true << access;
}

// A write that fails part way (the file-size limit acts as a full disk, for root too) is reported and
// leaves the old file byte for byte, with no temporary file left beside it. A write-protected file is
// refused as one that cannot be written, also for a user the system would let write it (root).
void tst_calibrationfiles::failedWriteKeepsOldFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, old);
    QFETCH(bool, protect);
    QFETCH(QString, failure);
    testsupport::TempWorkDir dir(false);
    dir.write(name, old);
    if (protect) QCOMPARE(::chmod(QFile::encodeName(dir.file(name)).constData(), 0444), 0);
    std::optional<FileFailure> failed;
    {
        std::optional<testsupport::FileSizeLimit> limit;
        if (!protect) limit.emplace(8);
        if (name == QLatin1String("Calib.dat"))
            failed = CalibrationFile::saveHeight(1, kFitA, kFitB);
        else
            failed = PressureCalibrationFile::save(1, {"0.1", "4.1", "0.1", "0.004"}, {"0.2", "4.2", "0.2", "0.004"});
    }
    QVERIFY(failed);
    QCOMPARE(failed->boxText(), failure);
    QCOMPARE(fileBytes(dir, name), old);
    QCOMPARE(filesIn(dir), QStringList{name});
}

void tst_calibrationfiles::savedFileMode_data()
{
    QTest::addColumn<int>("mask");      // the process's umask while saving
    QTest::addColumn<int>("oldMode");   // the old file's permission bits, -1: no old file
    QTest::addColumn<int>("mode");      // the saved file's
    QTest::newRow("new file, umask 022") << 022 << -1 << 0644;
    QTest::newRow("new file, umask 077") << 077 << -1 << 0600;
    QTest::newRow("new file, umask 0") << 0 << -1 << 0666;
    QTest::newRow("old file 0640 kept") << 022 << 0640 << 0640;
    QTest::newRow("old file 0604 kept under umask 077") << 077 << 0604 << 0604;
}

// A saved file keeps the old file's permissions; a new one gets those of any file the process creates (read
// and write for all, less the umask), and the umask is left as it was.
void tst_calibrationfiles::savedFileMode()
{
    QFETCH(int, mask);
    QFETCH(int, oldMode);
    QFETCH(int, mode);
    testsupport::TempWorkDir dir(false);
    if (oldMode >= 0) {
        dir.write("Calib.dat", crlf({kCellA + kCellB}));
        QCOMPARE(::chmod(QFile::encodeName(dir.file("Calib.dat")).constData(), mode_t(oldMode)), 0);
    }
    const mode_t before = ::umask(mode_t(mask));
    const auto failure = CalibrationFile::saveHeight(1, kFitA, std::nullopt);
    const mode_t after = ::umask(before);
    VERIFY_SAVED(failure);
    QCOMPARE(int(after), mask);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(dir.file("Calib.dat")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
    QCOMPARE(filesIn(dir), QStringList{"Calib.dat"});
}

// A file that is a symbolic link is saved into the file it points to; the link stays.
void tst_calibrationfiles::saveThroughLink()
{
    testsupport::TempWorkDir dir(false);
    QVERIFY(QDir(dir.path()).mkdir("kept"));
    dir.write("kept/calib.real", crlf({kCellA + kCellB}));
    QVERIFY(QFile::link("kept/calib.real", dir.file("Calib.dat")));
    VERIFY_SAVED(CalibrationFile::saveHeight(1, kFitA, std::nullopt));
    QCOMPARE(QFileInfo(dir.file("Calib.dat")).symLinkTarget(), QFileInfo(dir.file("kept/calib.real")).absoluteFilePath());
    QCOMPARE(fileBytes(dir, "kept/calib.real"), crlf({kFitAText + kCellB, {}, {}, {}, {}, {}, {}, {}}));
    QCOMPARE(QDir(dir.file("kept")).entryList(QDir::Files | QDir::Hidden), QStringList{"calib.real"});
}

void tst_calibrationfiles::savePressure_data()
{
    QTest::addColumn<QString>("oldName");   // empty: no file
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QByteArray>("written");   // expected "pcalinfo.csv" when saved

    QList<QByteArray> lines;
    for (int i = 1; i <= 10; ++i) lines << "p" + QByteArray::number(i) + ",";
    const QByteArray newA = "0.012,2.345,0.012,0.002333,";
    QTest::newRow("no file") << "" << QByteArray() << 1 << 53 << QByteArray();
    QTest::newRow("7 lines") << "Pcalinfo.csv" << crlf(lines.mid(0, 7)) << 1 << 62 << QByteArray();
    QTest::newRow("unit 1, cell A only") << "pcalinfo.csv" << crlf(lines.mid(0, 8)) << 1 << 0
                                         << crlf(QList<QByteArray>{newA + ",,,,"} + lines.mid(1, 7));
    QTest::newRow("8th line unended")
        << "pcalinfo.csv" << crlf(lines.mid(0, 7)) + "p8," << 8 << 0
        << crlf(lines.mid(0, 7) + QList<QByteArray>{newA + ",,,,"});
    QTest::newRow("lines after the 8th dropped") << "pcalinfo.csv" << crlf(lines) << 3 << 0
                                                 << crlf(lines.mid(0, 2) + QList<QByteArray>{newA + ",,,,"} + lines.mid(3, 5));
    QTest::newRow("other spelling replaced") << "Pcalinfo.csv" << crlf(lines.mid(0, 8)) << 9 << 0
                                             << crlf(lines.mid(0, 8));
}

void tst_calibrationfiles::savePressure()
{
    QFETCH(QString, oldName);
    QFETCH(QByteArray, old);
    QFETCH(int, unit);
    QFETCH(int, failure);
    QFETCH(QByteArray, written);
    testsupport::TempWorkDir dir(false);
    if (!oldName.isEmpty()) dir.write(oldName, old);
    const QStringList before = filesIn(dir);

    const auto f = PressureCalibrationFile::save(unit, {"0.012", "2.345", "0.012", "0.002333"}, {});
    QCOMPARE(f ? f->number : 0, failure);
    if (failure) {
        QCOMPARE(filesIn(dir), before);
        if (!oldName.isEmpty()) QCOMPARE(fileBytes(dir, oldName), old);
    } else {
        QCOMPARE(filesIn(dir), QStringList{"pcalinfo.csv"});
        QCOMPARE(fileBytes(dir, "pcalinfo.csv"), written);
    }
}

void tst_calibrationfiles::unitFromChoice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    QTest::newRow("UNIT 1") << "UNIT 1" << 1;
    QTest::newRow("UNIT 8") << "UNIT 8" << 8;
    QTest::newRow("no choice") << "" << 0;
    QTest::newRow("not a digit") << "UNIT X" << 0;
}

void tst_calibrationfiles::unitFromChoice()
{
    QFETCH(QString, text);
    QFETCH(int, unit);
    QCOMPARE(CalibrationFile::unitFromChoice(text), unit);
}

QTEST_GUILESS_MAIN(tst_calibrationfiles)
#include "tst_calibrationfiles.moc"
