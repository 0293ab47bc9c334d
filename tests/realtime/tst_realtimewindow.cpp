// The real-time window: which units the settings file offers, adding a unit as a simple test screen
// (calibration, caption, port), the failure boxes, and offering the unit again when its screen closes.
#include "TestSupport.h"
#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmSimpleTest.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QAction>
#include <QGroupBox>
#include <QPushButton>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>

using namespace testsupport;
using platform::FakeSerialPort;

namespace {
// "initial.txt" offering units 1 and 2 (ports 1 and 2), English units.
QByteArray settings12() { return SettingsFile::text({1, 2}, 1); }
const QByteArray kCalibrated = "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,1.2,2.2,3.2, .1 , .25 , .1 , .25 ,\r\n";
} // namespace

class TestRealTimeWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void settingsDecideOfferedUnits_data();
    void settingsDecideOfferedUnits();
    void missingSettingsLeaveEveryUnitOffered();
    void addsUnitWithCalibrationAndPort();
    void unitWithoutCalibrationLineIsNotAdded();
    void missingCalibrationFileIsCreatedEmpty();
    void uncalibratedCellWarnsAndStillAdds();
    void portFailureShowsFormLoadErrorAndKeepsScreen();
    void portOutsideSettingsRangeIsRefused_data();
    void portOutsideSettingsRangeIsRefused();
    void screenOpensAtItsDesignSize();
    void closingScreenOffersUnitAgain();
    void secondUnitKeepsFirstUnitsCalibration();
    void sequenceScreenBesideSimpleScreen();
    void sequencePortFailureLayout();

private:
    std::unique_ptr<TempWorkDir> dir_;
    std::unique_ptr<platform::ScriptedPrompts> prompts_;
    QList<FakeSerialPort*> ports_;
    bool failOpen_ = false;
};

void TestRealTimeWindow::init()
{
    dir_ = std::make_unique<TempWorkDir>();
    prompts_ = std::make_unique<platform::ScriptedPrompts>();
    Module1::DbConnection = openConnection();
    ports_.clear();
    failOpen_ = false;
    platform::setSerialPortFactory([this] {
        auto p = std::make_unique<FakeSerialPort>();
        p->failOpen = failOpen_;
        ports_ << p.get();
        return p;
    });
}

void TestRealTimeWindow::cleanup()
{
    platform::setSerialPortFactory({});
    Module1::Reset();
    prompts_.reset();
    dir_.reset();
}

void TestRealTimeWindow::settingsDecideOfferedUnits_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QList<int>>("offered");
    QTest::addColumn<int>("flag");
    QTest::newRow("3,0,0,5 flag 2") << QByteArray(" 3 \r\n 0 \r\n 0 \r\n 5 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 2 \r\n")
                                    << QList<int>{1, 4} << 2;
    QTest::newRow("-1 counts as a unit") << QByteArray("-1 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 7 \r\n 1 \r\n")
                                         << QList<int>{1, 8} << 1;
    QTest::newRow("no blanks, commas") << QByteArray("1,2,3,4,5,6,7,8,3\n") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << 3;
}

void TestRealTimeWindow::settingsDecideOfferedUnits()
{
    QFETCH(QByteArray, settings);
    QFETCH(QList<int>, offered);
    QFETCH(int, flag);
    dir_->write("initial.txt", settings);
    frmMDIRealTime w;
    QCOMPARE(w.windowTitle(), QString("Veduvovir Real Time Test & Monitoring"));
    for (int n = 1; n <= 8; ++n) {
        QCOMPARE(frmMDIRealTime::offered(w.menuSimpleAdd[n]), offered.contains(n));
        QCOMPARE(frmMDIRealTime::offered(w.MenuSeqAdd[n]), offered.contains(n));
        QCOMPARE(w.menuSimpleAdd[n]->text(), QString("Add Torvan Unit %1").arg(n));
    }
    QCOMPARE(Module1::UnitSystem, flag);
    QVERIFY(Module1::TempUnitCaption.isEmpty());   // captions are not touched here
    QVERIFY(prompts_->shown.empty());
}

void TestRealTimeWindow::missingSettingsLeaveEveryUnitOffered()
{
    Module1::UnitSystem = 1;
    frmMDIRealTime w;
    for (int n = 1; n <= 8; ++n) QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[n]));
    QCOMPARE(Module1::UnitSystem, 1);
    QCOMPARE(prompts_->texts(), QStringList{"Error: 53\r\nFile not found"});
}

