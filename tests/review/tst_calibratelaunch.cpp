// The main window's Calibrate button: it opens the calibration screen beside the main window (one at a time,
// a second click shows the same one), and the main window is shown again when the screen closes.
#include "TestSupport.h"

#include "calibration/frmCalibrate.h"
#include "platform/Prompts.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "review/frmMain.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

class TestCalibrateLaunch : public QObject {
    Q_OBJECT
private slots:
    void opensAndComesBack();
};

void TestCalibrateLaunch::opensAndComesBack()
{
    testsupport::TempWorkDir dir;
    dir.write("initial.txt", SettingsFile::text({}, 1));
    platform::ScriptedPrompts prompts;
    {
        frmMain w;
        w.Form_Load();
        w.show();
        QVERIFY(w.findChildren<frmCalibrate*>().isEmpty());

        w.cmdCalibrate->click();
        QList<frmCalibrate*> screens = w.findChildren<frmCalibrate*>();
        QCOMPARE(screens.size(), 1);
        QPointer<frmCalibrate> first = screens.first();
        QVERIFY(first->isVisible());
        QVERIFY(first->isWindow());
        QCOMPARE(first->windowTitle(), QString("Veduvovir Calibrate"));
        QVERIFY(w.isVisible());   // the main window stays up

        w.cmdCalibrate_Click();
        QCOMPARE(w.findChildren<frmCalibrate*>().size(), 1);
        QCOMPARE(w.findChildren<frmCalibrate*>().first(), first.data());

        // Closed (Return) while the main window was hidden: the main window comes back, the screen goes.
        w.hide();
        first->cmdReturn[1]->click();
        QVERIFY(w.isVisible());
        QTRY_VERIFY(first.isNull());

        // The next click loads a fresh screen.
        w.cmdCalibrate_Click();
        screens = w.findChildren<frmCalibrate*>();
        QCOMPARE(screens.size(), 1);
        QCOMPARE(screens.first()->Combo1[1]->currentIndex(), -1);
        QVERIFY(screens.first()->isVisible());
        QVERIFY(prompts.texts().isEmpty());
    }
    Module1::Reset();
}

QTEST_MAIN(TestCalibrateLaunch)
#include "tst_calibratelaunch.moc"
