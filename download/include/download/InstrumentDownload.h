#pragma once

#include <QObject>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/DownloadOptions.h"

struct DownloadSettings;
class DownloadRun;
class HeldPrompt;
class InstrumentSession;
class LinkChoice;
class LinkSelection;
class OutputPlacement;
class ProgressBar;
class UserPrompt;

// The download of one instrument over one link: its own link choice, its InstrumentSession (its
// own engine), the DownloadRun that presses the buttons and writes the files, and its archive
// keeper. Several run side by side on one event loop.
class InstrumentDownload : public QObject {
    Q_OBJECT
public:
    // Where a download that shares its run with others writes: a folder of its own under the
    // output folder, named after the instrument once it has said who it is. `claim` makes the
    // name unique among the run's instruments.
    struct OwnFolder {
        std::function<std::string(const std::string& wanted)> claim;
    };

    // options: this instrument's (its one link, the output folder and dump); progress: its line.
    // tickMs: the engine's pace. ownFolder: null for a download alone, which writes where the
    // options say.
    InstrumentDownload(DownloadOptions options, ProgressBar& progress, int tickMs,
                       std::unique_ptr<OwnFolder> ownFolder = nullptr);
    ~InstrumentDownload() override;

    // Opens the link. False when none could be opened: nothing was written, and FailureHint()
    // says what was tried.
    bool Open(UserPrompt& prompt, HeldPrompt& held);

    // What the watcher changes about a download, set before Start: where the session tree goes
    // (null: nowhere), where the files go and how, where the messages go instead of standard
    // error, what it is told once the plan is made (DownloadRun::SetPlanReady), and whether each
    // report is also written as a PDF.
    struct Hooks {
        std::FILE* tree = stdout;
        OutputPlacement* placement = nullptr;
        std::function<void(const std::string&)> messages;
        std::function<void(int toUpload, int reports)> planReady;
        bool pdfReports = false;
    };
    void SetHooks(Hooks hooks) { m_hooks = std::move(hooks); }
    // After the end: the link stays open and the idle poll goes on, so that the instrument's
    // leaving is noticed (InstrumentSession::LinkLost).
    void KeepIdle();
    InstrumentSession& Session() { return *m_session; }
    // Starts the download; `done` is called once, with the exit status, when it has ended either
    // way. False when its folder could not be made (the message has been printed).
    bool Start(std::function<void(int)> done);
    void Interrupt();
    // Ends the download once the request under way has ended (DownloadRun).
    void InterruptBetweenRequests();
    void Close();

    std::string FailureHint() const;
    // The link was not opened because another process holds it (FailureHint says who).
    bool LinkHeld() const;
    // The link as the user named it.
    std::string LinkName() const;
    // What the instrument is called in messages and folder names: its serial number, else the
    // name given with --instrument, else the link.
    std::string Name() const;
    int Status() const;
    // The folders this download made, parents first.
    const std::vector<std::string>& MadeFolders() const { return m_madeFolders; }
    // The last line of a download that went through.
    std::string Summary() const;

private:
    // The core keeps what it reads in the archive, as the options and the settings say.
    // Each report's PDF, with the map page's register statuses from the archive kept.
    void WritePdfReports();
    void KeepInArchive(const DownloadSettings& settings);
    void PlaceInOwnFolder();
    void Ended(int status);

    DownloadOptions m_options;
    ProgressBar& m_progress;
    std::unique_ptr<OwnFolder> m_ownFolder;
    std::unique_ptr<LinkSelection> m_selection;
    std::unique_ptr<LinkChoice> m_links;
    std::unique_ptr<InstrumentSession> m_session;
    std::unique_ptr<DownloadRun> m_run;
    std::vector<std::string> m_madeFolders;
    std::function<void(int)> m_done;
    Hooks m_hooks;
    int m_status = -1;
    bool m_placed = false; // the download's own folder has been made
};
