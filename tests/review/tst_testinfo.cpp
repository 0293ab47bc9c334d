// The test-information window: captions, the boxes shown from a test row, the unit captions at each
// activation, and the save: one UPDATE with bound values on the window's own connection, the length checks,
// failures reported, Close.
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/TestHeaderUpdate.h"
#include "records/clsTEST_INFO.h"
#include "review/frmTestInfo.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using platform::ScriptedPrompts;
using testsupport::headerColumn;
using testsupport::sqlExec;
using testsupport::storeSampleHeader;
using testsupport::setUnits;
using testsupport::sqlValue;

namespace {

// Every stored column of a test, to see that a refused save changes nothing.
QString wholeRow(int id)
{
    return sqlValue(QStringLiteral("SELECT TEST_NAME || '|' || TEST_DATE || '|' || RESEARCHER_NAME || '|' || "
                                   "SAMPLE_WEIGHT || '|' || SAMPLE_LENGTH || '|' || SAMPLE_HARDNESS || '|' || "
                                   "SAMPLE_description || '|' || SAMPLE_COMPACT_PRESS || '|' || SAMPLE_COMPACT_TIME "
                                   "|| '|' || SAMPLE_COMPACT_DATE || '|' || FLUID_INFO FROM TEST_INFO WHERE TEST_ID = %1")
                        .arg(id));
}

} // namespace

