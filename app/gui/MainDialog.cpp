#include "MainDialog.h"

#include "AboutDialog.h"
#include "ArchiveDialog.h"
#include "Cp1252.h"
#include "FilterDialog.h"
#include "ProgramArchiving.h"
#include "ReportExport.h"
#include "Watchdog.h"
#include "ui_MainDialog.h"

#include "app/LogImage.h"
#include "app/MeterTalkComms.h"
#include "app/SessionBrowser.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/Settings.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/Comms.h"
#include "metertalk/QtCommandTarget.h"
#include "metertalk/TestList.h"
#include "metertalk/UploadProgress.h"
#include "report/Report.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kTitle = "Tavon Datalogger";
const int kTreeIdRole = Qt::UserRole + 1;
const int kItemDataRole = Qt::UserRole;

} // namespace

MainDialog::MainDialog(LogImage& image, ReportState& report, MainDialogEnvironment environment,
                       QWidget* parent)
    : QDialog(parent), ui_(new Ui::MainDialog), image_(image), report_(report),
      env_(std::move(environment)), comms_(new CComms), tests_(new CTestList),
      target_(new QtCommandTarget), arrival_(new ArrivalTick(*comms_)) {
    Q_INIT_RESOURCE(tavon);
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/tavon/tavon.xpm")));
    BuildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    conversation_.reset(new MeterTalkComms(*comms_, *tests_, target_.get()));
    archiving_.reset(new ProgramArchiving(*conversation_,
                                          [this](const QString& text) { Prompt(text, kTitle); }));
    archiving_->AddActions(*menuBar_->findChild<QMenu*>("menuFile"), Action("actionSave"));
    browser_.reset(new SessionBrowser(archiving_->Conversation(), *this, image_, report_));

    // A right click anywhere, on the report and the tree too, chooses the link again.
    ui_->id1013->setContextMenuPolicy(Qt::NoContextMenu);
    ui_->id1002->setContextMenuPolicy(Qt::NoContextMenu);

    connect(target_.get(), &QtCommandTarget::command, this, [this](int id) { OnCommand(id); });
    connect(&tick_, &QTimer::timeout, this, [this] { OnTick(); });
    connect(ui_->id1031, &QPushButton::clicked, this, [this] { OnCommand(1031); });
    connect(ui_->id1034, &QPushButton::clicked, this, [this] { OnCommand(1034); });
    connect(ui_->id1035, &QCheckBox::clicked, this, [this] { OnCommand(1035); });
    connect(ui_->id1, &QPushButton::clicked, this, [this] { OnCommand(1); });
    connect(ui_->id1028, &QCheckBox::clicked, this,
            [this](bool checked) { browser_->OnAllSessions(checked); });
    connect(ui_->id1029, &QCheckBox::clicked, this,
            [this](bool checked) { browser_->OnAlarmSessions(checked); });
    connect(ui_->id1030, &QCheckBox::clicked, this,
            [this](bool checked) { browser_->OnCalSessions(checked); });
    connect(ui_->id1002, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnTreeSelection(current); });

    filter_ = new FilterDialog(ui_->clientArea);
    filter_->hide();
}

MainDialog::~MainDialog() {
    tick_.stop();
    // The libraries keep module-wide pointers to the prompt; do not leave them dangling.
    if (env_.prompt != nullptr) {
        comms_->SetUserPrompt(nullptr);
        CLinkSelect().SetUserPrompt(nullptr);
    }
}

void MainDialog::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);

    QMenu* file = menuBar_->addMenu(tr("&File"));
    file->setObjectName("menuFile");
    QAction* openDump = file->addAction("Open Dump...", this, [this] { OpenDump(); });
    openDump->setObjectName("actionOpenDump");
    QAction* openArchive = file->addAction("Open Archive...", this, [this] { OpenArchive(); });
    openArchive->setObjectName("actionOpenArchive");
    QAction* save = file->addAction("Save", this, [this] { OnCommand(kCommandSave); });
    save->setObjectName("actionSave");
    file->addAction("Export...", this, [this] { ExportReport(); })->setObjectName("actionExport");
    file->addSeparator();
    QAction* quit = file->addAction("Quit", this, [this] { OnCommand(kCommandQuit); });
    quit->setObjectName("actionQuit");
    file->addSeparator();
    QAction* about =
        file->addAction("About Tavon Datalogging...", this, [this] { OnCommand(kCommandAbout); });
    about->setObjectName("actionAbout");

    QMenu* view = menuBar_->addMenu(tr("&View"));
    view->setObjectName("menuView");
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
    connect(all, &QAction::triggered, this, [this](bool c) { browser_->OnAllSessions(c); });
    connect(alarm, &QAction::triggered, this, [this](bool c) { browser_->OnAlarmSessions(c); });
    connect(cal, &QAction::triggered, this, [this](bool c) { browser_->OnCalSessions(c); });
    // Uploads at the speed of the line instead of one read per tick; remembered in Settings.ini.
    QAction* fast = view->addAction("Fast Upload");
    fast->setObjectName("actionFastUpload");
    fast->setCheckable(true);
    connect(fast, &QAction::triggered, this, [this](bool checked) {
        fastUpload_ = checked;
        WriteSetting("Fast Upload", checked ? "TRUE" : "FALSE");
        FollowTransfer();
    });

    QAction* help = menuBar_->addAction("Help", this, [this] { OnCommand(kCommandHelp); });
    help->setObjectName("actionHelp");
}

