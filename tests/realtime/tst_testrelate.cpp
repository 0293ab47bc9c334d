// The cell test-information dialog: storing a test, replacing one of the same name, the refusals, the
// copy from a stored test and the wafer length shown.
#include "TestSupport.h"

#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ShowModal.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>

#include <functional>
#include <memory>

using platform::Answer;
using platform::ScriptedPrompts;
using testsupport::sqlExec;
using testsupport::setUnits;
using testsupport::sqlValue;

namespace {

// A stored test with two logged points; returns its id.
QString storeTest(const QString& name, const QString& date, const QString& researcher = QStringLiteral("old"),
                  double press = 300)
{
    const QString sql = QStringLiteral(
        "INSERT INTO TEST_INFO (TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, SAMPLE_LENGTH, "
        "SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, "
        "FLUID_INFO) VALUES ('%1', '%2', '%3', 12.5, 0.25, 3, 'grey clay', %4, 5, '01/02/2020', 'brine')")
                            .arg(name, date, researcher)
                            .arg(press);
    if (!sqlExec(sql)) return {};
    const QString id = sqlValue(QStringLiteral("SELECT max(TEST_ID) FROM TEST_INFO"));
    sqlExec(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME) VALUES (%1, 1, 30), (%1, 1, 60)")
                .arg(id));
    return id;
}

QString count(const QString& where)
{
    return sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO WHERE ") + where);
}

} // namespace