void TestRealTimeWindow::addsUnitWithCalibrationAndPort()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated + "1,2,3,0.5,0.125,0.75,-.5,4,5,6,1,2,3,4,\r\n");
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(2);
    QVERIFY(prompts_->shown.empty());
    auto* screen = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[2]);
    QVERIFY(screen);
    QCOMPARE(screen->windowTitle(), QString("Veduvovir Simple Test Unit #  2"));
    QCOMPARE(screen->lblUnitNo->text(), QString(" 2"));
    QCOMPARE(screen->Units(), 2);
    QVERIFY(screen->isVisible());
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
    QVERIFY(!frmMDIRealTime::offered(w.menuSimpleAdd[2]));
    QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[1]));
    QVERIFY(screen->Timer1->isActive());
    QCOMPARE(screen->Timer1->interval(), 500);
    QCOMPARE(ports_.size(), 1);
    QVERIFY(ports_[0]->opened);
    QCOMPARE(ports_[0]->port, 2);
    QCOMPARE(ports_[0]->settingsUsed, QString("19200,n,8,1"));
    const auto& a = Module1::Calibration[2][1];
    QCOMPARE(a.CalVolt2, 2.0);
    QCOMPARE(a.CalSlope1, 0.125);
    QCOMPARE(a.CalSlope2, -0.5);
    QCOMPARE(Module1::Calibration[2][2].CalVolt1, 4.0);
}

void TestRealTimeWindow::unitWithoutCalibrationLineIsNotAdded()
{
    dir_->write("initial.txt", SettingsFile::text({1, 2, 0, 9}, 1));
    dir_->write("Calib.dat", kCalibrated + kCalibrated + kCalibrated);
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(4);
    QCOMPARE(prompts_->texts(), QStringList{"No calibration data saved, please complete calibration first"});
    // The refused screen's port was never opened; it goes with the screen, so it is looked at before.
    for (auto* p : ports_) QCOMPARE(p->openCount, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ports_.clear();
    QVERIFY(Module1::SimpleTestForms[4].isNull());
    QVERIFY(w.mdiArea->subWindowList().isEmpty());
    QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[4]));
}

void TestRealTimeWindow::missingCalibrationFileIsCreatedEmpty()
{
    dir_->write("initial.txt", settings12());
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(1);
    QCOMPARE(prompts_->texts(), QStringList{"No calibration data saved, please complete calibration first"});
    QFile created(dir_->file("calib.dat"));
    QVERIFY(created.exists());
    QCOMPARE(created.size(), 0);
    QVERIFY(w.mdiArea->subWindowList().isEmpty());
}

void TestRealTimeWindow::uncalibratedCellWarnsAndStillAdds()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated + "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,0,0,0,0,0,0,0,\r\n");
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(2);
    QCOMPARE(prompts_->texts(), QStringList{"Unit 2, Cell B  not calibrated yet!"});
    QCOMPARE(prompts_->shown[0].icon, platform::Icon::None);
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
    QVERIFY(ports_.last()->opened);
}

void TestRealTimeWindow::portFailureShowsFormLoadErrorAndKeepsScreen()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated);
    failOpen_ = true;
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(1);
    QCOMPARE(prompts_->shown.size(), std::size_t(1));
    QCOMPARE(prompts_->shown[0].title, QString("Form_Load Error"));
    QCOMPARE(prompts_->shown[0].icon, platform::Icon::Warning);
    QCOMPARE(prompts_->shown[0].text, QString("Port 1 cannot be opened -  8002"));
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
    QVERIFY(!frmMDIRealTime::offered(w.menuSimpleAdd[1]));
}

void TestRealTimeWindow::portOutsideSettingsRangeIsRefused_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("99") << 99;
    QTest::newRow("-5") << -5;
    QTest::newRow("-1, no choice made") << -1;
    QTest::newRow("21") << 21;
}

void TestRealTimeWindow::portOutsideSettingsRangeIsRefused()
{
    // Through the real serial layer: such a number is refused before any device path is tried.
    QFETCH(int, port);
    platform::setSerialPortFactory({});
    dir_->write("initial.txt", SettingsFile::text({port, 2}, 1));
    dir_->write("Calib.dat", kCalibrated);
    frmMDIRealTime w;
    w.show();
    QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[1]));
    w.menuSimpleAdd_Click(1);
    QCOMPARE(prompts_->shown.size(), std::size_t(1));
    QCOMPARE(prompts_->shown[0].title, QString("Form_Load Error"));
    QCOMPARE(prompts_->shown[0].icon, platform::Icon::Warning);
    QCOMPARE(prompts_->shown[0].text, QString("Invalid port number -  8002"));
    auto* screen = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]);
    QVERIFY(screen && screen->isVisible());
    QVERIFY(!screen->MSComm1->isOpen());
}

