// The step table and the stepping rule of a sequence cell, without any window: loading (the overwrite rule,
// empty and over-long sequences refused), when a step's time is up, the start times the detail window lists.
#include "realtime/SequenceSteps.h"

#include <QtTest>

using realtime::SequenceStep;
using realtime::SequenceSteps;

namespace {
std::vector<SequenceStep> steps(std::initializer_list<double> minutes, double setPoint = 150)
{
    std::vector<SequenceStep> out;
    for (double m : minutes) out.push_back({m, setPoint++, 5});
    return out;
}
} // namespace

class tst_SequenceSteps : public QObject {
    Q_OBJECT
private slots:
    void loadOverwritesOnlyItsPositions();
    void refusedLoads_data();
    void refusedLoads();
    void stepEnd_data();
    void stepEnd();
    void walkThroughSteps();
    void clockWrap();
    void startTimes_data();
    void startTimes();
    void messages();
};

void tst_SequenceSteps::loadOverwritesOnlyItsPositions()
{
    SequenceSteps s;
    QCOMPARE(s.count(), 0);
    QCOMPARE(s.load(steps({1, 2, 3, 4}, 100)), SequenceSteps::Load::Loaded);
    QCOMPARE(s.load(steps({9, 8}, 300)), SequenceSteps::Load::Loaded);
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.step(1).minutes, 9.0);
    QCOMPARE(s.step(2).setPointF, 301.0);
    // Positions beyond the new sequence keep what the longer one left there.
    QCOMPARE(s.step(3).minutes, 3.0);
    QCOMPARE(s.step(4).setPointF, 103.0);
    QCOMPARE(s.step(0).minutes, 0.0);
    QCOMPARE(s.step(101).minutes, 0.0);
    // Exactly 100 steps fill the table.
    std::vector<SequenceStep> full(100, SequenceStep{1, 200, 10});
    QCOMPARE(s.load(full), SequenceSteps::Load::Loaded);
    QCOMPARE(s.count(), 100);
    QCOMPARE(s.step(100).setPointF, 200.0);
}

void tst_SequenceSteps::refusedLoads_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::newRow("no step") << 0 << int(SequenceSteps::Load::Empty);
    QTest::newRow("101 steps") << 101 << int(SequenceSteps::Load::TooMany);
    QTest::newRow("500 steps") << 500 << int(SequenceSteps::Load::TooMany);
}

// A refused sequence changes nothing: the cell keeps its earlier sequence.
void tst_SequenceSteps::refusedLoads()
{
    QFETCH(int, size);
    QFETCH(int, result);
    SequenceSteps s;
    s.load(steps({7, 8}, 250));
    QCOMPARE(int(s.load(std::vector<SequenceStep>(std::size_t(size), SequenceStep{1, 600, 1}))), result);
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.step(1).minutes, 7.0);
    QCOMPARE(s.step(3).setPointF, 0.0);
}

void tst_SequenceSteps::stepEnd_data()
{
    QTest::addColumn<double>("minutes");
    QTest::addColumn<int>("lastRunningMs");   // the latest reading at which the step still runs
    QTest::newRow("0 minutes ends at once") << 0.0 << -1;
    QTest::newRow("10 minutes") << 10.0 << 599999;
    QTest::newRow("0.5 minutes") << 0.5 << 29999;
    QTest::newRow("0.1 minutes: whole seconds") << 0.1 << 5999;
    QTest::newRow("0.01 minutes: 0.6 s needs 1 whole s") << 0.01 << 999;
}

void tst_SequenceSteps::stepEnd()
{
    QFETCH(double, minutes);
    QFETCH(int, lastRunningMs);
    SequenceSteps s;
    s.load(steps({minutes, 5}));
    s.start(1000);
    if (lastRunningMs >= 0) {
        QVERIFY(!s.stepTimeUp(1000 + std::uint32_t(lastRunningMs)));
        QCOMPARE(s.stepSeconds(), lastRunningMs / 1000);
    }
    QVERIFY(s.stepTimeUp(1000 + std::uint32_t(lastRunningMs + 1)));
    QCOMPARE(s.current(), 1);
}

