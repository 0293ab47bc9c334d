// The calibration screen driven through its named controls, a fake serial port and scripted prompts: load,
// unit choice and its failures, the height and pressure steps with their questions and fits, the refusal of
// a fit through equal readings, saves, factory zero, the unsaved-results questions, the reports, and the
// step timer on a real QTimer (messages shown after the tick, ticks going on while a box is open).
#include "TestSupport.h"
#include "calibration/frmCalibrate.h"
#include "platform/FakeSerialPort.h"
#include "platform/Graph.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "records/SettingsFile.h"
#include "records/format.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

using platform::Answer;
using platform::Buttons;
using platform::FakeSerialPort;
using platform::Icon;
using platform::ScriptedPrompts;
using Kind = platform::ScriptedPrompts::Kind;

Q_DECLARE_METATYPE(platform::Answer)

namespace {

const QString NoResponse =
    " No response, please check that the machine is powered on and that the connection is secure.";
const QString Communication =
    "There is a problem communicating with this unit, please check the serial/USB connection and try again.";
const QString SaveBeforeProceeding = "Do you want to save calibration data before proceeding?";
const QString SaveBeforeTabChange = "Do you want save calibration data before proceeding?";
const QString SaveBeforeReturn = "Do you want save calibration data before returning to the Veduvovir main "
                                 "screen? \r(You must save calibration data before a test can be run.)";
const QString EqualReadings = "The two readings are equal, so no calibration line can be fitted through them. "
                              "Check the spacer and click the step button again.";

// A reply record of a cell reading `volts` on its transducer.
QByteArray record(char cell, double volts)
{
    return QByteArray(1, cell) + "1,70,71,72," + Format::general(volts * 1000).toLatin1() + ",120" + char(26);
}

// Every port the screen makes is this fake.
struct Rig {
    testsupport::TempWorkDir dir{false};
    ScriptedPrompts prompts;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCalibrate> w;

    explicit Rig(const QByteArray& settings = SettingsFile::text({1, 2, 3, 4, 0, 6, 7, 8}, 1))
    {
        if (!settings.isNull()) dir.write("initial.txt", settings);
        platform::setSerialPortFactory([this] {
            auto p = std::make_unique<FakeSerialPort>();
            port = p.get();
            return std::unique_ptr<platform::SerialPort>(std::move(p));
        });
        w = std::make_unique<frmCalibrate>();
        platform::setSerialPortFactory({});
    }

    void choose(int tab, int unit)
    {
        w->Combo1[tab]->setCurrentIndex(unit - 1);
        w->Combo1_Click(tab);
    }
    // Two ticks of the step timer, then what they left to show.
    void twoTicks()
    {
        w->Timer1_Timer();
        w->Timer1_Timer();
        QCoreApplication::processEvents();
    }
    // A height step of a cell: the reading arrives, the step's button is clicked, the finisher runs.
    void heightStep(int step, int cell, double volts)
    {
        port->receive("noise");
        if (step == 1) w->cmd04_Click(cell);
        if (step == 2) w->cmd065_Click(cell);
        if (step == 3) w->cmd09_Click(cell);
        port->receive(record(cell == 1 ? 'A' : 'B', volts));
        twoTicks();
    }
    void pressureStep(int step, int cell, double volts)
    {
        if (step == 1) w->Command6_Click(cell);
        else w->Command7_Click(cell);
        port->receive(record(cell == 1 ? 'A' : 'B', volts));
        twoTicks();
    }
    // A whole height calibration of a cell with three readings.
    void calibrateHeight(int cell, double v1, double v2, double v3)
    {
        heightStep(1, cell, v1);
        heightStep(2, cell, v2);
        heightStep(3, cell, v3);
    }
    QStringList texts() const { return prompts.texts(); }
};

bool hidden(QWidget* w) { return w->isHidden(); }

QStringList lines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"<cannot open>"};
    return QString::fromLocal8Bit(f.readAll()).split("\r\n");
}

} // namespace

class TestCalibrate : public QObject {
    Q_OBJECT
private slots:
    void formLoad();
    void captionsAndTooltips_data();
    void captionsAndTooltips();
    void unitChoice_data();
    void unitChoice();
    void selectUnitFirst_data();
    void selectUnitFirst();
    void noResponseOnFirstClick();
    void heightCalibrationAndSave();
    void readingsApart_data();
    void readingsApart();
    void equalReadingsAreRefused_data();
    void equalReadingsAreRefused();
    void failuresInSteps();
    void pressureCalibrationAndSave();
    void pressureSaveFailure();
    void factoryZero();
    void unsavedOnUnitChange_data();
    void unsavedOnUnitChange();
    void unsavedOnTabChange();
    void unsavedOnClose_data();
    void unsavedOnClose();
    void unitChangeStopsPendingSteps();
    void reports();
    void realTimerAndBoxes();
};

