// The serial layer when a device goes away and comes back: the reopen rule driven by a manual clock over a
// fake device, then the real QSerialPort on pseudo-terminals (loss, return, a missing link, opens that must
// not wait, port numbers outside the settings file's range).
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "platform/ReopeningSerialPort.h"
#include "platform/SerialPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace platform;

namespace {

// The master side of a pseudo-terminal in raw mode, with its slave's path; closed when it goes.
class Pty {
public:
    Pty()
    {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) return;
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
        slave_ = QString::fromLocal8Bit(ptsname(fd_));
    }
    ~Pty() { close(); }
    bool ok() const { return fd_ >= 0 && !slave_.isEmpty(); }
    QString slave() const { return slave_; }
    bool send(const QByteArray& bytes) const { return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    QString slave_;
};

// Points the working folder's COMn at target, replacing an earlier link in one step (as the simulator does).
bool linkPort(const testsupport::TempWorkDir& dir, int n, const QString& target)
{
    const QString tmp = dir.file(QStringLiteral("COM%1.new").arg(n));
    QFile::remove(tmp);
    return QFile::link(target, tmp) && ::rename(QFile::encodeName(tmp).constData(),
                                                QFile::encodeName(dir.file(QStringLiteral("COM%1").arg(n))).constData()) == 0;
}

// Reads the port every 100 ms (as often as a poll would, and more) until done() holds or ms have passed;
// everything read is appended to received.
bool pollPort(SerialPort& port, QByteArray& received, int ms, const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        received += port.readAll();
        if (done()) return true;
        QTest::qWait(100);
    }
    return done();
}

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT
private slots:
    void reopensLostDeviceEveryInterval();
    void reopenOnWriteToo();
    void portClosedByOwnerOrNeverOpenedStaysClosed_data();
    void portClosedByOwnerOrNeverOpenedStaysClosed();
    void realPortComesBackWithItsDevice();
    void nameTakenByAnotherDeviceIsNotRead();
    void portNumbersOutsideRangeAreRefused_data();
    void portNumbersOutsideRangeAreRefused();
    void opensOfMissingDevicesDoNotWait_data();
    void opensOfMissingDevicesDoNotWait();
};

void TestSerialPort::reopensLostDeviceEveryInterval()
{
    ManualClock clock(0xFFFFF000u);   // wraps during the test
    auto owned = std::make_unique<FakeSerialPort>();
    FakeSerialPort& device = *owned;
    ReopeningSerialPort port(std::move(owned));
    QVERIFY(port.open(4, "19200,n,8,1"));
    QCOMPARE(device.openCount, 1);
    device.receive("A1,1\x1a");
    QCOMPARE(port.readAll(), QByteArray("A1,1\x1a"));
    QVERIFY(!port.waitingForDevice());

    // The device goes: the port underneath closed itself on the error; nothing is tried at once.
    device.opened = false;
    device.failOpen = true;
    QVERIFY(port.readAll().isEmpty());
    QVERIFY(port.waitingForDevice());
    QVERIFY(!port.isOpen());
    QCOMPARE(device.openCount, 1);

    // Ticks every 500 ms for 20 s: one attempt per interval, never more.
    for (int i = 0; i < 40; ++i) {
        clock.advance(500);
        port.readAll();
    }
    QCOMPARE(device.openCount - 1, int(20000 / ReopeningSerialPort::ReopenIntervalMs));
    QCOMPARE(port.reopenAttempts(), device.openCount - 1);

    // The device is back: the next due attempt opens it with the same number and settings, and what it
    // sends is read through the same object.
    device.failOpen = false;
    device.port = 0;
    device.settingsUsed.clear();
    const int before = device.openCount;
    for (int i = 0; i < 5 && !port.isOpen(); ++i) {
        clock.advance(500);
        port.readAll();
    }
    QVERIFY(port.isOpen());
    QCOMPARE(device.openCount, before + 1);
    QCOMPARE(device.port, 4);
    QCOMPARE(device.settingsUsed, QString("19200,n,8,1"));
    QVERIFY(!port.waitingForDevice());
    QCOMPARE(port.reopenAttempts(), 0);
    device.receive("B1,2\x1a");
    QCOMPARE(port.readAll(), QByteArray("B1,2\x1a"));

    // A second loss waits a full interval again before its first attempt.
    device.opened = false;
    port.readAll();
    clock.advance(ReopeningSerialPort::ReopenIntervalMs - 1);
    port.readAll();
    QVERIFY(!port.isOpen());
    clock.advance(1);
    port.readAll();
    QVERIFY(port.isOpen());
}

