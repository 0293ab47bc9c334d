#include "realtime/UnitPoll.h"

#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "records/DbError.h"
#include "records/format.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace realtime {

namespace {
const QString kTempPattern = QStringLiteral("##0.#");
const QString kPressPattern = QStringLiteral("##0");

std::uint32_t now() { return platform::Clock::current().milliseconds(); }

QString tempText(double f) { return Format::number(Module1::ToDisplayTemp(f), kTempPattern); }

// The back-off shared by every screen: when the last store failed (at clock reading g_storeFailedAt).
bool g_storeBlocked = false;
std::uint32_t g_storeFailedAt = 0;

bool inStoreBackOff()
{
    if (!g_storeBlocked) return false;
    const std::int64_t since = platform::elapsedMs(g_storeFailedAt, now());
    return since >= 0 && since < std::int64_t(UnitPoll::StoreRetryMs);
}

void saturatingIncrement(std::int32_t& n)
{
    if (n < std::numeric_limits<std::int32_t>::max()) ++n;
}
} // namespace

void UnitPollListener::showMessage(const QString& text) { platform::tell(text); }

QString instrumentCell(int unit, int cell)
{
    return QStringLiteral("Instrument No. %1, Cell %2").arg(unit).arg(QChar::fromLatin1(unitlink::cellLetter(cell)));
}

double lengthFromVolts(const Module1::CellCalibration& cal, double volts)
{
    if (volts <= cal.CalVolt2) return cal.CalSlope1 * volts + cal.CalIntercept1;
    return cal.CalSlope2 * volts + cal.CalIntercept2;
}

UnitPoll::UnitPoll(platform::SerialPort& port, UnitPollListener& listener, int unit, Screen screen)
    : port_(port), listener_(listener), unit_(unit), screen_(screen)
{
    g_storeBlocked = false;   // a new screen tries at once
}

double UnitPoll::lengthFromVolts(int cell, double volts) const
{
    static const Module1::CellCalibration none{};
    const bool known = unit_ >= 0 && std::size_t(unit_) < Module1::Calibration.size() && (cell == 1 || cell == 2);
    return realtime::lengthFromVolts(known ? Module1::Calibration[std::size_t(unit_)][std::size_t(cell)] : none,
                                     volts);
}

void UnitPoll::setLabel(int cell, CellLabel label, const QString& text)
{
    this->cell(cell).labels[std::size_t(label)] = text;
    listener_.showLabel(cell, label, text);
}

void UnitPoll::setAlarm(bool shown)
{
    listener_.showAlarm(1, shown);
    listener_.showAlarm(2, shown);
}

void UnitPoll::tick()
{
    platform::TickScope scope;   // messages raised from here on wait for the tick to return
    if (!pending_.empty()) {
        try {
            storePending();
        } catch (const std::exception&) {
        }
    }
    try {
        const bool answered = readInput();
        restoreUnit(answered, answered && misses_ > 0);
        if (answered) {
            misses_ = 0;
        } else {
            saturatingIncrement(misses_);
            if (screen_ == Screen::Sequence) {
                sequenceMiss();
            } else if (misses_ >= AlarmAfterMisses) {
                watchOwedStops();
                countCellRecords(false);
                setAlarm(true);
                return;
            }
        }
        applyRecords();
        watchReportedSettings();
        watchOwedStops();
        countCellRecords(answered);
    } catch (const std::exception&) {
        return;   // a failing screen update ends the tick; the next one starts afresh
    }

    // Each cell's timed work on its own: a failure in one cell must not hold back the other cell's logging
    // or maximum-time stop.
    for (int c = 1; c <= 2; ++c) {
        try {
            if (cell(c).state == CellPreheating) preheatNotice(c);
            if (cell(c).state != CellRunning) continue;
            if (screen_ == Screen::Sequence) {
                if (!sequenceWork(c)) return;   // end of a sequence: the rest waits for the next tick
            } else {
                runningWork(c);
            }
        } catch (const std::exception&) {
        }
    }
}

