#include "gui/MainDialog.h"

#include "ArchiveController.h"
#include "ArchivedDumpCopies.h"
#include "FileController.h"
#include "HelpController.h"
#include "LinkController.h"
#include "MainMenus.h"
#include "SessionTreeNodes.h"
#include "ShownReportNames.h"
#include "ViewController.h"
#include "WindowPrompt.h"
#include "gui/ProgramArchiving.h"
#include "gui/StatusLine.h"
#include "gui/Watchdog.h"
#include "gui/WindowMemory.h"
#include "textcodec/Cp1252.h"
#include "ui_MainDialog.h"

#include "core/LogImage.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>

MainDialog::MainDialog(MainDialogEnvironment environment, QWidget* parent)
    : QDialog(parent), ui_(new Ui::MainDialog), env_(std::move(environment)),
      // The program's link is the process's own: the libraries in it drive the same one.
      session_(InstrumentSession::OnProcessLink()), image_(session_->Image()),
      report_(session_->Report()), browser_(session_->Reader(), *this, image_, report_),
      prompt_(new WindowPrompt(env_.prompt, *this)) {
    Q_INIT_RESOURCE(tavon);
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/tavon/tavon.xpm")));
    status_ = new StatusLine(this);
    layout()->addWidget(status_);

    session_->SetListener(&browser_);
    // A dump saved as its index arrived lacks what was read since, which the archive keeps.
    browser_.SetCopyFinder([](LogImage& dump) { return ArchivedDumpCopies::Find(dump); });
    session_->SetTickPeriod(env_.tickMs);
    connect(session_.get(), &InstrumentSession::Ticked, this, [this] {
        if (env_.watchdog != nullptr) {
            env_.watchdog->Reset();
        }
    });
    MakeControllers();
    archive_->EnableSyncNow();
    files_->EnableSaving(); // nothing is shown yet

    // A right click anywhere, on the report and the tree too, chooses the link again.
    ui_->reportView->setContextMenuPolicy(Qt::NoContextMenu);
    ui_->sessionTree->setContextMenuPolicy(Qt::NoContextMenu);
    connect(ui_->okButton, &QPushButton::clicked, this, [this] { OnOk(); });

    WindowMemory(env_.windowFile).Restore(*this, *ui_->treeAndReport);
}

void MainDialog::MakeControllers() {
    archiving_.reset(
        new ProgramArchiving([this](const QString& text) { prompt_->Tell(text, kWindowTitle); }));
    names_.reset(new ShownReportNames(browser_, session_->Reader(), *archiving_));
    tree_.reset(
        new SessionTreeNodes(*ui_->sessionTree, browser_, session_->Reader(), image_, *archiving_));
    view_.reset(new ViewController(*this, *ui_, env_, *session_, browser_, *status_, *names_));
    archive_.reset(new ArchiveController(*this, *archiving_, session_->Reader(), browser_, *status_,
                                         *prompt_, *view_));
    files_.reset(new FileController(*this, env_, *session_, browser_, *status_, *prompt_, *names_,
                                    *view_, *tree_));
    help_.reset(new HelpController(*this, env_, *prompt_));
    link_.reset(
        new LinkController(*this, *ui_, env_, *session_, browser_, *status_, *prompt_, *tree_));
    MainMenus::Build(*this, {*link_, *files_, *view_, *archive_, *help_, browser_});
}

MainDialog::~MainDialog() {
    // The session ends before the dialog's widgets, which it still shows things in.
    session_->SetListener(nullptr);
}

bool MainDialog::Initialise() {
    report_.ShowTimedLogs = report_.ShowAlarmLogs = report_.ShowManualLogs = 1;
    browser_.OnAllSessions(true);
    link_->Prepare();
    const bool connected = link_->Connect();
    view_->Start();
    if (env_.watchdog != nullptr) {
        env_.watchdog->Reset();
        env_.watchdog->Start();
    }
    // The tick runs connected or not: the watchdog hangs on it.
    session_->StartTicking();
    // The filter's first state reaches the report as its first change would.
    view_->OnFilterChanged();
    return connected;
}

bool MainDialog::Connect() {
    return link_->Connect();
}

bool MainDialog::Connected() const {
    return link_->Connected();
}

QAction* MainDialog::Action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

// ---------------------------------------------------------------------------------------------
// What the user can do: each the work of its menu's controller.

void MainDialog::OnGo() {
    link_->OnGo();
}

void MainDialog::OnNext() {
    view_->OnNext();
}

void MainDialog::OnFullDay() {
    view_->OnFullDay();
}

void MainDialog::OnOk() {
    link_->Close();
    accept();
}

void MainDialog::SaveReport() {
    files_->SaveReport();
}

