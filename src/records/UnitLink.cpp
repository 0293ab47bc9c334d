#include "records/UnitLink.h"

#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "records/format.h"

namespace unitlink {

TextCut unfinishedExcess(std::string_view text, std::size_t cap)
{
    const std::size_t lastSub = text.rfind(linkchar::SUB);
    const std::size_t tailStart = lastSub == std::string_view::npos ? 0 : lastSub + 1;
    const std::size_t tail = text.size() - tailStart;
    return tail > cap ? TextCut{tailStart, tail - cap} : TextCut{};
}

char cellLetter(int cell)
{
    if (cell == 1) return 'A';
    if (cell == 2) return 'B';
    return 0;
}

QByteArray setPointField(double setPointF)
{
    return Format::number(setPointF, QStringLiteral("000")).toLatin1();
}

namespace {
QByteArray setPointCommand(char first, int cell, double setPointF)
{
    const char letter = cellLetter(cell);
    if (!letter) return {};
    QByteArray out;
    out.reserve(8);
    out += first;
    out += letter;
    out += ',';
    out += setPointField(setPointF);
    out += linkchar::SUB;
    return out;
}
} // namespace

QByteArray setTemperatureCommand(int cell, double setPointF)
{
    return setPointCommand(linkchar::ENQ, cell, setPointF);
}

QByteArray preheatCommand(int cell, double setPointF) { return setPointCommand(linkchar::ACK, cell, setPointF); }

QByteArray stopCellCommand(int cell)
{
    const char letter = cellLetter(cell);
    if (!letter) return {};
    const char bytes[] = {linkchar::BEL, letter, linkchar::SUB};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray factoryZeroCommand()
{
    const char bytes[] = {linkchar::VT, linkchar::SUB};
    return QByteArray(bytes, sizeof bytes);
}

bool UnitSerialLink::send(const QByteArray& bytes, std::uint32_t pauseMs)
{
    bool ok = false;
    if (bytes.isEmpty()) {
        error_ = QStringLiteral("No such cell");
    } else if (!port_.write(bytes)) {
        error_ = port_.lastError();
        if (error_.isEmpty()) error_ = QStringLiteral("The command could not be sent");
    } else {
        ok = true;
    }
    if (pauseMs > 0) platform::wait_for_milli_seconds(pauseMs);
    return ok;
}

bool UnitSerialLink::SetTemperature(int cell, double setPointF)
{
    return send(setTemperatureCommand(cell, setPointF), SetTemperaturePauseMs);
}

bool UnitSerialLink::Preheat(int cell, double setPointF)
{
    return send(preheatCommand(cell, setPointF), PreheatPauseMs);
}

bool UnitSerialLink::StopCell(int cell, std::uint32_t pauseMs) { return send(stopCellCommand(cell), pauseMs); }

bool UnitSerialLink::FactoryZero() { return send(factoryZeroCommand(), 0); }

bool UnitSerialLink::StopSequence(int cell, std::uint32_t finalPauseMs)
{
    const bool setOk = SetTemperature(cell, 0.0);
    const QString setError = error_;
    platform::wait_for_milli_seconds(StopGapMs);
    const bool stopOk = StopCell(cell, finalPauseMs);
    if (!setOk && stopOk) error_ = setError;
    return setOk && stopOk;
}

} // namespace unitlink
