#include "LinkController.h"

#include "SessionTreeNodes.h"
#include "WindowPrompt.h"
#include "gui/MainDialogEnvironment.h"
#include "gui/StatusLine.h"
#include "gui/UploadProgress.h"
#include "ui_MainDialog.h"

#include "app/SessionBrowser.h"
#include "archive/InstrumentIdentity.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/Settings.h"
#include "session/ClaimingChooser.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"
#include "textcodec/Cp1252.h"

#include <QAction>
#include <QDialog>

namespace {

const char* const kNoInstrumentText =
    "No instrument is connected. Right-click the window or choose File > Connect... to connect "
    "one (with the companion program, start it first).";

} // namespace

LinkController::LinkController(QDialog& window, Ui::MainDialog& ui,
                               const MainDialogEnvironment& env, InstrumentSession& session,
                               SessionBrowser& browser, StatusLine& status,
                               const WindowPrompt& prompt, const SessionTreeNodes& tree)
    : window_(window), ui_(ui), env_(env), session_(session), browser_(browser), status_(status),
      prompt_(prompt), tree_(tree),
      chooser_(new ClaimingChooser(ModuleLinkSelection(), env_.app.commandLine)) {
    connect(
        &session_, &InstrumentSession::Progress, this,
        [this](UploadRequest request, int done, int total) { ShowProgress(request, done, total); });
    connect(&session_, &InstrumentSession::SpoiledReply, this, [this] { OnSpoiledReply(); });
    connect(&session_, &InstrumentSession::LinkLost, this, [this] { OnLinkLost(); });
    connect(ui_.goButton, &QPushButton::clicked, this, [this] { OnGo(); });
}

LinkController::~LinkController() {
    // The libraries keep process-wide pointers to the prompt; do not leave them dangling.
    if (prompt_.Prompt() != nullptr) {
        session_.SetUserPrompt(nullptr);
        ModuleLinkSelection().SetUserPrompt(nullptr);
    }
    if (prepared_) {
        ModuleLinkSelection().SetFatalEnd(nullptr);
    }
}

void LinkController::Prepare() {
    if (prompt_.Prompt() != nullptr) {
        session_.SetUserPrompt(prompt_.Prompt());
        ModuleLinkSelection().SetUserPrompt(prompt_.Prompt());
    }
    session_.SetProgressFactory(
        [] { return std::unique_ptr<UploadProgressView>(new CUploadProgress); });
    // A discovery that finds no ports at all leaves the program running, offline: the choice
    // only ends without a link.
    ModuleLinkSelection().SetFatalEnd(nullptr);
    prepared_ = true;
}

bool LinkController::Connect() {
    if (session_.LinkOpen()) {
        session_.ChooseAgain(*chooser_);
        if (!chooser_->Holder().empty()) {
            session_.Disconnect();
            ShowHeld(chooser_->LinkText(), chooser_->Holder());
            return false;
        }
        return true;
    }
    if (!session_.Connect(*chooser_, env_.app)) {
        ShowOffline();
        // A port that would not open may be a watcher's.
        const std::string holder = chooser_->Holder().empty() && !chooser_->Declined()
                                       ? chooser_->PortHolder()
                                       : chooser_->Holder();
        if (!holder.empty()) {
            ShowHeld(chooser_->LinkText(), holder);
        }
        return false;
    }
    linkUp_ = true;
    lostUpload_.clear();
    ShowConnection();
    status_.SetStep("Reading the instrument's information");
    return true;
}

bool LinkController::Connected() const {
    return session_.LinkOpen();
}

void LinkController::Close() {
    session_.Disconnect();
    chooser_->Release();
}

void LinkController::OnGo() {
    if (!session_.LinkOpen()) {
        prompt_.Tell(kNoInstrumentText, "GO");
        return;
    }
    browser_.OnGo();
}

void LinkController::EnableGo(bool enable) {
    // Without an instrument GO stays disabled: a dump opened offline, a request ended by the
    // link's loss.
    const bool go = enable && session_.LinkOpen();
    ui_.goButton->setEnabled(go);
    if (QAction* action = window_.findChild<QAction*>("actionGo")) {
        action->setEnabled(go);
    }
}

void LinkController::ShowMessage(MessageKind kind, const std::string& text) {
    if (kind == MessageKind::Status) {
        // Empty when the instrument answers again after a wait: its information is read anew.
        status_.SetStep(text.empty() ? QString("Reading the instrument's information")
                                     : FromCp1252(text));
        return;
    }
    if (text == UploadMachine::kNoAnswerText && !session_.LinkOpen()) {
        // Not an instrument that stopped answering: there is none at the other end any more.
        ShowMessage(kind, kNoInstrumentText);
        return;
    }
    prompt_.TellCp1252(text, MessageCaption(kind));
}

void LinkController::ShowHeld(const std::string& link, const std::string& holder) {
    const QString held = QString::fromLocal8Bit(link.empty() ? "the link chosen" : link.c_str()) +
                         " is held by " + QString::fromLocal8Bit(holder.c_str());
    status_.SetConnection("Offline: " + held);
    status_.SetActivity(held.at(0).toUpper() + held.mid(1) +
                        ". The program leaves it alone: once it is free, right-click the window "
                        "or choose File > Connect...");
}

