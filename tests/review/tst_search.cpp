// The test search dialog: its controls, the statement built from the condition rows (column names and
// operators of the lists only, values bound, numbers read strictly, dates month first), the rows found,
// refused search strings, injection attempts, clear, cancel, double-click and the proportional layout.
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "records/Module1.h"
#include "review/SearchStatement.h"
#include "review/frmSearch.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

using platform::ScriptedPrompts;
using testsupport::sqlExec;
using testsupport::sqlValue;

namespace {

bool storeTest(int id, const QString& name, const QString& date, const QString& weight)
{
    return sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, "
                                  "SAMPLE_WEIGHT, SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, "
                                  "SAMPLE_COMPACT_PRESS, SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO) "
                                  "VALUES (%1, '%2', '%3', 'Kim', %4, 0.5, 3, 'grey', 300, 5, '1/2/2020', 'brine')")
                       .arg(id)
                       .arg(QString(name).replace(QLatin1Char('\''), QStringLiteral("''")), date, weight));
}

// One condition row as the operator sets it: column by its text, operator by its list position.
struct Row {
    QString column;
    int op = 0;
    QString value;
};

void setRow(frmSearch& dlg, int i, const Row& r)
{
    dlg.Combo1[i]->setCurrentText(r.column);
    dlg.cmbmath1[i]->setCurrentIndex(r.op);
    dlg.Text1[i]->setText(r.value);
}

QStringList foundNames(const frmSearch& dlg)
{
    QStringList names;
    for (int row = 0; row < dlg.MSFlexGrid1->rowCount(); ++row) names << dlg.MSFlexGrid1->item(row, 0)->text();
    return names;
}

enum Op { Gt, Ge, Lt, Le, Eq, Ne, Like };

const QString kOrder = QStringLiteral(" order by test_info.TEST_id desc");

} // namespace

Q_DECLARE_METATYPE(Row)
using Rows = QList<Row>;