void UnitPoll::restoreUnit(bool answered, bool cameBack)
{
    // A unit that was away (its port came back, or its records after a silence) may have been switched off
    // and on: it then works at its own default, not at the cell's set point.
    bool portReturned = false;
    if (port_.returns() != portReturns_) {
        portReturns_ = port_.returns();
        setPointOwed_ = {true, true};
        portReturned = true;
    }
    if (cameBack) setPointOwed_ = {true, true};
    // An owed stop gets a fresh budget when the unit is back after an outage the operator saw.
    const bool back = portReturned || (answered && misses_ >= AlarmAfterMisses);
    // Commands go out only to a unit that is talking: one that is still starting up would miss them.
    if (!answered) return;
    for (int c = 1; c <= 2; ++c) {
        if (!port_.isOpen()) return;
        platform::TickScope scope;
        if (cell(c).stopOwed) {
            resendOwedStop(c, back, portReturned || cameBack);
            continue;   // what the stop left owed is settled by the stop
        }
        const std::size_t i = std::size_t(c - 1);
        if (!setPointOwed_[i] && !settingDiffers_[i]) continue;
        const int state = cell(c).state;
        if (state != CellRunning && state != CellPreheating) {
            setPointOwed_[i] = false;   // nothing to restore: a later START or Preheat sends its own
            settingDiffers_[i] = false;
            continue;
        }
        const std::uint32_t t = now();
        if (resent_[i] && msSince(resentAt_[i], t) < ResendSpacingMs) continue;   // owed until then
        setPointOwed_[i] = false;   // a tick inside the send's pause must not send it again
        resent_[i] = true;
        resentAt_[i] = t;
        UnitCell& k = cell(c);
        // Tries the unit did not take: the operator is told once, and the tries go on.
        if (k.settingMismatchTicks > SettingMismatchTicks && k.settingResends >= SetPointTriesBeforeWarning
            && !k.settingWarned) {
            k.settingWarned = true;
            tellSetPointNotTaken(c);
        }
        saturatingIncrement(cell(c).settingResends);
        if (!listener_.resendSetPoint(c)) setPointOwed_[i] = true;
    }
}

void UnitPoll::resendOwedStop(int c, bool back, bool returned)
{
    UnitCell::OwedStop& s = cell(c).owedStop;
    if (back) s.resends = 0;
    if (s.sending) return;   // a try is under way (this tick runs inside its pauses)
    // A unit answering after a silence may have missed the last try: it goes at once.
    if (s.written && !returned && msSince(s.sentAt, now()) < ResendSpacingMs) return;
    if (s.resends >= StopResends) {
        if (!s.unconfirmedTold) {
            s.unconfirmedTold = true;
            listener_.showMessage(instrumentCell(unit_, c) + QLatin1Char('\r') + StopUnconfirmedMessageEnd);
        }
        return;
    }
    ++s.resends;
    // A try that could not be written did not reach the unit: it does not count.
    if (!listener_.sendOwedStop(c) && cell(c).stopOwed) --cell(c).owedStop.resends;
}

void UnitPoll::stopSent(int c, bool written, bool unitAway)
{
    UnitCell& k = cell(c);
    if (!k.stopOwed) k.owedStop = {};   // a new stop: its own budget and messages
    k.stopOwed = true;
    UnitCell::OwedStop& s = k.owedStop;
    s.written = written;
    s.sending = false;
    s.sentAt = now();
    s.confirmFrom = received_;
    s.ticks = 0;
    s.heard = false;
    if (!written || unitAway) tellStopOwed(c);
}

void UnitPoll::tellStopOwed(int c)
{
    UnitCell::OwedStop& s = cell(c).owedStop;
    if (s.promiseTold) return;
    if (stopMessagesHeld_) {
        s.promiseHeld = true;
        return;
    }
    s.promiseTold = true;
    listener_.showMessage(instrumentCell(unit_, c) + QLatin1Char('\r') + StopOwedMessageEnd);
}

