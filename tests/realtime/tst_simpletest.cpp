// The simple-test screen's cells: ZERO, test information, Preheat, SET, START / STOP, the automatic stops
// and closing the screen, driven through the named controls with a fake unit, a manual clock and
// scripted message boxes.
#include "SimpleTestRig.h"

#include "realtime/ActiveTests.h"
#include "realtime/CellControl.h"
#include "records/format.h"

#include <QRegularExpression>

using platform::Answer;
using platform::Buttons;
using platform::ScriptedPrompts;
using realtime::CellControl;
using rig::Rig;

namespace {
const QString kPressureMessage = QStringLiteral(
    "Instrument No. 1, Cell A\rInsufficient pressure available for test at current temperature setting.  "
    "Please add more pressure or decrease temperature.");
const QByteArray kStopA = QByteArray("\x05" "A,000\x1a" "\x07" "A\x1a");
const QByteArray kStopB = QByteArray("\x05" "B,000\x1a" "\x07" "B\x1a");

QString rows(const QString& sql) { return testsupport::sqlValue(sql); }
} // namespace

class tst_SimpleTest : public QObject {
    Q_OBJECT
private slots:
    void walkThroughATest();
    void zero_data();
    void zero();
    void setPointLimits_data();
    void setPointLimits();
    void refusedOrder();
    void stopAnsweredNo();
    void startWithRefusedSetPoint();
    void overTemperatureTrip_data();
    void overTemperatureTrip();
    void maximumTimeStop();
    void closing_data();
    void closing();
    void deadLink();
    void resendsOfTheSetPointInForce_data();
    void resendsOfTheSetPointInForce();
    void testNameShownAsTyped();
    void detailWindowsGoWithTheScreen();
};

