#pragma once
// The commands a unit understands, byte for byte, and the link object that sends them with the pause that
// follows each one.
//
//   SetTemperature  ENQ L , T SUB     then 50 ms
//   Preheat         ACK L , T SUB     then 30 ms
//   StopCell        BEL L SUB         then 40 ms (simple-test screen) or 30 ms (sequence screen)
//   FactoryZero     VT SUB            no pause
//
// L is the cell letter ("A" = cell 1, "B" = cell 2); T the set point in whole °F with at least three digits,
// halves away from zero, a minus sign in front of the padded digits ("095", "680", "-004").
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {
class SerialPort;
}

namespace unitlink {

namespace linkchar {
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
constexpr char BEL = 0x07;
constexpr char VT = 0x0B;
constexpr char SUB = 0x1A;   // ends every command and every reply record
} // namespace linkchar

// What a reader of a unit's replies keeps of text not taken yet. The unfinished text after the last SUB is
// cut to its newest ReceivedTextCap bytes: a real record is under a hundred bytes, so the cut only ever
// drops garbage from a unit that sends text without the end byte, and memory stays bounded however long it
// does. unfinishedExcess tells which bytes of text to drop for that: count bytes from at (none: count 0).
constexpr std::size_t ReceivedTextCap = 64 * 1024;
struct TextCut {
    std::size_t at = 0;
    std::size_t count = 0;
};
TextCut unfinishedExcess(std::string_view text, std::size_t cap = ReceivedTextCap);

// Pauses after the commands, in milliseconds.
constexpr std::uint32_t SetTemperaturePauseMs = 50;
constexpr std::uint32_t PreheatPauseMs = 30;
constexpr std::uint32_t StopGapMs = 50;                 // between the "000" set point and StopCell
constexpr std::uint32_t StopCellPauseSimpleMs = 40;
constexpr std::uint32_t StopCellPauseSequenceMs = 30;

// 'A' for cell 1, 'B' for cell 2, 0 for anything else.
char cellLetter(int cell);

// The set-point field T of a °F value ("000" pattern).
QByteArray setPointField(double setPointF);

// The commands as bytes; empty for a cell other than 1 or 2.
QByteArray setTemperatureCommand(int cell, double setPointF);
QByteArray preheatCommand(int cell, double setPointF);
QByteArray stopCellCommand(int cell);
QByteArray factoryZeroCommand();

// Sends commands on a unit's port (not owned). Every pause keeps processing window events, so timer ticks
// and clicks may run inside a call; nothing here relies on state staying unchanged across a pause.
//
// A command is written once. When it cannot be written (port closed, device gone, cell not 1 or 2) the call
// returns false and lastError() says why: the caller must not take the command as sent. The pause is kept
// either way, so a series of commands keeps its timing whatever the port does.
class UnitSerialLink {
public:
    explicit UnitSerialLink(platform::SerialPort& port) : port_(port) {}

    bool SetTemperature(int cell, double setPointF);
    bool Preheat(int cell, double setPointF);
    bool StopCell(int cell, std::uint32_t pauseMs = StopCellPauseSimpleMs);
    bool FactoryZero();

    // What the stop of a cell puts on the link: SetTemperature "000", 50 ms, a further 50 ms, StopCell and
    // the final pause (40 ms on the simple-test screen, 30 ms on the sequence screen). Every step runs even
    // when an earlier write failed, so a StopCell still goes out if it can; false when any write failed.
    bool StopSequence(int cell, std::uint32_t finalPauseMs = StopCellPauseSimpleMs);

    QString lastError() const { return error_; }
    platform::SerialPort& port() const { return port_; }

private:
    bool send(const QByteArray& bytes, std::uint32_t pauseMs);

    platform::SerialPort& port_;
    QString error_;
};

} // namespace unitlink
