#include "WatchVisit.h"

#include <QObject>
#include <QTimer>

#include "EventLog.h"
#include "core/LogImage.h"
#include "download/DownloadPlan.h"
#include "download/DriverSupport.h"
#include "download/InstrumentDownload.h"
#include "download/ProgressBar.h"
#include "report/Report.h"
#include "report/SessionValues.h"
#include "session/InstrumentSession.h"
#include "watch/KeptFiles.h"
#include "watch/Watcher.h"

namespace {

// The first job number and user name in a day's sessions, for the output template.
void JobAndUser(LogImage& image, const ReportState& report, const ReportJob& job,
                TemplateFields& fields) {
    for (int16_t slot : job.sessionSlots) {
        SessionRecordReader reader(image, slot, report.ModeNames);
        RecordValue record;
        while ((fields.job.empty() || fields.user.empty()) && reader.Next(record)) {
            if (record.Kind == RecordKind::JobNumber && fields.job.empty() && record.HasText) {
                fields.job = record.Text;
            } else if (record.Kind == RecordKind::UserName && fields.user.empty() &&
                       record.HasText) {
                fields.user = record.Text;
            }
        }
    }
}

} // namespace

WatchVisit::WatchVisit(DownloadLink link, const VisitSetup& setup, EventLog& log,
                       UserPrompt& prompt, VisitOwner& owner)
    : m_link(std::move(link)), m_setup(setup), m_log(log), m_prompt(prompt), m_owner(owner) {}

WatchVisit::~WatchVisit() = default;

bool WatchVisit::Open(std::string& why) {
    DownloadOptions own = m_setup.download;
    own.links = {m_link};
    own.dumpPath = m_setup.scratch;
    m_bar = std::make_unique<ProgressBar>(stderr, false);
    m_download = std::make_unique<InstrumentDownload>(own, *m_bar, TickPeriod());
    // Opening handles events while the line settles; the boxes of a link that then fails are
    // not shown, its hint says it all.
    if (!m_download->Open(m_prompt, m_held)) {
        why = m_download->FailureHint();
        return false;
    }
    m_state = State::Opened;
    return true;
}

bool WatchVisit::Start(std::string& why) {
    m_held.PassOn(m_prompt);
    MakeFiles();
    SetHooks();
    InstrumentSession& session = m_download->Session();
    QObject::connect(&session, &InstrumentSession::Connected, m_download.get(),
                     [this](bool ok) { Connected(ok); });
    QObject::connect(&session, &InstrumentSession::LinkLost, m_download.get(),
                     [this] { m_owner.LinkLost(m_link); });
    // Downloading from here: a download that ends at once says so before Start returns.
    m_state = State::Downloading;
    if (!m_download->Start([this](int status) { DownloadEnded(status); })) {
        Close();
        why = "the output folder could not be made";
        return false;
    }
    return true;
}

void WatchVisit::KeepIdle() {
    m_download->KeepIdle();
    m_state = State::KeptIdle;
}

void WatchVisit::Interrupt() {
    if (m_state == State::Downloading) {
        m_download->InterruptBetweenRequests();
    }
}

void WatchVisit::Close() {
    if (m_download) {
        m_download->Close();
    }
    m_state = State::Closed;
}

std::string WatchVisit::Name() const {
    return m_download->Name();
}

void WatchVisit::MakeFiles() {
    m_files = std::make_unique<KeptFiles>(
        m_setup.folderTemplate, [this](const ReportJob& job) { return FieldsOf(job); },
        [this](const std::string& line) { Say(line); });
}

void WatchVisit::SetHooks() {
    InstrumentDownload::Hooks hooks;
    hooks.tree = nullptr;
    hooks.placement = m_files.get();
    hooks.messages = [this](const std::string& text) { Say(text); };
    hooks.planReady = [this](int toUpload, int reports) {
        Say("index read: " + std::to_string(toUpload) + " new session" +
            (toUpload == 1 ? "" : "s") + ", " + std::to_string(reports) + " day" +
            (reports == 1 ? "" : "s") + " to write");
    };
    hooks.pdfReports = m_setup.pdf;
    m_download->SetHooks(std::move(hooks));
}

void WatchVisit::Connected(bool ok) {
    if (ok) {
        Say("connected on " + Watcher::LinkText(m_link));
    }
}

void WatchVisit::DownloadEnded(int status) {
    m_state = State::Ended;
    m_owner.DownloadEnded(*this, status);
}

TemplateFields WatchVisit::FieldsOf(const ReportJob& job) {
    TemplateFields fields;
    fields.instrument = m_download->Name();
    JobAndUser(m_download->Session().Image(), m_download->Session().Report(), job, fields);
    return fields;
}

void WatchVisit::Say(const std::string& text) {
    m_log.Line(m_download->Name() + ": " + text);
}
