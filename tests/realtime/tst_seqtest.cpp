// The sequence-test screen's cells: the picker at START, the sequence load and the checks of every step,
// the stepping in the poll (set points sent on the right ticks, intervals, the stop after the last step),
// the logged step numbers, the silent unit, SET with its limit, the stop, the detail window's step grid,
// and the picker itself. Driven through the named controls with a fake unit, a manual clock and scripted
// message boxes.
#include "LayoutCheck.h"
#include "SimpleTestRig.h"

#include "realtime/CellControl.h"
#include "realtime/SequenceCellControl.h"
#include "realtime/frmNameSeq.h"
#include "records/format.h"

#include <QGroupBox>
#include <QListWidget>
#include <QTableWidget>

using platform::Answer;
using realtime::CellControl;
using rig::Rig;

namespace {
const QString kPressureMessage = QStringLiteral("Instrument No. 1, Cell A\r") + CellControl::PressureMessageEnd;
const QString kNoSequence = QStringLiteral("No Sequence selected, test stop");
const QString kNoResponse = QStringLiteral("No hardware response, test will be stopped.");
// A stop sent to a unit that does not answer is owed until it answers again.
QString stopOwed(char cell)
{
    return QStringLiteral("Instrument No. 1, Cell %1\r").arg(QChar::fromLatin1(cell)) + CellControl::StopOwedMessageEnd;
}

QByteArray setA(const char* t) { return QByteArray("\x05" "A,") + t + "\x1a"; }
const QByteArray kStopA = QByteArray("\x05" "A,000\x1a" "\x07" "A\x1a");

QString sql(const QString& s) { return testsupport::sqlValue(s); }

struct Step {
    double minutes, tempF, rate;
};

// Stores a sequence with its steps (STEP_NO 10, 20, ... so that only their order counts).
void storeSequence(const QString& name, const QList<Step>& steps)
{
    QVERIFY(testsupport::sqlExec(QStringLiteral("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, "
                                                "SAMPLE_INTERVAL) VALUES ('%1', 20, 60)").arg(name)));
    const QString id = sql(QStringLiteral("SELECT max(SEQUENCE_ID) FROM SEQUENCE_INFO"));
    QString values;
    for (int k = 0; k < steps.size(); ++k) {
        if (k) values += QLatin1Char(',');
        values += QStringLiteral("(%1, %2, %3, %4, %5, 0)")
                      .arg(id)
                      .arg((k + 1) * 10)
                      .arg(steps[k].minutes, 0, 'g', 15)
                      .arg(steps[k].tempF, 0, 'g', 15)
                      .arg(steps[k].rate, 0, 'g', 15);
    }
    if (!values.isEmpty())
        QVERIFY(testsupport::sqlExec(QStringLiteral("INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, "
                                                    "STEP_TEMP, RECORD_RATE, STEP_PRESS) VALUES ") + values));
}

// A sequence rig whose picker answers as told.
struct SeqRig : Rig {
    enum class Pick { Name, Ok, Cancel, Close, Escape, Enter };
    Pick how = Pick::Name;
    QString pickName;
    QStringList listed;   // what the picker listed last time
    int pickers = 0;

    explicit SeqRig(int unitSystem = 1) : Rig(unitSystem, true)
    {
        otherDialog = [this](QDialog& d) {
            auto* p = qobject_cast<frmNameSeq*>(&d);
            if (!p) return int(QDialog::Rejected);
            ++pickers;
            listed.clear();
            for (int i = 0; i < p->lstSeqName->count(); ++i) listed << p->lstSeqName->item(i)->text();
            switch (how) {
            case Pick::Name:
                for (int i = 0; i < p->lstSeqName->count(); ++i)
                    if (p->lstSeqName->item(i)->text() == pickName) p->lstSeqName->setCurrentRow(i);
                p->cmdOk->click();
                break;
            case Pick::Ok: p->cmdOk->click(); break;
            case Pick::Cancel: p->cmdCancel->click(); break;
            case Pick::Close: p->close(); break;
            case Pick::Escape: QTest::keyClick(p, Qt::Key_Escape); break;
            case Pick::Enter: QTest::keyClick(p, Qt::Key_Return); break;
            }
            return p->result();
        };
    }
    frmSeqTest* seq() const { return static_cast<frmSeqTest*>(screen.data()); }