void tst_SimpleTest::walkThroughATest()
{
    Rig r;
    QVERIFY(!r.find<QPushButton>(Rig::at("cmdDetail", 1))->isEnabled());
    QCOMPARE(r.text("Label44", 3), QStringLiteral("No Test"));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("0.0"));
    QCOMPARE(r.text("txtInterval", 1), QStringLiteral("30"));
    QCOMPARE(r.text("txtMaxTime", 1), QStringLiteral("30"));

    // ZERO at 2.5 V: calibrated length 0.25 in.
    r.zero(1, QStringLiteral("0.25"));
    QCOMPARE(r.prompts.shown.back().kind, ScriptedPrompts::Kind::Input);
    QCOMPARE(r.prompts.shown.back().text, QStringLiteral("Input dry wafer Length (in.)"));
    QCOMPARE(r.prompts.shown.back().title, QStringLiteral("Input dry wafer Length (in.)"));
    QCOMPARE(r.cell(1).waferLength, 0.25);
    QCOMPARE(r.cell(1).zeroVolts, 2.5f);

    // Enter Info: the dialog stores the header, the cell takes its id and stored length.
    r.enterInfo(1, QStringLiteral("Walk"));
    QCOMPARE(r.dialogs, 1);
    QCOMPARE(r.text("lblTestname", 1), QStringLiteral("Walk"));
    const int id = rows(QStringLiteral("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = 'Walk'")).toInt();
    QVERIFY(id > 0);
    QCOMPARE(r.cell(1).testId, id);
    QCOMPARE(r.cell(1).testName, QStringLiteral("Walk"));
    QCOMPARE(rows(QStringLiteral("SELECT SAMPLE_LENGTH FROM TEST_INFO WHERE TEST_ID = %1").arg(id)).toDouble(), 0.25);
    QVERIFY(!r.find<QPushButton>(Rig::at("cmdInfo", 1))->isEnabled());
    QVERIFY(!Module1::TestRelateForms[1]);

    // Preheat to 150 °F; a bath 10 °F below the set point is ready, 10.1 °F below is not.
    r.type("txtTemps", 1, QStringLiteral("150"));
    r.click("cmdPreHeat", 1);
    QCOMPARE(r.port->written, QByteArray("\x06" "A,150\x1a"));
    QCOMPARE(r.cell(1).state, int(realtime::CellPreheating));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Preheat"));
    r.feed(1, 130, 2500, 0, 139.9);
    r.tick();
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Preheat"));
    r.feed(1, 130, 2500, 0, 140);
    r.tick();
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Preheat ready"));

    // START with a 10 s interval.
    r.port->written.clear();
    r.type("txtInterval", 1, QStringLiteral("10"));
    r.start(1);
    QCOMPARE(r.port->written, QByteArray("\x05" "A,150\x1a"));
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("STOP"));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Test Running"));
    QVERIFY(r.find<QPushButton>(Rig::at("cmdDetail", 1))->isEnabled());
    QVERIFY(QRegularExpression(QStringLiteral("^ \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                .match(r.text("lblstarttime", 1)).hasMatch());
    frmTestDetail* detail = r.detail(1);
    QVERIFY(detail);
    QVERIFY(!detail->isVisible());
    QCOMPARE(detail->TestId(), id);
    QCOMPARE(detail->txtTestInfo[1]->text(), QStringLiteral("Walk"));
    QVERIFY(!detail->InfoChanged());

    // 30 s of readings: the swell rises 4 % and the temperature 10 °F every 10 s.
    for (int k = 1; k <= 60; ++k) {
        r.feed(1, 140 + 0.5 * k, 2500 + 5 * k, 20, 145);
        r.tick();
        if (k == 19) QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TEST_RESULT")), QStringLiteral("0"));
    }
    QCOMPARE(r.text("lblElapseTime", 1), QStringLiteral("00:00:30"));
    QCOMPARE(rows(QStringLiteral("SELECT group_concat(RESULT_TIME || '/' || STEP_NO || '/' || RESULT_TEMP || '/' || "
                                 "RESULT_BATHTEMP || '/' || RESULT_PRESS, ' ') FROM (SELECT * FROM TEST_RESULT "
                                 "WHERE TEST_ID = %1 ORDER BY RESULT_TIME)").arg(id)),
             QStringLiteral("10.0/1/150.0/145.0/20.0 20.0/1/160.0/145.0/20.0 30.0/1/170.0/145.0/20.0"));
    const double change[3] = {0.01, 0.02, 0.03};
    for (int i = 0; i < 3; ++i) {
        const double stored = rows(QStringLiteral("SELECT RESULT_HEIGHT_CHANGE FROM TEST_RESULT WHERE TEST_ID = %1 "
                                                  "ORDER BY RESULT_TIME LIMIT 1 OFFSET %2").arg(id).arg(i)).toDouble();
        QVERIFY2(std::fabs(stored - change[i]) < 1e-12, qPrintable(QString::number(stored, 'g', 17)));
    }

    // The detail rows.
    QCOMPARE(detail->PointCount(), 3);
    const QStringList first = {QStringLiteral("00:00:10"), QStringLiteral("1"), QStringLiteral("150."),
                               QStringLiteral("20"), QStringLiteral("0.01"), QStringLiteral("4."),
                               QStringLiteral("2.6"), QStringLiteral("145.")};
    for (int col = 0; col < 8; ++col) QCOMPARE(detail->PointText(0, col), first[col]);
    QCOMPARE(detail->PointText(2, 0), QStringLiteral("00:00:30"));
    QCOMPARE(detail->PointText(2, 5), QStringLiteral("12."));

    // The chart: swell and temperature (the boxes ticked at load) of the running cell.
    platform::Chart* chart = r.screen->Pesgo1;
    QCOMPARE(chart->subsetCount(), 2);
    QCOMPARE(chart->subsetLabel(0), QStringLiteral("Walk-Swell"));
    QCOMPARE(chart->subsetLabel(1), QStringLiteral("Walk-Temp."));
    QCOMPARE(chart->drawnX(0), (std::vector<double>{float(10.0 / 60), float(20.0 / 60), float(30.0 / 60)}));
    const std::vector<double> swell = chart->drawnY(0);
    QCOMPARE(swell.size(), std::size_t(3));
    for (int i = 0; i < 3; ++i) QVERIFY(std::fabs(swell[std::size_t(i)] - 4.0 * (i + 1)) < 1e-4);
    QCOMPARE(chart->drawnY(1), (std::vector<double>{150, 160, 170}));

    // STOP, answered Yes: 000 before the stop command.
    r.port->written.clear();
    r.port->writes.clear();
    r.prompts.queueAnswer(Answer::Yes);
    r.click("cmdStart", 1);
    QCOMPARE(r.prompts.shown.back().text, QStringLiteral("Are you sure you want to stop the test?"));
    QCOMPARE(r.prompts.shown.back().buttons, Buttons::YesNo);
    QCOMPARE(r.port->written, kStopA);
    QCOMPARE(r.port->writes.size(), 2);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("Test Stop"));
    QCOMPARE(r.text("txtTemps", 1), QStringLiteral("0"));
    QCOMPARE(r.text("lblTestname", 1), QString());
    QVERIFY(!r.find<QPushButton>(Rig::at("cmdDetail", 1))->isEnabled());
    QVERIFY(r.find<QPushButton>(Rig::at("cmdInfo", 1))->isEnabled());
    QCOMPARE(r.cell(1).waferLength, 0.0);

    // Nothing more is logged; the rows and the detail rows stay.
    r.run(40);
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TEST_RESULT")), QStringLiteral("3"));
    QCOMPARE(detail->PointCount(), 3);
}

void tst_SimpleTest::zero_data()
{
    QTest::addColumn<int>("unitSystem");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("mV");
    QTest::addColumn<double>("intercept");   // calibration: length = 0.1 × volts + intercept
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    QTest::addColumn<double>("waferLength");
    QTest::addColumn<double>("zeroLength");

    const QString none;
    const QString app = platform::defaultTitle();
    QTest::newRow("0.0499 apart: accepted") << 1 << "0.25" << 2500.0 << 0.0499 << none << none << 0.25 << 0.2999;
    // The calibrated length is kept although the answer is refused.
    QTest::newRow("0.06 apart: refused") << 1 << "0.25" << 2500.0 << 0.06 << CellControl::MismatchMessage
                                         << QStringLiteral("WARNING") << 0.0 << 0.31;
    QTest::newRow("-0.5 V: accepted") << 1 << "0.25" << -500.0 << 0.3 << none << none << 0.25 << 0.25;
    QTest::newRow("below -0.5 V: too thin") << 1 << "0.25" << -500.1 << 0.3 << CellControl::TooThinMessage << app
                                            << 0.0 << 0.0;
    QTest::newRow("4.8 V: too thick") << 1 << "0.25" << 4800.0 << -0.23 << CellControl::TooThickMessage << app
                                      << 0.0 << 0.0;
    QTest::newRow("not a number") << 1 << "abc" << 2500.0 << 0.0 << CellControl::NotNumericMessage << app << 0.0 << 0.0;
    QTest::newRow("number with text after it") << 1 << "0.25in" << 2500.0 << 0.0 << CellControl::NotNumericMessage
                                                << app << 0.0 << 0.0;
    QTest::newRow("thousands separator") << 1 << "1,000" << 2500.0 << 0.0 << CellControl::NotNumericMessage << app
                                         << 0.0 << 0.0;
    QTest::newRow("SI millimetres") << 2 << "6.35" << 2500.0 << 0.0 << none << none << 6.35 / 25.4 << 0.25;
}

void tst_SimpleTest::zero()
{
    QFETCH(int, unitSystem);
    QFETCH(QString, answer);
    QFETCH(double, mV);
    QFETCH(double, intercept);
    QFETCH(QString, message);
    QFETCH(QString, title);
    QFETCH(double, waferLength);
    QFETCH(double, zeroLength);

    Rig r(unitSystem);
    Rig::calibrate(1, 0.1, intercept);
    r.zero(1, answer, mV);
    const auto& shown = r.prompts.shown;
    QCOMPARE(shown.front().text, unitSystem == 1 ? QStringLiteral("Input dry wafer Length (in.)")
                                                 : QStringLiteral("Input dry wafer Length (mm)"));
    if (message.isEmpty()) {
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(r.cell(1).zeroVolts, float(mV / 1000));
    } else {
        QCOMPARE(int(shown.size()), 2);
        QCOMPARE(shown.back().text, message);
        QCOMPARE(shown.back().title, title);
        QCOMPARE(r.cell(1).zeroVolts, 0.0f);
    }
    QVERIFY(std::fabs(r.cell(1).waferLength - waferLength) < 1e-12);
    QVERIFY(std::fabs(r.cell(1).zeroLength - zeroLength) < 1e-12);

    // An empty answer (or Cancel) changes nothing.
    r.prompts.clear();
    r.click("cmdzero", 1);
    QCOMPARE(int(r.prompts.shown.size()), 1);
    QVERIFY(std::fabs(r.cell(1).waferLength - waferLength) < 1e-12);
}

void tst_SimpleTest::setPointLimits_data()
{
    QTest::addColumn<int>("unitSystem");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("setPoint");
    QTest::addColumn<double>("psi");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("sent");

    const QString ok;
    const QString max = CellControl::MaxTemperatureMessage;
    QTest::newRow("SET 680 F") << 1 << "cmdTempSet" << "680" << 1100.0 << ok << QByteArray("\x05" "A,680\x1a");
    QTest::newRow("SET 680.01 F") << 1 << "cmdTempSet" << "680.01" << 1100.0 << max + "680." << QByteArray();
    QTest::newRow("SET 360 C") << 2 << "cmdTempSet" << "360" << 1100.0 << ok << QByteArray("\x05" "A,680\x1a");
    QTest::newRow("SET 360.01 C") << 2 << "cmdTempSet" << "360.01" << 1100.0 << max + "360." << QByteArray();
    QTest::newRow("Preheat 200 F") << 1 << "cmdPreHeat" << "200" << 0.0 << ok << QByteArray("\x06" "A,200\x1a");
    QTest::newRow("Preheat 200.1 F") << 1 << "cmdPreHeat" << "200.1" << 0.0 << max + "200.when you Preheat"
                                     << QByteArray();
    QTest::newRow("Preheat 93.3 C") << 2 << "cmdPreHeat" << "93.3" << 0.0 << ok << QByteArray("\x06" "A,200\x1a");
    QTest::newRow("Preheat 93.4 C") << 2 << "cmdPreHeat" << "93.4" << 0.0 << max + "93.3when you Preheat"
                                    << QByteArray();
    QTest::newRow("210 F, no pressure") << 1 << "cmdTempSet" << "210" << 0.0 << ok << QByteArray("\x05" "A,210\x1a");
    // The rule takes 210.5 to the even 210; the command rounds it away from zero.
    QTest::newRow("210.5 F, no pressure") << 1 << "cmdTempSet" << "210.5" << 0.0 << ok
                                          << QByteArray("\x05" "A,211\x1a");
    QTest::newRow("211 F, 99 psi") << 1 << "cmdTempSet" << "211" << 99.0 << kPressureMessage << QByteArray();
    QTest::newRow("211 F, 100 psi") << 1 << "cmdTempSet" << "211" << 100.0 << ok << QByteArray("\x05" "A,211\x1a");
    QTest::newRow("300 F, 200 psi") << 1 << "cmdTempSet" << "300" << 200.0 << kPressureMessage << QByteArray();
    QTest::newRow("300 F, 201 psi") << 1 << "cmdTempSet" << "300" << 201.0 << ok << QByteArray("\x05" "A,300\x1a");
}

void tst_SimpleTest::setPointLimits()
{
    QFETCH(int, unitSystem);
    QFETCH(QString, button);
    QFETCH(QString, setPoint);
    QFETCH(double, psi);
    QFETCH(QString, message);
    QFETCH(QByteArray, sent);

    Rig r(unitSystem);
    r.feed(1, 70, 2500, psi);
    r.tick();
    r.type("txtTemps", 1, setPoint);
    r.find<QPushButton>(Rig::at(button.toLatin1().constData(), 1))->click();
    QCOMPARE(r.port->written, sent);
    QCOMPARE(r.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    const bool preheat = button == QStringLiteral("cmdPreHeat");
    QCOMPARE(r.cell(1).state, preheat && message.isEmpty() ? int(realtime::CellPreheating) : int(realtime::CellIdle));
    if (!preheat) QCOMPARE(r.screen->control(1).setPointSent(), message.isEmpty());
}

// The order of use: ZERO before Enter Info, information before START, a new ZERO after a stop.
void tst_SimpleTest::refusedOrder()
{
    Rig r;
    r.click("cmdInfo", 1);
    QCOMPARE(r.messages(), QStringList{CellControl::ZeroFirstMessage});
    QCOMPARE(r.dialogs, 0);

    r.prompts.clear();
    r.click("cmdStart", 1);
    QCOMPARE(r.messages(), QStringList{CellControl::EnterInfoFirstMessage});
    QVERIFY(r.port->written.isEmpty());

    // A cancelled dialog leaves the cell without a test.
    r.zero(1, QStringLiteral("0.25"));
    r.prompts.clear();
    r.cancelDialog = true;
    r.enterInfo(1, QStringLiteral("Never"));
    QCOMPARE(r.messages(), QStringList{QStringLiteral("CELL 1  information is not setting ")});
    QCOMPARE(r.cell(1).testName, QString());
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TEST_INFO")), QStringLiteral("0"));

    // After a test has stopped, the next one needs a new ZERO.
    r.cancelDialog = false;
    r.runCell(1, QStringLiteral("First"));
    r.prompts.queueAnswer(Answer::Yes);
    r.click("cmdStart", 1);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    r.prompts.clear();
    r.click("cmdInfo", 1);
    QCOMPARE(r.messages(), QStringList{CellControl::ZeroFirstMessage});
    QCOMPARE(r.dialogs, 2);
}

void tst_SimpleTest::stopAnsweredNo()
{
    Rig r;
    r.runCell(1, QStringLiteral("Keep"));
    r.port->written.clear();
    r.prompts.queueAnswer(Answer::No);
    r.click("cmdStart", 1);
    QCOMPARE(r.messages().last(), CellControl::StopQuestion);
    QVERIFY(r.port->written.isEmpty());
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("STOP"));
    QCOMPARE(r.cell(1).testName, QStringLiteral("Keep"));
}

void tst_SimpleTest::startWithRefusedSetPoint()
{
    Rig r;
    r.zero(1, QStringLiteral("0.25"));
    r.enterInfo(1, QStringLiteral("Hot"));
    r.type("txtTemps", 1, QStringLiteral("700"));
    r.prompts.clear();
    r.click("cmdStart", 1);
    QCOMPARE(r.messages(), QStringList{CellControl::MaxTemperatureMessage + QStringLiteral("680.")});
    QVERIFY(r.port->written.isEmpty());
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    QVERIFY(!r.screen->Timer1->isActive());
    QVERIFY(!r.find<QPushButton>(Rig::at("cmdDetail", 1))->isEnabled());
    QVERIFY(r.detail(1));   // the detail window is prepared all the same

    // Timing does not run: no point is logged however long the poll goes on.
    r.type("txtInterval", 1, QStringLiteral("1"));
    r.run(10);
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TEST_RESULT")), QStringLiteral("0"));
}

void tst_SimpleTest::overTemperatureTrip_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<double>("temp");
    QTest::addColumn<bool>("trips");
    QTest::newRow("running at 680") << true << 680.0 << false;
    QTest::newRow("running at 680.1") << true << 680.1 << true;
    QTest::newRow("preheating at 680") << false << 680.0 << false;
    QTest::newRow("preheating at 680.1") << false << 680.1 << true;
}

