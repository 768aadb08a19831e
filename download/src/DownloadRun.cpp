#include "download/DownloadRun.h"

#include <algorithm>
#include <cstring>

#include "core/DownloadKeeper.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "core/SessionTree.h"
#include "download/CommandArguments.h"
#include "download/DownloadExport.h"
#include "download/ExitStatus.h"
#include "download/FilePaths.h"
#include "download/OutputPlacement.h"
#include "download/ProgressBar.h"
#include "download/ReportOutput.h"
#include "download/TreeText.h"
#include "linkselect/Settings.h"
#include "report/Report.h"
#include "session/SessionReader.h"

namespace {

constexpr uint8_t kErased = 0xFF;

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) {
        return name;
    }
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

} // namespace

DownloadRun::DownloadRun(const DownloadOptions& options, LogImage& image, ReportState& report,
                         ProgressBar& progress, std::FILE* out)
    : m_options(options), m_image(image), m_report(report), m_progress(progress), m_out(out),
      m_outDir(options.outDir), m_dumpPath(options.dumpPath) {
    static int runs = 0;
    m_runNumber = ++runs;
}

void DownloadRun::SetOutput(const std::string& outDir, const std::string& dumpPath) {
    m_outDir = outDir;
    m_dumpPath = dumpPath;
    if (m_reader != nullptr) {
        m_reader->SetDumpPath(DumpTarget());
    }
}

void DownloadRun::Tell(const std::string& text) const {
    if (m_sink) {
        m_sink(text);
        return;
    }
    PrintError(m_prefix.empty() ? text : m_prefix + ": " + text);
}

void DownloadRun::Prepare() {
    // Sectors that this run does not download read as erased flash, in the dump as in the
    // instrument, rather than as zeros that would pass for data.
    for (uint32_t sector = 0; sector < LogImage::kImageSize / LogImage::kSectorSize; ++sector) {
        EraseSector(sector);
    }
    // The dump after the index goes to a temporary name too, so that an older dump is replaced
    // only by a whole new one.
    m_reader->SetDumpPath(DumpTarget());
    m_report.ShowBarholeGraph =
        m_options.graph || ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    m_report.HeaderCountdown = 0;
}

SessionBoxes DownloadRun::Boxes() const {
    // As the program's boxes work: All ticks Alarm and Cal too.
    SessionBoxes boxes = m_options.boxes;
    if (boxes.all) {
        boxes.alarm = true;
        boxes.cal = true;
    }
    return boxes;
}

void DownloadRun::OnTick() {
    if (m_interruptDue && (m_phase == Phase::GoDue || m_phase == Phase::JobDue)) {
        Interrupt();
    } else if (m_phase == Phase::GoDue) {
        m_phase = Phase::Indexing;
        m_reader->ReadIndex();
    } else if (m_phase == Phase::JobDue) {
        StartJob();
    }
}

void DownloadRun::Interrupt() {
    Stop(kExitInterrupted, "interrupted; " + std::to_string(m_reportsWritten) + " of " +
                               std::to_string(m_plan.jobs.size()) + " reports written");
}

void DownloadRun::InterruptBetweenRequests() {
    m_interruptDue = true;
}

void DownloadRun::LinkClosed() {
    // A request under way has ended already, failed, and said so; this is for the moments
    // between requests, when nothing would ever time out.
    Stop(kExitNoAnswer, "the link to the instrument closed; " + std::to_string(m_reportsWritten) +
                            " of " + std::to_string(m_plan.jobs.size()) + " reports written");
}

// ---------------------------------------------------------------------------------------------
// The browser's requests

void DownloadRun::SessionRead(int16_t slot, SessionOrigin origin) {
    if (m_phase != Phase::Job) {
        return;
    }
    m_report.UnrecognisedLogFlag = 0;
    m_assembled.Render(m_report, m_image, slot);
    if (m_report.UnrecognisedLogFlag) {
        ShowMessage(MessageKind::Warning, kUnrecognisedLogsText);
    }
    MarkCompleted(slot);
    const bool restored = origin == SessionOrigin::Archive;
    m_sessionsDone += restored ? 0 : 1;
    m_sessionsRestored += restored ? 1 : 0;
}

void DownloadRun::RequestEnded(UploadRequest request, bool ok) {
    if (m_phase == Phase::Finished) {
        return;
    }
    switch (request) {
    case UploadRequest::StartUp:
        StartUpEnded(ok);
        break;
    case UploadRequest::Index:
        IndexEnded(ok);
        break;
    case UploadRequest::Session:
        SessionEnded(ok);
        break;
    }
}

