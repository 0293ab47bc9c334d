#pragma once
// A serial port for tests: records what is written, hands out what the test queued as received.
#include "platform/SerialPort.h"
#include <QList>

namespace platform {

class FakeSerialPort final : public SerialPort {
public:
    bool open(int portNumber, const QString& settings) override;
    bool isOpen() const override { return opened; }
    void close() override { opened = false; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString lastError() const override { return error; }
    int portNumber() const override { return port; }

    // Test side.
    void receive(const QByteArray& bytes) { incoming += bytes; }
    QByteArray written;            // every byte written, in order
    QList<QByteArray> writes;      // one entry per write call
    QByteArray incoming;
    QString settingsUsed;
    bool opened = false;
    bool failOpen = false;         // open() fails
    bool failWrite = false;        // write() fails
    int port = 0;
    QString error;
    int openCount = 0;
};

} // namespace platform
