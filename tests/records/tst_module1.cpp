// The shared module: unit captions and the conversions between stored and displayed values.
#include "TestSupport.h"
#include "records/Module1.h"
#include "records/format.h"

#include <QtTest>

class TestModule1 : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Module1::Reset(); }
    void captions_data();
    void captions();
    void displayLength_data();
    void displayLength();
    void temperatures_data();
    void temperatures();
    void storedLengthAndPressure();
    void storedTempTextReadsStrictlyInSI();
    void fileExists();
};

void TestModule1::captions_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("temp");
    QTest::addColumn<QString>("length");
    QTest::newRow("English") << 1 << "(°F)" << "(in.)";
    QTest::newRow("SI") << 2 << "(°C)" << "(mm)";
    QTest::newRow("unread flag is SI") << 0 << "(°C)" << "(mm)";
    QTest::newRow("flag 3 is SI") << 3 << "(°C)" << "(mm)";
}

void TestModule1::captions()
{
    QFETCH(int, flag);
    QFETCH(QString, temp);
    QFETCH(QString, length);
    QVERIFY(Module1::TempUnitCaption.isEmpty());
    Module1::UnitSystem = flag;
    Module1::SetUnitCaptions();
    QCOMPARE(Module1::TempUnitCaption, temp);
    QCOMPARE(Module1::LengthUnitCaption, length);
    QCOMPARE(Module1::PressUnitCaption, QString("(Psi)"));
}

void TestModule1::displayLength_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<double>("inches");
    QTest::addColumn<QString>("shown");
    QTest::newRow("E 0.5") << 1 << 0.5 << "0.5";
    QTest::newRow("E 0.123456") << 1 << 0.123456 << "0.1235";
    QTest::newRow("E 3") << 1 << 3.0 << "3.0";
    QTest::newRow("E -0.0125") << 1 << -0.0125 << "-0.0125";
    QTest::newRow("SI 0.12345") << 2 << 0.12345 << "3.14";
    QTest::newRow("SI 0") << 2 << 0.0 << "0.0";
    QTest::newRow("flag 0 like SI") << 0 << 1.0 << "25.4";
    QTest::newRow("E half of the last digit") << 1 << 0.00005 << "0.0001";
    QTest::newRow("SI half of the last digit") << 2 << 0.0125 / 25.4 << "0.01";
    QTest::newRow("SI -0.1") << 2 << -0.1 << "-2.54";
}

void TestModule1::displayLength()
{
    QFETCH(int, flag);
    QFETCH(double, inches);
    QFETCH(QString, shown);
    Module1::UnitSystem = flag;
    QCOMPARE(Module1::ToDisplayLength(inches), shown);
    // The number that text reads, as the charts take it without making the text.
    QCOMPARE(Module1::DisplayLengthNumber(inches), Format::strict(shown).value());
    // The same text in a given unit system, whatever the current one is.
    Module1::UnitSystem = flag == 1 ? 2 : 1;
    QCOMPARE(Module1::ToDisplayLength(inches, flag), shown);
}

void TestModule1::temperatures_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<double>("stored");
    QTest::addColumn<double>("shown");
    QTest::newRow("E 212") << 1 << 212.0 << 212.0;
    QTest::newRow("SI 212") << 2 << 212.0 << 100.0;
    QTest::newRow("flag 0 212") << 0 << 212.0 << 100.0;
    QTest::newRow("SI -40") << 2 << -40.0 << -40.0;
    QTest::newRow("SI 680") << 2 << 680.0 << 360.0;
    QTest::newRow("SI 0") << 2 << 0.0 << -17.77777777777778;
}

void TestModule1::temperatures()
{
    QFETCH(int, flag);
    QFETCH(double, stored);
    QFETCH(double, shown);
    Module1::UnitSystem = flag;
    QCOMPARE(Module1::ToDisplayTemp(stored), shown);
    QCOMPARE(Module1::ToDisplayTemp(stored, flag), shown);
    QVERIFY(qAbs(Module1::ToStoredTemp(Module1::ToDisplayTemp(stored)) - stored) < 1e-9);
    QCOMPARE(Module1::ToDisplayPress(stored), stored);
    QCOMPARE(Module1::ToStoredPress(stored), stored);
}

void TestModule1::storedLengthAndPressure()
{
    Module1::UnitSystem = 1;
    QCOMPARE(Module1::ToStoredLength(0.5), 0.5);
    Module1::UnitSystem = 2;
    QCOMPARE(Module1::ToStoredLength(25.4), 1.0);
    QCOMPARE(Module1::ToStoredLength(12.7), 0.5);
}

void TestModule1::storedTempTextReadsStrictlyInSI()
{
    Module1::UnitSystem = 1;
    QCOMPARE(Module1::ToStoredTempText("abc"), QString("abc"));
    Module1::UnitSystem = 2;
    QCOMPARE(Module1::ToStoredTempText(" 100 "), QString("212"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, Module1::ToStoredTempText("abc"));
}

void TestModule1::fileExists()
{
    testsupport::TempWorkDir dir(false);
    QVERIFY(!Module1::FileExists(dir.file("Torvan.accdb")));
    dir.write("Torvan.accdb", "x");
    QVERIFY(Module1::FileExists(dir.file("Torvan.accdb")));
    QVERIFY(!Module1::FileExists(dir.path() + "/no/such/file"));
}

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_module1.moc"
