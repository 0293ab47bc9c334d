// The settings file "initial.txt": reading in every form the windows use, failures, and the exact text written.
#include "TestSupport.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"

#include <QFile>
#include <QtTest>

namespace {

const QByteArray kExample = " 0 \r\n 3 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 5 \r\n 1 \r\n";

QByteArray fileBytes(const testsupport::TempWorkDir& dir, const QString& name)
{
    QFile f(dir.file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const testsupport::TempWorkDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QList<int> toList(const std::vector<int>& v) { return QList<int>(v.begin(), v.end()); }

#define VERIFY_SAVED(failure)                                                                                 \
    do {                                                                                                      \
        const auto f_ = (failure);                                                                            \
        QVERIFY2(!f_, f_ ? qPrintable(f_->boxText()) : "");                                                   \
    } while (false)

} // namespace

class tst_settingsfile : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Module1::Reset(); }
    void read_data();
    void read();
    void readHardware_data();
    void readHardware();
    void failureBoxText();
    void write_data();
    void write();
    void exampleRoundTrip();
    void writeReplacesOtherSpelling();
    void failedWriteKeepsOldFile();
};

void tst_settingsfile::read_data()
{
    QTest::addColumn<QString>("name");        // empty: no file
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("failure");         // 0: none

    const QList<int> example{0, 3, 0, 0, 0, 0, 0, 5, 1};
    QTest::newRow("printed style, CR LF") << "initial.txt" << kExample << 9 << example << 0;
    QTest::newRow("bare digits, LF") << "initial.txt" << QByteArray("0\n3\n0\n0\n0\n0\n0\n5\n1") << 9 << example << 0;
    QTest::newRow("commas and blanks on one line")
        << "initial.txt" << QByteArray("0,3 0 , 0\t0,0 0 5,1\r\n") << 9 << example << 0;
    QTest::newRow("blank lines skipped") << "initial.txt" << QByteArray("\r\n 0 \r\n\r\n 3 \r\n") << 2
                                         << QList<int>{0, 3} << 0;
    QTest::newRow("empty item between commas is 0") << "initial.txt" << QByteArray("4,,6") << 3
                                                    << QList<int>{4, 0, 6} << 0;
    QTest::newRow("no choice -1") << "initial.txt" << QByteArray("-1 \r\n 2 \r\n") << 2 << QList<int>{-1, 2} << 0;
    QTest::newRow("flag 3 as read") << "initial.txt" << QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 3 \r\n")
                                    << 9 << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 3} << 0;
    QTest::newRow("whole numbers, halves to even") << "initial.txt" << QByteArray("2.5\r\n3.5\r\n 1E1 \r\n") << 3
                                                   << QList<int>{2, 4, 10} << 0;
    QTest::newRow("unit 3 reads three values only") << "initial.txt" << QByteArray(" 1 \r\n 2 \r\n 7 \r\n junk \r\n")
                                                    << 3 << QList<int>{1, 2, 7} << 0;
    QTest::newRow("name in capitals") << "INITIAL.TXT" << kExample << 9 << example << 0;
    QTest::newRow("missing file") << "" << QByteArray() << 9 << QList<int>{} << 53;
    QTest::newRow("other file only") << "initial.txt.bak" << kExample << 9 << QList<int>{} << 53;
    QTest::newRow("fewer than nine") << "initial.txt" << QByteArray(" 1 \r\n 2 \r\n 0 \r\n 0 \r\n 4 \r\n") << 9
                                     << QList<int>{1, 2, 0, 0, 4} << 62;
    QTest::newRow("empty file") << "initial.txt" << QByteArray() << 1 << QList<int>{} << 62;
    QTest::newRow("not a number") << "initial.txt" << QByteArray(" 1 \r\n 2 \r\n 0 \r\nCOM4\r\n 0 \r\n") << 9
                                  << QList<int>{1, 2, 0} << 13;
    QTest::newRow("number with trailing text") << "initial.txt" << QByteArray("4x\r\n") << 1 << QList<int>{} << 13;
    QTest::newRow("beyond a whole number") << "initial.txt" << QByteArray(" 1 \r\n 1E12 \r\n") << 2 << QList<int>{1} << 6;
}

void tst_settingsfile::read()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, count);
    QFETCH(QList<int>, values);
    QFETCH(int, failure);
    testsupport::TempWorkDir dir(false);
    if (!name.isEmpty()) dir.write(name, content);

    const SettingsFile::ReadResult r = SettingsFile::read(count);
    QCOMPARE(toList(r.values), values);
    QCOMPARE(r.ok(), failure == 0);
    QCOMPARE(r.failure ? r.failure->number : 0, failure);
    QCOMPARE(r.value(values.size()), values.isEmpty() ? std::nullopt : std::optional<int>(values.last()));
    QVERIFY(!r.value(values.size() + 1));
}