void TestCalibrate::formLoad()
{
    Rig r;
    frmCalibrate& w = *r.w;
    QCOMPARE(w.windowTitle(), QString("Veduvovir Calibrate"));
    QCOMPARE(w.TabStrip1->count(), 2);
    QCOMPARE(w.TabStrip1->tabText(0), QString("Height Calibrate"));
    QCOMPARE(w.TabStrip1->tabData(0).toString(), QString("height"));
    QCOMPARE(w.TabStrip1->tabText(1), QString("Pressure Calibrate"));
    QCOMPARE(w.TabStrip1->tabData(1).toString(), QString("press"));
    QVERIFY(!hidden(w.Frame1[1]) && hidden(w.Frame1[2]));
    QCOMPARE(w.CurrentTab, 1);
    QCOMPARE(w.CalUnit, 0);
    QVERIFY(!w.cmdSaveH->isEnabled() && !w.cmdSaveP->isEnabled());
    QVERIFY(!w.HeightSaved && !w.PressureSaved);
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(!w.MSComm1->isOpen());
    QCOMPARE(r.port->openCount, 0);
    for (int c = 1; c <= 2; ++c) {
        QStringList items;
        for (int i = 0; i < w.Combo1[c]->count(); ++i) items << w.Combo1[c]->itemText(i);
        QCOMPARE(items, (QStringList{"UNIT 1", "UNIT 2", "UNIT 3", "UNIT 4", "UNIT 5", "UNIT 6", "UNIT 7", "UNIT 8"}));
        QCOMPARE(w.Combo1[c]->currentIndex(), -1);
        for (int step = 1; step <= 5; ++step) QCOMPARE(w.StepTicks().ticks(step, c), 5L);
        QCOMPARE(w.lbldata1[c]->text(), QString("0.4"));
        QCOMPARE(w.lbldata2[c]->text(), QString("0.65"));
        QCOMPARE(w.lbldata3[c]->text(), QString("0.9"));
        QCOMPARE(w.Label25[c]->text(), QString("STEP 1:"));
        QCOMPARE(w.Label26[c]->text(), QString("STEP 1"));
        for (QWidget* x : std::initializer_list<QWidget*>{w.lbldata2[c], w.lbldata3[c], w.lblvolt2[c], w.lblvolt3[c],
                                                          w.lbldata5[c], w.lblconst1[c], w.lblconst2[c], w.lblconst3[c],
                                                          w.lblconst4[c], w.lblSlope[c], w.lblIntercept[c], w.Label12[c],
                                                          w.Label13[c], w.Label2[c], w.cmd065[c], w.cmd09[c],
                                                          w.Command7[c]})
            QVERIFY2(hidden(x), qPrintable(x->objectName()));
        QVERIFY(!hidden(w.cmd04[c]) && !hidden(w.Command6[c]) && !hidden(w.lbldata1[c]) && !hidden(w.lblvolt1[c]));
        QCOMPARE(w.CWGraph1[c]->xAxisCaption(), QString("Volt"));
        QCOMPARE(w.CWGraph1[c]->yAxisCaption(), QString("Data"));
        QCOMPARE(w.CWGraph2[c]->xAxisCaption(), QString("DATA"));
        QCOMPARE(w.fraHeightCell[c]->title(), c == 1 ? QString("CELL A") : QString("CELL B"));
        QCOMPARE(w.fraPressCell[c]->title(), c == 1 ? QString("CELL A") : QString("CELL B"));
    }
    QVERIFY(r.texts().isEmpty());
}

void TestCalibrate::captionsAndTooltips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");
    const QString unitTip = "Use the drop-down menu to choose which Torvan unit you wish to calibrate";
    const QString returnTip = "Click here to return to the Veduvovir main screen";
    QTest::newRow("cmdSaveH") << "cmdSaveH" << "SAVE" << "Click here to save calibration data for this test session";
    QTest::newRow("cmdSaveP") << "cmdSaveP" << "SAVE" << "";
    QTest::newRow("cmdExportH") << "cmdExportH" << "Calibration Report"
                                << "Click here to export calibration data for this test session in .CSV format";
    QTest::newRow("cmdExport") << "cmdExport" << "Export Excel" << "";
    QTest::newRow("cmdzero") << "cmdzero" << "Factory Calibration" << "For Halden Instrument technical personnel only - ";
    QTest::newRow("cmdZero1") << "cmdZero1" << "Factory Calibration" << "";
    QTest::newRow("cmdReturn(1)") << "cmdReturn(1)" << "Return" << returnTip;
    QTest::newRow("cmdReturn(2)") << "cmdReturn(2)" << "Retrun" << returnTip;
    QTest::newRow("Combo1(1)") << "Combo1(1)" << "" << unitTip;
    QTest::newRow("Combo1(2)") << "Combo1(2)" << "" << unitTip;
    QTest::newRow("Label1(1)") << "Label1(1)" << "Select unit to calibrate" << "";
    QTest::newRow("Label1(2)") << "Label1(2)" << "Select unit to calibrate" << "";
    for (int c = 1; c <= 2; ++c) {
        const QString i = QString("(%1)").arg(c);
        QTest::newRow(qPrintable("cmd04" + i)) << "cmd04" + i << "Insert spacer #1 && click here" << "";
        QTest::newRow(qPrintable("cmd065" + i)) << "cmd065" + i << "Insert spacer #2 && click here" << "";
        QTest::newRow(qPrintable("cmd09" + i)) << "cmd09" + i << "Insert spacer #3 && click here" << "";
        QTest::newRow(qPrintable("Label12" + i)) << "Label12" + i << "#2 Spacer" << "";
        QTest::newRow(qPrintable("Label13" + i)) << "Label13" + i << "#3 Spacer" << "";
        QTest::newRow(qPrintable("Command6" + i)) << "Command6" + i << "Release pressure and click here" << "";
        QTest::newRow(qPrintable("Command7" + i)) << "Command7" + i << "Set pressure = 1000 psi and click here" << "";
        QTest::newRow(qPrintable("Label20" + i)) << "Label20" + i << "0 psi" << "";
        QTest::newRow(qPrintable("Label2" + i)) << "Label2" + i << "1000 psi" << "";
        QTest::newRow(qPrintable("CWGraph1" + i)) << "CWGraph1" + i << ""
                                                  << "Displays calibration data when all steps are complete";
    }
}

