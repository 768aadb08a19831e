#include "linkselect/SerialLink.h"

#include <QSerialPort>

#include <poll.h>

namespace {

// Whether the device behind an open port has gone: a pulled cable, a dropped Bluetooth link, or
// the far end of a pseudo-terminal closed. Qt reports some of these only once it reads.
bool DeviceGone(QSerialPort& port) {
    pollfd watched{static_cast<int>(port.handle()), POLLIN, 0};
    return poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

QString SystemPortName(const std::string& portName) {
    const QString name = QString::fromStdString(portName);
#ifdef Q_OS_WIN
    return name.startsWith(QLatin1String("\\\\.\\")) ? name : QLatin1String("\\\\.\\") + name;
#else
    return name.startsWith(QLatin1Char('/')) ? name : QLatin1String("/dev/") + name;
#endif
}

} // namespace

std::shared_ptr<SerialLink> SerialLink::Open(const std::string& portName) {
    if (portName.empty()) {
        return nullptr;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(SystemPortName(portName));
    if (!port->open(QIODevice::ReadWrite)) {
        return nullptr;
    }
    // What the instrument sent after the last program let go of the port (the end of an upload
    // that program no longer waited for) would be read as the answer to this one's first request.
    port->clear(QSerialPort::Input);
    return std::make_shared<SerialLink>(std::move(port));
}

SerialLink::SerialLink(std::unique_ptr<QSerialPort> port) : port_(std::move(port)) {}

SerialLink::~SerialLink() {
    Close();
}

bool SerialLink::IsOpen() const {
    return port_ && port_->isOpen();
}

int32_t SerialLink::Read(uint8_t* buffer, int32_t max) {
    if (!IsOpen() || buffer == nullptr || max < 0) {
        return -1;
    }
    if (port_->bytesToWrite() > 0) {
        port_->flush();
    }
    // Without an event loop nothing moves bytes from the driver into the port's buffer; a zero
    // wait does it here and never blocks.
    if (port_->bytesAvailable() == 0) {
        port_->waitForReadyRead(0);
        if (port_->error() == QSerialPort::ResourceError ||
            (port_->bytesAvailable() == 0 && DeviceGone(*port_))) {
            // The device went away (a cable pulled out, a Bluetooth link dropped): the link is
            // closed, so that whoever holds it sees at once that no instrument is there.
            port_->close();
            return -1;
        }
        port_->clearError();
    }
    const qint64 count = port_->read(reinterpret_cast<char*>(buffer), max);
    return count < 0 ? -1 : static_cast<int32_t>(count);
}

int32_t SerialLink::Write(const uint8_t* data, int32_t length) {
    if (!IsOpen() || data == nullptr || length < 0) {
        return -1;
    }
    const qint64 count = port_->write(reinterpret_cast<const char*>(data), length);
    port_->flush();
    return count < 0 ? -1 : static_cast<int32_t>(count);
}

bool SerialLink::SetModemLine(ModemLine line) {
    if (!IsOpen()) {
        return false;
    }
    bool done = false;
    switch (line) {
    case ModemLine::SetRts:
        done = port_->setRequestToSend(true);
        break;
    case ModemLine::ClrRts:
        done = port_->setRequestToSend(false);
        break;
    case ModemLine::SetDtr:
        done = port_->setDataTerminalReady(true);
        break;
    case ModemLine::ClrDtr:
        done = port_->setDataTerminalReady(false);
        break;
    }
    // A refused line change (no modem lines on this device) must not leave the port in error.
    port_->clearError();
    return done;
}

bool SerialLink::Configure(const LineSettings& settings) {
    if (!IsOpen()) {
        return false;
    }
    QSerialPort::Parity parity = QSerialPort::NoParity;
    if (settings.parity == Parity::Odd) {
        parity = QSerialPort::OddParity;
    } else if (settings.parity == Parity::Even) {
        parity = QSerialPort::EvenParity;
    }
    bool done = port_->setBaudRate(settings.baud);
    done = port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) && done;
    done = port_->setParity(parity) && done;
    done =
        port_->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        done;
    done = port_->setFlowControl(QSerialPort::NoFlowControl) && done;
    port_->clearError();
    SetModemLine(ModemLine::SetDtr);
    SetModemLine(ModemLine::SetRts);
    return done;
}

void SerialLink::SetQueueSizes(int32_t input, int32_t /*output*/) {
    // Qt keeps its own input buffer in front of the driver's; its size is the nearest thing to
    // the driver queue. Output is written through without a limit.
    if (IsOpen() && input > 0) {
        port_->setReadBufferSize(input);
    }
}

void SerialLink::Close() {
    if (IsOpen()) {
        port_->close();
    }
}

Link::LineSettings SerialLink::CurrentSettings() const {
    LineSettings settings;
    if (!IsOpen()) {
        return settings;
    }
    settings.baud = port_->baudRate();
    settings.dataBits = port_->dataBits();
    settings.parity = port_->parity() == QSerialPort::OddParity    ? Parity::Odd
                      : port_->parity() == QSerialPort::EvenParity ? Parity::Even
                                                                   : Parity::None;
    settings.stopBits = port_->stopBits() == QSerialPort::TwoStop ? 2 : 1;
    return settings;
}
