#pragma once
// Unit 1 played by torvan-sim (every command and control line logged, a control channel) behind the real-time
// window's simple or sequence screen, through the real serial layer; the dialogs answered.
#include "EndToEndRig.h"
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "realtime/CellControl.h"
#include "realtime/frmMDIRealTime.h"
#include "realtime/frmNameSeq.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace simrig {

using namespace testsupport;
using realtime::CellControl;

// torvan-sim as unit 1, logging every command and control line; stopped when it goes.
class Simulator {
public:
    ~Simulator()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(3000);
    }

    bool start(const QString& dir, const QString& fifo)
    {
        fifo_ = fifo;
        process_.start(QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim"),
                       {"--dir", dir, "--ports", "1", "--seed", "5", "--verbose", "--control", fifo});
        if (!process_.waitForStarted(5000)) return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            if (process_.canReadLine()) return process_.readLine().startsWith("torvan-sim: port 1 -> ");
            if (process_.state() != QProcess::Running) return false;
            process_.waitForReadyRead(100);
        }
        return false;
    }

    bool control(const QByteArray& line) const
    {
        const int fd = ::open(QFile::encodeName(fifo_).constData(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) return false;
        const QByteArray text = line + '\n';
        const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        ::close(fd);
        return ok;
    }

    // Everything it logged so far.
    QString log()
    {
        log_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return log_;
    }
    // What it logged after the first line holding marker (empty while there is none).
    QString logAfter(const QString& marker)
    {
        const QString all = log();
        const qsizetype at = all.indexOf(marker);
        if (at < 0) return {};
        const qsizetype lineEnd = all.indexOf('\n', at);
        return lineEnd < 0 ? QString() : all.mid(lineEnd + 1);
    }

private:
    QProcess process_;
    QString fifo_;
    QString log_;
};

inline qsizetype resultCount(std::int32_t testId)
{
    return qsizetype(sqlValue("SELECT COUNT(*) FROM TEST_RESULT WHERE TEST_ID = " + QString::number(testId)).toLongLong());
}

inline QString stopOwedMessage(int unit, char cell)
{
    return QStringLiteral("Instrument No. %1, Cell %2\r").arg(unit).arg(QChar::fromLatin1(cell))
           + CellControl::StopOwedMessageEnd;
}

// The unit's screen and what a test needs around it: the window, the simulator, the dialogs answered.
struct Rig {
    TempWorkDir dir;
    Simulator sim;
    platform::ScriptedPrompts prompts;
    std::unique_ptr<frmMDIRealTime> window;
    frmSimpleTest* screen = nullptr;   // the simple screen, or the sequence screen built on it

    // Stores the sequence "Two": 3 s at 150 °F, then 10 min at 250 °F, a point a second in both.
    bool open(bool sequence)
    {
        e2e::prepare(dir);
        if (sequence
            && !sqlExec("INSERT INTO SEQUENCE_INFO (SEQUENCE_NAME, TIME_BEFORE_READ, SAMPLE_INTERVAL) VALUES ('Two', 20, 60);"
                        "INSERT INTO SEQUENCE_STEP (SEQUENCE_ID, STEP_NO, STEP_ELAPSE_TIME, STEP_TEMP, RECORD_RATE, STEP_PRESS) "
                        "SELECT SEQUENCE_ID, 1, 0.05, 150, 1, 0 FROM SEQUENCE_INFO UNION ALL "
                        "SELECT SEQUENCE_ID, 2, 10, 250, 1, 0 FROM SEQUENCE_INFO"))
            return false;
        if (!sim.start(dir.path(), dir.file("control"))) return false;
        platform::setModalHandler([n = 0](QDialog& d) mutable {
            if (auto* picker = qobject_cast<frmNameSeq*>(&d)) {
                picker->cmdOk->click();
                return picker->result();
            }
            auto* dlg = qobject_cast<frmTestRelate*>(&d);
            if (!dlg) return int(QDialog::Rejected);
            dlg->txtTestInfo[1]->setText(QStringLiteral("Away %1").arg(++n));
            dlg->Command2_Click();
            return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        });
        window = std::make_unique<frmMDIRealTime>();
        window->show();
        if (sequence) {
            window->MenuSeqAdd[1]->trigger();
            screen = Module1::form<frmSeqTest>(Module1::SeqTestForms[1]);
        } else {
            window->menuSimpleAdd_Click(1);
            screen = Module1::form<frmSimpleTest>(Module1::SimpleTestForms[1]);
        }
        return screen && screen->MSComm1->isOpen() && prompts.texts().isEmpty();
    }

    realtime::UnitCell& cell(int c) { return screen->poll().cell(c); }

    // ZERO and Enter Info on cell A, a point a second.
    void prepareCellA()
    {
        prompts.queueInput("0.5");
        screen->cmdzero_Click(1);
        screen->cmdInfo_Click(1);
        screen->txtInterval[1]->setText("1");
        screen->txtInterval_Change(1);
        prompts.clear();   // the ZERO input box
    }

    ~Rig()
    {
        if (screen) {
            for (int c = 1; c <= 2; ++c)
                if (cell(c).state == realtime::CellRunning || cell(c).state == realtime::CellPreheating) screen->StopTest(c);
        }
        window.reset();
        platform::setModalHandler({});
        Module1::Reset();
    }
};

} // namespace simrig
