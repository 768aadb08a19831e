#include "MainDialog.h"

#include "AboutDialog.h"
#include "ArchiveDialog.h"
#include "ArchivedDumpCopies.h"
#include "BackgroundSync.h"
#include "ChartPanel.h"
#include "FilterDialog.h"
#include "FindBar.h"
#include "InstrumentsWindow.h"
#include "LinkedViews.h"
#include "MapBackground.h"
#include "MapBackgroundDialog.h"
#include "MapPanel.h"
#include "ProgramArchiving.h"
#include "ReportExport.h"
#include "SaveNames.h"
#include "SessionTips.h"
#include "StatusLine.h"
#include "SyncProgress.h"
#include "UploadProgress.h"
#include "UserGuide.h"
#include "WatchSettingsDialog.h"
#include "Watchdog.h"
#include "WindowMemory.h"
#include "session/ClaimingChooser.h"
#include "textcodec/Cp1252.h"
#include "ui_MainDialog.h"

#include "app/SessionBrowser.h"
#include "archive/InstrumentIdentity.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/Settings.h"
#include "metertalk/Comms.h"
#include "metertalk/CommsEngine.h"
#include "report/Report.h"
#include "session/DownloadSettings.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"

#include <QAction>
#include <QColor>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kTitle = "Tavon Datalogger";
const int kTreeIdRole = Qt::UserRole + 1;
const int kItemDataRole = Qt::UserRole;

const char* const kNotHeldTip =
    "Not in this dump: the session was never uploaded into it. Connect the instrument and press "
    "GO to read it.";

const char* const kInArchiveTip = "Not in this dump, but in the archive (session %1): choosing "
                                  "it shows the archive's copy.";

const char* const kNotUploadedTip =
    "Not uploaded: the session was not read before another instrument was connected. Connect "
    "that instrument and press GO to read it.";

const char* const kNoInstrumentText =
    "No instrument is connected. Right-click the window or choose File > Connect... to connect "
    "one (with the companion program, start it first).";

// The slot of a session node; -1 for a month or day node.
int SlotOf(const QTreeWidgetItem* item) {
    const uint data = item->data(0, kItemDataRole).toUInt() & 0xFFFF;
    return data == SessionTable::kFolderData ? -1 : static_cast<int>(data);
}

} // namespace

MainDialog::MainDialog(MainDialogEnvironment environment, QWidget* parent)
    : QDialog(parent), ui_(new Ui::MainDialog), env_(std::move(environment)),
      // The program's link is the process's own: every CComms in it drives the same one.
      session_(new InstrumentSession(&ModuleCommsEngine())),
      chooser_(new ClaimingChooser(ModuleLinkSelection(), env_.app.commandLine)),
      image_(session_->Image()), report_(session_->Report()),
      browser_(session_->Reader(), *this, image_, report_) {
    Q_INIT_RESOURCE(tavon);
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/tavon/tavon.xpm")));
    BuildMenus();
    status_ = new StatusLine(this);
    layout()->addWidget(status_);
    chart_ = ChartPanel::InstallBeside(ui_->reportView);
    map_ = MapPanel::InstallBeside(ui_->reportView);
    MapBackgroundChoice background = ReadMapBackground();
    if (!env_.tiles.isEmpty()) {
        background.kind = MapBackgroundChoice::Kind::TileFile;
        background.tileFile = env_.tiles;
    }
    UseMapBackground(background);
    links_ = new LinkedViews(*ui_->reportView, *chart_, this);
    connect(links_, &LinkedViews::chartTimeChosen, map_, &MapPanel::ShowPlaceAt);
    connect(map_, &MapPanel::placeChosen, links_, &LinkedViews::ChooseRecord);
    findBar_ = new FindBar(*ui_->reportView, this);
    ui_->clientLayout->insertWidget(ui_->clientLayout->indexOf(ui_->progressBar), findBar_);
    // The report is the main thing to read: it takes most of the room the window gains.
    ui_->treeAndReport->setStretchFactor(0, 1);
    ui_->treeAndReport->setStretchFactor(1, 3);
    ui_->treeAndReport->setSizes({216, 782});

    session_->SetListener(&browser_);
    // A dump saved as its index arrived lacks what was read since, which the archive keeps.
    browser_.SetCopyFinder([](LogImage& dump) { return ArchivedDumpCopies::Find(dump); });
    session_->SetTickPeriod(env_.tickMs);
    archiving_.reset(new ProgramArchiving([this](const QString& text) { Prompt(text, kTitle); }));
    archiving_->Attach(session_->Reader());
    sync_ = new BackgroundSync(this);
    connect(sync_, &BackgroundSync::Ended, this, [this](const QString& line, bool, bool tell) {
        const QString said = line.left(1).toUpper() + line.mid(1);
        // The status line never goes on saying a sync runs once it has ended, and keeps the
        // result of one after a download too, which is told in no message when it went through.
        status_->SetActivity(said.section('\n', 0, 0));
        if (syncProgress_ != nullptr) {
            syncProgress_->hide();
        }
        if (tell) {
            Prompt(said, kTitle);
        }
    });
    archiving_->AddActions(*menuBar_->findChild<QMenu*>("menuFile"), Action("actionSave"));
    EnableSyncNow();
    EnableSaving(); // nothing is shown yet
    archiving_->SetServiceNote(
        [this](const QStringList& lines) { status_->SetServiceNote(lines); });
    ConnectSession();

    // A right click anywhere, on the report and the tree too, chooses the link again.
    ui_->reportView->setContextMenuPolicy(Qt::NoContextMenu);
    ui_->sessionTree->setContextMenuPolicy(Qt::NoContextMenu);

    connect(ui_->goButton, &QPushButton::clicked, this, [this] { OnGo(); });
    connect(ui_->nextButton, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(ui_->fullDayBox, &QCheckBox::clicked, this, [this] { OnFullDay(); });
    connect(ui_->okButton, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(ui_->allSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnAllSessions(checked); });
    connect(ui_->alarmSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnAlarmSessions(checked); });
    connect(ui_->calSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnCalSessions(checked); });
    connect(ui_->sessionTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnTreeSelection(current); });

    // A small window of its own, not a frame inside the report; closing it only hides it.
    filter_ = new FilterDialog(this);
    filter_->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    filter_->setWindowTitle("Filter Logs");
    filter_->installEventFilter(this);
    filter_->hide();
    connect(filter_, &FilterDialog::changed, this, [this] { OnFilterChanged(); });

    WindowMemory(env_.windowFile).Restore(*this, *ui_->treeAndReport);
}

