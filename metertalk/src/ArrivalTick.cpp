#include "metertalk/ArrivalTick.h"

#include "metertalk/Comms.h"

ArrivalTick::ArrivalTick(CComms& comms, QObject* parent) : QObject(parent), m_comms(comms) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_comms.OnArrival(); });
}

void ArrivalTick::Follow(bool running) {
    if (running && !m_timer.isActive())
        m_timer.start();
    else if (!running && m_timer.isActive())
        m_timer.stop();
}
