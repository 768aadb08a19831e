#pragma once

#include "app/BrowserView.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class ClaimingChooser;
class InstrumentSession;
class QDialog;
class SessionBrowser;
class SessionTreeNodes;
class StatusLine;
class WindowPrompt;
struct MainDialogEnvironment;

namespace Ui {
class MainDialog;
}

// The main window's instrument, asked of its InstrumentSession: the link chosen, claimed and
// tried again (File > Connect..., a right click), GO, the progress of each upload and what the
// status line says of the link and of every request, a link another process holds, a spoiled
// reply and a link lost.
class LinkController : public QObject {
public:
    LinkController(QDialog& window, Ui::MainDialog& ui, const MainDialogEnvironment& env,
                   InstrumentSession& session, SessionBrowser& browser, StatusLine& status,
                   const WindowPrompt& prompt, const SessionTreeNodes& tree);
    ~LinkController() override;

    // Before the first link: the session's boxes go to the window's prompt and its uploads show
    // the progress dialog; a discovery that finds no ports leaves the program running.
    void Prepare();
    // Tries the link again; once connected, the start-up uploads run as after a normal start.
    // true when a link is open.
    bool Connect();
    bool Connected() const;
    // Closes the link (OK) and lets a watcher have it.
    void Close();

    void OnGo();
    // GO reads the instrument: without one it stays disabled, whatever the browser allows.
    void EnableGo(bool enable);
    // The browser's messages: its status texts on the status line, the rest in a box.
    void ShowMessage(MessageKind kind, const std::string& text);
    void ShowRequestEnd(UploadRequest request, bool ok);

private:
    // The link chosen is held by another process (a watcher): said, and the program stays
    // offline.
    void ShowHeld(const std::string& link, const std::string& holder);
    void ShowConnection();
    void ShowOffline();
    void ShowProgress(UploadRequest request, int done, int total);
    void OnSpoiledReply();
    void OnLinkLost();
    // What a request ended by the link's loss did not bring: "The upload of the session
    // 08:59:25 of Tuesday 18 Aug 2026 did not finish."
    QString UploadLost(UploadRequest request) const;

    QDialog& window_;
    Ui::MainDialog& ui_;
    const MainDialogEnvironment& env_;
    InstrumentSession& session_;
    SessionBrowser& browser_;
    StatusLine& status_;
    const WindowPrompt& prompt_;
    const SessionTreeNodes& tree_;
    // Chooses the session's link and claims it while it is open, so that a watcher leaves it
    // alone and says who holds it, and the program leaves a watcher's link alone.
    std::unique_ptr<ClaimingChooser> chooser_;
    bool prepared_ = false;
    bool checksumTold_ = false;
    // A link opened and its loss not yet shown; what the loss cut short, said when it is.
    bool linkUp_ = false;
    QString lostUpload_;
};
