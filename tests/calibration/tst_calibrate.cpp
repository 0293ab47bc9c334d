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
#include "records/UnitLink.h"
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
const QString NotRising = "The reading must be at least 1.0 V above the one of the spacer before. Check the "
                          "spacers' order and click the step button again.";
const QString EqualReadings = "The two readings are equal, so no calibration line can be fitted through them. "
                              "Check the spacer and click the step button again.";
const QString EqualPressureReadings = "The two readings are equal, so no calibration line can be fitted through "
                                      "them. Check the pressure and click the step button again.";

// A reply record of a cell reading `volts` on its transducer.
QByteArray record(char cell, const QByteArray& millivolts)
{
    return QByteArray(1, cell) + "1,70,71,72," + millivolts + ",120" + char(26);
}

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
    // Cell c of tab t (1 height, 2 pressure) brought to `step` with rising readings 1.2, 2.2, ...
    void reach(int t, int step, int c)
    {
        choose(t, 1);
        for (int k = 1; k < step; ++k) t == 1 ? heightStep(k, c, 0.2 + k) : pressureStep(k, c, 0.2 + k);
    }
    // Clicks the step's button of cell c, lets `arrives` come in and runs the finisher.
    void finish(int t, int step, int c, const QByteArray& arrives)
    {
        port->receive("x");
        if (t == 1) {
            if (step == 1) w->cmd04_Click(c);
            if (step == 2) w->cmd065_Click(c);
            if (step == 3) w->cmd09_Click(c);
        } else {
            step == 1 ? w->Command6_Click(c) : w->Command7_Click(c);
        }
        port->receive(arrives);
        twoTicks();
    }
    // What shows a cell's place: its step caption and the texts of its readings and factors.
    QStringList cellState(int t, int c) const
    {
        QStringList out;
        if (t == 1) {
            out << w->Label25[c]->text();
            for (QLabel* l : {w->lblvolt1[c], w->lblvolt2[c], w->lblvolt3[c], w->lblconst4[c]}) out << l->text();
        } else {
            out << w->Label26[c]->text();
            for (QLabel* l : {w->lbldata4[c], w->lbldata5[c], w->lblSlope[c]}) out << l->text();
        }
        return out;
    }
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
    void inputStaysBounded_data();
    void inputStaysBounded();
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
    void failedReportKeepsOldReport_data();
    void failedReportKeepsOldReport();
    void realTimerAndBoxes();
    void stepWithoutNewReadingStays_data();
    void stepWithoutNewReadingStays();
    void readingNoTransducerGives_data();
    void readingNoTransducerGives();
    void settingsFailureKeepsUnitInHand_data();
    void settingsFailureKeepsUnitInHand();
    void numberTextsHaveNoExponent();
    void failedWriteOnScreen_data();
    void failedWriteOnScreen();
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

void TestCalibrate::inputStaysBounded_data()
{
    QTest::addColumn<bool>("endBytes");   // the unit sends whole records, else text without the end byte
    QTest::newRow("text without the end byte") << false;
    QTest::newRow("whole records") << true;
}

