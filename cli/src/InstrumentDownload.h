#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DownloadOptions.h"

class DownloadArchive;
class DownloadRun;
class HeldPrompt;
class InstrumentSession;
class LinkChoice;
class LinkSelection;
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
    // Starts the download; `done` is called once, with the exit status, when it has ended either
    // way. False when its folder could not be made (the message has been printed).
    bool Start(std::function<void(int)> done);
    void Interrupt();
    void Close();

    std::string FailureHint() const;
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
    void PlaceInOwnFolder();
    void Ended(int status);

    DownloadOptions m_options;
    ProgressBar& m_progress;
    std::unique_ptr<OwnFolder> m_ownFolder;
    std::unique_ptr<LinkSelection> m_selection;
    std::unique_ptr<LinkChoice> m_links;
    std::unique_ptr<InstrumentSession> m_session;
    std::unique_ptr<DownloadRun> m_run;
    std::unique_ptr<DownloadArchive> m_keeper;
    std::vector<std::string> m_madeFolders;
    std::function<void(int)> m_done;
    int m_status = -1;
};
