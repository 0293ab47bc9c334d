// What a unit is sent after it was away, end to end: torvan-sim plays unit 1 on a pseudo-terminal and is told
// through its control channel to restart (its own 75 °F setting, behind the same port, with or without a
// silence) or to lose its link for a while (a new pseudo-terminal behind a COM1 link made anew). The real-time
// window runs unit 1's simple or sequence screen through the real serial layer, and the simulator's log of
// every command it received shows what reached the unit:
//  - the set point in force (the one last sent by SET, Preheat, START or the step change), never a value only
//    typed into the box, and once per outage;
//  - a stop that could not reach the unit ("000" and StopCell) as soon as it answers again, the operator
//    told once.
#include "UnitSimRig.h"

using namespace testsupport;
using realtime::CellControl;
using simrig::Rig;
using simrig::resultCount;
using simrig::stopOwedMessage;

class TestUnitRestartEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void setPointInForceAfterOutage_data();
    void setPointInForceAfterOutage();
    void stopWhileLinkDownReachesUnit_data();
    void stopWhileLinkDownReachesUnit();
};

void TestUnitRestartEndToEnd::setPointInForceAfterOutage_data()
{
    QTest::addColumn<bool>("sequence");
    QTest::addColumn<QByteArray>("event");
    // A quick restart is seen only in the reported setting; one with the unit off for 2 s also as records
    // that come back after a silence; an unplug as a port that opens again.
    QTest::newRow("simple, restart at once") << false << QByteArray("restart");
    QTest::newRow("simple, restart after 2 s off") << false << QByteArray("restart 2");
    QTest::newRow("simple, link gone 4 s") << false << QByteArray("unplug 4");
    QTest::newRow("sequence step 2, restart at once") << true << QByteArray("restart");
    QTest::newRow("sequence step 2, restart after 2 s off") << true << QByteArray("restart 2");
    QTest::newRow("sequence step 2, link gone 1 s") << true << QByteArray("unplug 1");
}

// Simple screen: cell A runs at 150 °F and cell B preheats at 200 °F, and then 900 and 650 are typed into their
// boxes without SET or Preheat. Sequence screen: cell A runs step 2 (250 °F) and 99 is typed. The unit then
// restarts or loses its link: it gets the set points in force again, once, and never the typed values.
void TestUnitRestartEndToEnd::setPointInForceAfterOutage()
{
    QFETCH(bool, sequence);
    QFETCH(QByteArray, event);
    Rig r;
    QVERIFY(r.open(sequence));
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).volts > 1.5 && r.cell(2).volts > 1.5, 5000);
    r.prepareCellA();

    QStringList inForce;    // what the unit must be sent again
    QStringList typed;      // what it must never be sent
    if (sequence) {
        r.screen->cmdStart_Click(1);
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
        QTRY_COMPARE_WITH_TIMEOUT(r.screen->findChild<QLabel*>("lblStepNo(1)")->text(), QStringLiteral("2"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 250.0, 5000);
        r.screen->txtTemps[1]->setText("99");
        inForce << "port 1: SetTemperature A 250\n";
        typed << " A 99\n";
    } else {
        r.screen->txtTemps[1]->setText("150");
        r.screen->cmdStart_Click(1);
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
        r.screen->txtTemps[2]->setText("200");
        r.screen->cmdPreHeat_Click(2);
        QCOMPARE(r.cell(2).state, int(realtime::CellPreheating));
        QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).tempSetting == 150 && r.cell(2).tempSetting == 200, 5000);
        r.screen->txtTemps[1]->setText("900");
        r.screen->txtTemps[2]->setText("650");
        inForce << "port 1: SetTemperature A 150\n" << "port 1: Preheat B 200\n";
        typed << " A 900\n" << " B 650\n";
    }
    QCOMPARE(r.prompts.texts(), QStringList());

    const QString marker = "control: " + QString::fromLatin1(event) + '\n';
    QVERIFY(r.sim.control(event));
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            const QString after = r.sim.logAfter(marker);
            return std::all_of(inForce.begin(), inForce.end(), [&](const QString& l) { return after.contains(l); });
        }(),
        qPrintable(r.sim.log()), 20000);
    // The unit reports the set points in force again, and the cells go on as they were.
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).tempSetting == (sequence ? 250 : 150), 5000);
    if (!sequence) QTRY_COMPARE_WITH_TIMEOUT(r.cell(2).tempSetting, 200.0, 5000);
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.cell(2).state, int(sequence ? realtime::CellIdle : realtime::CellPreheating));
    // Three more points later, each set point had one resend for this outage.
    const qsizetype points = resultCount(r.cell(1).testId);
    QTRY_VERIFY_WITH_TIMEOUT(resultCount(r.cell(1).testId) >= points + 3, 10000);
    const QString after = r.sim.logAfter(marker);
    for (const QString& l : inForce) QVERIFY2(after.count(l) == 1, qPrintable(after));
    for (const QString& l : typed) QVERIFY2(!r.sim.log().contains(l), qPrintable(r.sim.log()));
    QCOMPARE(r.prompts.texts(), QStringList());
}