// A unit sends for a long time while no step runs (1.5 MB here; about 190 B/s for a week is 115 MB): the
// screen's own input timer takes it from the port, and the screen keeps only the newest text, within the
// bound; whole records are kept whole. A step afterwards reads its cell as usual.
void TestCalibrate::inputStaysBounded()
{
    QFETCH(bool, endBytes);
    Rig r;
    r.choose(1, 1);
    QVERIFY(r.w->InputTimer->isActive());
    const auto cap = qsizetype(unitlink::ReceivedTextCap);
    QByteArray last;
    for (int piece = 0; piece < 24; ++piece) {
        QByteArray text;
        if (endBytes) {
            while (text.size() < 64 * 1024) text += record('A', QByteArray::number(1000 + piece * 10000 + text.size()));
        } else {
            text = QByteArray(64 * 1024, char('a' + piece));
        }
        r.port->receive(text);
        last = text;
        if (piece % 8 < 7) continue;
        QTRY_VERIFY(r.port->incoming.isEmpty());   // taken in three reads of 512 KiB
        QVERIFY(r.w->InputBuffer.size() <= cap);
    }
    const QByteArray& kept = r.w->InputBuffer;
    QVERIFY(kept.endsWith(last.right(qMin(last.size(), kept.size()))));
    if (endBytes) {
        QVERIFY(kept.size() > cap - 100);            // all but the part of one record
        QVERIFY(kept.startsWith('A'));               // a whole record first
        QVERIFY(kept.endsWith(char(26)));
    } else {
        QCOMPARE(kept.size(), cap);
        QCOMPARE(kept, QByteArray(cap, char('a' + 23)));
    }

    // The next step throws it away and reads the record that follows its click.
    r.heightStep(1, 1, 1.2);
    QCOMPARE(r.w->lblvolt1[1]->text(), QString("1.2"));
    QVERIFY(r.w->InputBuffer.isEmpty());
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
    QTest::addColumn<QStringList>("shownTexts");
    QTest::addColumn<QString>("stepAfter");

    const QString q2 = "data not good, do you want to try again";
    const QString q3 = "Data not good, do you want to try again";
    const QStringList none;
    QTest::newRow("step 2: 1.0 V apart accepted") << 2 << 1.2 << 2.2 << Answer::Retry << none << "Step 3";
    QTest::newRow("step 2: 1.3 to 2.3 is 1.0 V") << 2 << 1.3 << 2.3 << Answer::Retry << none << "Step 3";
    QTest::newRow("step 2: 0.99999 V asks, Retry") << 2 << 1.2 << 2.19999 << Answer::Retry << QStringList{q2} << "Step 2";
    QTest::newRow("step 2: 0.99999 V asks, Cancel stays")
        << 2 << 1.2 << 2.19999 << Answer::Cancel << QStringList{q2, NotRising} << "Step 2";
    // Spacers in the wrong order: the readings fall by a volt or more.
    QTest::newRow("step 2: 1.0 V below asks") << 2 << 3.0 << 2.0 << Answer::Retry << QStringList{q2} << "Step 2";
    QTest::newRow("step 2: falling, Cancel stays")
        << 2 << 3.0 << 2.0 << Answer::Cancel << QStringList{q2, NotRising} << "Step 2";
    QTest::newRow("step 3: 1.0 V apart fits") << 3 << 2.2 << 3.2 << Answer::Retry << none << "fitted";
    QTest::newRow("step 3: close, Retry") << 3 << 2.2 << 2.5 << Answer::Retry << QStringList{q3} << "Step 3";
    QTest::newRow("step 3: close, Cancel does not fit")
        << 3 << 2.2 << 2.5 << Answer::Cancel << QStringList{q3, NotRising} << "Step 3";
    QTest::newRow("step 3: falling, Cancel does not fit")
        << 3 << 2.2 << 0.95 << Answer::Cancel << QStringList{q3, NotRising} << "Step 3";
}

