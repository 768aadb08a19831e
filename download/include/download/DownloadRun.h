#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "download/DownloadOptions.h"
#include "download/DownloadPlan.h"
#include "report/ShownReport.h"
#include "session/ReaderEvents.h"

class LogImage;
class OutputPlacement;
class ProgressBar;
class SessionReader;
struct ReportState;

// One download's plan carried out: after the start-up uploads it asks the download core for the
// index; after the index it prints the session tree, plans the reports (days or slots) and, for
// each, asks the core for its sessions, assembles the report as each one is read, and writes it
// with its exports and charts before going on to the next. Plain C++: the Qt driver feeds it the
// ticks and the core's events, tests feed it a scripted instrument.
class DownloadRun : public ReaderEvents {
public:
    // out: where the session tree is printed; null: nowhere.
    DownloadRun(const DownloadOptions& options, LogImage& image, ReportState& report,
                ProgressBar& progress, std::FILE* out);

    void Attach(SessionReader& reader) { m_reader = &reader; }
    // Whether the core keeps the sessions in the archive (the summary then says how many came
    // from it).
    void SetArchiving(bool archiving) { m_archiving = archiving; }
    // Before the core's Start: the image reads as erased flash until sectors arrive, the dump
    // goes where it was asked for, the barhole setting is applied.
    void Prepare();
    // Every 100 ms tick, after the communications engine: starts what a notification handler
    // decided, once the core has finished handling that notification.
    void OnTick();
    // Ctrl-C or a request to end: the reports written stay, the dump takes what has arrived.
    void Interrupt();
    // The same, once the request under way has ended (a session is whole and kept, the index
    // complete): the instrument is not left sending to nobody.
    void InterruptBetweenRequests();

    // Draws the chart of the sessions just written as a report to the given file; true when it
    // was written. Without one no charts are drawn.
    using ChartWriter =
        std::function<bool(const std::vector<int16_t>& sessionSlots, const std::string& path)>;
    void SetChartWriter(ChartWriter writer) { m_chartWriter = std::move(writer); }
    // Draws the map of the sessions just written as a report to the given file
    // (DIR/YYYY-MM-DD-map.png or .pdf); true when it was written. Without one no maps are drawn.
    void SetMapWriter(ChartWriter writer) { m_mapWriter = std::move(writer); }
    // Writes the report just written, with its chart, as a PDF beside it (DIR/YYYY-MM-DD.pdf;
    // a PDF chart is then DIR/YYYY-MM-DD-chart.pdf). Without one no PDF report is written.
    void SetReportPdfWriter(ChartWriter writer) { m_pdfWriter = std::move(writer); }

    // Called once, with the exit status, when the download has ended either way.
    void SetFinish(std::function<void(int)> finish) { m_finish = std::move(finish); }
    bool Finished() const { return m_phase == Phase::Finished; }
    int Status() const { return m_status; }
    int ReportsWritten() const { return m_reportsWritten; }
    const DownloadPlan& Plan() const { return m_plan; }
    // The last line of a download that went through: what came and where it went.
    std::string Summary() const;

    // Where the files go and how they are put there instead of the output folder (the watcher):
    // each report's folder and the dump's from the placement, and
    // nothing written to the dump's own path until the end.
    void SetPlacement(OutputPlacement* placement) { m_placement = placement; }
    // Where the download's messages go instead of standard error; "tavon-datalog: " and the
    // prefix are then left to the receiver.
    void SetMessageSink(std::function<void(const std::string&)> sink) { m_sink = std::move(sink); }
    // Told once the index has been read and the plan made: how many sessions the plan uploads
    // (those the archive does not hold complete) and how many days or slots it writes.
    void SetPlanReady(std::function<void(int toUpload, int reports)> ready) {
        m_planReady = std::move(ready);
    }
    // Several instruments at once: each message names its instrument, and so does a line
    // before its session tree.
    void SetMessagePrefix(const std::string& prefix) { m_prefix = prefix; }
    void SetTreeHeading(const std::string& heading) { m_treeHeading = heading; }
    // The output folder and the dump, once the instrument's name is known; before the index.
    void SetOutput(const std::string& outDir, const std::string& dumpPath);
    // Ends the download before anything was uploaded (the folder could not be made).
    void Abort(int status, const std::string& message) { Stop(status, message); }

