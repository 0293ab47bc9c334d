// The step rules of the setup window without any window: insert, delete, delete a range, copy and paste,
// the Auto Step Builder, the save checks and the stored form of a step, the step dialogs' checks, and the
// shared-port check of the hardware tab.
#include "TestSupport.h"

#include "records/Module1.h"
#include "setup/HardwareSettings.h"
#include "setup/StepTable.h"

#include <QtTest>

using setup::StepTable;

namespace {

// n steps whose elapse time names them: "t1" .. "tn" (temperature 100, interval 60).
StepTable named(int n)
{
    StepTable t;
    for (int k = 1; k <= n; ++k) t.append({QString::number(k), QStringLiteral("t%1").arg(k), "100", "60"});
    return t;
}

QStringList column(const StepTable& t, int c)
{
    QStringList out;
    for (int k = 1; k <= t.count(); ++k) out << t.text(k, c);
    return out;
}

QStringList numbers(int n)
{
    QStringList out;
    for (int k = 1; k <= n; ++k) out << QString::number(k);
    return out;
}

} // namespace

class StepTableTest : public QObject {
    Q_OBJECT

private slots:
    void init() { testsupport::setUnits(1); }
    void cleanup() { Module1::Reset(); }

    void insert_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("before");
        QTest::addColumn<QStringList>("order");   // elapse texts after the insert; the new step reads 7.5
        QTest::newRow("none chosen, before") << 3 << 0 << true << QStringList{"7.5", "t1", "t2", "t3"};
        QTest::newRow("none chosen, after") << 3 << 0 << false << QStringList{"7.5", "t1", "t2", "t3"};
        QTest::newRow("before step 3 of 5") << 5 << 3 << true << QStringList{"t1", "t2", "7.5", "t3", "t4", "t5"};
        QTest::newRow("after step 3 of 5") << 5 << 3 << false << QStringList{"t1", "t2", "t3", "7.5", "t4", "t5"};
        QTest::newRow("after the last step") << 2 << 2 << false << QStringList{"t1", "t2", "7.5"};
        QTest::newRow("empty grid") << 0 << 0 << true << QStringList{"7.5"};
    }

    // The new step's place, its values as plain numbers (no rounding of the temperature), and renumbering.
    void insert()
    {
        QFETCH(int, steps);
        QFETCH(int, current);
        QFETCH(bool, before);
        QFETCH(QStringList, order);
        StepTable t = named(steps);
        QVERIFY(!t.insert(current, before, 7.5, 212.4, 30));
        QCOMPARE(column(t, setup::ColElapse), order);
        QCOMPARE(column(t, setup::ColStepNo), numbers(steps + 1));
        const int at = int(order.indexOf("7.5")) + 1;
        QCOMPARE(t.text(at, setup::ColTemp), QStringLiteral("212.4"));
        QCOMPARE(t.text(at, setup::ColRate), QStringLiteral("30"));
    }

    // 997 steps take one more; 998 refuse with the exact message and title and stay as they were.
    void insertLimit()
    {
        StepTable t = named(997);
        QVERIFY(!t.insert(997, false, 1, 100, 60));
        QCOMPARE(t.count(), 998);
        const auto refused = t.insert(1, true, 1, 100, 60);
        QVERIFY(refused);
        QCOMPARE(refused->message, QStringLiteral("Maximum number of steps is 998."));
        QCOMPARE(refused->title, QStringLiteral("Too Many Test Steps."));
        QCOMPARE(t.count(), 998);
        QCOMPARE(t.text(1, setup::ColElapse), QStringLiteral("t1"));
    }

    void removeStep_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("header row current: nothing") << 0 << QStringList{"t1", "t2", "t3"};
        QTest::newRow("past the last step: nothing") << 4 << QStringList{"t1", "t2", "t3"};
        QTest::newRow("middle") << 2 << QStringList{"t1", "t3"};
        QTest::newRow("last") << 3 << QStringList{"t1", "t2"};
    }

    void removeStep()
    {
        QFETCH(int, current);
        QFETCH(QStringList, order);
        StepTable t = named(3);
        QCOMPARE(t.removeStep(current), order.size() < 3);
        QCOMPARE(column(t, setup::ColElapse), order);
        QCOMPARE(column(t, setup::ColStepNo), numbers(int(order.size())));
    }

    // Steps 2..4 of 6 go: the old steps 1, 5 and 6 remain as steps 1-3.
    void removeRange()
    {
        StepTable t = named(6);
        QVERIFY(!t.removeRange(2, 4));
        QCOMPARE(column(t, setup::ColElapse), (QStringList{"t1", "t5", "t6"}));
        QCOMPARE(column(t, setup::ColStepNo), numbers(3));
        t = named(6);
        QVERIFY(!t.removeRange(1, 6));
        QCOMPARE(t.count(), 0);
    }

    // More than 1000 steps to move up (or to copy) is refused; exactly 1000 is held.
    void bufferLimit()
    {
        StepTable t = named(1002);
        auto refused = t.removeRange(1, 1);
        QVERIFY(refused);
        QCOMPARE(refused->title, QStringLiteral("Too Many Test Steps."));
        QCOMPARE(t.count(), 1002);
        QVERIFY(!t.removeRange(1, 2));
        QCOMPARE(t.count(), 1000);
        QCOMPARE(t.text(1, setup::ColElapse), QStringLiteral("t3"));

        t = named(1001);
        QVERIFY(t.copyPaste(1, 1001, 1, false, 100));
        QCOMPARE(t.count(), 1001);
        QVERIFY(!t.copyPaste(1, 1000, 1, false, 100));
        QCOMPARE(t.count(), 2001);
    }

    void copyPaste_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("pasteTo");
        QTest::addColumn<bool>("before");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("2..3 after 4") << 2 << 3 << 4 << false << QStringList{"t1", "t2", "t3", "t4", "t2", "t3", "t5"};
        QTest::newRow("2..3 before 4") << 2 << 3 << 4 << true << QStringList{"t1", "t2", "t3", "t2", "t3", "t4", "t5"};
        QTest::newRow("1..5 before 1") << 1 << 5 << 1 << true
                                       << QStringList{"t1", "t2", "t3", "t4", "t5", "t1", "t2", "t3", "t4", "t5"};
        QTest::newRow("4..5 after 5") << 4 << 5 << 5 << false << QStringList{"t1", "t2", "t3", "t4", "t5", "t4", "t5"};
        QTest::newRow("3..4 after 3 (inside the range)")
            << 3 << 4 << 3 << false << QStringList{"t1", "t2", "t3", "t3", "t4", "t4", "t5"};
    }

    // The copies land next to the paste step, take the new temperature, keep time and interval.
    void copyPaste()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, pasteTo);
        QFETCH(bool, before);
        QFETCH(QStringList, order);
        StepTable t = named(5);
        for (int k = 1; k <= 5; ++k) t.setText(k, setup::ColRate, QString::number(10 * k));
        QVERIFY(!t.copyPaste(from, to, pasteTo, before, 250.5));
        QCOMPARE(column(t, setup::ColElapse), order);
        QCOMPARE(column(t, setup::ColStepNo), numbers(int(order.size())));
        const int first = before ? pasteTo : pasteTo + 1;
        for (int k = 0; k <= to - from; ++k) {
            QCOMPARE(t.text(first + k, setup::ColTemp), QStringLiteral("251"));
            QCOMPARE(t.text(first + k, setup::ColRate), QString::number(10 * (from + k)));
        }
        // The steps outside the copies keep their temperature.
        QCOMPARE(t.text(first == 1 ? order.size() : 1, setup::ColTemp), QStringLiteral("100"));
    }

    // Copy 1..1 after step 1 at 300.6 °F: a new step 2 equal to step 1 but at 301; an empty entry is 0.
    void copyTemperature()
    {
        StepTable t;
        t.append({"1", "30.", "212.", "60"});
        QVERIFY(!t.copyPaste(1, 1, 1, false, 300.6));
        QCOMPARE(t.count(), 2);
        QCOMPARE(t.rows()[1], (setup::StepRow{"2", "30.", "301", "60"}));
        QVERIFY(!t.copyPaste(2, 2, 2, false, 0));
        QCOMPARE(t.text(3, setup::ColTemp), QStringLiteral("0"));
    }

    void builder_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("temp");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("rows");          // -1: refused
        QTest::addColumn<QString>("outcome");   // first row's texts joined by "|", or the message
        QTest::newRow("5, 30, 212.4, 60") << 1 << "5" << "30" << "212.4" << "60" << 5 << "1|30|212|60";
        QTest::newRow("half up") << 1 << "1" << "2.25" << "212.5" << "15" << 1 << "1|2.25|213|15";
        QTest::newRow("fractional count: its whole part") << 1 << "2.7" << "1" << "100" << "5" << 2 << "1|1|100|5";
        QTest::newRow("100 steps") << 1 << "100" << "1" << "100" << "5" << 100 << "1|1|100|5";
        QTest::newRow("step time not checked here") << 1 << "1" << "" << "100" << "5" << 1 << "1|0|100|5";
        QTest::newRow("SI -17.7") << 2 << "1" << "1" << "-17.7" << "5" << 1 << "1|1|-18|5";
        QTest::newRow("count 0") << 1 << "0" << "1" << "100" << "5" << -1 << "You must input the total number of steps.";
        QTest::newRow("count 0.5") << 1 << "0.5" << "1" << "100" << "5" << -1
                                   << "You must input the total number of steps.";
        QTest::newRow("count text") << 1 << "abc" << "1" << "100" << "5" << -1
                                    << "You must input the total number of steps.";
        QTest::newRow("101 steps") << 1 << "101" << "1" << "100" << "5" << -1 << "Sequence can not over 100 steps";
        QTest::newRow("1e9 steps") << 1 << "1e9" << "1" << "100" << "5" << -1 << "Sequence can not over 100 steps";
        QTest::newRow("English 680.1") << 1 << "2" << "1" << "680.1" << "5" << -1
                                       << "Temperature input out of range. Temperature can not be set over 680";
        QTest::newRow("SI 360.1") << 2 << "2" << "1" << "360.1" << "5" << -1
                                  << "Temperature input out of range. Temperature can not be set over 360";
        QTest::newRow("English -1") << 1 << "2" << "1" << "-1" << "5" << -1
                                    << "Temperature input out of range. Temperature can not be set over 680";
        QTest::newRow("interval 0") << 1 << "2" << "1" << "100" << "0" << -1
                                    << "Interval input out of range. Interval must >0";
    }

    // The builder replaces the grid with equal steps, or refuses and leaves it as it was.
    void builder()
    {
        QFETCH(int, units);
        QFETCH(QString, total);
        QFETCH(QString, time);
        QFETCH(QString, temp);
        QFETCH(QString, interval);
        QFETCH(int, rows);
        QFETCH(QString, outcome);
        testsupport::setUnits(units);
        StepTable t = named(3);
        const auto refused = t.build(total, time, temp, interval);
        if (rows < 0) {
            QVERIFY(refused);
            QCOMPARE(refused->message, outcome);
            QCOMPARE(t.count(), 3);
            return;
        }
        QVERIFY(!refused);
        QCOMPARE(t.count(), rows);
        const QStringList first = outcome.split('|');
        for (int k = 1; k <= rows; ++k) {
            QCOMPARE(t.text(k, 0), QString::number(k));
            for (int c = 1; c < 4; ++c) QCOMPARE(t.text(k, c), first[c]);
        }
    }

    void saveChecks_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<QStringList>("row3");   // elapse, temperature, interval of step 3 (of 4)
        QTest::addColumn<int>("column");         // failing column, 0 = saves
        QTest::addColumn<QString>("message");
        QTest::addColumn<double>("storedTemp");  // step 3 as stored, when it saves
        QTest::newRow("good") << 1 << QStringList{"30", "212", "60"} << 0 << "" << 212.0;
        QTest::newRow("elapse 0") << 1 << QStringList{"0", "212", "60"} << 1 << "Elapse Time input out of range." << 0.0;
        QTest::newRow("elapse text") << 1 << QStringList{"abc", "212", "60"} << 1 << "Elapse Time input out of range."
                                     << 0.0;
        QTest::newRow("elapse leading number") << 1 << QStringList{"5 min", "212", "60"} << 0 << "" << 212.0;
        QTest::newRow("English 350.5") << 1 << QStringList{"1", "350.5", "60"} << 0 << "" << 351.0;
        QTest::newRow("English 680") << 1 << QStringList{"1", "680", "60"} << 0 << "" << 680.0;
        QTest::newRow("English 680.01") << 1 << QStringList{"1", "680.01", "60"} << 2
                                        << "Temperature input out of range." << 0.0;
        QTest::newRow("English -0.01") << 1 << QStringList{"1", "-0.01", "60"} << 2 << "Temperature input out of range."
                                       << 0.0;
        QTest::newRow("SI -17") << 2 << QStringList{"1", "-17", "60"} << 0 << "" << 1.0;
        QTest::newRow("SI 360") << 2 << QStringList{"1", "360", "60"} << 0 << "" << 680.0;
        QTest::newRow("SI 360.1") << 2 << QStringList{"1", "360.1", "60"} << 2 << "Temperature input out of range." << 0.0;
        QTest::newRow("SI -17.8") << 2 << QStringList{"1", "-17.8", "60"} << 2 << "Temperature input out of range." << 0.0;
        QTest::newRow("interval 0") << 1 << QStringList{"1", "100", "0"} << 3 << "Record interval input out of range."
                                    << 0.0;
        QTest::newRow("elapse first") << 1 << QStringList{"0", "900", "0"} << 1 << "Elapse Time input out of range." << 0.0;
        QTest::newRow("elapse 1e308") << 1 << QStringList{"1e308", "212", "60"} << 1 << "Elapse Time input out of range."
                                      << 0.0;
        QTest::newRow("elapse 60000") << 1 << QStringList{"60000", "212", "60"} << 0 << "" << 212.0;
        QTest::newRow("interval 3600000.5") << 1 << QStringList{"1", "212", "3600000.5"} << 3
                                            << "Record interval input out of range." << 0.0;
        QTest::newRow("SI temperature blank") << 2 << QStringList{"1", "", "60"} << 2 << "Temperature input out of range."
                                              << 0.0;
        QTest::newRow("temperature -inf") << 1 << QStringList{"1", "-inf", "60"} << 2 << "Temperature input out of range."
                                          << 0.0;
    }

    // Step 3 of 4 fails or saves; the failure names its row and column; earlier steps pass.
    void saveChecks()
    {
        QFETCH(int, units);
        QFETCH(QStringList, row3);
        QFETCH(int, column);
        QFETCH(QString, message);
        QFETCH(double, storedTemp);
        testsupport::setUnits(units);
        StepTable t;
        for (int k = 1; k <= 4; ++k) t.append({QString::number(k), "10", "50", "60"});
        for (int c = 1; c < 4; ++c) t.setText(3, c, row3[c - 1]);
        t.setText(4, 1, "0");   // a later failure is not reached first
        const auto failure = t.checkForSave();
        QVERIFY(failure);
        if (column == 0) {
            QCOMPARE(failure->row, 4);
            QCOMPARE(t.stored()[2].temp, storedTemp);
            QCOMPARE(t.stored()[2].stepNo, 3.0);
            return;
        }
        QCOMPARE(failure->row, 3);
        QCOMPARE(failure->column, column);
        QCOMPARE(failure->message, message);
    }

    // 100 steps pass, 101 are refused before any cell is read; no steps pass.
    void saveLimit()
    {
        StepTable t;
        QVERIFY(!t.checkForSave());
        for (int k = 1; k <= 100; ++k) t.append({QString::number(k), "1", "100", "1"});
        QVERIFY(!t.checkForSave());
        t.append({"101", "0", "100", "1"});
        const auto failure = t.checkForSave();
        QVERIFY(failure);
        QCOMPARE(failure->row, 0);
        QCOMPARE(failure->message, QStringLiteral("Sequence can not over 100 steps"));
    }

    void fill_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<double>("temp");   // stored °F
        QTest::addColumn<QString>("shown");
        QTest::newRow("English 351") << 1 << 351.0 << "351.";
        QTest::newRow("SI 212") << 2 << 212.0 << "100.";
        QTest::newRow("SI 213") << 2 << 213.0 << "100.56";
        QTest::newRow("SI 1") << 2 << 1.0 << "-17.22";
    }

    // Stored steps as the grid shows them: step number and interval plain, time and temperature "##0.##".
    void fill()
    {
        QFETCH(int, units);
        QFETCH(double, temp);
        QFETCH(QString, shown);
        testsupport::setUnits(units);
        StepTable t;
        t.fill({{1, 30, temp, 60}, {2, 2.125, temp, 0.5}});
        QCOMPARE(t.rows()[0], (setup::StepRow{"1", "30.", shown, "60"}));
        QCOMPARE(t.rows()[1], (setup::StepRow{"2", "2.13", shown, "0.5"}));
    }

    void insertDialog_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("temp");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("field");   // 0 = accepted
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("time 60000") << 1 << "60000" << "100" << "5" << 0 << "" << "";
        QTest::newRow("time and rate 0 pass here") << 1 << "0" << "0" << "0" << 0 << "" << "";
        QTest::newRow("time 60000.1") << 1 << "60000.1" << "100" << "5" << 1 << "Invalid time input"
                                      << "Time input out of range";
        QTest::newRow("time -1") << 1 << "-1" << "100" << "5" << 1 << "Invalid time input" << "Time input out of range";
        QTest::newRow("SI -17.7") << 2 << "1" << "-17.7" << "5" << 0 << "" << "";
        QTest::newRow("SI -17.8") << 2 << "1" << "-17.8" << "5" << 2 << "Invalid temperature input"
                                  << "Temperature input out of range";
        QTest::newRow("English 681") << 1 << "1" << "681" << "5" << 2 << "Invalid temperature input"
                                     << "Temperature input out of range";
        QTest::newRow("rate -0.5") << 1 << "1" << "100" << "-0.5" << 3 << "Invalid data recording rate input"
                                   << "Data recording rate input out of range";
    }

    void insertDialog()
    {
        QFETCH(int, units);
        QFETCH(QString, time);
        QFETCH(QString, temp);
        QFETCH(QString, rate);
        QFETCH(int, field);
        QFETCH(QString, message);
        QFETCH(QString, title);
        testsupport::setUnits(units);
        const auto checked = setup::dialogs::checkInsert(time, temp, rate);
        if (field == 0) {
            const auto& v = std::get<setup::dialogs::InsertValues>(checked);
            QCOMPARE(v.time, time.toDouble());
            QCOMPARE(v.temp, temp.toDouble());
            QCOMPARE(v.rate, rate.toDouble());
            return;
        }
        const auto& r = std::get<setup::dialogs::InsertRefusal>(checked);
        QCOMPARE(r.field, field);
        QCOMPARE(r.refusal.message, message);
        QCOMPARE(r.refusal.title, title);
    }

    void rangeDialogs_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("pasteTo");
        QTest::addColumn<QString>("newTemp");
        QTest::addColumn<QString>("deleteMessage");   // empty: accepted
        QTest::addColumn<QString>("copyMessage");
        const QString delOrder = "Deleted steps should be listed in order from lower to higher numbered steps";
        const QString copyOrder = "Copied steps should be listed in order from lower to higher numbered steps";
        const QString delRange = "Deleted steps should be existing steps, numbered from 1 to 6";
        const QString copyRange = "Copied steps should be existing steps, numbered from 1 to 6";
        const QString pasteTarget = "Paste target step should be an existing step, numbered from 1 to 6";
        QTest::newRow("2..4") << "2" << "4" << "6" << "100" << "" << "";
        QTest::newRow("4..2") << "4" << "2" << "1" << "100" << delOrder << copyOrder;
        QTest::newRow("0..2") << "0" << "2" << "1" << "100" << delRange << copyRange;
        QTest::newRow("-1..2") << "-1" << "2" << "1" << "100" << delRange << copyRange;
        QTest::newRow("5..7") << "5" << "7" << "1" << "100" << delRange << copyRange;
        QTest::newRow("paste to 7") << "1" << "2" << "7" << "100" << "" << pasteTarget;
        QTest::newRow("paste to 0") << "1" << "2" << "0" << "100" << "" << pasteTarget;
        QTest::newRow("empty entries") << "" << "" << "1" << "100" << delRange << copyRange;
        QTest::newRow("temperature 680.5") << "1" << "2" << "1" << "680.5" << "" << "Invalid new target temperature";
        QTest::newRow("temperature empty") << "1" << "2" << "1" << "" << "" << "";
    }

    // Ranges must be in order and name existing steps; the copy's temperature must be in range.
    void rangeDialogs()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, pasteTo);
        QFETCH(QString, newTemp);
        QFETCH(QString, deleteMessage);
        QFETCH(QString, copyMessage);
        const auto del = setup::dialogs::checkDeleteRange(from, to, 6);
        if (deleteMessage.isEmpty()) {
            QCOMPARE(std::get<setup::dialogs::Range>(del).from, from.toInt());
            QCOMPARE(std::get<setup::dialogs::Range>(del).to, to.toInt());
        } else {
            QCOMPARE(std::get<setup::Refusal>(del).message, deleteMessage);
            QCOMPARE(std::get<setup::Refusal>(del).title, QStringLiteral("Step No. input invalid"));
        }
        const auto copy = setup::dialogs::checkCopy(from, to, pasteTo, newTemp, "12", 6);
        if (copyMessage.isEmpty()) {
            const auto& v = std::get<setup::dialogs::CopyValues>(copy);
            QCOMPARE(v.pasteTo, pasteTo.toInt());
            QCOMPARE(v.newTemp, newTemp.toDouble());
            QCOMPARE(v.newPressure, 12.0);
        } else {
            QCOMPARE(std::get<setup::Refusal>(copy).message, copyMessage);
        }
    }

    void sharedPort_data()
    {
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<int>("unit");
        QTest::newRow("file example") << QList<int>{0, 3, 0, 0, 0, 0, 0, 5} << 0;
        QTest::newRow("all None") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << 0;
        QTest::newRow("1 and 4 on Comm 2") << QList<int>{2, 0, 0, 2, 0, 0, 0, 0} << 1;
        QTest::newRow("3 and 8 on Comm 20") << QList<int>{1, 2, 20, 4, 5, 6, 7, 20} << 3;
        QTest::newRow("two without a choice") << QList<int>{0, -1, 0, 0, -1, 0, 0, 0} << 2;
        QTest::newRow("one without a choice") << QList<int>{0, -1, 0, 0, 0, 0, 0, 1} << 0;
    }

    void sharedPort()
    {
        QFETCH(QList<int>, choices);
        QFETCH(int, unit);
        std::array<int, 8> a{};
        std::copy(choices.begin(), choices.end(), a.begin());
        QCOMPARE(setup::FirstSharedPort(a), unit);
        QCOMPARE(setup::PortEntries().size(), 21);
        QCOMPARE(setup::PortEntries().first(), QStringLiteral("None"));
        QCOMPARE(setup::PortEntries().at(20), QStringLiteral("Comm 20"));
    }
};

QTEST_GUILESS_MAIN(StepTableTest)
#include "tst_steptable.moc"