void DownloadRun::StartUpEnded(bool ok) {
    if (m_phase != Phase::StartingUp) {
        return;
    }
    if (!ok && !m_reader->StartUpComplete()) {
        StopAfterFailure(m_reader->LastFailure() == RequestFailure::SpoiledReplies
                             ? "the instrument's replies kept arriving spoiled during its start-up "
                               "uploads (check the cable, or move closer to the instrument); "
                               "nothing was downloaded"
                             : "the instrument did not complete its start-up uploads; nothing was "
                               "downloaded");
        return;
    }
    // Without the configuration block the instrument's own names are missing; the ones given on
    // the command line stand in for them, and replace them when both exist.
    if (m_options.modeNamesGiven) {
        for (int k = 0; k < 4; ++k) {
            m_report.ModeNames[k] = m_options.modeNames[k];
        }
    }
    m_phase = Phase::GoDue;
}

void DownloadRun::IndexEnded(bool ok) {
    if (m_reader->IndexSectorCount() < static_cast<int>(LogImage::kIndexSectors)) {
        StopAfterFailure("the index upload did not complete; nothing was downloaded");
        return;
    }
    m_phase = Phase::JobDue;
    if (!ok) {
        m_outputFailed = true; // the core has said which dump it could not write
    }

    m_progress.Clear();
    const auto held = [this](int16_t slot) { return m_reader->Held(slot); };
    const std::string tree = SessionTreeText(m_reader->Table(), Boxes(), held);
    if (m_out != nullptr) {
        // In one piece: the trees of instruments downloaded together never mix.
        const std::string text = m_treeHeading.empty() ? tree : m_treeHeading + "\n" + tree;
        std::fputs(text.c_str(), m_out);
        std::fflush(m_out);
    }

    SessionTree days;
    days.Build(m_reader->Table(), Boxes());
    m_plan = PlanDownload(m_reader->Table(), days, m_options);
    for (const std::string& line : m_plan.missing) {
        Tell(line);
    }
    // Every day asked for gets its report; the sessions the archive holds complete are read back
    // from it instead of being uploaded. --new-only leaves out the days with nothing new; a
    // placement's day with nothing new stays when its files are not there (a visit stopped
    // before writing them, a folder emptied): it is written from the archive.
    if (m_reader->Keeper() != nullptr && m_options.newOnly) {
        DropHeld(m_plan, held, [this](const ReportJob& job) { return FilesThere(job); });
    }
    m_job = 0;
    if (m_planReady) {
        int toUpload = 0;
        for (const ReportJob& job : m_plan.jobs) {
            toUpload +=
                static_cast<int>(std::count_if(job.sessionSlots.begin(), job.sessionSlots.end(),
                                               [&held](int16_t slot) { return !held(slot); }));
        }
        m_planReady(toUpload, static_cast<int>(m_plan.jobs.size()));
    }
    // A run with nothing to do changes no file: the old dump stays. A placement's dump waits
    // until the reports are written.
    if (!m_plan.jobs.empty() && ok && m_placement == nullptr && !PutDumpInPlace()) {
        m_outputFailed = true;
    }
    if (m_plan.jobs.empty()) {
        m_phase = Phase::AllWritten;
        Complete();
    }
}

void DownloadRun::SessionEnded(bool ok) {
    if (m_phase != Phase::Job || m_job >= m_plan.jobs.size()) {
        return;
    }
    if (!ok) {
        StopAfterFailure("the upload of slot " + std::to_string(m_reader->CurrentSlot()) +
                         " did not complete; " + std::to_string(m_reportsWritten) + " of " +
                         std::to_string(m_plan.jobs.size()) + " reports written");
        return;
    }
    const ReportJob& job = m_plan.jobs[m_job];
    // The reader goes on to the day's next session while there is one.
    if (++m_jobSessionsRead < job.sessionSlots.size()) {
        if (m_interruptDue) {
            // The session is whole and kept; its day, not held whole yet, is written by the next
            // download.
            Interrupt();
        }
        return;
    }
    WriteReport(job);
    ++m_job;
    if (m_job < m_plan.jobs.size()) {
        m_phase = Phase::JobDue;
    } else {
        m_phase = Phase::AllWritten;
        Complete();
    }
}