void tst_SimpleTest::overTemperatureTrip()
{
    QFETCH(bool, running);
    QFETCH(double, temp);
    QFETCH(bool, trips);

    Rig r;
    if (running) {
        r.runCell(1, QStringLiteral("Trip"));
    } else {
        r.type("txtTemps", 1, QStringLiteral("150"));
        r.click("cmdPreHeat", 1);
    }
    const int before = running ? int(realtime::CellRunning) : int(realtime::CellPreheating);
    QCOMPARE(r.cell(1).state, before);
    r.port->written.clear();
    r.prompts.clear();
    r.feed(1, temp, 2500);
    r.tick();
    if (trips) {
        QCOMPARE(r.port->written, kStopA);
        QCOMPARE(r.messages(), QStringList{realtime::UnitPoll::OverTemperatureMessage});
        QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
        QCOMPARE(r.text("Label44", 3), QStringLiteral("Test Stop"));
        // Stopped: a further hot record only shows.
        r.feed(1, temp, 2500);
        r.tick();
        QCOMPARE(r.messages().size(), 1);
    } else {
        QVERIFY(r.port->written.isEmpty());
        QVERIFY(r.messages().isEmpty());
        QCOMPARE(r.cell(1).state, before);
    }
}

void tst_SimpleTest::maximumTimeStop()
{
    Rig r;
    r.type("txtMaxTime", 1, QStringLiteral("1"));
    r.runCell(1, QStringLiteral("Short"));
    r.port->written.clear();
    r.run(119);
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    QVERIFY(r.port->written.isEmpty());
    r.run(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.port->written, kStopA);
    QVERIFY(r.messages().filter(QStringLiteral("stop")).isEmpty());   // no question, no message
    // The point due at the stop's tick (interval 30 s) is the last.
    QCOMPARE(rows(QStringLiteral("SELECT group_concat(RESULT_TIME) FROM TEST_RESULT")),
             QStringLiteral("30.0,60.0"));
}

