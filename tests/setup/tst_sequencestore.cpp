// Stored sequences as the setup window changes them, on a real database file: names and the duplicate
// rule, reading steps in step order, and the save, copy and delete of a sequence with its steps, each whole
// or not at all (a step refused half-way by a trigger of the test leaves everything as it was).
#include "TestSupport.h"

#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsSEQUENCE_INFO.h"
#include "records/clsSEQUENCE_STEP.h"
#include "setup/SequenceStore.h"

#include <QtTest>

using testsupport::sqlExec;
using testsupport::sqlValue;
using testsupport::storedSteps;

namespace {

QString everything()
{
    return sqlValue("SELECT group_concat(r, ' | ') FROM (SELECT SEQUENCE_ID || ',' || SEQUENCE_NAME || ',' || "
                    "TIME_BEFORE_READ || ',' || SAMPLE_INTERVAL AS r FROM SEQUENCE_INFO ORDER BY SEQUENCE_ID)") +
           " / " +
           sqlValue("SELECT group_concat(r, ' ') FROM (SELECT SEQUENCE_ID || ':' || STEP_NO || ':' || STEP_TEMP AS r "
                    "FROM SEQUENCE_STEP ORDER BY SEQUENCE_STEP_ID)");
}

std::vector<setup::StoredStep> steps(int n, double temp = 212)
{
    std::vector<setup::StoredStep> out;
    for (int k = 1; k <= n; ++k) out.push_back({double(k), 10.0 * k, temp, 60});
    return out;
}

} // namespace

class SequenceStoreTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::shared_ptr<clsConnection> connection_;
    std::unique_ptr<clsSEQUENCE_INFO> infoObject_;
    std::unique_ptr<clsSEQUENCE_STEP> stepObject_;
    clsSEQUENCE_INFO& info() { return *infoObject_; }
    clsSEQUENCE_STEP& step() { return *stepObject_; }

