#include "realtime/CellControl.h"

#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "realtime/UnitCommands.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsTEST_INFO.h"
#include "records/clsTEST_RESULT.h"
#include "records/format.h"

#include <QDateTime>
#include <cmath>
#include <limits>
#include <exception>

namespace realtime {

namespace {

QString describe(const std::exception& e)
{
    if (const auto* db = dynamic_cast<const DbError*>(&e)) return db->description;
    return QString::fromLocal8Bit(e.what());
}

// Runs a click; an error ends it with its description in a message box.
template <class F>
void guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        platform::tell(describe(e));
    }
}

} // namespace

CellControl::CellControl(UnitPoll& poll, UnitSerialLink& link, CellControlView& view, int cell,
                         const CellRules& rules)
    : poll_(poll), link_(link), view_(view), cell_(cell == 2 ? 2 : 1), rules_(rules)
{
}

// Shown after the tick when raised inside one (a stop the poll started), so the box never holds the poll.
void CellControl::message(const QString& text, const QString& title) const { platform::tell(text, title); }

void CellControl::Reset()
{
    UnitCell& c = values();
    c.state = CellIdle;
    c.loggingInterval = rules_.loadInterval;
    c.waferLength = 0;
    c.zeroVolts = 0;
    view_.setDetailEnabled(cell_, false);
    view_.setStatus(cell_, StatusNoTest);
    const QString zero = Format::number(Module1::ToDisplayTemp(0), QStringLiteral("#0.0"));
    c.setPointText = zero;
    view_.setSetPointText(cell_, zero);
}

double CellControl::setPointValue() const { return Format::leading(values().setPointText); }

double CellControl::requiredPressure(double setPointF)
{
    const double t = Format::roundHalfEven(setPointF);
    if (t < 211) return 0;
    return 100 * std::pow(t / 212, 2);
}

// ---- ZERO -------------------------------------------------------------------------------------------

void CellControl::cmdzero_Click()
{
    const QString prompt = ZeroPromptStart + Module1::LengthUnitCaption;
    const QString answer = platform::Prompts::current().input(prompt, prompt, QString());
    if (answer.isEmpty()) return;

    // A number as a whole: its strict reading must exist and agree with its leading-number reading.
    const std::optional<double> whole = Format::strict(answer);
    if (!whole || *whole != Format::leading(answer)) {
        message(NotNumericMessage);
        return;
    }

    const double volts = values().volts;
    if (volts < ThinVolts) {
        message(TooThinMessage);
        return;
    }
    if (volts >= ThickVolts) {
        message(TooThickMessage);
        return;
    }

    const double answerInches = Module1::ToStoredLength(*whole);
    // The calibrated length at this moment is kept even when the tolerance check refuses.
    values().zeroLength = poll_.lengthFromVolts(cell_, volts);
    if (std::fabs(values().zeroLength - answerInches) >= ZeroToleranceInches) {
        message(MismatchMessage, MismatchTitle);
        return;
    }
    values().waferLength = answerInches;
    values().zeroVolts = static_cast<float>(volts);
}

// ---- Enter Info -------------------------------------------------------------------------------------

void CellControl::cmdInfo_Click()
{
    guarded([this] {
        if (!(values().waferLength > 0)) {
            message(ZeroFirstMessage);
            return;
        }
        if (rules_.infoChecksPressure && !CheckPressure()) return;

        const std::optional<QString> name = view_.runTestInformation(cell_, values().waferLength);
        if (!name) {
            message(QStringLiteral("CELL %1  information is not setting ").arg(cell_));
            return;
        }

        view_.setTestNameLabel(cell_, *name);
        clsTEST_INFO& info = requireObject(Module1::TestInfo);
        info.TEST_NAME = *name;
        info.GetTestDetail();
        if (info.EOF_() || info.BOF()) {
            message(LookupFailedMessage);
            return;
        }
        const QVariantList row = info.All();
        UnitCell& c = values();
        c.testName = row.at(1).toString();
        c.testId = Format::toInt32(row.at(0).toDouble()).value_or(0);
        // From here on the cell works with the stored length (at most two decimals in the display unit).
        c.waferLength = row.at(5).toDouble();
        view_.setInfoEnabled(cell_, false);
    });
}

