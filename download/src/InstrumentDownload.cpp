#include "download/InstrumentDownload.h"

#include "compliance/SwitchOnStatus.h"

#include <QSize>
#include <QString>

#include "archive/DownloadArchive.h"
#include "core/InstrumentFacts.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/DownloadRun.h"
#include "download/ExitStatus.h"
#include "download/FilePaths.h"
#include "download/LinkChoice.h"
#include "download/MapOutput.h"
#include "download/OfflineOptions.h"
#include "download/OnwardTarget.h"
#include "download/ProgressBar.h"
#include "download/ReportOutput.h"
#include "linkselect/LinkSelection.h"
#include "metertalk/CommsEngine.h"
#include "report/Report.h"
#include "session/DownloadSettings.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"

namespace {

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir == ".") {
        return name;
    }
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

} // namespace

InstrumentDownload::InstrumentDownload(DownloadOptions options, ProgressBar& progress, int tickMs,
                                       std::unique_ptr<OwnFolder> ownFolder)
    : m_options(std::move(options)), m_progress(progress), m_ownFolder(std::move(ownFolder)),
      m_selection(new LinkSelection), m_links(new LinkChoice(m_options)),
      m_session(new InstrumentSession) {
    m_session->SetTickPeriod(tickMs);
    m_links->Install(*m_selection);
}

InstrumentDownload::~InstrumentDownload() {
    // The run is the session's listener: it goes first, told so.
    m_session->SetListener(nullptr);
}

bool InstrumentDownload::Open(UserPrompt& prompt, HeldPrompt& held) {
    m_selection->SetUserPrompt(&held);
    m_session->Engine().SetUserPrompt(&held);
    const bool opened = m_session->Connect(*m_selection, m_links->App());
    m_selection->SetUserPrompt(&prompt);
    m_session->Engine().SetUserPrompt(&prompt);
    return opened;
}

bool InstrumentDownload::Start(std::function<void(int)> done) {
    m_done = std::move(done);
    // Made once the instrument is there and before anything is uploaded: a download that cannot
    // be saved is not started. A folder of the instrument's own waits for its name.
    std::string message;
    if (!m_ownFolder && !MakeFolders(m_options.outDir, message, &m_madeFolders)) {
        PrintError(message);
        return false;
    }
    InstrumentSession& session = *m_session;
    const DownloadSettings settings = ReadDownloadSettings();
    // Alone, the download names a serial-less instrument as the program does; among several (a
    // run of several links, the watcher's visits) only --instrument does.
    m_options.instrumentName = ArchiveNameFor(m_options.instrumentName, settings,
                                              !m_ownFolder && m_hooks.placement == nullptr);
    m_run.reset(
        new DownloadRun(m_options, session.Image(), session.Report(), m_progress, m_hooks.tree));
    DownloadRun& run = *m_run;
    session.SetListener(&run);
    run.Attach(session.Reader());
    run.SetPlacement(m_hooks.placement);
    if (m_hooks.messages) {
        run.SetMessageSink(m_hooks.messages);
    }
    if (m_hooks.planReady) {
        run.SetPlanReady(m_hooks.planReady);
    }
    if (m_hooks.pdfReports) {
        WritePdfReports();
    }
    if (m_ownFolder) {
        run.SetMessagePrefix(LinkName());
    }
    KeepInArchive(settings);
    run.Prepare();
    run.SetChartWriter(
        [&session](const std::vector<int16_t>& sessionSlots, const std::string& path) {
            // The headings of the report just written: one day's, or the slot's.
            ReportState& report = session.Report();
            const ChartJob job{sessionSlots, report.HeadingDay, report.HeadingMonth};
            return WriteChartFile(session.Image(), report, job, path,
                                  QSize(kChartWidth, kChartHeight)) == kExitOk;
        });
    run.SetMapWriter([&session](const std::vector<int16_t>& sessionSlots, const std::string& path) {
        ReportState& report = session.Report();
        std::vector<SessionValues> sessions;
        for (int16_t slot : sessionSlots) {
            sessions.push_back(DecodeSessionValues(session.Image(), slot, report.ModeNames));
        }
        MapFileRequest request;
        request.path = path;
        request.filter = ReportFilter(report);
        return WriteMapFile(sessions, request) == kExitOk;
    });
    run.SetFinish([this](int status) { Ended(status); });
    // Fast uploads: what a notification decided starts at once instead of at the next tick.
    session.SetFastUpload(m_options.fast || settings.fastUpload);
    connect(&session, &InstrumentSession::Ticked, this, [this] {
        if (!m_run->Finished()) {
            m_run->OnTick();
        }
    });
    if (m_ownFolder) {
        // An instrument that did not tell who it is (its identity read went unanswered) has
        // still come on line, and is downloaded into a folder of its own all the same.
        connect(&session, &InstrumentSession::Connected, this, [this](bool ok) {
            if (ok || m_session->Reader().StartUpComplete()) {
                PlaceInOwnFolder();
            }
        });
    }
    return true;
}

