#pragma once
// A simple-test screen (or a sequence-test screen) on a bench: fresh database, scripted prompts, manual
// clock, a fake port, the test-information dialog answered by the test, and unit 1's calibration
// length = 0.1 in./V × volts.
#include "LayoutCheck.h"
#include "TestSupport.h"
#include "platform/Chart.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "realtime/frmSeqTest.h"
#include "realtime/frmSimpleTest.h"
#include "realtime/frmTestDetail.h"
#include "realtime/frmTestRelate.h"
#include "records/Module1.h"
#include "records/clsConnection.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <limits>

namespace rig {

// A unit screen shown at `size`, judged as an operator would: every control inside the screen or its cell
// frame, none overlapping, no text clipped; hidden alarms count as shown, and a label keeps 4 px free inside
// its padding and border for the widest readings.
inline QStringList screenLayoutFaults(frmSimpleTest* s, QSize size)
{
    s->resize(size);
    s->show();
    QCoreApplication::processEvents();
    if (s->size() != size) return {QStringLiteral("the screen did not take the size asked")};
    const testsupport::LayoutRules rules{.hiddenToo = true, .labelReserve = 4};
    QStringList faults = testsupport::layoutFaults(s, s->rect(), rules);
    for (int c = 1; c <= 2; ++c) {
        QGroupBox* f = s->fraCell[std::size_t(c)];
        faults << testsupport::layoutFaults(f, testsupport::belowTitle(f), rules);
    }
    return faults;
}

constexpr char SUB = 26;

inline QByteArray record(int cell, double temp, double bath, double setting, double mV, double psi)
{
    return QByteArray(cell == 2 ? "B1" : "A1") + "," + QByteArray::number(temp, 'g', 15) + ","
        + QByteArray::number(bath, 'g', 15) + "," + QByteArray::number(setting, 'g', 15) + ","
        + QByteArray::number(mV, 'g', 15) + "," + QByteArray::number(psi, 'g', 15) + SUB;
}

inline QByteArray bytes(const char* s) { return QByteArray(s); }

struct Rig {
    testsupport::TempWorkDir dir;
    platform::ScriptedPrompts prompts;
    platform::ManualClock clock{100000};
    platform::FakeSerialPort* port = nullptr;
    QPointer<frmSimpleTest> screen;
    QString nextTestName;        // what the test-information dialog is given
    bool cancelDialog = false;
    int dialogs = 0;             // test-information dialogs shown
    QList<int> offered;          // units whose menu item the screen offered again
    // Answers any other modal dialog (the sequence picker); none: rejected.
    std::function<int(QDialog&)> otherDialog;

    explicit Rig(int unitSystem = 1, bool sequence = false)
    {
        Module1::Reset();
        Module1::UnitSystem = unitSystem;
        Module1::SetUnitCaptions();
        Module1::DbConnection = testsupport::openConnection();
        for (int c = 1; c <= 2; ++c) calibrate(c, 0.1, 0);
        platform::setSerialPortFactory([this] {
            auto p = std::make_unique<platform::FakeSerialPort>();
            port = p.get();
            return std::unique_ptr<platform::SerialPort>(std::move(p));
        });
        platform::setModalHandler([this](QDialog& d) {
            ++dialogs;
            auto* dlg = qobject_cast<frmTestRelate*>(&d);
            if (!dlg && otherDialog) return otherDialog(d);
            if (!dlg || cancelDialog) {
                if (dlg) dlg->Command1_Click();
                return int(QDialog::Rejected);
            }
            dlg->txtTestInfo[1]->setText(nextTestName);
            dlg->Command2_Click();
            return dlg->Cancels() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        });
        if (sequence) {
            screen = new frmSeqTest;
            Module1::SeqTestForms[1] = screen;
            screen->setWindowTitle(QStringLiteral("Veduvovir Test BY Sequence Unit #  1"));
        } else {
            screen = new frmSimpleTest;
            Module1::SimpleTestForms[1] = screen;
            screen->setWindowTitle(QStringLiteral("Veduvovir Simple Test Unit #  1"));
        }
        screen->lblUnitNo->setText(QStringLiteral(" 1"));
        screen->setUnits(1);
        screen->offerMenuItem = [this](int unit) { offered << unit; };
        screen->MSComm1->open(3, QStringLiteral("19200,n,8,1"));
    }

