// The setup window driven through its named controls: captions and tooltips, opening (empty database,
// first sequence chosen), the incremental search, New, Copy As, Save with its refusals and a database that
// refuses half-way, Delete, the cell editor and its arrow keys, the Auto Step Builder, the step dialogs,
// closing with its question, the hardware tab and its settings file, values that keep their meaning (a
// change of unit system, the current step, unsaved edits, values no test can use), and the proportional
// layout.
//
// Screenshots: with VEDUVOVIR_SCREENSHOTS set to a folder, layout() saves setup-<tab>-<size>.png there, e.g.
//   VEDUVOVIR_SCREENSHOTS=/tmp xvfb-run -a -s "-screen 0 1920x1080x24" \
//       env QT_QPA_PLATFORM=xcb build/setup_tst_setupwindow layout
#include "LayoutCheck.h"
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/clsConnection.h"
#include "setup/StepDialogs.h"
#include "setup/frmSetup.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableWidget>
#include <QtTest>

#include <functional>

using platform::Answer;
using platform::ScriptedPrompts;
using testsupport::sqlExec;
using testsupport::sqlValue;
using testsupport::storedSteps;

Q_DECLARE_METATYPE(platform::Answer)

namespace {

// The file example: unit 2 on port 3, unit 8 on port 5, English units.
const QByteArray kExample(" 0 \r\n 3 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 5 \r\n 1 \r\n");

QByteArray fileBytes(const QString& name)
{
    QFile f(QDir::current().filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// "Ramp" (id 1): 30 min at 212 °F, 60 min at 300 °F, 15 min at 100 °F; "alpha" (id 2) one step.
bool storeRamp()
{
    return sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'Ramp', 20, 60), (2, 'alpha', 20, 60);"
                   "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, "
                   "STEP_PRESS) VALUES (1, 1, 30, 212, 60, 0), (1, 2, 60, 300, 30, 0), (1, 3, 15, 100, 10, 0), "
                   "(2, 1, 5, 150, 5, 0)");
}

QString displayed(const QWidget* w)
{
    for (const char* p : {"text", "title"}) {
        const QVariant v = w->property(p);
        if (v.isValid()) return v.toString();
    }
    return {};
}

} // namespace

class SetupWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;
    std::shared_ptr<clsConnection> connection_;
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<frmSetup> w_;
    std::function<void(frmInsertStep&)> driveInsert_;
    std::function<void(frmDeleteSteps&)> driveDelete_;
    std::function<void(frmCopyPaste&)> driveCopy_;
    QStringList modalShown_;

    // The window after its opening, with "initial.txt" holding no units and flag units (-1: the file and
    // the unit system as the test left them).
    frmSetup& start(int units = 1)
    {
        if (units > 0) dir_->write("initial.txt", SettingsFile::text({}, units));
        if (units >= 0) testsupport::setUnits(units);
        connection_ = testsupport::openConnection();
        main_ = std::make_unique<QWidget>();
        main_->hide();
        w_ = std::make_unique<frmSetup>();
        w_->setMainWindow(main_.get());
        w_->Form_Load(connection_);
        w_->show();
        return *w_;
    }

    template <class T>
    T* control(const QString& name)
    {
        T* c = w_->findChild<T*>(name);
        if (!c) qWarning("no control %s", qPrintable(name));
        return c;
    }

    // Clicks a grid cell (flex rows: 1 = first step) and types text into the editor in place of its text.
    void edit(int row, int column, const QString& text)
    {
        w_->MSFlexGrid1_Click(row, column);
        QVERIFY(w_->txtOverlap2->isVisible());
        w_->txtOverlap2->selectAll();
        QTest::keyClick(w_->txtOverlap2, Qt::Key_Backspace);
        QTest::keyClicks(w_->txtOverlap2, text);
    }

    QStringList gridRow(int row) const
    {
        QStringList out;
        for (int c = 0; c < 4; ++c) out << w_->CellText(row, c);
        return out;
    }

    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 1; r <= w_->Steps().count(); ++r) out << w_->CellText(r, c);
        return out;
    }

    QStringList listed() const
    {
        QStringList out;
        for (int i = 0; i < w_->lstSeqName->count(); ++i) out << w_->lstSeqName->item(i)->text();
        return out;
    }

    void insert(int row, const QString& where, const QString& time, const QString& temp, const QString& rate)
    {
        if (row > 0) w_->MSFlexGrid1_Click(row, 0);
        driveInsert_ = [&](frmInsertStep& d) {
            d.cmbBeforeAfter->setCurrentIndex(d.cmbBeforeAfter->findText(where));
            d.txtTime->setText(time);
            d.txtTemp->setText(temp);
            d.txtRate->setText(rate);
            d.cmdOk->click();
        };
        w_->cmdInsertStep->click();
        driveInsert_ = nullptr;
    }

    // The Auto Step Builder fills the grid with equal steps.
    void build(const QString& steps, const QString& time, const QString& temp, const QString& interval)
    {
        w_->txtTotalSteps->setText(steps);
        w_->txtStepTime->setText(time);
        w_->txtTemp->setText(temp);
        w_->txtInterval->setText(interval);
        w_->cmdOk->click();
    }

    void copy(const QString& from, const QString& to, const QString& where, const QString& pasteTo, const QString& temp)
    {
        driveCopy_ = [&](frmCopyPaste& d) {
            d.cmbCopyfrom->setEditText(from);
            d.cmbCopyto->setEditText(to);
            d.cmbBeforeAfter->setCurrentIndex(d.cmbBeforeAfter->findText(where));
            d.cmbPasteto->setEditText(pasteTo);
            d.txtNewTemperature->setText(temp);
            d.cmdOk->click();
        };
        w_->cmdCopySteps->click();
        driveCopy_ = nullptr;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<ScriptedPrompts>();
        Module1::Reset();
        modalShown_.clear();
        platform::setModalHandler([this](QDialog& d) {
            modalShown_ << d.objectName();
            if (auto* i = qobject_cast<frmInsertStep*>(&d); i && driveInsert_) driveInsert_(*i);
            if (auto* r = qobject_cast<frmDeleteSteps*>(&d); r && driveDelete_) driveDelete_(*r);
            if (auto* c = qobject_cast<frmCopyPaste*>(&d); c && driveCopy_) driveCopy_(*c);
            // A dialog still up is closed by its frame.
            if (d.isVisible()) d.reject();
            return 0;
        });
    }

    void cleanup()
    {
        w_.reset();
        main_.reset();
        platform::setModalHandler({});
        driveInsert_ = nullptr;
        driveDelete_ = nullptr;
        driveCopy_ = nullptr;
        Module1::Reset();
        connection_.reset();
        prompts_.reset();
        dir_.reset();
    }

    void controls_data()
    {
        testsupport::addControlColumns();
        const auto row = testsupport::addControlRow;
        row("Label1", "Saved test sequences:", "");
        row("MSFlexGrid1", "", "Select the desired test step by click on it");
        row("cmdNew", "&New", "Click here to create a new test sequence");
        row("cmdSaveas", "Copy &As", "Click here to save the selected test sequence as a different name");
        row("cmdSaveChange", "&Save", "Click here to save change of current sequence");
        row("cmdDelete", "&Delete", "Click here to delete the selected test sequence");
        row("cmdInsertStep", "&Insert new step", "Click here to insert a new step into the current test sequence");
        row("cmdDeleteStep", "De&lete Current step", "Click here to delete a step from the current test sequence");
        row("cmdDeleteSteps", "Delete Multi- Steps", "Click here to delete multiple test steps");
        row("cmdCopySteps", "Copy Batch Steps", "Click here to copy & paste multiple test steps");
        row("cmdReturn", "&Return", "Click here to return to main menu");
        row("frameRamp", "Auto Step Builder", "");
        row("lblTotalSteps", "Total Steps:", "");
        row("lblStepTime", "Step Time (min):", "");
        row("lblTemp", "Temperature(°F)", "");
        row("lblInterval", "Record Interval (sec):", "");
        row("cmdOk", "OK", "Click here to save as sequence steps");
        row("cmdCancel", "Cancel", "Click here to clear Auto Step Builder text fields");
        row("Label2", "Comm port setup for Veduvovir:", "");
        row("lblUnit(1)", "Unit 1:", "");
        row("lblUnit(8)", "Unit 8:", "");
        row("Frame1", "Unit Selection", "");
        row("optCGS", "CGS", "");
        row("OptSI", "SI", "Click here to select Metric Units");
        row("OptEI", "EI", "Click here to select English Units");
        row("cmdSave", "&Save", "Click here to save hardware setup");
        row("cmdReturn2", "&Return", "Click here to return to the Veduvovir main screen");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        frmSetup& w = start();
        auto* c = control<QWidget>(name);
        QVERIFY(c);
        QCOMPARE(displayed(c), caption);
        QCOMPARE(c->toolTip(), tip);
        QCOMPARE(w.windowTitle(), QStringLiteral("Torvan Setup"));
    }

    // Tabs, frames, the empty grid and list of an empty database, the port lists; nothing is asked.
    void openEmpty()
    {
        frmSetup& w = start(2);
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(w.TabStrip1->count(), 2);
        QCOMPARE(w.TabStrip1->tabText(0), QStringLiteral("Test Sequence Setup"));
        QCOMPARE(w.TabStrip1->tabData(0).toString(), QStringLiteral("Sequence_setup"));
        QCOMPARE(w.TabStrip1->tabText(1), QStringLiteral("Hardware && Misc Setup"));
        QCOMPARE(w.CurrentTab, 1);
        QVERIFY(w.Frame3[1]->isVisible());
        QVERIFY(!w.Frame3[2]->isVisible());
        QCOMPARE(w.Frame3[1]->objectName(), QStringLiteral("Frame3(1)"));
        QVERIFY(!w.txtOverlap2->isVisible());
        QVERIFY(w.frameRamp->isVisible());
        QCOMPARE(w.lstSeqName->count(), 0);
        QCOMPARE(w.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(gridRow(0), (QStringList{"Step No", "Elapse Time (min)", "Temp (°C)", "Record Interval(sec)"}));
        QCOMPARE(w.lblTemp->text(), QStringLiteral("Temperature(°C)"));
        QCOMPARE(w.CurrentSequenceId, 0.0);
        QVERIFY(!w.SequenceChanged);
        QVERIFY(Module1::SeqInfo && Module1::SeqStep);
        QCOMPARE(Module1::DbConnection, connection_);
        QCOMPARE(w.cmbUnit[1]->count(), 21);
        QCOMPARE(w.cmbUnit[1]->itemText(0), QStringLiteral("None"));
        QCOMPARE(w.cmbUnit[8]->itemText(20), QStringLiteral("Comm 20"));

        w.TabStrip1->setCurrentIndex(1);
        QCOMPARE(w.CurrentTab, 2);
        QVERIFY(w.Frame3[2]->isVisible());
        QVERIFY(!w.Frame3[1]->isVisible());
        w.TabStrip1->setCurrentIndex(0);
        QCOMPARE(w.CurrentTab, 1);
        QVERIFY(w.Frame3[1]->isVisible());
    }

    // The first sequence of the sorted list is chosen and shown; another choice drops edits unasked.
    void chooseSequence()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        QCOMPARE(listed(), (QStringList{"alpha", "Ramp"}));
        QCOMPARE(w.lstSeqName->currentRow(), 0);
        QCOMPARE(w.CurrentSequenceId, 2.0);
        QCOMPARE(gridRow(1), (QStringList{"1", "5.", "150.", "5"}));

        w.lstSeqName->setCurrentRow(1);
        QCOMPARE(w.CurrentSequenceId, 1.0);
        QCOMPARE(w.SequenceFields.value(1).toString(), QStringLiteral("Ramp"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 3);
        QCOMPARE(gridRow(2), (QStringList{"2", "60.", "300.", "30"}));
        QCOMPARE(w.MSFlexGrid1->item(1, 1)->text(), QStringLiteral("60."));

        edit(1, 1, "45");
        QVERIFY(w.SequenceChanged);
        w.lstSeqName->setCurrentRow(0);
        w.lstSeqName->setCurrentRow(1);
        QVERIFY(prompts_->shown.empty());
        QVERIFY(!w.SequenceChanged);
        QCOMPARE(w.CellText(1, 1), QStringLiteral("30."));
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("b") << "b" << "beta2";
        QTest::newRow("B") << "B" << "Beta";
        QTest::newRow("al") << "al" << "alpha";
        QTest::newRow("x: no change") << "x" << "alpha";
        QTest::newRow("empty: no change") << "" << "alpha";
    }

    // The first name that begins with the typed text (letter case counts) is chosen and loaded.
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'beta2', 20, 60), (2, 'alpha', 20, 60), (3, 'Beta', 20, "
                        "60); INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE) "
                        "VALUES (1, 1, 1, 1, 1), (3, 1, 3, 3, 3), (3, 2, 3, 3, 3)"));
        frmSetup& w = start();
        QCOMPARE(listed(), (QStringList{"alpha", "Beta", "beta2"}));
        QTest::keyClicks(w.txtSeqName, typed);
        QCOMPARE(w.lstSeqName->currentItem()->text(), chosen);
        const int id = chosen == "beta2" ? 1 : chosen == "Beta" ? 3 : 2;
        QCOMPARE(w.CurrentSequenceId, double(id));
        QCOMPARE(w.MSFlexGrid1->rowCount(), id == 3 ? 2 : id == 1 ? 1 : 0);
    }

    void newSequence_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("shown");    // texts of the prompts, in order
        QTest::addColumn<QStringList>("names");    // the list afterwards
        const QString prompt = "Please input new test sequence name:";
        const QString dup = "Duplicate test name - Please enter a unique test name.";
        const QString tooLong = QString("Sequence name too long,name lengh can not over 50") + QChar(13) + "input again";
        const QString n50(50, 'x'), n51(51, 'y');
        QTest::newRow("fresh name") << QStringList{"Fresh"} << QList<Answer>{} << QStringList{prompt}
                                    << QStringList{"ABC", "Fresh"};
        QTest::newRow("cancelled") << QStringList{""} << QList<Answer>{} << QStringList{prompt} << QStringList{"ABC"};
        QTest::newRow("abc against ABC, Cancel")
            << QStringList{"abc"} << QList<Answer>{Answer::Cancel} << QStringList{prompt, dup} << QStringList{"ABC"};
        QTest::newRow("abc against ABC, OK, then a fresh name")
            << QStringList{"abc", "abd"} << QList<Answer>{Answer::OK} << QStringList{prompt, dup, prompt}
            << QStringList{"ABC", "abd"};
        QTest::newRow("51 then 50 characters") << QStringList{n51, n50} << QList<Answer>{}
                                               << QStringList{prompt, tooLong, prompt} << QStringList{"ABC", n50};
    }

    void newSequence()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, names);
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'ABC', 20, 60)"));
        frmSetup& w = start();
        for (const QString& s : inputs) prompts_->queueInput(s);
        for (Answer a : answers) prompts_->queueAnswer(a);
        w.cmdNew->click();
        QCOMPARE(prompts_->texts(), shown);
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Input New Test Sequence Name"));
        QCOMPARE(listed(), names);
        QCOMPARE(w.lstSeqName->currentRow(), 0);   // the first of the list is chosen again
        const QString added = names.size() > 1 ? names.last() : QString();
        if (!added.isEmpty()) {
            QCOMPARE(sqlValue("SELECT TIME_BEFORE_READ || ',' || SAMPLE_INTERVAL FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 2"),
                     QStringLiteral("20.0,60"));
            QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP"), QStringLiteral("0"));
        }
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_INFO"), QString::number(names.size()));
    }

    // Copy As takes the stored steps (unsaved edits are dropped), is a complete sequence, and checks the
    // name's length as New does.
    void copyAs()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        edit(2, 2, "333");
        QVERIFY(w.SequenceChanged);
        prompts_->queueInput(QString(51, 'z'));
        prompts_->queueInput("Ramp slow");
        w.cmdSaveas->click();
        QCOMPARE(prompts_->texts().size(), 3);
        QVERIFY(prompts_->texts()[1].startsWith("Sequence name too long"));
        QVERIFY(!w.SequenceChanged);
        QCOMPARE(listed(), (QStringList{"alpha", "Ramp", "Ramp slow"}));
        QCOMPARE(sqlValue("SELECT SEQUENCE_ID FROM SEQUENCE_INFO WHERE SEQUENCE_NAME = 'Ramp slow'"), QStringLiteral("3"));
        QCOMPARE(storedSteps(3), storedSteps(1));
        QCOMPARE(storedSteps(3), QStringLiteral("1.0:30.0:212.0:60.0 2.0:60.0:300.0:30.0 3.0:15.0:100.0:10.0"));
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP"), QStringLiteral("7"));

        // A name taken already, then giving up: nothing is copied.
        prompts_->clear();
        prompts_->queueInput("ramp SLOW");
        prompts_->queueAnswer(Answer::Cancel);
        w.cmdSaveas->click();
        QCOMPARE(prompts_->texts().size(), 2);
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_INFO"), QStringLiteral("3"));
    }

    void save_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("temp");       // typed into step 2's temperature
        QTest::addColumn<QString>("stored");     // step 2 as stored
        QTest::addColumn<QString>("reloaded");   // step 2's temperature shown after reloading
        QTest::newRow("English 350.5") << 1 << "350.5" << "2.0:60.0:351.0:30.0" << "351.";
        QTest::newRow("SI -17") << 2 << "-17" << "2.0:60.0:1.0:30.0" << "-17.22";
        QTest::newRow("SI 360") << 2 << "360" << "2.0:60.0:680.0:30.0" << "360.";
    }

    // An edited cell saves in stored units, whole degrees; the sequence is read back as the runner reads it.
    void save()
    {
        QFETCH(int, units);
        QFETCH(QString, temp);
        QFETCH(QString, stored);
        QFETCH(QString, reloaded);
        QVERIFY(storeRamp());
        frmSetup& w = start(units);
        w.lstSeqName->setCurrentRow(1);
        edit(2, 2, temp);
        w.cmdSaveChange->click();
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QVERIFY(!w.SequenceChanged);
        QCOMPARE(storedSteps(1).split(' ').value(1), stored);
        QCOMPARE(storedSteps(1).split(' ').size(), 3);
        QCOMPARE(sqlValue("SELECT SEQUENCE_NAME FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 1"), QStringLiteral("Ramp"));
        w.lstSeqName->setCurrentRow(0);
        w.lstSeqName->setCurrentRow(1);
        QCOMPARE(w.CellText(2, 2), reloaded);
    }

    void saveAtTheLimits_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<double>("storedTemp");   // the step's temperature as stored, °F
        QTest::addColumn<QString>("typed");       // typed into it, or "" (left as shown)
        QTest::addColumn<QString>("shown");       // its text when Save is pressed
        QTest::addColumn<QString>("saved");       // the step as stored afterwards ("": refused)
        QTest::newRow("SI 0 °F unedited") << 2 << 0.0 << "" << "-17.78" << "1.0:30.0:0.0:60.0";
        QTest::newRow("SI -17.78 typed") << 2 << 100.0 << "-17.78" << "-17.78" << "1.0:30.0:0.0:60.0";
        QTest::newRow("SI -17.79 typed") << 2 << 100.0 << "-17.79" << "-17.79" << "";
        QTest::newRow("SI 680 °F unedited") << 2 << 680.0 << "" << "360." << "1.0:30.0:680.0:60.0";
        QTest::newRow("SI 360 typed") << 2 << 100.0 << "360" << "360" << "1.0:30.0:680.0:60.0";
        QTest::newRow("SI 360.01 typed") << 2 << 100.0 << "360.01" << "360.01" << "";
        QTest::newRow("English 0 °F unedited") << 1 << 0.0 << "" << "0." << "1.0:30.0:0.0:60.0";
        QTest::newRow("English -0.01 typed") << 1 << 100.0 << "-0.01" << "-0.01" << "";
        QTest::newRow("English 680 °F unedited") << 1 << 680.0 << "" << "680." << "1.0:30.0:680.0:60.0";
        QTest::newRow("English 680.01 typed") << 1 << 100.0 << "680.01" << "680.01" << "";
    }

    // A step at a limit of the range saves as it is shown: an unedited temperature as the °F it came from,
    // a typed one at the grid's two places; beyond them Save refuses and stores nothing.
    void saveAtTheLimits()
    {
        QFETCH(int, units);
        QFETCH(double, storedTemp);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        QVERIFY(sqlExec(QStringLiteral("INSERT INTO SEQUENCE_INFO VALUES (1, 'Limit', 20, 60);"
                                       "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, "
                                       "RECORD_RATE, STEP_PRESS) VALUES (1, 1, 30, %1, 60, 0)")
                            .arg(storedTemp)));
        frmSetup& w = start(units);
        if (!typed.isEmpty()) edit(1, 2, typed);
        w.MSFlexGrid1_Click(1, 0);
        QCOMPARE(w.CellText(1, 2), shown);
        const QString before = storedSteps(1);
        w.cmdSaveChange->click();
        if (saved.isEmpty()) {
            QCOMPARE(prompts_->texts(), QStringList{"Temperature input out of range."});
            QCOMPARE(storedSteps(1), before);
        } else {
            QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
            QCOMPARE(storedSteps(1), saved);
        }
    }

    // Row 3 elapse time "0": the message, the editor on row 3 column 1, nothing written.
    void saveRefusedOnCell()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        const QString before = storedSteps(1);
        edit(3, 1, "0");
        edit(2, 3, "99");
        w.cmdSaveChange->click();
        QCOMPARE(prompts_->texts(), QStringList{"Elapse Time input out of range."});
        QCOMPARE(prompts_->shown[0].buttons, platform::Buttons::OK);
        QVERIFY(w.txtOverlap2->isVisible());
        QCOMPARE(w.EditRow, 3);
        QCOMPARE(w.EditCol, 1);
        QCOMPARE(w.txtOverlap2->text(), QStringLiteral("0"));
        QCOMPARE(w.MSFlexGrid1->currentRow(), 2);
        QCOMPARE(w.MSFlexGrid1->currentColumn(), 1);
        QCOMPARE(storedSteps(1), before);
        QVERIFY(w.SequenceChanged);
    }

    // 100 steps save, 101 are refused; an empty grid removes every stored step and keeps the sequence.
    void saveLimits()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        build("100", "2", "150", "10");
        QCOMPARE(w.MSFlexGrid1->rowCount(), 100);
        insert(100, "after", "1", "100", "5");
        QCOMPARE(w.MSFlexGrid1->rowCount(), 101);
        w.cmdSaveChange->click();
        QCOMPARE(prompts_->texts(), QStringList{"Sequence can not over 100 steps"});
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP WHERE SEQUENCE_ID = 1"), QStringLiteral("3"));
        w.MSFlexGrid1_Click(101, 0);
        w.cmdDeleteStep->click();
        prompts_->clear();
        w.cmdSaveChange->click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP WHERE SEQUENCE_ID = 1"), QStringLiteral("100"));

        driveDelete_ = [](frmDeleteSteps& d) {
            d.cmbDeleteto->setCurrentIndex(99);
            d.cmdOk->click();
        };
        w.cmdDeleteSteps->click();
        QCOMPARE(w.MSFlexGrid1->rowCount(), 0);
        w.cmdSaveChange->click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP WHERE SEQUENCE_ID = 1"), QStringLiteral("0"));
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 1"), QStringLiteral("1"));
        QCOMPARE(storedSteps(2), QStringLiteral("1.0:5.0:150.0:5.0"));
    }

    // A step refused by the database half-way: the message, the stored steps as they were, still changed.
    void saveDatabaseFailure()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        const QString before = storedSteps(1);
        QVERIFY(sqlExec("CREATE TRIGGER refuse BEFORE INSERT ON SEQUENCE_STEP WHEN NEW.STEP_NO = 2 BEGIN SELECT "
                        "RAISE(ABORT, 'step table is read-only'); END"));
        edit(1, 1, "31");
        w.cmdSaveChange->click();
        QCOMPARE(prompts_->texts().size(), 1);
        QVERIFY2(prompts_->texts()[0].contains("step table is read-only"), qPrintable(prompts_->texts()[0]));
        QCOMPARE(storedSteps(1), before);
        QVERIFY(w.SequenceChanged);
        QVERIFY(!connection_->InTransaction());
        QVERIFY(sqlExec("DROP TRIGGER refuse"));
        prompts_->clear();
        w.cmdSaveChange->click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(storedSteps(1).left(10), QStringLiteral("1.0:31.0:2"));
    }

    // Delete asks; OK removes the sequence with its steps; with the last one gone nothing can be saved.
    void deleteSequence()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        prompts_->queueAnswer(Answer::Cancel);
        w.cmdDelete->click();
        QCOMPARE(prompts_->texts(), QStringList{"Are you sure you want to delete this test setup and test results?"});
        QCOMPARE(prompts_->shown[0].buttons, platform::Buttons::OKCancel);
        QCOMPARE(listed().size(), 2);

        w.cmdDelete->click();   // alpha
        QCOMPARE(listed(), QStringList{"Ramp"});
        QCOMPARE(w.CurrentSequenceId, 1.0);
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP WHERE SEQUENCE_ID = 2"), QStringLiteral("0"));
        w.cmdDelete->click();   // Ramp
        QCOMPARE(listed(), QStringList());
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP"), QStringLiteral("0"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(w.CurrentSequenceId, 0.0);

        prompts_->clear();
        insert(0, "before", "1", "100", "5");
        w.cmdSaveChange->click();
        QCOMPARE(prompts_->texts().size(), 1);
        QVERIFY(prompts_->texts()[0].startsWith("No test sequence is chosen."));
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP"), QStringLiteral("0"));
    }

    // Arrow keys move the editor, writing its text into the cell left; at an edge it stays.
    void cellEditor()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        w.MSFlexGrid1_Click(1, 0);   // column 0 is never edited
        QVERIFY(!w.txtOverlap2->isVisible());
        QCOMPARE(w.CurrentRow(), 1);
        QVERIFY(!w.SequenceChanged);
        w.MSFlexGrid1_Click(1, 1);
        QCOMPARE(w.txtOverlap2->text(), QStringLiteral("30."));
        QCOMPARE(w.txtOverlap2->geometry(), w.MSFlexGrid1->visualRect(w.MSFlexGrid1->model()->index(0, 1)));
        QTest::keyClick(w.txtOverlap2, Qt::Key_Up);
        QTest::keyClick(w.txtOverlap2, Qt::Key_Left);
        QCOMPARE(w.EditRow, 1);
        QCOMPARE(w.EditCol, 1);
        QVERIFY(w.SequenceChanged);
        QTest::keyClick(w.txtOverlap2, Qt::Key_End);
        QTest::keyClicks(w.txtOverlap2, "5");
        QTest::keyClick(w.txtOverlap2, Qt::Key_Down);
        QCOMPARE(w.CellText(1, 1), QStringLiteral("30.5"));
        QCOMPARE(w.EditRow, 2);
        QCOMPARE(w.CurrentRow(), 2);
        QCOMPARE(w.txtOverlap2->text(), QStringLiteral("60."));
        QTest::keyClick(w.txtOverlap2, Qt::Key_Right);
        QTest::keyClick(w.txtOverlap2, Qt::Key_Right);
        QTest::keyClick(w.txtOverlap2, Qt::Key_Right);
        QCOMPARE(w.EditCol, 3);
        QTest::keyClick(w.txtOverlap2, Qt::Key_Down);
        QTest::keyClick(w.txtOverlap2, Qt::Key_Down);
        QCOMPARE(w.EditRow, 3);
        QCOMPARE(w.txtOverlap2->text(), QStringLiteral("10"));
        w.txtOverlap2->setText("12");
        w.MSFlexGrid1_Click(1, 2);   // another cell: the text goes into the cell left
        QCOMPARE(w.CellText(3, 3), QStringLiteral("12"));
        QCOMPARE(w.EditRow, 1);
        QCOMPARE(w.EditCol, 2);
    }

    // The builder example, its refusal, and its Cancel.
    void builder()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        build("5", "30", "212.4", "60");
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(w.MSFlexGrid1->rowCount(), 5);
        for (int k = 1; k <= 5; ++k) QCOMPARE(gridRow(k), (QStringList{QString::number(k), "30", "212", "60"}));
        QVERIFY(w.SequenceChanged);

        w.txtTemp->setText("700");
        w.cmdOk->click();
        QCOMPARE(prompts_->texts(),
                 QStringList{"Temperature input out of range. Temperature can not be set over 680"});
        QCOMPARE(w.MSFlexGrid1->rowCount(), 5);
        w.cmdCancel->click();
        for (QLineEdit* e : {w.txtTotalSteps, w.txtStepTime, w.txtTemp, w.txtInterval}) QVERIFY(e->text().isEmpty());
    }

    // Insert before and after step 3 of 5, a refused entry, a cancelled and a frame-closed dialog.
    void insertStep()
    {
        frmSetup& w = start();
        build("5", "10", "100", "60");
        for (int k = 1; k <= 5; ++k) w.MSFlexGrid1->item(k - 1, 1)->setText(QString());
        for (int k = 1; k <= 5; ++k) edit(k, 1, QString::number(k));
        w.MSFlexGrid1_Click(1, 0);

        insert(3, "before", "7.5", "212.4", "30");
        QCOMPARE(column(1), (QStringList{"1", "2", "7.5", "3", "4", "5"}));
        QCOMPARE(gridRow(3), (QStringList{"3", "7.5", "212.4", "30"}));
        QCOMPARE(column(0), (QStringList{"1", "2", "3", "4", "5", "6"}));
        insert(3, "after", "8", "100", "30");
        QCOMPARE(column(1), (QStringList{"1", "2", "7.5", "8", "3", "4", "5"}));
        QCOMPARE(modalShown_, (QStringList{"frmInsertStep", "frmInsertStep"}));

        // A refused entry keeps the dialog up; closing it by its frame inserts nothing, yet marks a change.
        w.SequenceChanged = false;
        driveInsert_ = [&](frmInsertStep& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Insert Step"));
            QCOMPARE(d.lblTemp->text(), QStringLiteral("Temperature (°F)"));
            QCOMPARE(d.txtStepNo->text(), QStringLiteral("1"));
            QCOMPARE(d.cmbBeforeAfter->currentText(), QStringLiteral("before"));
            d.txtTime->setText("60001");
            d.cmdOk->click();
            QVERIFY(d.isVisible());
            QTest::keyClicks(d.cmbBeforeAfter->lineEdit(), "x");
            QCOMPARE(d.cmbBeforeAfter->currentText(), QStringLiteral("before"));
            QVERIFY(d.Before());
        };
        w.cmdInsertStep->click();
        driveInsert_ = nullptr;
        QCOMPARE(prompts_->texts(), QStringList{"Invalid time input"});
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Time input out of range"));
        QCOMPARE(w.Steps().count(), 7);
        QVERIFY(w.SequenceChanged);

        // Delete the current step; with the header current nothing goes.
        w.MSFlexGrid1_Click(4, 0);
        w.cmdDeleteStep->click();
        QCOMPARE(column(1), (QStringList{"1", "2", "7.5", "3", "4", "5"}));
    }

    // 998 steps: Insert refuses without showing its dialog and leaves the grid as it was.
    void insertLimit()
    {
        frmSetup& w = start();
        build("100", "1", "100", "1");
        for (const char* n : {"100", "200", "400"}) copy("1", n, "after", n, "100");
        copy("1", "198", "after", "800", "100");
        QCOMPARE(w.Steps().count(), 998);
        QVERIFY(prompts_->shown.empty());
        modalShown_.clear();
        w.SequenceChanged = false;
        w.cmdInsertStep->click();
        QCOMPARE(prompts_->texts(), QStringList{"Maximum number of steps is 998."});
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Too Many Test Steps."));
        QVERIFY(modalShown_.isEmpty());
        QCOMPARE(w.Steps().count(), 998);
        QVERIFY(!w.SequenceChanged);
    }

    // Delete 2..4 of 6, a range out of order, Cancel; no dialog at all without steps.
    void deleteRange()
    {
        frmSetup& w = start();
        w.cmdDeleteSteps->click();
        w.cmdCopySteps->click();
        QVERIFY(modalShown_.isEmpty());

        build("6", "1", "100", "1");
        for (int k = 1; k <= 6; ++k) edit(k, 3, QString::number(10 * k));
        w.SequenceChanged = false;

        driveDelete_ = [&](frmDeleteSteps& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Delete Multiple Steps"));
            QCOMPARE(d.cmbDeletefrom->count(), 6);
            QCOMPARE(d.cmbDeletefrom->currentText(), QStringLiteral("1"));
            QCOMPARE(d.cmbDeleteto->currentText(), QStringLiteral("1"));
            d.cmbDeletefrom->setEditText("4");
            d.cmbDeleteto->setEditText("2");
            d.cmdOk->click();
            QVERIFY(d.isVisible());
            d.cmdCancel->click();
        };
        w.cmdDeleteSteps->click();
        QCOMPARE(prompts_->texts(),
                 QStringList{"Deleted steps should be listed in order from lower to higher numbered steps"});
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Step No. input invalid"));
        QCOMPARE(w.DeleteFromStep, 0);
        QCOMPARE(w.Steps().count(), 6);
        QVERIFY(!w.SequenceChanged);

        driveDelete_ = [](frmDeleteSteps& d) {
            d.cmbDeletefrom->setCurrentIndex(1);
            d.cmbDeleteto->setCurrentIndex(3);
            d.cmdOk->click();
        };
        w.cmdDeleteSteps->click();
        QCOMPARE(w.DeleteFromStep, 2);
        QCOMPARE(w.DeleteToStep, 4);
        QCOMPARE(column(3), (QStringList{"10", "50", "60"}));
        QCOMPARE(column(0), (QStringList{"1", "2", "3"}));
        QVERIFY(w.SequenceChanged);

        // Closed by its frame: nothing goes, even after an earlier OK.
        driveDelete_ = nullptr;
        w.cmdDeleteSteps->click();
        QCOMPARE(w.DeleteFromStep, 0);
        QCOMPARE(w.Steps().count(), 3);
    }

    void copyPaste_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("order");   // intervals afterwards; the copies read 20 and 30
        QTest::newRow("2..3 after 4") << "after" << QStringList{"10", "20", "30", "40", "20", "30", "50"};
        QTest::newRow("2..3 before 4") << "before" << QStringList{"10", "20", "30", "20", "30", "40", "50"};
    }

    void copyPaste()
    {
        QFETCH(QString, where);
        QFETCH(QStringList, order);
        frmSetup& w = start();
        build("5", "1", "100", "1");
        for (int k = 1; k <= 5; ++k) edit(k, 3, QString::number(10 * k));
        copy("2", "3", where, "4", "300.6");
        QCOMPARE(column(3), order);
        QCOMPARE(column(0), (QStringList{"1", "2", "3", "4", "5", "6", "7"}));
        const int first = where == "after" ? 5 : 4;
        QCOMPARE(w.CellText(first, 2), QStringLiteral("301"));
        QCOMPARE(w.CellText(first + 1, 2), QStringLiteral("301"));
        QCOMPARE(w.CellText(1, 2), QStringLiteral("100"));
        QCOMPARE(w.PastePosition, where == "after" ? 0 : 1);
        QCOMPARE(w.NewTemperature, 300.6);

        // Cancel and a refused temperature change nothing.
        driveCopy_ = [&](frmCopyPaste& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Copy & Paste"));
            QCOMPARE(d.cmbBeforeAfter->currentText(), QStringLiteral("after"));
            QCOMPARE(d.cmbPasteto->count(), 7);
            QVERIFY(d.txtNewTemperature->text().isEmpty());
            d.txtNewTemperature->setText("681");
            d.cmdOk->click();
            QVERIFY(d.isVisible());
            d.cmdCancel->click();
        };
        w.cmdCopySteps->click();
        QCOMPARE(prompts_->texts(), QStringList{"Invalid new target temperature"});
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("New target temperature input invalid"));
        QCOMPARE(w.CopyFromStep, 0);
        QCOMPARE(column(3), order);
    }

    void closing_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("byFrame");
        QTest::newRow("unchanged, Return") << false << false;
        QTest::newRow("edited, Return") << true << false;
        QTest::newRow("edited, frame") << true << true;
    }

    // After an edit closing asks; Cancel keeps the window, OK closes it, rewrites the settings file and
    // shows the main window.
    void closing()
    {
        QFETCH(bool, edited);
        QFETCH(bool, byFrame);
        QVERIFY(storeRamp());
        frmSetup& w = start();
        dir_->write("initial.txt", kExample + QByteArray("old tail\r\n"));
        const QString question = "Current active sequence was changed.  Click OK to leave without saving, or Cancel "
                                 "to go back and save the sequence.";
        auto close = [&] {
            if (byFrame) w.close();
            else w.cmdReturn->click();
        };
        if (edited) {
            edit(1, 1, "7");
            prompts_->queueAnswer(Answer::Cancel);
            close();
            QCOMPARE(prompts_->texts(), QStringList{question});
            QCOMPARE(prompts_->shown[0].buttons, platform::Buttons::OKCancel);
            QVERIFY(w.isVisible());
            QVERIFY(!main_->isVisible());
            QCOMPARE(fileBytes("initial.txt"), kExample + QByteArray("old tail\r\n"));
            prompts_->clear();
        }
        close();
        QCOMPARE(prompts_->texts(), edited ? QStringList{question} : QStringList{});
        QVERIFY(!w.isVisible());
        QVERIFY(main_->isVisible());
        QVERIFY(!w.SequenceChanged);
        QCOMPARE(fileBytes("initial.txt"), SettingsFile::text({}, 1));
        QCOMPARE(sqlValue("SELECT STEP_ELAPSE_TIME FROM SEQUENCE_STEP WHERE SEQUENCE_ID = 2"), QStringLiteral("5.0"));
    }

    // The window opens again afresh: first tab, lists filled once, builder empty.
    void reopen()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.TabStrip1->setCurrentIndex(1);
        w.txtTemp->setText("1");
        w.cmdReturn2->click();
        QVERIFY(!w.isVisible());
        w.Form_Load(connection_);
        w.show();
        QCOMPARE(w.CurrentTab, 1);
        QCOMPARE(w.TabStrip1->currentIndex(), 0);
        QVERIFY(w.Frame3[1]->isVisible());
        QCOMPARE(w.cmbUnit[3]->count(), 21);
        QVERIFY(w.txtTemp->text().isEmpty());
        QCOMPARE(listed().size(), 2);
        QCOMPARE(w.size(), QSize(frmSetup::DesignWidth, frmSetup::DesignHeight));
    }

    // ---- hardware tab ----

    // The file example: the boxes and option it selects, and the same nine lines written back.
    void hardwareRoundTrip()
    {
        dir_->write("initial.txt", kExample);
        Module1::UnitSystem = 0;
        connection_ = testsupport::openConnection();
        w_ = std::make_unique<frmSetup>();
        w_->Form_Load(connection_);
        frmSetup& w = *w_;
        QVERIFY(prompts_->shown.empty());
        const QStringList expected{"None", "Comm 3", "None", "None", "None", "None", "None", "Comm 5"};
        for (std::size_t i = 1; i <= 8; ++i) QCOMPARE(w.cmbUnit[i]->currentText(), expected[int(i) - 1]);
        QVERIFY(w.optCGS->isChecked());
        QVERIFY(!w.OptSI->isChecked());
        QVERIFY(!w.OptEI->isChecked());
        QCOMPARE(Module1::UnitSystem, 1);
        QCOMPARE(Module1::TempUnitCaption, QString());   // captions change only on save
        w.SequenceChanged = true;
        w.cmdSave->click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(fileBytes("initial.txt"), kExample);
        QCOMPARE(Module1::TempUnitCaption, QStringLiteral("(°F)"));
        QCOMPARE(Module1::LengthUnitCaption, QStringLiteral("(in.)"));
        QCOMPARE(Module1::PressUnitCaption, QStringLiteral("(Psi)"));
        QVERIFY(w.SequenceChanged);   // step edits stay unsaved
    }

    void hardwareSave_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("choose");   // unit, entry pairs chosen before the save
        QTest::addColumn<QString>("option");      // option clicked before the save, or ""
        QTest::addColumn<QStringList>("loadMessages");
        QTest::addColumn<QStringList>("saveMessages");
        QTest::addColumn<QByteArray>("written");  // empty: the file is unchanged
        QTest::addColumn<QString>("tempCaption");
        const QString inUse = "This comm port is already in use, please choose another.";
        QTest::newRow("units 1 and 4 on Comm 2") << kExample << QList<int>{1, 2, 4, 2} << "" << QStringList{}
                                                 << QStringList{inUse} << QByteArray() << "";
        QTest::newRow("all None") << kExample << QList<int>{2, 0, 8, 0} << "" << QStringList{} << QStringList{}
                                  << SettingsFile::text({}, 1) << "(°F)";
        QTest::newRow("flag 3 reads as SI") << QByteArray(kExample).replace(" 1 \r\n", " 3 \r\n") << QList<int>{} << ""
                                            << QStringList{} << QStringList{} << SettingsFile::text({0, 3, 0, 0, 0, 0, 0, 5}, 2)
                                            << "(°C)";
        QTest::newRow("EI after CGS keeps English") << QByteArray(kExample).replace(" 1 \r\n", " 2 \r\n")
                                                    << QList<int>{} << "optCGS,OptEI" << QStringList{} << QStringList{}
                                                    << SettingsFile::text({0, 3, 0, 0, 0, 0, 0, 5}, 1) << "(°F)";
        QTest::newRow("SI chosen") << kExample << QList<int>{} << "OptSI" << QStringList{} << QStringList{}
                                   << SettingsFile::text({0, 3, 0, 0, 0, 0, 0, 5}, 2) << "(°C)";
        QTest::newRow("no file: refused while two units have no choice")
            << QByteArray() << QList<int>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6} << "" << QStringList{"File not found"}
            << QStringList{inUse} << QByteArray() << "";
        QTest::newRow("no file: every unit chosen")
            << QByteArray() << QList<int>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 0, 8, 0} << "OptSI"
            << QStringList{"File not found"} << QStringList{} << SettingsFile::text({1, 2, 3, 4, 5, 6, 0, 0}, 2)
            << "(°C)";
        QTest::newRow("port 21 in the file") << QByteArray(" 4 \r\n 21 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n")
                                             << QList<int>{} << "" << QStringList{"Invalid property value"}
                                             << QStringList{inUse} << QByteArray() << "";
    }

    void hardwareSave()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, choose);
        QFETCH(QString, option);
        QFETCH(QStringList, loadMessages);
        QFETCH(QStringList, saveMessages);
        QFETCH(QByteArray, written);
        QFETCH(QString, tempCaption);
        if (!file.isEmpty()) dir_->write("initial.txt", file);
        Module1::UnitSystem = 0;
        connection_ = testsupport::openConnection();
        w_ = std::make_unique<frmSetup>();
        w_->Form_Load(connection_);
        frmSetup& w = *w_;
        QCOMPARE(prompts_->texts(), loadMessages);
        if (file.isEmpty())
            for (std::size_t i = 1; i <= 8; ++i) QCOMPARE(w.cmbUnit[i]->currentIndex(), -1);
        if (file.contains(" 21 ")) {
            QCOMPARE(w.cmbUnit[1]->currentText(), QStringLiteral("Comm 4"));
            QCOMPARE(w.cmbUnit[2]->currentIndex(), -1);
            QCOMPARE(Module1::UnitSystem, 0);
        }
        if (file.endsWith(" 3 \r\n")) {
            QVERIFY(w.OptSI->isChecked());
            QCOMPARE(Module1::UnitSystem, 2);
        }
        for (int k = 0; k + 1 < choose.size(); k += 2) w.cmbUnit[std::size_t(choose[k])]->setCurrentIndex(choose[k + 1]);
        for (const QString& o : option.split(',', Qt::SkipEmptyParts)) control<QRadioButton>(o)->click();
        prompts_->clear();
        w.SequenceChanged = true;
        w.cmdSave->click();
        QCOMPARE(prompts_->texts(), saveMessages);
        QVERIFY(w.SequenceChanged);   // saved or not, step edits stay unsaved
        if (written.isEmpty()) {
            QCOMPARE(fileBytes("initial.txt"), file.isEmpty() ? QByteArray("<missing>") : file);
        } else {
            QCOMPARE(fileBytes("initial.txt"), written);
            QCOMPARE(Module1::TempUnitCaption, tempCaption);
        }
    }

    // A settings file that cannot be written: a message, no captions changed, and the window still closes.
    void hardwareSaveFails()
    {
        QVERIFY(QDir(dir_->path()).mkdir("initial.txt"));
        connection_ = testsupport::openConnection();
        main_ = std::make_unique<QWidget>();
        w_ = std::make_unique<frmSetup>();
        w_->setMainWindow(main_.get());
        w_->Form_Load(connection_);
        w_->show();
        QCOMPARE(prompts_->texts().size(), 1);
        for (std::size_t i = 1; i <= 8; ++i) w_->cmbUnit[i]->setCurrentIndex(0);
        prompts_->clear();
        w_->cmdSave->click();
        QCOMPARE(prompts_->texts().size(), 1);
        QVERIFY2(prompts_->texts()[0].startsWith("The hardware settings could not be saved to initial.txt"),
                 qPrintable(prompts_->texts()[0]));
        QCOMPARE(Module1::TempUnitCaption, QString());
        QVERIFY(QFileInfo(dir_->file("initial.txt")).isDir());
        w_->cmdReturn2->click();
        QVERIFY(!w_->isVisible());
        QVERIFY(main_->isVisible());
    }

    // ---- values keep their meaning ----

    void unitSwitch_data()
    {
        QTest::addColumn<int>("units");          // the unit system at opening
        QTest::addColumn<QString>("typed");      // typed into step 2's temperature before the switch, or ""
        QTest::addColumn<QString>("option");     // the option chosen
        QTest::addColumn<QStringList>("before"); // the temperatures shown before the switch
        QTest::addColumn<QStringList>("after");  // and after it
        QTest::addColumn<QStringList>("back");   // after choosing the first unit again
        QTest::addColumn<QString>("caption");    // the temperature caption after it
        QTest::addColumn<QString>("stored");     // the steps as Save stores them after the switch, or ""
        const QString ramp = "1.0:30.0:212.0:60.0 2.0:60.0:300.0:30.0 3.0:15.0:100.0:10.0";
        QTest::newRow("English to SI") << 1 << "" << "OptSI" << QStringList{"212.", "300.", "100."}
                                       << QStringList{"100.", "148.89", "37.78"} << QStringList{"212.", "300.", "100."} << "(°C)" << ramp;
        QTest::newRow("SI to English") << 2 << "" << "optCGS" << QStringList{"100.", "148.89", "37.78"}
                                       << QStringList{"212.", "300.", "100."} << QStringList{"100.", "148.89", "37.78"} << "(°F)" << ramp;
        QTest::newRow("English edit 350.5 to SI")
            << 1 << "350.5" << "OptSI" << QStringList{"212.", "350.5", "100."} << QStringList{"100.", "176.94", "37.78"}
            << QStringList{"212.", "350.5", "100."} << "(°C)" << "1.0:30.0:212.0:60.0 2.0:60.0:351.0:30.0 3.0:15.0:100.0:10.0";
        QTest::newRow("SI edit 40 to English")
            << 2 << "40" << "optCGS" << QStringList{"100.", "40", "37.78"} << QStringList{"212.", "104.", "100."}
            << QStringList{"100.", "40.", "37.78"} << "(°F)" << "1.0:30.0:212.0:60.0 2.0:60.0:104.0:30.0 3.0:15.0:100.0:10.0";
        QTest::newRow("SI edit -17.78 to English")
            << 2 << "-17.78" << "optCGS" << QStringList{"100.", "-17.78", "37.78"} << QStringList{"212.", "0.", "100."}
            << QStringList{"100.", "-17.78", "37.78"} << "(°F)" << "1.0:30.0:212.0:60.0 2.0:60.0:0.0:30.0 3.0:15.0:100.0:10.0";
        QTest::newRow("not a number stays as typed")
            << 1 << "abc" << "OptSI" << QStringList{"212.", "abc", "100."} << QStringList{"100.", "abc", "37.78"}
            << QStringList{"212.", "abc", "100."} << "(°C)" << "";
    }

    // Choosing the other unit system with steps in the grid shows the same temperatures in the new unit,
    // under headings of that unit; a save stores the same degrees; choosing back shows the texts as they were.
    void unitSwitch()
    {
        QFETCH(int, units);
        QFETCH(QString, typed);
        QFETCH(QString, option);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QStringList, back);
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        QVERIFY(storeRamp());
        frmSetup& w = start(units);
        w.lstSeqName->setCurrentRow(1);
        if (!typed.isEmpty()) edit(2, 2, typed);
        w.MSFlexGrid1_Click(1, 0);
        QCOMPARE(column(2), before);
        const bool changed = w.SequenceChanged;

        w.TabStrip1->setCurrentIndex(1);
        control<QRadioButton>(option)->click();
        w.TabStrip1->setCurrentIndex(0);
        QCOMPARE(column(2), after);
        QCOMPARE(w.CellText(0, 2), "Temp " + caption);
        QCOMPARE(w.MSFlexGrid1->horizontalHeaderItem(2)->text(), "Temp " + caption);
        QCOMPARE(w.lblTemp->text(), "Temperature" + caption);
        QCOMPARE(w.SequenceChanged, changed);
        driveInsert_ = [&](frmInsertStep& d) {
            QCOMPARE(d.lblTemp->text(), "Temperature " + caption);
            d.cmdCancel->click();
        };
        driveCopy_ = [&](frmCopyPaste& d) {
            QCOMPARE(d.lblTemp->text(), "Temperature " + caption);
            d.cmdCancel->click();
        };
        w.cmdInsertStep->click();
        w.cmdCopySteps->click();
        QCOMPARE(modalShown_, (QStringList{"frmInsertStep", "frmCopyPaste"}));

        // Back to the first unit: the texts as they were.
        w.TabStrip1->setCurrentIndex(1);
        control<QRadioButton>(option == "OptSI" ? "optCGS" : "OptSI")->click();
        QCOMPARE(column(2), back);
        control<QRadioButton>(option)->click();
        QCOMPARE(column(2), after);

        if (stored.isEmpty()) return;   // nothing to save
        prompts_->clear();
        w.cmdSaveChange->click();
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(storedSteps(1), stored);
    }

    void currentStepFollowsGrid_data()
    {
        QTest::addColumn<QList<int>>("keys");        // pressed on the grid after a click on step 2
        QTest::addColumn<int>("current");            // the highlighted step afterwards
        QTest::addColumn<bool>("insert");            // insert a step before it, else "Delete Current step"
        QTest::addColumn<QStringList>("intervals");  // afterwards; the inserted step reads 7
        const int ctrlEnd = int(Qt::ControlModifier) | Qt::Key_End;
        const QList<int> down2{Qt::Key_Down, Qt::Key_Down}, up{Qt::Key_Up}, end{ctrlEnd}, none{};
        QTest::newRow("Down, Down: delete") << down2 << 4 << false << QStringList{"10", "20", "30", "50"};
        QTest::newRow("Down, Down: insert") << down2 << 4 << true << QStringList{"10", "20", "30", "7", "40", "50"};
        QTest::newRow("Up: delete") << up << 1 << false << QStringList{"20", "30", "40", "50"};
        QTest::newRow("Up: insert") << up << 1 << true << QStringList{"7", "10", "20", "30", "40", "50"};
        QTest::newRow("Ctrl+End: delete") << end << 5 << false << QStringList{"10", "20", "30", "40"};
        QTest::newRow("Ctrl+End: insert") << end << 5 << true << QStringList{"10", "20", "30", "40", "7", "50"};
        QTest::newRow("no key: delete") << none << 2 << false << QStringList{"10", "30", "40", "50"};
        QTest::newRow("no key: insert") << none << 2 << true << QStringList{"10", "7", "20", "30", "40", "50"};
    }

    // The current step is the highlighted row however the highlight moved: Insert and "Delete Current step"
    // act on it.
    void currentStepFollowsGrid()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, current);
        QFETCH(bool, insert);
        QFETCH(QStringList, intervals);
        frmSetup& w = start();
        build("5", "1", "100", "1");
        for (int k = 1; k <= 5; ++k) edit(k, 3, QString::number(10 * k));
        w.MSFlexGrid1_Click(2, 0);
        QCOMPARE(w.CurrentRow(), 2);
        w.MSFlexGrid1->setFocus();
        for (int key : keys)
            QTest::keyClick(w.MSFlexGrid1, Qt::Key(key & ~int(Qt::KeyboardModifierMask)),
                            Qt::KeyboardModifiers(key & int(Qt::KeyboardModifierMask)));
        QCOMPARE(w.MSFlexGrid1->currentRow() + 1, current);
        QCOMPARE(w.CurrentRow(), current);
        if (insert) this->insert(0, "before", "1", "100", "7");
        else w.cmdDeleteStep->click();
        QCOMPARE(column(3), intervals);
    }

    // Unsaved step edits survive a hardware Save: closing still asks about them.
    void hardwareSaveKeepsStepEdits()
    {
        QVERIFY(storeRamp());
        frmSetup& w = start();
        edit(1, 1, "7");
        QVERIFY(w.SequenceChanged);
        w.TabStrip1->setCurrentIndex(1);
        w.cmdSave->click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(fileBytes("initial.txt"), SettingsFile::text({}, 1));
        QVERIFY(w.SequenceChanged);
        prompts_->queueAnswer(Answer::Cancel);
        w.cmdReturn2->click();
        QCOMPARE(prompts_->texts(), QStringList{"Current active sequence was changed.  Click OK to leave without "
                                                "saving, or Cancel to go back and save the sequence."});
        QVERIFY(w.isVisible());
        QCOMPARE(w.CellText(1, 1), QStringLiteral("7"));
    }

    void copyAsFromGrid_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");      // typed into that cell of the grid
        QTest::addColumn<QString>("message");   // empty: copied
        QTest::newRow("good") << 2 << 1 << "45" << "";
        QTest::newRow("0-minute step") << 2 << 1 << "0" << "Elapse Time input out of range.";
        QTest::newRow("681 °F") << 3 << 2 << "681" << "Temperature input out of range.";
        QTest::newRow("interval 0") << 1 << 3 << "0" << "Record interval input out of range.";
    }

    // With no sequence chosen, Copy As stores the grid: it is checked as Save checks it, before any name is
    // asked, and a refused grid stores nothing.
    void copyAsFromGrid()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(QString, message);
        frmSetup& w = start();
        QCOMPARE(w.lstSeqName->count(), 0);
        build("3", "30", "212", "60");
        edit(row, col, text);
        prompts_->queueInput("From grid");
        w.cmdSaveas->click();
        if (message.isEmpty()) {
            QCOMPARE(prompts_->texts(), QStringList{"Please input new test sequence name:"});
            QCOMPARE(listed(), QStringList{"From grid"});
            QCOMPARE(storedSteps(1), QStringLiteral("1.0:30.0:212.0:60.0 2.0:45.0:212.0:60.0 3.0:30.0:212.0:60.0"));
            return;
        }
        QCOMPARE(prompts_->texts(), QStringList{message});
        QVERIFY(w.txtOverlap2->isVisible());
        QCOMPARE(w.EditRow, row);
        QCOMPARE(w.EditCol, col);
        QCOMPARE(w.txtOverlap2->text(), text);
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_INFO"), QStringLiteral("0"));
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP"), QStringLiteral("0"));
    }

    void editorChangeMarksSequence_data()
    {
        QTest::addColumn<QString>("action");   // entry of the editor's context menu
        QTest::addColumn<QString>("text");     // the editor's text afterwards
        QTest::newRow("paste") << "&Paste" << "30.45";
        QTest::newRow("cut") << "Cu&t" << "";
        QTest::newRow("delete") << "Delete" << "";
    }

    // A change of the editor's text by other means than a key marks the sequence changed as a key does.
    void editorChangeMarksSequence()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        QGuiApplication::clipboard()->setText("45");
        w.MSFlexGrid1_Click(1, 1);
        QVERIFY(!w.SequenceChanged);
        if (action == "&Paste") w.txtOverlap2->end(false);
        else w.txtOverlap2->selectAll();
        std::unique_ptr<QMenu> menu(w.txtOverlap2->createStandardContextMenu());
        QAction* a = nullptr;
        for (QAction* entry : menu->actions())
            if (entry->text().section('\t', 0, 0) == action) a = entry;
        QVERIFY(a);
        QVERIFY(a->isEnabled());
        a->trigger();
        QCOMPARE(w.txtOverlap2->text(), text);
        QVERIFY(w.SequenceChanged);
        // Opening the editor on another cell changes its text without marking anything.
        w.SequenceChanged = false;
        w.MSFlexGrid1_Click(2, 2);
        QVERIFY(!w.SequenceChanged);
        QCOMPARE(w.CellText(1, 1), text);
    }

    void saveRefusesUnusable_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");      // typed into step 2 at that column
        QTest::addColumn<QString>("message");   // empty: saved
        QTest::addColumn<QString>("stored");    // step 2 as stored when saved
        const QString elapse = "Elapse Time input out of range.";
        const QString temp = "Temperature input out of range.";
        const QString rate = "Record interval input out of range.";
        const QString nines(200, '9');
        QTest::newRow("time 1e308") << 1 << "1e308" << elapse << "";
        QTest::newRow("time 200 nines") << 1 << nines << elapse << "";
        QTest::newRow("time 60000.01") << 1 << "60000.01" << elapse << "";
        QTest::newRow("time 60000") << 1 << "60000" << "" << "2.0:60000.0:300.0:30.0";
        QTest::newRow("interval 1e308") << 3 << "1e308" << rate << "";
        QTest::newRow("interval 200 nines") << 3 << nines << rate << "";
        QTest::newRow("interval 3600001") << 3 << "3600001" << rate << "";
        QTest::newRow("interval 3600000") << 3 << "3600000" << "" << "2.0:60.0:300.0:3600000.0";
        QTest::newRow("temperature abc") << 2 << "abc" << temp << "";
        QTest::newRow("temperature nan") << 2 << "nan" << temp << "";
        QTest::newRow("temperature inf") << 2 << "inf" << temp << "";
        QTest::newRow("temperature blank") << 2 << "" << temp << "";
        QTest::newRow("temperature blanks") << 2 << "  " << temp << "";
        QTest::newRow("temperature 1e999") << 2 << "1e999" << temp << "";
        QTest::newRow("temperature 0") << 2 << "0" << "" << "2.0:60.0:0.0:30.0";
        QTest::newRow("temperature 212 F") << 2 << "212 F" << "" << "2.0:60.0:212.0:30.0";
    }

    // Values no test can use are refused with their column's message, the editor on the cell, nothing stored.
    void saveRefusesUnusable()
    {
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QVERIFY(storeRamp());
        frmSetup& w = start();
        w.lstSeqName->setCurrentRow(1);
        const QString before = storedSteps(1);
        edit(2, col, text);
        w.cmdSaveChange->click();
        if (message.isEmpty()) {
            QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
            QCOMPARE(storedSteps(1).split(' ').value(1), stored);
            return;
        }
        QCOMPARE(prompts_->texts(), QStringList{message});
        QVERIFY(w.txtOverlap2->isVisible());
        QCOMPARE(w.EditRow, 2);
        QCOMPARE(w.EditCol, col);
        QCOMPARE(w.MSFlexGrid1->currentRow(), 1);
        QCOMPARE(w.MSFlexGrid1->currentColumn(), col);
        QCOMPARE(w.txtOverlap2->text(), text);
        QCOMPARE(storedSteps(1), before);
        QVERIFY(w.SequenceChanged);
    }

    void copyPasteTarget_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("pasteTo");
        QTest::addColumn<QString>("message");
        const QString copied = "Copied steps should be existing steps, numbered from 1 to 5";
        const QString target = "Paste target step should be an existing step, numbered from 1 to 5";
        QTest::newRow("paste to 6") << "1" << "2" << "6" << target;
        QTest::newRow("paste to 0") << "1" << "2" << "0" << target;
        QTest::newRow("paste to nothing") << "1" << "2" << "" << target;
        QTest::newRow("copy 4..6") << "4" << "6" << "1" << copied;
        QTest::newRow("copy 0..2, paste to 9") << "0" << "2" << "9" << copied;
    }

    // Step numbers that name no step: the message names the entry at fault; the dialog stays, nothing moves.
    void copyPasteTarget()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, pasteTo);
        QFETCH(QString, message);
        frmSetup& w = start();
        build("5", "1", "100", "1");
        driveCopy_ = [&](frmCopyPaste& d) {
            d.cmbCopyfrom->setEditText(from);
            d.cmbCopyto->setEditText(to);
            d.cmbPasteto->setEditText(pasteTo);
            d.txtNewTemperature->setText("150");
            d.cmdOk->click();
            QVERIFY(d.isVisible());
            d.cmdCancel->click();
        };
        w.cmdCopySteps->click();
        QCOMPARE(prompts_->texts(), QStringList{message});
        QCOMPARE(prompts_->shown[0].title, QStringLiteral("Step No. input invalid"));
        QCOMPARE(w.Steps().count(), 5);
    }

    // ---- layout ----

    void layout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("design") << QSize(frmSetup::DesignWidth, frmSetup::DesignHeight);
        QTest::newRow("maximised") << QSize(1920, 1080);
    }

    // Both tabs with a 12-step sequence: every control inside its container, none overlapping, no text
    // clipped; with VEDUVOVIR_SCREENSHOTS set, a picture of each.
    void layout()
    {
        QFETCH(QSize, size);
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'Bentonite ramp 150-350 F', 20, 60), (2, 'Clay soak "
                        "72 h', 20, 60), (3, 'Shale heat-up, three holds', 20, 60), (4, 'Quick check', 20, 60)"));
        QStringList rows;
        for (int k = 1; k <= 12; ++k)
            rows << QStringLiteral("(1, %1, %2, %3, %4, 0)").arg(k).arg(k % 3 == 0 ? 240 : 30).arg(150 + 20 * k).arg(k < 6 ? 60 : 300);
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, "
                        "STEP_PRESS) VALUES " + rows.join(", ")));
        dir_->write("initial.txt", SettingsFile::text({1, 2, 0, 0, 0, 0, 0, 0}, 1));
        testsupport::setUnits(1);
        frmSetup& w = start(-1);
        QCOMPARE(w.lstSeqName->currentItem()->text(), QStringLiteral("Bentonite ramp 150-350 F"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 12);
        w.txtTotalSteps->setText("12");
        w.txtStepTime->setText("30");
        w.txtTemp->setText("212");
        w.txtInterval->setText("60");
        w.resize(size);
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), size);

        const QString folder = qEnvironmentVariable("VEDUVOVIR_SCREENSHOTS");
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        for (int tab : {1, 2}) {
            w.TabStrip1->setCurrentIndex(tab - 1);
            QCoreApplication::processEvents();
            QStringList faults = testsupport::layoutFaults(&w, w.rect());
            faults << testsupport::layoutFaults(w.Frame3[std::size_t(tab)], w.Frame3[std::size_t(tab)]->rect());
            QGroupBox* inner = tab == 1 ? w.frameRamp : w.Frame1;
            faults << testsupport::layoutFaults(inner, testsupport::belowTitle(inner));
            QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("tab %1:\n").arg(tab) + faults.join('\n')));
            if (!folder.isEmpty()) {
                const QString file = QDir(folder).filePath(QStringLiteral("setup-%1-%2.png").arg(tab).arg(tag));
                QVERIFY(w.grab().save(file));
                qInfo("screenshot: %s", qPrintable(file));
            }
        }
        // The grid's four columns are shown whole at every size.
        int columns = 0;
        for (int c = 0; c < 4; ++c) columns += w.MSFlexGrid1->columnWidth(c);
        QVERIFY(columns <= w.MSFlexGrid1->viewport()->width());
    }
};

QTEST_MAIN(SetupWindow)
#include "tst_setupwindow.moc"
