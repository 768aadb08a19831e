#pragma once

#include "app/BrowserView.h"
#include "app/SessionBrowser.h"
#include "gui/MainDialogEnvironment.h"
#include "map/SurveyRecord.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ArchiveController;
class ChartPanel;
class FileController;
class FilterDialog;
class HelpController;
class InstrumentSession;
class LinkController;
class LinkedViews;
class LogImage;
class MapPanel;
class ProgramArchiving;
class QAction;
class SessionTreeNodes;
class ShownReportNames;
class StatusLine;
class UserGuide;
class ViewController;
class WindowPrompt;
struct ReportState;

namespace Ui {
class MainDialog;
}

// The main window (template 102, grown into a resizable window): the session tree, the report,
// GO, Next, Full Day, OK, the menus and the status line. A view over the program's one
// InstrumentSession, which holds the link, the browser, the memory image and the report; what
// each menu does is its controller's (LinkController, FileController, ViewController,
// ArchiveController, HelpController), the window holds them together and is the browser's view.
class MainDialog : public QDialog, public BrowserView {
    Q_OBJECT
public:
    explicit MainDialog(MainDialogEnvironment environment = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The dialog's initialisation: opens the link and starts everything. Without a link the
    // window opens all the same, offline (saved dumps can be browsed), and false is returned.
    bool Initialise();
    // Tries the link again (File > Connect..., or a right click); once connected, the start-up
    // uploads run as after a normal start. true when a link is open.
    bool Connect();
    bool Connected() const;

    // What the user can do, public so that tests can do it as the user would.
    void OnGo();
    void OnNext();
    void OnFullDay();
    void OnOk();
    void SaveReport();
    bool SaveReportTo(const QString& path);
    void SaveReportPdf();
    void PrintReport();
    // Shows the find bar under the report, ready for the text to find.
    void FindInReport();
    void OpenManual();
    void OpenDump();
    bool OpenDumpFrom(const QString& path);
    void OpenArchive();
    void OpenInstruments();
    void ExportReport();
    void ShowAbout();
    void ToggleFilter();
    void ShowGuide();
    // View > Map Background...: the map's background chosen, kept in Settings.ini and used.
    void ChooseMapBackground();

    InstrumentSession& Session() { return *session_; }
    SessionBrowser& Browser() { return browser_; }
    ReportState& Report() { return report_; }
    LogImage& Image() { return image_; }
    FilterDialog& Filter();
    ChartPanel& Chart();
    MapPanel& Map();
    // The report and the chart kept on the same moment (and the map with them).
    LinkedViews& Links();
    StatusLine& Status() { return *status_; }
    UserGuide* Guide() const;
    QAction* Action(const QString& objectName) const;
    // The name Save, Save as PDF, Print and Export suggest for the report on screen (SavedName,
    // without a suffix); empty when nothing is shown.
    QString SuggestedName() const;
    // The survey record's heading of each session shown, in the report's order: the one heading
    // the Map tab, Save as PDF and Print give it.
    std::vector<SurveyHeading> ShownHeadings() const;
    int RenderCount() const;
    int32_t ShowAllLogs() const;

    // BrowserView
    void EnableGo(bool enable) override;
    void EnableTree(bool enable) override;
    void EnableNext(bool enable) override;
    void SetProgressRange(UploadRequest, int, int) override {}
    void SetProgressPos(UploadRequest, int) override {}
    void ClearTree() override;
    void InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                    bool makeVisible) override;
    void SelectNode(int id) override;
    void SetReportText(const std::string& rtf) override;
    void SetFullDayBox(bool checked) override;
    void SetSessionBoxes(const SessionBoxes& boxes) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void SuspendTick() override;
    void ResumeTick() override;
    void ShowDataSource(DataSource source, const std::string& name) override;
    void RequestEnded(UploadRequest request, bool ok) override;
    void ShowReportNotice(const std::string& text) override;

    // Every way the window ends (OK, Quit, Escape, the close box) remembers its size and place.
    void done(int result) override;

signals:
    void requestEnded(int request, bool ok);
    void reportShown();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void MakeControllers();

    std::unique_ptr<Ui::MainDialog> ui_;
    MainDialogEnvironment env_;
    std::unique_ptr<InstrumentSession> session_;
    // The session's memory image and report, and the presenter that shows what it reads.
    LogImage& image_;
    ReportState& report_;
    SessionBrowser browser_;
    std::unique_ptr<WindowPrompt> prompt_;
    StatusLine* status_ = nullptr;
    std::unique_ptr<ProgramArchiving> archiving_;
    std::unique_ptr<ShownReportNames> names_;
    // Declared after what they hold on to, so that they go first.
    std::unique_ptr<SessionTreeNodes> tree_;
    std::unique_ptr<ViewController> view_;
    std::unique_ptr<ArchiveController> archive_;
    std::unique_ptr<FileController> files_;
    std::unique_ptr<HelpController> help_;
    std::unique_ptr<LinkController> link_;
};