void tst_settingsfile::readHardware_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("failure");
    QTest::newRow("every port choice and any flag")
        << QByteArray("-1\r\n0\r\n1\r\n20\r\n0\r\n0\r\n0\r\n0\r\n99\r\n") << QList<int>{-1, 0, 1, 20, 0, 0, 0, 0, 99} << 0;
    QTest::newRow("port 21 stops at unit 2") << QByteArray(" 1 \r\n 21 \r\n 0 \r\n") << QList<int>{1} << 380;
    QTest::newRow("port -2 stops at unit 8") << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n-2\r\n1\r\n")
                                             << QList<int>{0, 0, 0, 0, 0, 0, 0} << 380;
    QTest::newRow("eight ports, no flag") << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n")
                                          << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << 62;
}

void tst_settingsfile::readHardware()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, values);
    QFETCH(int, failure);
    testsupport::TempWorkDir dir(false);
    dir.write("initial.txt", content);
    const SettingsFile::ReadResult r = SettingsFile::readHardware();
    QCOMPARE(toList(r.values), values);
    QCOMPARE(r.failure ? r.failure->number : 0, failure);
}

void tst_settingsfile::failureBoxText()
{
    testsupport::TempWorkDir dir(false);
    const SettingsFile::ReadResult r = SettingsFile::read();
    QVERIFY(r.failure);
    QCOMPARE(r.failure->boxText(), QString("File not found -  53"));
}

void tst_settingsfile::write_data()
{
    QTest::addColumn<QList<int>>("ports");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("example") << QList<int>{0, 3, 0, 0, 0, 0, 0, 5} << 1 << kExample;
    QTest::newRow("no choice and two-digit port")
        << QList<int>{-1, 20, 0, 0, 0, 0, 0, -1} << 2
        << QByteArray("-1 \r\n 20 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n-1 \r\n 2 \r\n");
    QTest::newRow("all None") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << 2
                              << QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 2 \r\n");
}

void tst_settingsfile::write()
{
    QFETCH(QList<int>, ports);
    QFETCH(int, flag);
    QFETCH(QByteArray, text);
    testsupport::TempWorkDir dir(false);
    dir.write("initial.txt", "old contents that are longer than the new ones, so a short write shows\r\n");
    std::array<int, SettingsFile::PortCount> p{};
    std::copy(ports.begin(), ports.end(), p.begin());

    VERIFY_SAVED(SettingsFile::write(p, flag));
    QCOMPARE(fileBytes(dir, "initial.txt"), text);
    QCOMPARE(filesIn(dir), QStringList{"initial.txt"});
    const SettingsFile::ReadResult back = SettingsFile::readHardware();
    QVERIFY(back.ok());
    QCOMPARE(toList(back.values), ports + QList<int>{flag});
}

void tst_settingsfile::exampleRoundTrip()
{
    testsupport::TempWorkDir dir(false);
    dir.write("initial.txt", kExample);
    const SettingsFile::ReadResult r = SettingsFile::read();
    QVERIFY(r.ok());
    std::array<int, SettingsFile::PortCount> ports{};
    std::copy_n(r.values.begin(), ports.size(), ports.begin());
    VERIFY_SAVED(SettingsFile::write(ports, *r.value(SettingsFile::FlagPosition)));
    QCOMPARE(fileBytes(dir, "initial.txt"), kExample);

    // A flag other than 1 is SI wherever it is used.
    dir.write("initial.txt", QByteArray(kExample).replace(" 1 \r\n", " 3 \r\n"));
    Module1::UnitSystem = *SettingsFile::read().value(SettingsFile::FlagPosition);
    Module1::SetUnitCaptions();
    QCOMPARE(Module1::TempUnitCaption, QString("(°C)"));
    QCOMPARE(Module1::LengthUnitCaption, QString("(mm)"));
}

void tst_settingsfile::writeReplacesOtherSpelling()
{
    testsupport::TempWorkDir dir(false);
    dir.write("Initial.TXT", kExample);
    VERIFY_SAVED(SettingsFile::write({4, 0, 0, 0, 0, 0, 0, 0}, 2));
    QCOMPARE(filesIn(dir), QStringList{"initial.txt"});
    QCOMPARE(SettingsFile::read(1).value(1), std::optional<int>(4));
}

void tst_settingsfile::failedWriteKeepsOldFile()
{
    testsupport::TempWorkDir dir(false);
    dir.write("initial.txt", kExample);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(dir.file("probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("the folder stays writable for this user");
    }
    const auto failure = SettingsFile::write({1, 2, 3, 4, 5, 6, 7, 8}, 2);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(failure);
    QCOMPARE(fileBytes(dir, "initial.txt"), kExample);
}

QTEST_GUILESS_MAIN(tst_settingsfile)
#include "tst_settingsfile.moc"
