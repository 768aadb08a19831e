#include "InstrumentDownload.h"

#include <QSize>
#include <QString>

#include "ChartOutput.h"
#include "CommandLine.h"
#include "DownloadRun.h"
#include "ExitStatus.h"
#include "LinkChoice.h"
#include "OfflineOptions.h"
#include "ProgressBar.h"
#include "ReportOutput.h"
#include "app/SessionBrowser.h"
#include "archive/DownloadArchive.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/Settings.h"
#include "metertalk/CommsEngine.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"

InstrumentDownload::InstrumentDownload(DownloadOptions options, ProgressBar& progress, int tickMs)
    : m_options(std::move(options)), m_progress(progress), m_selection(new LinkSelection),
      m_links(new LinkChoice(m_options)), m_session(new InstrumentSession) {
    m_session->SetTickPeriod(tickMs);
    m_links->Install(*m_selection);
}

InstrumentDownload::~InstrumentDownload() {
    // The run is the session's view: it goes first, told so.
    m_session->SetView(nullptr);
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
    // Made once the instrument is there and before anything is uploaded: a download that cannot
    // be saved is not started.
    std::string message;
    if (!MakeFolders(m_options.outDir, message)) {
        PrintError(message);
        return false;
    }
    InstrumentSession& session = *m_session;
    m_run.reset(new DownloadRun(m_options, session.Image(), session.Report(), m_progress, stdout));
    DownloadRun& run = *m_run;
    session.SetView(&run);
    run.Attach(session.Browser());
    // Settings.ini may name the archive (a team's server) and turn archiving off.
    const std::string archiveAt =
        m_options.archiveAt.empty() ? ReadSetting("Archive") : m_options.archiveAt;
    if (m_options.archive && ReadSetting("Archive Downloads") != "FALSE") {
        m_keeper = std::make_unique<DownloadArchive>(
            QString::fromLocal8Bit(archiveAt.c_str()),
            QString::fromLocal8Bit(m_options.instrumentName.c_str()), m_options.all,
            [](const QString& text) {
                PrintError("archive: " + text.toLocal8Bit().toStdString() +
                           "; the download goes on without it");
            });
        run.SetKeeper(m_keeper.get());
    }
    run.Prepare();
    run.SetChartWriter(
        [&session](const std::vector<int16_t>& sessionSlots, const std::string& path) {
            // The headings of the report just written: one day's, or the slot's.
            ReportState& report = session.Report();
            const ChartJob job{sessionSlots, report.HeadingDay, report.HeadingMonth};
            return WriteChartFile(session.Image(), report, job, path,
                                  QSize(kChartWidth, kChartHeight)) == kExitOk;
        });
    run.SetFinish([this, done = std::move(done)](int status) {
        m_session->SuspendTicks();
        done(status);
    });
    // Fast uploads: what a notification decided starts at once instead of at the next tick.
    session.SetFastUpload(m_options.fast || ReadSetting("Fast Upload") == "TRUE");
    connect(&session, &InstrumentSession::Ticked, this, [this] {
        if (!m_run->Finished()) {
            m_run->OnTick();
        }
    });
    connect(&session, &InstrumentSession::LinkLost, this, [this] { m_run->OnLinkLost(); });
    return true;
}

void InstrumentDownload::Interrupt() {
    if (m_run) {
        m_run->Interrupt();
    }
}

void InstrumentDownload::Close() {
    m_session->Disconnect();
}

std::string InstrumentDownload::FailureHint() const {
    return m_links->FailureHint();
}

std::string InstrumentDownload::Name() const {
    const std::string& serial = m_session->Facts().serialNumber;
    if (!serial.empty()) {
        return serial;
    }
    if (!m_options.instrumentName.empty()) {
        return m_options.instrumentName;
    }
    return m_links->LinkName();
}

int InstrumentDownload::Status() const {
    return m_run ? m_run->Status() : kExitNoLink;
}

bool InstrumentDownload::Finished() const {
    return m_run && m_run->Finished();
}

std::string InstrumentDownload::Summary() const {
    return m_run ? m_run->Summary() : std::string();
}