void TestCalibrate::captionsAndTooltips()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    Rig r;
    auto* x = r.w->findChild<QWidget*>(name);
    QVERIFY2(x, qPrintable(name));
    if (auto* b = qobject_cast<QPushButton*>(x)) QCOMPARE(b->text(), caption);
    if (auto* l = qobject_cast<QLabel*>(x)) QCOMPARE(l->text(), caption);
    QCOMPARE(x->toolTip(), tooltip);
}

void TestCalibrate::unitChoice_data()
{
    QTest::addColumn<QByteArray>("settings");   // null: no file
    QTest::addColumn<bool>("failOpen");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("openedPort");        // 0: no open
    QTest::addColumn<bool>("reset");            // the tab was reset
    QTest::addColumn<int>("calUnit");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");

    const QByteArray full = SettingsFile::text({4, 5, 9, 2, 0, 1, 1, 1}, 1);
    QTest::newRow("UNIT 3 reads three values") << QByteArray("4\r\n5\r\n9\r\n") << false << 3 << 9 << true << 3 << ""
                                               << "";
    QTest::newRow("UNIT 1") << full << false << 1 << 4 << true << 1 << "" << "";
    QTest::newRow("port 0") << full << false << 5 << 0 << true << 0 << Communication << " CreateObject Error";
    QTest::newRow("port cannot be opened") << full << true << 2 << 5 << true << 0 << Communication
                                           << " CreateObject Error";
    QTest::newRow("fewer values than the unit") << QByteArray("4\r\n5\r\n") << false << 3 << 0 << false << 0
                                                << Communication << " CreateObject Error";
    QTest::newRow("value not a number") << QByteArray("4\r\nx\r\n") << false << 2 << 0 << false << 0 << Communication
                                        << " CreateObject Error";
    QTest::newRow("no initial.txt") << QByteArray() << false << 1 << 0 << false << 0 << "File not found -  53"
                                    << "File not found";
}

void TestCalibrate::unitChoice()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, failOpen);
    QFETCH(int, unit);
    QFETCH(int, openedPort);
    QFETCH(bool, reset);
    QFETCH(int, calUnit);
    QFETCH(QString, message);
    QFETCH(QString, title);

    Rig r(settings);
    r.port->failOpen = failOpen;
    r.w->Label25[1]->setText("marker");
    r.w->Combo1[1]->setCurrentIndex(unit - 1);
    r.w->Combo1_Click(1);
    QCOMPARE(r.port->openCount, openedPort ? 1 : 0);
    if (openedPort) {
        QCOMPARE(r.port->port, openedPort);
        QCOMPARE(r.port->settingsUsed, QString("19200,n,8,1"));
    }
    QCOMPARE(r.w->MSComm1->isOpen(), message.isEmpty());
    QCOMPARE(r.w->Label25[1]->text(), reset ? QString("STEP 1") : QString("marker"));
    QCOMPARE(r.w->CalUnit, calUnit);
    if (message.isEmpty()) {
        QVERIFY(r.prompts.shown.empty());
    } else {
        QCOMPARE(r.prompts.shown.size(), std::size_t(1));
        QCOMPARE(r.prompts.shown[0].text, message);
        QCOMPARE(r.prompts.shown[0].title, title);
        QCOMPARE(r.prompts.shown[0].icon, Icon::Warning);
    }
}

void TestCalibrate::selectUnitFirst_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("cmd04") << "cmd04";
    QTest::newRow("Command6 with a unit on the height tab") << "Command6";
    QTest::newRow("cmdzero") << "cmdzero";
    QTest::newRow("cmdzero with a unit on the pressure tab") << "cmdzero2";
}

void TestCalibrate::selectUnitFirst()
{
    QFETCH(QString, button);
    Rig r;
    if (button == "Command6") r.choose(1, 1);
    if (button == "cmdzero2") {
        r.w->TabStrip1->setCurrentIndex(1);
        r.choose(2, 1);
    }
    r.prompts.clear();
    if (r.port) r.port->receive(record('A', 1.0));
    if (button == "cmd04") r.w->cmd04_Click(1);
    if (button == "Command6") r.w->Command6_Click(2);
    if (button.startsWith("cmdzero")) r.w->cmdzero_Click();
    QCOMPARE(r.texts(), QStringList{"Select unit # first"});
    QCOMPARE(r.prompts.shown[0].title, platform::defaultTitle());
    QCOMPARE(r.prompts.shown[0].icon, Icon::None);
    QVERIFY(!r.w->Timer1->isActive());
    QVERIFY(r.port->written.isEmpty());
    for (int step = 1; step <= 5; ++step) QCOMPARE(r.w->StepTicks().ticks(step, 2), 5L);
}

void TestCalibrate::noResponseOnFirstClick()
{
    Rig r;
    r.choose(1, 1);
    r.w->cmd04_Click(1);
    QCOMPARE(r.texts(), QStringList{NoResponse});
    QVERIFY(!r.w->Timer1->isActive());
    QCOMPARE(r.w->StepTicks().ticks(1, 1), 5L);
    r.twoTicks();
    QVERIFY(r.w->lblvolt1[1]->text().isEmpty());
    QVERIFY(!hidden(r.w->cmd04[1]));

    // Data has arrived: the click starts the 1000 ms timer and throws what came before away.
    r.port->receive(record('A', 3.3));
    r.w->cmd04_Click(1);
    QVERIFY(r.w->Timer1->isActive());
    QCOMPARE(r.w->Timer1->interval(), 1000);
    QVERIFY(r.w->InputBuffer.isEmpty());
    r.w->Timer1_Timer();
    QVERIFY(r.w->lblvolt1[1]->text().isEmpty());
    r.port->receive(record('A', 1.2));
    r.w->Timer1_Timer();
    QCOMPARE(r.w->lblvolt1[1]->text(), QString("1.2"));
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 2"));
    QVERIFY(hidden(r.w->cmd04[1]) && !hidden(r.w->cmd065[1]));
    QVERIFY(!hidden(r.w->Label12[1]) && !hidden(r.w->lbldata2[1]) && !hidden(r.w->lblvolt2[1]));
    r.w->Timer1_Timer();   // the finisher runs once
    QCOMPARE(r.texts(), QStringList{NoResponse});
}

