#include "DownloadArchive.h"

#include <algorithm>

#include "CommandLine.h"
#include "DownloadPlan.h"
#include "archive/SessionArchive.h"

DownloadArchive::DownloadArchive(const Options& options) : m_options(options) {}

DownloadArchive::~DownloadArchive() = default;

void DownloadArchive::Fail(const QString& message) {
    PrintError("archive: " + message.toLocal8Bit().toStdString() +
               "; the download goes on without it");
    m_failed = true;
    m_store.reset();
}

void DownloadArchive::IndexArrived(const QByteArray& driverText, const QByteArray& configBlock,
                                   const std::string (&modeNames)[4], LogImage& image) {
    if (!m_options.enabled) {
        return;
    }
    m_store.reset(new archive::SessionArchive);
    if (!m_store->Open(m_options.location)) {
        Fail(m_store->Error());
        return;
    }
    archive::InstrumentIdentity identity =
        archive::IdentifyInstrument(driverText, configBlock, modeNames);
    if (identity.fingerprint.isEmpty()) {
        identity = archive::NamedInstrument(m_options.instrumentName);
    }
    const qint64 instrument = m_store->Instrument(identity, m_options.instrumentName);
    m_download = instrument < 0 ? -1 : m_store->BeginDownload(instrument, "download");
    if (m_download < 0 || !m_store->RecordIndex(m_download, archive::IndexBytes(image))) {
        Fail(m_store->Error());
        return;
    }
    for (const archive::IndexedSession& s : archive::IndexedSessions(image)) {
        if (!m_options.all && s.dated && m_store->HoldsComplete(instrument, s.slot, s.stamp)) {
            m_held.insert(s.slot);
        }
    }
}

int DownloadArchive::DropHeld(DownloadPlan& plan) const {
    int dropped = 0;
    auto held = [this](int16_t slot) { return Held(slot); };
    plan.jobs.erase(std::remove_if(plan.jobs.begin(), plan.jobs.end(),
                                   [&](const ReportJob& job) {
                                       // A day with anything new is downloaded whole, so that
                                       // its report is the whole day.
                                       const bool all = std::all_of(job.sessionSlots.begin(),
                                                                    job.sessionSlots.end(), held);
                                       dropped +=
                                           all ? static_cast<int>(job.sessionSlots.size()) : 0;
                                       return all && !job.sessionSlots.empty();
                                   }),
                    plan.jobs.end());
    return dropped;
}

void DownloadArchive::SessionArrived(LogImage& image, int16_t slot) {
    if (!m_store) {
        return;
    }
    const std::vector<archive::CapturedSession> captured = archive::CaptureSessions(image, {slot});
    for (const archive::CapturedSession& session : captured) {
        if (m_store->Store(m_download, session) == archive::StoreResult::Failed) {
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