// ---- Preheat, SET and the pressure rule -------------------------------------------------------------

bool CellControl::CheckPressure() { return CheckPressure(Module1::ToStoredTemp(setPointValue())); }

bool CellControl::CheckPressure(double setPointF)
{
    const double t = Format::roundHalfEven(setPointF);
    if (t >= 211 && values().pressure < requiredPressure(t)) {
        message(QStringLiteral("Instrument No. %1, Cell %2\r")
                    .arg(poll_.unit())
                    .arg(QChar::fromLatin1(cellLetter(cell_)))
                + PressureMessageEnd);
        return false;
    }
    return true;
}

void CellControl::cmdPreHeat_Click()
{
    if (values().state == CellRunning) return;
    const double limit = Module1::ToDisplayTemp(PreheatLimitF);
    const double value = setPointValue();
    if (value > limit) {
        message(MaxTemperatureMessage + Format::number(limit, QStringLiteral("##.#")) + PreheatLimitEnd);
        return;
    }
    if (!CheckPressure()) return;
    const double setPointF = Module1::ToStoredTemp(value);
    if (!link_.Preheat(cell_, setPointF)) {
        // The unit did not get the command: the cell is not preheating.
        message(LinkFailedMessage);
        return;
    }
    setPointWentOut(setPointF, true);
    view_.setStatus(cell_, StatusPreheat);
    values().state = CellPreheating;
}

void CellControl::setTemperature()
{
    const double limit = Module1::ToDisplayTemp(SetPointLimitF);
    const double value = setPointValue();
    if (value > limit) {
        message(MaxTemperatureMessage + Format::number(limit, QStringLiteral("##.#")));
        setPointSent_ = false;
        return;
    }
    if (rules_.setChecksPressure && !CheckPressure()) {
        setPointSent_ = false;
        return;
    }
    setPointSent_ = false;
    if (!sendSetPoint()) {
        message(LinkFailedMessage);
        return;
    }
    setPointSent_ = true;
}

bool CellControl::resendSetPoint()
{
    const UnitCell& c = values();
    if (c.state != CellPreheating && c.state != CellRunning) return true;
    return c.setPointByPreheat ? link_.Preheat(cell_, c.setPointInForce) : link_.SetTemperature(cell_, c.setPointInForce);
}

bool CellControl::sendSetPoint()
{
    const double setPointF = Module1::ToStoredTemp(setPointValue());
    if (!link_.SetTemperature(cell_, setPointF)) return false;
    setPointWentOut(setPointF, false);
    return true;
}

void CellControl::setPointWentOut(double setPointF, bool byPreheat)
{
    UnitCell& c = values();
    c.setPointInForce = setPointF;
    c.setPointByPreheat = byPreheat;
    c.stopOwed = false;   // the unit has been given the cell's new work
    c.settingMismatchTicks = 0;
    c.settingResends = 0;
    c.settingWarned = false;
    ++setPointsWritten_;
}

bool CellControl::sendOwedStop()
{
    if (!values().stopOwed || stopping_ || values().owedStop.sending) return true;
    values().owedStop.sending = true;   // a tick inside the pauses must not send it again
    const std::uint64_t before = setPointsWritten_;
    const bool written = link_.StopSequence(cell_, rules_.stopCellPauseMs);
    UnitCell& c = values();
    c.owedStop.sending = false;
    // A set point sent meanwhile (a new test on the cell) has taken its place; a record meanwhile may have
    // confirmed the stop.
    if (setPointsWritten_ != before || !c.stopOwed) return written;
    if (written) {
        c.setPointInForce = 0;
        c.setPointByPreheat = false;
    }
    poll_.stopSent(cell_, written, false);
    return written;
}

