// The test detail window: its grids and their texts, the header shown from a test row, the header save
// with bound values on a fresh shared connection, and Close.
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "realtime/frmTestDetail.h"
#include "records/Module1.h"
#include "records/TestHeaderUpdate.h"
#include "records/clsConnection.h"
#include "records/clsTEST_INFO.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <memory>

using platform::Answer;
using platform::ScriptedPrompts;
using testsupport::headerColumn;
using testsupport::sqlExec;
using testsupport::storeSampleHeader;
using testsupport::setUnits;
using testsupport::sqlValue;

Q_DECLARE_METATYPE(DetailPoint)

namespace {

QStringList rowTexts(const frmTestDetail& w, int row)
{
    QStringList texts;
    for (int c = 0; c < DetailPointModel::Columns; ++c) texts << w.PointText(row, c);
    return texts;
}

} // namespace

class TestDetail : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;

    // A window showing test 17 as the unit screen prepares it.
    std::unique_ptr<frmTestDetail> loadedWindow()
    {
        auto w = std::make_unique<frmTestDetail>();
        Module1::TestInfo->TEST_NAME = QStringLiteral("Clay");
        Module1::TestInfo->GetTestDetail();
        w->FillHeader(*Module1::TestInfo);
        w->setInfoChanged(false);
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
        Module1::TestInfo = std::make_shared<clsTEST_INFO>();
        Module1::TestInfo->ConnectX(*Module1::DbConnection);
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
        frmTestDetail w;
        QCOMPARE(w.windowTitle(), QStringLiteral("TEST INFO DETAIL"));
        const QStringList captions{"Sequence NAME", "TEST NAME",      "TEST DATE",     "RESEARCHER",
                                   "SAMPLE Wt",     "SAMPLE Len",     "HARDNESS",      "    SAMPLE DESCRIPTION",
                                   "COMPACT PRESS.", "COMPACT TIME.", "COMPACT DATE",  "      FLUID DESCRIPTION"};
        for (int k = 0; k <= 11; ++k) {
            auto* label = w.findChild<QLabel*>(QStringLiteral("Label1(%1)").arg(k));
            QVERIFY(label);
            QCOMPARE(label->text(), captions[k]);
            if (k > 0) QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("txtTestInfo(%1)").arg(k)));
        }
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label2(5)"))->text(), QStringLiteral("(in.)"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label2(8)"))->text(), QStringLiteral("(Psi)"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label2(9)"))->text(), QStringLiteral("(min)"));
        QCOMPARE(w.findChild<QGroupBox*>(QStringLiteral("Frame3"))->title(), QStringLiteral("Test Result"));
        QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdEdit"))->text(), QStringLiteral("Save"));
        QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdClose"))->text(), QStringLiteral("Close"));
        QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("txtSeqInfo")));
        QVERIFY(w.findChild<QTableView*>(QStringLiteral("MSFlexGrid1")));
        QVERIFY(w.findChild<QTableWidget*>(QStringLiteral("MSFlexGrid2")));
        QVERIFY(!w.InfoChanged());
    }

    // The window scales its controls with its size and keeps them at their place at a collapsed size.
    void resize()
    {
        frmTestDetail w;
        w.show();
        const QSize design = w.size();
        const QRect close = w.cmdClose->geometry();
        const QRect grid = w.MSFlexGrid1->geometry();
        w.resize(design * 2);
        QCOMPARE(w.size(), design * 2);
        QVERIFY(qAbs(w.cmdClose->x() - 2 * close.x()) <= 1);
        QVERIFY(qAbs(w.cmdClose->height() - 2 * close.height()) <= 1);
        QVERIFY(qAbs(w.MSFlexGrid1->width() - 2 * grid.width()) <= 1);
        const QRect big = w.cmdClose->geometry();
        w.resize(1, 1);
        QCOMPARE(w.size(), QSize(1, 1));
        QCOMPARE(w.cmdClose->geometry(), big);
        w.resize(design);
        QCOMPARE(w.cmdClose->geometry(), close);
        QCOMPARE(w.MSFlexGrid1->geometry(), grid);
    }

    void grids_data()
    {
        QTest::addColumn<int>("system");
        QTest::addColumn<QStringList>("points");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("English") << 1
                                 << QStringList{"Time (hh:mm:ss)", "Step No", "Temp. (°F)", "Press. (Psi)",
                                                "Length Change (in.)", " Swell (%) ", "Voltage ", "Bath Temp. (°F)"}
                                 << QStringList{"Time (hh:mm:ss)", "Step No", "Temp. (°F)"};
        QTest::newRow("SI") << 2
                            << QStringList{"Time (hh:mm:ss)", "Step No", "Temp. (°C)", "Press. (Psi)",
                                           "Length Change (mm)", " Swell (%) ", "Voltage ", "Bath Temp. (°C)"}
                            << QStringList{"Time (hh:mm:ss)", "Step No", "Temp. (°C)"};
    }

    void grids()
    {
        QFETCH(int, system);
        QFETCH(QStringList, points);
        QFETCH(QStringList, steps);
        setUnits(system);
        frmTestDetail w;
        QAbstractItemModel* m = w.MSFlexGrid1->model();
        QCOMPARE(m->columnCount(), 8);
        QCOMPARE(m->rowCount(), 0);
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), points[c]);
            const int align = m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
            QVERIFY(align & Qt::TextWordWrap);
            QVERIFY(align & Qt::AlignLeft);
        }
        // Widths in twips: 1000 (67 px), Step No 700 (47 px); the bath temperature column is hidden.
        const int widths[] = {67, 47, 67, 67, 67, 67, 67};
        for (int c = 0; c < 7; ++c) {
            QVERIFY(!w.MSFlexGrid1->isColumnHidden(c));
            QCOMPARE(w.MSFlexGrid1->columnWidth(c), widths[c]);
        }
        QVERIFY(w.MSFlexGrid1->isColumnHidden(7));
        // 500 twips, or taller when a wrapped heading needs more lines.
        QVERIFY(w.MSFlexGrid1->horizontalHeader()->height() >= 33);

        QCOMPARE(w.MSFlexGrid2->columnCount(), 3);
        QCOMPARE(w.MSFlexGrid2->rowCount(), 0);
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(w.MSFlexGrid2->horizontalHeaderItem(c)->text(), steps[c]);
            QCOMPARE(w.MSFlexGrid2->columnWidth(c), 67);
        }
    }

    // The texts of a logged point, column by column, as the unit screens log them.
    void pointTexts_data()
    {
        QTest::addColumn<int>("system");
        QTest::addColumn<DetailPoint>("point");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("English")
            << 1 << DetailPoint{3661, 1, 70, 200.5, 0.123456, 1.005, 2.34567, 70.25, false}
            << QStringList{"01:01:01", "1", "70.", "201", "0.12", "1.01", "2.3457", "70.3"};
        QTest::newRow("English, over a day, negative")
            << 1 << DetailPoint{90061, 1, 680, 0, -0.0051, -1.7, 0, 0.04, false}
            << QStringList{"25:01:01", "1", "680.", "0", "-0.01", "-1.7", "0.", "0."};
        QTest::newRow("SI")
            << 2 << DetailPoint{59, 1, 212, 150, 0.12345, 5, 1.5, -40, false}
            << QStringList{"00:00:59", "1", "100.", "150", "3.14", "5.", "1.5", "-40."};
        QTest::newRow("sequence step, whole bath temperature")
            << 1 << DetailPoint{0, 3, 95.55, 99.4, 0, 0, 4.99999, 70.6, true}
            << QStringList{"00:00:00", "3", "95.6", "99", "0.", "0.", "5.", "71"};
        // Texts beyond the compact numbers a row keeps are kept as they are.
        QTest::newRow("beyond the compact numbers")
            << 1 << DetailPoint{2000000000, 40000, 5000, 40000, 400.5, -400.5, 300000, 4000, false}
            << QStringList{"555555:33:20", "40000", "5000.", "40000", "400.5", "-400.5", "300000.", "4000."};
    }

    void pointTexts()
    {
        QFETCH(int, system);
        QFETCH(DetailPoint, point);
        QFETCH(QStringList, texts);
        setUnits(system);
        frmTestDetail w;
        w.appendPoint(DetailPoint{});
        const int row = w.appendPoint(point);
        QCOMPARE(row, 1);
        QCOMPARE(w.PointCount(), 2);
        QCOMPARE(rowTexts(w, row), texts);
        // What the view shows is the same text.
        QAbstractItemModel* m = w.MSFlexGrid1->model();
        for (int c = 0; c < 8; ++c) QCOMPARE(m->index(row, c).data().toString(), texts[c]);
        // The new row is the current one.
        QCOMPARE(w.MSFlexGrid1->currentIndex().row(), row);
        // A logged row keeps the units it was logged in.
        setUnits(system == 1 ? 2 : 1);
        QCOMPARE(rowTexts(w, row), texts);
    }

    // The grid holds a long test's points compactly: a few numbers per row, no text per cell.
    void pointMemory()
    {
        static_assert(sizeof(DetailPointModel::Row) <= 20);
        DetailPointModel model;
        constexpr int rows = 600000;
        for (int i = 0; i < rows; ++i)
            model.appendPoint(DetailPoint{i, 1, 70.0 + i % 7, 200, 0.001 * (i % 100), 1.5, 2.5, 70, false});
        QCOMPARE(model.rowCount(), rows);
        QVERIFY2(model.rowBytes() / rows <= 20, qPrintable(QString::number(model.rowBytes() / rows)));
        QCOMPARE(model.text(rows - 1, 0), QStringLiteral("166:39:59"));
        QCOMPARE(model.text(rows - 1, 4), QStringLiteral("0.1"));
    }

    void fillHeader_data()
    {
        QTest::addColumn<int>("system");
        QTest::addColumn<QString>("lengthSql");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("pressSql");
        QTest::addColumn<QString>("press");
        QTest::newRow("English .12") << 1 << "0.12" << "0.12" << "300" << "300";
        QTest::newRow("SI 3.14") << 2 << "3.14 / 25.4" << "3.14" << "0" << "0";
        QTest::newRow("English whole") << 1 << "1" << "1." << "250.6" << "251";
    }

    void fillHeader()
    {
        QFETCH(int, system);
        QFETCH(QString, lengthSql);
        QFETCH(QString, length);
        QFETCH(QString, pressSql);
        QFETCH(QString, press);
        setUnits(system);
        QVERIFY(sqlExec(QStringLiteral("UPDATE TEST_INFO SET SAMPLE_LENGTH = %1, SAMPLE_COMPACT_PRESS = %2 "
                                       "WHERE TEST_ID = 17")
                            .arg(lengthSql, pressSql)));
        frmTestDetail w;
        Module1::TestInfo->TEST_NAME = QStringLiteral("Clay");
        Module1::TestInfo->GetTestDetail();
        w.FillHeader(*Module1::TestInfo);
        QCOMPARE(w.TestId(), 17);
        const QStringList expected{"Clay", "1/2/2020 10:03:04 AM", "old", "12.5", length, "3",
                                   "grey clay", press, "5", "01/02/2020", "brine"};
        for (int k = 1; k <= 11; ++k) QCOMPARE(w.txtTestInfo[k]->text(), expected[k - 1]);
        QVERIFY(!w.InfoChanged());
        w.txtTestInfo[6]->setText(QStringLiteral("4"));
        QVERIFY(w.InfoChanged());
    }

    void sequenceControls()
    {
        setUnits(2);
        frmTestDetail w;
        w.show();
        w.ShowSequenceControls(false);
        QVERIFY(w.MSFlexGrid2->isHidden());
        QVERIFY(w.Label1[0]->isHidden());
        QVERIFY(w.txtSeqInfo->isHidden());
        QVERIFY(w.MSFlexGrid1->isVisible());
        w.ShowSequenceControls(true);
        QVERIFY(w.MSFlexGrid2->isVisible());
        w.AddStep(0, 1, 680);
        w.AddStep(5400, 2, 212);
        QCOMPARE(w.MSFlexGrid2->rowCount(), 2);
        const QStringList expected{"00:00:00", "1", "360.", "01:30:00", "2", "100."};
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) QCOMPARE(w.MSFlexGrid2->item(r, c)->text(), expected[r * 3 + c]);
        w.ClearSteps();
        QCOMPARE(w.MSFlexGrid2->rowCount(), 0);
    }

    void save_data()
    {
        QTest::addColumn<QStringList>("boxes");   // boxes 3, 4, 6, 7, 8, 9, 10, 11 as typed
        QTest::addColumn<QList<double>>("numbers");   // weight, hardness, pressure, time as stored
        QTest::newRow("example") << QStringList{"lab 3", "12.50", "", "clay", "300", "5", "01/02/2020", "brine"}
                                 << QList<double>{12.5, 0, 300, 5};
        QTest::newRow("quotes and text in numbers")
            << QStringList{"O'Brien", "abc", "1e3", "it's \"wet\"'; DROP TABLE TEST_INFO; --", "12.5 psi", "-2",
                           "1/2/20'", "b'r'i'n'e"}
            << QList<double>{0, 1000, 12.5, -2};
        QTest::newRow("description of 255") << QStringList{"r", "1", "2", QString(255, QLatin1Char('d')), "3", "4",
                                                           "", QString(255, QLatin1Char('f'))}
                                            << QList<double>{1, 2, 3, 4};
    }

    void save()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QList<double>, numbers);
        auto w = loadedWindow();
        const std::shared_ptr<clsConnection> before = Module1::DbConnection;
        const int boxIndex[] = {3, 4, 6, 7, 8, 9, 10, 11};
        for (int i = 0; i < 8; ++i) w->txtTestInfo[boxIndex[i]]->setText(boxes[i]);
        // Name, date and length are not written.
        w->txtTestInfo[1]->setText(QStringLiteral("Renamed"));
        w->txtTestInfo[2]->setText(QStringLiteral("01/01/1999"));
        w->txtTestInfo[5]->setText(QStringLiteral("9"));
        QVERIFY(w->InfoChanged());
        w->cmdEdit->click();

        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("Save is completed")});
        QVERIFY(!w->InfoChanged());
        QVERIFY(!w->isVisible());
        QCOMPARE(headerColumn(QStringLiteral("RESEARCHER_NAME"), 17), boxes[0]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_WEIGHT"), 17).toDouble(), numbers[0]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_HARDNESS"), 17).toDouble(), numbers[1]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_description"), 17), boxes[3]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_COMPACT_PRESS"), 17).toDouble(), numbers[2]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_COMPACT_TIME"), 17).toDouble(), numbers[3]);
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_COMPACT_DATE"), 17), boxes[6]);
        QCOMPARE(headerColumn(QStringLiteral("FLUID_INFO"), 17), boxes[7]);
        QCOMPARE(headerColumn(QStringLiteral("TEST_NAME"), 17), QStringLiteral("Clay"));
        QCOMPARE(headerColumn(QStringLiteral("TEST_DATE"), 17), QStringLiteral("2020-01-02 10:03:04"));
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_LENGTH"), 17).toDouble(), 0.12);
        QCOMPARE(headerColumn(QStringLiteral("RESEARCHER_NAME"), 18), QStringLiteral("old"));

        // The shared connection is a new, open one; objects bound to the old one still work, and
        // objects bound anew use the new one.
        QVERIFY(Module1::DbConnection != before);
        QVERIFY(Module1::DbConnection->IsOpen());
        Module1::TestInfo->TEST_NAME = QStringLiteral("Other");
        Module1::TestInfo->GetTestDetail();
        QCOMPARE(Module1::TestInfo->Test_Id, 18);
        clsTEST_INFO fresh;
        fresh.ConnectX(*Module1::DbConnection);
        fresh.TEST_NAME = QStringLiteral("Clay");
        fresh.GetTestDetail();
        QCOMPARE(fresh.RESEARCHER_NAME, boxes[0]);
    }

    void saveRefused_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("box2");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("description of 256") << 7 << QString(256, QLatin1Char('d')) << 3 << "x"
                                            << "The max text length of 'Sample Description' is 255" << false;
        QTest::newRow("fluid of 256") << 11 << QString(256, QLatin1Char('f')) << 3 << "x"
                                      << "The max text length of 'Fluid Description' is 255" << false;
        QTest::newRow("both too long") << 7 << QString(256, QLatin1Char('d')) << 11 << QString(300, QLatin1Char('f'))
                                       << "The max text length of 'Sample Description' is 255" << false;
        QTest::newRow("researcher of 51") << 3 << QString(51, QLatin1Char('r')) << 7 << "x"
                                          << "ERROR: The field is too small to accept the amount of data you "
                                             "attempted to add.  Try inserting or pasting less data. "
                                             "(pRESEARCHER_NAME)"
                                          << true;
    }

    void saveRefused()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(int, box2);
        QFETCH(QString, text2);
        QFETCH(QString, message);
        QFETCH(bool, replaced);
        auto w = loadedWindow();
        const std::shared_ptr<clsConnection> before = Module1::DbConnection;
        w->txtTestInfo[box]->setText(text);
        w->txtTestInfo[box2]->setText(text2);
        w->cmdEdit->click();
        QCOMPARE(prompts_->texts(), QStringList{message});
        QVERIFY(w->isVisible());
        QVERIFY(w->InfoChanged());
        QCOMPARE(Module1::DbConnection != before, replaced);
        QCOMPARE(headerColumn(QStringLiteral("RESEARCHER_NAME"), 17), QStringLiteral("old"));
        QCOMPARE(headerColumn(QStringLiteral("SAMPLE_description"), 17), QStringLiteral("grey clay"));
        QCOMPARE(headerColumn(QStringLiteral("FLUID_INFO"), 17), QStringLiteral("brine"));
    }

    // The header the window shows is gone (its test deleted, or deleted and its name taken by a new test):
    // the save changes no row, so it is a failure, never "Save is completed"; the window stays open with
    // its edits, and the new test of that name is untouched.
    void saveOfAGoneHeader_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("test deleted") << false;
        QTest::newRow("test deleted, a new test of that name") << true;
    }

    void saveOfAGoneHeader()
    {
        QFETCH(bool, replaced);
        auto w = loadedWindow();
        QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_ID = 17")));
        if (replaced) QVERIFY(storeSampleHeader(19, QStringLiteral("Clay")));
        w->txtTestInfo[3]->setText(QStringLiteral("late"));
        w->cmdEdit->click();
        QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("ERROR: ") + TestHeaderUpdate::NotSavedMessage});
        QVERIFY(w->isVisible());
        QVERIFY(w->InfoChanged());
        QCOMPARE(w->txtTestInfo[3]->text(), QStringLiteral("late"));
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO WHERE RESEARCHER_NAME = 'late'")).toInt(), 0);
        if (replaced) QCOMPARE(headerColumn(QStringLiteral("RESEARCHER_NAME"), 19), QStringLiteral("old"));
    }

    void close_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no edit") << false << int(Answer::Yes) << QStringList{} << "old";
        QTest::newRow("edit, No") << true << int(Answer::No)
                                  << QStringList{"Do you want to save the change?"} << "old";
        QTest::newRow("edit, Yes") << true << int(Answer::Yes)
                                   << QStringList{"Do you want to save the change?", "Save is completed"} << "new";
    }

    void close()
    {
        QFETCH(bool, edit);
        QFETCH(int, answer);
        QFETCH(QStringList, texts);
        QFETCH(QString, stored);
        auto w = loadedWindow();
        if (edit) w->txtTestInfo[3]->setText(QStringLiteral("new"));
        prompts_->queueAnswer(Answer(answer));
        w->cmdClose->click();
        QCOMPARE(prompts_->texts(), texts);
        if (!texts.isEmpty()) QVERIFY(prompts_->shown[0].buttons == platform::Buttons::YesNo);
        QVERIFY(!w->isVisible());
        QCOMPARE(headerColumn(QStringLiteral("RESEARCHER_NAME"), 17), stored);
        // Hidden, not destroyed: the entries stay as they were.
        QCOMPARE(w->txtTestInfo[3]->text(), edit ? QStringLiteral("new") : QStringLiteral("old"));
        QCOMPARE(w->InfoChanged(), edit && Answer(answer) == Answer::No);
    }

    // Close only hides the window the unit screen keeps; one it has replaced and marked delete-on-close
    // goes.
    void closeKeepsOrReleases_data()
    {
        QTest::addColumn<bool>("deleteOnClose");
        QTest::newRow("kept window") << false;
        QTest::newRow("replaced window") << true;
    }

    void closeKeepsOrReleases()
    {
        QFETCH(bool, deleteOnClose);
        QPointer<frmTestDetail> w = new frmTestDetail;
        w->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        w->appendPoint(DetailPoint{30});
        w->show();
        w->cmdClose->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(w.isNull(), deleteOnClose);
        if (w) {
            QVERIFY(!w->isVisible());
            QCOMPARE(w->PointText(0, 0), QStringLiteral("00:00:30"));
            delete w;
        }
    }
};

QTEST_MAIN(TestDetail)
#include "tst_testdetail.moc"
