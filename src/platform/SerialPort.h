#pragma once
// The serial link to one unit: open by port number, write, read everything received, close.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace platform {

// The port numbers the settings file can name ("Comm 1" .. "Comm 20").
constexpr int LowestPortNumber = 1;
constexpr int HighestPortNumber = 20;
inline bool validPortNumber(int n) { return n >= LowestPortNumber && n <= HighestPortNumber; }
// The error of an open with a number outside 1..20 (no device is tried).
inline const QString InvalidPortNumberText = QStringLiteral("Invalid port number");

class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Opens port n (1..20) with the settings text "19200,n,8,1". Returns false and fills lastError()
    // when the port cannot be opened (a number outside 1..20 gives InvalidPortNumberText).
    virtual bool open(int portNumber, const QString& settings = QStringLiteral("19200,n,8,1")) = 0;
    // Opens the port again after its device went away, with the number and settings of the last open. A
    // port that was opened through its "COMn" link waits for that link: it does not fall back to
    // /dev/ttyS<n-1>, which would be another device.
    virtual bool reopen(int portNumber, const QString& settings) { return open(portNumber, settings); }
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Writes the bytes in order, without any line end. Returns false when the port is not open or the
    // write failed; the caller must not assume the command arrived.
    virtual bool write(const QByteArray& bytes) = 0;
    // Everything received since the last read (empties the receive buffer). Empty when closed.
    virtual QByteArray readAll() = 0;
    virtual QString lastError() const = 0;
    virtual int portNumber() const = 0;
    // How often the port has opened again by itself after its device was lost (a unit switched off and on,
    // an adapter plugged back in). A unit that was away may have lost its set point: its owner sends it again
    // whenever this count changes.
    virtual int returns() const { return 0; }
};

// Makes the port that unit screens use: a QSerialPort that opens itself again when its device comes back
// (ReopeningSerialPort). Tests replace the factory to hand out fakes.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;
std::unique_ptr<SerialPort> makeSerialPort();
void setSerialPortFactory(SerialPortFactory factory);   // empty restores the QSerialPort one

// The "COMn" entry of port n in the working folder (absolute path), or empty when there is none.
QString serialPortLink(int portNumber);
// Path of port n: "COMn" in the working folder when there is such an entry (a link to the device, even one
// whose device is missing at the moment), else /dev/ttyS<n-1>. Empty for a number outside 1..20.
QString serialPortPath(int portNumber);

} // namespace platform