void tst_SimpleTest::closing_data()
{
    QTest::addColumn<int>("stateA");
    QTest::addColumn<int>("stateB");
    QTest::addColumn<Answer>("answer");   // to the question about an unconfirmed stop
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("told");

    const int idle = realtime::CellIdle, running = realtime::CellRunning, preheating = realtime::CellPreheating;
    const QStringList refused{QStringLiteral("The test must be stopped before exiting the Real Time Test screen")};
    // No record follows the stop here: the unit has not confirmed it when the moment is over.
    const QStringList askedB{realtime::owedStopsQuestion({QStringLiteral("Instrument No. 1, Cell B")},
                                                         realtime::ScreenClosingWithOwedStops)};
    QTest::newRow("both idle") << idle << idle << Answer::Yes << true << QByteArray() << QStringList();
    QTest::newRow("A idle, B preheating, close anyway") << idle << preheating << Answer::Yes << true << kStopB << askedB;
    QTest::newRow("A idle, B preheating, kept open") << idle << preheating << Answer::No << false << kStopB << askedB;
    QTest::newRow("A running") << running << idle << Answer::Yes << false << QByteArray() << refused;
    QTest::newRow("A preheating, B running") << preheating << running << Answer::Yes << false << kStopA << refused;
}

void tst_SimpleTest::closing()
{
    QFETCH(int, stateA);
    QFETCH(int, stateB);
    QFETCH(Answer, answer);
    QFETCH(bool, closes);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, told);

    Rig r;
    const int states[3] = {0, stateA, stateB};
    for (int c = 1; c <= 2; ++c) {
        if (states[c] == realtime::CellRunning) r.runCell(c, QStringLiteral("Run%1").arg(c));
        if (states[c] == realtime::CellPreheating) {
            r.type("txtTemps", c, QStringLiteral("150"));
            r.click("cmdPreHeat", c);
        }
        QCOMPARE(r.cell(c).state, states[c]);
    }
    platform::FakeSerialPort* port = r.port;
    port->written.clear();
    r.prompts.clear();
    r.prompts.queueAnswer(answer);

    r.find<QPushButton>(QStringLiteral("cmdExit"))->click();
    // The port belongs to the screen: read it before a closed screen is deleted.
    QCOMPARE(port->written, sent);   // preheating cells are stopped first, also when the close is refused
    QCOMPARE(port->isOpen(), !closes);
    QCOMPARE(r.offered, closes ? QList<int>{1} : QList<int>());
    QCOMPARE(r.messages(), told);
    if (!closes) {
        if (stateA == realtime::CellRunning || stateB == realtime::CellRunning)
            QCOMPARE(r.cell(stateA == realtime::CellRunning ? 1 : 2).state, int(realtime::CellRunning));
        if (stateA == realtime::CellPreheating) QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
        // Kept open: the stop stays owed and goes out again when due, and the question stood for the
        // message that it will be sent.
        if (answer == Answer::No) {
            QVERIFY(r.cell(2).stopOwed);
            for (int i = 0; i < 4; ++i) {
                r.feed(1, 150, 2500, 0, 150, 0);
                r.feed(2, 150, 2500, 0, 150, 150);
                r.tick();
            }
            QCOMPARE(port->written, sent + kStopB);
            r.run(2);
            QVERIFY(!r.cell(2).stopOwed);
            QCOMPARE(r.messages(), told);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bool(r.screen.isNull()), closes);
}