    // ReaderEvents
    void IndexRequestsAllowed(bool) override {}
    void SessionRequestsAllowed(bool) override {}
    void SetProgressRange(UploadRequest request, int low, int high) override;
    void SetProgressPos(UploadRequest request, int pos) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void SuspendTick() override {}
    void ResumeTick() override {}
    void SessionRead(int16_t slot, SessionOrigin origin) override;
    void RequestEnded(UploadRequest request, bool ok) override;
    // The link closed: whatever was under way or due ends, the reports written stay.
    void LinkClosed() override;

private:
    // Where the download stands. GO and each report start at the tick after the notification
    // that made them due, once the core has finished handling it.
    enum class Phase {
        StartingUp, // the instrument's driver text and configuration block
        GoDue,
        Indexing,
        JobDue,     // the next report starts at the next tick
        Job,        // the sessions of one report are being uploaded
        AllWritten, // every report of the plan has been tried
        Finished,
    };

    void StartUpEnded(bool ok);
    void IndexEnded(bool ok);
    void SessionEnded(bool ok);
    void StartJob();
    // The session boxes of the options, as the tree is built with them.
    SessionBoxes Boxes() const;
    void WriteReport(const ReportJob& job);
    // The files WriteReport writes for a report, by name: the report, its exports, its PDF and
    // its chart.
    std::vector<std::string> FileNames(const ReportJob& job) const;
    std::string ChartName(const std::string& stem) const;
    std::string MapName(const std::string& stem) const;
    // With a placement: whether a report held whole by the archive has its files in place.
    bool FilesThere(const ReportJob& job);
    // One drawn file of the report: `name` in `folder`; true when written.
    bool Draw(const ChartWriter& writer, const ReportJob& job, const std::string& folder,
              const std::string& name);
    void MarkCompleted(int16_t slot);
    void EraseSector(uint32_t sector);
    std::string DumpTarget() const;
    // Where the dump ends up: its path, or in the placement's dump folder.
    std::string DumpPlace() const;
    // Where the dump went: DumpPlace, or the name beside it where the placement kept the file
    // there.
    std::string DumpWritten() const;
    bool PutDumpInPlace();
    bool WriteDump();
    void DrawProgress(UploadRequest request, int done);
    void Stop(int status, const std::string& message);
    void Complete();
    // Ends the download after a request failed, with the status and words its cause calls for.
    void StopAfterFailure(const std::string& what);
    // Every message of the download: "tavon-datalog: ", the instrument's name when several are
    // downloaded, and the text.
    void Tell(const std::string& text) const;
    // Keeps what arrived (the dump, the archive) and settles the status; true when the dump was
    // written. Finish then tells whoever waits for the end.
    bool Finalize(int status);
    void Finish();

    const DownloadOptions& m_options;
    LogImage& m_image;
    ReportState& m_report;
    ProgressBar& m_progress;
    std::FILE* m_out;
    SessionReader* m_reader = nullptr;
    bool m_archiving = false;
    OutputPlacement* m_placement = nullptr;
    std::function<void(const std::string&)> m_sink;
    std::function<void(int, int)> m_planReady;
    std::string m_lastFolder; // with a placement: the folder of the last report written
    std::string m_dumpFolder; // with a placement: the instrument's folder the dump went to
    int m_runNumber = 0;      // this run among the process's, for its temporary dump
    bool m_interruptDue = false;
    std::function<void(int)> m_finish;
    ChartWriter m_chartWriter;
    ChartWriter m_pdfWriter;
    ChartWriter m_mapWriter;

    DownloadPlan m_plan;
    Phase m_phase = Phase::StartingUp;
    size_t m_job = 0;
    size_t m_jobSessionsRead = 0; // of the report under way
    ShownReport m_assembled;      // the report under way, assembled as its sessions are read
    int m_sessionsDone = 0;       // uploaded from the instrument
    int m_sessionsRestored = 0;   // rendered from the archive's copy
    int m_reportsWritten = 0;
    bool m_outputFailed = false;
    int m_progressTotal = 0;

    // Slots whose sector arrived whole in this run: a later upload of the same slot that is cut
    // off part-way has only rewritten bytes it already held, so the sector is kept.
    bool m_completed[500] = {};

    int m_status = 0;
    std::string m_prefix;
    std::string m_treeHeading;
    // Where the run writes; the options' until SetOutput.
    std::string m_outDir;
    std::string m_dumpPath;
    std::string m_dumpWritten; // where the placement put the dump
};
