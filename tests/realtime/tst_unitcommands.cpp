// Commands to a unit: their bytes, the pauses after them, and failure on a port that cannot take them.
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "realtime/UnitCommands.h"
#include "records/Module1.h"

#include <QTimer>
#include <QtTest>

using namespace realtime;

class TestUnitCommands : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Module1::Reset(); }
    void setPointCommands_data();
    void setPointCommands();
    void fixedCommands();
    void pauses_data();
    void pauses();
    void stopSequence_data();
    void stopSequence();
    void pausesProcessEvents();
    void unsendable_data();
    void unsendable();
};

void TestUnitCommands::setPointCommands_data()
{
    QTest::addColumn<int>("unitSystem");
    QTest::addColumn<int>("cell");
    QTest::addColumn<double>("typed");   // in the display unit
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("B 250") << 1 << 2 << 250.0 << QByteArray("250");
    QTest::newRow("99.5 rounds up") << 1 << 1 << 99.5 << QByteArray("100");
    QTest::newRow("99.49 rounds down") << 1 << 1 << 99.49 << QByteArray("099");
    QTest::newRow("0") << 1 << 1 << 0.0 << QByteArray("000");
    QTest::newRow("95 padded") << 1 << 2 << 95.0 << QByteArray("095");
    QTest::newRow("680") << 1 << 1 << 680.0 << QByteArray("680");
    QTest::newRow("four digits") << 1 << 1 << 1000.0 << QByteArray("1000");
    QTest::newRow("-4.5 away from zero") << 1 << 1 << -4.5 << QByteArray("-005");
    QTest::newRow("-0.4 is zero") << 1 << 1 << -0.4 << QByteArray("000");
    QTest::newRow("SI -20 C") << 2 << 1 << -20.0 << QByteArray("-004");
    QTest::newRow("SI 360 C") << 2 << 2 << 360.0 << QByteArray("680");
    QTest::newRow("SI -17.7777777777778 C") << 2 << 1 << -17.7777777777778 << QByteArray("000");
}

void TestUnitCommands::setPointCommands()
{
    QFETCH(int, unitSystem);
    QFETCH(int, cell);
    QFETCH(double, typed);
    QFETCH(QByteArray, field);
    Module1::UnitSystem = unitSystem;
    const double f = Module1::ToStoredTemp(typed);
    const QByteArray letter(1, cell == 1 ? 'A' : 'B');
    QCOMPARE(setTemperatureCommand(cell, f), QByteArray("\x05") + letter + "," + field + "\x1a");
    QCOMPARE(preheatCommand(cell, f), QByteArray("\x06") + letter + "," + field + "\x1a");
}

void TestUnitCommands::fixedCommands()
{
    // The example of the link: cell B to 250 °F is exactly these seven bytes.
    QCOMPARE(setTemperatureCommand(2, 250), QByteArray::fromHex("05422c3235301a"));
    QCOMPARE(stopCellCommand(1), QByteArray::fromHex("07411a"));
    QCOMPARE(stopCellCommand(2), QByteArray::fromHex("07421a"));
    QCOMPARE(factoryZeroCommand(), QByteArray::fromHex("0b1a"));
    for (int bad : {0, 3, -1}) {
        QVERIFY(setTemperatureCommand(bad, 100).isEmpty());
        QVERIFY(preheatCommand(bad, 100).isEmpty());
        QVERIFY(stopCellCommand(bad).isEmpty());
    }
}

void TestUnitCommands::pauses_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pause");
    QTest::newRow("SetTemperature") << "set" << QByteArray("\x05" "A,300\x1a") << 50;
    QTest::newRow("Preheat") << "preheat" << QByteArray("\x06" "B,150\x1a") << 30;
    QTest::newRow("StopCell simple") << "stop40" << QByteArray("\x07" "A\x1a") << 40;
    QTest::newRow("StopCell sequence") << "stop30" << QByteArray("\x07" "B\x1a") << 30;
    QTest::newRow("FactoryZero") << "zero" << QByteArray("\x0b\x1a") << 0;
}