MainDialog::~MainDialog() {
    // The session ends before the dialog's widgets, which it still shows things in.
    session_->SetListener(nullptr);
    // The libraries keep module-wide pointers to the prompt; do not leave them dangling.
    if (env_.prompt != nullptr) {
        CComms().SetUserPrompt(nullptr);
        ModuleLinkSelection().SetUserPrompt(nullptr);
    }
    if (initialised_) {
        ModuleLinkSelection().SetFatalEnd(nullptr);
    }
}

void MainDialog::ConnectSession() {
    InstrumentSession& session = *session_;
    connect(&session, &InstrumentSession::Ticked, this, [this] { OnTicked(); });
    connect(
        &session, &InstrumentSession::Progress, this,
        [this](UploadRequest request, int done, int total) { ShowProgress(request, done, total); });
    connect(&session, &InstrumentSession::SpoiledReply, this, [this] { OnSpoiledReply(); });
    connect(&session, &InstrumentSession::LinkLost, this, [this] { OnLinkLost(); });
}

void MainDialog::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);

    QMenu* file = menuBar_->addMenu(tr("&File"));
    file->setObjectName("menuFile");
    QAction* connectLink = file->addAction("Connect...", this, [this] { Connect(); });
    connectLink->setObjectName("actionConnect");
    // The keys are the ones other programs use for the same thing, shown beside each item.
    QAction* go = file->addAction("GO", this, [this] { OnGo(); });
    go->setObjectName("actionGo");
    go->setShortcut(QKeySequence(Qt::Key_F5));
    go->setEnabled(false); // as the button, until an instrument is connected
    QAction* openDump = file->addAction("Open Dump...", this, [this] { OpenDump(); });
    openDump->setObjectName("actionOpenDump");
    QAction* openArchive = file->addAction("Open Archive...", this, [this] { OpenArchive(); });
    openArchive->setObjectName("actionOpenArchive");
    QAction* save = file->addAction("Save", this, [this] { SaveReport(); });
    save->setObjectName("actionSave");
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addAction("Save as PDF...", this, [this] { SaveReportPdf(); })
        ->setObjectName("actionSavePdf");
    QAction* print = file->addAction("Print...", this, [this] { PrintReport(); });
    print->setObjectName("actionPrint");
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addAction("Export...", this, [this] { ExportReport(); })->setObjectName("actionExport");
    file->addAction("Download Automatically...", this,
                    [this] {
                        WatchSettingsDialog settings(this);
                        settings.exec();
                    })
        ->setObjectName("actionDownloadAutomatically");
    QAction* syncNow = file->addAction("Sync Now", this, [this] { SyncNow(); });
    syncNow->setObjectName("actionSyncNow");
    // Settings.ini may change while the program runs: the item asks each time the menu opens.
    connect(file, &QMenu::aboutToShow, this, [this] { EnableSyncNow(); });
    file->addSeparator();
    // Quit ends the dialog without closing the link first, as the close box does.
    QAction* quit = file->addAction("Quit", this, [this] { done(1); });
    quit->setObjectName("actionQuit");
    file->addSeparator();
    QAction* about = file->addAction("About Tavon Datalogging...", this, [this] { ShowAbout(); });
    about->setObjectName("actionAbout");

    QMenu* view = menuBar_->addMenu(tr("&View"));
    view->setObjectName("menuView");
    QAction* find = view->addAction("Find in Report...", this, [this] { FindInReport(); });
    find->setObjectName("actionFind");
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction* filter = view->addAction("Filter Logs...", this, [this] { ToggleFilter(); });
    filter->setObjectName("actionFilter");
    filter->setCheckable(true);
    QMenu* sessions = view->addMenu("Sessions");
    sessions->setObjectName("menuSessions");
    QAction* all = sessions->addAction("All");
    all->setObjectName("actionSessionsAll");
    QAction* alarm = sessions->addAction("Alarm");
    alarm->setObjectName("actionSessionsAlarm");
    QAction* cal = sessions->addAction("Cal");
    cal->setObjectName("actionSessionsCal");
    for (QAction* a : {all, alarm, cal}) {
        a->setCheckable(true);
    }
    connect(all, &QAction::triggered, this, [this](bool c) { browser_.OnAllSessions(c); });
    connect(alarm, &QAction::triggered, this, [this](bool c) { browser_.OnAlarmSessions(c); });
    connect(cal, &QAction::triggered, this, [this](bool c) { browser_.OnCalSessions(c); });
    view->addAction("Instruments...", this, [this] { OpenInstruments(); })
        ->setObjectName("actionInstruments");
    view->addAction("Map Background...", this, [this] { ChooseMapBackground(); })
        ->setObjectName("actionMapBackground");
    // Uploads at the speed of the line instead of one read per tick; remembered in Settings.ini.
    QAction* fast = view->addAction("Fast Upload");
    fast->setObjectName("actionFastUpload");
    fast->setCheckable(true);
    connect(fast, &QAction::triggered, this, [this](bool checked) {
        WriteSetting("Fast Upload", checked ? "TRUE" : "FALSE");
        session_->SetFastUpload(checked);
    });

    // The manual of this program, and the instrument's own where it is beside it.
    QMenu* help = menuBar_->addMenu(tr("&Help"));
    help->setObjectName("menuHelp");
    QAction* guide = help->addAction("User Guide", this, [this] { ShowGuide(); });
    guide->setObjectName("actionUserGuide");
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    help->addAction("Instrument Manual", this, [this] { OpenManual(); })
        ->setObjectName("actionHelp");
}

