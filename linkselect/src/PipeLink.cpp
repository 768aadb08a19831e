#include "linkselect/PipeLink.h"

#include "linkselect/PipePlace.h"

#include <QLocalSocket>

std::shared_ptr<PipeLink> PipeLink::Open(const std::string& serverName, int timeoutMs) {
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(QString::fromStdString(PipeSocketPath(serverName)),
                            QIODevice::ReadWrite);
    if (!socket->waitForConnected(timeoutMs)) {
        return nullptr;
    }
    return std::make_shared<PipeLink>(std::move(socket));
}

PipeLink::PipeLink(std::unique_ptr<QLocalSocket> socket) : socket_(std::move(socket)) {}

PipeLink::~PipeLink() {
    Close();
}

bool PipeLink::IsOpen() const {
    // A pipe whose server has gone is closed once its last bytes have been read.
    return socket_ && socket_->isOpen() &&
           (socket_->state() == QLocalSocket::ConnectedState || socket_->bytesAvailable() > 0);
}

void PipeLink::Poll() {
    if (socket_->bytesToWrite() > 0) {
        socket_->flush();
    }
    // Moves what the server has sent into the socket's buffer without an event loop and
    // without waiting.
    if (socket_->bytesAvailable() == 0 && socket_->state() == QLocalSocket::ConnectedState) {
        socket_->waitForReadyRead(0);
    }
}

int32_t PipeLink::Read(uint8_t* buffer, int32_t max) {
    if (!IsOpen() || buffer == nullptr || max < 0) {
        return -1;
    }
    Poll();
    if (socket_->bytesAvailable() == 0 && socket_->state() != QLocalSocket::ConnectedState) {
        return -1; // the server has gone and nothing is left to read
    }
    const qint64 count = socket_->read(reinterpret_cast<char*>(buffer), max);
    return count < 0 ? -1 : static_cast<int32_t>(count);
}

int32_t PipeLink::Write(const uint8_t* data, int32_t length) {
    if (!IsOpen() || data == nullptr || length < 0 ||
        socket_->state() != QLocalSocket::ConnectedState) {
        return -1;
    }
    const qint64 count = socket_->write(reinterpret_cast<const char*>(data), length);
    socket_->flush();
    return count < 0 ? -1 : static_cast<int32_t>(count);
}

int32_t PipeLink::BytesWaiting() {
    if (!IsOpen()) {
        return -1;
    }
    Poll();
    const qint64 count = socket_->bytesAvailable();
    if (count == 0 && socket_->state() != QLocalSocket::ConnectedState) {
        return -1;
    }
    return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

void PipeLink::Close() {
    if (socket_ && socket_->state() != QLocalSocket::UnconnectedState) {
        socket_->abort();
    }
    if (socket_ && socket_->isOpen()) {
        socket_->close();
    }
}