class TestRelate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;

    // Opens the dialog as a cell's Enter Info does and lets drive act on it while it is shown modally.
    std::unique_ptr<frmTestRelate> runDialog(double waferInches, const std::function<void(frmTestRelate&)>& drive)
    {
        auto dlg = std::make_unique<frmTestRelate>();
        dlg->Label17->setText(QStringLiteral("3"));
        dlg->Label18->setText(QStringLiteral("CELL A"));
        dlg->setWindowTitle(QStringLiteral("CELL A Test Information"));
        dlg->ShowWaferLength(waferInches);
        platform::setModalHandler([&](QDialog& d) {
            drive(static_cast<frmTestRelate&>(d));
            return d.result();
        });
        platform::showModal(*dlg);
        platform::setModalHandler({});
        return dlg;
    }

    static void fill(frmTestRelate& d, const QString& name)
    {
        d.txtTestInfo[1]->setText(name);
        d.txtTestInfo[2]->setText(QStringLiteral("01/02/2020 10:03:04"));
        d.txtTestInfo[3]->setText(QStringLiteral("new"));
        d.txtTestInfo[4]->setText(QStringLiteral("7.5 g"));
        d.txtTestInfo[7]->setText(QStringLiteral("sand"));
        d.txtTestInfo[11]->setText(QStringLiteral("water"));
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<ScriptedPrompts>();
        Module1::Reset();
        setUnits(1);
        Module1::DbConnection = testsupport::openConnection();
        Module1::TestInfo = std::make_shared<clsTEST_INFO>();
        Module1::TestInfo->ConnectX(*Module1::DbConnection);
    }

    void cleanup()
    {
        platform::setModalHandler({});
        Module1::Reset();
        prompts_.reset();
        dir_.reset();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("Frame1") << "Frame1" << "TEST INFOMATION" << "";
        QTest::newRow("Frame2") << "Frame2" << "SAMPLE INFOMATION" << "";
        QTest::newRow("Label9") << "Label9" << "(g)" << "";
        QTest::newRow("Label13") << "Label13" << "(in.)" << "";
        QTest::newRow("Label14") << "Label14" << "(Psi)" << "";
        QTest::newRow("Label15") << "Label15" << "(min)" << "";
        QTest::newRow("Label16") << "Label16" << "Test Unit: " << "";
        QTest::newRow("Label1(6)") << "Label1(6)" << "Copy steps from existing test (enter test name here):" << "";
        QTest::newRow("cmdPick") << "cmdPick" << "Pick Name..." << "Click here to choose an existing test to copy";
        QTest::newRow("cmdCopy") << "cmdCopy" << "&Get && Copy" << "Click here to copy steps from an existing test";
        QTest::newRow("Command2") << "Command2" << "OK" << "";
        QTest::newRow("Command1") << "Command1" << "Cancel" << "";
        const char* captions[] = {"TEST NAME",          "TEST DATE",      "RESEARCHER",    "SAMPLE Wt",
                                  "SAMPLE Len.",        "HARDNESS",       "SAMPLE DESCRIPTION",
                                  "COMPACT PRESS.",     "COMPACT TIME.",  "COMPACT DATE",  "FLUID DESCRIPTION"};
        const char* initial[] = {"", nullptr, "", "0", "0", "0", "", "0", "0", "", ""};
        for (int k = 1; k <= 11; ++k) {
            const QString label = QStringLiteral("lblTestInfo(%1)").arg(k);
            QTest::newRow(qPrintable(label)) << label << captions[k - 1] << "";
            if (initial[k - 1]) {
                const QString box = QStringLiteral("txtTestInfo(%1)").arg(k);
                QTest::newRow(qPrintable(box)) << box << initial[k - 1] << "";
            }
        }
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        frmTestRelate d;
        QWidget* w = d.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QString shown;
        if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
        else if (auto* b = qobject_cast<QPushButton*>(w)) shown = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w)) shown = g->title();
        else if (auto* e = qobject_cast<QLineEdit*>(w)) shown = e->text();
        QCOMPARE(shown, text);
        QCOMPARE(w->toolTip(), toolTip);
    }

    void load()
    {
        storeTest(QStringLiteral("Older"), QStringLiteral("2020-01-02 10:00:00"));
        storeTest(QStringLiteral("Newer"), QStringLiteral("2021-03-04 05:06:07"));
        frmTestRelate d;
        QCOMPARE(d.windowTitle(), QStringLiteral("START TEST"));
        QVERIFY(d.Cancels());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                    .match(d.txtTestInfo[2]->text())
                    .hasMatch());
        // The pick grid: hidden, three columns with their two-line headings, the tests newest first.
        QTableWidget* g = d.MSFlexGrid1;
        QVERIFY(g->isHidden());
        QCOMPARE(g->columnCount(), 3);
        QCOMPARE(g->horizontalHeaderItem(0)->text(), QStringLiteral("Test \nName"));
        QCOMPARE(g->horizontalHeaderItem(1)->text(), QStringLiteral("Test\nDate"));
        QCOMPARE(g->horizontalHeaderItem(2)->text(), QStringLiteral("Fluid\nInfo"));
        for (int c = 0; c < 3; ++c) QCOMPARE(g->columnWidth(c), 80);
        QCOMPARE(g->horizontalHeader()->height(), 53);
        QCOMPARE(g->rowCount(), 2);
        QCOMPARE(g->item(0, 0)->text(), QStringLiteral("Newer"));
        QCOMPARE(g->item(0, 1)->text(), QStringLiteral("3/4/2021 5:06:07 AM"));
        QCOMPARE(g->item(0, 2)->text(), QStringLiteral("grey clay"));
        QCOMPARE(g->item(1, 0)->text(), QStringLiteral("Older"));
    }

    void emptyList()
    {
        frmTestRelate d;
        QCOMPARE(d.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(d.MSFlexGrid1->columnCount(), 3);
    }

    void ok_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("descriptionSize");
        QTest::newRow("plain") << "Clay 1" << "Clay 1" << 4;
        QTest::newRow("blanks around") << "  Clay 1  " << "Clay 1" << 4;
        QTest::newRow("blanks inside kept") << " a  b " << "a  b" << 4;
        QTest::newRow("description of 255") << "Long" << "Long" << 255;
    }

    void ok()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(int, descriptionSize);
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, typed);
            d.txtTestInfo[7]->setText(QString(descriptionSize, QLatin1Char('d')));
            d.txtTestInfo[8]->setText(QStringLiteral("250 psi"));
            d.Command2->click();
        });
        QVERIFY(prompts_->shown.empty());
        QVERIFY(!dlg->Cancels());
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        // The caller looks the test up by the name left in box 1.
        QCOMPARE(dlg->txtTestInfo[1]->text(), stored);
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO")), QStringLiteral("1"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT TEST_NAME FROM TEST_INFO")), stored);
        QCOMPARE(sqlValue(QStringLiteral("SELECT TEST_DATE FROM TEST_INFO")), QStringLiteral("2020-01-02 10:03:04"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT RESEARCHER_NAME FROM TEST_INFO")), QStringLiteral("new"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT SAMPLE_WEIGHT FROM TEST_INFO")), QStringLiteral("7.5"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT SAMPLE_COMPACT_PRESS FROM TEST_INFO")), QStringLiteral("250.0"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT length(SAMPLE_description) FROM TEST_INFO")),
                 QString::number(descriptionSize));
        Module1::TestInfo->TEST_NAME = dlg->txtTestInfo[1]->text();
        Module1::TestInfo->GetTestDetail();
        QVERIFY(!Module1::TestInfo->EOF_());
    }

    // Refused entries: a message, nothing stored or deleted, the dialog open with its entries.
    void refused_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString noName = QStringLiteral("Please enter a test name to identify the test.");
        QTest::newRow("empty name") << 1 << "" << noName;
        QTest::newRow("blank name") << 1 << "   " << noName;
        QTest::newRow("name of 101") << 1 << QString(101, QLatin1Char('n'))
                                     << "The max text length of 'Test Name' is 100";
        QTest::newRow("not a date") << 2 << "31/31/2020"
                                    << "The test date \"31/31/2020\" is not a valid date. Please enter it as "
                                       "mm/dd/yyyy hh:mm:ss.";
        QTest::newRow("empty date") << 2 << ""
                                    << "The test date \"\" is not a valid date. Please enter it as mm/dd/yyyy "
                                       "hh:mm:ss.";
        QTest::newRow("researcher of 51") << 3 << QString(51, QLatin1Char('r'))
                                          << "The max text length of 'Researcher' is 50";
        QTest::newRow("description of 256") << 7 << QString(256, QLatin1Char('d'))
                                            << "The max text length of 'Sample Description' is 255";
        QTest::newRow("compact date of 51") << 10 << QString(51, QLatin1Char('c'))
                                            << "The max text length of 'Compact Date' is 50";
        QTest::newRow("fluid of 256") << 11 << QString(256, QLatin1Char('f'))
                                      << "The max text length of 'Fluid Description' is 255";
    }

    void refused()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        // A stored test of the same name must survive a refused replacement untouched.
        const QString oldId = storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"));
        bool openAfterOk = false;
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, QStringLiteral("Clay"));
            d.txtTestInfo[box]->setText(text);
            d.Command2->click();
            openAfterOk = d.isVisible();
        });
        QVERIFY(openAfterOk);
        QCOMPARE(prompts_->texts(), QStringList{message});
        QVERIFY(dlg->Cancels());
        QCOMPARE(dlg->txtTestInfo[box]->text(), text);
        QCOMPARE(dlg->txtTestInfo[4]->text(), QStringLiteral("7.5 g"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT group_concat(TEST_ID) FROM TEST_INFO")), oldId);
        QCOMPARE(sqlValue(QStringLiteral("SELECT RESEARCHER_NAME FROM TEST_INFO")), QStringLiteral("old"));
    }

    void duplicate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes replaces") << "Clay" << int(Answer::Yes);
        QTest::newRow("Yes, other case and blanks") << " CLAY " << int(Answer::Yes);
        QTest::newRow("No keeps") << "Clay" << int(Answer::No);
    }

    void duplicate()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        const bool yes = Answer(answer) == Answer::Yes;
        const QString oldId = storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"));
        storeTest(QStringLiteral("Other"), QStringLiteral("2020-01-03 10:00:00"));
        prompts_->queueAnswer(Answer(answer));
        bool openAfterOk = false;
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, typed);
            d.Command2->click();
            openAfterOk = d.isVisible();
        });
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QCOMPARE(prompts_->shown[0].text, QStringLiteral("Duplicate test name. do you want replace it"));
        QVERIFY(prompts_->shown[0].buttons == platform::Buttons::YesNo);
        QVERIFY(prompts_->shown[0].icon == platform::Icon::None);
        QCOMPARE(openAfterOk, !yes);
        QCOMPARE(dlg->Cancels(), !yes);
        QCOMPARE(count(QStringLiteral("TEST_NAME = 'Clay'")), QStringLiteral("1"));
        QCOMPARE(count(QStringLiteral("TEST_NAME = 'Other'")), QStringLiteral("1"));
        QCOMPARE(count(QStringLiteral("TEST_ID = ") + oldId), yes ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT RESEARCHER_NAME FROM TEST_INFO WHERE TEST_NAME = 'Clay'")),
                 yes ? QStringLiteral("new") : QStringLiteral("old"));
        // The old test's points stay in the results table either way.
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = ") + oldId),
                 QStringLiteral("2"));
        QVERIFY(!Module1::DbConnection->InTransaction());
    }

    // The database refuses the new header of a replacement: the old one is kept.
    void refusedInsertKeepsOldHeader()
    {
        const QString oldId = storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"));
        QVERIFY(sqlExec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON TEST_INFO "
                                       "WHEN NEW.RESEARCHER_NAME = 'refuse' BEGIN "
                                       "SELECT RAISE(ABORT, 'insert refused'); END")));
        prompts_->queueAnswer(Answer::Yes);
        bool openAfterOk = false;
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, QStringLiteral("Clay"));
            d.txtTestInfo[3]->setText(QStringLiteral("refuse"));
            d.Command2->click();
            openAfterOk = d.isVisible();
        });
        QCOMPARE(prompts_->texts(), (QStringList{QStringLiteral("Duplicate test name. do you want replace it"),
                                                 QStringLiteral("ERROR: insert refused")}));
        QVERIFY(openAfterOk);
        QVERIFY(dlg->Cancels());
        QCOMPARE(dlg->txtTestInfo[3]->text(), QStringLiteral("refuse"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT group_concat(TEST_ID || RESEARCHER_NAME) FROM TEST_INFO")),
                 oldId + QStringLiteral("old"));
        QVERIFY(!Module1::DbConnection->InTransaction());

        // The same dialog stores once the entry is corrected.
        prompts_->clear();
        prompts_->queueAnswer(Answer::Yes);
        dlg->txtTestInfo[3]->setText(QStringLiteral("fixed"));
        dlg->Command2->click();
        QVERIFY(!dlg->Cancels());
        QCOMPARE(sqlValue(QStringLiteral("SELECT group_concat(RESEARCHER_NAME) FROM TEST_INFO")),
                 QStringLiteral("fixed"));
    }

    // A cell takes the stored test while the replace question is up (its Enter Info ran meanwhile): the
    // replace, checked again on the very rows it would delete, is refused after Yes; the old header and its
    // points stay, the dialog stays open, and no transaction is left open. Another test's cell does not
    // stop a replace.
    void replaceRefusedWhenACellTakesTheTestMeanwhile_data()
    {
        QTest::addColumn<bool>("sameTest");   // the cell takes the test being replaced
        QTest::newRow("the cell takes it") << true;
        QTest::newRow("the cell takes another test") << false;
    }

    void replaceRefusedWhenACellTakesTheTestMeanwhile()
    {
        QFETCH(bool, sameTest);
        const QString oldId = storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"));
        const QString otherId = storeTest(QStringLiteral("Other"), QStringLiteral("2020-01-03 10:00:00"));
        platform::setSerialPortFactory([] { return std::make_unique<platform::FakeSerialPort>(); });
        auto screen = std::make_unique<frmSimpleTest>();
        Module1::SimpleTestForms[4] = screen.get();
        prompts_->whileOpen = [&](const ScriptedPrompts::Shown& shown) {
            if (shown.kind != ScriptedPrompts::Kind::Ask) return;
            realtime::UnitCell& cell = screen->poll().cell(2);
            cell.testName = sameTest ? QStringLiteral("Clay") : QStringLiteral("Other");
            cell.testId = (sameTest ? oldId : otherId).toInt();
        };
        prompts_->queueAnswer(Answer::Yes);
        bool openAfterOk = false;
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, QStringLiteral("clay"));
            d.Command2->click();
            openAfterOk = d.isVisible();
        });
        prompts_->whileOpen = {};
        QStringList told{QStringLiteral("Duplicate test name. do you want replace it")};
        if (sameTest)
            told << QStringLiteral("The test \"clay\" cannot be replaced: it is the test of cell B of unit 4. Please "
                                   "enter another test name.");
        QCOMPARE(prompts_->texts(), told);
        QCOMPARE(openAfterOk, sameTest);
        QCOMPARE(dlg->Cancels(), sameTest);
        QCOMPARE(count(QStringLiteral("TEST_ID = ") + oldId), sameTest ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(count(QStringLiteral("TEST_NAME = 'Clay'")), QStringLiteral("1"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT RESEARCHER_NAME FROM TEST_INFO WHERE TEST_NAME = 'Clay'")),
                 sameTest ? QStringLiteral("old") : QStringLiteral("new"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT WHERE TEST_ID = ") + oldId),
                 QStringLiteral("2"));
        QVERIFY(!Module1::DbConnection->InTransaction());
        screen.reset();
        platform::setSerialPortFactory({});
    }

    void cancel_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("close box") << true;
    }

    void cancel()
    {
        QFETCH(bool, closeBox);
        auto dlg = runDialog(0.25, [&](frmTestRelate& d) {
            fill(d, QStringLiteral("Clay"));
            if (closeBox) d.close();
            else d.Command1->click();
        });
        QVERIFY(dlg->Cancels());
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO")), QStringLiteral("0"));
    }

    void copy_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("press");
        QTest::newRow("found") << "Clay" << true << "300";
        QTest::newRow("pressure 0 gives an empty box") << "No press" << true << "";
        QTest::newRow("other case is not found") << "clay" << false << "";
        QTest::newRow("not stored") << "Sand" << false << "";
    }

    void copy()
    {
        QFETCH(QString, from);
        QFETCH(bool, found);
        QFETCH(QString, press);
        storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"), QStringLiteral("old"), 300);
        storeTest(QStringLiteral("No press"), QStringLiteral("2020-01-03 10:00:00"), QStringLiteral("old"), 0);
        frmTestRelate d;
        d.ShowWaferLength(0.5);
        d.txtTestInfo[1]->setText(QStringLiteral("mine"));
        d.txtTestInfo[3]->setText(QStringLiteral("me"));
        d.txtCopyFrom->setText(from);
        d.cmdCopy->click();
        if (!found) {
            QCOMPARE(prompts_->texts(),
                     QStringList{QStringLiteral("Your test sequence name is not found.  Please try again.")});
            QCOMPARE(d.txtTestInfo[4]->text(), QStringLiteral("0"));
            QCOMPARE(d.txtTestInfo[7]->text(), QString());
            return;
        }
        QVERIFY(prompts_->shown.empty());
        const QStringList expected{"mine", "", "me", "12.5", ".5", "3", "grey clay", press, "5", "01/02/2020", "brine"};
        for (int k = 1; k <= 11; ++k) {
            if (k == 2) continue;   // the date box keeps the time of load
            QCOMPARE(d.txtTestInfo[k]->text(), expected[k - 1]);
        }
    }

    void pickGrid()
    {
        storeTest(QStringLiteral("Clay"), QStringLiteral("2020-01-02 10:00:00"));
        storeTest(QStringLiteral("Sand"), QStringLiteral("2021-01-02 10:00:00"));
        frmTestRelate d;
        d.show();
        d.cmdPick->click();
        QVERIFY(d.MSFlexGrid1->isVisible());
        QCOMPARE(d.MSFlexGrid1->item(1, 0)->text(), QStringLiteral("Clay"));
        d.MSFlexGrid1_Click(1);
        QVERIFY(!d.MSFlexGrid1->isVisible());
        QCOMPARE(d.txtCopyFrom->text(), QStringLiteral("Clay"));
        QCOMPARE(d.txtTestInfo[7]->text(), QStringLiteral("grey clay"));
        QVERIFY(prompts_->shown.empty());
    }

    // The wafer length as the cell hands it over: shown to two decimals in the display unit, stored
    // back in inches from what is shown.
    void waferLength_data()
    {
        QTest::addColumn<int>("system");
        QTest::addColumn<double>("inches");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("storedSql");
        QTest::newRow("English") << 1 << 0.123456 << ".12" << "(in.)" << "0.12";
        QTest::newRow("SI") << 2 << 0.123456 << "3.14" << "(mm)" << "3.14 / 25.4";
        QTest::newRow("English whole") << 1 << 1.0 << "1." << "(in.)" << "1.0";
    }

    void waferLength()
    {
        QFETCH(int, system);
        QFETCH(double, inches);
        QFETCH(QString, shown);
        QFETCH(QString, unit);
        QFETCH(QString, storedSql);
        setUnits(system);
        QString boxText;
        bool enabled = true;
        auto dlg = runDialog(inches, [&](frmTestRelate& d) {
            boxText = d.txtTestInfo[5]->text();
            enabled = d.txtTestInfo[5]->isEnabled();
            fill(d, QStringLiteral("Len"));
            d.Command2->click();
        });
        QCOMPARE(boxText, shown);
        QVERIFY(!enabled);
        QCOMPARE(dlg->Label13->text(), unit);
        QCOMPARE(sqlValue(QStringLiteral("SELECT SAMPLE_LENGTH = ") + storedSql + QStringLiteral(" FROM TEST_INFO")),
                 QStringLiteral("1"));
    }
};

QTEST_MAIN(TestRelate)
#include "tst_testrelate.moc"
