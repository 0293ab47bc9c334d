// The hardware save of the setup window when the settings file's write fails part way: a file-size limit
// makes the write fail as on a full disk, for root as well. The old "initial.txt" stays byte for byte, the
// window says why, and the next save goes through.
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"
#include "setup/frmSetup.h"

#include <QComboBox>
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

QTEST_MAIN(SetupSaveFail)
#include "tst_setupsavefail.moc"