void DownloadRun::StartJob() {
    const ReportJob& job = m_plan.jobs[m_job];
    // Each file reads as if the program had just started: no gas columns or heading countdown
    // carried over from the report before it. A day's sessions make one report, each added as
    // it is read.
    ResetDecoderState(m_report);
    m_report.ReportBody.clear();
    m_report.HeadingDay = job.headingDay;
    m_report.HeadingMonth = job.headingMonth;
    m_assembled = ShownReport();
    m_jobSessionsRead = 0;
    m_phase = Phase::Job;
    m_reader->ReadSessions(job.sessionSlots);
}

void DownloadRun::WriteReport(const ReportJob& job) {
    m_progress.Clear();
    std::string folder = m_outDir;
    if (m_placement != nullptr) {
        folder = m_placement->FolderFor(job);
        if (folder.empty()) {
            m_outputFailed = true;
            return;
        }
        m_lastFolder = folder;
    }
    const std::string path = JoinPath(folder, job.fileName);
    const bool written = m_placement != nullptr ? m_placement->Write(path, m_report.ReportText)
                                                : WriteOutput(path, m_report.ReportText) == kExitOk;
    if (written) {
        ++m_reportsWritten;
    } else {
        m_outputFailed = true;
    }
    FileWriter write;
    if (m_placement != nullptr) {
        write = [this](const std::string& at, const std::string& data) {
            return m_placement->Write(at, data);
        };
    }
    const std::string instrument =
        InstrumentCalled(m_reader != nullptr ? m_reader->Facts().serialNumber : std::string(),
                         m_options.instrumentName);
    if (!WriteSessionExports(path, job.sessionSlots, m_image, m_report, m_options.exportFormats,
                             instrument, write)) {
        m_outputFailed = true;
    }
    const std::string stem = job.fileName.substr(0, job.fileName.rfind('.'));
    if (m_pdfWriter) {
        m_outputFailed = !Draw(m_pdfWriter, job, folder, stem + ".pdf") || m_outputFailed;
    }
    if (m_chartWriter && !m_options.plot.empty()) {
        m_outputFailed = !Draw(m_chartWriter, job, folder, ChartName(stem)) || m_outputFailed;
    }
    if (m_mapWriter && !m_options.map.empty()) {
        m_outputFailed = !Draw(m_mapWriter, job, folder, MapName(stem)) || m_outputFailed;
    }
}

std::string DownloadRun::ChartName(const std::string& stem) const {
    // Beside a PDF report, the chart's PDF takes a name of its own.
    return stem + (m_pdfWriter && m_options.plot == "pdf" ? "-chart." : ".") + m_options.plot;
}

std::string DownloadRun::MapName(const std::string& stem) const {
    // Its own name whatever else is beside the report: the chart may take the plain one.
    return stem + "-map." + m_options.map;
}

std::vector<std::string> DownloadRun::FileNames(const ReportJob& job) const {
    std::vector<std::string> names = {job.fileName};
    for (ExportFormat format : m_options.exportFormats) {
        names.push_back(ExportPath(job.fileName, format));
    }
    const std::string stem = job.fileName.substr(0, job.fileName.rfind('.'));
    if (m_pdfWriter) {
        names.push_back(stem + ".pdf");
    }
    if (m_chartWriter && !m_options.plot.empty()) {
        names.push_back(ChartName(stem));
    }
    if (m_mapWriter && !m_options.map.empty()) {
        names.push_back(MapName(stem));
    }
    return names;
}

bool DownloadRun::FilesThere(const ReportJob& job) {
    if (m_placement == nullptr) {
        return true; // a download's --new-only writes only the days with something new
    }
    // A folder named after the sessions' job or user needs them read back to be found; they
    // are read back again when the report is written, and erased when it is not, so that the
    // dump holds what it held before.
    const bool read = m_placement->ReadsSessions();
    if (read) {
        for (int16_t slot : job.sessionSlots) {
            m_reader->Keeper()->Restore(m_image, slot);
        }
    }
    const bool there = m_placement->Holds(job, FileNames(job));
    if (read && there) {
        for (int16_t slot : job.sessionSlots) {
            EraseSector(LogImage::DataSector(slot));
        }
    }
    return there;
}

