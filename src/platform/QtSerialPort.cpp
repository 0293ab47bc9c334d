// SerialPort over QSerialPort.
#include "platform/ReopeningSerialPort.h"
#include "platform/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <filesystem>

namespace platform {

namespace {

class QtSerialPort final : public SerialPort {
public:
    QtSerialPort()
    {
        // A vanished device (unplugged adapter, simulator ended) keeps reporting errors while open:
        // close on the first one, so the poll sees a silent unit instead of an error storm.
        QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError || e == QSerialPort::WriteError) {
                error_ = port_.errorString();
                if (port_.isOpen()) port_.close();
            }
        });
    }

    bool open(int portNumber, const QString& settings) override
    {
        number_ = portNumber;
        if (port_.isOpen()) port_.close();
        if (!validPortNumber(portNumber)) {
            error_ = InvalidPortNumberText;
            return false;
        }
        const QString link = serialPortLink(portNumber);
        throughLink_ = !link.isEmpty();
        return openPath(throughLink_ ? link : serialPortPath(portNumber), settings);
    }

    bool reopen(int portNumber, const QString& settings) override
    {
        if (!throughLink_ || portNumber != number_) return open(portNumber, settings);
        if (port_.isOpen()) port_.close();
        const QString link = serialPortLink(portNumber);
        if (link.isEmpty()) {
            error_ = QStringLiteral("COM%1: No such file or directory").arg(portNumber);
            return false;
        }
        return openPath(link, settings);
    }

    bool isOpen() const override { return port_.isOpen(); }
    void close() override
    {
        if (port_.isOpen()) port_.close();
    }

    bool write(const QByteArray& bytes) override
    {
        if (!port_.isOpen()) {
            if (error_.isEmpty()) error_ = QStringLiteral("Port %1 is not open").arg(number_);
            return false;
        }
        const qint64 n = port_.write(bytes);
        if (n != bytes.size()) {
            error_ = port_.errorString();
            return false;
        }
        port_.flush();
        return port_.isOpen();
    }

    QByteArray readAll() override
    {
        if (!port_.isOpen()) return {};
        port_.waitForReadyRead(0);   // take in what the device holds even if no event ran yet
        if (!port_.isOpen()) return {};
        return port_.readAll();
    }

    QString lastError() const override { return error_; }
    int portNumber() const override { return number_; }

private:
    // Opens the device at path (a link is followed to the device it names). The open does not wait
    // (QSerialPort opens non-blocking), so a device that vanished or never answers fails or opens at once.
    bool openPath(const QString& path, const QString& settings)
    {
        const QString device = QFileInfo(path).canonicalFilePath();
        port_.setPortName(device.isEmpty() ? path : device);
        if (!port_.open(QIODevice::ReadWrite)) {
            error_ = QStringLiteral("%1: %2").arg(path, port_.errorString());
            return false;
        }
        // "19200,n,8,1". On a pseudo-terminal some options fail although the port works: an option
        // error on a port that opened is not a failure.
        Q_UNUSED(settings);
        port_.setBaudRate(19200);
        port_.setParity(QSerialPort::NoParity);
        port_.setDataBits(QSerialPort::Data8);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        port_.clearError();
        error_.clear();
        return true;
    }

    QSerialPort port_;
    QString error_;
    int number_ = 0;
    bool throughLink_ = false;   // the last open went through the "COMn" link
};

SerialPortFactory& factory()
{
    static SerialPortFactory f;
    return f;
}

} // namespace

QString serialPortLink(int portNumber)
{
    if (!validPortNumber(portNumber)) return {};
    const QString local = QDir::current().absoluteFilePath(QStringLiteral("COM%1").arg(portNumber));
    // The entry itself counts, also a link whose device is gone for the moment.
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(QFile::encodeName(local).toStdString(), ec)))
        return local;
    return {};
}

QString serialPortPath(int portNumber)
{
    if (!validPortNumber(portNumber)) return {};
    const QString link = serialPortLink(portNumber);
    return link.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(portNumber - 1) : link;
}

std::unique_ptr<SerialPort> makeSerialPort()
{
    if (factory()) return factory()();
    return std::make_unique<ReopeningSerialPort>(std::make_unique<QtSerialPort>());
}

void setSerialPortFactory(SerialPortFactory f) { factory() = std::move(f); }

} // namespace platform