void TestCalibrate::readingsApart()
{
    QFETCH(int, step);
    QFETCH(double, before);
    QFETCH(double, reading);
    QFETCH(Answer, answer);
    QFETCH(QStringList, shownTexts);
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
    QCOMPARE(r.texts(), shownTexts);
    if (!shownTexts.isEmpty()) {
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

    // Equal readings on cell B make no fit (slope 0 would convert nothing): the step stays; a reading that
    // differs goes on.
    r.pressureStep(1, 2, 2.0);
    r.pressureStep(2, 2, 2.0);
    QCOMPARE(r.texts(), QStringList{EqualPressureReadings});
    QCOMPARE(w.lblSlope[2]->text(), QString());
    QCOMPARE(w.lblIntercept[2]->text(), QString());
    QCOMPARE(w.lbldata5[2]->text(), QString());
    QVERIFY(!hidden(w.Command7[2]));
    r.prompts.clear();
    r.pressureStep(2, 2, 6.0);
    QCOMPARE(w.lblSlope[2]->text(), QString("0.004"));
    QCOMPARE(w.lblIntercept[2]->text(), QString("2"));
    QVERIFY(r.texts().isEmpty());

    w.cmdSaveP_Click();
    QVERIFY(w.PressureSaved);
    QVERIFY(!w.cmdSaveP->isEnabled());
    QCOMPARE(lines(r.dir.file("pcalinfo.csv")),
             (QStringList{"old1", "old2", "0.5,4.5,0.5,0.004,2,6,2,0.004,", "old4", "old5", "old6", "old7", "old8", ""}));

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
    // The height results left unsaved on the way out are asked about on the way back, by the height tab's
    // unit choice: Yes keeps them for SAVE.
    r.prompts.queueAnswer(Answer::Yes);
    const int asked = r.texts().size();
    r.w->TabStrip1->setCurrentIndex(0);
    QCOMPARE(r.texts().mid(asked), QStringList{SaveBeforeProceeding});
    QCOMPARE(r.w->CurrentTab, 1);
    QCOMPARE(r.w->Combo1[1]->currentIndex(), 1);
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 3"));
    QVERIFY(!r.w->lblconst1[1]->text().isEmpty());
    QVERIFY(r.w->cmdSaveH->isEnabled());
    r.w->cmdSaveH_Click();
    QVERIFY(r.w->HeightSaved);
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
    QCOMPARE(r.texts(), (QStringList{"Save As", "Path/File access error"}));
}

void TestCalibrate::failedReportKeepsOldReport_data()
{
    QTest::addColumn<bool>("pressure");   // the pressure tab's report, else the height tab's
    QTest::addColumn<bool>("overOld");    // saved over an earlier report, else under a new name
    for (const bool pressure : {false, true})
        for (const bool overOld : {true, false})
            QTest::addRow("%s, %s", pressure ? "pressure" : "height", overOld ? "over an old report" : "new name")
                << pressure << overOld;
}

// A report whose write fails part way (the file-size limit acts as a full disk, for root too): the box names
// the cause, an earlier report stays byte for byte, a new name leaves no file, and no temporary file is left.
void TestCalibrate::failedReportKeepsOldReport()
{
    QFETCH(bool, pressure);
    QFETCH(bool, overOld);
    Rig r;
    const auto save = [&] { pressure ? r.w->cmdExport_Click() : r.w->cmdExportH_Click(); };
    const QString path = r.dir.file("report.csv");
    QByteArray old;
    if (overOld) {
        r.prompts.queueFile(path);
        save();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        old = f.readAll();
        QVERIFY(old.size() > 64);
    }
    const QStringList before = QDir(r.dir.path()).entryList(QDir::Files | QDir::Hidden);
    r.prompts.clear();
    r.prompts.queueFile(path);
    {
        const testsupport::FileSizeLimit limit(16);
        save();
    }
    QCOMPARE(r.texts(), (QStringList{"Save As", "Disk full"}));
    QCOMPARE(QDir(r.dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    if (overOld) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    } else {
        QVERIFY(!QFile::exists(path));
    }
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
    QCOMPARE(r.w->Label25[1]->text(), QString("Step 2"));   // Cancel keeps a reading that does not rise
    QCOMPARE(slow.texts, (QStringList{"data not good, do you want to try again", NotRising}));
}

// A finisher takes only a record of its own cell that came after its button's click: with none (nothing,
// the other cell's record, an incomplete record) the step says there is no response and stays, whatever
// an earlier step or the other cell read.
void TestCalibrate::stepWithoutNewReadingStays_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("arrives");
    const QByteArray otherCell = record('A', 4.5);
    const QByteArray cut = QByteArray(record('B', 4.5)).chopped(1);
    for (int t = 1; t <= 2; ++t)
        for (int step = 1; step <= (t == 1 ? 3 : 2); ++step) {
            const QString name = QStringLiteral("%1 step %2").arg(t == 1 ? "height" : "pressure").arg(step);
            QTest::newRow(qPrintable(name + ": nothing")) << t << step << QByteArray();
            QTest::newRow(qPrintable(name + ": other cell")) << t << step << otherCell;
            QTest::newRow(qPrintable(name + ": no SUB")) << t << step << cut;
        }
}

void TestCalibrate::stepWithoutNewReadingStays()
{
    QFETCH(int, tab);
    QFETCH(int, step);
    QFETCH(QByteArray, arrives);
    Rig r;
    if (tab == 2) r.w->TabStrip1->setCurrentIndex(1);
    r.reach(tab, step, 2);
    QVERIFY(r.texts().isEmpty());
    const QStringList before = r.cellState(tab, 2);
    r.finish(tab, step, 2, arrives);
    QCOMPARE(r.texts(), QStringList{NoResponse});
    QCOMPARE(r.cellState(tab, 2), before);
    QVERIFY(!r.w->cmdSaveH->isEnabled() && !r.w->cmdSaveP->isEnabled());
    // The reading arrives on the next try: the step goes on.
    r.prompts.clear();
    r.finish(tab, step, 2, record('B', 0.2 + step));
    QVERIFY(r.texts().isEmpty());
    QVERIFY(r.cellState(tab, 2) != before);
}

// Millivolts that no transducer gives (beyond +-10 V, or no finite number at all) ask the step's question and are never taken.
void TestCalibrate::readingNoTransducerGives_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("millivolts");
    QTest::addColumn<QString>("question");
    const QString q = "data not good, do you want to try again";
    const QString q3 = "Data not good, do you want to try again";
    QTest::newRow("height 1: 10.00001 V") << 1 << 1 << QByteArray("10000.01") << q;
    QTest::newRow("height 2: 1e308 mV") << 1 << 2 << QByteArray("1E+308") << q;
    QTest::newRow("height 3: forty nines") << 1 << 3 << QByteArray(40, '9') << q3;
    QTest::newRow("height 1: -10.5 V") << 1 << 1 << QByteArray("-10500") << q;
    QTest::newRow("pressure 1: forty nines") << 2 << 1 << QByteArray(40, '9') << q;
    QTest::newRow("pressure 2: 1e308 mV") << 2 << 2 << QByteArray("1E+308") << q;
    // Numbers without a finite value: the cell answered, so no "Type mismatch" and no "No response".
    QTest::newRow("height 1: NaN") << 1 << 1 << QByteArray("NaN") << q;
    QTest::newRow("height 2: nan") << 1 << 2 << QByteArray("nan") << q;
    QTest::newRow("height 3: inf") << 1 << 3 << QByteArray("inf") << q3;
    QTest::newRow("pressure 1: -inf") << 2 << 1 << QByteArray("-inf") << q;
    QTest::newRow("pressure 2: 1e999") << 2 << 2 << QByteArray("1e999") << q;
}

