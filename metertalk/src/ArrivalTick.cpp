#include "metertalk/ArrivalTick.h"

#include <utility>

ArrivalTick::ArrivalTick(std::function<void()> arrival, QObject* parent)
    : QObject(parent), m_arrival(std::move(arrival)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_arrival(); });
}

void ArrivalTick::Follow(bool running) {
    if (running && !m_timer.isActive())
        m_timer.start();
    else if (!running && m_timer.isActive())
        m_timer.stop();
}