private slots:
    void init()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO VALUES (1, 'Ramp', 30, 90), (2, 'alpha', 20, 60), (3, 'Beta', 20, 60);"
                        "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, "
                        "STEP_PRESS) VALUES (1, 3, 30, 300, 60, 5), (1, 1, 10, 100, 60, 5), (1, 2, 20, 200, 60, 5), "
                        "(2, 1, 5, 150, 10, 0)"));
        connection_ = testsupport::openConnection();
        QVERIFY(connection_->IsOpen());
        infoObject_ = std::make_unique<clsSEQUENCE_INFO>();
        stepObject_ = std::make_unique<clsSEQUENCE_STEP>();
    }

    void cleanup()
    {
        infoObject_.reset();
        stepObject_.reset();
        connection_.reset();
        dir_.reset();
    }

    void namesAndDuplicates()
    {
        QCOMPARE(setup::SequenceNames(info(), *connection_), (QStringList{"alpha", "Beta", "Ramp"}));
        QCOMPARE(setup::CheckDuplicate(info(), *connection_, "ABC"), 0);
        QCOMPARE(setup::CheckDuplicate(info(), *connection_, "ALPHA"), 1);
        QCOMPARE(setup::CheckDuplicate(info(), *connection_, "beta"), 1);
        QCOMPARE(setup::CheckDuplicate(info(), *connection_, "Beta "), 0);
        QVERIFY(sqlExec("DELETE FROM SEQUENCE_INFO"));
        QCOMPARE(setup::CheckDuplicate(info(), *connection_, "alpha"), 0);
        QCOMPARE(setup::SequenceNames(info(), *connection_), QStringList());
    }

    // Steps stored 3, 1, 2 are read 1, 2, 3; a sequence without steps reads none.
    void readSteps()
    {
        const auto read = setup::ReadSteps(step(), *connection_, 1);
        QCOMPARE(int(read.size()), 3);
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(read[std::size_t(k)].stepNo, double(k + 1));
            QCOMPARE(read[std::size_t(k)].temp, 100.0 * (k + 1));
        }
        QVERIFY(setup::ReadSteps(step(), *connection_, 3).empty());
        info().ConnectX(*connection_);
        QCOMPARE(setup::ReadSequence(info(), "RAMP").value(0).toDouble(), 1.0);
        QCOMPARE(setup::ReadSequence(info(), "nothing").value(0).toDouble(), 0.0);
    }

    // A save replaces every step of the sequence and rewrites its header.
    void save()
    {
        info().ConnectX(*connection_);
        setup::SaveSequence(*connection_, info(), step(), {1, "Ramp", 20, 60}, steps(2, 351));
        QCOMPARE(storedSteps(1), QStringLiteral("1.0:10.0:351.0:60.0 2.0:20.0:351.0:60.0"));
        QCOMPARE(sqlValue("SELECT TIME_BEFORE_READ || ',' || SAMPLE_INTERVAL FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 1"),
                 QStringLiteral("20.0,60"));
        QCOMPARE(storedSteps(2), QStringLiteral("1.0:5.0:150.0:10.0"));
        setup::SaveSequence(*connection_, info(), step(), {1, "Ramp", 20, 60}, {});
        QCOMPARE(storedSteps(1), QString());
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 1"), QStringLiteral("1"));
        QVERIFY(!connection_->InTransaction());
    }

    void failureHalfWay_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("save") << "save";
        QTest::newRow("copy") << "copy";
        QTest::newRow("delete") << "delete";
    }

    // A statement refused in the middle leaves every row as it was, and the connection usable.
    void failureHalfWay()
    {
        QFETCH(QString, operation);
        info().ConnectX(*connection_);
        const QString before = everything();
        if (operation == "delete")
            QVERIFY(sqlExec("CREATE TRIGGER refuse BEFORE DELETE ON SEQUENCE_STEP BEGIN SELECT RAISE(ABORT, 'disk "
                            "refused'); END"));
        else
            QVERIFY(sqlExec("CREATE TRIGGER refuse BEFORE INSERT ON SEQUENCE_STEP WHEN NEW.STEP_NO = 3 BEGIN SELECT "
                            "RAISE(ABORT, 'disk refused'); END"));
        bool thrown = false;
        try {
            if (operation == "save") setup::SaveSequence(*connection_, info(), step(), {1, "Ramp", 20, 60}, steps(4));
            else if (operation == "copy") setup::CopySequence(*connection_, info(), step(), "Ramp 2", steps(4));
            else setup::DeleteSequence(*connection_, info(), step(), "Ramp");
        } catch (const DbError& e) {
            thrown = true;
            QVERIFY2(e.description.contains("disk refused"), qPrintable(e.description));
        }
        QVERIFY(thrown);
        QVERIFY(!connection_->InTransaction());
        QCOMPARE(everything(), before);
        QVERIFY(sqlExec("DROP TRIGGER refuse"));
        // The same connection goes on working.
        setup::SaveSequence(*connection_, info(), step(), {1, "Ramp", 20, 60}, steps(4));
        QCOMPARE(storedSteps(1).count(' '), 3);
    }

    // A copy is a new sequence with the record defaults and all its steps, read back as the runner reads it.
    void copy()
    {
        info().ConnectX(*connection_);
        const QVariantList fields = setup::CopySequence(*connection_, info(), step(), "Ramp copy", steps(3, 300));
        QCOMPARE(fields.value(1).toString(), QStringLiteral("Ramp copy"));
        const int id = fields.value(0).toInt();
        QCOMPARE(id, 4);
        QCOMPARE(sqlValue("SELECT TIME_BEFORE_READ || ',' || SAMPLE_INTERVAL FROM SEQUENCE_INFO WHERE SEQUENCE_ID = 4"),
                 QStringLiteral("20.0,60"));
        clsSEQUENCE_STEP runner;
        runner.SequenceId = id;
        runner.ConnectX(*connection_);
        int k = 0;
        runner.MoveFirst();
        while (!runner.EOF_()) {
            ++k;
            QCOMPARE(runner.STEPNO, double(k));
            QCOMPARE(runner.STEP_ELAPSE_TIME, 10.0 * k);
            QCOMPARE(runner.STEP_TEMP, 300.0);
            QCOMPARE(runner.RECORD_RATE, 60.0);
            runner.MoveNext();
        }
        QCOMPARE(k, 3);
    }

    // Deleting a sequence takes its steps with it, for every sequence of that name; others stay.
    void deleteWithSteps()
    {
        QVERIFY(sqlExec("INSERT INTO SEQUENCE_INFO VALUES (7, 'RAMP', 20, 60); INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, "
                        "STEP_NO) VALUES (7, 1), (7, 2)"));
        info().ConnectX(*connection_);
        QCOMPARE(setup::DeleteSequence(*connection_, info(), step(), "ramp"), 2);
        QCOMPARE(sqlValue("SELECT COUNT(*) FROM SEQUENCE_STEP WHERE SEQUENCE_ID IN (1, 7)"), QStringLiteral("0"));
        QCOMPARE(sqlValue("SELECT group_concat(SEQUENCE_NAME) FROM SEQUENCE_INFO"), QStringLiteral("alpha,Beta"));
        QCOMPARE(storedSteps(2), QStringLiteral("1.0:5.0:150.0:10.0"));
        QCOMPARE(setup::DeleteSequence(*connection_, info(), step(), "nothing"), 0);
    }
};

QTEST_GUILESS_MAIN(SequenceStoreTest)
#include "tst_sequencestore.moc"
