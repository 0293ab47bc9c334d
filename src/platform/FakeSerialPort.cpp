#include "platform/FakeSerialPort.h"

namespace platform {

bool FakeSerialPort::open(int portNumber, const QString& settings)
{
    ++openCount;
    port = portNumber;
    settingsUsed = settings;
    if (failOpen) {
        error = QStringLiteral("Port %1 cannot be opened").arg(portNumber);
        opened = false;
        return false;
    }
    opened = true;
    return true;
}

bool FakeSerialPort::write(const QByteArray& bytes)
{
    if (!opened || failWrite) {
        error = QStringLiteral("Port is not open");
        return false;
    }
    written += bytes;
    writes << bytes;
    return true;
}

QByteArray FakeSerialPort::readAll()
{
    if (!opened) return {};
    QByteArray out;
    out.swap(incoming);
    return out;
}

} // namespace platform
