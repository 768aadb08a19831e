#pragma once

#include "metertalk/MeterTalkExport.h"

#include <QObject>
#include <QTimer>

#include <functional>

// Fast uploads: a short tick that has the bytes on the link handed to the engine while a transfer
// runs, so that each answer is handled, and the next request goes out, as soon as the answer is
// there instead of at the next 100 ms tick. The caller's 100 ms OnTimer goes on beside it and
// keeps counting the time-outs in real time.
//
// A short tick rather than the link's ready-read signal: the links read by polling, so that the
// engine and its tests need no event loop, and a millisecond of delay per answer is well inside
// the time one frame takes on the wire.
class METERTALK_EXPORT ArrivalTick : public QObject {
public:
    static constexpr int kIntervalMs = 1;

    // `arrival` runs at every short tick (the owner's pace hands the link's bytes to the engine).
    explicit ArrivalTick(std::function<void()> arrival, QObject* parent = nullptr);

    // Runs the short tick while `running` and stops it otherwise; cheap to call after every
    // notification and every 100 ms tick.
    void Follow(bool running);

private:
    std::function<void()> m_arrival;
    QTimer m_timer;
};
