#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include "LinkPump.h"
#include "sim/Instrument.h"

// Serves the instrument on the master side of a pseudo-terminal; the program opens the other
// side as a serial port.
class PtyServer : public QObject {
    Q_OBJECT
public:
    PtyServer(sim::Instrument& instrument, LinkPump& pump, QObject* parent = nullptr);
    ~PtyServer() override;

    bool Start(QString& error);
    QString PortPath() const { return m_path; }

private slots:
    void OnReadable();

private:
    sim::Instrument& m_instrument;
    LinkPump& m_pump;
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier* m_notifier = nullptr;
};