bool DownloadRun::Draw(const ChartWriter& writer, const ReportJob& job, const std::string& folder,
                       const std::string& name) {
    const std::string path = JoinPath(folder, name);
    if (m_placement == nullptr) {
        return writer(job.sessionSlots, path);
    }
    // Drawn aside, so that the placement can compare it with what is there; the ending stays,
    // since it chooses the format.
    const size_t dot = name.rfind('.');
    const std::string temp =
        JoinPath(folder, name.substr(0, dot) + "." + std::to_string(ProcessId()) + ".part" +
                             name.substr(dot));
    if (!writer(job.sessionSlots, temp)) {
        std::remove(temp.c_str());
        return false;
    }
    return m_placement->Place(temp, path);
}

// ---------------------------------------------------------------------------------------------
// The memory image

void DownloadRun::MarkCompleted(int16_t slot) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return;
    }
    m_completed[slot] = true;
}

void DownloadRun::EraseSector(uint32_t sector) {
    static uint8_t erased[LogImage::kSectorSize];
    if (erased[0] != kErased) {
        std::memset(erased, kErased, sizeof erased);
    }
    m_image.Store(sector * LogImage::kSectorSize, erased, LogImage::kSectorSize);
}

std::string DownloadRun::DumpTarget() const {
    // Devices and pipes cannot be replaced by a rename; they are written to directly. The
    // temporary name is this process's own, so that two downloads into one folder never write
    // through each other's.
    // With a placement, each run of the process has its own, since several may share the path.
    const std::string& path = m_dumpPath;
    if (m_placement != nullptr) {
        return path + "." + std::to_string(ProcessId()) + "-" + std::to_string(m_runNumber) +
               ".part";
    }
    return IsRegularOrMissing(path) ? PartNameOf(path) : path;
}

std::string DownloadRun::DumpPlace() const {
    if (m_placement == nullptr) {
        return m_dumpPath;
    }
    const size_t slash = m_dumpPath.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? m_dumpPath : m_dumpPath.substr(slash + 1);
    return JoinPath(m_dumpFolder, name);
}

bool DownloadRun::PutDumpInPlace() {
    const std::string& path = m_dumpPath;
    const std::string target = DumpTarget();
    if (target == path) {
        return true;
    }
#ifdef _WIN32
    std::remove(path.c_str());
#endif
    if (std::rename(target.c_str(), path.c_str()) != 0) {
        std::remove(target.c_str());
        Tell("cannot write the dump " + path);
        return false;
    }
    return true;
}

bool DownloadRun::WriteDump() {
    const std::string target = DumpTarget();
    if (m_placement != nullptr) {
        // The instrument's own folder, whatever the day: the dump holds every day.
        // The sessions it holds go in the folder's record, so that a later visit's dump that
        // lacks any of them never takes its place.
        std::vector<int16_t> held;
        for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
            if (m_image.SessionHeld(slot)) {
                held.push_back(slot);
            }
        }
        m_dumpFolder = m_lastFolder.empty() ? std::string() : m_placement->DumpFolder(held);
        if (m_dumpFolder.empty()) {
            std::remove(target.c_str()); // no report was written, or no folder for the dump
            return false;
        }
    }
    if (m_image.DumpImage(target.c_str()) != 1) {
        if (target != m_dumpPath) { // a device or pipe written to directly stays
            std::remove(target.c_str());
        }
        Tell("cannot write the dump " + DumpPlace());
        return false;
    }
    if (m_placement == nullptr) {
        return PutDumpInPlace();
    }
    const bool placed = m_placement->Place(target, DumpPlace());
    m_dumpWritten = placed ? m_placement->LastPlaced() : std::string();
    return placed;
}

std::string DownloadRun::DumpWritten() const {
    return m_dumpWritten.empty() ? DumpPlace() : m_dumpWritten;
}

// ---------------------------------------------------------------------------------------------
// Progress and messages

void DownloadRun::SetProgressRange(UploadRequest request, int low, int high) {
    (void)low;
    m_progressTotal = high;
    DrawProgress(request, 0);
}

void DownloadRun::SetProgressPos(UploadRequest request, int pos) {
    if (pos == 0) {
        m_progress.Clear(); // the request has ended
        return;
    }
    DrawProgress(request, pos);
}

void DownloadRun::DrawProgress(UploadRequest request, int done) {
    if (!m_progress.Enabled() || m_phase == Phase::Finished) {
        return;
    }
    if (request == UploadRequest::Index) {
        m_progress.Draw("Index", done, m_progressTotal,
                        "sector " + std::to_string(done + 1) + " of " +
                            std::to_string(m_progressTotal));
        return;
    }
    const int total = m_plan.SessionCount();
    const int pieces = UploadMachine::kPiecesPerSector;
    m_progress.Draw("Session " + std::to_string(m_sessionsDone + 1) + " of " +
                        std::to_string(total),
                    m_sessionsDone * pieces + done, total * pieces,
                    "slot " + std::to_string(m_reader->CurrentSlot()) + ", piece " +
                        std::to_string(done + 1) + " of " + std::to_string(pieces));
}

