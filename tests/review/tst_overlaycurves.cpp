// The overlay redraw with several tests ticked reuses the points it read for every test
// while nothing can have changed them: each redraw still shows points added, changed or deleted since the
// last one (through the window's connection, another connection or another process), a changed sample
// length or unit system, and leaves the shared result record as the open loaded it.
#include "MainWindowRig.h"

#include "platform/Chart.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "records/Module1.h"
#include "records/SettingsFile.h"
#include "records/SqliteHandle.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"
#include "review/ResultGrid.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include <sqlite3.h>

using testsupport::sqlExec;

namespace {

// Test id with n points, one a minute, swelling 0.001 in. a minute times id, on a 1 in. sample.
bool storeTest(int id, const QString& name, int n)
{
    return sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, SAMPLE_LENGTH) "
                                  "VALUES (%1, '%2', '2022-01-0%1 10:00:00', 1)")
                       .arg(id)
                       .arg(name))
        && sqlExec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %2) "
                                  "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                  "SELECT %1, 1, i * 60, i * 0.001 * %1 FROM k")
                       .arg(id)
                       .arg(n - 1));
}

// The swell (%) a fresh load of the test gives, point by point, as the chart draws it.
std::vector<double> storedSwell(int id, double length = 1)
{
    clsTEST_RESULT fresh;
    fresh.Test_Id = id;
    fresh.ConnectX(*Module1::DbConnection);
    std::vector<double> y;
    for (const clsTEST_RESULT::Row& r : fresh.rows()) y.push_back(double(float(r.heightChange / length * 100)));
    return y;
}

} // namespace

class OverlayCurves : public QObject, private MainWindowRig {
    Q_OBJECT

private:
    // The window with "One" opened and "Two", "One" and "Three" listed after it, all ticked.
    frmMain& startWithOverlay()
    {
        startMainWindow(SettingsFile::text({1}, 2));
        platform::setModalHandler([](QDialog& d) {
            auto* dlg = qobject_cast<frmOpenTest*>(&d);
            if (!dlg) return 0;
            dlg->txtSeqName->setText(QStringLiteral("One"));
            dlg->cmdOk_Click();
            return 1;
        });
        w_->cmdOpen_Click();
        platform::setModalHandler({});
        const QStringList names{"One", "Two", "One", "Three"};
        w_->OverlapCount = int(names.size());
        for (int i = 1; i <= 4; ++i) {
            w_->setOverlayEntry(i, names[i - 1]);
        }
        return *w_;
    }

    // Every drawn subset is what a fresh load of its test gives.
    QString compareWithStored(const std::vector<int>& ids, const std::vector<double>& lengths = {1, 1, 1, 1})
    {
        for (std::size_t s = 0; s < ids.size(); ++s) {
            const std::vector<double> want = storedSwell(ids[s], lengths[s]);
            const std::vector<double>& got = w_->Pesgo1->drawnY(int(s));
            if (got != want)
                return QStringLiteral("subset %1: %2 points drawn, %3 stored").arg(s).arg(got.size()).arg(want.size());
        }
        return {};
    }