void TestCalibrate::heightCalibrationAndSave()
{
    Rig r;
    r.dir.write("Calib.dat", "1,2,3, .1 , .2 , .3 , .4 ,4,5,6, .5 , .6 , .7 , .8 ,\r\nunit2\r\n");
    r.choose(1, 1);
    // Both cells run side by side; cell B's records in the same reads do not disturb cell A.
    r.port->receive("x");
    r.w->cmd04_Click(1);
    r.port->receive("y");
    r.w->cmd04_Click(2);
    r.port->receive(record('A', 1.2) + record('B', 0.5));
    r.twoTicks();
    QCOMPARE(r.w->lblvolt1[1]->text(), QString("1.2"));
    QCOMPARE(r.w->lblvolt1[2]->text(), QString("0.5"));
    r.heightStep(2, 1, 2.45);
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 3"));
    QVERIFY(!hidden(r.w->cmd09[1]) && hidden(r.w->cmd065[1]) && !hidden(r.w->Label13[1]));
    r.heightStep(3, 1, 3.7);
    QVERIFY(r.texts().isEmpty());

    frmCalibrate& w = *r.w;
    QCOMPARE(w.lblvolt3[1]->text(), QString("3.7"));
    QCOMPARE(w.lblconst1[1]->text(), QString("0.16"));
    QCOMPARE(w.lblconst2[1]->text(), QString("0.2"));
    QCOMPARE(w.lblconst3[1]->text(), QString("0.16"));
    QCOMPARE(w.lblconst4[1]->text(), QString("0.2"));
    for (QLabel* l : {w.lblconst1[1], w.lblconst2[1], w.lblconst3[1], w.lblconst4[1]}) QVERIFY(!hidden(l));
    QVERIFY(hidden(w.cmd04[1]) && hidden(w.cmd065[1]) && hidden(w.cmd09[1]));
    QCOMPARE(w.CWGraph1[1]->plottedX(), (std::vector<double>{1.2, 2.45, 3.7}));
    QCOMPARE(w.CWGraph1[1]->plottedY(), (std::vector<double>{0.4, 0.65, 0.9}));
    QVERIFY(w.CWGraph1[2]->plottedX().empty());
    QVERIFY(w.cmdSaveH->isEnabled());
    QVERIFY(!w.HeightSaved);

    w.cmdSaveH_Click();
    QVERIFY(w.HeightSaved);
    QVERIFY(!w.cmdSaveH->isEnabled());
    QCOMPARE(lines(r.dir.file("Calib.dat")),
             (QStringList{"1.2,2.45,3.7, .16 , .2 , .16 , .2 ,4,5,6, .5 , .6 , .7 , .8 ,", "unit2", "", "", "", "", "",
                          "", ""}));
    // Saved: closing asks nothing.
    QSignalSpy unloaded(&w, &frmCalibrate::Unloaded);
    QVERIFY(w.close());
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!w.MSComm1->isOpen());
    QVERIFY(r.texts().isEmpty());
}

void TestCalibrate::readingsApart_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("reading");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("question");   // empty: none
    QTest::addColumn<QString>("stepAfter");

    const QString q2 = "data not good, do you want to try again";
    const QString q3 = "Data not good, do you want to try again";
    QTest::newRow("step 2: 1.0 V apart accepted") << 2 << 1.2 << 2.2 << Answer::Retry << "" << "Step 3";
    QTest::newRow("step 2: 1.3 to 2.3 is 1.0 V") << 2 << 1.3 << 2.3 << Answer::Retry << "" << "Step 3";
    QTest::newRow("step 2: 1.0 V below accepted") << 2 << 3.0 << 2.0 << Answer::Retry << "" << "Step 3";
    QTest::newRow("step 2: 0.99999 V asks, Retry") << 2 << 1.2 << 2.19999 << Answer::Retry << q2 << "Step 2";
    QTest::newRow("step 2: 0.99999 V asks, Cancel") << 2 << 1.2 << 2.19999 << Answer::Cancel << q2 << "Step 3";
    QTest::newRow("step 3: 1.0 V apart fits") << 3 << 2.2 << 3.2 << Answer::Retry << "" << "fitted";
    QTest::newRow("step 3: close, Retry") << 3 << 2.2 << 2.5 << Answer::Retry << q3 << "Step 3";
    QTest::newRow("step 3: close, Cancel still fits") << 3 << 2.2 << 2.5 << Answer::Cancel << q3 << "fitted";
}

