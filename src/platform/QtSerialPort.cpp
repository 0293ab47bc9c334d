// SerialPort over QSerialPort.
#include "platform/ReopeningSerialPort.h"
#include "platform/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// What tells the device behind a port from another one that later takes its name.
//  - A USB adapter: its vendor, product and serial number from sysfs (the device chain of its tty).
//  - A pseudo-terminal: none can be read, and one whose other side closed never comes back; a device of the
//    same name later is another program's. It counts as the unit again only behind a "COMn" entry made anew
//    since the open (a new inode or change time of the link), as the program that plays the unit makes it.
//  - Anything else (a built-in port, an adapter without a serial number): the device number.
struct DeviceIdentity {
    QString usb;          // "vendor:product:serial", empty when none can be read
    dev_t device = 0;
    bool pseudoTerminal = false;
    ino_t linkInode = 0;  // the "COMn" entry the device was opened through (0: none)
    struct timespec linkChanged {};

    static DeviceIdentity of(const QString& devicePath, const QString& link)
    {
        DeviceIdentity id;
        struct stat st {};
        if (::stat(QFile::encodeName(devicePath).constData(), &st) == 0 && S_ISCHR(st.st_mode)) {
            id.device = st.st_rdev;
            // Unix 98 pseudo-terminal slaves: majors 136..143.
            id.pseudoTerminal = major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
        }
        if (!link.isEmpty() && ::lstat(QFile::encodeName(link).constData(), &st) == 0) {
            id.linkInode = st.st_ino;
            id.linkChanged = st.st_ctim;
        }
        id.usb = usbIdentity(QFileInfo(devicePath).fileName());
        return id;
    }

    // The serial number of the USB device the tty belongs to, with its vendor and product.
    static QString usbIdentity(const QString& ttyName)
    {
        if (ttyName.isEmpty()) return {};
        QDir dir(QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(ttyName)).canonicalFilePath());
        if (dir.path().isEmpty() || !dir.exists()) return {};
        auto read = [&dir](const char* name) {
            QFile f(dir.filePath(QLatin1String(name)));
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
        };
        for (int up = 0; up < 8 && dir.path().startsWith(QLatin1String("/sys/devices/")); ++up) {
            if (QFile::exists(dir.filePath(QStringLiteral("idVendor")))) {
                const QString serial = read("serial");
                if (serial.isEmpty()) return {};
                return read("idVendor") + QLatin1Char(':') + read("idProduct") + QLatin1Char(':') + serial;
            }
            if (!dir.cdUp()) break;
        }
        return {};
    }

    // True when `now` (what the port's name leads to at a reopen) is the device this identity was taken of.
    bool sameDevice(const DeviceIdentity& now) const
    {
        if (!usb.isEmpty() || !now.usb.isEmpty()) return usb == now.usb;
        if (pseudoTerminal || now.pseudoTerminal)
            return now.linkInode != 0
                   && (now.linkInode != linkInode || now.linkChanged.tv_sec != linkChanged.tv_sec
                       || now.linkChanged.tv_nsec != linkChanged.tv_nsec);
        return device == now.device;
    }
};

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
        const QString path = throughLink_ ? link : serialPortPath(portNumber);
        if (!openPath(path, settings)) return false;
        identity_ = DeviceIdentity::of(port_.portName(), link);
        return true;
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
        // Only the unit's own device: another one that took the name is not read as this unit.
        const QString device = QFileInfo(link).canonicalFilePath();
        const DeviceIdentity now = DeviceIdentity::of(device, link);
        if (device.isEmpty() || !identity_.sameDevice(now)) {
            error_ = QStringLiteral("COM%1: another device").arg(portNumber);
            return false;
        }
        if (!openPath(link, settings)) return false;
        identity_ = now;
        return true;
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
    DeviceIdentity identity_;    // of the device the port was last opened on
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