QAction* MainDialog::Action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

bool MainDialog::Initialise() {
    report_.ShowTimedLogs = report_.ShowAlarmLogs = report_.ShowManualLogs = 1;
    browser_.OnAllSessions(true);

    if (env_.prompt != nullptr) {
        CComms().SetUserPrompt(env_.prompt);
        ModuleLinkSelection().SetUserPrompt(env_.prompt);
    }
    ModuleCommsEngine().SetProgressFactory(
        [] { return std::unique_ptr<UploadProgressView>(new CUploadProgress); });
    // A discovery that finds no ports at all leaves the program running, offline: the choice
    // only ends without a link.
    ModuleLinkSelection().SetFatalEnd(nullptr);
    initialised_ = true;
    const bool connected = Connect();

    filter_->InitDialog();
    filter_->hide();

    report_.ShowBarholeGraph = ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    report_.HeaderCountdown = 0;
    const bool fast = ReadDownloadSettings().fastUpload;
    Action("actionFastUpload")->setChecked(fast);
    session_->SetFastUpload(fast);

    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
        env_.watchdog->Start();
    }
    // The tick runs connected or not: the watchdog hangs on it.
    session_->StartTicking();
    // The filter's first state reaches the report as its first change would.
    OnFilterChanged();
    return connected;
}