void UnitPoll::holdStopMessages(bool held, bool covered)
{
    stopMessagesHeld_ = held;
    if (held) return;
    for (int c = 1; c <= 2; ++c) {
        UnitCell::OwedStop& s = cell(c).owedStop;
        const bool waiting = s.promiseHeld;
        s.promiseHeld = false;
        if (!cell(c).stopOwed) continue;
        if (covered) s.promiseTold = true;
        else if (waiting) tellStopOwed(c);
    }
}

void UnitPoll::tellSetPointNotTaken(int c)
{
    const UnitCell& k = cell(c);
    QString unit = Module1::TempUnitCaption;
    unit.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
    const auto text = [&unit](double f) {
        const QString t = Format::general(Format::roundHalfAway(Module1::ToDisplayTemp(f), 1) + 0.0);
        return unit.isEmpty() ? t : t + QLatin1Char(' ') + unit;
    };
    listener_.showMessage(instrumentCell(unit_, c) + QLatin1Char('\r')
                          + SetPointNotTakenMessageEnd.arg(text(k.setPointInForce), text(k.tempSetting)));
}

void UnitPoll::watchReportedSettings()
{
    for (int c = 1; c <= 2; ++c) {
        UnitCell& k = cell(c);
        if (k.state != CellRunning && k.state != CellPreheating) {
            k.settingMismatchTicks = 0;
            k.settingResends = 0;
            k.settingWarned = false;
            settingDiffers_[std::size_t(c - 1)] = false;
            continue;
        }
        if (!k.recordSeen) continue;
        // The unit reports its setting in °F; the set point went out as whole °F ("000").
        const bool differs = std::fabs(k.tempSetting - Format::roundHalfAway(k.setPointInForce, 0)) >= 0.5;
        const std::size_t i = std::size_t(c - 1);
        if (!differs) {
            k.settingMismatchTicks = 0;
            k.settingResends = 0;
            k.settingWarned = false;
            settingDiffers_[i] = false;
            continue;
        }
        if (k.settingMismatchTicks <= SettingMismatchTicks) ++k.settingMismatchTicks;
        // Owed for as long as it differs; restoreUnit sends it at the spacing.
        settingDiffers_[i] = k.settingMismatchTicks > SettingMismatchTicks;
    }
}

void UnitPoll::watchOwedStops()
{
    for (int c = 1; c <= 2; ++c) {
        UnitCell& k = cell(c);
        if (!k.stopOwed || k.owedStop.sending) continue;
        saturatingIncrement(k.owedStop.ticks);
        if (k.owedStop.written && !k.owedStop.heard && k.owedStop.ticks >= StopConfirmTicks) tellStopOwed(c);
    }
}

void UnitPoll::sequenceMiss()
{
    for (int c = 1; c <= 2; ++c) {
        const int state = cell(c).state;
        if ((state == CellRunning || state == CellPreheating) && misses_ >= SequenceStopAfterMisses) {
            cell(c).volts = 0;
            if (requestStop(c)) listener_.showMessage(NoResponseMessage);
        }
        listener_.showAlarm(c, true);
    }
}

void UnitPoll::countCellRecords(bool answered)
{
    for (int c = 1; c <= 2; ++c) {
        UnitCell& k = cell(c);
        if (k.recordSeen) {
            k.ticksWithoutRecord = 0;
            k.answeredWithoutRecord = 0;
        } else {
            saturatingIncrement(k.ticksWithoutRecord);
            if (answered) saturatingIncrement(k.answeredWithoutRecord);
        }
        k.recordSeen = false;
        // A record end hides the alarms, even when its record is dropped; a cell silent on its own keeps its own.
        if (answered) listener_.showAlarm(c, k.answeredWithoutRecord >= AlarmAfterMisses);
    }
}

