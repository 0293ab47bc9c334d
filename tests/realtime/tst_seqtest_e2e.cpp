// The sequence test end to end: torvan-sim plays units 1 and 2; the real-time window adds unit 1 from its
// "Sequencer Test" menu and unit 2 as a simple screen; cell A of unit 1 runs a stored sequence of three
// short steps through the real serial layer. The simulator's reported setting follows each step, the rows
// in TEST_RESULT carry the step numbers in order, and the cell stops by itself after the last step.
//
// With VEDUVOVIR_SCREENSHOTS set to a folder, the tiled window (sequence screen running, simple screen
// beside it) and the detail window with its step grid are saved there as seqtest-tiled.png and
// seqtest-detail.png; run under Xvfb with QT_QPA_PLATFORM=xcb for real window frames.
#include "EndToEndRig.h"
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmNameSeq.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace testsupport;

class TestSeqEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void runsShortSequence();
};

void TestSeqEndToEnd::runsShortSequence()
{
    TempWorkDir dir;
    e2e::prepare(dir);
    QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) VALUES ('Short', 20, 60);"
                    "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS) "
                    "SELECT SEQUENCE_ID, 1, 0.1, 150, 1, 0 FROM SEQUENCE_INFO UNION ALL "
                    "SELECT SEQUENCE_ID, 2, 0.1, 200, 1, 0 FROM SEQUENCE_INFO UNION ALL "
                    "SELECT SEQUENCE_ID, 3, 0.1, 120, 1, 0 FROM SEQUENCE_INFO"));

    QProcess sim;
    sim.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
              {"--dir", dir.path(), "--ports", "1,2", "--seed", "7"});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file("COM1")) && QFile::exists(dir.file("COM2")), 5000);

    platform::ScriptedPrompts prompts;
    int pickers = 0;
    platform::setModalHandler([&pickers](QDialog& d) {
        if (auto* picker = qobject_cast<frmNameSeq*>(&d)) {
            ++pickers;
            picker->cmdOk->click();   // the only sequence, selected first
            return picker->result();
        }
        auto* dlg = qobject_cast<frmTestRelate*>(&d);
        if (!dlg) return int(QDialog::Rejected);
        dlg->txtTestInfo[1]->setText("E2E sequence A");
        dlg->Command2_Click();
        return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });

    {
        frmMDIRealTime w;
        w.show();
        w.MenuSeqAdd[1]->trigger();
        w.menuSimpleAdd_Click(2);
        QCOMPARE(prompts.texts(), QStringList());
        auto* unit1 = Module1::form<frmSeqTest>(Module1::SeqTestForms[1]);
        QVERIFY(unit1);
        QVERIFY(unit1->MSComm1->isOpen());
        QTRY_VERIFY_WITH_TIMEOUT(unit1->poll().cell(1).volts > 1.5, 5000);

        prompts.queueInput("0.5");
        unit1->cmdzero_Click(1);
        unit1->cmdInfo_Click(1);
        QCOMPARE(unit1->poll().cell(1).testName, QString("E2E sequence A"));

        // Sample the setting the unit reports while the sequence runs.
        QList<double> settings;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const double s = unit1->poll().cell(1).tempSetting;
            if (settings.isEmpty() || settings.back() != s) settings << s;
        });
        sampler.start(100);

        unit1->cmdStart_Click(1);
        QCOMPARE(pickers, 1);
        QCOMPARE(prompts.texts(), QStringList{"Input dry wafer Length (in.)"});
        QCOMPARE(unit1->poll().cell(1).state, 1);
        QCOMPARE(unit1->lblSeqname[1]->text(), QString("Short"));

        const QString shots = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
        if (!shots.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(unit1->lblStepNo[1]->text(), QString("2"), 15000);
            w.showNormal();
            w.resize(1920, 1040);
            w.MenuWindowVertically_Click();
            QTest::qWait(1500);
            QVERIFY(w.grab().save(QDir(shots).filePath("seqtest-tiled.png")));
            unit1->cmdDetail_Click(1);
            auto* detail = Module1::form<frmTestDetail>(Module1::DetailForms[1][1]);
            QVERIFY(detail);
            QTest::qWait(500);
            QVERIFY(detail->grab().save(QDir(shots).filePath("seqtest-detail.png")));
            detail->hide();
        }

        // Three steps of at least 6 s each: the cell stops by itself after the last.
        QTRY_COMPARE_WITH_TIMEOUT(unit1->poll().cell(1).state, 2, 40000);
        QCOMPARE(unit1->cmdStart[1]->text(), QString("START"));
        QCOMPARE(unit1->lblStepNo[1]->text(), QString("3"));
        QTRY_VERIFY_WITH_TIMEOUT(!settings.isEmpty() && settings.back() == 0, 5000);
        sampler.stop();
        // The reported setting followed the steps in order (a value between them may show once).
        QList<double> steps;
        for (double s : settings)
            if (s == 150 || s == 200 || s == 120) steps << s;
        QCOMPARE(steps, (QList<double>{150, 200, 120}));

        const QString id = sqlValue("SELECT TEST_ID FROM TEST_INFO WHERE TEST_NAME = 'E2E sequence A'");
        QVERIFY(!id.isEmpty());
        // Points every second, whole seconds strictly increasing, step numbers 1, 2, 3 in order.
        QCOMPARE(sqlValue("SELECT group_concat(s, ',') FROM (SELECT DISTINCT CAST(STEP_NO AS INTEGER) s FROM "
                          "TEST_RESULT WHERE TEST_ID = " + id + " ORDER BY RESULT_ID)"),
                 QString("1,2,3"));
        QCOMPARE(sqlValue("SELECT count(*) FROM TEST_RESULT a JOIN TEST_RESULT b ON a.TEST_ID = b.TEST_ID AND "
                          "a.RESULT_ID < b.RESULT_ID AND (b.RESULT_TIME <= a.RESULT_TIME OR b.STEP_NO < a.STEP_NO)"),
                 QString("0"));
        QVERIFY(sqlValue("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = " + id).toInt() >= 12);
        QCOMPARE(prompts.texts(), QStringList{"Input dry wafer Length (in.)"});
    }
    sim.kill();
    sim.waitForFinished(3000);
    platform::setModalHandler({});
    Module1::Reset();
}

QTEST_MAIN(TestSeqEndToEnd)
#include "tst_seqtest_e2e.moc"
