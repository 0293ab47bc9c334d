// The hardware save of the setup window when the settings file's write fails part way: a file-size limit
// makes the write fail as on a full disk, for root as well. The old "initial.txt" stays byte for byte, the
// window says why, and the next save goes through. A save refused or failed after another unit system was
// chosen leaves the flag, captions and conversions those of the file.
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"
#include "setup/frmSetup.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class SetupSaveFail : public QObject {
    Q_OBJECT
private slots:
    void failedWriteKeepsSettings();
    void unitsStayThoseOfTheFile_data();
    void unitsStayThoseOfTheFile();
};

void SetupSaveFail::failedWriteKeepsSettings()
{
    testsupport::TempWorkDir dir;
    platform::ScriptedPrompts prompts;
    Module1::Reset();
    const QByteArray old = SettingsFile::text({0, 3, 0, 0, 0, 0, 0, 5}, 1);
    dir.write("initial.txt", old);
    auto connection = testsupport::openConnection();
    frmSetup w;
    w.Form_Load(connection);
    QVERIFY(prompts.shown.empty());
    w.cmbUnit[1]->setCurrentIndex(1);
    w.cmbUnit[2]->setCurrentIndex(2);
    w.SequenceChanged = true;
    {
        const testsupport::FileSizeLimit limit(4);
        w.cmdSave->click();
    }
    QCOMPARE(prompts.texts(),
             QStringList{"The hardware settings could not be saved to initial.txt (Disk full). The previous file is kept."});
    QCOMPARE(fileBytes(dir.file("initial.txt")), old);
    QVERIFY(!QDir(dir.path()).entryList(QDir::Files).join(' ').contains("initial.txt."));   // no temporary file
    QCOMPARE(Module1::TempUnitCaption, QString());
    QVERIFY(w.SequenceChanged);

    prompts.clear();
    w.cmdSave->click();
    QVERIFY(prompts.shown.empty());
    QCOMPARE(fileBytes(dir.file("initial.txt")), SettingsFile::text({1, 2, 0, 0, 0, 0, 0, 5}, 1));
    Module1::Reset();
}

void SetupSaveFail::unitsStayThoseOfTheFile_data()
{
    QTest::addColumn<bool>("refused");   // two units on one port, else a write that fails
    QTest::addColumn<QString>("message");
    QTest::newRow("port used twice") << true << "This comm port is already in use, please choose another.";
    QTest::newRow("file not writable")
        << false << "The hardware settings could not be saved to initial.txt (Disk full). The previous file is kept.";
}

// SI chosen over an English file, then a save that is refused or fails: the flag, the captions, the
// conversions and the window's temperatures are English again, as the file says; a later sequence save
// stores the same degrees.
void SetupSaveFail::unitsStayThoseOfTheFile()
{
    QFETCH(bool, refused);
    QFETCH(QString, message);
    testsupport::TempWorkDir dir;
    platform::ScriptedPrompts prompts;
    Module1::Reset();
    QVERIFY(testsupport::sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'Ramp', 20, 60); INSERT INTO SEQUENCE_STEP "
                                 "(SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS) "
                                 "VALUES (1, 1, 30, 212, 60, 0), (1, 2, 60, 300, 30, 0)"));
    const QByteArray old = SettingsFile::text({0, 3, 0, 0, 0, 0, 0, 5}, 1);
    dir.write("initial.txt", old);
    testsupport::setUnits(1);   // as the main window read the file at start-up
    auto connection = testsupport::openConnection();
    frmSetup w;
    w.Form_Load(connection);
    auto temps = [&w] { return QStringList{w.CellText(1, 2), w.CellText(2, 2)}; };
    QCOMPARE(temps(), (QStringList{"212.", "300."}));
    w.OptSI->click();
    QCOMPARE(Module1::UnitSystem, 2);
    QCOMPARE(temps(), (QStringList{"100.", "148.89"}));
    if (refused) {
        w.cmbUnit[1]->setCurrentIndex(3);
        w.cmdSave->click();
    } else {
        const testsupport::FileSizeLimit limit(4);
        w.cmdSave->click();
    }
    QCOMPARE(prompts.texts(), QStringList{message});
    QCOMPARE(fileBytes(dir.file("initial.txt")), old);
    QCOMPARE(Module1::UnitSystem, 1);
    QCOMPARE(Module1::TempUnitCaption, QStringLiteral("(°F)"));
    QCOMPARE(Module1::LengthUnitCaption, QStringLiteral("(in.)"));
    QCOMPARE(Module1::ToDisplayTemp(212), 212.0);
    QCOMPARE(Module1::ToDisplayLength(1), QStringLiteral("1.0"));
    QVERIFY(w.optCGS->isChecked());
    QVERIFY(!w.OptSI->isChecked());
    QCOMPARE(temps(), (QStringList{"212.", "300."}));
    QCOMPARE(w.CellText(0, 2), QStringLiteral("Temp (°F)"));
    QCOMPARE(w.lblTemp->text(), QStringLiteral("Temperature(°F)"));

    prompts.clear();
    w.cmdSaveChange->click();
    QVERIFY(prompts.shown.empty());
    QCOMPARE(testsupport::storedSteps(1), QStringLiteral("1.0:30.0:212.0:60.0 2.0:60.0:300.0:30.0"));
    Module1::Reset();
}

QTEST_MAIN(SetupSaveFail)
#include "tst_setupsavefail.moc"
