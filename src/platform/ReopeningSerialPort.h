#pragma once
// A serial port that comes back with its device.
//
// When the device behind an open port goes away (adapter unplugged, unit switched off, simulator ended),
// the port underneath closes itself on its first read or write error. This port then opens the same port
// number again, with the same settings, every ReopenIntervalMs of the millisecond clock, at its owner's
// next read or write (the unit screens read every 500 ms, so no timer of its own is needed). Attempts are
// quiet: no message, no log line; a failed one waits for the next interval. The owner keeps the same
// object throughout, so what arrives after a reopen flows into the same poll.
//
// A port its owner closed, or whose last open by the owner failed, is left closed.
#include "platform/SerialPort.h"

#include <cstdint>
#include <memory>

namespace platform {

class ReopeningSerialPort final : public SerialPort {
public:
    static constexpr std::uint32_t ReopenIntervalMs = 2500;

    explicit ReopeningSerialPort(std::unique_ptr<SerialPort> device);

    bool open(int portNumber, const QString& settings = QStringLiteral("19200,n,8,1")) override;
    bool isOpen() const override { return device_->isOpen(); }
    void close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString lastError() const override { return device_->lastError(); }
    int portNumber() const override { return device_->portNumber(); }
    int returns() const override { return returns_; }

    // True while the port waits for its device to come back.
    bool waitingForDevice() const { return wanted_ && !device_->isOpen(); }
    // Opens tried since the device was lost (0 again once it is back).
    int reopenAttempts() const { return attempts_; }

private:
    // Notices a lost device and, when an interval has passed since the loss or the last attempt, opens
    // the port again.
    void reopenWhenDue();

    std::unique_ptr<SerialPort> device_;
    QString settings_;
    int number_ = 0;
    bool wanted_ = false;      // opened by the owner and not closed by it since
    bool lost_ = false;        // the device's loss has been noticed
    std::uint32_t lastTry_ = 0;
    int attempts_ = 0;
    int returns_ = 0;
};

} // namespace platform