void InstrumentDownload::WritePdfReports() {
    InstrumentSession& session = *m_session;
    // The map page's survey record gives each session's register status where the archive this
    // download keeps knows the instrument.
    m_run->SetReportPdfWriter(
        [this, &session](const std::vector<int16_t>& sessionSlots, const std::string& path) {
            ReportState& report = session.Report();
            const ChartJob job{sessionSlots, report.HeadingDay, report.HeadingMonth};
            const std::string instrument =
                InstrumentCalled(session.Facts().serialNumber, m_options.instrumentName);
            const std::vector<std::string> statuses = compliance::SwitchOnStatusesOf(
                session.Reader().Keeper(), session.Reader().Table(), sessionSlots);
            return WriteReportPdfFile(session.Image(), session.Reader().Table(), report, job, path,
                                      instrument, std::string(), statuses) == kExitOk;
        });
}

void InstrumentDownload::KeepInArchive(const DownloadSettings& settings) {
    // Settings.ini may name the archive (a team's server) and turn archiving off.
    if (!KeepsArchive(m_options, settings)) {
        return;
    }
    const std::string archiveAt = LocalArchiveOf(m_options, settings);
    DownloadRun& run = *m_run;
    run.SetArchiving(true);
    m_session->Reader().SetKeeperMaker([this, archiveAt,
                                        &run]() -> std::unique_ptr<DownloadKeeper> {
        return std::make_unique<DownloadArchive>(
            QString::fromLocal8Bit(archiveAt.c_str()),
            QString::fromLocal8Bit(m_options.instrumentName.c_str()), m_options.all,
            [&run](const QString& text) {
                run.ShowMessage(MessageKind::Error, "archive: " + text.toLocal8Bit().toStdString() +
                                                        "; the download goes on without it");
            });
    });
}

void InstrumentDownload::PlaceInOwnFolder() {
    // The instrument has said who it is; its folder is made before its index is asked for, once.
    if (m_placed) {
        return;
    }
    m_placed = true;
    const std::string folder = m_ownFolder->claim(FolderName(Name()));
    const std::string dir = JoinPath(m_options.outDir, folder);
    m_run->SetMessagePrefix(Name());
    m_run->SetTreeHeading(LinkName() + " (" + Name() + "):");
    std::string message;
    if (!MakeFolders(dir, message, &m_madeFolders)) {
        m_run->Abort(kExitOutputFailed, message);
        return;
    }
    m_run->SetOutput(dir, JoinPath(dir, NameOfPath(m_options.dumpPath)));
}

void InstrumentDownload::Ended(int status) {
    m_status = status;
    m_session->SuspendTicks();
    // A run that wrote nothing leaves no folder behind.
    RemoveEmptyFolders(m_madeFolders);
    if (m_done) {
        m_done(status);
    }
}

void InstrumentDownload::KeepIdle() {
    if (m_status >= 0 && m_session->LinkOpen()) {
        m_session->ResumeTicks();
    }
}

void InstrumentDownload::Interrupt() {
    if (m_run) {
        m_run->Interrupt();
    }
}

void InstrumentDownload::InterruptBetweenRequests() {
    if (m_run) {
        m_run->InterruptBetweenRequests();
    }
}

void InstrumentDownload::Close() {
    m_session->Disconnect();
    m_links->Release();
}

std::string InstrumentDownload::FailureHint() const {
    return m_links->FailureHint();
}

bool InstrumentDownload::LinkHeld() const {
    return !m_links->Holder().empty();
}

std::string InstrumentDownload::LinkName() const {
    return m_links->LinkName();
}

std::string InstrumentDownload::Name() const {
    const std::string called =
        InstrumentCalled(m_session->Facts().serialNumber, m_options.instrumentName);
    return called.empty() ? LinkName() : called;
}

int InstrumentDownload::Status() const {
    return m_status >= 0 ? m_status : m_run ? m_run->Status() : kExitNoLink;
}

std::string InstrumentDownload::Summary() const {
    return m_run ? m_run->Summary() : std::string();
}