// A command that cannot be written is not taken as sent: the operator is told, and no test starts or
// preheats on a unit that never got its set point. A stop still stops the cell on screen.
// A test name that looks like markup or holds "&" shows character for character.
void tst_SimpleTest::testNameShownAsTyped()
{
    Rig r;
    const QString name = QStringLiteral("<b>Salt</b> & Sand");
    r.zero(1, QStringLiteral("0.25"));
    r.enterInfo(1, name);
    QLabel* label = r.find<QLabel>(Rig::at("lblTestname", 1));
    QCOMPARE(label->text(), name);
    QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(name),
             qPrintable(QString::number(label->sizeHint().width())));
}

void tst_SimpleTest::deadLink()
{
    Rig r;
    r.zero(1, QStringLiteral("0.25"));
    r.enterInfo(1, QStringLiteral("Deaf"));
    r.type("txtTemps", 1, QStringLiteral("150"));
    r.port->failWrite = true;
    r.prompts.clear();

    r.click("cmdTempSet", 1);
    QCOMPARE(r.messages(), QStringList{CellControl::LinkFailedMessage});
    QVERIFY(!r.screen->control(1).setPointSent());

    r.click("cmdPreHeat", 1);
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
    QCOMPARE(r.text("Label44", 3), QStringLiteral("No Test"));

    r.click("cmdStart", 1);
    QCOMPARE(r.cell(1).state, int(realtime::CellIdle));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    QCOMPARE(r.messages().size(), 3);

    // The link comes back, the test starts; then it goes again and STOP is pressed.
    r.port->failWrite = false;
    r.start(1);
    QCOMPARE(r.cell(1).state, int(realtime::CellRunning));
    r.port->failWrite = true;
    r.prompts.clear();
    r.prompts.queueAnswer(Answer::Yes);
    r.click("cmdStart", 1);
    QCOMPARE(r.cell(1).state, int(realtime::CellStopped));
    QCOMPARE(r.text("cmdStart", 1), QStringLiteral("START"));
    // The stop shows, and the operator is told that the unit has not received it: it is owed.
    QCOMPARE(r.messages(), (QStringList{CellControl::StopQuestion,
                                        QStringLiteral("Instrument No. 1, Cell A\r") + CellControl::StopOwedMessageEnd}));
    QVERIFY(r.cell(1).stopOwed);

    // Nothing goes out while the unit does not answer; the first tick it answers on, with the link back,
    // "000" and StopCell go out, once, and nobody is told again.
    r.port->failWrite = false;
    r.port->written.clear();
    r.tick();
    QCOMPARE(r.port->written, QByteArray());
    for (int i = 0; i < 6; ++i) r.run(1);
    QCOMPARE(r.port->written, rig::bytes("\x05" "A,000\x1a\x07" "A\x1a"));
    QVERIFY(!r.cell(1).stopOwed);
    QCOMPARE(r.messages().size(), 2);
}