void TestRealTimeWindow::screenOpensAtItsDesignSize()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated + kCalibrated);
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(1);
    w.menuSimpleAdd_Click(2);
    QVERIFY(prompts_->shown.empty());
    QTest::qWait(100);   // layouts and resizes settle
    const QSize design(frmSimpleTest::DesignWidth, frmSimpleTest::DesignHeight);
    QCOMPARE(design, QSize(985, 707));
    for (int n = 1; n <= 2; ++n) {
        auto* screen = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[n]);
        QVERIFY(screen);
        QCOMPARE(screen->size(), design);
        auto* sub = qobject_cast<QMdiSubWindow*>(screen->parentWidget());
        QVERIFY(sub);
        QCOMPARE(sub->widget(), static_cast<QWidget*>(screen));
        QVERIFY(sub->width() > design.width() && sub->height() > design.height());   // frame and title on top
        // The controls stand where the design puts them, as on a screen that was never resized.
        frmSimpleTest reference;
        QCOMPARE(screen->cmdExit->geometry(), reference.cmdExit->geometry());
        QCOMPARE(screen->fraCell[2]->geometry(), reference.fraCell[2]->geometry());
    }
}

void TestRealTimeWindow::closingScreenOffersUnitAgain()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated);
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(1);
    QVERIFY(!frmMDIRealTime::offered(w.menuSimpleAdd[1]));
    FakeSerialPort* port = ports_.last();
    w.mdiArea->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[1]));
    QVERIFY(Module1::SimpleTestForms[1].isNull());
    Q_UNUSED(port);   // deleted with its screen; the screen closed it first
    w.menuSimpleAdd_Click(1);
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
}

void TestRealTimeWindow::secondUnitKeepsFirstUnitsCalibration()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated + "9,9,9,9,9,9,9,8,8,8,8,8,8,8,\r\n");
    frmMDIRealTime w;
    w.show();
    w.menuSimpleAdd_Click(1);
    w.menuSimpleAdd_Click(2);
    QCOMPARE(Module1::Calibration[1][1].CalSlope1, 0.25);
    QCOMPARE(Module1::Calibration[2][1].CalSlope1, 9.0);
    QCOMPARE(Module1::Calibration[2][2].CalSlope1, 8.0);
    QCOMPARE(w.mdiArea->subWindowList().size(), 2);
    w.MenuWindowVertically_Click();
    const auto subs = w.mdiArea->subWindowList();
    QVERIFY(subs[0]->geometry().right() < subs[1]->geometry().left());
    w.MenuWindowHorizontal_Click();
    QVERIFY(subs[0]->geometry().bottom() < subs[1]->geometry().top());
}

// Both screen kinds of one unit can be open; each withdraws and offers again only its own item.
void TestRealTimeWindow::sequenceScreenBesideSimpleScreen()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated);
    frmMDIRealTime w;
    w.show();
    QVERIFY(frmMDIRealTime::offered(w.MenuSeqAdd[1]));
    w.MenuSeqAdd_Click(1);
    QCOMPARE(prompts_->texts(), QStringList());
    auto* seq = Module1::form<frmSeqTest>(Module1::SeqTestForms[1]);
    QVERIFY(seq);
    QVERIFY(Module1::SimpleTestForms[1].isNull());
    QCOMPARE(seq->windowTitle(), QString("Veduvovir Test BY Sequence Unit #  1"));
    QCOMPARE(seq->lblUnitNo->text(), QString(" 1"));
    QCOMPARE(seq->Units(), 1);
    QCOMPARE(seq->size(), QSize(985, 628));   // the sub-window gives the screen its design size
    QVERIFY(seq->Timer1->isActive());
    QVERIFY(ports_.last()->isOpen());
    QCOMPARE(Module1::Calibration[1][2].CalSlope2, 0.25);
    QVERIFY(!frmMDIRealTime::offered(w.MenuSeqAdd[1]));
    QVERIFY(frmMDIRealTime::offered(w.menuSimpleAdd[1]));

    w.menuSimpleAdd_Click(1);
    QVERIFY(Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]));
    QVERIFY(!qobject_cast<frmSeqTest*>(Module1::SimpleTestForms[1].data()));
    QCOMPARE(w.mdiArea->subWindowList().size(), 2);

    // Closing the sequence screen offers only its own item again.
    seq->cmdExit_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(Module1::SeqTestForms[1].isNull());
    QVERIFY(frmMDIRealTime::offered(w.MenuSeqAdd[1]));
    QVERIFY(!frmMDIRealTime::offered(w.menuSimpleAdd[1]));
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
}

// The sequence screen writes its failure number first, then the usual text.
void TestRealTimeWindow::sequencePortFailureLayout()
{
    dir_->write("initial.txt", settings12());
    dir_->write("Calib.dat", kCalibrated);
    failOpen_ = true;
    frmMDIRealTime w;
    w.show();
    w.MenuSeqAdd_Click(1);
    QCOMPARE(prompts_->shown.size(), std::size_t(1));
    QCOMPARE(prompts_->shown[0].title, QString("Form_Load Error"));
    QCOMPARE(prompts_->shown[0].text, QString("8002Port 1 cannot be opened -  8002"));
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
}

QTEST_MAIN(TestRealTimeWindow)
#include "tst_realtimewindow.moc"