void TestCalibrate::readingsApart()
{
    QFETCH(int, step);
    QFETCH(double, before);
    QFETCH(double, reading);
    QFETCH(Answer, answer);
    QFETCH(QString, question);
    QFETCH(QString, stepAfter);

    Rig r;
    r.choose(1, 2);
    if (step == 2) {
        r.heightStep(1, 2, before);
    } else {
        r.heightStep(1, 2, before - 1.0);
        r.heightStep(2, 2, before);
    }
    QVERIFY(r.texts().isEmpty());
    r.prompts.queueAnswer(answer);
    // The question comes after the tick, not inside it.
    r.port->receive("x");
    step == 2 ? r.w->cmd065_Click(2) : r.w->cmd09_Click(2);
    r.port->receive(record('B', reading));
    r.w->Timer1_Timer();
    r.w->Timer1_Timer();
    QVERIFY(r.texts().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(r.texts(), question.isEmpty() ? QStringList() : QStringList{question});
    if (!question.isEmpty()) {
        QCOMPARE(r.prompts.shown[0].buttons, Buttons::RetryCancel);
        QCOMPARE(r.prompts.shown[0].icon, Icon::None);
    }
    frmCalibrate& w = *r.w;
    if (stepAfter == "fitted") {
        QVERIFY(w.cmdSaveH->isEnabled());
        QVERIFY(!hidden(w.lblconst4[2]) && !w.lblconst4[2]->text().isEmpty());
        QVERIFY(hidden(w.cmd09[2]));
        QCOMPARE(w.CWGraph1[2]->plottedX().size(), std::size_t(3));
    } else {
        QCOMPARE(w.Label25[2]->text(), stepAfter);
        QVERIFY(!w.cmdSaveH->isEnabled());
        QVERIFY(hidden(w.lblconst4[2]));
        QCOMPARE(hidden(w.cmd065[2]), stepAfter != "Step 2");
        QCOMPARE(hidden(w.cmd09[2]), stepAfter != "Step 3");
    }
}

// Two equal readings accepted with Cancel make no line: the screen says so, keeps the cell at its step,
// and SAVE stays disabled; measuring again goes on normally.
void TestCalibrate::equalReadingsAreRefused_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("spacer 2 equal to spacer 1") << 2;
    QTest::newRow("spacer 3 equal to spacer 2") << 3;
}

void TestCalibrate::equalReadingsAreRefused()
{
    QFETCH(int, step);
    Rig r;
    r.dir.write("Calib.dat", "");
    r.choose(1, 1);
    r.heightStep(1, 1, 1.2);
    if (step == 3) r.heightStep(2, 1, 2.2);
    const double same = step == 2 ? 1.2 : 2.2;
    r.prompts.queueAnswer(Answer::Cancel);
    r.heightStep(step, 1, same);
    QCOMPARE(r.texts(), (QStringList{step == 2 ? "data not good, do you want to try again"
                                               : "Data not good, do you want to try again",
                                     EqualReadings}));
    frmCalibrate& w = *r.w;
    QCOMPARE(w.Label25[1]->text(), step == 2 ? QString("Step 2") : QString("Step 3"));
    QVERIFY(!hidden(step == 2 ? w.cmd065[1] : w.cmd09[1]));
    QVERIFY(!w.cmdSaveH->isEnabled());
    for (QLabel* l : {w.lblconst1[1], w.lblconst2[1], w.lblconst3[1], w.lblconst4[1]}) {
        QVERIFY(hidden(l));
        QVERIFY(l->text().isEmpty());
    }
    QVERIFY(w.CWGraph1[1]->plottedX().empty());
    // A save now writes nothing for the cell (seven empty fields), never infinity or NaN.
    w.cmdSaveH->setEnabled(true);
    w.cmdSaveH_Click();
    QCOMPARE(lines(r.dir.file("Calib.dat")).first(), QString(",,,,,,,,,,,,,,"));

    // The spacer measured again: the step goes on.
    r.prompts.clear();
    if (step == 2) r.heightStep(2, 1, 2.2);
    r.heightStep(3, 1, 3.2);
    QVERIFY(r.texts().isEmpty());
    QCOMPARE(w.lblconst2[1]->text(), QString("0.25"));
    QVERIFY(w.cmdSaveH->isEnabled());
}