    // ZERO at 0.25 in., the test information, and a reading with `psi`.
    void prepare(int c, const QString& name, double psi = 0)
    {
        zero(c, Module1::UnitSystem == 1 ? QStringLiteral("0.25") : QStringLiteral("6.35"));
        enterInfo(c, name);
        feed(c, 70, 2500, psi);
        tick();
    }
    void startWith(int c, const QString& sequence)
    {
        how = Pick::Name;
        pickName = sequence;
        start(c);
    }
    // One tick with fresh readings of both cells; returns what was written to the unit during it.
    QByteArray step(double psi = 0, double setting = std::numeric_limits<double>::quiet_NaN())
    {
        port->written.clear();
        feed(1, 150, 2500, psi, -1, setting);
        feed(2, 150, 2500, psi, -1, setting);
        tick();
        return port->written;
    }
    // Ticks until something is written; returns the number of ticks taken (0 when none within `limit`).
    int ticksUntilWrite(QByteArray& out, int limit, double psi = 0)
    {
        for (int i = 1; i <= limit; ++i) {
            out = step(psi);
            if (!out.isEmpty()) return i;
        }
        return 0;
    }
    QString logged(int testId) const
    {
        return sql(QStringLiteral("SELECT group_concat(t || '/' || s, ' ') FROM (SELECT CAST(RESULT_TIME AS INTEGER) t, "
                                  "CAST(STEP_NO AS INTEGER) s FROM TEST_RESULT WHERE TEST_ID = %1 ORDER BY RESULT_ID)")
                       .arg(testId));
    }
};

} // namespace

class tst_SeqTest : public QObject {
    Q_OBJECT
private slots:
    void screenAtLoad();
    void threeStepSequence();
    void intervalRestartsAtStepChange();
    void zeroMinuteStep();
    void stepLimit_data();
    void stepLimit();
    void pressureForLateStep();
    void pickerAnswers_data();
    void pickerAnswers();
    void emptyPickerList();
    void sequenceRefused_data();
    void sequenceRefused();
    void silentUnit();
    void stepChangeNotWritten();
    void outageOnRunningSequence();
    void startAfterStopInPicker();
    void tempSettingLabel();
    void stopKeepsNames();
    void setOnSequenceScreen_data();
    void setOnSequenceScreen();
    void detailStepGrid();
    void layout_data();
    void layout();
};

void tst_SeqTest::screenAtLoad()
{
    SeqRig r;
    frmSeqTest* s = r.seq();
    QCOMPARE(s->objectName(), QStringLiteral("frmSeqTest"));
    QVERIFY(!s->findChild<QLineEdit*>(QStringLiteral("txtMaxTime(1)")));
    QCOMPARE(r.text("txtInterval", 1), QStringLiteral("30"));
    QCOMPARE(r.cell(1).loggingInterval, 0);   // the box's 30 is not taken at load
    QCOMPARE(r.text("lblStepNo", 2), QString());
    QCOMPARE(r.text("lblSeqname", 2), QString());
    QCOMPARE(r.text("Label44", 4), QStringLiteral("No Test"));
    QCOMPARE(s->fraCell[1]->title(), QStringLiteral("CELL A"));
    QCOMPARE(s->size(), QSize(985, 628));
    // The empty chart draws no placeholder point.
    QCOMPARE(s->Pesgo1->subsetCount(), 0);
}