void TestSerialPort::reopenOnWriteToo()
{
    ManualClock clock;
    auto owned = std::make_unique<FakeSerialPort>();
    FakeSerialPort& device = *owned;
    ReopeningSerialPort port(std::move(owned));
    QVERIFY(port.open(2, "19200,n,8,1"));
    device.opened = false;
    QVERIFY(!port.write("x"));   // noticed here; the command is refused, not queued
    clock.advance(ReopeningSerialPort::ReopenIntervalMs);
    QVERIFY(port.write(QByteArray("\x07" "A\x1a")));
    QCOMPARE(device.written, QByteArray("\x07" "A\x1a"));
    QCOMPARE(device.openCount, 2);
}

void TestSerialPort::portClosedByOwnerOrNeverOpenedStaysClosed_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("closed by its owner") << "close";
    QTest::newRow("closed by its owner after a loss") << "lost-close";
    QTest::newRow("owner's open failed") << "failed";
    QTest::newRow("never opened") << "never";
}

void TestSerialPort::portClosedByOwnerOrNeverOpenedStaysClosed()
{
    QFETCH(QString, how);
    ManualClock clock;
    auto owned = std::make_unique<FakeSerialPort>();
    FakeSerialPort& device = *owned;
    ReopeningSerialPort port(std::move(owned));
    if (how == "close") {
        QVERIFY(port.open(1, "19200,n,8,1"));
        port.close();
    } else if (how == "lost-close") {
        QVERIFY(port.open(1, "19200,n,8,1"));
        device.opened = false;
        port.readAll();
        QVERIFY(port.waitingForDevice());
        port.close();
    } else if (how == "failed") {
        device.failOpen = true;
        QVERIFY(!port.open(1, "19200,n,8,1"));
        device.failOpen = false;
    }
    const int opens = device.openCount;
    for (int i = 0; i < 20; ++i) {
        clock.advance(1000);
        port.readAll();
        port.write("x");
    }
    QCOMPARE(device.openCount, opens);
    QVERIFY(!port.isOpen());
    QVERIFY(!port.waitingForDevice());
}

void TestSerialPort::realPortComesBackWithItsDevice()
{
    testsupport::TempWorkDir dir(false);
    auto first = std::make_unique<Pty>();
    QVERIFY(first->ok());
    QVERIFY(linkPort(dir, 3, first->slave()));

    auto port = makeSerialPort();
    auto* reopening = dynamic_cast<ReopeningSerialPort*>(port.get());
    QVERIFY(reopening);
    QVERIFY2(port->open(3, "19200,n,8,1"), qPrintable(port->lastError()));
    QByteArray received;
    QVERIFY(first->send("A1,70\x1a"));
    QVERIFY(pollPort(*port, received, 5000, [&] { return received == "A1,70\x1a"; }));

    // The device goes and its link goes with it: the port closes on the error and does not fall back
    // to /dev/ttyS2 while the link is missing.
    first.reset();
    QVERIFY(QFile::remove(dir.file("COM3")));
    QVERIFY(pollPort(*port, received, 5000, [&] { return !port->isOpen(); }));
    QVERIFY(reopening->waitingForDevice());
    pollPort(*port, received, 3 * int(ReopeningSerialPort::ReopenIntervalMs), [] { return false; });
    QVERIFY(!port->isOpen());
    QVERIFY(reopening->reopenAttempts() >= 1);
    QVERIFY(reopening->reopenAttempts() <= 4);   // one a interval, no storm

    // The device comes back behind the same name (a new pseudo-terminal): the port opens again by
    // itself and reads what the device sends.
    Pty second;
    QVERIFY(second.ok());
    QVERIFY(linkPort(dir, 3, second.slave()));
    QVERIFY(pollPort(*port, received, 4 * int(ReopeningSerialPort::ReopenIntervalMs), [&] { return port->isOpen(); }));
    QCOMPARE(port->portNumber(), 3);
    received.clear();
    QVERIFY(second.send("B1,71\x1a"));
    QVERIFY(pollPort(*port, received, 5000, [&] { return received == "B1,71\x1a"; }));
    QVERIFY(port->write(QByteArray("\x07" "B\x1a")));

    // Closed by its owner: the device is there, but the port stays closed.
    port->close();
    pollPort(*port, received, 2 * int(ReopeningSerialPort::ReopenIntervalMs) + 500, [] { return false; });
    QVERIFY(!port->isOpen());
}