bool UnitPoll::readInput()
{
    const QByteArray in = port_.readAll();
    received_ += std::uint64_t(in.size());
    buffer_.append(in);
    return buffer_.holdsRecordEnd();
}

void UnitPoll::applyRecords()
{
    std::string_view record;
    while (buffer_.nextRecord(record)) {
        // Parsed before anything is applied: the view is dead once a listener call lets a nested tick run.
        const std::optional<UnitReplyFrame> frame = parseReplyFrame(record);
        if (!frame) continue;
        recordEnd_ = received_ - buffer_.size();   // just after the record's SUB in the unit's input
        try {
            applyFrame(*frame);
        } catch (const std::exception&) {
            // The rest of this record is lost; what was applied stays.
        }
    }
    recordEnd_ = std::numeric_limits<std::uint64_t>::max();
}

void UnitPoll::applyFrame(const UnitReplyFrame& f)
{
    const int c = f.cell;
    if (c != 1 && c != 2) return;
    platform::TickScope scope;
    const std::uint64_t recordEnd = recordEnd_;   // a nested tick below moves the member on

    cell(c).recordSeen = true;
    cell(c).currentTemp = f.currentTemp;
    setLabel(c, CellLabel::lbltemp1, tempText(f.currentTemp));

    // Over-temperature trip. The stop and the message may run nested ticks; everything below re-reads the cell.
    if (f.currentTemp > OverTemperatureF && (cell(c).state == CellRunning || cell(c).state == CellPreheating)) {
        if (requestStop(c)) listener_.showMessage(OverTemperatureMessage);
    }

    UnitCell& k = cell(c);
    k.bathTemp = f.bathTemp;
    setLabel(c, CellLabel::lblTemp3, tempText(f.bathTemp));

    k.tempSetting = f.tempSetting;
    // An owed stop is taken once a record received after its writes reports the setting 0.
    if (k.stopOwed && recordEnd > k.owedStop.confirmFrom) {
        k.owedStop.heard = true;
        if (std::fabs(f.tempSetting) < 0.5) k.stopOwed = false;
    }
    if (screen_ == Screen::Simple) {
        if (k.state == CellRunning) setLabel(c, CellLabel::lblTemp2, tempText(f.tempSetting));
    } else {
        setLabel(c, CellLabel::lblTemp2, k.state == CellPreheating ? QString() : tempText(f.tempSetting));
    }

    k.pressure = Format::roundHalfAway(f.pressure, 0) + 0.0;   // + 0.0 turns -0 into 0
    setLabel(c, CellLabel::lblPress, Format::number(Module1::ToDisplayPress(k.pressure), kPressPattern));

    k.volts = f.milliVolts / 1000;
    setLabel(c, CellLabel::lblvolt, Format::general(k.volts));

    k.length = lengthFromVolts(c, k.volts);
    setLabel(c, CellLabel::lblen, Module1::ToDisplayLength(k.length));

    k.lengthChange = k.zeroVolts != 0 ? k.length - k.zeroLength : 0.0;
    setLabel(c, CellLabel::lbldist, Module1::ToDisplayLength(k.lengthChange));

    if (k.waferLength != 0) k.swell = Format::roundHalfAway(k.lengthChange / k.waferLength * 100, 1) + 0.0;
    setLabel(c, CellLabel::lblswell, Format::general(k.swell));
}

void UnitPoll::preheatNotice(int c)
{
    const UnitCell& k = cell(c);
    const double bath = Module1::ToStoredTemp(Format::leading(k.label(CellLabel::lblTemp3)));
    // Ready means near the temperature the unit heats to: the set point in force, not a text typed since.
    if (bath - k.setPointInForce >= -10) listener_.showStatus(c, PreheatReadyText);
}