// 10 min at 300 °F (points every 60 s), 5 min at 400 °F (10 s), 0.5 min at 200 °F (5 s).
void tst_SeqTest::threeStepSequence()
{
    SeqRig r;
    storeSequence(QStringLiteral("Three"), {{10, 300, 60}, {5, 400, 10}, {0.5, 200, 5}});
    r.prepare(1, QStringLiteral("Seq A"), 400);
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Three"));
    QCOMPARE(r.prompts.texts(), QStringList{QStringLiteral("Input dry wafer Length (in.)")});
    QCOMPARE(r.port->written, setA("300"));
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("300."));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("1"));
    QCOMPARE(r.text("lblSeqname", 1), QStringLiteral("Three"));
    QCOMPARE(r.text("txtInterval", 1), QStringLiteral("60"));
    QCOMPARE(r.cell(1).loggingInterval, 60);
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("STOP"));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Test Running"));

    // Step 2 goes out on the first tick with 600 whole seconds in step 1: tick 1200.
    QByteArray out;
    QCOMPARE(r.ticksUntilWrite(out, 2000, 400), 1200);
    QCOMPARE(out, setA("400"));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("2"));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("400."));
    QCOMPARE(r.text("txtInterval", 1), QStringLiteral("10"));
    QCOMPARE(r.cell(1).loggingInterval, 10);
    // Step 3 on the first tick at least 300 s after that tick (its 50 ms pause included: tick 601 would be
    // 300.45 s, tick 600 299.95 s).
    QCOMPARE(r.ticksUntilWrite(out, 2000, 400), 600);
    QCOMPARE(out, setA("200"));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("3"));
    QCOMPARE(r.text("txtInterval", 1), QStringLiteral("5"));
    // After 30 s of step 3 the cell stops: 000 and the stop command, no point at that moment.
    QCOMPARE(r.ticksUntilWrite(out, 59, 400), 0);
    const QString before = sql(QStringLiteral("SELECT count(*) FROM TEST_RESULT"));
    QCOMPARE(r.step(400), kStopA);
    QCOMPARE(sql(QStringLiteral("SELECT count(*) FROM TEST_RESULT")), before);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Test Stop"));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("3"));
    QCOMPARE(r.text("lblSeqname", 1), QStringLiteral("Three"));
    QCOMPARE(r.step(400), QByteArray());   // nothing more

    // Step 1 logs every 60 s; the change tick logs with the new step's number (a point was due);
    // then every 10 s, and every 5 s in step 3.
    QStringList expected;
    for (int t = 60; t <= 540; t += 60) expected << QStringLiteral("%1/1").arg(t);
    for (int t = 600; t < 900; t += 10) expected << QStringLiteral("%1/2").arg(t);
    for (int t = 900; t < 930; t += 5) expected << QStringLiteral("%1/3").arg(t);
    QCOMPARE(r.logged(r.detail(1)->TestId()).split(QLatin1Char(' ')), expected);
    QCOMPARE(r.detail(1)->PointText(9, 1), QStringLiteral("2"));
}

// A step change restarts the logging interval unless a point was due on that tick.
void tst_SeqTest::intervalRestartsAtStepChange()
{
    SeqRig r;
    storeSequence(QStringLiteral("Restart"), {{1, 100, 45}, {1, 110, 30}});
    r.prepare(1, QStringLiteral("Restart A"));
    r.startWith(1, QStringLiteral("Restart"));
    QByteArray out;
    QCOMPARE(r.ticksUntilWrite(out, 500), 120);
    QCOMPARE(out, setA("110"));
    for (int i = 0; i < 80; ++i) r.step();
    // 45 s; the change at 60 s (15 s after that point) logs nothing; the next point 30 s after the change.
    QCOMPARE(r.logged(r.detail(1)->TestId()), QStringLiteral("45/1 90/2"));
}

void tst_SeqTest::zeroMinuteStep()
{
    SeqRig r;
    storeSequence(QStringLiteral("Jump"), {{0, 150, 1}, {0.1, 160, 1}});
    r.prepare(1, QStringLiteral("Jump A"));
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Jump"));
    QCOMPARE(r.port->written, setA("150"));
    QCOMPARE(r.step(), setA("160"));   // the first tick after START
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("2"));
}

void tst_SeqTest::stepLimit_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<double>("stepTwoF");
    QTest::addColumn<QString>("message");
    QTest::newRow("680 starts") << 1 << 680.0 << QString();
    QTest::newRow("681 refused") << 1 << 681.0 << QStringLiteral("The step 2 Temperature  is over the maximum ( 680.)");
    QTest::newRow("681 refused, SI") << 2 << 681.0 << QStringLiteral("The step 2 Temperature  is over the maximum ( 360.)");
}

void tst_SeqTest::stepLimit()
{
    QFETCH(int, units);
    QFETCH(double, stepTwoF);
    QFETCH(QString, message);
    SeqRig r(units);
    storeSequence(QStringLiteral("Hot"), {{1, 150, 10}, {1, stepTwoF, 10}, {1, 690, 10}});
    r.prepare(1, QStringLiteral("Hot A"), 1100);   // 680 °F needs 1028.84 psi
    r.prompts.clear();
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Hot"));
    if (message.isEmpty()) {
        // Step 3 is refused too: only the first failure counts, so use two steps for the start case.
        QCOMPARE(r.prompts.texts(), QStringList{QStringLiteral("The step 3 Temperature  is over the maximum ( 680.)")});
    } else {
        QCOMPARE(r.prompts.texts(), QStringList{message});
    }
    QCOMPARE(r.port->written, QByteArray());
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));

    if (message.isEmpty()) {
        storeSequence(QStringLiteral("Hot2"), {{1, 150, 10}, {1, stepTwoF, 10}});
        r.prompts.clear();
        r.startWith(1, QStringLiteral("Hot2"));
        QCOMPARE(r.prompts.texts(), QStringList());
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    }
}