// The detail windows a screen made for its cells go with the screen; one the operator still has open stays
// until it is closed, and then goes.
void tst_SimpleTest::detailWindowsGoWithTheScreen()
{
    Rig r;
    for (int c = 1; c <= 2; ++c) {
        r.zero(c, QStringLiteral("0.25"));
        r.enterInfo(c, c == 1 ? QStringLiteral("CellA") : QStringLiteral("CellB"));
        r.type("txtTemps", c, QStringLiteral("150"));
        r.type("txtInterval", c, QStringLiteral("1"));
        r.start(c);
    }
    QPointer<frmTestDetail> hidden = r.detail(1);
    QPointer<frmTestDetail> open = r.detail(2);
    QVERIFY(hidden && open);
    hidden->hide();
    open->show();
    delete r.screen.data();
    QVERIFY(!hidden);
    QVERIFY(open);
    QVERIFY(open->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!open);
}

// What a unit that restarted behind a port that stays open is sent again: the set point in force (never the
// 900 or 650 typed into the boxes since), when its records come back after a silent tick, or while it reports
// another setting for more than two ticks in a row, every two seconds for as long as it does (never more
// often than one resend per cell in two seconds however the unit flaps); after three tries it did not take,
// the operator is told once. `reported`: the setting of each tick's record, -1 a tick without any record;
// `told`: the setting (°F) named in that message, 0 for none.
void tst_SimpleTest::resendsOfTheSetPointInForce_data()
{
    QTest::addColumn<bool>("preheat");   // else running
    QTest::addColumn<QList<double>>("reported");
    QTest::addColumn<int>("resends");
    QTest::addColumn<int>("told");
    const auto repeat = [](QList<double> part, int n) {
        QList<double> out;
        for (int i = 0; i < n; ++i) out += part;
        return out;
    };
    QTest::newRow("reports the set point") << false << repeat({150}, 8) << 0 << 0;
    QTest::newRow("a lag of two ticks") << false << QList<double>{150, 75, 75, 150, 150} << 0 << 0;
    QTest::newRow("quick restart") << false << QList<double>{150, 75, 75, 75, 75, 150, 150} << 1 << 0;
    // Ticks 4, 8, 12 ...: the fourth try (tick 16) tells the operator.
    QTest::newRow("first resend lost, the second taken") << false << repeat({75}, 8) + repeat({150}, 8) << 2 << 0;
    QTest::newRow("three resends lost, the fourth taken") << false << repeat({75}, 16) + repeat({150}, 8) << 4 << 75;
    QTest::newRow("keeps reporting another value") << false << repeat({75}, 30) << 7 << 75;
    QTest::newRow("then another value") << false << repeat({75}, 8) + repeat({80}, 8) << 4 << 80;
    QTest::newRow("one silent tick") << false << QList<double>{150, -1, 150, 150} << 1 << 0;
    QTest::newRow("flapping for 10 s") << false << QList<double>{150} + repeat({-1, 150}, 10) << 5 << 0;
    QTest::newRow("preheating, one silent tick") << true << QList<double>{200, -1, 200, 200} << 1 << 0;
    QTest::newRow("preheating, quick restart") << true << QList<double>{200, 75, 75, 75, 75, 200} << 1 << 0;
    QTest::newRow("preheating, never taken") << true << repeat({75}, 20) << 5 << 75;
}

