// A heater is never left on behind the operator's back, end to end: torvan-sim plays unit 1 behind the
// real-time window's simple or sequence screen, and is told through its control channel to lose what it is
// sent (a pulled cable: the port stays open, writes succeed, nothing arrives; or the next commands lost), to
// receive set points without taking them, or to lose its link. Its log of every command shows what reached
// the unit:
//  - a stop counts as delivered only once the unit's records report the setting 0: until then it is sent
//    again, bounded, and the operator is told once when the unit may not have heard it or does not confirm;
//  - a set point the unit did not take is sent again every 2 s, the operator told once when it keeps not
//    taking it;
//  - a screen whose stop is not confirmed asks before it closes; No keeps it sending.
#include "UnitSimRig.h"
#include "realtime/ActiveTests.h"

#include <QMdiSubWindow>

using namespace testsupport;
using platform::Answer;
using realtime::CellControl;
using realtime::UnitPoll;
using simrig::Rig;
using simrig::stopOwedMessage;

namespace {

// The lines of the simulator's log after `marker` that hold `line`.
qsizetype countAfter(simrig::Simulator& sim, const QString& marker, const QString& line)
{
    return sim.logAfter(marker).count(line);
}

// True when the log after `marker` holds the unit obeying "000" and then StopCell for cell A.
bool stopObeyedAfter(simrig::Simulator& sim, const QString& marker)
{
    const QString after = sim.logAfter(marker);
    const qsizetype zero = after.indexOf("port 1: SetTemperature A 0\n");
    return zero >= 0 && after.indexOf("port 1: StopCell A\n", zero) > zero;
}

// Stores "Short": one step of 6 s at 150 °F, a point a second. The picker offers it first.
bool storeShortSequence()
{
    return sqlExec("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) VALUES ('Short', 20, 60);"
                   "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS) "
                   "SELECT SEQUENCE_ID, 1, 0.1, 150, 1, 0 FROM SEQUENCE_INFO WHERE SEQUENCE_NAME = 'Short'");
}

// Cell A of a simple screen running at 150 °F (maximum time in minutes), the unit reporting it.
void startCellA(Rig& r, const QString& maxTime = QStringLiteral("30"))
{
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).volts > 1.5, 5000);
    r.prepareCellA();
    r.screen->txtTemps[1]->setText("150");
    if (r.screen->txtMaxTime[1]) r.screen->txtMaxTime[1]->setText(maxTime);
    r.screen->cmdStart_Click(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 150.0, 5000);
    QCOMPARE(r.prompts.texts(), QStringList());
}

QString notTakenMessage(double inForce, double reported)
{
    return QStringLiteral("Instrument No. 1, Cell A\r")
           + UnitPoll::SetPointNotTakenMessageEnd.arg(QString::number(inForce) + " °F", QString::number(reported) + " °F");
}

} // namespace

class TestHeaterOffEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void stopIntoPulledCable_data();
    void stopIntoPulledCable();
    void stopLostWhileLinkUp_data();
    void stopLostWhileLinkUp();
    void unitThatNeverConfirmsTheStop();
    void setPointNotTaken_data();
    void setPointNotTaken();
    void closingWithStopOwed_data();
    void closingWithStopOwed();
};

void TestHeaterOffEndToEnd::stopIntoPulledCable_data()
{
    QTest::addColumn<QString>("stop");
    QTest::newRow("STOP answered Yes") << "STOP";
    QTest::newRow("maximum time") << "maximum time";
    QTest::newRow("sequence end") << "sequence end";
}