// At START every step is checked against the pressure measured now, also a step an hour away.
void tst_SeqTest::pressureForLateStep()
{
    SeqRig r;
    storeSequence(QStringLiteral("Late"), {{60, 150, 60}, {60, 300, 60}});
    r.prepare(1, QStringLiteral("Late A"), 200);   // 300 °F needs 200.25 psi
    r.prompts.clear();
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Late"));
    QCOMPARE(r.prompts.texts(), QStringList{kPressureMessage});
    QCOMPARE(r.port->written, QByteArray());
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));

    r.feed(1, 70, 2500, 201);
    r.tick();
    r.prompts.clear();
    r.startWith(1, QStringLiteral("Late"));
    QCOMPARE(r.prompts.texts(), QStringList());
    QCOMPARE(r.port->written, setA("150"));
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
}

void tst_SeqTest::pickerAnswers_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("started");   // the sequence started; empty: the picker was cancelled
    QTest::newRow("OK at once: first name") << int(SeqRig::Pick::Ok) << "Alpha";
    QTest::newRow("second name") << int(SeqRig::Pick::Name) << "beta";
    QTest::newRow("Enter") << int(SeqRig::Pick::Enter) << "Alpha";
    QTest::newRow("Cancel") << int(SeqRig::Pick::Cancel) << "";
    QTest::newRow("frame close") << int(SeqRig::Pick::Close) << "";
    QTest::newRow("Escape") << int(SeqRig::Pick::Escape) << "";
}

void tst_SeqTest::pickerAnswers()
{
    QFETCH(int, how);
    QFETCH(QString, started);
    SeqRig r;
    storeSequence(QStringLiteral("gamma"), {{1, 120, 5}});
    storeSequence(QStringLiteral("Alpha"), {{1, 100, 5}});
    storeSequence(QStringLiteral("beta"), {{1, 110, 5}});
    r.prepare(1, QStringLiteral("Pick A"));
    r.prompts.clear();
    r.port->written.clear();
    r.how = SeqRig::Pick(how);
    r.pickName = QStringLiteral("beta");
    r.start(1);
    QCOMPARE(r.pickers, 1);
    QCOMPARE(r.listed, (QStringList{"Alpha", "beta", "gamma"}));   // name order, without regard to case
    if (started.isEmpty()) {
        QCOMPARE(r.prompts.texts(), QStringList{kNoSequence});
        QCOMPARE(r.port->written, QByteArray());
        QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
        QCOMPARE(r.cell(1).sequenceName, QString());
    } else {
        QCOMPARE(r.prompts.texts(), QStringList());
        QCOMPARE(r.text("lblSeqname", 1), started);
        QCOMPARE(r.port->written, setA(started == QLatin1String("Alpha") ? "100" : "110"));
    }
}

// OK on an empty list: a cell that ran a sequence runs it again; one that never had one does nothing.
void tst_SeqTest::emptyPickerList()
{
    SeqRig r;
    r.prepare(2, QStringLiteral("Never"));
    r.prepare(1, QStringLiteral("Again 1"));
    r.prompts.clear();
    r.how = SeqRig::Pick::Ok;
    r.port->written.clear();
    r.start(2);
    QCOMPARE(r.listed, QStringList());
    QCOMPARE(r.prompts.texts(), QStringList());
    QCOMPARE(r.port->written, QByteArray());
    QCOMPARE(r.cell(2).state, int(realtime::CellIdle));

    storeSequence(QStringLiteral("Once"), {{0.1, 130, 1}});
    r.startWith(1, QStringLiteral("Once"));
    QByteArray out;
    QVERIFY(r.ticksUntilWrite(out, 40) > 0);
    QCOMPARE(out, kStopA);
    QVERIFY(testsupport::sqlExec(QStringLiteral("DELETE FROM SEQUENCE_STEP; DELETE FROM SEQUENCE_INFO")));

    r.prepare(1, QStringLiteral("Again 2"));
    r.how = SeqRig::Pick::Ok;
    r.port->written.clear();
    r.start(1);
    QCOMPARE(r.listed, QStringList());
    QCOMPARE(r.port->written, setA("130"));
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.text("lblSeqname", 1), QStringLiteral("Once"));
}