// The unit's pseudo-terminal goes while its COMn link stays, and the device the link leads to is then another
// program's pseudo-terminal (as a freed /dev/pts or /dev/ttyUSB number goes to the next device opened): that
// device is never opened as this unit's port, however often the port tries. COM4 leads there through a name
// of the folder, so the other device takes the name on every machine. Once a new link names the unit's
// device again, the port comes back (and counts the return).
void TestSerialPort::nameTakenByAnotherDeviceIsNotRead()
{
    testsupport::TempWorkDir dir(false);
    auto unit = std::make_unique<Pty>();
    QVERIFY(unit->ok());
    const QString name = dir.file("tty-unit");
    QVERIFY(QFile::link(unit->slave(), name));
    QVERIFY(linkPort(dir, 4, name));
    auto port = makeSerialPort();
    auto* reopening = dynamic_cast<ReopeningSerialPort*>(port.get());
    QVERIFY(reopening);
    QVERIFY2(port->open(4, "19200,n,8,1"), qPrintable(port->lastError()));
    QCOMPARE(port->returns(), 0);
    QByteArray received;
    unit.reset();
    QVERIFY(pollPort(*port, received, 5000, [&] { return !port->isOpen(); }));

    // Another device takes the name; COM4 itself is the same link as before.
    Pty intruder;
    QVERIFY(intruder.ok());
    const QString tmp = dir.file("tty-unit.new");
    QVERIFY(QFile::link(intruder.slave(), tmp));
    QVERIFY(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(name).constData()) == 0);
    received.clear();
    // Wait for two reopen attempts, each of which found the other device and refused it, while that device
    // sends records all along.
    const int attempts = reopening->reopenAttempts();
    QVERIFY2(pollPort(*port, received, 8 * int(ReopeningSerialPort::ReopenIntervalMs),
                      [&] {
                          intruder.send("A1,99\x1a");
                          return port->isOpen() || reopening->reopenAttempts() >= attempts + 2;
                      }),
             qPrintable(QString::number(reopening->reopenAttempts())));
    QVERIFY(!port->isOpen());
    QVERIFY(reopening->waitingForDevice());
    QCOMPARE(port->lastError(), QString("COM4: another device"));
    QCOMPARE(received, QByteArray());
    QCOMPARE(port->returns(), 0);

    // The unit's side makes its link anew: that is the unit again.
    Pty back;
    QVERIFY(back.ok());
    QVERIFY(linkPort(dir, 4, back.slave()));
    QVERIFY(pollPort(*port, received, 4 * int(ReopeningSerialPort::ReopenIntervalMs), [&] { return port->isOpen(); }));
    QCOMPARE(port->returns(), 1);
    QVERIFY(back.send("B1,71\x1a"));
    QVERIFY(pollPort(*port, received, 5000, [&] { return received == "B1,71\x1a"; }));
}

void TestSerialPort::portNumbersOutsideRangeAreRefused_data()
{
    QTest::addColumn<int>("number");
    for (int n : {99, -5, -1, 0, 21}) QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TestSerialPort::portNumbersOutsideRangeAreRefused()
{
    QFETCH(int, number);
    testsupport::TempWorkDir dir(false);
    Pty pty;
    QVERIFY(pty.ok());
    // Even an entry of that name in the folder is not used.
    QVERIFY(QFile::link(pty.slave(), dir.file(QStringLiteral("COM%1").arg(number))));
    QVERIFY(serialPortPath(number).isEmpty());
    auto port = makeSerialPort();
    QVERIFY(!port->open(number, "19200,n,8,1"));
    QCOMPARE(port->lastError(), QString("Invalid port number"));
    QVERIFY(!port->isOpen());
}

void TestSerialPort::opensOfMissingDevicesDoNotWait_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("vanishedLink");   // COMn links to a device that is gone
    QTest::newRow("COM7 link to a vanished device") << 7 << true;
    QTest::newRow("no link: /dev/ttyS0, no hardware behind it") << 1 << false;
    QTest::newRow("no link: /dev/ttyS19") << 20 << false;
}

void TestSerialPort::opensOfMissingDevicesDoNotWait()
{
    QFETCH(int, number);
    QFETCH(bool, vanishedLink);
    testsupport::TempWorkDir dir(false);
    const QString name = QStringLiteral("COM%1").arg(number);
    if (vanishedLink) {
        QVERIFY(QFile::link(dir.file("gone-device"), dir.file(name)));
        QCOMPARE(serialPortPath(number), dir.file(name));   // the entry, never /dev/ttyS<n-1>
    } else {
        QCOMPARE(serialPortPath(number), QStringLiteral("/dev/ttyS%1").arg(number - 1));
    }
    const bool deviceMissing = vanishedLink || !QFile::exists(serialPortPath(number));
    auto port = makeSerialPort();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 3; ++i) {
        port->close();
        port->open(number, "19200,n,8,1");
    }
    // An open that waited for a carrier or for a device would take seconds; these take milliseconds.
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    if (deviceMissing) {
        QVERIFY(!port->isOpen());
        QVERIFY(!port->lastError().isEmpty());
    }
    port->close();
}

QTEST_MAIN(TestSerialPort)
#include "tst_serialport.moc"