QAction* MainDialog::Action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

bool MainDialog::Initialise() {
    report_.ShowTimedLogs = report_.ShowAlarmLogs = report_.ShowManualLogs = 1;
    browser_->OnAllSessions(true);

    if (env_.prompt != nullptr) {
        comms_->SetUserPrompt(env_.prompt);
        CLinkSelect().SetUserPrompt(env_.prompt);
    }
    comms_->SetProgressFactory(
        [] { return std::unique_ptr<UploadProgressView>(new CUploadProgress); });
    if (comms_->InitCom(&env_.app, "KOVA", "115,200") == 0) {
        return false;
    }
    linkOpen_ = true;

    // The test list attached and the progress display prepared for the start-up uploads.
    conversation_->Prepare();
    // The built-in driver text, "Upload flag" current, state 0 and the first poll.
    browser_->Start();

    filter_->InitDialog();
    filter_->move(329, 2);
    filter_->raise();
    filter_->hide();

    report_.ShowBarholeGraph = ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    report_.HeaderCountdown = 0;
    fastUpload_ = ReadSetting("Fast Upload") == "TRUE";
    Action("actionFastUpload")->setChecked(fastUpload_);

    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
        env_.watchdog->Start();
    }
    tick_.start(env_.tickMs);
    return true;
}

void MainDialog::OnTick() {
    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
    }
    if (ending_) {
        return; // "Error in serial comms" is on screen: nothing more goes to the instrument
    }
    comms_->OnTimer();
    FollowTransfer();
    CopyFilterFlags();
}

void MainDialog::CopyFilterFlags() {
    report_.ShowAlarmLogs = filter_->Alarm;
    report_.ShowTimedLogs = filter_->Timed;
    report_.ShowManualLogs = filter_->Manual;
    report_.ShowCalibrationLogs = filter_->Calibration;
    report_.ShowBumpLogs = filter_->BumpTest;
    showAllLogs_ = filter_->ShowAllLogs;
    {
        const QSignalBlocker block(ui_->id1033);
        ui_->id1033->setChecked(showAllLogs_ != 0);
    }
    if (filter_->ChangeFlag != 0) {
        filter_->ChangeFlag = 0;
        ++renderCount_;
        browser_->RenderAgain();
    }
}

void MainDialog::OnCommand(int id) {
    if (DispatchCommsCommand(*browser_, id)) {
        FollowTransfer();
        return;
    }
    switch (id) {
    case ID_COMMS_FRAME_START:
        break;
    case ID_COMMS_CHECKSUM_ERROR:
        if (!ending_) {
            ending_ = true;
            FollowTransfer();
            Prompt("Error in serial comms", QString());
            EndProcess(0);
        }
        break;
    case 1:
        OnOk();
        break;
    case kCommandQuit:
        done(1);
        break;
    case 1031:
        OnGo();
        break;
    case 1034:
        OnNext();
        break;
    case 1035:
        OnFullDay();
        break;
    case kCommandSave:
        SaveReport();
        break;
    case kCommandHelp:
        OpenManual();
        break;
    case kCommandAbout:
        ShowAbout();
        break;
    default:
        break;
    }
}

void MainDialog::EndProcess(int code) {
    if (env_.endProcess) {
        env_.endProcess(code);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(code);
}

void MainDialog::OnGo() {
    browser_->OnGo();
}

void MainDialog::OnNext() {
    browser_->OnNext();
}

void MainDialog::OnFullDay() {
    browser_->OnFullDay(ui_->id1035->isChecked());
}

void MainDialog::OnOk() {
    if (linkOpen_) {
        comms_->InitCom(nullptr, std::string(), std::string());
        linkOpen_ = false;
    }
    tick_.stop();
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
        dialog.setNameFilter("Rich Text Files (*.Rtf)");
        dialog.setDefaultSuffix("Rtf");
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.selectFile("*.Rtf");
        // The initial name is a pattern, not a name: accepting it (or any other pattern) must
        // not create a file called "*.Rtf", so the dialog is shown again instead.
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString chosen = dialog.selectedFiles().constFirst();
            const QString name = QFileInfo(chosen).fileName();
            if (!name.contains('*') && !name.contains('?')) {
                path = chosen;
                break;
            }
            dialog.selectFile("*.Rtf");
        }
    }
    if (path.isEmpty()) {
        return;
    }
    SaveReportTo(path);
}

bool MainDialog::SaveReportTo(const QString& path) {
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
    return true;
}

