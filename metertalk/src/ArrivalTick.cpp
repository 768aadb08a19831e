#include "metertalk/ArrivalTick.h"

#include "metertalk/CommsEngine.h"

ArrivalTick::ArrivalTick(CommsEngine& engine, QObject* parent) : QObject(parent), m_engine(engine) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_engine.OnArrival(); });
}

void ArrivalTick::Follow(bool running) {
    if (running && !m_timer.isActive())
        m_timer.start();
    else if (!running && m_timer.isActive())
        m_timer.stop();
}
