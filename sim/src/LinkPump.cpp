#include "LinkPump.h"

LinkPump::LinkPump(long baud, QObject* parent) : QObject(parent), m_pacer(baud) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LinkPump::Pump);
    m_clock.start();
}

bool LinkPump::Put(const uint8_t* data, size_t length) {
    if (!m_queue.Put(data, length))
        return false;
    if (!m_timer.isActive())
        m_timer.start(0);
    return true;
}

void LinkPump::SetWriter(Writer writer) {
    m_writer = std::move(writer);
    if (m_writer && m_queue.Size() > 0 && !m_timer.isActive())
        m_timer.start(0);
}

void LinkPump::Clear() {
    m_queue.Clear();
    m_pacer.Idle();
}

void LinkPump::Pump() {
    if (!m_writer || m_queue.Size() == 0) {
        m_pacer.Idle();
        return;
    }
    uint8_t chunk[4096];
    const size_t allowed = m_pacer.Allowance(m_clock.nsecsElapsed(), m_queue.Size());
    const size_t n = m_queue.Peek(chunk, allowed < sizeof chunk ? allowed : sizeof chunk);
    if (n > 0) {
        const qint64 taken = m_writer(chunk, static_cast<qint64>(n));
        if (taken < 0) {
            // The link failed; the next client starts afresh.
            Clear();
            return;
        }
        m_queue.Drop(static_cast<size_t>(taken));
        m_pacer.Sent(static_cast<size_t>(taken));
    }
    if (m_queue.Size() == 0) {
        m_pacer.Idle();
        return;
    }
    // Paced: come back when about a millisecond's worth is due; a full link: shortly.
    m_timer.start(m_pacer.Paced() || n == 0 ? 1 : 0);
}