void TestCalibrate::readingNoTransducerGives()
{
    QFETCH(int, tab);
    QFETCH(int, step);
    QFETCH(QByteArray, millivolts);
    QFETCH(QString, question);
    Rig r;
    if (tab == 2) r.w->TabStrip1->setCurrentIndex(1);
    r.reach(tab, step, 1);
    const QStringList before = r.cellState(tab, 1);
    r.prompts.queueAnswer(Answer::Cancel);
    r.finish(tab, step, 1, record('A', millivolts));
    QCOMPARE(r.texts(), QStringList{question});
    QCOMPARE(r.prompts.shown[0].buttons, Buttons::RetryCancel);
    QCOMPARE(r.cellState(tab, 1), before);
    QVERIFY(!r.w->cmdSaveH->isEnabled() && !r.w->cmdSaveP->isEnabled());
}

// A unit choice that fails at the settings read chooses the unit in hand again: the list, the open port,
// the fits on screen and SAVE stay those of one unit.
void TestCalibrate::settingsFailureKeepsUnitInHand_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("message");
    QTest::newRow("too few values") << QByteArray("1\r\n2\r\n") << Communication;
    QTest::newRow("not a number") << QByteArray("1\r\n2\r\nabc\r\n4\r\n5\r\n6\r\n7\r\n8\r\n1\r\n") << Communication;
    QTest::newRow("no file") << QByteArray() << "File not found -  53";
}

void TestCalibrate::settingsFailureKeepsUnitInHand()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, message);
    Rig r;
    r.choose(1, 2);
    r.calibrateHeight(1, 1.2, 2.45, 3.7);
    QFile::remove(r.dir.file("initial.txt"));
    if (!settings.isNull()) r.dir.write("initial.txt", settings);
    r.prompts.queueAnswer(Answer::No);
    r.choose(1, 3);
    QCOMPARE(r.texts(), (QStringList{SaveBeforeProceeding, message}));
    frmCalibrate& w = *r.w;
    QCOMPARE(w.Combo1[1]->currentIndex(), 1);
    QCOMPARE(w.CalUnit, 2);
    QVERIFY(w.MSComm1->isOpen());
    QCOMPARE(r.port->port, 2);
    QVERIFY(!w.lblconst4[1]->text().isEmpty());
    QVERIFY(w.cmdSaveH->isEnabled());
    r.dir.write("initial.txt", SettingsFile::text({1, 2, 3, 4, 0, 6, 7, 8}, 1));
    w.cmdSaveH_Click();
    QCOMPARE(lines(r.dir.file("Calib.dat")).at(1).left(13), QString("1.2,2.45,3.7,"));   // unit 2's line
}