void tst_SimpleTest::resendsOfTheSetPointInForce()
{
    QFETCH(bool, preheat);
    QFETCH(QList<double>, reported);
    QFETCH(int, resends);
    QFETCH(int, told);
    Rig r;
    const int c = preheat ? 2 : 1;
    if (preheat) {
        r.type("txtTemps", c, QStringLiteral("200"));
        r.click("cmdPreHeat", c);
        QCOMPARE(r.cell(c).state, int(realtime::CellPreheating));
    } else {
        r.runCell(c, QStringLiteral("Restarts"));
        QCOMPARE(r.cell(c).state, int(realtime::CellRunning));
    }
    r.type("txtTemps", c, preheat ? QStringLiteral("650") : QStringLiteral("900"));
    r.prompts.clear();
    const double inForce = preheat ? 200 : 150;
    for (int i = 0; i < 3; ++i) {
        r.feed(c, 150, 2500, 0, 150, inForce);
        r.tick();
    }
    r.port->written.clear();
    for (double setting : reported) {
        if (setting >= 0) r.feed(c, 150, 2500, 0, 150, setting);
        r.tick();
    }
    const QByteArray command = preheat ? rig::bytes("\x06" "B,200\x1a") : rig::bytes("\x05" "A,150\x1a");
    QCOMPARE(r.port->written, command.repeated(resends));
    QStringList messages;
    if (told)
        messages << QStringLiteral("Instrument No. 1, Cell %1\r").arg(preheat ? 'B' : 'A')
                        + realtime::UnitPoll::SetPointNotTakenMessageEnd.arg(QString::number(inForce) + " °F",
                                                                             QString::number(told) + " °F");
    QCOMPARE(r.messages(), messages);
}

QTEST_MAIN(tst_SimpleTest)
#include "tst_simpletest.moc"