// A cable pulled between adapter and unit for 10 s: the port stays open and the stop's writes succeed, but
// the unit gets nothing. The screen shows the stop, does not take it as delivered (it stays owed), tells the
// operator once that it will be sent when the unit answers, and sends it as soon as the cable is back; the
// unit's records then report the setting 0.
void TestHeaterOffEndToEnd::stopIntoPulledCable()
{
    QFETCH(QString, stop);
    const bool sequence = stop == QLatin1String("sequence end");
    Rig r;
    QVERIFY(r.open(sequence));
    if (sequence) {
        QVERIFY(storeShortSequence());
        QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).volts > 1.5, 5000);
        r.prepareCellA();
        r.screen->cmdStart_Click(1);
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
        QCOMPARE(r.cell(1).sequenceName, QStringLiteral("Short"));
        QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 150.0, 5000);
    } else {
        startCellA(r, stop == QLatin1String("maximum time") ? QStringLiteral("0.1") : QStringLiteral("30"));
    }
    if (QTest::currentTestFailed()) return;
    QCOMPARE(r.prompts.texts(), QStringList());

    // The automatic stops come 6 s after START: the cable goes at 4 s.
    if (stop != QLatin1String("STOP")) QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).elapsedSeconds >= 4, 6000);
    QVERIFY(r.sim.control("cable 10"));
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.log().contains("port 1: cable pulled\n"), 3000);
    QStringList told;
    if (stop == QLatin1String("STOP")) {
        QTest::qWait(1000);
        r.prompts.queueAnswer(Answer::Yes);
        r.screen->cmdStart_Click(1);
        told << CellControl::StopQuestion;
    }
    QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).state, int(realtime::CellStopped), 8000);
    QVERIFY(r.screen->MSComm1->isOpen());
    QCOMPARE(r.screen->findChild<QLabel*>("Label44(3)")->text(), CellControl::StatusStopped);
    QTRY_VERIFY2_WITH_TIMEOUT(r.sim.log().contains("port 1: dropped StopCell A (cable pulled)\n"),
                              qPrintable(r.sim.log()), 3000);
    // Not delivered: owed, and the operator told once (the no-response box of a sequence comes later, if at all).
    QVERIFY(r.cell(1).stopOwed);
    told << stopOwedMessage(1, 'A');
    QTRY_COMPARE_WITH_TIMEOUT(r.prompts.texts(), told, 3000);
    QVERIFY(!r.sim.log().contains("port 1: cable back\n"));

    // Back: "000" and StopCell reach the unit, its records report 0, and the stop is settled.
    QTRY_VERIFY2_WITH_TIMEOUT(stopObeyedAfter(r.sim, "port 1: cable back"), qPrintable(r.sim.log()), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!r.cell(1).stopOwed, 5000);
    QCOMPARE(r.cell(1).tempSetting, 0.0);
    QTest::qWait(2500);   // nothing more goes out once the unit confirmed it
    QCOMPARE(countAfter(r.sim, "port 1: cable back", "port 1: StopCell A\n"), 1);
    QCOMPARE(r.prompts.texts(), told);
}

void TestHeaterOffEndToEnd::stopLostWhileLinkUp_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("lost");   // how the simulator logs the lost StopCell
    QTest::newRow("the stop's two commands lost") << QByteArray("drop 2") << "port 1: dropped StopCell A (drop)\n";
    QTest::newRow("cable out for 1 s at the stop") << QByteArray("cable 1")
                                                   << "port 1: dropped StopCell A (cable pulled)\n";
}

// STOP while the unit answers, but the stop is lost on the way: the unit goes on reporting 150 °F, the stop
// is sent again and the unit's records then report 0.
void TestHeaterOffEndToEnd::stopLostWhileLinkUp()
{
    QFETCH(QByteArray, fault);
    QFETCH(QString, lost);
    Rig r;
    QVERIFY(r.open(false));
    startCellA(r);
    if (QTest::currentTestFailed()) return;

    QVERIFY(r.sim.control(fault));
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.log().contains("control: " + QString::fromLatin1(fault) + '\n'), 3000);
    r.prompts.queueAnswer(Answer::Yes);
    r.screen->cmdStart_Click(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QTRY_VERIFY2_WITH_TIMEOUT(r.sim.log().contains(lost), qPrintable(r.sim.log()), 3000);
    QVERIFY(r.cell(1).stopOwed);

    const QString marker = lost.trimmed();
    QTRY_VERIFY2_WITH_TIMEOUT(stopObeyedAfter(r.sim, marker), qPrintable(r.sim.log()), 8000);
    QTRY_VERIFY_WITH_TIMEOUT(!r.cell(1).stopOwed && r.cell(1).tempSetting == 0, 5000);
    QTest::qWait(2500);
    QCOMPARE(countAfter(r.sim, marker, "port 1: StopCell A\n"), 1);
    // The question, and at most the message that the stop will be sent (the cable row's unit fell quiet).
    const QStringList texts = r.prompts.texts();
    QVERIFY2(texts == QStringList{CellControl::StopQuestion}
                 || texts == (QStringList{CellControl::StopQuestion, stopOwedMessage(1, 'A')}),
             qPrintable(texts.join(" | ")));
}

