#pragma once
// The working folder and the shared state of an end-to-end run of the real-time window against torvan-sim:
// units 1 and 2 on ports 1 and 2 in English units, every unit calibrated as the simulator's transducer
// (length = 0.25 in./V × volts + 0.1 in.), a connection to the folder's database, and the test-information
// dialog answered with a test name.
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QLineEdit>
#include <QTest>
#include <functional>

namespace e2e {

inline void prepare(const testsupport::TempWorkDir& dir)
{
    dir.write("initial.txt", SettingsFile::text({1, 2}, 1));
    QByteArray cal;
    for (int i = 0; i < 8; ++i) cal += "1.2,2.2,3.2, .1 , .25 , .1 , .25 ,1.2,2.2,3.2, .1 , .25 , .1 , .25 ,\r\n";
    dir.write("Calib.dat", cal);
    Module1::UnitSystem = 1;
    Module1::SetUnitCaptions();
    Module1::DbConnection = testsupport::openConnection();
}

// Answers every test-information dialog with the name testName() gives at that moment and its OK button.
inline void answerTestInformation(std::function<QString()> testName)
{
    platform::setModalHandler([testName](QDialog& d) {
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->txtTestInfo[1]->setText(testName());
        dlg->Command2_Click();
        return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
}

// The simple-test screens of units 1 and 2, added from the window's menu.
struct SimpleScreens {
    frmSimpleTest* unit1 = nullptr;
    frmSimpleTest* unit2 = nullptr;
};

// Adds both screens; they must open without a message and with their ports open. On a fault the test has
// failed (QTest::currentTestFailed()) and the caller returns.
inline SimpleScreens addSimpleScreens(frmMDIRealTime& w, const platform::ScriptedPrompts& prompts)
{
    SimpleScreens out;
    [&] {
        w.menuSimpleAdd_Click(1);
        w.menuSimpleAdd_Click(2);
        QCOMPARE(prompts.texts(), QStringList());
        out.unit1 = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]);
        out.unit2 = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[2]);
        QVERIFY(out.unit1 && out.unit2);
        QVERIFY(out.unit1->MSComm1->isOpen() && out.unit2->MSComm1->isOpen());
    }();
    return out;
}

} // namespace e2e
