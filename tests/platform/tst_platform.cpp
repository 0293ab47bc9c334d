// The platform layer: scripted prompts, the wrap-safe clock and its pause, the fake serial port, and the
// port-name rule.
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"

#include <QDialog>
#include <QFile>
#include <QTimer>
#include <QtTest>

using namespace platform;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void scriptedPromptsRecordAndAnswer();
    void promptsFallBackToQtWhenScriptEnds();
    void messagesInsideATickWaitForIt();
    void elapsedIsWrapSafe_data();
    void elapsedIsWrapSafe();
    void waitProcessesEventsAndAdvancesManualClock();
    void waitOnSystemClockWaitsAtLeast();
    void fakePortRecordsAndRefusesWhenClosed();
    void portPathRule();
    void showModalUsesInstalledHandler();
};

void TestPlatform::scriptedPromptsRecordAndAnswer()
{
    ScriptedPrompts p;
    QCOMPARE(&Prompts::current(), static_cast<Prompts*>(&p));
    p.queueAnswer(Answer::No);
    p.queueInput("0.5");
    Prompts::current().message("hello");
    QCOMPARE(Prompts::current().ask("sure?", Buttons::YesNo, "Exit Check", Icon::Question), Answer::No);
    QCOMPARE(Prompts::current().input("length?", "Zero"), QString("0.5"));
    QCOMPARE(Prompts::current().input("again?"), QString());   // cancelled
    QCOMPARE(Prompts::current().ask("retry?", Buttons::RetryCancel), Answer::Retry);
    QCOMPARE(p.texts(), (QStringList{"hello", "sure?", "length?", "again?", "retry?"}));
    QCOMPARE(p.shown[0].title, defaultTitle());
    QCOMPARE(p.shown[1].title, QString("Exit Check"));
    QCOMPARE(p.shown[1].buttons, Buttons::YesNo);
    QCOMPARE(p.shown[1].icon, Icon::Question);
}

void TestPlatform::promptsFallBackToQtWhenScriptEnds()
{
    {
        ScriptedPrompts p;
    }
    QVERIFY(dynamic_cast<QtPrompts*>(&Prompts::current()) != nullptr);
}

void TestPlatform::messagesInsideATickWaitForIt()
{
    // Raised inside a (nested) tick: shown after the outermost one returned, in order, one box at a time;
    // a message raised by a tick that runs while a box is open waits for that box. Outside a tick: at once.
    ScriptedPrompts p;
    QStringList openWhenShown;
    int ticksWhileOpen = 0;
    p.whileOpen = [&](const ScriptedPrompts::Shown& s) {
        openWhenShown << QStringLiteral("%1:%2").arg(s.text).arg(p.open);
        if (s.text != QLatin1String("first")) return;
        QTimer::singleShot(0, [&] {
            TickScope tick;
            ++ticksWhileOpen;
            tell("third");
        });
        QTRY_COMPARE(ticksWhileOpen, 1);
        QCOMPARE(pendingMessages(), 2);   // "second" and "third" wait for this box
    };
    {
        TickScope outer;
        tell("first");
        {
            TickScope inner;
            tell("second", "Title");
        }
        QCOMPARE(pendingMessages(), 2);
        QCoreApplication::processEvents();   // a pause inside the tick shows nothing
        QVERIFY(p.shown.empty());
    }
    QTRY_COMPARE(p.shown.size(), std::size_t(3));
    QCOMPARE(openWhenShown, (QStringList{"first:1", "second:1", "third:1"}));
    QCOMPARE(p.shown[1].title, QString("Title"));
    QCOMPARE(pendingMessages(), 0);
    tell("now");
    QCOMPARE(p.texts().last(), QString("now"));
}

void TestPlatform::elapsedIsWrapSafe_data()
{
    QTest::addColumn<quint32>("earlier");
    QTest::addColumn<quint32>("later");
    QTest::addColumn<qint64>("elapsed");
    QTest::newRow("plain") << 1000u << 1500u << qint64(500);
    QTest::newRow("across wrap") << 0xFFFFFF00u << 0x00000100u << qint64(512);
    QTest::newRow("across sign bit") << 0x7FFFFFF0u << 0x80000010u << qint64(32);
    QTest::newRow("backwards") << 2000u << 1000u << qint64(-1000);
}

void TestPlatform::elapsedIsWrapSafe()
{
    QFETCH(quint32, earlier);
    QFETCH(quint32, later);
    QFETCH(qint64, elapsed);
    QCOMPARE(elapsedMs(earlier, later), elapsed);
}

void TestPlatform::waitProcessesEventsAndAdvancesManualClock()
{
    ManualClock clock(0xFFFFFFF0u);
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    wait_for_milli_seconds(50);
    QVERIFY(ran);
    QCOMPARE(clock.milliseconds(), 0xFFFFFFF0u + 50u);
    QCOMPARE(elapsedMs(0xFFFFFFF0u, clock.milliseconds()), qint64(50));
}

void TestPlatform::waitOnSystemClockWaitsAtLeast()
{
    Clock& c = Clock::current();
    QVERIFY(dynamic_cast<SystemClock*>(&c));
    const quint32 start = c.milliseconds();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    wait_for_milli_seconds(30);
    QVERIFY(elapsedMs(start, c.milliseconds()) >= 30);
    QVERIFY(ran);
}

void TestPlatform::fakePortRecordsAndRefusesWhenClosed()
{
    FakeSerialPort port;
    QVERIFY(!port.write("x"));
    QVERIFY(port.open(3, "19200,n,8,1"));
    QCOMPARE(port.portNumber(), 3);
    QVERIFY(port.write(QByteArray("\x05" "B,250\x1a")));
    QCOMPARE(port.written, QByteArray("\x05" "B,250\x1a"));
    port.receive("A1,1,2,3,4,5\x1a");
    QCOMPARE(port.readAll(), QByteArray("A1,1,2,3,4,5\x1a"));
    QCOMPARE(port.readAll(), QByteArray());
    port.close();
    QVERIFY(!port.write("x"));
    FakeSerialPort bad;
    bad.failOpen = true;
    QVERIFY(!bad.open(1, "19200,n,8,1"));
    QVERIFY(!bad.lastError().isEmpty());
}

void TestPlatform::portPathRule()
{
    testsupport::TempWorkDir dir(false);
    QCOMPARE(serialPortPath(3), QString("/dev/ttyS2"));
    QVERIFY(QFile::link("/dev/null", dir.file("COM3")));
    QCOMPARE(serialPortPath(3), dir.file("COM3"));
    QCOMPARE(serialPortPath(1), QString("/dev/ttyS0"));
    // A port whose device is missing reports an error and stays closed.
    QVERIFY(QFile::link(dir.file("no-such-device"), dir.file("COM5")));
    auto port = makeSerialPort();
    QVERIFY(!port->open(5, "19200,n,8,1"));
    QVERIFY(!port->lastError().isEmpty());
    QVERIFY(!port->isOpen());
    QVERIFY(!port->write("x"));
}

void TestPlatform::showModalUsesInstalledHandler()
{
    QDialog dlg;
    bool visibleInside = false;
    setModalHandler([&](QDialog& d) {
        visibleInside = d.isVisible();
        d.done(7);
        return d.result();
    });
    QCOMPARE(showModal(dlg), 7);
    QVERIFY(visibleInside);
    setModalHandler({});
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
