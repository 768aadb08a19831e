#pragma once

#include "metertalk/Export.h"

#include <QObject>
#include <QTimer>

class CommsEngine;

// Fast uploads: a short tick that hands the bytes on the link to the engine while a transfer
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

    explicit ArrivalTick(CommsEngine& engine, QObject* parent = nullptr);

    // Runs the short tick while `running` and stops it otherwise; cheap to call after every
    // notification and every 100 ms tick.
    void Follow(bool running);

private:
    CommsEngine& m_engine;
    QTimer m_timer;
};