bool MainDialog::Connect() {
    if (session_->LinkOpen()) {
        session_->ChooseAgain(*chooser_);
        if (!chooser_->Holder().empty()) {
            session_->Disconnect();
            ShowHeld(chooser_->LinkText(), chooser_->Holder());
            return false;
        }
        return true;
    }
    if (!session_->Connect(*chooser_, env_.app)) {
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
    status_->SetStep("Reading the instrument's information");
    return true;
}

bool MainDialog::Connected() const {
    return session_->LinkOpen();
}

void MainDialog::ShowHeld(const std::string& link, const std::string& holder) {
    const QString held = QString::fromLocal8Bit(link.empty() ? "the link chosen" : link.c_str()) +
                         " is held by " + QString::fromLocal8Bit(holder.c_str());
    status_->SetConnection("Offline: " + held);
    status_->SetActivity(held.at(0).toUpper() + held.mid(1) +
                         ". The program leaves it alone: once it is free, right-click the window "
                         "or choose File > Connect...");
}

void MainDialog::ShowConnection() {
    QString text;
    if (session_->LinkIsPipe()) {
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
        session_->Reader().StartUpComplete()
            ? archive::IdentifyInstrument(session_->Reader().Facts(), {})
            : archive::InstrumentIdentity{};
    if (!told.serialNumber.isEmpty()) {
        identity << "serial number " + told.serialNumber;
    }
    if (!told.firmwareVersion.isEmpty()) {
        identity << "firmware " + told.firmwareVersion;
    }
    status_->SetConnection(identity.isEmpty() ? text : text + ": " + identity.join(", "));
}

void MainDialog::ShowOffline() {
    linkUp_ = false;
    EnableGo(false);
    status_->SetConnection("Offline");
    status_->SetServiceNote({});
    status_->SetActivity("No instrument connected: right-click the window or choose File > "
                         "Connect... (with the companion program, start it first)");
}

void MainDialog::OnTicked() {
    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
    }
}

void MainDialog::OnFilterChanged() {
    CopyFilterFlags();
    ++renderCount_;
    browser_.RenderAgain();
    status_->SetFilterNote(filter_->HiddenNote());
}

void MainDialog::CopyFilterFlags() {
    report_.ShowAlarmLogs = filter_->Alarm;
    report_.ShowTimedLogs = filter_->Timed;
    report_.ShowManualLogs = filter_->Manual;
    report_.ShowCalibrationLogs = filter_->Calibration;
    report_.ShowBumpLogs = filter_->BumpTest;
    showAllLogs_ = filter_->ShowAllLogs;
    const QSignalBlocker block(ui_->showAllLogsBox);
    ui_->showAllLogsBox->setChecked(showAllLogs_ != 0);
}

void MainDialog::OnSpoiledReply() {
    // One bad byte on a Bluetooth link must not cost the user the report on screen: the reply
    // is asked for again, and the user is told once. The status line goes on naming the step
    // under way; the count beside it says how noisy the line is.
    status_->CountDroppedReply();
    if (checksumTold_) {
        return;
    }
    checksumTold_ = true;
    // The box tells; it does not hold the upload, which asks again on its own: an upload left
    // running on a noisy line finishes while the box waits for its OK.
    Prompt("Error in serial comms\n\nA reply from the instrument arrived spoiled. It was dropped "
           "and is asked for again; the report on screen stays. Should this happen often, check "
           "the cable or move closer to the instrument.",
           QString());
}

void MainDialog::OnLinkLost() {
    chooser_->Release();
    ShowOffline();
    // The request the loss ended was told just before; what it lost is said here, once.
    const QString lost = lostUpload_.isEmpty() ? QString() : " " + lostUpload_;
    lostUpload_.clear();
    status_->SetActivity((session_->LinkIsPipe()
                              ? "The companion program has closed the pipe: no instrument is "
                                "connected."
                              : "The serial link has closed: no instrument is connected.") +
                         lost + " The tree can still be browsed.");
}

QString MainDialog::UploadLost(UploadRequest request) const {
    if (request == UploadRequest::Index) {
        return "The index upload did not finish.";
    }
    const SessionEntry* entry =
        session_->Reader().Table().FindSlot(session_->Reader().CurrentSlot());
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

void MainDialog::OnGo() {
    if (!session_->LinkOpen()) {
        Prompt(kNoInstrumentText, "GO");
        return;
    }
    browser_.OnGo();
}

void MainDialog::OnNext() {
    browser_.OnNext();
}

void MainDialog::OnFullDay() {
    browser_.OnFullDay(ui_->fullDayBox->isChecked());
}

void MainDialog::OnOk() {
    session_->Disconnect();
    chooser_->Release();
    accept();
}

void MainDialog::SaveReport() {
    QString path;
    if (env_.askSaveName) {
        path = env_.askSaveName(this);
    } else {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(FileFilter(SavedKind::Report));
        dialog.setDefaultSuffix(FileSuffix(SavedKind::Report));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.selectFile(SuggestedPath(SuggestedName(), SavedKind::Report));
        // The initial name is a pattern, not a name: accepting it (or any other pattern) must
        // not create a file called "*.Rtf", so the dialog is shown again instead.
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString chosen = dialog.selectedFiles().constFirst();
            const QString name = QFileInfo(chosen).fileName();
            if (!name.contains('*') && !name.contains('?')) {
                path = chosen;
                break;
            }
            dialog.selectFile("*." + FileSuffix(SavedKind::Report));
        }
    }
    if (path.isEmpty()) {
        return;
    }
    SaveReportTo(path);
}

QString MainDialog::SuggestedName() const {
    const std::vector<ShownReport::Section>& sections = browser_.Shown().Sections();
    const SessionEntry* first =
        sections.empty() ? nullptr : session_->Reader().Table().FindSlot(sections.front().slot);
    if (first == nullptr) {
        return QString();
    }
    // A day's report is named after the day; one session also after its start.
    const bool one = sections.size() == 1 && !browser_.FullDay();
    return SavedName(
        QString::fromStdString(SessionDate(*first)),
        one ? QString::fromStdString(SessionStartText(*first, "%H-%M-%S")) : QString(), first->slot,
        ReportExport::ShownInstrument(browser_, session_->Reader(), archiving_->InstrumentName()));
}

std::vector<SurveyHeading> MainDialog::ShownHeadings() const {
    const std::vector<int16_t> shown = browser_.ShownSlots();
    const std::string instrument =
        ReportExport::ShownInstrument(browser_, session_->Reader(), archiving_->InstrumentName())
            .toStdString();
    const QStringList statuses = archiving_->RegisterStatusesOf(shown);
    std::vector<SurveyHeading> headings;
    for (size_t i = 0; i < shown.size(); ++i) {
        headings.push_back({NamingOf(session_->Reader().Table(), shown[i], instrument),
                            statuses.value(static_cast<qsizetype>(i)).toStdString()});
    }
    return headings;
}

QString MainDialog::ShownReportName() const {
    const std::vector<ShownReport::Section>& sections = browser_.Shown().Sections();
    if (sections.empty()) {
        return "the report";
    }
    const size_t count = browser_.ShownSlots().size();
    return QString("the report of %1%2 (%3 session%4)")
        .arg(FromCp1252(sections.front().headingDay), FromCp1252(sections.front().headingMonth))
        .arg(count)
        .arg(count == 1 ? "" : "s");
}

void MainDialog::EnableSaving() {
    const bool shown = !browser_.ShownSlots().empty();
    for (const char* name : {"actionSave", "actionSavePdf", "actionPrint", "actionExport"}) {
        if (QAction* action = Action(name)) {
            action->setEnabled(shown);
        }
    }
}

bool MainDialog::SaveReportTo(const QString& path) {
    if (browser_.ShownSlots().empty()) {
        return false;
    }
    // Always the RTF document, never the text the view shows. Line feeds become CR LF as a
    // text-mode stream on the instrument's home platform would write them, so the file is the
    // same wherever it was saved.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(report_.ReportText.size()));
    for (const char c : report_.ReportText) {
        if (c == '\n') {
            bytes.append('\r');
        }
        bytes.append(c);
    }
    // QSaveFile: a failed write never leaves a half-written report in place of an old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Prompt(QString("Cannot create the file \"%1\".\n%2").arg(path, file.errorString()), "Save");
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        Prompt(QString("Cannot write the file \"%1\".\n%2").arg(path, file.errorString()), "Save");
        return false;
    }
    status_->SetActivity("Saved " + ShownReportName() + " to " +
                         QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    return true;
}

void MainDialog::OpenManual() {
    // The instrument's manual where the program is run from, else where it is installed; without
    // it, the program's own guide.
    const QString name = QString::fromStdString(env_.manualFile);
    QFileInfo manual(QDir::current(), name);
    if (!manual.exists()) {
        manual = QFileInfo(QDir(QCoreApplication::applicationDirPath()), name);
    }
    if (!manual.exists()) {
        Prompt(QString("The instrument's manual \"%1\" is in neither the working folder (%2) nor "
                       "the program's folder (%3): the program's own User Guide opens instead "
                       "(Help > User Guide, F1).")
                   .arg(name, QDir::toNativeSeparators(QDir::currentPath()),
                        QDir::toNativeSeparators(QCoreApplication::applicationDirPath())),
               "Help");
        ShowGuide();
        return;
    }
    const QUrl url = QUrl::fromLocalFile(manual.absoluteFilePath());
    const bool opened = env_.openUrl ? env_.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        Prompt(QString("No program could open the manual \"%1\".").arg(manual.absoluteFilePath()),
               "Help");
    }
}