void tst_SequenceSteps::walkThroughSteps()
{
    SequenceSteps s;
    s.load({{10, 300, 60}, {5, 400, 10}, {0.5, 200, 5}});
    s.start(0);
    QCOMPARE(s.current(), 1);
    QVERIFY(!s.onLastStep());
    QVERIFY(s.stepTimeUp(600000));
    s.nextStep(600200);
    QCOMPARE(s.current(), 2);
    QCOMPARE(s.currentStep().setPointF, 400.0);
    QCOMPARE(s.stepSeconds(), 0);
    // The step's time runs from its own tick, not from the end of the previous step.
    QVERIFY(!s.stepTimeUp(900100));
    QVERIFY(s.stepTimeUp(900200));
    s.nextStep(900500);
    s.restartStep(900550);   // taken again after the set point went out
    QCOMPARE(s.current(), 3);
    QVERIFY(s.onLastStep());
    QVERIFY(!s.stepTimeUp(930549));
    QVERIFY(s.stepTimeUp(930550));
    // A new START begins at step 1 again.
    s.start(1000000);
    QCOMPARE(s.current(), 1);
    QVERIFY(!s.onLastStep());
}

// The 32-bit millisecond counter wraps every 49.7 days; a step across the wrap keeps its length.
void tst_SequenceSteps::clockWrap()
{
    SequenceSteps s;
    s.load(steps({1}));
    s.start(0xFFFFFFFFu - 20000);
    QVERIFY(!s.stepTimeUp(39998));   // 20001 ms up to the wrap, then 39998
    QCOMPARE(s.stepSeconds(), 59);
    QVERIFY(s.stepTimeUp(39999));
}

void tst_SequenceSteps::startTimes_data()
{
    QTest::addColumn<std::vector<double>>("minutes");
    QTest::addColumn<std::vector<double>>("starts");
    QTest::newRow("three steps") << std::vector<double>{10, 5, 0.5} << std::vector<double>{0, 600, 900};
    QTest::newRow("zero step") << std::vector<double>{0, 1, 2} << std::vector<double>{0, 0, 60};
    // 0.0125 min = 0.75 s -> 1; then 1.75 -> 2; 2.75 -> 3 (halves never arise from .75).
    QTest::newRow("fractions round each step") << std::vector<double>{0.0125, 0.0125, 0.0125, 0.0125}
                                               << std::vector<double>{0, 1, 2, 3};
    // 0.025 min = 1.5 s: 1.5 -> 2 (even), 3.5 -> 4, 5.5 -> 6.
    QTest::newRow("halves to even") << std::vector<double>{0.025, 0.025, 0.025, 0.025}
                                    << std::vector<double>{0, 2, 4, 6};
}

void tst_SequenceSteps::startTimes()
{
    QFETCH(std::vector<double>, minutes);
    QFETCH(std::vector<double>, starts);
    SequenceSteps s;
    std::vector<SequenceStep> list;
    for (double m : minutes) list.push_back({m, 100, 1});
    s.load(list);
    QCOMPARE(s.startSeconds(), starts);
}

void tst_SequenceSteps::messages()
{
    QCOMPARE(SequenceSteps::overMaximumMessage(2, QStringLiteral("680.")),
             QStringLiteral("The step 2 Temperature  is over the maximum ( 680.)"));
    QCOMPARE(SequenceSteps::emptyMessage(QStringLiteral("Ramp")), QStringLiteral("The sequence Ramp has no steps, test stop"));
    QCOMPARE(SequenceSteps::tooManyMessage(QStringLiteral("Long"), 101),
             QStringLiteral("The sequence Long has 101 steps, more than the 100 a test can run, test stop"));
}

QTEST_MAIN(tst_SequenceSteps)
#include "tst_sequencesteps.moc"
