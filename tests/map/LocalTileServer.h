#pragma once

// A tile server in the test's own process: plain HTTP on 127.0.0.1, one answer per connection,
// each path answered as the test set it up (404 for the others). It notes what it was asked.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class LocalTileServer : public QTcpServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };

    LocalTileServer();
    // The port it listens on, for the address template.
    QString Base() const;
    void Serve(const QString& path, const Answer& answer) { m_answers[path] = answer; }
    // Takes requests in and never answers them, as a server that hangs.
    void Mute() { m_mute = true; }

    const QStringList& Paths() const { return m_paths; }
    const QStringList& Agents() const { return m_agents; }

private:
    void Take();

    QHash<QString, Answer> m_answers;
    bool m_mute = false;
    QStringList m_paths;
    QStringList m_agents;
};
