#pragma once

#include "app/BrowserView.h"
#include "app/SessionBrowser.h"
#include "linkselect/Platform.h"
#include "map/SurveyRecord.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class BackgroundSync;
class SyncProgress;
class ChartPanel;
class MapPanel;
struct MapBackgroundChoice;
class ClaimingChooser;
class FilterDialog;
class FindBar;
class InstrumentSession;
class LinkedViews;
class LogImage;
class ProgramArchiving;
class QAction;
class QPrinter;
class QMenuBar;
class QTreeWidgetItem;
class QUrl;
class StatusLine;
class UserGuide;
class Watchdog;
struct ReportState;

namespace Ui {
class MainDialog;
}

// What the main dialog needs from its surroundings. The program takes the defaults; tests
// replace them so that nothing blocks, opens a desktop application or ends the test process.
struct MainDialogEnvironment {
    AppInfo app{"Tavon Datalogging", ""};
    // Every message box of the program, the libraries' included. Null: QMessageBox.
    UserPrompt* prompt = nullptr;
    // Null: no watchdog (the program passes its own, started by the dialog).
    Watchdog* watchdog = nullptr;
    // Opens a local file with the desktop. Null: QDesktopServices.
    std::function<bool(const QUrl&)> openUrl;
    // Ask for the file names of Save and Open Dump...; an empty result means cancelled.
    // Null: the file dialogs.
    std::function<QString(QWidget*)> askSaveName;
    std::function<QString(QWidget*)> askDumpName;
    std::function<QString(QWidget*)> askPdfName;
    std::function<QString(QWidget*)> askExportName;
    // Sets up the printer for Print... (the print dialog); false means cancelled. Null: Qt's
    // print dialog.
    std::function<bool(QPrinter&, QWidget*)> askPrinter;
    int tickMs = 100;
    std::string manualFile = "50312_04.pdf";
    // Where the window's size and place are remembered between runs; empty: nowhere.
    QString windowFile;
    // An MBTiles file under the map for this run (--tiles), over what Settings.ini chose.
    QString tiles;
    // View > Map Background...: changes the choice, false when cancelled. Null: the dialog.
    std::function<bool(MapBackgroundChoice&, QWidget*)> askMapBackground;
};

// The main window (template 102, grown into a resizable window): the session tree, the report,
// GO, Next, Full Day, OK, the menus and the status line. A view over the program's one
// InstrumentSession, which holds the link, the engine, the browser, the memory image and the
// report.
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
    FilterDialog& Filter() { return *filter_; }
    ChartPanel& Chart() { return *chart_; }
    MapPanel& Map() { return *map_; }
    // The report and the chart kept on the same moment (and the map with them).
    LinkedViews& Links() { return *links_; }
    StatusLine& Status() { return *status_; }
    UserGuide* Guide() const { return guide_; }
    QAction* Action(const QString& objectName) const;
    // The name Save, Save as PDF, Print and Export suggest for the report on screen (SavedName,
    // without a suffix); empty when nothing is shown.
    QString SuggestedName() const;
    // The survey record's heading of each session shown, in the report's order: the one heading
    // the Map tab, Save as PDF and Print give it.
    std::vector<SurveyHeading> ShownHeadings() const;
    int RenderCount() const { return renderCount_; }
    int32_t ShowAllLogs() const { return showAllLogs_; }

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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void ConnectSession();
    void PlaceFilter();
    // Selects the node in the tree without telling the browser.
    void ShowSelected(int id);
    void ShowOffline();
    void MarkSessionsNotHeld();
    void Prompt(const QString& text, const QString& caption);
    // File > Sync Now: the archive into the one "Sync" names, the result told when it is done.
    void SyncNow();
    // Sync Now enabled as BackgroundSync::Unavailable says, the reason in its tips.
    void EnableSyncNow();
    void OnTreeSelection(QTreeWidgetItem* current);
    void OnFilterChanged();
    void CopyFilterFlags();
    void OnSpoiledReply();
    void OnLinkLost();
    // What a request ended by the link's loss did not bring: "The upload of the session
    // 08:59:25 of Tuesday 18 Aug 2026 did not finish."
    QString UploadLost(UploadRequest request) const;
    void OnTicked();
    void ShowConnection();
    // The link chosen is held by another process (a watcher): said, and the program stays
    // offline.
    void ShowHeld(const std::string& link, const std::string& holder);
    void ShowProgress(UploadRequest request, int done, int total);
    void ShowRequestEnd(UploadRequest request, bool ok);
    // Save, Save as PDF, Print and Export are there only while a report is shown.
    void EnableSaving();
    // Puts the background `choice` names under the map, saying why when it cannot be used.
    void UseMapBackground(const MapBackgroundChoice& choice);
    // "the report of Tuesday 18 Aug 2026" for the status line.
    QString ShownReportName() const;
    // What of the report on screen is the archive's copy of a session the dump lacks, for the
    // status line: ", from the archive (session 57): the dump does not hold it"; empty: none.
    QString CopiesShown() const;

    std::unique_ptr<Ui::MainDialog> ui_;
    MainDialogEnvironment env_;
    std::unique_ptr<InstrumentSession> session_;
    // Chooses the session's link and claims it while it is open, so that a watcher leaves it
    // alone and says who holds it, and the program leaves a watcher's link alone.
    std::unique_ptr<ClaimingChooser> chooser_;
    // The session's memory image and report, and the presenter that shows what it reads.
    LogImage& image_;
    ReportState& report_;
    SessionBrowser browser_;
    std::unique_ptr<ProgramArchiving> archiving_;
    // File > Sync Now, and the sync after each session uploaded, off the window's thread.
    BackgroundSync* sync_ = nullptr;
    // Sync Now's progress while it runs: gone before the result is told.
    QPointer<SyncProgress> syncProgress_;
    FilterDialog* filter_ = nullptr;
    ChartPanel* chart_ = nullptr;
    MapPanel* map_ = nullptr;
    QString mapMessage_;     // why the map's background chosen is not under it; empty: it is
    QString reportMapTiles_; // the MBTiles file under the PDF's map page (ReportMapTiles)
    LinkedViews* links_ = nullptr;
    FindBar* findBar_ = nullptr;
    bool filterPlaced_ = false;
    QMenuBar* menuBar_ = nullptr;
    StatusLine* status_ = nullptr;
    UserGuide* guide_ = nullptr;
    std::vector<QTreeWidgetItem*> nodes_;
    bool selectingFromBrowser_ = false;
    bool inTreeSelection_ = false; // the browser is being told of the user's choice
    bool initialised_ = false;
    bool checksumTold_ = false;
    // A link opened and its loss not yet shown; what the loss cut short, said when it is.
    bool linkUp_ = false;
    QString lostUpload_;
    int32_t showAllLogs_ = 0;
    int renderCount_ = 0;
};