void TestCalibrate::failuresInSteps()
{
    Rig r;
    r.choose(1, 1);
    r.heightStep(1, 1, 1.0);
    // A record whose field 5 is not a number: the message comes after the tick, the finisher goes on with
    // the earlier reading of the same read.
    r.port->receive("x");
    r.w->cmd065_Click(1);
    r.port->receive(record('A', 2.5) + QByteArray("A1,1,1,1,2x,1") + char(26));
    r.w->Timer1_Timer();
    r.w->Timer1_Timer();
    QVERIFY(r.texts().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(r.texts(), QStringList{"Type mismatch  13"});
    QCOMPARE(r.w->lblvolt2[1]->text(), QString("2.5"));
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 3"));

    // The port goes away: a step button shows the failure and its finisher never runs.
    r.prompts.clear();
    r.w->MSComm1->close();
    r.w->cmd09_Click(1);
    QCOMPARE(r.texts(), QStringList{"Operation valid only when the port is open  8018"});
    QCOMPARE(r.w->StepTicks().ticks(3, 1), 5L);
    r.twoTicks();
    QVERIFY(r.w->lblvolt3[1]->text().isEmpty());
    r.w->cmd04_Click(2);
    QCOMPARE(r.w->StepTicks().ticks(1, 2), 5L);
    QCOMPARE(r.texts().size(), 2);
}

void TestCalibrate::pressureCalibrationAndSave()
{
    Rig r;
    QByteArray old;
    for (int k = 1; k <= 8; ++k) old += "old" + QByteArray::number(k) + "\r\n";
    r.dir.write("pcalinfo.csv", old);
    r.w->TabStrip1->setCurrentIndex(1);
    QCOMPARE(r.w->CurrentTab, 2);
    QVERIFY(hidden(r.w->Frame1[1]) && !hidden(r.w->Frame1[2]));
    r.choose(2, 3);
    QCOMPARE(r.w->Label26[1]->text(), QString("Step 1"));

    r.pressureStep(1, 1, 0.5);
    frmCalibrate& w = *r.w;
    QCOMPARE(w.lbldata4[1]->text(), QString("0.5"));
    QCOMPARE(w.Label26[1]->text(), QString("Step 2"));
    QVERIFY(hidden(w.Command6[1]));
    for (QWidget* x : std::initializer_list<QWidget*>{w.Command7[1], w.lbldata5[1], w.lblSlope[1], w.lblIntercept[1],
                                                      w.Label2[1]})
        QVERIFY(!hidden(x));
    QVERIFY(!w.cmdSaveP->isEnabled());
    r.pressureStep(2, 1, 4.5);
    QCOMPARE(w.lbldata5[1]->text(), QString("4.5"));
    QCOMPARE(w.lblIntercept[1]->text(), QString("0.5"));
    QCOMPARE(w.lblSlope[1]->text(), QString("0.004"));
    QCOMPARE(w.CWGraph2[1]->plottedX(), (std::vector<double>{0, 1000}));
    QCOMPARE(w.CWGraph2[1]->plottedY(), (std::vector<double>{0.5, 4.5}));
    QVERIFY(w.cmdSaveP->isEnabled());
    QVERIFY(!hidden(w.Command7[1]));   // the 1000 psi step can be repeated

    // Equal readings on cell B: slope 0, intercept the reading; SAVE stays enabled.
    r.pressureStep(1, 2, 2.0);
    r.pressureStep(2, 2, 2.0);
    QCOMPARE(w.lblSlope[2]->text(), QString("0"));
    QCOMPARE(w.lblIntercept[2]->text(), QString("2"));
    QVERIFY(r.texts().isEmpty());

    w.cmdSaveP_Click();
    QVERIFY(w.PressureSaved);
    QVERIFY(!w.cmdSaveP->isEnabled());
    QCOMPARE(lines(r.dir.file("pcalinfo.csv")),
             (QStringList{"old1", "old2", "0.5,4.5,0.5,0.004,2,2,2,0,", "old4", "old5", "old6", "old7", "old8", ""}));

    // The repeated 1000 psi step refits with the 0 psi reading in hand; the save flag is false again.
    r.pressureStep(2, 1, 2.5);
    QCOMPARE(w.lblSlope[1]->text(), QString("0.002"));
    QCOMPARE(w.lblIntercept[1]->text(), QString("0.5"));
    QVERIFY(!w.PressureSaved);
    QVERIFY(w.cmdSaveP->isEnabled());
}

void TestCalibrate::pressureSaveFailure()
{
    Rig r;
    r.dir.write("pcalinfo.csv", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n");
    r.w->TabStrip1->setCurrentIndex(1);
    r.choose(2, 1);
    r.pressureStep(1, 1, 0.5);
    r.pressureStep(2, 1, 4.5);
    r.w->cmdSaveP_Click();
    QCOMPARE(r.texts(), QStringList{"Input past end of file -  62"});
    QCOMPARE(r.prompts.shown[0].title, QString("Form_Load Error"));
    QCOMPARE(r.prompts.shown[0].icon, Icon::Warning);
    QVERIFY(!r.w->PressureSaved);
    QVERIFY(r.w->cmdSaveP->isEnabled());
    QCOMPARE(lines(r.dir.file("pcalinfo.csv")).size(), 8);
}

void TestCalibrate::factoryZero()
{
    Rig r(SettingsFile::text({3, 7, 0, 0, 0, 0, 0, 0}, 1));
    r.choose(1, 2);
    r.w->cmdzero_Click();
    QCOMPARE(r.port->port, 7);
    QCOMPARE(r.port->writes, (QList<QByteArray>{QByteArray("\x0b\x1a")}));
    QVERIFY(r.texts().isEmpty());

    r.port->failWrite = true;
    r.w->cmdzero_Click();
    QCOMPARE(r.texts(), QStringList{"Port is not open  57"});
    r.w->MSComm1->close();
    r.w->cmdzero_Click();
    QCOMPARE(r.texts().last(), QString("Operation valid only when the port is open  8018"));
    QCOMPARE(r.port->writes.size(), 1);
}

void TestCalibrate::unsavedOnUnitChange_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<Answer>("answer");
    QTest::newRow("height, Yes keeps the unit") << 1 << Answer::Yes;
    QTest::newRow("height, No changes the unit") << 1 << Answer::No;
    QTest::newRow("pressure, Yes keeps the unit") << 2 << Answer::Yes;
    QTest::newRow("pressure, No changes the unit") << 2 << Answer::No;
}

void TestCalibrate::unsavedOnUnitChange()
{
    QFETCH(int, tab);
    QFETCH(Answer, answer);
    Rig r;
    if (tab == 2) r.w->TabStrip1->setCurrentIndex(1);
    r.choose(tab, 1);
    if (tab == 1) {
        r.calibrateHeight(2, 1.2, 2.45, 3.7);   // cell B only
    } else {
        r.pressureStep(1, 2, 0.5);
        r.pressureStep(2, 2, 4.5);
    }
    QVERIFY(r.texts().isEmpty());
    r.prompts.queueAnswer(answer);
    r.choose(tab, 4);
    QCOMPARE(r.texts(), QStringList{SaveBeforeProceeding});
    QCOMPARE(r.prompts.shown[0].buttons, Buttons::YesNo);
    QCOMPARE(r.prompts.shown[0].icon, Icon::None);
    QLabel* factor = tab == 1 ? r.w->lblconst2[2] : r.w->lblSlope[2];
    if (answer == Answer::Yes) {
        QCOMPARE(r.w->Combo1[tab]->currentIndex(), 0);
        QCOMPARE(r.w->CalUnit, 1);
        QCOMPARE(r.port->port, 1);
        QVERIFY(!factor->text().isEmpty());
        QVERIFY(tab == 1 ? r.w->cmdSaveH->isEnabled() : r.w->cmdSaveP->isEnabled());
    } else {
        QCOMPARE(r.w->CalUnit, 4);
        QCOMPARE(r.port->port, 4);
        QVERIFY(factor->text().isEmpty());
        QVERIFY(!r.w->cmdSaveH->isEnabled() && !r.w->cmdSaveP->isEnabled());
    }
}

void TestCalibrate::unsavedOnTabChange()
{
    Rig r;
    r.choose(1, 2);
    r.calibrateHeight(1, 1.2, 2.45, 3.7);
    r.prompts.queueAnswer(Answer::Yes);
    r.w->TabStrip1->setCurrentIndex(1);
    QCOMPARE(r.texts(), QStringList{SaveBeforeTabChange});
    QCOMPARE(r.w->TabStrip1->currentIndex(), 0);
    QCOMPARE(r.w->CurrentTab, 1);
    QVERIFY(!hidden(r.w->Frame1[1]) && hidden(r.w->Frame1[2]));
    QVERIFY(r.w->cmdSaveH->isEnabled());

    // No: the pressure tab starts reset on the same unit, with the port opened again.
    r.prompts.queueAnswer(Answer::No);
    const int opens = r.port->openCount;
    r.w->TabStrip1->setCurrentIndex(1);
    QCOMPARE(r.texts().size(), 2);
    QCOMPARE(r.w->CurrentTab, 2);
    QVERIFY(hidden(r.w->Frame1[1]) && !hidden(r.w->Frame1[2]));
    QCOMPARE(r.w->Combo1[2]->currentIndex(), 1);
    QCOMPARE(r.port->openCount, opens + 1);
    QCOMPARE(r.port->port, 2);
    QCOMPARE(r.w->Label26[1]->text(), QString("Step 1"));
    QVERIFY(!r.w->cmdSaveH->isEnabled() && !r.w->cmdSaveP->isEnabled());

    // Unsaved pressure results asked about on the way back; after a save, nothing is asked.
    r.pressureStep(1, 1, 0.5);
    r.pressureStep(2, 1, 4.5);
    r.prompts.queueAnswer(Answer::Yes);
    r.w->TabStrip1->setCurrentIndex(0);
    QCOMPARE(r.texts().last(), SaveBeforeTabChange);
    QCOMPARE(r.w->CurrentTab, 2);
    QByteArray eight;
    for (int k = 0; k < 8; ++k) eight += "\r\n";
    r.dir.write("pcalinfo.csv", eight);
    r.w->cmdSaveP_Click();
    QVERIFY(r.w->PressureSaved);
    const int asked = r.texts().size();
    r.w->TabStrip1->setCurrentIndex(0);
    QCOMPARE(r.texts().size(), asked);
    QCOMPARE(r.w->CurrentTab, 1);
    QCOMPARE(r.w->Label25[1]->text(), QString("STEP 1"));   // the height tab was reset on the way in
    QVERIFY(r.w->lblconst1[1]->text().isEmpty());
}

void TestCalibrate::unsavedOnClose_data()
{
    QTest::addColumn<QString>("results");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("closes");
    QTest::newRow("height unsaved, Yes stays") << "height" << Answer::Yes << true << false;
    QTest::newRow("height unsaved, No closes") << "height" << Answer::No << true << true;
    QTest::newRow("pressure unsaved closes without a question") << "pressure" << Answer::Yes << false << true;
    QTest::newRow("nothing done") << "" << Answer::Yes << false << true;
}

void TestCalibrate::unsavedOnClose()
{
    QFETCH(QString, results);
    QFETCH(Answer, answer);
    QFETCH(bool, asked);
    QFETCH(bool, closes);
    Rig r;
    if (results == "pressure") r.w->TabStrip1->setCurrentIndex(1);
    r.choose(results == "pressure" ? 2 : 1, 1);
    if (results == "height") r.calibrateHeight(2, 1.2, 2.45, 3.7);
    if (results == "pressure") {
        r.pressureStep(1, 1, 0.5);
        r.pressureStep(2, 1, 4.5);
    }
    r.w->show();
    QSignalSpy unloaded(r.w.get(), &frmCalibrate::Unloaded);
    r.prompts.queueAnswer(answer);
    r.w->cmdReturn_Click(results == "pressure" ? 2 : 1);
    QCOMPARE(r.texts(), asked ? QStringList{SaveBeforeReturn} : QStringList());
    if (asked) QCOMPARE(r.prompts.shown[0].buttons, Buttons::YesNo);
    QCOMPARE(r.w->isVisible(), !closes);
    QCOMPARE(unloaded.count(), closes ? 1 : 0);
    QCOMPARE(r.w->MSComm1->isOpen(), !closes);
}

// A unit choice resets its tab, and a step clicked just before it finishes nowhere.
void TestCalibrate::unitChangeStopsPendingSteps()
{
    Rig r;
    r.choose(1, 1);
    r.port->receive("x");
    r.w->cmd04_Click(1);
    r.w->Timer1_Timer();
    r.choose(1, 2);
    r.port->receive(record('A', 1.5));
    r.twoTicks();
    QVERIFY(r.w->lblvolt1[1]->text().isEmpty());
    QCOMPARE(r.w->Label25[1]->text(), QString("STEP 1"));
    QVERIFY(!hidden(r.w->cmd04[1]));
}

void TestCalibrate::reports()
{
    Rig r;
    frmCalibrate& w = *r.w;

    // Before any unit: unit 0, no cell blocks; the dialog offers the CSV entry.
    r.prompts.queueFile(r.dir.file("h0.csv"));
    w.cmdExportH_Click();
    QCOMPARE(r.prompts.shown.back().kind, Kind::SaveFile);
    QCOMPARE(r.prompts.shown.back().filter, QString("All Files (*.*)|*.*|Text Files(*.csv)|*.csv"));
    QCOMPARE(r.prompts.shown.back().selectedFilter, 1);
    QStringList h0 = lines(r.dir.file("h0.csv"));
    QCOMPARE(h0.mid(4), (QStringList{"Unit No.: , 0 ", "", "Cell A :", "", "", "Cell B :", "", "", ""}));

    // Pressure report right after load.
    r.prompts.queueFile(r.dir.file("p0.csv"));
    w.cmdExport_Click();
    QCOMPARE(lines(r.dir.file("p0.csv")).mid(4),
             (QStringList{"Instrument Unit: , 0 ", "", "volt,Factor", ",", ",", ",", ",", "", ""}));

    // Cell B only with unit 4.
    r.choose(1, 4);
    r.calibrateHeight(2, 1.2, 2.45, 3.7);
    r.prompts.queueFile(r.dir.file("h4.csv"));
    w.cmdExportH_Click();
    QStringList h4 = lines(r.dir.file("h4.csv"));
    QCOMPARE(h4.first(), QString("Calibration Report of Torvan. "));
    QVERIFY(h4[2].startsWith("Calibration Time:  ,"));
    QCOMPARE(h4.mid(4), (QStringList{"Unit No.: , 4 ", "", "Cell A :", "", "", "Cell B :", "Data ,Volt ", "0.4,1.2",
                                     "0.65,2.45", "0.9,3.7", "", "Factor ", "0.16", "0.2", "", "", ""}));
    QVERIFY(r.texts().size() == 3);   // only the three dialogs

    // Cancel: its message, nothing written; the screen and the calibration files stay as they were.
    r.prompts.clear();
    w.cmdExportH_Click();
    w.cmdExport_Click();
    QCOMPARE(r.texts(), (QStringList{"Save As", "Cancel was selected.", "Save As", "Cancel was selected."}));
    QCOMPARE(r.prompts.shown[1].kind, Kind::Message);
    QVERIFY(w.cmdSaveH->isEnabled());
    QVERIFY(!QFile::exists(r.dir.file("Calib.dat")));
    QCOMPARE(QDir(r.dir.path()).entryList({"*.csv"}, QDir::Files).size(), 3);

    // A file that cannot be written shows why.
    r.prompts.clear();
    r.prompts.queueFile(r.dir.file("no/such/folder/x.csv"));
    w.cmdExport_Click();
    QCOMPARE(r.prompts.shown.size(), std::size_t(2));
    QVERIFY(!r.prompts.shown[1].text.isEmpty());
}

namespace {
// Prompts that hold every question open for a while, as an operator would, with the event loop running.
class SlowPrompts final : public platform::Prompts {
public:
    SlowPrompts() { install(this); }
    ~SlowPrompts() override { install(nullptr); }
    void message(const QString& text, const QString&, Icon) override { texts << text; }
    Answer ask(const QString& text, Buttons, const QString&, Icon) override
    {
        texts << text;
        ++open;
        if (whileOpen) whileOpen();
        QTest::qWait(2600);
        if (beforeClosing) beforeClosing();
        --open;
        return Answer::Cancel;
    }
    std::function<void()> whileOpen, beforeClosing;
    QString input(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QStringList texts;
    int open = 0;
};
} // namespace

// The real 1000 ms timer: a finisher runs one to two seconds after its click, and while the "data not good"
// question of one cell is open the other cell's finisher still runs on its tick.
void TestCalibrate::realTimerAndBoxes()
{
    Rig r;
    r.choose(1, 1);
    r.port->receive("x");
    QElapsedTimer clock;
    clock.start();
    r.w->cmd04_Click(1);
    r.port->receive(record('A', 1.2));
    QTRY_VERIFY_WITH_TIMEOUT(!r.w->lblvolt1[1]->text().isEmpty(), 10000);
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(r.w->lblvolt1[1]->text(), QString("1.2"));

    // Cell B at step 1 too, then cell A's spacer 2 reads too close: its question stays open for a while.
    r.port->receive("x");
    r.w->cmd04_Click(2);
    r.port->receive(record('B', 0.7));
    QTRY_VERIFY_WITH_TIMEOUT(!r.w->lblvolt1[2]->text().isEmpty(), 10000);

    SlowPrompts slow;
    // While the box is open: cell B's step 2 is clicked and its finisher runs on the timer's ticks.
    slow.whileOpen = [&] {
        r.w->cmd065_Click(2);
        r.port->receive(record('B', 2.7));
    };
    QString seenWhileOpen;
    slow.beforeClosing = [&] { seenWhileOpen = r.w->lblvolt2[2]->text() + " " + r.w->Label25[2]->text(); };
    r.w->cmd065_Click(1);
    r.port->receive(record('A', 1.5));
    QTRY_VERIFY_WITH_TIMEOUT(!slow.texts.isEmpty() && slow.open == 0, 15000);
    QCOMPARE(seenWhileOpen, QString("2.7 Step 3"));
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 3"));   // Cancel went on
    QCOMPARE(slow.texts, QStringList{"data not good, do you want to try again"});
}

QTEST_MAIN(TestCalibrate)
#include "tst_calibrate.moc"