void DownloadRun::ShowMessage(MessageKind kind, const std::string& text) {
    m_progress.Clear();
    switch (kind) {
    case MessageKind::Status:
        if (!text.empty()) { // an empty status only clears the last one
            Tell(text);
        }
        break;
    case MessageKind::Warning:
        Tell(std::string(MessageCaption(kind)) + ": " + text);
        break;
    case MessageKind::Error:
        Tell(text);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The end

void DownloadRun::Stop(int status, const std::string& message) {
    if (m_phase == Phase::Finished) {
        return;
    }
    // What was kept is said with what went wrong: reports, and the dump once the index came.
    const bool dumped = Finalize(status);
    std::string kept;
    if (!m_plan.jobs.empty() && message.find(" reports written") == std::string::npos) {
        kept += "; " + std::to_string(m_reportsWritten) + " of " +
                std::to_string(m_plan.jobs.size()) + " reports written";
    }
    if (dumped) {
        kept += "; the dump " + DumpWritten() + " holds the index and the sessions that arrived";
    }
    Tell(message + kept);
    Finish();
}

void DownloadRun::StopAfterFailure(const std::string& what) {
    // Silence, spoiled replies and a closed link call for different remedies.
    switch (m_reader->LastFailure()) {
    case RequestFailure::SpoiledReplies:
        Stop(kExitCommsError, what);
        break;
    case RequestFailure::LinkLost:
        Stop(kExitNoAnswer, "the link to the instrument closed; " + what);
        break;
    default:
        Stop(kExitNoAnswer, what);
        break;
    }
}

void DownloadRun::Complete() {
    Finalize(m_outputFailed ? kExitOutputFailed : !m_plan.missing.empty() ? kExitUsage : kExitOk);
    if (m_status != kExitOutputFailed) {
        Tell(Summary());
    }
    Finish();
}

std::string DownloadRun::Summary() const {
    const auto count = [](size_t n, const char* one) {
        return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
    };
    const bool slots = !m_options.sessionSlots.empty();
    std::string text = count(m_plan.jobs.size(), slots ? "slot" : "day") + ": " +
                       count(static_cast<size_t>(m_sessionsDone), "session") + " uploaded";
    if (m_archiving) {
        text += ", " + std::to_string(m_sessionsRestored) + " from the archive";
    }
    if (m_plan.jobs.empty()) {
        return text + "; nothing new to write, no file changed";
    }
    const std::string folder = m_placement != nullptr ? m_placement->ReportFolders()
                               : m_outDir == "."      ? "the working folder"
                                                      : m_outDir;
    return text + "; " + count(static_cast<size_t>(m_reportsWritten), "report") + " in " + folder +
           ", the memory dump in " + DumpWritten();
}

bool DownloadRun::Finalize(int status) {
    const Phase phase = m_phase;
    m_phase = Phase::Finished;
    m_reader->Stop(); // the rest of a day asked for stays on the instrument
    m_progress.Clear();
    bool dumped = false;
    if ((phase == Phase::JobDue || phase == Phase::Job || phase == Phase::AllWritten) &&
        !m_plan.jobs.empty()) {
        // A session cut off half-way would pass for its own shorter log: it is left out.
        const int16_t slot = m_reader->CurrentSlot();
        if (phase == Phase::Job && slot >= 0 && slot < LogImage::kSlotCount && !m_completed[slot]) {
            EraseSector(LogImage::DataSector(static_cast<int16_t>(slot)));
        }
        dumped = WriteDump();
        if (!dumped && status == kExitOk) {
            status = kExitOutputFailed;
        }
    } else if (DumpTarget() != m_dumpPath) {
        // The index's dump waits under its temporary name until there is something to do.
        std::remove(DumpTarget().c_str());
    }
    // The reports and the dump are written; only the archive may be short.
    if (!m_reader->StopKeeping() && status == kExitOk) {
        status = kExitArchive;
    }
    m_status = status;
    return dumped;
}

void DownloadRun::Finish() {
    if (m_finish) {
        m_finish(m_status);
    }
}
