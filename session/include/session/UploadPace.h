#pragma once

#include "metertalk/CommsEvent.h"

class CommsEngine;
class SessionReader;

// The pace of a download, decided here once for the program, `tavon-datalog download`, the
// benchmark and the simulated downloads of the tests: what each 100 ms tick does, what each short
// tick of a fast upload does and when those run, and how the engine's events reach the reader.
//
// It reads no clock: its owner says when a tick or a short tick is due (a timer, a loop that
// sleeps, a loop that only counts), and hands over the engine's events in the order they came,
// each after the engine call that told it has returned.
class UploadPace {
public:
    enum class TickOutcome { Ticked, LinkLost };

    UploadPace(CommsEngine& engine, SessionReader& reader);

    // Fast uploads take each answer as it arrives instead of at the next tick.
    void SetFast(bool fast) { m_fast = fast; }
    bool Fast() const { return m_fast; }

    // The owner opened the link, or closed it (nothing is said to the reader then).
    void LinkOpened() { m_linkOpen = true; }
    void LinkClosed() { m_linkOpen = false; }
    bool LinkOpen() const { return m_linkOpen; }

    // The 100 ms tick: the engine counts its time-outs down and reads the link. A link found
    // closed (a pipe whose program has gone, a port pulled out) ends the request under way at
    // once instead of leaving it to its time-outs: LinkLost, told once.
    TickOutcome OnTick();
    // The short tick: the bytes on the link handed to the engine, no time-out counted.
    void OnArrival();
    // Whether short ticks run now, while the 100 ms ticks do: fast, with a link, and a request
    // running or waiting. Asked again after every tick and every event.
    bool FollowsArrivals() const;
    // One of the engine's events, for the reader. A reply that failed its checksum was dropped
    // by the engine; the reader has it asked for again.
    void OnEngineEvent(CommsEvent event);

private:
    CommsEngine& m_engine;
    SessionReader& m_reader;
    bool m_fast = false;
    bool m_linkOpen = false;
};