class Search : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;

    std::unique_ptr<frmSearch> loadedDialog()
    {
        auto dlg = std::make_unique<frmSearch>();
        dlg->Form_Load();
        return dlg;
    }

    int testCount() { return sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO")).toInt(); }

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<ScriptedPrompts>();
        Module1::Reset();
        QVERIFY(storeTest(1, QStringLiteral("abc clay"), QStringLiteral("2019-12-31 23:59:59"), QStringLiteral("12.5")));
        QVERIFY(storeTest(2, QStringLiteral("ABCD"), QStringLiteral("2020-01-01 00:00:00"), QStringLiteral("8")));
        QVERIFY(storeTest(3, QStringLiteral("shale"), QStringLiteral("2020-01-02 10:03:04"), QStringLiteral("9.75")));
        QVERIFY(storeTest(4, QStringLiteral("x' OR '1'='1"), QStringLiteral("2020-01-02 18:00:00"), QStringLiteral("10")));
        QVERIFY(storeTest(5, QStringLiteral("sand"), QStringLiteral("2020-01-03 00:00:00"), QStringLiteral("NULL")));
    }

    void cleanup()
    {
        Module1::Reset();
        prompts_.reset();
        dir_.reset();
    }

    void controls()
    {
        auto dlg = loadedDialog();
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Test Search"));
        const QList<QPair<QString, QString>> labels{
            {"Label1", "TEST INFORMATION :"}, {"Label2", "TEST ADDITION INFO :"}, {"Label3", "RESULT LIST :"}};
        for (const auto& [name, caption] : labels) QCOMPARE(dlg->findChild<QLabel*>(name)->text(), caption);
        const QList<QPair<QString, QString>> buttons{
            {"cmdSearch", "SEARCH"}, {"cmdClear", "CLEAR"}, {"Command1", "Cancel && Return"}};
        for (const auto& [name, caption] : buttons) QCOMPARE(dlg->findChild<QPushButton*>(name)->text(), caption);

        const QStringList columns{"TEST_ID",         "TEST_NAME",           "TEST_DATE",           "RESEARCHER_NAME",
                                  "SAMPLE_WEIGHT",   "SAMPLE_LENGTH",       "SAMPLE_HARDNESS",     "SAMPLE_description",
                                  "SAMPLE_COMPACT_PRESS", "SAMPLE_COMPACT_TIME", "SAMPLE_COMPACT_DATE", "FLUID_INFO"};
        const QStringList ops{" > ", " >= ", " < ", " <= ", " = ", " <> ", " Like "};
        for (int i = 1; i <= 3; ++i) {
            auto* column = dlg->findChild<QComboBox*>(QStringLiteral("Combo1(%1)").arg(i));
            auto* op = dlg->findChild<QComboBox*>(QStringLiteral("cmbmath1(%1)").arg(i));
            auto* op2 = dlg->findChild<QComboBox*>(QStringLiteral("cmbmath2(%1)").arg(i));
            QVERIFY(column && op && op2);
            QVERIFY(dlg->findChild<QLineEdit*>(QStringLiteral("Text1(%1)").arg(i)));
            QStringList names, opTexts, op2Texts;
            for (int k = 0; k < column->count(); ++k) names << column->itemText(k);
            for (int k = 0; k < op->count(); ++k) opTexts << op->itemText(k);
            for (int k = 0; k < op2->count(); ++k) op2Texts << op2->itemText(k);
            QCOMPARE(names, columns);
            QCOMPARE(opTexts, ops);
            QCOMPARE(op2Texts, ops);
            // Cleared at load.
            QCOMPARE(column->currentText(), QStringLiteral("TEST_ID"));
            QCOMPARE(op->currentText(), QStringLiteral(" > "));
            // The second group is shown but cannot be used.
            QVERIFY(!dlg->findChild<QComboBox*>(QStringLiteral("Combo2(%1)").arg(i))->isEnabled());
            QVERIFY(!dlg->findChild<QLineEdit*>(QStringLiteral("Text2(%1)").arg(i))->isEnabled());
        }
        auto* grid = dlg->findChild<QTableWidget*>(QStringLiteral("MSFlexGrid1"));
        QCOMPARE(grid->columnCount(), 11);
        QCOMPARE(grid->columnWidth(10), 133);   // 2000 twips
        QCOMPARE(grid->rowCount(), 0);
        QVERIFY(dlg->Cancelled());
        QVERIFY(prompts_->shown.empty());
    }

    void statements_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QStringList>("found");
        const QString base = QStringLiteral("select * from test_info");

        QTest::newRow("Like on a name") << Rows{{"TEST_NAME", Like, "abc"}}
                                        << base + " where  search_fold(TEST_NAME) Like search_fold(?)" + kOrder << QVariantList{"%abc%"}
                                        << QStringList{"ABCD", "abc clay"};
        QTest::newRow("date and weight, rows 1 and 3")
            << Rows{{"TEST_DATE", Ge, "1/1/2020"}, {}, {"SAMPLE_WEIGHT", Lt, "10"}}
            << base + " where  TEST_DATE >= ? and SAMPLE_WEIGHT < ?" + kOrder
            << QVariantList{"2020-01-01 00:00:00", 10.0} << QStringList{"shale", "ABCD"};
        QTest::newRow("no condition lists every test") << Rows{} << base + kOrder << QVariantList{}
                                                       << QStringList{"sand", "x' OR '1'='1", "shale", "ABCD", "abc clay"};
        QTest::newRow("blank value gives no condition") << Rows{{"TEST_NAME", Eq, "   "}} << base + kOrder << QVariantList{}
                                                        << QStringList{"sand", "x' OR '1'='1", "shale", "ABCD", "abc clay"};
        QTest::newRow("row 1 empty: row 2 still counts")
            << Rows{{}, {"SAMPLE_WEIGHT", Gt, "9"}} << base + " where  SAMPLE_WEIGHT > ?" + kOrder
            << QVariantList{9.0} << QStringList{"x' OR '1'='1", "shale", "abc clay"};
        QTest::newRow("three conditions") << Rows{{"SAMPLE_WEIGHT", Ge, "8"}, {"TEST_ID", Ne, "3"}, {"TEST_NAME", Like, "a"}}
                                          << base + " where  SAMPLE_WEIGHT >= ? and TEST_ID <> ? and search_fold(TEST_NAME) Like search_fold(?)" + kOrder
                                          << QVariantList{8.0, 3.0, "%a%"} << QStringList{"ABCD", "abc clay"};
        QTest::newRow("number read strictly, blanks around") << Rows{{"SAMPLE_WEIGHT", Le, " 9.75 "}}
                                                             << base + " where  SAMPLE_WEIGHT <= ?" + kOrder
                                                             << QVariantList{9.75} << QStringList{"shale", "ABCD"};
        QTest::newRow("text compared as text") << Rows{{"RESEARCHER_NAME", Eq, "Kim"}, {"TEST_ID", Lt, "3"}}
                                               << base + " where  search_fold(RESEARCHER_NAME) = search_fold(?) and TEST_ID < ?" + kOrder
                                               << QVariantList{"Kim", 3.0} << QStringList{"ABCD", "abc clay"};
        QTest::newRow("date without time: = takes the whole day")
            << Rows{{"TEST_DATE", Eq, "1/2/2020"}} << base + " where  (TEST_DATE >= ? and TEST_DATE < ?)" + kOrder
            << QVariantList{"2020-01-02 00:00:00", "2020-01-03 00:00:00"} << QStringList{"x' OR '1'='1", "shale"};
        QTest::newRow("date without time: <> leaves the whole day out")
            << Rows{{"TEST_DATE", Ne, "01/02/2020"}} << base + " where  (TEST_DATE < ? or TEST_DATE >= ?)" + kOrder
            << QVariantList{"2020-01-02 00:00:00", "2020-01-03 00:00:00"} << QStringList{"sand", "ABCD", "abc clay"};
        QTest::newRow("date with time: = is exact") << Rows{{"TEST_DATE", Eq, "1/2/2020 10:03:04 AM"}}
                                                    << base + " where  TEST_DATE = ?" + kOrder
                                                    << QVariantList{"2020-01-02 10:03:04"} << QStringList{"shale"};
        QTest::newRow("date before, 24-hour time") << Rows{{"TEST_DATE", Lt, "1/1/2020 0:00"}}
                                                   << base + " where  TEST_DATE < ?" + kOrder
                                                   << QVariantList{"2020-01-01 00:00:00"} << QStringList{"abc clay"};
        QTest::newRow("typed column name in another case") << Rows{{" sample_weight ", Gt, "12"}}
                                                           << base + " where  SAMPLE_WEIGHT > ?" + kOrder
                                                           << QVariantList{12.0} << QStringList{"abc clay"};
        QTest::newRow("no match") << Rows{{"TEST_NAME", Eq, "granite"}} << base + " where  search_fold(TEST_NAME) = search_fold(?)" + kOrder
                                  << QVariantList{"granite"} << QStringList{};
    }

    void statements()
    {
        QFETCH(Rows, rows);
        QFETCH(QString, sql);
        QFETCH(QVariantList, values);
        QFETCH(QStringList, found);
        auto dlg = loadedDialog();
        for (int i = 0; i < rows.size(); ++i) setRow(*dlg, i + 1, rows[i]);
        QTest::mouseClick(dlg->cmdSearch, Qt::LeftButton);
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(dlg->LastStatement(), sql);
        QCOMPARE(dlg->LastValues(), values);
        QCOMPARE(foundNames(*dlg), found);
    }

    // Text comparisons ignore case in any alphabet; " Like " on a number or date column matches the text
    // the result list shows for it, not the stored text.
    void caseAndShownText_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("= on a text column, other case") << Rows{{"FLUID_INFO", Eq, "BRINE"}, {"TEST_ID", Gt, "4"}}
                                                        << QStringList{"Österby", "sand"};
        QTest::newRow("= with accented capitals") << Rows{{"TEST_NAME", Eq, "ÖSTERBY"}} << QStringList{"Österby"};
        QTest::newRow("Like with accented capitals") << Rows{{"RESEARCHER_NAME", Like, "MÜLL"}}
                                                     << QStringList{"Österby"};
        QTest::newRow("<> on a text column ignores case") << Rows{{"RESEARCHER_NAME", Ne, "KIM"}}
                                                          << QStringList{"Österby"};
        QTest::newRow("Like on a date as listed") << Rows{{"TEST_DATE", Like, "1/2/2020"}}
                                                  << QStringList{"x' OR '1'='1", "shale"};
        QTest::newRow("Like on a date's time as listed") << Rows{{"TEST_DATE", Like, "10:03:04 am"}}
                                                         << QStringList{"shale"};
        QTest::newRow("Like 0 does not find 12 stored as 12.0") << Rows{{"SAMPLE_WEIGHT", Like, "0"}}
                                                                << QStringList{"x' OR '1'='1"};
        QTest::newRow("Like on a number as listed") << Rows{{"SAMPLE_WEIGHT", Like, "2.5"}}
                                                    << QStringList{"abc clay"};
        QTest::newRow("Like on an id") << Rows{{"TEST_ID", Like, "6"}} << QStringList{"Österby"};
    }

    void caseAndShownText()
    {
        QFETCH(Rows, rows);
        QFETCH(QStringList, found);
        QVERIFY(sqlExec(QStringLiteral("UPDATE TEST_INFO SET SAMPLE_WEIGHT = '12.0' WHERE TEST_ID = 2")));
        QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, "
                                       "FLUID_INFO) VALUES (6, 'Österby', '2020-02-01 08:00:00', 'Jörg Müller', "
                                       "'Brine')")));
        auto dlg = loadedDialog();
        for (int i = 0; i < rows.size(); ++i) setRow(*dlg, i + 1, rows[i]);
        dlg->cmdSearch_Click();
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(foundNames(*dlg), found);
    }

    void resultGrid()
    {
        auto dlg = loadedDialog();
        setRow(*dlg, 1, {"TEST_ID", Ge, "3"});
        dlg->cmdSearch_Click();
        const QStringList heads{"TEST_NAME",          "TEST_DATE",          "RESEARCHER_NAME",     "SAMPLE_WEIGHT",
                                "SAMPLE_LENGTH",      "SAMPLE_HARDNESS",    "SAMPLE_description", "SAMPLE_COMPACT_PRESS",
                                "SAMPLE_COMPACT_TIME"};
        for (int c = 0; c < heads.size(); ++c) {
            QCOMPARE(dlg->MSFlexGrid1->horizontalHeaderItem(c)->text(), heads[c]);
            QVERIFY(dlg->MSFlexGrid1->horizontalHeaderItem(c)->font().bold());
        }
        QVERIFY(dlg->MSFlexGrid1->horizontalHeaderItem(9)->text().isEmpty());
        QCOMPARE(dlg->MSFlexGrid1->rowCount(), 3);
        const QStringList sand{"sand", "1/3/2020", "Kim", "", "0.5", "3", "grey", "300", "5"};
        const QStringList shale{"shale", "1/2/2020 10:03:04 AM", "Kim", "9.75", "0.5", "3", "grey", "300", "5"};
        for (int c = 0; c < 9; ++c) {
            QCOMPARE(dlg->MSFlexGrid1->item(0, c)->text(), sand[c]);
            QCOMPARE(dlg->MSFlexGrid1->item(2, c)->text(), shale[c]);
        }
        QVERIFY(!dlg->MSFlexGrid1->item(0, 9));

        // A search without a match keeps the heading of the previous one and no rows; Clear keeps the rows
        // and makes the dialog cancelled again.
        setRow(*dlg, 1, {"TEST_NAME", Eq, "granite"});
        dlg->cmdSearch_Click();
        QCOMPARE(dlg->MSFlexGrid1->rowCount(), 0);
        QCOMPARE(dlg->MSFlexGrid1->horizontalHeaderItem(0)->text(), QStringLiteral("TEST_NAME"));
        setRow(*dlg, 1, {"TEST_NAME", Eq, "sand"});
        dlg->cmdSearch_Click();
        dlg->setCancelled(false);
        dlg->cmdClear_Click();
        QVERIFY(dlg->Cancelled());
        QCOMPARE(foundNames(*dlg), QStringList{"sand"});
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(dlg->Combo1[i]->currentText(), QStringLiteral("TEST_ID"));
            QCOMPARE(dlg->cmbmath1[i]->currentText(), QStringLiteral(" > "));
            QVERIFY(dlg->Text1[i]->text().isEmpty());
        }
    }

    void refused_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("message");
        QTest::newRow("number with a unit") << Rows{{"SAMPLE_WEIGHT", Gt, "12 g"}}
                                            << "The value '12 g' of SAMPLE_WEIGHT is not a number.";
        QTest::newRow("decimal comma") << Rows{{"SAMPLE_LENGTH", Eq, "0,5"}}
                                       << "The value '0,5' of SAMPLE_LENGTH is not a number.";
        QTest::newRow("id with a statement") << Rows{{"TEST_ID", Eq, "1; DROP TABLE TEST_INFO"}}
                                             << "The value '1; DROP TABLE TEST_INFO' of TEST_ID is not a number.";
        QTest::newRow("day first date") << Rows{{"TEST_DATE", Ge, "13/1/2020"}}
                                        << "The value '13/1/2020' of TEST_DATE is not a date (month/day/year).";
        QTest::newRow("year alone") << Rows{{"TEST_DATE", Ge, "2020"}}
                                    << "The value '2020' of TEST_DATE is not a date (month/day/year).";
        QTest::newRow("date in row 3") << Rows{{"TEST_NAME", Like, "a"}, {}, {"TEST_DATE", Lt, "1/2/2020 25:00"}}
                                       << "The value '1/2/2020 25:00' of TEST_DATE is not a date (month/day/year).";
        QTest::newRow("unknown column") << Rows{{"TEST_COLOUR", Eq, "red"}} << "'TEST_COLOUR' is not a column of TEST_INFO.";
        QTest::newRow("column with a statement") << Rows{{"TEST_ID > 0 OR 1", Eq, "1"}}
                                                 << "'TEST_ID > 0 OR 1' is not a column of TEST_INFO.";
    }

    void refused()
    {
        QFETCH(Rows, rows);
        QFETCH(QString, message);
        auto dlg = loadedDialog();
        for (int i = 0; i < rows.size(); ++i) setRow(*dlg, i + 1, rows[i]);
        dlg->cmdSearch_Click();
        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("Wrong search string.  ") + message});
        QCOMPARE(prompts_->shown.front().icon, platform::Icon::None);
        QCOMPARE(dlg->MSFlexGrid1->rowCount(), 0);
        QCOMPARE(testCount(), 5);
    }

    void operatorOutsideTheList()
    {
        const std::array<review::SearchCondition, 3> rows{
            {{"TEST_ID", " ; DELETE FROM TEST_INFO; ", "1"}, {}, {}}};
        try {
            review::buildSearch(rows);
            QFAIL("an operator outside the list was accepted");
        } catch (const review::SearchError& e) {
            QCOMPARE(e.description, QStringLiteral("' ; DELETE FROM TEST_INFO; ' is not a search operator."));
        }
    }

    void injection_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("quote trick finds the test of that very name")
            << Rows{{"TEST_NAME", Eq, "x' OR '1'='1"}} << QStringList{"x' OR '1'='1"};
        QTest::newRow("quote trick in Like") << Rows{{"TEST_NAME", Like, "' OR 1=1 --"}} << QStringList{};
        QTest::newRow("statement after a quote") << Rows{{"FLUID_INFO", Eq, "brine'; DROP TABLE TEST_INFO; --"}}
                                                 << QStringList{};
        QTest::newRow("date column with a quote") << Rows{{"SAMPLE_COMPACT_DATE", Eq, "1/2/2020' OR ''='"}}
                                                  << QStringList{};
    }

    void injection()
    {
        QFETCH(Rows, rows);
        QFETCH(QStringList, found);
        auto dlg = loadedDialog();
        for (int i = 0; i < rows.size(); ++i) setRow(*dlg, i + 1, rows[i]);
        dlg->cmdSearch_Click();
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));
        QCOMPARE(foundNames(*dlg), found);
        QCOMPARE(testCount(), 5);
        QVERIFY(!dlg->LastStatement().contains(QLatin1Char('\'')));
    }

    void endings_data()
    {
        QTest::addColumn<int>("how");   // 0 double-click, 1 Cancel & Return, 2 close box
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("name");
        QTest::newRow("double-click") << 0 << false << "shale";
        QTest::newRow("Cancel & Return") << 1 << true << "sand";
        QTest::newRow("close box") << 2 << true << "sand";
    }

    void endings()
    {
        QFETCH(int, how);
        QFETCH(bool, cancelled);
        QFETCH(QString, name);
        auto dlg = loadedDialog();
        dlg->show();
        setRow(*dlg, 1, {"SAMPLE_WEIGHT", Lt, "12"});
        dlg->cmdSearch_Click();
        QCOMPARE(foundNames(*dlg), (QStringList{"x' OR '1'='1", "shale", "ABCD"}));
        dlg->MSFlexGrid1->setCurrentCell(0, 0);
        switch (how) {
        case 0: {
            const QRect cell = dlg->MSFlexGrid1->visualItemRect(dlg->MSFlexGrid1->item(1, 0));
            // The press of the first click makes the row current; the second is the double-click.
            QTest::mouseClick(dlg->MSFlexGrid1->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(dlg->MSFlexGrid1->viewport(), Qt::LeftButton, {}, cell.center());
            break;
        }
        case 1: QTest::mouseClick(dlg->Command1, Qt::LeftButton); break;
        default: dlg->close(); break;
        }
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->Cancelled(), cancelled);
        if (!cancelled) QCOMPARE(dlg->CurrentTestName(), name);
    }

    void loadFailure()
    {
        QFile::remove(dir_->file(QStringLiteral("Torvan.accdb")));
        auto dlg = loadedDialog();
        const QStringList texts = prompts_->texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith(QStringLiteral("clsConnection.OpenConnection: Error #: ")));
        QVERIFY2(texts[1].startsWith(QStringLiteral("ERROR: ")), qPrintable(texts[1]));
        QCOMPARE(dlg->Combo1[1]->count(), 0);
        QVERIFY(dlg->Cancelled());
        // A search without a connection is reported, not run.
        setRow(*dlg, 1, {"TEST_NAME", Eq, "sand"});
        dlg->cmdSearch_Click();
        QVERIFY(prompts_->texts().last().startsWith(QStringLiteral("Wrong search string.  ")));
    }

    void proportionalLayout()
    {
        auto dlg = loadedDialog();
        dlg->show();
        const QRect grid = dlg->MSFlexGrid1->geometry();
        const QRect combo = dlg->Combo1[2]->geometry();
        dlg->resize(frmSearch::DesignWidth * 2, frmSearch::DesignHeight * 2);
        QCOMPARE(dlg->MSFlexGrid1->geometry(), QRect(grid.x() * 2, grid.y() * 2, grid.width() * 2, grid.height() * 2));
        QCOMPARE(dlg->Combo1[2]->pos(), combo.topLeft() * 2);
        QCOMPARE(dlg->Combo1[2]->height(), combo.height());
        dlg->resize(frmSearch::DesignWidth, frmSearch::DesignHeight);
        QCOMPARE(dlg->MSFlexGrid1->geometry(), grid);
    }
};

QTEST_MAIN(Search)
#include "tst_search.moc"
