#include "session/UploadPace.h"

#include "metertalk/CommsEngine.h"
#include "session/MeterTalkComms.h"
#include "session/SessionReader.h"

UploadPace::UploadPace(CommsEngine& engine, SessionReader& reader)
    : m_engine(engine), m_reader(reader) {}

UploadPace::TickOutcome UploadPace::OnTick() {
    if (!m_linkOpen) {
        return TickOutcome::Ticked;
    }
    m_engine.OnTimer();
    if (m_engine.LinkOpen()) {
        return TickOutcome::Ticked;
    }
    m_linkOpen = false;
    m_reader.OnLinkLost();
    return TickOutcome::LinkLost;
}

void UploadPace::OnArrival() {
    m_engine.OnArrival();
}

bool UploadPace::FollowsArrivals() const {
    return m_fast && m_linkOpen && !m_reader.Idle();
}

void UploadPace::OnEngineEvent(CommsEvent event) {
    if (event == CommsEvent::ChecksumError) {
        m_reader.OnChecksumError();
    } else {
        // FrameStart says nothing to the reader.
        DispatchCommsEvent(m_reader, event);
    }
}
