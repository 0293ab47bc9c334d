// The main window's way into the setup window: the Setup button and the menu item open it and hide the
// main window, which comes back when the setup window closes; the same setup window serves every opening.
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "review/frmMain.h"
#include "setup/frmSetup.h"

#include <QAction>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

class MainSetup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<platform::ScriptedPrompts> prompts_;

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<platform::ScriptedPrompts>();
        Module1::Reset();
        dir_->write("initial.txt", SettingsFile::text({}, 1));
    }

    void cleanup()
    {
        Module1::Reset();
        prompts_.reset();
        dir_.reset();
    }

    void openAndReturn_data()
    {
        QTest::addColumn<bool>("viaMenu");
        QTest::newRow("cmdSetup") << false;
        QTest::newRow("MenuSetup") << true;
    }

    void openAndReturn()
    {
        QFETCH(bool, viaMenu);
        QVERIFY(testsupport::sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'Ramp', 20, 60)"));
        frmMain w;
        w.Form_Load();
        w.show();
        QVERIFY(w.isVisible());
        QVERIFY(!w.SetupWindow());

        auto open = [&] {
            if (viaMenu) w.MenuSetup->trigger();
            else w.cmdSetup->click();
        };
        open();
        QPointer<frmSetup> setup = w.SetupWindow();
        QVERIFY(setup);
        QVERIFY(setup->isVisible());
        QVERIFY(!w.isVisible());
        QCOMPARE(Module1::DbConnection, w.Connection());
        QCOMPARE(setup->lstSeqName->count(), 1);

        setup->cmdReturn->click();
        QVERIFY(!setup->isVisible());
        QVERIFY(w.isVisible());

        // Opened again: the same window, loaded afresh.
        open();
        QCOMPARE(w.SetupWindow(), setup.data());
        QVERIFY(setup->isVisible());
        QVERIFY(!w.isVisible());
        QCOMPARE(setup->lstSeqName->count(), 1);
        setup->close();
        QVERIFY(w.isVisible());
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
    }
};

QTEST_MAIN(MainSetup)
#include "tst_mainsetup.moc"