// Readings and factors are plain decimals, on screen and in both files: 0.04 mV is 0.00004 V.
void TestCalibrate::numberTextsHaveNoExponent()
{
    Rig r;
    QByteArray eight;
    for (int k = 0; k < 8; ++k) eight += "\r\n";
    r.dir.write("pcalinfo.csv", eight);
    r.choose(1, 1);
    r.finish(1, 1, 1, record('A', QByteArray("0.04")));
    r.finish(1, 2, 1, record('A', QByteArray("1000.04")));
    r.finish(1, 3, 1, record('A', QByteArray("2000.04")));
    frmCalibrate& w = *r.w;
    QCOMPARE(w.lblvolt1[1]->text(), QString("0.00004"));
    w.cmdSaveH_Click();
    QVERIFY(w.HeightSaved);
    const QString calib = lines(r.dir.file("Calib.dat")).first();
    QVERIFY2(calib.startsWith("0.00004,1.00004,2.00004,"), qPrintable(calib));
    QVERIFY2(!calib.contains('E'), qPrintable(calib));

    w.TabStrip1->setCurrentIndex(1);
    r.finish(2, 1, 1, record('A', QByteArray("0.04")));
    r.finish(2, 2, 1, record('A', QByteArray("0.05")));
    QCOMPARE((QStringList{w.lbldata4[1]->text(), w.lbldata5[1]->text(), w.lblIntercept[1]->text(), w.lblSlope[1]->text()}),
             (QStringList{"0.00004", "0.00005", "0.00004", "0.00000001"}));
    w.cmdSaveP_Click();
    QVERIFY(w.PressureSaved);
    QCOMPARE(lines(r.dir.file("pcalinfo.csv")).first(), QString("0.00004,0.00005,0.00004,0.00000001,,,,,"));
    QVERIFY(r.texts().isEmpty());
}

// A save whose write fails part way (the file-size limit acts as a full disk) shows the failure box, keeps
// the old file byte for byte, leaves the saved flag false and SAVE enabled; the next save goes through.
void TestCalibrate::failedWriteOnScreen_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("height save") << 1;
    QTest::newRow("pressure save") << 2;
}

void TestCalibrate::failedWriteOnScreen()
{
    QFETCH(int, tab);
    Rig r;
    const QString name = tab == 1 ? "Calib.dat" : "pcalinfo.csv";
    QByteArray old;
    for (int k = 1; k <= 8; ++k) old += "line " + QByteArray::number(k) + ",\r\n";
    r.dir.write(name, old);
    frmCalibrate& w = *r.w;
    if (tab == 2) w.TabStrip1->setCurrentIndex(1);
    r.choose(tab, 1);
    if (tab == 1) {
        r.calibrateHeight(1, 1.2, 2.45, 3.7);
    } else {
        r.pressureStep(1, 1, 0.5);
        r.pressureStep(2, 1, 4.5);
    }
    QPushButton* save = tab == 1 ? w.cmdSaveH : w.cmdSaveP;
    {
        const testsupport::FileSizeLimit limit(16);
        tab == 1 ? w.cmdSaveH_Click() : w.cmdSaveP_Click();
    }
    QCOMPARE(r.texts(), QStringList{"Disk full -  61"});
    QCOMPARE(r.prompts.shown[0].title, QString("Form_Load Error"));
    QCOMPARE(r.prompts.shown[0].icon, Icon::Warning);
    QVERIFY(!(tab == 1 ? w.HeightSaved : w.PressureSaved));
    QVERIFY(save->isEnabled());
    QFile f(r.dir.file(name));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
    f.close();
    QStringList expected{name, "initial.txt"};
    expected.sort();
    QCOMPARE(QDir(r.dir.path()).entryList(QDir::Files, QDir::Name), expected);   // no temporary file left

    tab == 1 ? w.cmdSaveH_Click() : w.cmdSaveP_Click();
    QVERIFY(tab == 1 ? w.HeightSaved : w.PressureSaved);
    QVERIFY(!save->isEnabled());
    QCOMPARE(lines(r.dir.file(name)).at(1), QString("line 2,"));
    QVERIFY(lines(r.dir.file(name)).first().startsWith(tab == 1 ? "1.2,2.45,3.7," : "0.5,4.5,0.5,0.004,"));
}

QTEST_MAIN(TestCalibrate)
#include "tst_calibrate.moc"