// A unit that answers but never takes the stop: it gets the stop and at most UnitPoll::StopResends resends,
// 2 s apart, and the operator is told once that it has not confirmed the stop. When the unit comes back
// after an outage the stop is tried again, and goes through.
void TestHeaterOffEndToEnd::unitThatNeverConfirmsTheStop()
{
    Rig r;
    QVERIFY(r.open(false));
    startCellA(r);
    if (QTest::currentTestFailed()) return;

    // Loses exactly the stop and its resends: 2 commands each.
    const int tries = 1 + UnitPoll::StopResends;
    QVERIFY(r.sim.control("drop " + QByteArray::number(2 * tries)));
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.log().contains("control: drop"), 3000);
    r.prompts.queueAnswer(Answer::Yes);
    r.screen->cmdStart_Click(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));

    const QString unconfirmed = QStringLiteral("Instrument No. 1, Cell A\r") + UnitPoll::StopUnconfirmedMessageEnd;
    QTRY_VERIFY_WITH_TIMEOUT(r.prompts.texts().contains(unconfirmed), 25000);
    QCOMPARE(r.sim.log().count("port 1: dropped StopCell A (drop)\n"), tries);
    QTest::qWait(3000);   // no further try while the unit answers, no second message
    QCOMPARE(r.sim.log().count("port 1: dropped StopCell A (drop)\n"), tries);
    QVERIFY(!r.sim.log().contains("port 1: StopCell A\n"));
    QCOMPARE(r.prompts.texts(), (QStringList{CellControl::StopQuestion, unconfirmed}));
    QVERIFY(r.cell(1).stopOwed);
    QCOMPARE(r.cell(1).tempSetting, 150.0);

    // The unit goes quiet for 3 s and comes back: the stop goes again, and this time it is taken.
    QVERIFY(r.sim.control("cable 3"));
    QTRY_VERIFY2_WITH_TIMEOUT(stopObeyedAfter(r.sim, "port 1: cable back"), qPrintable(r.sim.log()), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!r.cell(1).stopOwed && r.cell(1).tempSetting == 0, 5000);
    const QStringList texts = r.prompts.texts();
    QCOMPARE(texts.count(unconfirmed), 1);
}

void TestHeaterOffEndToEnd::setPointNotTaken_data()
{
    QTest::addColumn<QByteArray>("fault");   // sent with the restart
    QTest::addColumn<bool>("takesIt");
    QTest::newRow("first resend after the restart lost") << QByteArray("drop 1") << true;
    QTest::newRow("set points not taken") << QByteArray("ignore-set 40") << false;
}

// The unit restarts at its own 75 °F while cell A runs at 150 °F, and then loses the first resend, or takes
// no set point at all. The set point in force is sent again every 2 s: the unit that lost one resend has it
// again within a few seconds; the one that takes none keeps being sent it, and the operator is told once.
void TestHeaterOffEndToEnd::setPointNotTaken()
{
    QFETCH(QByteArray, fault);
    QFETCH(bool, takesIt);
    Rig r;
    QVERIFY(r.open(false));
    startCellA(r);
    if (QTest::currentTestFailed()) return;

    QVERIFY(r.sim.control(fault + "\nrestart"));
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.log().contains("port 1: unit on\n"), 3000);
    const QString marker = QStringLiteral("port 1: unit on");
    if (takesIt) {
        QTRY_VERIFY2_WITH_TIMEOUT(r.sim.logAfter(marker).contains("port 1: dropped SetTemperature A 150 (drop)\n"),
                                  qPrintable(r.sim.log()), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(r.sim.logAfter(marker).contains("port 1: SetTemperature A 150\n"),
                                  qPrintable(r.sim.log()), 6000);
        QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 150.0, 3000);
        QTest::qWait(2500);
        QCOMPARE(countAfter(r.sim, marker, "port 1: SetTemperature A 150\n"), 1);
        QCOMPARE(r.prompts.texts(), QStringList());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(r.prompts.texts(), QStringList{notTakenMessage(150, 75)}, 15000);
        // Three tries it did not take, then the fourth, with the message.
        QVERIFY2(countAfter(r.sim, marker, "port 1: not taken SetTemperature A 150\n") >= 3, qPrintable(r.sim.log()));
        const qsizetype before = countAfter(r.sim, marker, "port 1: not taken SetTemperature A 150\n");
        QTest::qWait(5500);   // two more tries: each at the first tick 2 s after the last
        QVERIFY2(countAfter(r.sim, marker, "port 1: not taken SetTemperature A 150\n") >= before + 2,
                 qPrintable(r.sim.log()));
        QCOMPARE(r.prompts.texts(), QStringList{notTakenMessage(150, 75)});
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    }
}