bool MainDialog::SaveReportTo(const QString& path) {
    return files_->SaveReportTo(path);
}

void MainDialog::SaveReportPdf() {
    files_->SaveReportPdf();
}

void MainDialog::PrintReport() {
    files_->PrintReport();
}

void MainDialog::FindInReport() {
    view_->FindInReport();
}

void MainDialog::OpenManual() {
    help_->OpenManual();
}

void MainDialog::OpenDump() {
    files_->OpenDump();
}

bool MainDialog::OpenDumpFrom(const QString& path) {
    return files_->OpenDumpFrom(path);
}

void MainDialog::OpenArchive() {
    archive_->OpenArchive();
}

void MainDialog::OpenInstruments() {
    archive_->OpenInstruments();
}

void MainDialog::ExportReport() {
    files_->ExportReport();
}

void MainDialog::ShowAbout() {
    help_->ShowAbout();
}

void MainDialog::ToggleFilter() {
    view_->ToggleFilter();
}

void MainDialog::ShowGuide() {
    help_->ShowGuide();
}

void MainDialog::ChooseMapBackground() {
    view_->ChooseMapBackground();
}

FilterDialog& MainDialog::Filter() {
    return view_->Filter();
}

ChartPanel& MainDialog::Chart() {
    return view_->Chart();
}

MapPanel& MainDialog::Map() {
    return view_->Map();
}

LinkedViews& MainDialog::Links() {
    return view_->Links();
}

UserGuide* MainDialog::Guide() const {
    return help_->Guide();
}

QString MainDialog::SuggestedName() const {
    return names_->SuggestedName();
}

std::vector<SurveyHeading> MainDialog::ShownHeadings() const {
    return names_->Headings();
}

int MainDialog::RenderCount() const {
    return view_->RenderCount();
}

int32_t MainDialog::ShowAllLogs() const {
    return view_->ShowAllLogs();
}

void MainDialog::done(int result) {
    if (isVisible()) {
        WindowMemory(env_.windowFile).Save(*this, *ui_->treeAndReport);
    }
    QDialog::done(result);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    link_->Connect();
}

// ---------------------------------------------------------------------------------------------
// BrowserView

void MainDialog::EnableGo(bool enable) {
    link_->EnableGo(enable);
}

void MainDialog::EnableTree(bool enable) {
    ui_->sessionTree->setEnabled(enable);
}

void MainDialog::EnableNext(bool enable) {
    ui_->nextButton->setEnabled(enable);
}

void MainDialog::ClearTree() {
    tree_->Clear();
}

void MainDialog::InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                            bool makeVisible) {
    tree_->Insert(id, parent, text, itemData, makeVisible);
}

void MainDialog::SelectNode(int id) {
    tree_->Select(id);
}

void MainDialog::SetReportText(const std::string& rtf) {
    view_->ShowReport(rtf);
    files_->EnableSaving();
    emit reportShown();
}

void MainDialog::SetFullDayBox(bool checked) {
    view_->SetFullDayBox(checked);
}

void MainDialog::SetSessionBoxes(const SessionBoxes& boxes) {
    view_->SetSessionBoxes(boxes);
}

void MainDialog::ShowMessage(MessageKind kind, const std::string& text) {
    link_->ShowMessage(kind, text);
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
        setWindowTitle(kWindowTitle);
        break;
    case DataSource::Dump:
        tree_->MarkNotHeld();
        setWindowTitle(
            QString("%1 - %2 (saved dump, not the instrument)")
                .arg(kWindowTitle, QFileInfo(QFile::decodeName(name.c_str())).fileName()));
        break;
    case DataSource::EarlierInstrument:
        // Another instrument is connected: the tree is the one before's, and nothing is uploaded
        // under its labels from this one's memory.
        tree_->MarkNotHeld();
        setWindowTitle(QString("%1 - sessions of %2 (not the instrument connected: GO reads its "
                               "sessions)")
                           .arg(kWindowTitle, name.empty()
                                                  ? QString("the instrument connected before")
                                                  : FromCp1252(name)));
        status_->SetActivity("Another instrument is connected: the tree is the one read before. "
                             "GO reads this instrument's sessions.");
        break;
    }
}

void MainDialog::RequestEnded(UploadRequest request, bool ok) {
    archive_->RequestEnded(request, ok, *ui_->sessionTree);
    link_->ShowRequestEnd(request, ok);
    archive_->SyncAfter(request, ok);
    emit requestEnded(static_cast<int>(request), ok);
}

void MainDialog::ShowReportNotice(const std::string& text) {
    ui_->reportView->ShowNotice(FromCp1252(text));
    files_->EnableSaving();
}