void TestUnitCommands::pauses()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(int, pause);
    platform::ManualClock clock(0xFFFFFFF0u);   // the pause runs across the counter's wrap
    platform::FakeSerialPort port;
    port.open(1, "19200,n,8,1");
    UnitSerialLink link(port);
    bool ok = false;
    if (command == "set") ok = link.SetTemperature(1, 300);
    if (command == "preheat") ok = link.Preheat(2, 150);
    if (command == "stop40") ok = link.StopCell(1);
    if (command == "stop30") ok = link.StopCell(2, StopCellPauseSequenceMs);
    if (command == "zero") ok = link.FactoryZero();
    QVERIFY(ok);
    QCOMPARE(port.writes, QList<QByteArray>{bytes});
    QCOMPARE(qint64(platform::elapsedMs(0xFFFFFFF0u, clock.now)), qint64(pause));
}

void TestUnitCommands::stopSequence_data()
{
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("finalPause");
    QTest::addColumn<QByteArray>("stop");
    QTest::newRow("simple screen A") << 1 << 40 << QByteArray("\x07" "A\x1a");
    QTest::newRow("sequence screen B") << 2 << 30 << QByteArray("\x07" "B\x1a");
}

void TestUnitCommands::stopSequence()
{
    QFETCH(int, cell);
    QFETCH(int, finalPause);
    QFETCH(QByteArray, stop);
    platform::ManualClock clock(1000);
    platform::FakeSerialPort port;
    port.open(1, "19200,n,8,1");
    UnitSerialLink link(port);

    QVERIFY(link.StopSequence(cell, std::uint32_t(finalPause)));
    QCOMPARE(port.writes.size(), 2);
    QCOMPARE(port.writes[0], setTemperatureCommand(cell, 0));
    QVERIFY(port.writes[0].contains(",000"));
    QCOMPARE(port.writes[1], stop);
    QCOMPARE(clock.now, std::uint32_t(1000 + 50 + 50 + finalPause));
}

void TestUnitCommands::pausesProcessEvents()
{
    // A timer that falls due during a stop runs inside it, between the two commands.
    platform::ManualClock clock;
    platform::FakeSerialPort port;
    port.open(1, "19200,n,8,1");
    UnitSerialLink link(port);
    int writesWhenFired = -1;
    QTimer::singleShot(0, [&] { writesWhenFired = int(port.writes.size()); });
    QVERIFY(link.StopSequence(1));
    QCOMPARE(writesWhenFired, 1);
}

void TestUnitCommands::unsendable_data()
{
    QTest::addColumn<bool>("neverOpened");
    QTest::addColumn<bool>("closedLater");
    QTest::addColumn<bool>("writeFails");
    QTest::newRow("never opened") << true << false << false;
    QTest::newRow("closed (device gone)") << false << true << false;
    QTest::newRow("write refused") << false << false << true;
}

void TestUnitCommands::unsendable()
{
    QFETCH(bool, neverOpened);
    QFETCH(bool, closedLater);
    QFETCH(bool, writeFails);
    platform::ManualClock clock;
    platform::FakeSerialPort port;
    if (!neverOpened) port.open(1, "19200,n,8,1");
    if (closedLater) port.close();
    port.failWrite = writeFails;
    UnitSerialLink link(port);
    QVERIFY(!link.SetTemperature(1, 300));
    QVERIFY(!link.lastError().isEmpty());
    QVERIFY(!link.Preheat(2, 150));
    QVERIFY(!link.StopCell(1));
    QVERIFY(!link.FactoryZero());
    const std::uint32_t before = clock.now;
    QVERIFY(!link.StopSequence(2));
    QVERIFY(port.written.isEmpty());
    // The stop keeps its timing even though nothing went out.
    QCOMPARE(clock.now - before, std::uint32_t(140));

    // A cell other than 1 or 2 is refused on an open port too, and nothing is written.
    platform::FakeSerialPort open;
    open.open(2, "19200,n,8,1");
    UnitSerialLink other(open);
    QVERIFY(!other.SetTemperature(3, 100));
    QVERIFY(!other.StopCell(0));
    QVERIFY(open.written.isEmpty());
}

QTEST_GUILESS_MAIN(TestUnitCommands)
#include "tst_unitcommands.moc"
