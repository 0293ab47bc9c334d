#pragma once
// The serial link to one unit: open by port number, write, read everything received, close.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace platform {

class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Opens port n (1..20) with the settings text "19200,n,8,1". Returns false and fills lastError()
    // when the port cannot be opened.
    virtual bool open(int portNumber, const QString& settings = QStringLiteral("19200,n,8,1")) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Writes the bytes in order, without any line end. Returns false when the port is not open or the
    // write failed; the caller must not assume the command arrived.
    virtual bool write(const QByteArray& bytes) = 0;
    // Everything received since the last read (empties the receive buffer). Empty when closed.
    virtual QByteArray readAll() = 0;
    virtual QString lastError() const = 0;
    virtual int portNumber() const = 0;
};

// Makes the port that unit screens use; tests replace it to hand out fakes.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;
std::unique_ptr<SerialPort> makeSerialPort();
void setSerialPortFactory(SerialPortFactory factory);   // empty restores the QSerialPort one

// Path of port n: "COMn" in the working folder when it exists (a link to the device), else /dev/ttyS<n-1>.
QString serialPortPath(int portNumber);

} // namespace platform