void MainDialog::OpenDump() {
    QString path;
    if (env_.askDumpName) {
        path = env_.askDumpName(this);
    } else {
        path = QFileDialog::getOpenFileName(this, "Open Dump", QString(),
                                            "Memory dumps (*.txt);;All files (*)");
    }
    if (path.isEmpty()) {
        return;
    }
    OpenDumpFrom(path);
}

bool MainDialog::OpenDumpFrom(const QString& path) {
    std::string message;
    if (browser_.OpenDump(QFile::encodeName(path).constData(), message) == 0) {
        Prompt(QString::fromLocal8Bit(message.c_str()), "Open Dump");
        return false;
    }
    int copies = 0;
    for (const QTreeWidgetItem* item : nodes_) {
        const int slot = item != nullptr ? SlotOf(item) : -1;
        copies += slot >= 0 && !image_.SessionHeld(static_cast<int16_t>(slot)) &&
                          browser_.CopyOf(static_cast<int16_t>(slot)) >= 0
                      ? 1
                      : 0;
    }
    status_->SetActivity("Opened " + QFileInfo(path).fileName() + ": choose a session to read it" +
                         (copies == 0 ? QString()
                                      : QString(" (%1 session%2 it lacks shown from the archive)")
                                            .arg(copies)
                                            .arg(copies == 1 ? "" : "s")));
    return true;
}

void MainDialog::ShowGuide() {
    if (guide_ == nullptr) {
        guide_ = new UserGuide(this);
    }
    guide_->show();
    guide_->raise();
    guide_->activateWindow();
}