void UnitPoll::runningWork(int c)
{
    platform::TickScope scope;
    cell(c).elapsedSeconds = std::int32_t(msSince(cell(c).startTick, now()) / 1000);

    // Maximum time (minutes); 0 or an empty box stops at the first tick. The rest still runs on this tick.
    const double maxMinutes = Format::leading(cell(c).maxTimeText);
    if (maxMinutes * 60 <= cell(c).elapsedSeconds) requestStop(c);

    UnitCell& k = cell(c);
    k.secondsSinceLog = std::int32_t(msSince(k.lastLogTick, now()) / 1000);
    setLabel(c, CellLabel::lblElapseTime, Format::elapsedTime(k.elapsedSeconds));

    logWhenDue(c, k.secondsSinceLog);
}

bool UnitPoll::sequenceWork(int c)
{
    {
        UnitCell& k = cell(c);
        k.elapsedSeconds = std::int32_t(msSince(k.startTick, now()) / 1000);
        const bool stepUp = k.sequence.stepTimeUp(now());
        k.secondsSinceLog = std::int32_t(msSince(k.lastLogTick, now()) / 1000);
        setLabel(c, CellLabel::lblElapseTime, Format::elapsedTime(k.elapsedSeconds));

        if (stepUp) {
            if (k.sequence.onLastStep()) {
                requestStop(c);
                return false;
            }
            // The new step's time runs from now; taken again once its set point went out (the send pauses).
            const int stepBefore = k.sequence.current();
            const std::uint32_t stepTickBefore = k.sequence.stepTick();
            const std::uint32_t lastLogBefore = k.lastLogTick;
            k.sequence.nextStep(now());
            k.lastLogTick = now();
            const bool sent = listener_.stepChanged(c);
            UnitCell& after = cell(c);
            if (after.state != CellRunning) return true;   // stopped while the set point went out
            if (!sent) {
                // The unit still works at the step before: that step goes on (its points, its number) and
                // the change is tried again on the next tick.
                after.sequence.resumeStep(stepBefore, stepTickBefore);
                after.lastLogTick = lastLogBefore;
                logWhenDue(c, after.secondsSinceLog);
                return true;
            }
            after.sequence.restartStep(now());
            after.lastLogTick = now();
        }
    }
    // The seconds since the last point as they were before any step change, against the interval now in force.
    logWhenDue(c, cell(c).secondsSinceLog);
    return true;
}

void UnitPoll::logWhenDue(int c, std::int32_t secondsSinceLog)
{
    // No point from readings that old: the due point is taken with the first fresh record.
    const UnitCell& k = cell(c);
    if (secondsSinceLog >= k.loggingInterval && secondsSinceLog >= 1 && !readingsStale(c)) takePoint(c);
}

void UnitPoll::takePoint(int c)
{
    platform::TickScope scope;
    const UnitCell& k = cell(c);
    pending_.push_back({.cell = c,
                        .testId = k.testId,
                        .testName = k.startedTestName,
                        .stepNo = listener_.loggedStepNo(c),
                        .resultTime = k.elapsedSeconds,
                        .temp = k.currentTemp,
                        .bathTemp = k.bathTemp,
                        .press = k.pressure,
                        .heightChange = k.lengthChange,
                        .volts = k.volts,
                        .swell = k.swell});
    cell(c).lastLogTick = now();
    storePending();
}