    ~Rig()
    {
        platform::setModalHandler({});
        platform::setSerialPortFactory({});
        delete screen.data();
        for (auto& unit : Module1::DetailForms)
            for (auto& w : unit) delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Module1::Reset();
    }

    // Length = slope × volts + intercept on both segments (breakpoint 2.5 V).
    static void calibrate(int cell, double slope, double intercept, int unit = 1)
    {
        auto& cal = Module1::Calibration[std::size_t(unit)][std::size_t(cell)];
        cal = {};
        cal.CalVolt2 = 2.5;
        cal.CalSlope1 = cal.CalSlope2 = slope;
        cal.CalIntercept1 = cal.CalIntercept2 = intercept;
    }

    template <class T = QWidget>
    T* find(const QString& name) const
    {
        T* w = screen->findChild<T*>(name);
        if (!w) qFatal("no control %s", qPrintable(name));
        return w;
    }
    static QString at(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

    void click(const char* name, int index) { find<QPushButton>(at(name, index))->click(); }
    void type(const char* name, int index, const QString& text) { find<QLineEdit>(at(name, index))->setText(text); }
    QString text(const char* name, int index) const
    {
        QWidget* w = find(at(name, index));
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
        return {};
    }

    // A record of the cell; the setting it reports is, unless given, the one the unit was last sent.
    void feed(int cell, double temp, double mV, double psi = 0, double bath = -1,
              double setting = std::numeric_limits<double>::quiet_NaN())
    {
        port->receive(record(cell, temp, bath < 0 ? temp : bath, std::isnan(setting) ? unitSetting(cell) : setting,
                             mV, psi));
    }
    // The setting of the unit's cell as a unit keeps it: the set point of the last SetTemperature or Preheat
    // written for the cell, 0 after StopCell and before any command.
    double unitSetting(int cell) const
    {
        const char letter = cell == 2 ? 'B' : 'A';
        double setting = 0;
        for (const QByteArray& w : port->writes) {
            if (w.size() < 3 || w.at(1) != letter) continue;
            if (w.at(0) == 0x05 || w.at(0) == 0x06) setting = w.mid(3, w.size() - 4).toDouble();
            else if (w.at(0) == 0x07) setting = 0;
        }
        return setting;
    }
    // One poll tick after ms of the clock, then what the event loop runs right after it (messages the
    // tick raised).
    void tick(std::uint32_t ms = 500)
    {
        clock.advance(ms);
        screen->Timer1_Timer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
    // Ticks with a fresh record of each given cell before every tick.
    void run(int ticks, double tempA = 150, double mVA = 2500, double tempB = 150, double mVB = 2500, double psi = 0)
    {
        for (int i = 0; i < ticks; ++i) {
            feed(1, tempA, mVA, psi);
            feed(2, tempB, mVB, psi);
            tick();
        }
    }

    realtime::UnitCell& cell(int c) { return screen->poll().cell(c); }

    // ZERO with the cell reading mV (calibrated length 0.1 × mV / 1000 in.).
    void zero(int c, const QString& answer, double mV = 2500)
    {
        feed(c, 70, mV);
        tick();
        prompts.queueInput(answer);
        click("cmdzero", c);
    }
    void enterInfo(int c, const QString& name)
    {
        nextTestName = name;
        click("cmdInfo", c);
    }
    // START; the poll is then driven by the test alone.
    void start(int c)
    {
        click("cmdStart", c);
        screen->Timer1->stop();
    }
    // A cell zeroed at 0.25 in., named and started at 150 °F (65 °C in SI), which needs no pressure.
    void runCell(int c, const QString& name)
    {
        zero(c, Module1::UnitSystem == 1 ? QStringLiteral("0.25") : QStringLiteral("6.35"));
        enterInfo(c, name);
        type("txtTemps", c, Module1::UnitSystem == 1 ? QStringLiteral("150") : QStringLiteral("65"));
        start(c);
    }
    frmTestDetail* detail(int c) const { return Module1::form<frmTestDetail>(Module1::DetailForms[1][std::size_t(c)]); }
    QStringList messages() const { return prompts.texts(); }
};

} // namespace rig