void MainDialog::OpenManual() {
    const QFileInfo manual(QDir::current(), QString::fromStdString(env_.manualFile));
    if (!manual.exists()) {
        Prompt(QString("The manual \"%1\" is not in the folder %2.")
                   .arg(QString::fromStdString(env_.manualFile), QDir::currentPath()),
               "Help");
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
    if (browser_->OpenDump(QFile::encodeName(path).constData(), message) == 0) {
        Prompt(QString::fromLocal8Bit(message.c_str()), "Open Dump");
        return false;
    }
    return true;
}

void MainDialog::OpenArchive() {
    // Settings.ini may name a team's server archive; the default one otherwise.
    ArchiveDialog* dialog = new ArchiveDialog(QString::fromStdString(ReadSetting("Archive")), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (dialog->Open()) {
        dialog->show();
    } else {
        dialog->close();
    }
}

void MainDialog::ExportReport() {
    const QString path =
        env_.askExportName ? env_.askExportName(this) : ReportExport::AskPath(this);
    const QString error = path.isEmpty()
                              ? QString()
                              : ReportExport::Write(path, browser_->ShownSlots(), image_, report_);
    if (!error.isEmpty()) {
        Prompt(error, "Export");
    }
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::ToggleFilter() {
    const bool show = !filter_->isVisible();
    filter_->setVisible(show);
    if (show) {
        filter_->raise();
    }
    if (QAction* action = Action("actionFilter")) {
        action->setChecked(show);
    }
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
    browser_->OnSessionSelected(current != nullptr ? current->data(0, kTreeIdRole).toInt() : -1);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    comms_->SetProperties();
}

// ---------------------------------------------------------------------------------------------
// BrowserView

void MainDialog::EnableGo(bool enable) {
    ui_->id1031->setEnabled(enable);
}

void MainDialog::EnableTree(bool enable) {
    ui_->id1002->setEnabled(enable);
}

void MainDialog::EnableNext(bool enable) {
    ui_->id1034->setEnabled(enable);
}

void MainDialog::SetProgressRange(BrowserRequest, int low, int high) {
    ui_->id1004->setRange(low, high);
}

void MainDialog::SetProgressPos(BrowserRequest, int pos) {
    ui_->id1004->setValue(pos);
}

void MainDialog::ClearTree() {
    selectingFromBrowser_ = true;
    ui_->id1002->clear();
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
    if (parent >= 0 && static_cast<size_t>(parent) < nodes_.size() && nodes_[parent] != nullptr) {
        nodes_[parent]->addChild(item);
        if (makeVisible) {
            nodes_[parent]->setExpanded(true);
        }
    } else {
        ui_->id1002->addTopLevelItem(item);
    }
    if (static_cast<size_t>(id) >= nodes_.size()) {
        nodes_.resize(static_cast<size_t>(id) + 1, nullptr);
    }
    nodes_[id] = item;
    archiving_->Mark(*item);
}

void MainDialog::SelectNode(int id) {
    QTreeWidgetItem* item = nullptr;
    if (id >= 0 && static_cast<size_t>(id) < nodes_.size()) {
        item = nodes_[id];
    }
    selectingFromBrowser_ = true;
    ui_->id1002->setCurrentItem(item);
    selectingFromBrowser_ = false;
    if (item != nullptr) {
        ui_->id1002->scrollToItem(item);
    }
}

void MainDialog::SetReportText(const std::string& rtf) {
    ui_->id1013->SetRtf(rtf);
    emit reportShown();
}

void MainDialog::SetFullDayBox(bool checked) {
    const QSignalBlocker block(ui_->id1035);
    ui_->id1035->setChecked(checked);
}

void MainDialog::SetSessionBoxes(const SessionBoxes& boxes) {
    const struct {
        QCheckBox* box;
        const char* action;
        bool checked;
    } mirrors[] = {{ui_->id1028, "actionSessionsAll", boxes.all},
                   {ui_->id1029, "actionSessionsAlarm", boxes.alarm},
                   {ui_->id1030, "actionSessionsCal", boxes.cal}};
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
        // The window has no status line yet; the state shows in the disabled GO button.
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
    tick_.stop();
    arrival_->Follow(false);
    if (env_.watchdog != nullptr) {
        env_.watchdog->Hold();
    }
}

void MainDialog::ResumeTick() {
    tick_.start(env_.tickMs);
    FollowTransfer();
    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
    }
}

void MainDialog::FollowTransfer() {
    arrival_->Follow(fastUpload_ && tick_.isActive() && !ending_ && !browser_->Idle());
}

void MainDialog::ShowDataSource(const std::string& dumpPath) {
    archiving_->SetSource(dumpPath);
    if (dumpPath.empty()) {
        setWindowTitle(kTitle);
    } else {
        setWindowTitle(QString("%1 - %2 (saved dump, not the instrument)")
                           .arg(kTitle, QFileInfo(QFile::decodeName(dumpPath.c_str())).fileName()));
    }
}

void MainDialog::RequestEnded(BrowserRequest request, bool ok) {
    archiving_->RequestEnded(request, ok, *browser_, image_, report_.ModeNames);
    archiving_->MarkAll(*ui_->id1002);
    emit requestEnded(static_cast<int>(request), ok);
}