void TestHeaterOffEndToEnd::closingWithStopOwed_data()
{
    QTest::addColumn<bool>("sequence");
    QTest::addColumn<QString>("via");
    QTest::addColumn<bool>("linkDown");
    QTest::addColumn<Answer>("answer");
    QTest::newRow("simple, EXIT, unit answers") << false << "EXIT" << false << Answer::Yes;
    QTest::newRow("simple, EXIT, link down, kept open") << false << "EXIT" << true << Answer::No;
    QTest::newRow("simple, EXIT, link down, closed") << false << "EXIT" << true << Answer::Yes;
    QTest::newRow("simple, close box, link down, kept open") << false << "close box" << true << Answer::No;
    QTest::newRow("sequence, EXIT, link down, kept open") << true << "EXIT" << true << Answer::No;
    QTest::newRow("sequence, real-time Exit, link down, kept open") << true << "window Exit" << true << Answer::No;
    QTest::newRow("sequence, close box, link down, closed") << true << "close box" << true << Answer::Yes;
}

// Cell A preheats at 150 °F; the screen is closed (EXIT, its sub-window's close box, or the real-time window's
// Exit), which stops the cell. A unit that answers confirms the stop within the moment the close gives it
// (the screen's own timer ticks meanwhile) and the screen closes without a word. With the link down the
// operator is asked, naming the unit and cell; no box promises a later stop first. No keeps the screen and
// the real-time window open, and the stop reaches the unit when its link is back; Yes closes the screen.
void TestHeaterOffEndToEnd::closingWithStopOwed()
{
    QFETCH(bool, sequence);
    QFETCH(QString, via);
    QFETCH(bool, linkDown);
    QFETCH(Answer, answer);
    Rig r;
    QVERIFY(r.open(sequence));
    QTRY_VERIFY_WITH_TIMEOUT(r.cell(1).volts > 1.5, 5000);
    r.screen->txtTemps[1]->setText("150");
    r.screen->cmdPreHeat_Click(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellPreheating));
    QTRY_COMPARE_WITH_TIMEOUT(r.cell(1).tempSetting, 150.0, 5000);
    QCOMPARE(r.prompts.texts(), QStringList());
    if (linkDown) {
        QVERIFY(r.sim.control("unplug 8"));
        QTRY_VERIFY_WITH_TIMEOUT(!r.screen->MSComm1->isOpen(), 5000);
    }

    QPointer<frmSimpleTest> screen = r.screen;
    auto* sub = qobject_cast<QMdiSubWindow*>(screen->parentWidget());
    QVERIFY(sub);
    r.prompts.queueAnswer(answer);
    QElapsedTimer closing;
    closing.start();
    if (via == QLatin1String("EXIT")) screen->cmdExit->click();
    else if (via == QLatin1String("close box")) sub->close();
    else r.window->MenuExit->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool closes = !linkDown || answer == Answer::Yes;

    if (!linkDown) {
        // Confirmed within the moment: no question, closed, and the unit got the stop.
        QCOMPARE(r.prompts.texts(), QStringList());
        QVERIFY(screen.isNull());
        QVERIFY(closing.elapsed() < qint64(realtime::OwedStopGraceMs));
        QVERIFY2(stopObeyedAfter(r.sim, "port 1: Preheat A 150"), qPrintable(r.sim.log()));
        r.screen = nullptr;
        return;
    }
    const QString question =
        realtime::owedStopsQuestion({QStringLiteral("Instrument No. 1, Cell A")}, realtime::ScreenClosingWithOwedStops);
    QCOMPARE(r.prompts.texts(), QStringList{question});
    QCOMPARE(r.prompts.shown.front().kind, platform::ScriptedPrompts::Kind::Ask);
    QVERIFY(closing.elapsed() >= qint64(realtime::OwedStopGraceMs) - 20);   // the unit had its moment first
    QCOMPARE(screen.isNull(), closes);
    if (closes) {
        r.screen = nullptr;
        QVERIFY(frmMDIRealTime::offered(sequence ? r.window->MenuSeqAdd[1] : r.window->menuSimpleAdd[1]));
        return;
    }
    QVERIFY(r.window->isVisible());
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QVERIFY(r.cell(1).stopOwed);
    // The link comes back: the stop reaches the unit, which reports 0; nobody is told anything more.
    QTRY_VERIFY2_WITH_TIMEOUT(stopObeyedAfter(r.sim, "port 1: plugged in -> "), qPrintable(r.sim.log()), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!r.cell(1).stopOwed && r.cell(1).tempSetting == 0, 5000);
    QCOMPARE(r.prompts.texts(), QStringList{question});
    // Now the screen closes without a question.
    r.prompts.clear();
    screen->cmdExit->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(screen.isNull());
    QCOMPARE(r.prompts.texts(), QStringList());
    r.screen = nullptr;
}

QTEST_MAIN(TestHeaterOffEndToEnd)
#include "tst_heateroff_e2e.moc"
