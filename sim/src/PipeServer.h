#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include "LinkPump.h"
#include "sim/Instrument.h"
#include "sim/SimLog.h"

// Serves the instrument on a local pipe, one client at a time; a client that connects while
// another is served waits until that one leaves.
class PipeServer : public QObject {
    Q_OBJECT
public:
    PipeServer(const QString& name, sim::Instrument& instrument, LinkPump& pump, sim::SimLog& log,
               QObject* parent = nullptr);
    ~PipeServer() override;

    bool Start(QString& error);
    // The socket path (or the pipe name on Windows).
    QString FullName() const { return m_server.fullServerName(); }

private slots:
    void OnNewConnection();
    void OnReadyRead();
    void OnDisconnected();

private:
    void TakeNext();

    QString m_name;
    sim::Instrument& m_instrument;
    LinkPump& m_pump;
    sim::SimLog& m_log;
    QLocalServer m_server;
    QLocalSocket* m_client = nullptr;
};