    bool execOnWindow(const QString& sql)
    {
        sqlite3* db = sqliteHandle(Module1::DbConnection->ADOConnection()->db());
        return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private slots:
    void init()
    {
        freshFolder();
        QVERIFY(storeTest(1, "One", 5));
        QVERIFY(storeTest(2, "Two", 7));
        QVERIFY(storeTest(3, "Three", 4));
    }

    void cleanup()
    {
        platform::setModalHandler({});
        releaseAll();
    }

    // Each change is shown by the next redraw, wherever the changed test stands in the list.
    void changesShownByTheNextRedraw_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("sql");
        QTest::newRow("nothing") << "" << "";
        QTest::newRow("point added, window") << "window"
                                             << "INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                                "VALUES (1, 30, 0.5), (2, 9000, 0.25)";
        QTest::newRow("point changed, other connection")
            << "other" << "UPDATE TEST_RESULT SET RESULT_HEIGHT_CHANGE = 0.75 WHERE RESULT_TIME = 120";
        QTest::newRow("points deleted, other process") << "process"
                                                       << "DELETE FROM TEST_RESULT WHERE TEST_ID IN (1, 2) AND "
                                                          "RESULT_TIME > 100";
    }
    void changesShownByTheNextRedraw()
    {
        QFETCH(QString, how);
        QFETCH(QString, sql);
        frmMain& w = startWithOverlay();
        w.Command1_Click();
        QVERIFY(prompts_->shown.empty());
        QCOMPARE(w.Pesgo1->subsetCount(), 4);
        const std::vector<int> ids{1, 2, 1, 3};
        QString diff = compareWithStored(ids);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QVERIFY(w.overlayCurveBytes() > 0);

        if (how == "window") QVERIFY(execOnWindow(sql));
        if (how == "other") QVERIFY(sqlExec(sql));
        if (how == "process") QCOMPARE(testsupport::sqliteCommandLine(sql), QString());
        w.Command1_Click();
        diff = compareWithStored(ids);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        // The overlay reads only the two columns it draws: the shared result record holds the opened test
        // as the open loaded it.
        QCOMPARE(Module1::TestResult->Test_Id, 1);
        QCOMPARE(Module1::TestResult->TotalPoints(), 5);
        QCOMPARE(int(Module1::TestResult->rows().size()), 5);
        QVERIFY(prompts_->shown.empty());
    }

    // What is not a stored point is taken anew: each test's sample length and the unit system.
    void lengthAndUnitsTakenAnew()
    {
        frmMain& w = startWithOverlay();
        w.Command1_Click();
        QVERIFY(execOnWindow(QStringLiteral("UPDATE TEST_INFO SET SAMPLE_LENGTH = 2 WHERE TEST_ID = 2")));
        w.Command1_Click();
        const QString diff = compareWithStored({1, 2, 1, 3}, {1, 2, 1, 1});
        QVERIFY2(diff.isEmpty(), qPrintable(diff));

        w.cmbChartType->setCurrentIndex(1);   // length change in millimetres
        const std::vector<double> mm = w.Pesgo1->drawnY(1);
        QCOMPARE(mm.size(), std::size_t(7));
        QCOMPARE(mm[1], double(float(Module1::DisplayLengthNumber(0.002))));
        Module1::UnitSystem = 1;
        w.Command1_Click();
        QCOMPARE(w.Pesgo1->drawnY(1)[1], double(float(0.002)));
        QVERIFY(prompts_->shown.empty());
    }

    // The result grid holds the rows the open loaded, shared with the record without a copy; a later load
    // of the record (a chart after a write) replaces the record's rows and leaves the grid's as they were.
    void gridKeepsTheOpenedRows()
    {
        frmMain& w = startWithOverlay();
        QCOMPARE(w.resultModel()->rowStorage(), &Module1::TestResult->rows());
        const QString firstTime = w.resultModel()->text(4, 1);
        QVERIFY(execOnWindow(QStringLiteral("INSERT INTO TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_HEIGHT_CHANGE) "
                                            "VALUES (1, 30, 0.5)")));
        w.cmbChartType->setCurrentIndex(2);
        QCOMPARE(Module1::TestResult->TotalPoints(), 6);
        QCOMPARE(w.Pesgo1->drawnY(0).size(), std::size_t(6));
        QVERIFY(w.resultModel()->rowStorage() != &Module1::TestResult->rows());
        QCOMPARE(w.resultModel()->rowCount(), 5);
        QCOMPARE(w.resultModel()->text(4, 1), firstTime);
        QVERIFY(prompts_->shown.empty());
    }

    // Unticked tests and the multi-axis charts let go of the kept points.
    void keptPointsLetGo()
    {
        frmMain& w = startWithOverlay();
        w.Command1_Click();
        const std::size_t all = w.overlayCurveBytes();
        w.Check1[2]->setChecked(false);   // "Two", 7 points
        w.Command1_Click();
        QCOMPARE(w.overlayCurveBytes(), all - 7 * 2 * sizeof(double));
        w.cmbChartType->setCurrentIndex(2);
        QCOMPARE(w.overlayCurveBytes(), std::size_t(0));
    }
};

QTEST_MAIN(OverlayCurves)
#include "tst_overlaycurves.moc"