bool UnitPoll::storePending()
{
    if (pending_.empty()) return true;
    if (inStoreBackOff() || storing_) return false;
    platform::TickScope scope;
    storing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{storing_};
    bool stored = false;
    headerMissing_.clear();
    for (auto it = pending_.begin(); it != pending_.end();) {
        // A test without its header keeps all its points, in order; the other tests' points go on.
        if (std::find(headerMissing_.begin(), headerMissing_.end(), it->testId) != headerMissing_.end()) {
            ++it;
            continue;
        }
        bool ok = false;
        bool noHeader = false;
        QString reason;
        try {
            ok = listener_.storePoint(*it);
        } catch (const TestHeaderMissing&) {
            noHeader = true;
        } catch (const DbError& e) {
            reason = e.description;
        } catch (const std::exception& e) {
            reason = QString::fromLocal8Bit(e.what());
        }
        if (noHeader) {
            headerMissing_.push_back(it->testId);
            if (std::find(missingTold_.begin(), missingTold_.end(), it->testId) == missingTold_.end()) {
                missingTold_.push_back(it->testId);
                listener_.showMessage(TestMissingMessage.arg(unit_)
                                          .arg(QChar::fromLatin1(it->cell == 2 ? 'B' : 'A'))
                                          .arg(it->testName));
            }
            ++it;
            continue;
        }
        if (!ok) {
            storeFailed(reason.isEmpty() ? QStringLiteral("the database does not take writes.") : reason);
            break;
        }
        // The test's header is there again: a later outage is told again.
        std::erase(missingTold_, it->testId);
        it = pending_.erase(it);
        stored = true;
    }
    if (stored) {
        g_storeBlocked = false;
        try {
            listener_.refreshChart();
        } catch (const std::exception&) {
            // The points are stored; a chart that failed to redraw must not get them stored twice.
        }
    }
    if (pending_.empty()) missingTold_.clear();
    // Only the database's own failures count as an outage of the store; a missing header is not one.
    if (pending_.size() > pointsOf(headerMissing_)) return false;
    storeFailing_ = false;
    storeWarned_ = false;
    return pending_.empty();
}

std::size_t UnitPoll::pointsOf(const std::vector<std::int32_t>& ids) const
{
    return std::size_t(std::count_if(pending_.begin(), pending_.end(), [&](const LoggedPoint& p) {
        return std::find(ids.begin(), ids.end(), p.testId) != ids.end();
    }));
}

std::vector<MissingTest> UnitPoll::missingTests() const
{
    std::vector<MissingTest> out;
    for (std::int32_t id : headerMissing_) {
        MissingTest t{id, {}, 1, 0};
        for (const LoggedPoint& p : pending_) {
            if (p.testId != id) continue;
            if (t.points++ == 0) {
                t.testName = p.testName;
                t.cell = p.cell;
            }
        }
        if (t.points > 0) out.push_back(t);
    }
    return out;
}

void UnitPoll::dropPoints(const std::vector<std::int32_t>& ids)
{
    const auto listed = [&](std::int32_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    std::erase_if(pending_, [&](const LoggedPoint& p) { return listed(p.testId); });
    std::erase_if(headerMissing_, listed);
    std::erase_if(missingTold_, listed);
    if (pending_.empty()) {
        storeFailing_ = false;
        storeWarned_ = false;
    }
}

void UnitPoll::storeFailed(const QString& reason)
{
    const std::uint32_t t = now();
    g_storeBlocked = true;
    g_storeFailedAt = t;
    if (!storeFailing_) {
        storeFailing_ = true;
        failingSince_ = t;
    }
    if (!storeWarned_ && msSince(failingSince_, t) >= StoreWarnAfterMs) {
        storeWarned_ = true;
        listener_.showMessage(StoreDelayedMessage.arg(unit_).arg(reason));
    }
}

bool UnitPoll::requestStop(int c)
{
    if (cell(c).stopping) return false;
    platform::TickScope scope;
    cell(c).stopping = true;
    try {
        listener_.stopCell(c);
    } catch (...) {
        cell(c).stopping = false;
        throw;
    }
    cell(c).stopping = false;
    return true;
}

void UnitPoll::startTiming(int c)
{
    UnitCell& k = cell(c);
    k.startedTestName = k.testName;
    k.startTick = now();
    if (screen_ == Screen::Sequence) k.sequence.start(now());
    k.lastLogTick = now();
    k.secondsSinceLog = 0;
}

} // namespace realtime