void tst_SeqTest::sequenceRefused_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("message");
    QTest::newRow("no steps") << 0 << "The sequence Bad has no steps, test stop";
    QTest::newRow("101 steps")
        << 101 << "The sequence Bad has 101 steps, more than the 100 a test can run, test stop";
}

// Refused before anything changes: the cell keeps its earlier sequence and runs nothing of the new one.
void tst_SeqTest::sequenceRefused()
{
    QFETCH(int, steps);
    QFETCH(QString, message);
    SeqRig r;
    storeSequence(QStringLiteral("Good"), {{0.02, 140, 1}, {0.02, 141, 1}});
    QList<Step> bad;
    for (int k = 0; k < steps; ++k) bad << Step{1, 150.0 + k % 50, 5};
    storeSequence(QStringLiteral("Bad"), bad);
    r.prepare(1, QStringLiteral("First"));
    r.startWith(1, QStringLiteral("Good"));
    QByteArray out;
    while (r.cell(1).state == realtime::CellRunning) r.step();

    r.prepare(1, QStringLiteral("Second"));
    r.prompts.clear();
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Bad"));
    QCOMPARE(r.prompts.texts(), QStringList{message});
    QCOMPARE(r.port->written, QByteArray());
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.cell(1).sequenceName, QStringLiteral("Good"));
    QCOMPARE(r.cell(1).sequence.count(), 2);
    QCOMPARE(r.cell(1).sequence.step(1).setPointF, 140.0);
}

// Silent unit: the alarm from the first tick, timing and logging go on; the 11th tick stops every running
// or preheating cell with one message each.
void tst_SeqTest::silentUnit()
{
    SeqRig r;
    storeSequence(QStringLiteral("Long"), {{60, 150, 1}});
    r.prepare(1, QStringLiteral("Silent A"));
    r.prepare(2, QStringLiteral("Silent B"));
    r.startWith(1, QStringLiteral("Long"));
    r.type("txtTemps", 2, QStringLiteral("150"));
    r.click("cmdPreHeat", 2);
    QCOMPARE(r.cell(2).state, int(realtime::CellPreheating));
    r.prompts.clear();
    for (int i = 1; i <= 10; ++i) {
        r.tick();
        QVERIFY(r.screen->Label44[1]->isVisibleTo(r.screen));
        QVERIFY(r.screen->Label44[2]->isVisibleTo(r.screen));
        QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    }
    QCOMPARE(r.text("lblElapseTime", 1), QStringLiteral("00:00:05"));
    QCOMPARE(sql(QStringLiteral("SELECT count(*) FROM TEST_RESULT")), QStringLiteral("5"));
    QCOMPARE(r.prompts.texts(), QStringList());
    r.port->written.clear();
    r.tick();
    QCOMPARE(r.prompts.texts(), (QStringList{stopOwed('A'), kNoResponse, stopOwed('B'), kNoResponse}));
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.cell(2).state, int(realtime::CellStopped));
    QCOMPARE(r.cell(1).volts, 0.0);
    QCOMPARE(r.port->written, kStopA + QByteArray("\x05" "B,000\x1a" "\x07" "B\x1a"));
    r.tick();
    QCOMPARE(r.prompts.texts().size(), 4);
    // A record hides the alarm again, and the unit that answers again gets both stops, once.
    QCOMPARE(r.step(), kStopA + QByteArray("\x05" "B,000\x1a" "\x07" "B\x1a"));
    QVERIFY(!r.screen->Label44[1]->isVisibleTo(r.screen));
    QCOMPARE(r.step(), QByteArray());
    QCOMPARE(r.prompts.texts().size(), 4);
}

