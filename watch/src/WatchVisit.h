#pragma once

#include <memory>
#include <string>

#include "download/DownloadOptions.h"
#include "download/LinkChoice.h"
#include "watch/OutputTemplate.h"

class EventLog;
class InstrumentDownload;
class KeptFiles;
class ProgressBar;
class UserPrompt;
class WatchVisit;
struct ReportJob;

// What is the same for every visit of one watch.
struct VisitSetup {
    DownloadOptions download; // the watch's, for each visit's own link
    bool pdf = false;         // each report also as a PDF
    std::string folderTemplate;
    std::string scratch; // where a visit's dump is written before it is put in place
};

// Who runs the visits: told what happens to a visit's instrument after it started.
class VisitOwner {
public:
    virtual ~VisitOwner() = default;
    // The download has ended with this exit status; its own handlers have not all run yet.
    virtual void DownloadEnded(WatchVisit& visit, int status) = 0;
    // The link closed under the instrument (it left, or the line broke).
    virtual void LinkLost(const DownloadLink& link) = 0;
};

// One instrument on one link: its download (which claims the link as it opens it, as `download`
// and the program do) with its progress line (never drawn) and its kept files. It goes through
// its states in order, each by one call: Open, Start, then DownloadEnded from the download,
// KeepIdle, and Close from any of them. A visit whose Open or Start fails is dropped as it is:
// nothing of it stays behind.
class WatchVisit {
public:
    enum class State {
        Made,        // nothing opened yet; the link may be another's
        Opened,      // the link is claimed and open, nothing asked of the instrument yet
        Downloading, // the download runs
        Ended,       // the download ended; the link is still open
        KeptIdle,    // ended, the link kept open so that the instrument's leaving is noticed
        Closed,      // the link closed and free for another
    };

    WatchVisit(DownloadLink link, const VisitSetup& setup, EventLog& log, UserPrompt& prompt,
               VisitOwner& owner);
    ~WatchVisit();
    WatchVisit(const WatchVisit&) = delete;
    WatchVisit& operator=(const WatchVisit&) = delete;

    // Opens the link; false when it could not be, with what was tried.
    bool Open(std::string& why);
    // Passes on the boxes held while opening and starts the download; false (and closed) when
    // its folder could not be made.
    bool Start(std::string& why);
    // After the end: the link stays open and the idle poll goes on.
    void KeepIdle();
    // Ends a download under way once its request under way has ended.
    void Interrupt();
    // Closes the link and frees its claim at once, for a visit that follows straight away.
    void Close();

    State Now() const { return m_state; }
    const DownloadLink& Link() const { return m_link; }
    // What the instrument is called in the log; once opened.
    std::string Name() const;

private:
    void MakeFiles();
    void SetHooks();
    void Connected(bool ok);
    void DownloadEnded(int status);
    TemplateFields FieldsOf(const ReportJob& job);
    void Say(const std::string& text);

    DownloadLink m_link;
    const VisitSetup& m_setup;
    EventLog& m_log;
    UserPrompt& m_prompt;
    VisitOwner& m_owner;
    State m_state = State::Made;
    // Declared in the order they are needed: the download, last, goes first, while its progress
    // line, its files and the held boxes it was opened with are still there.
    std::unique_ptr<ProgressBar> m_bar;
    std::unique_ptr<KeptFiles> m_files;
    HeldPrompt m_held;
    std::unique_ptr<InstrumentDownload> m_download;
};