void MainDialog::OpenArchive() {
    // Settings.ini may name a team's server archive; the default one otherwise.
    ArchiveDialog* dialog =
        new ArchiveDialog(QString::fromStdString(ReadDownloadSettings().archive), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The same tiles under both maps: one store open once.
    dialog->Map()->SetBackground(map_->Background());
    dialog->Map()->SetBackgroundMessage(mapMessage_);
    dialog->OfferSync(Action("actionSyncNow"));
    if (dialog->Open()) {
        dialog->show();
    } else {
        dialog->close();
    }
}

void MainDialog::ChooseMapBackground() {
    MapBackgroundChoice choice = ReadMapBackground();
    bool chosen = false;
    if (env_.askMapBackground) {
        chosen = env_.askMapBackground(choice, this);
    } else {
        MapBackgroundDialog dialog(choice, this);
        chosen = dialog.exec() == QDialog::Accepted;
        choice = dialog.Choice();
    }
    if (!chosen) {
        return;
    }
    if (!WriteMapBackground(choice)) {
        status_->SetActivity("The map background could not be kept in Settings.ini: it is used "
                             "until the program ends.");
    }
    UseMapBackground(choice);
}

void MainDialog::UseMapBackground(const MapBackgroundChoice& choice) {
    std::shared_ptr<mapping::TileSource> background = MakeBackground(choice, mapMessage_);
    map_->SetBackground(std::move(background));
    map_->SetBackgroundMessage(mapMessage_);
    reportMapTiles_ = ReportMapTiles(choice);
}

void MainDialog::OpenInstruments() {
    InstrumentsWindow* window =
        new InstrumentsWindow(QString::fromStdString(ReadDownloadSettings().archive), this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (window->Open()) {
        window->show();
    } else {
        window->close();
    }
}

void MainDialog::ExportReport() {
    const std::vector<int16_t> shownSlots = browser_.ShownSlots();
    if (shownSlots.empty()) {
        return;
    }
    const QString path = env_.askExportName
                             ? env_.askExportName(this)
                             : ReportExport::AskPath(this, InSavingFolder(SuggestedName()));
    if (path.isEmpty()) {
        return;
    }
    const QString error = ReportExport::Write(
        path, shownSlots, image_, report_,
        ReportExport::ShownInstrument(browser_, session_->Reader(), archiving_->InstrumentName()));
    if (!error.isEmpty()) {
        Prompt(error, "Export");
        return;
    }
    status_->SetActivity("Exported " + ShownReportName() + " to " +
                         QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::ToggleFilter() {
    const bool show = !filter_->isVisible();
    if (show && !filterPlaced_) {
        PlaceFilter();
    }
    filter_->setVisible(show);
    if (show) {
        filter_->raise();
    }
    if (QAction* action = Action("actionFilter")) {
        action->setChecked(show);
    }
}

void MainDialog::PlaceFilter() {
    // The first time, at the top right of the report, where it hides the least; afterwards
    // wherever the user left it.
    filterPlaced_ = true;
    const QWidget* report = ui_->reportView;
    const QPoint topRight = report->mapToGlobal(QPoint(report->width(), 0));
    filter_->move(topRight.x() - filter_->width() - 24, topRight.y() + 8);
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && (event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
        // The close button hides the panel; the menu's tick follows it.
        if (QAction* action = Action("actionFilter")) {
            action->setChecked(event->type() == QEvent::Show);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::done(int result) {
    if (isVisible()) {
        WindowMemory(env_.windowFile).Save(*this, *ui_->treeAndReport);
    }
    QDialog::done(result);
}

void MainDialog::Prompt(const QString& text, const QString& caption) {
    if (env_.prompt != nullptr) {
        env_.prompt->Show(text.toStdString(), caption.toStdString());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
    box.exec();
}

void MainDialog::OnTreeSelection(QTreeWidgetItem* current) {
    if (selectingFromBrowser_) {
        return;
    }
    inTreeSelection_ = true;
    browser_.OnSessionSelected(current != nullptr ? current->data(0, kTreeIdRole).toInt() : -1);
    inTreeSelection_ = false;
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    Connect();
}

// ---------------------------------------------------------------------------------------------
// BrowserView

void MainDialog::EnableGo(bool enable) {
    // GO reads the instrument: without one it stays disabled, whatever the browser allows (a
    // dump opened offline, a request ended by the link's loss).
    const bool go = enable && session_->LinkOpen();
    ui_->goButton->setEnabled(go);
    if (QAction* action = Action("actionGo")) {
        action->setEnabled(go);
    }
}

void MainDialog::EnableTree(bool enable) {
    ui_->sessionTree->setEnabled(enable);
}

void MainDialog::EnableNext(bool enable) {
    ui_->nextButton->setEnabled(enable);
}

void MainDialog::ShowProgress(UploadRequest request, int done, int total) {
    if (total == 0) {
        // The request has ended.
        ui_->progressBar->setValue(0);
        ui_->progressBar->setTextVisible(false);
        return;
    }
    ui_->progressBar->setRange(0, total);
    ui_->progressBar->setValue(done);
    const bool index = request == UploadRequest::Index;
    const QString part = QString("%1 %2 of %3")
                             .arg(index ? "sector" : "piece")
                             .arg(done + 1)
                             .arg(ui_->progressBar->maximum());
    ui_->progressBar->setFormat(part.at(0).toUpper() + part.mid(1));
    ui_->progressBar->setTextVisible(true);
    // A transfer begins at 0: its own spoiled replies are counted.
    const bool begins = done == 0;
    if (index) {
        status_->SetStep("Uploading index " + part, begins);
        return;
    }
    const SessionEntry* entry =
        session_->Reader().Table().FindSlot(session_->Reader().CurrentSlot());
    const QString time = entry != nullptr ? QString::fromLatin1(entry->sessionLabel, 8) : QString();
    status_->SetStep("Uploading session " + time + ", " + part, begins);
}

void MainDialog::ClearTree() {
    selectingFromBrowser_ = true;
    ui_->sessionTree->clear();
    selectingFromBrowser_ = false;
    nodes_.clear();
}

void MainDialog::InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                            bool makeVisible) {
    if (id < 0) {
        return;
    }
    auto* item = new QTreeWidgetItem(QStringList{FromCp1252(text)});
    item->setData(0, kItemDataRole, static_cast<uint>(itemData));
    item->setData(0, kTreeIdRole, id);
    if ((itemData & 0xFFFF) != SessionTable::kFolderData) {
        // The tip comes from the entry's name, as the label's tags do, never from the label.
        const SessionEntry* entry =
            session_->Reader().Table().FindSlot(static_cast<int16_t>(itemData & 0xFFFF));
        item->setToolTip(0,
                         SessionTip(entry != nullptr ? TagsOfName(entry->name, sizeof entry->name)
                                                     : SessionTags()));
    }
    if (parent >= 0 && static_cast<size_t>(parent) < nodes_.size() && nodes_[parent] != nullptr) {
        nodes_[parent]->addChild(item);
        if (makeVisible) {
            nodes_[parent]->setExpanded(true);
        }
    } else {
        ui_->sessionTree->addTopLevelItem(item);
    }
    if (static_cast<size_t>(id) >= nodes_.size()) {
        nodes_.resize(static_cast<size_t>(id) + 1, nullptr);
    }
    nodes_[id] = item;
    archiving_->Mark(*item);
}

void MainDialog::SelectNode(int id) {
    ShowSelected(id);
    if (inTreeSelection_) {
        // The browser put the selection back while the tree was still taking the user's click,
        // which selects the node clicked once this returns: it is put back again after that.
        QTimer::singleShot(0, this, [this, id] {
            if (browser_.SelectedNode() == id) {
                ShowSelected(id);
            }
        });
    }
}

void MainDialog::ShowSelected(int id) {
    QTreeWidgetItem* item = nullptr;
    if (id >= 0 && static_cast<size_t>(id) < nodes_.size()) {
        item = nodes_[id];
    }
    selectingFromBrowser_ = true;
    ui_->sessionTree->setCurrentItem(item);
    if (item == nullptr) {
        ui_->sessionTree->clearSelection();
    }
    selectingFromBrowser_ = false;
    if (item != nullptr) {
        ui_->sessionTree->scrollToItem(item);
    }
}

void MainDialog::FindInReport() {
    if (QTabWidget* tabs = findChild<QTabWidget*>("reportTabs")) {
        tabs->setCurrentWidget(ui_->reportView);
    }
    findBar_->Open();
}

void MainDialog::SetReportText(const std::string& rtf) {
    ui_->reportView->SetRtf(rtf);
    chart_->Show(browser_.Shown(), image_, report_);
    links_->SetReport(browser_.Shown().SessionAnchors(report_));
    map_->Show(browser_.Shown(), image_, report_, ShownHeadings());
    EnableSaving();
    const size_t shown = browser_.ShownSlots().size();
    if (shown > 0) {
        status_->SetActivity(
            QString("Report: %1%2, %3 session%4")
                .arg(FromCp1252(report_.HeadingDay), FromCp1252(report_.HeadingMonth))
                .arg(shown)
                .arg(shown == 1 ? "" : "s") +
            CopiesShown());
    }
    emit reportShown();
}

QString MainDialog::CopiesShown() const {
    const std::vector<int16_t> shown = browser_.ShownSlots();
    QStringList ids;
    for (const int16_t slot : shown) {
        if (browser_.FromCopy(slot)) {
            ids << QString::number(browser_.CopyOf(slot));
        }
    }
    if (ids.isEmpty()) {
        return QString();
    }
    if (shown.size() == 1) {
        return ", from the archive (session " + ids.front() + "): the dump does not hold it";
    }
    return QString(", %1 of them from the archive (session%2 %3): the dump does not hold %4")
        .arg(ids.size())
        .arg(ids.size() == 1 ? "" : "s", ids.join(", "), ids.size() == 1 ? "it" : "them");
}

void MainDialog::SetFullDayBox(bool checked) {
    const QSignalBlocker block(ui_->fullDayBox);
    ui_->fullDayBox->setChecked(checked);
}

void MainDialog::SetSessionBoxes(const SessionBoxes& boxes) {
    const struct {
        QCheckBox* box;
        const char* action;
        bool checked;
    } mirrors[] = {{ui_->allSessionsBox, "actionSessionsAll", boxes.all},
                   {ui_->alarmSessionsBox, "actionSessionsAlarm", boxes.alarm},
                   {ui_->calSessionsBox, "actionSessionsCal", boxes.cal}};
    for (const auto& m : mirrors) {
        const QSignalBlocker block(m.box);
        m.box->setChecked(m.checked);
        if (QAction* action = Action(m.action)) {
            action->setChecked(m.checked);
        }
    }
}

void MainDialog::ShowMessage(MessageKind kind, const std::string& text) {
    if (kind == MessageKind::Status) {
        // Empty when the instrument answers again after a wait: its information is read anew.
        status_->SetStep(text.empty() ? QString("Reading the instrument's information")
                                      : FromCp1252(text));
        return;
    }
    if (text == UploadMachine::kNoAnswerText && !session_->LinkOpen()) {
        // Not an instrument that stopped answering: there is none at the other end any more.
        ShowMessage(kind, kNoInstrumentText);
        return;
    }
    const std::string caption = MessageCaption(kind);
    if (env_.prompt != nullptr) {
        env_.prompt->Show(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, FromCp1252(caption), FromCp1252(text), QMessageBox::Ok,
                    this);
    box.exec();
}

void MainDialog::SuspendTick() {
    // A box is open: the session's ticks have stopped, and the watchdog waits for the user.
    if (env_.watchdog != nullptr) {
        env_.watchdog->Hold();
    }
}

void MainDialog::ResumeTick() {
    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
    }
}

void MainDialog::ShowDataSource(DataSource source, const std::string& name) {
    archiving_->SetSource(source);
    switch (source) {
    case DataSource::Instrument:
        setWindowTitle(kTitle);
        break;
    case DataSource::Dump:
        MarkSessionsNotHeld();
        setWindowTitle(QString("%1 - %2 (saved dump, not the instrument)")
                           .arg(kTitle, QFileInfo(QFile::decodeName(name.c_str())).fileName()));
        break;
    case DataSource::EarlierInstrument:
        // Another instrument is connected: the tree is the one before's, and nothing is uploaded
        // under its labels from this one's memory.
        MarkSessionsNotHeld();
        setWindowTitle(QString("%1 - sessions of %2 (not the instrument connected: GO reads its "
                               "sessions)")
                           .arg(kTitle, name.empty() ? QString("the instrument connected before")
                                                     : FromCp1252(name)));
        status_->SetActivity("Another instrument is connected: the tree is the one read before. "
                             "GO reads this instrument's sessions.");
        break;
    }
}

void MainDialog::MarkSessionsNotHeld() {
    // A dump saved after the index upload (or the image of an instrument connected before) holds
    // only the sessions that were chosen; the others are still listed, greyed, so that the user
    // knows what is missing.
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    for (QTreeWidgetItem* item : nodes_) {
        if (item == nullptr) {
            continue;
        }
        const int slot = SlotOf(item);
        if (slot < 0 || image_.SessionHeld(static_cast<int16_t>(slot))) {
            continue;
        }
        const int64_t copy = browser_.CopyOf(static_cast<int16_t>(slot));
        if (copy >= 0) {
            item->setToolTip(0, QString(kInArchiveTip).arg(copy));
            continue;
        }
        item->setForeground(0, grey);
        item->setToolTip(0, browser_.OfflineSource() == DataSource::EarlierInstrument
                                ? kNotUploadedTip
                                : kNotHeldTip);
    }
}

void MainDialog::RequestEnded(UploadRequest request, bool ok) {
    archiving_->RequestEnded(request, ok, session_->Reader());
    archiving_->MarkAll(*ui_->sessionTree);
    ShowRequestEnd(request, ok);
    emit requestEnded(static_cast<int>(request), ok);
}

void MainDialog::ShowRequestEnd(UploadRequest request, bool ok) {
    if (!ok && linkUp_ && request != UploadRequest::StartUp &&
        session_->LastFailure() == RequestFailure::LinkLost) {
        lostUpload_ = UploadLost(request);
    }
    switch (request) {
    case UploadRequest::StartUp:
        ShowConnection();
        status_->SetActivity(ok ? "Ready: GO uploads the session index"
                                : "The instrument's information did not come; GO tries again");
        break;
    case UploadRequest::Index: {
        if (session_->Reader().IndexSectorCount() < static_cast<int>(LogImage::kIndexSectors)) {
            status_->SetActivity("The index upload did not finish; GO tries again");
            break;
        }
        int sessions = 0;
        for (const QTreeWidgetItem* item : nodes_) {
            sessions += item != nullptr && SlotOf(item) >= 0 ? 1 : 0;
        }
        status_->SetActivity(QString("Index uploaded: %1 session%2 in the tree%3")
                                 .arg(sessions)
                                 .arg(sessions == 1 ? "" : "s")
                                 .arg(ok ? "" : " (FlashData.txt could not be written)"));
        break;
    }
    case UploadRequest::Session:
        // A report that arrived says so as it is shown (SetReportText).
        if (!ok && browser_.Offline()) {
            // The report on screen stays: only here is it said why the choice was not shown.
            status_->SetActivity(FromCp1252(browser_.Notice()));
        } else if (!ok && !session_->LinkOpen()) {
            status_->SetActivity("No instrument connected: that session was not uploaded. "
                                 "Connect it (File > Connect...) and press GO");
        } else if (!ok) {
            status_->SetActivity("The session upload did not finish");
        }
        // What arrived is in the archive: on to the one "Sync" names, when one is.
        if (ok && !browser_.Offline() && archiving_->Enabled()) {
            QString none;
            sync_->Start(BackgroundSync::Why::AfterDownload, none);
        }
        break;
    }
}

void MainDialog::EnableSyncNow() {
    QAction* action = Action("actionSyncNow");
    const QString why = BackgroundSync::Unavailable();
    action->setEnabled(why.isEmpty());
    action->setToolTip(why.isEmpty() ? action->text() : why);
    action->setStatusTip(why);
}

void MainDialog::SyncNow() {
    QString message;
    if (!sync_->Start(BackgroundSync::Why::Asked, message)) {
        Prompt(message, kTitle);
        return;
    }
    status_->SetActivity("Syncing the archive: the result is shown when it is done");
    syncProgress_ = new SyncProgress(*sync_, sync_->Into(), this);
    syncProgress_->show();
}

void MainDialog::ShowReportNotice(const std::string& text) {
    ui_->reportView->ShowNotice(FromCp1252(text));
    EnableSaving();
}