void LinkController::ShowConnection() {
    QString text;
    if (session_.LinkIsPipe()) {
        text = "Connected over the pipe \"RAK Pipe\"";
    } else {
        // The connection dialog remembers the port it opened under this key.
        const std::string port = ReadSetting("Com Port" + env_.app.commandLine);
        text = port.empty() ? QString("Connected over a serial port")
                            : "Connected over " + QString::fromLocal8Bit(port.c_str());
    }
    // Once it has said who it is: which instrument the tree and the archive will belong to.
    QStringList identity;
    const archive::InstrumentIdentity told =
        session_.Reader().StartUpComplete()
            ? archive::IdentifyInstrument(session_.Reader().Facts(), {})
            : archive::InstrumentIdentity{};
    if (!told.serialNumber.isEmpty()) {
        identity << "serial number " + told.serialNumber;
    }
    if (!told.firmwareVersion.isEmpty()) {
        identity << "firmware " + told.firmwareVersion;
    }
    status_.SetConnection(identity.isEmpty() ? text : text + ": " + identity.join(", "));
}

void LinkController::ShowOffline() {
    linkUp_ = false;
    EnableGo(false);
    status_.SetConnection("Offline");
    status_.SetServiceNote({});
    status_.SetActivity("No instrument connected: right-click the window or choose File > "
                        "Connect... (with the companion program, start it first)");
}

void LinkController::ShowProgress(UploadRequest request, int done, int total) {
    if (total == 0) {
        // The request has ended.
        ui_.progressBar->setValue(0);
        ui_.progressBar->setTextVisible(false);
        return;
    }
    ui_.progressBar->setRange(0, total);
    ui_.progressBar->setValue(done);
    const bool index = request == UploadRequest::Index;
    const QString part = QString("%1 %2 of %3")
                             .arg(index ? "sector" : "piece")
                             .arg(done + 1)
                             .arg(ui_.progressBar->maximum());
    ui_.progressBar->setFormat(part.at(0).toUpper() + part.mid(1));
    ui_.progressBar->setTextVisible(true);
    // A transfer begins at 0: its own spoiled replies are counted.
    const bool begins = done == 0;
    if (index) {
        status_.SetStep("Uploading index " + part, begins);
        return;
    }
    const SessionEntry* entry = session_.Reader().Table().FindSlot(session_.Reader().CurrentSlot());
    const QString time = entry != nullptr ? QString::fromLatin1(entry->sessionLabel, 8) : QString();
    status_.SetStep("Uploading session " + time + ", " + part, begins);
}

void LinkController::OnSpoiledReply() {
    // One bad byte on a Bluetooth link must not cost the user the report on screen: the reply
    // is asked for again, and the user is told once. The status line goes on naming the step
    // under way; the count beside it says how noisy the line is.
    status_.CountDroppedReply();
    if (checksumTold_) {
        return;
    }
    checksumTold_ = true;
    // The box tells; it does not hold the upload, which asks again on its own: an upload left
    // running on a noisy line finishes while the box waits for its OK.
    prompt_.Tell("Error in serial comms\n\nA reply from the instrument arrived spoiled. It was "
                 "dropped and is asked for again; the report on screen stays. Should this happen "
                 "often, check the cable or move closer to the instrument.",
                 QString());
}

void LinkController::OnLinkLost() {
    chooser_->Release();
    ShowOffline();
    // The request the loss ended was told just before; what it lost is said here, once.
    const QString lost = lostUpload_.isEmpty() ? QString() : " " + lostUpload_;
    lostUpload_.clear();
    status_.SetActivity((session_.LinkIsPipe()
                             ? "The companion program has closed the pipe: no instrument is "
                               "connected."
                             : "The serial link has closed: no instrument is connected.") +
                        lost + " The tree can still be browsed.");
}

QString LinkController::UploadLost(UploadRequest request) const {
    if (request == UploadRequest::Index) {
        return "The index upload did not finish.";
    }
    const SessionEntry* entry = session_.Reader().Table().FindSlot(session_.Reader().CurrentSlot());
    if (entry == nullptr) {
        return "The session upload did not finish.";
    }
    if (entry->undated != 0) {
        // An undated entry's labels are not its own.
        return QString("The upload of the undated session in slot %1 did not finish.")
            .arg(entry->slot);
    }
    return QString("The upload of the session %1 of %2 %3 did not finish.")
        .arg(FromCp1252(entry->sessionLabel).section(' ', 0, 0), FromCp1252(entry->dayLabel),
             FromCp1252(entry->monthLabel));
}

void LinkController::ShowRequestEnd(UploadRequest request, bool ok) {
    if (!ok && linkUp_ && request != UploadRequest::StartUp &&
        session_.LastFailure() == RequestFailure::LinkLost) {
        lostUpload_ = UploadLost(request);
    }
    switch (request) {
    case UploadRequest::StartUp:
        ShowConnection();
        status_.SetActivity(ok ? "Ready: GO uploads the session index"
                               : "The instrument's information did not come; GO tries again");
        break;
    case UploadRequest::Index: {
        if (session_.Reader().IndexSectorCount() < static_cast<int>(LogImage::kIndexSectors)) {
            status_.SetActivity("The index upload did not finish; GO tries again");
            break;
        }
        const int sessions = tree_.SessionCount();
        status_.SetActivity(QString("Index uploaded: %1 session%2 in the tree%3")
                                .arg(sessions)
                                .arg(sessions == 1 ? "" : "s")
                                .arg(ok ? "" : " (FlashData.txt could not be written)"));
        break;
    }
    case UploadRequest::Session:
        // A report that arrived says so as it is shown (the browser's SetReportText).
        if (!ok && browser_.Offline()) {
            // The report on screen stays: only here is it said why the choice was not shown.
            status_.SetActivity(FromCp1252(browser_.Notice()));
        } else if (!ok && !session_.LinkOpen()) {
            status_.SetActivity("No instrument connected: that session was not uploaded. "
                                "Connect it (File > Connect...) and press GO");
        } else if (!ok) {
            status_.SetActivity("The session upload did not finish");
        }
        break;
    }
}