void TestUnitRestartEndToEnd::stopWhileLinkDownReachesUnit_data()
{
    QTest::addColumn<bool>("sequence");
    QTest::addColumn<QByteArray>("event");
    QTest::newRow("simple: STOP answered Yes while the link is gone") << false << QByteArray("unplug 6");
    QTest::newRow("sequence: stopped for no response while the link is gone") << true << QByteArray("unplug 9");
}

// A running cell is stopped while its unit's link is gone (the operator's STOP, or the sequence screen's
// no-response stop): the screen shows the stop at once, the operator is told once that the unit has not
// received it, and "000" and StopCell reach the unit as soon as it is back.
void TestUnitRestartEndToEnd::stopWhileLinkDownReachesUnit()
{
    QFETCH(bool, sequence);
    QFETCH(QByteArray, event);
    Rig r;
    QVERIFY(r.open(sequence));
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).volts > 1.5, 5000);
    r.prepareCellA();
    r.screen->txtTemps[1]->setText("150");
    r.screen->cmdStart_Click(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 150.0, 5000);
    QCOMPARE(r.prompts.texts(), QStringList());

    QVERIFY(r.sim.control(event));
    QTRY_VERIFY_WITH_TIMEOUT(!r.screen->MSComm1->isOpen(), 5000);
    QStringList told;
    if (sequence) {
        // The stop's own box comes first, then the cause of the stop.
        QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).state, int(realtime::CellStopped), 10000);
        told << stopOwedMessage(1, 'A') << realtime::UnitPoll::NoResponseMessage;
    } else {
        r.prompts.queueAnswer(platform::Answer::Yes);
        r.screen->cmdStart_Click(1);
        QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
        told << CellControl::StopQuestion << stopOwedMessage(1, 'A');
    }
    QTRY_COMPARE_WITH_TIMEOUT(r.prompts.texts(), told, 5000);
    QCOMPARE(r.screen->findChild<QLabel*>("Label44(3)")->text(), CellControl::StatusStopped);

    // Back: the unit gets "000" and then StopCell, and reports the setting 0.
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            const QString after = r.sim.logAfter("port 1: plugged in -> ");
            const qsizetype zero = after.indexOf("port 1: SetTemperature A 0\n");
            return zero >= 0 && after.indexOf("port 1: StopCell A\n", zero) > zero;
        }(),
        qPrintable(r.sim.log()), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 0.0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(r.screen->MSComm1->isOpen() && !r.screen->findChild<QLabel*>("Label44(1)")->isVisible(),
                             5000);
    // Told once, and sent once.
    QCOMPARE(r.prompts.texts(), told);
    QCOMPARE(r.sim.logAfter("port 1: plugged in -> ").count("port 1: StopCell A\n"), 1);
    QVERIFY(!r.cell(1).stopOwed);
}

QTEST_MAIN(TestUnitRestartEndToEnd)
#include "tst_unitrestart_e2e.moc"
