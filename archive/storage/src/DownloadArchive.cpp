#include "archive/DownloadArchive.h"

#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"

DownloadArchive::DownloadArchive(const QString& location, const QString& name, bool all,
                                 std::function<void(const QString&)> tell)
    : m_location(location), m_name(name), m_all(all), m_tell(std::move(tell)) {}

DownloadArchive::~DownloadArchive() = default;

void DownloadArchive::Fail(const QString& message) {
    if (!m_failed && m_tell) {
        m_tell(message);
    }
    m_failed = true;
    m_store.reset();
}

void DownloadArchive::IndexArrived(const InstrumentFacts& facts, const std::string (&modeNames)[4],
                                   LogImage& image) {
    m_store.reset(new archive::SessionArchive);
    if (!m_store->Open(m_location)) {
        Fail(m_store->Error());
        return;
    }
    const qint64 instrument =
        m_store->Instrument(archive::IdentifyInstrument(facts, modeNames), m_name);
    m_download = instrument < 0 ? -1 : m_store->BeginDownload(instrument, "download");
    m_instrument = instrument;
    if (m_download < 0 || !m_store->RecordIndex(m_download, archive::IndexBytes(image))) {
        Fail(m_store->Error());
        return;
    }
    for (const archive::IndexedSession& s : archive::IndexedSessions(image)) {
        const qint64 id =
            !m_all && s.dated ? m_store->CompleteSession(instrument, s.slot, s.stamp) : -1;
        if (id >= 0) {
            m_held[s.slot] = id;
        }
    }
}

bool DownloadArchive::Restore(LogImage& image, int16_t slot) {
    const auto held = m_held.find(slot);
    if (!m_store || held == m_held.end()) {
        return false;
    }
    archive::LoadedSession session;
    if (!m_store->Load(held->second, session)) {
        Fail(m_store->Error());
        return false;
    }
    archive::RestoreSession(image, slot, session.name, session.sector, session.overrun);
    return true;
}

void DownloadArchive::SessionArrived(LogImage& image, int16_t slot) {
    if (!m_store) {
        return;
    }
    for (const archive::CapturedSession& session : archive::CaptureSessions(image, {slot})) {
        const archive::StoreResult result = m_store->Store(m_download, session);
        if (result == archive::StoreResult::Refused && m_tell) {
            m_tell(m_store->Error());
        } else if (result == archive::StoreResult::Failed) {
            Fail(m_store->Error());
            return;
        }
    }
}

void DownloadArchive::Finish() {
    if (m_store && !m_store->FinishDownload(m_download)) {
        Fail(m_store->Error());
    }
}
