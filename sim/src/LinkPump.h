#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

#include "sim/OutputQueue.h"

// Moves what the instrument sends from its queue to the link, paced like a serial line when a
// baud rate is given. The link is a writer function, so the pipe and the pseudo-terminal share it.
class LinkPump : public QObject, public sim::ByteSink {
    Q_OBJECT
public:
    // Returns the number of bytes the link took (0 when it is full for now), -1 on failure.
    using Writer = std::function<qint64(const uint8_t*, qint64)>;

    explicit LinkPump(long baud, QObject* parent = nullptr);

    bool Put(const uint8_t* data, size_t length) override;
    // No writer: what is queued waits; Clear() forgets it.
    void SetWriter(Writer writer);
    void Clear();
    size_t Waiting() const { return m_queue.Size(); }

private slots:
    void Pump();

private:
    sim::OutputQueue m_queue;
    sim::Pacer m_pacer;
    QTimer m_timer;
    QElapsedTimer m_clock;
    Writer m_writer;
};