std::int32_t CellControl::intervalSeconds(double seconds)
{
    const double v = Format::roundHalfEven(seconds);
    if (const auto whole = Format::toInt32(v)) return *whole;
    return v > 0 ? std::numeric_limits<std::int32_t>::max() : 0;   // a number beyond any interval
}

void CellControl::cmdTempSet_Click()
{
    guarded([this] { setTemperature(); });
}

// ---- START / STOP -----------------------------------------------------------------------------------

void CellControl::cmdStart_Click()
{
    guarded([this] {
        if (values().testName.isEmpty()) {
            message(EnterInfoFirstMessage);
            return;
        }
        if (view_.startCaption(cell_) == CaptionStart) {
            if (testStillStored()) startTest();
            return;
        }
        if (values().state == CellRunning) {
            if (platform::Prompts::current().ask(StopQuestion, platform::Buttons::YesNo) == platform::Answer::No)
                return;
            // Ticks run while the question is open: the cell may have been stopped meanwhile.
            if (values().state != CellRunning && view_.startCaption(cell_) == CaptionStart) return;
        }
        StopTest();
    });
}

bool CellControl::testStillStored()
{
    // Looked up by the cell's id under its name: an older copy of the file may hold that id for another test.
    clsTEST_RESULT& points = requireObject(Module1::TestResult);
    points.Test_Id = values().testId;
    if (points.HeaderStored(values().testName)) return true;
    const QString name = values().testName;
    // The cell lets the test go, so that Enter Info can name one again; its zero stays.
    values().testName.clear();
    view_.setTestNameLabel(cell_, QString());
    view_.setInfoEnabled(cell_, true);
    message(TestGoneMessage.arg(name));
    return false;
}

void CellControl::startTest()
{
    view_.loadCellTest(cell_);
    setTemperature();
    if (!setPointSent_) return;
    view_.startPollTimer();
    values().state = CellRunning;
    view_.setStartTime(cell_, Format::dateTime(QDateTime::currentDateTime(), QStringLiteral(" mm/dd/yyyy hh:mm:ss")));
    poll_.startTiming(cell_);
    view_.setStatus(cell_, StatusRunning);
    view_.setStartCaption(cell_, CaptionStop);
    view_.setDetailEnabled(cell_, true);
    view_.refreshChart();
}

void CellControl::StopTest()
{
    if (stopping_) return;
    stopping_ = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{stopping_};

    const QString zero = Format::general(Module1::ToDisplayTemp(0));
    values().setPointText = zero;
    view_.setSetPointText(cell_, zero);

    // SET with 0 °F: never over the limit, never short of pressure. A command that cannot be written is
    // reported once after the stop, which goes on regardless.
    const bool silent = poll_.unitSilent();   // a unit that does not answer may not hear the stop either
    const bool owedBefore = values().stopOwed;   // told already: not again for this stop
    values().owedStop.sending = true;   // the poll does not send an owed stop of this cell meanwhile
    bool linkOk = sendSetPoint();
    setPointSent_ = linkOk;
    platform::wait_for_milli_seconds(StopGapMs);
    linkOk = link_.StopCell(cell_, rules_.stopCellPauseMs) && linkOk;

    UnitCell& c = values();
    c.owedStop.sending = false;
    c.state = CellStopped;
    view_.setStartCaption(cell_, CaptionStart);
    view_.setDetailEnabled(cell_, false);
    view_.setInfoEnabled(cell_, true);
    c.waferLength = 0;
    c.testName.clear();
    if (rules_.stopClearsTestNameLabel) view_.setTestNameLabel(cell_, QString());
    view_.setStatus(cell_, StatusStopped);

    // Owed until the unit's records show it taken; the operator is told once when it may not have heard it.
    if (owedBefore) c.stopOwed = true;
    poll_.stopSent(cell_, linkOk, silent || poll_.unitSilent());
}

} // namespace realtime