// A step change whose set point cannot be written leaves the cell on its step (number, set point box,
// logged step numbers) and is tried again on every tick until it goes out; the operator is told once.
void tst_SeqTest::stepChangeNotWritten()
{
    SeqRig r;
    storeSequence(QStringLiteral("Two"), {{1, 100, 10}, {1, 110, 10}});
    r.prepare(1, QStringLiteral("Deaf step"));
    r.startWith(1, QStringLiteral("Two"));
    r.prompts.clear();
    for (int i = 1; i < 120; ++i) r.step();
    r.port->failWrite = true;
    for (int i = 0; i < 10; ++i) r.step();   // 60 .. 64.5 s: the change falls due and fails each tick
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("1"));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("100."));
    QCOMPARE(r.cell(1).sequence.current(), 1);
    QCOMPARE(r.messages(), QStringList{CellControl::LinkFailedMessage});
    r.port->failWrite = false;
    QCOMPARE(r.step(), setA("110"));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("2"));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("110."));
    for (int i = 0; i < 20; ++i) r.step();
    // The point at 60 s was taken while the unit still worked at step 1; step 2 runs from its change.
    QCOMPARE(r.logged(r.detail(1)->TestId()), QStringLiteral("10/1 20/1 30/1 40/1 50/1 60/1 75/2"));
}

// The port goes away under a running sequence cell whose step falls due meanwhile: one box, the cause of
// the stop; the set points that could not be written while the unit was silent add none.
void tst_SeqTest::outageOnRunningSequence()
{
    SeqRig r;
    storeSequence(QStringLiteral("Short"), {{0.05, 150, 1}, {60, 160, 1}});
    r.prepare(1, QStringLiteral("Outage A"));
    r.startWith(1, QStringLiteral("Short"));
    r.prompts.clear();
    r.port->failWrite = true;
    for (int i = 1; i <= 11; ++i) r.tick();   // step 2 falls due at 3 s, the stop comes at the 11th tick
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.messages(), (QStringList{stopOwed('A'), kNoResponse}));
}

// The cell is stopped by the no-response rule while the picker of START is open: START then refuses, and
// no test starts without its name and wafer length.
void tst_SeqTest::startAfterStopInPicker()
{
    SeqRig r;
    storeSequence(QStringLiteral("Any"), {{60, 150, 1}});
    r.prepare(1, QStringLiteral("Picker A"));
    r.type("txtTemps", 1, QStringLiteral("150"));
    r.click("cmdPreHeat", 1);
    QCOMPARE(r.cell(1).state, int(realtime::CellPreheating));
    const auto pick = r.otherDialog;
    r.otherDialog = [&](QDialog& d) {
        for (int i = 1; i <= 11; ++i) r.tick();   // the unit says nothing while the operator picks
        return pick(d);
    };
    r.prompts.clear();
    r.port->written.clear();
    r.startWith(1, QStringLiteral("Any"));
    QCOMPARE(r.messages(), (QStringList{stopOwed('A'), kNoResponse, CellControl::EnterInfoFirstMessage}));
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    QCOMPARE(r.port->written, kStopA);
}

void tst_SeqTest::tempSettingLabel()
{
    SeqRig r;
    r.feed(1, 70, 2500, 0, 70, 95);
    r.tick();
    QCOMPARE(r.text("lblTemp2", 1), QStringLiteral("95."));   // idle: shown
    r.type("txtTemps", 1, QStringLiteral("150"));
    r.click("cmdPreHeat", 1);
    r.feed(1, 70, 2500, 0, 70, 150);
    r.tick();
    QCOMPARE(r.text("lblTemp2", 1), QString());   // preheating: emptied
}

void tst_SeqTest::stopKeepsNames()
{
    SeqRig r;
    storeSequence(QStringLiteral("Stop me"), {{10, 150, 10}});
    r.prepare(1, QStringLiteral("Kept"));
    r.startWith(1, QStringLiteral("Stop me"));
    r.step();
    r.prompts.queueAnswer(Answer::Yes);
    r.port->written.clear();
    const std::uint32_t before = r.clock.now;
    r.click("cmdStart", 1);
    QCOMPARE(r.port->written, kStopA);
    QCOMPARE(r.clock.now - before, 130u);   // 50 + 50 + 30 ms
    QCOMPARE(r.text("lblTestname", 1), QStringLiteral("Kept"));
    QCOMPARE(r.text("lblSeqname", 1), QStringLiteral("Stop me"));
    QCOMPARE(r.text("lblStepNo", 1), QStringLiteral("1"));
    QVERIFY(r.find<QPushButton>(Rig::at("cmdInfo", 1))->isEnabled());
    r.prompts.clear();
    r.click("cmdStart", 1);
    QCOMPARE(r.prompts.texts(), QStringList{CellControl::EnterInfoFirstMessage});
}

