#include "PipeServer.h"

#include "linkselect/PipePlace.h"

PipeServer::PipeServer(const QString& name, sim::Instrument& instrument, LinkPump& pump,
                       sim::SimLog& log, QObject* parent)
    : QObject(parent), m_name(QString::fromStdString(PipeSocketPath(name.toStdString()))),
      m_instrument(instrument), m_pump(pump), m_log(log) {
    // Only this user may connect: nobody else can read the memory or talk to the instrument.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &PipeServer::OnNewConnection);
}

PipeServer::~PipeServer() {
    m_pump.SetWriter(nullptr);
    if (m_client != nullptr)
        m_client->abort();
    m_server.close();
}

bool PipeServer::Start(QString& error) {
    // A server that was killed leaves its socket file behind, and clients then get "connection
    // refused"; clear it first.
    QLocalServer::removeServer(m_name);
    if (!m_server.listen(m_name)) {
        error = m_server.errorString();
        return false;
    }
    return true;
}

void PipeServer::OnNewConnection() {
    if (m_client == nullptr)
        TakeNext();
}

void PipeServer::TakeNext() {
    if (!m_server.hasPendingConnections())
        return;
    m_client = m_server.nextPendingConnection();
    connect(m_client, &QLocalSocket::readyRead, this, &PipeServer::OnReadyRead);
    connect(m_client, &QLocalSocket::disconnected, this, &PipeServer::OnDisconnected);
    m_instrument.NewClient();
    m_pump.Clear();
    QLocalSocket* client = m_client;
    m_pump.SetWriter([client](const uint8_t* data, qint64 length) -> qint64 {
        return client->write(reinterpret_cast<const char*>(data), length);
    });
    m_log.Note("client connected");
    // Bytes may have arrived while the client waited for its turn.
    if (m_client->bytesAvailable() > 0)
        OnReadyRead();
}

void PipeServer::OnReadyRead() {
    if (m_client == nullptr)
        return;
    char buffer[512];
    for (;;) {
        const qint64 n = m_client->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_instrument.Receive(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
    }
}

void PipeServer::OnDisconnected() {
    if (m_client == nullptr)
        return;
    m_pump.SetWriter(nullptr);
    m_pump.Clear();
    m_client->disconnect(this);
    m_client->deleteLater();
    m_client = nullptr;
    m_log.Note("client left; waiting for the next");
    TakeNext();
}
