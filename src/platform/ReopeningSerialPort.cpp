#include "platform/ReopeningSerialPort.h"

#include "platform/Clock.h"

namespace platform {

ReopeningSerialPort::ReopeningSerialPort(std::unique_ptr<SerialPort> device) : device_(std::move(device)) {}

bool ReopeningSerialPort::open(int portNumber, const QString& settings)
{
    number_ = portNumber;
    settings_ = settings;
    lost_ = false;
    attempts_ = 0;
    wanted_ = device_->open(portNumber, settings);
    return wanted_;
}

void ReopeningSerialPort::close()
{
    wanted_ = false;
    lost_ = false;
    device_->close();
}

bool ReopeningSerialPort::write(const QByteArray& bytes)
{
    reopenWhenDue();
    return device_->write(bytes);
}

QByteArray ReopeningSerialPort::readAll()
{
    reopenWhenDue();
    return device_->readAll();
}

void ReopeningSerialPort::reopenWhenDue()
{
    if (!wanted_ || device_->isOpen()) return;
    const std::uint32_t now = Clock::current().milliseconds();
    if (!lost_) {
        // Just gone: the device needs a moment before it can be back.
        lost_ = true;
        lastTry_ = now;
        return;
    }
    if (elapsedMs(lastTry_, now) < std::int64_t(ReopenIntervalMs)) return;
    lastTry_ = now;
    ++attempts_;
    if (device_->reopen(number_, settings_)) {
        lost_ = false;
        attempts_ = 0;
        ++returns_;
    }
}

} // namespace platform