void tst_SeqTest::setOnSequenceScreen_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("message");
    QTest::newRow("680 sent") << 1 << "680" << setA("680") << QString();
    QTest::newRow("300 without pressure sent") << 1 << "300" << setA("300") << QString();
    QTest::newRow("681 refused") << 1 << "681" << QByteArray() << "The maximum temperature setting is 680.";
    QTest::newRow("6800 typo refused") << 1 << "6800" << QByteArray() << "The maximum temperature setting is 680.";
    QTest::newRow("SI 360 sent") << 2 << "360" << setA("680") << QString();
    QTest::newRow("SI 361 refused") << 2 << "361" << QByteArray() << "The maximum temperature setting is 360.";
}

// SET sends what is typed without the pressure rule, but never above the 680 °F limit.
void tst_SeqTest::setOnSequenceScreen()
{
    QFETCH(int, units);
    QFETCH(QString, typed);
    QFETCH(QByteArray, sent);
    QFETCH(QString, message);
    SeqRig r(units);
    r.feed(1, 70, 2500, 0);
    r.tick();
    r.prompts.clear();
    r.port->written.clear();
    r.type("txtTemps", 1, typed);
    r.click("cmdTempSet", 1);
    QCOMPARE(r.port->written, sent);
    QCOMPARE(r.prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
}

void tst_SeqTest::detailStepGrid()
{
    SeqRig r;
    storeSequence(QStringLiteral("Three"), {{10, 300, 60}, {5, 400, 10}, {0.5, 200, 5}});
    r.prepare(1, QStringLiteral("Grid A"), 400);
    r.startWith(1, QStringLiteral("Three"));
    frmTestDetail* d = r.detail(1);
    QVERIFY(d);
    QVERIFY(!d->MSFlexGrid2->isHidden());
    QVERIFY(!d->txtSeqInfo->isHidden());
    QVERIFY(!d->Label1[0]->isHidden());
    QCOMPARE(d->txtSeqInfo->text(), QStringLiteral("Three"));
    QVERIFY(!d->InfoChanged());
    QCOMPARE(d->MSFlexGrid2->rowCount(), 3);
    const QStringList rows[3] = {{"00:00:00", "1", "300."}, {"00:10:00", "2", "400."}, {"00:15:00", "3", "200."}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) QCOMPARE(d->MSFlexGrid2->item(row, col)->text(), rows[row][col]);
    // A logged row: step number, bath temperature without decimals.
    for (int i = 0; i < 120; ++i) {
        r.feed(1, 150, 2500, 400, 151.4);
        r.tick();
    }
    QCOMPARE(d->PointCount(), 1);
    QCOMPARE(d->PointText(0, 1), QStringLiteral("1"));
    QCOMPARE(d->PointText(0, 7), QStringLiteral("151"));
}

void tst_SeqTest::layout_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << QSize(985, 628);
    QTest::newRow("maximised") << QSize(1920, 1080);
}

// Both cells running a sequence with the widest usual texts: every control inside its frame, none
// overlapping, no text clipped; the alarms are checked as they would stand when shown.
void tst_SeqTest::layout()
{
    QFETCH(QSize, size);
    SeqRig r;
    storeSequence(QStringLiteral("Ramp to 350 F, long soak"), {{600, 350, 60}});
    const QString names[3] = {{}, QStringLiteral("Bentonite 12% KCl brine"), QStringLiteral("Shale core B-7 fresh water")};
    for (int c = 1; c <= 2; ++c) {
        r.prepare(c, names[c], 600);
        r.startWith(c, QStringLiteral("Ramp to 350 F, long soak"));
        QCOMPARE(r.cell(c).state, int(realtime::CellRunning));
    }
    for (int k = 0; k < 20; ++k) r.step(600, 350);
    frmSeqTest* s = r.seq();
    s->lblStepNo[1]->setText(QStringLiteral("100"));
    s->lblvolt[1]->setText(QStringLiteral("-0.123456789"));
    s->lbltemp1[2]->setText(QStringLiteral("-17.8"));

    const QStringList faults = rig::screenLayoutFaults(s, size);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_MAIN(tst_SeqTest)
#include "tst_seqtest.moc"