class TestInfo : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;

    // The window showing test 17 as the main window fills it.
    std::unique_ptr<frmTestInfo> shownWindow()
    {
        auto w = std::make_unique<frmTestInfo>();
        clsTEST_INFO info;
        info.ConnectX(*Module1::DbConnection);
        info.TEST_NAME = QStringLiteral("Clay");
        info.GetTestDetail();
        w->setTestId(info.Test_Id);
        w->ShowRecord(info.All());
        w->show();
        return w;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<ScriptedPrompts>();
        Module1::Reset();
        setUnits(1);
        Module1::DbConnection = testsupport::openConnection();
        QVERIFY(storeSampleHeader(17, QStringLiteral("Clay")));
        QVERIFY(storeSampleHeader(18, QStringLiteral("Other")));
    }

    void cleanup()
    {
        Module1::Reset();
        prompts_.reset();
        dir_.reset();
    }

    void controls()
    {
        frmTestInfo w;
        QCOMPARE(w.windowTitle(), QStringLiteral("TEST INFORMATION"));
        const QStringList captions{"",           "Test Name",          "Test Date",         "Researcher",
                                   "Sample Weight", "Sample Length",   "Hardness",          "Sample Description",
                                   "Compact. Pressure", "Compact. Time", "Compact. Date",    "Fluid Description"};
        for (int k = 1; k <= 11; ++k) {
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label1(%1)").arg(k))->text(), captions[k]);
            QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("txtTestInfo(%1)").arg(k)));
        }
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label2(4)"))->text(), QStringLiteral("(g)"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label2(9)"))->text(), QStringLiteral("(min)"));
        auto* save = w.findChild<QPushButton*>(QStringLiteral("cmdSave"));
        auto* close = w.findChild<QPushButton*>(QStringLiteral("cmdCancel"));
        QCOMPARE(save->text(), QStringLiteral("Save"));
        QCOMPARE(close->text(), QStringLiteral("Close"));
        QCOMPARE(close->toolTip(), QStringLiteral("Click here to close the Test Information window"));
    }

    void boxesAndUnits_data()
    {
        QTest::addColumn<int>("system");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("lengthCaption");
        QTest::newRow("English") << 1 << "0.12" << "(in.)";
        QTest::newRow("SI") << 2 << "3.05" << "(mm)";
    }

    void boxesAndUnits()
    {
        QFETCH(int, system);
        QFETCH(QString, length);
        QFETCH(QString, lengthCaption);
        setUnits(system);
        auto w = shownWindow();
        const QStringList texts{"",      "Clay", "1/2/2020 10:03:04 AM", "old", "12.5", length, "3", "grey clay",
                                "300.",  "5",    "01/02/2020",           "brine"};
        for (int k = 1; k <= 11; ++k) QCOMPARE(w->txtTestInfo[k]->text(), texts[k]);
        QCOMPARE(w->TestId(), 17);
        QCOMPARE(w->Label2[5]->text(), lengthCaption);
        QCOMPARE(w->Label2[8]->text(), QStringLiteral("(Psi)"));

        // A change of unit system shows at the next activation.
        setUnits(system == 1 ? 2 : 1);
        QCOMPARE(w->Label2[5]->text(), lengthCaption);
        w->Form_Activate();
        QCOMPARE(w->Label2[5]->text(), Module1::LengthUnitCaption);
    }

    void save_data()
    {
        QTest::addColumn<QString>("researcher");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("fluid");
        QTest::addColumn<QString>("storedWeight");
        QTest::newRow("quotes stored intact") << "O'Brien" << "14.25" << "it's \"grey\"" << "salt', 'x" << "14.25";
        QTest::newRow("lenient number stops at a comma") << "Kim" << "3,5" << "clay" << "water" << "3.0";
        QTest::newRow("number with a unit") << "Kim" << "12.5 g" << "clay" << "water" << "12.5";
        QTest::newRow("no number reads 0") << "Kim" << "abc" << "clay" << "water" << "0.0";
        QTest::newRow("fluid of exactly 255 characters") << "Kim" << "1" << "clay" << QString(255, 'f') << "1.0";
    }

    void save()
    {
        QFETCH(QString, researcher);
        QFETCH(QString, weight);
        QFETCH(QString, description);
        QFETCH(QString, fluid);
        QFETCH(QString, storedWeight);
        auto w = shownWindow();
        const QString other = wholeRow(18);
        const auto shared = Module1::DbConnection;
        w->txtTestInfo[1]->setText(QStringLiteral("Renamed"));   // not written
        w->txtTestInfo[3]->setText(researcher);
        w->txtTestInfo[4]->setText(weight);
        w->txtTestInfo[5]->setText(QStringLiteral("9"));          // not written
        w->txtTestInfo[6]->setText(QStringLiteral("4.5"));
        w->txtTestInfo[7]->setText(description);
        w->txtTestInfo[8]->setText(QStringLiteral("250."));
        w->txtTestInfo[9]->setText(QStringLiteral("7"));
        w->txtTestInfo[10]->setText(QStringLiteral("3/4/2021"));
        w->txtTestInfo[11]->setText(fluid);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);

        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("Save is completed")});
        QVERIFY(w->isVisible());
        QCOMPARE(headerColumn("RESEARCHER_NAME", 17), researcher);
        QCOMPARE(headerColumn("SAMPLE_WEIGHT", 17), storedWeight);
        QCOMPARE(headerColumn("SAMPLE_HARDNESS", 17), QStringLiteral("4.5"));
        QCOMPARE(headerColumn("SAMPLE_description", 17), description);
        QCOMPARE(headerColumn("SAMPLE_COMPACT_PRESS", 17), QStringLiteral("250.0"));
        QCOMPARE(headerColumn("SAMPLE_COMPACT_TIME", 17), QStringLiteral("7.0"));
        QCOMPARE(headerColumn("SAMPLE_COMPACT_DATE", 17), QStringLiteral("3/4/2021"));
        QCOMPARE(headerColumn("FLUID_INFO", 17), fluid);
        QCOMPARE(headerColumn("TEST_NAME", 17), QStringLiteral("Clay"));
        QCOMPARE(headerColumn("TEST_DATE", 17), QStringLiteral("2020-01-02 10:03:04"));
        QCOMPARE(headerColumn("SAMPLE_LENGTH", 17), QStringLiteral("0.12"));
        QCOMPARE(wholeRow(18), other);
        // Saved over the window's own connection; the shared one is the same as before.
        QVERIFY(w->OwnConnection() && w->OwnConnection()->IsOpen());
        QVERIFY(w->OwnConnection() != shared.get());
        QCOMPARE(Module1::DbConnection, shared);
    }

    void saveTwiceReplacesOwnConnection()
    {
        auto w = shownWindow();
        w->cmdSave_Click();
        const clsConnection* first = w->OwnConnection();
        w->txtTestInfo[3]->setText(QStringLiteral("second"));
        w->cmdSave_Click();
        QVERIFY(w->OwnConnection() != first);
        QCOMPARE(headerColumn("RESEARCHER_NAME", 17), QStringLiteral("second"));
        QCOMPARE(prompts_->texts(), (QStringList{"Save is completed", "Save is completed"}));
    }

    // The test deleted while shown: the update changes no row, so the save must not say it is completed.
    void saveOfDeletedTestIsNotCompleted()
    {
        auto w = shownWindow();
        QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_ID = 17")));
        w->txtTestInfo[3]->setText(QStringLiteral("late"));
        w->cmdSave_Click();
        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("ERROR: ") + TestHeaderUpdate::NotSavedMessage});
        QVERIFY(w->isVisible());
        QCOMPARE(w->txtTestInfo[3]->text(), QStringLiteral("late"));
    }

    void refused_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("fluid of 256") << 11 << QString(256, 'f') << "The max text length of 'Fluid Description' is 255";
        QTest::newRow("description of 256") << 7 << QString(256, 'd')
                                            << "The max text length of 'Sample Description' is 255";
        QTest::newRow("researcher beyond 50") << 3 << QString(51, 'r') << "ERROR: ";
        QTest::newRow("compaction date beyond 50") << 10 << QString(51, 'c') << "ERROR: ";
    }

    void refused()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        auto w = shownWindow();
        const QString before = wholeRow(17);
        w->txtTestInfo[box]->setText(text);
        w->cmdSave_Click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QVERIFY2(prompts_->shown.front().text.startsWith(message), qPrintable(prompts_->shown.front().text));
        QCOMPARE(wholeRow(17), before);
        QVERIFY(w->isVisible());
        QCOMPARE(w->txtTestInfo[box]->text(), text);   // the edit stays
    }

    void saveWithoutDatabase()
    {
        auto w = shownWindow();
        Module1::Reset();   // nothing else holds the file open
        QVERIFY(QFile::remove(dir_->file(QStringLiteral("Torvan.accdb"))));
        w->cmdSave_Click();
        const QStringList texts = prompts_->texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith(QStringLiteral("clsConnection.OpenConnection: Error #: ")));
        QVERIFY2(texts[1].startsWith(QStringLiteral("ERROR: ")), qPrintable(texts[1]));
    }

    // Close hides the window and keeps what is typed; the close box unloads it, so an unsaved edit is gone
    // (boxes empty, no test) and nothing is written either way.
    void closing_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Close keeps the edits") << false;
        QTest::newRow("close box unloads") << true;
    }

    void closing()
    {
        QFETCH(bool, closeBox);
        auto w = shownWindow();
        const auto id = w->TestId();
        w->txtTestInfo[3]->setText(QStringLiteral("unsaved"));
        if (closeBox) w->close();
        else QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        if (closeBox) {
            for (int k = 1; k <= 11; ++k) QVERIFY2(w->txtTestInfo[k]->text().isEmpty(), qPrintable(QString::number(k)));
            QCOMPARE(w->TestId(), 0);
        } else {
            QCOMPARE(w->txtTestInfo[3]->text(), QStringLiteral("unsaved"));
            QCOMPARE(w->TestId(), id);
        }
        QCOMPARE(headerColumn("RESEARCHER_NAME", 17), QStringLiteral("old"));
        QVERIFY(prompts_->shown.empty());
    }
};

QTEST_MAIN(TestInfo)
#include "tst_testinfo.moc"
