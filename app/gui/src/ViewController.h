#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>

class ChartPanel;
class FilterDialog;
class FindBar;
class InstrumentSession;
class LinkedViews;
class MapPanel;
class QDialog;
class SessionBrowser;
class ShownReportNames;
class StatusLine;
struct MainDialogEnvironment;
struct MapBackgroundChoice;
struct SessionBoxes;

namespace Ui {
class MainDialog;
}

// What the main window shows and how (the View menu, Next, Full Day and the session boxes): the
// report with its Chart and Map tabs kept on one moment, the find bar, the filter panel, the
// map's background and the pace of uploads.
class ViewController : public QObject {
public:
    ViewController(QDialog& window, Ui::MainDialog& ui, const MainDialogEnvironment& env,
                   InstrumentSession& session, SessionBrowser& browser, StatusLine& status,
                   const ShownReportNames& names);

    // The first state, once the link has been tried: the filter, the barhole graph and the pace
    // Settings.ini keeps.
    void Start();

    void OnNext();
    void OnFullDay();
    // Shows the find bar under the report, ready for the text to find.
    void FindInReport();
    void ToggleFilter();
    // The filter's state into the report, which is shown again.
    void OnFilterChanged();
    // View > Map Background...: the map's background chosen, kept in Settings.ini and used.
    void ChooseMapBackground();
    // View > Fast Upload: remembered in Settings.ini.
    void SetFastUpload(bool fast);

    // The browser's report on screen, in every tab, and said on the status line.
    void ShowReport(const std::string& rtf);
    void SetFullDayBox(bool checked);
    void SetSessionBoxes(const SessionBoxes& boxes);

    FilterDialog& Filter() { return *filter_; }
    ChartPanel& Chart() { return *chart_; }
    MapPanel& Map() { return *map_; }
    LinkedViews& Links() { return *links_; }
    // Why the map's background chosen is not under it; empty: it is.
    const QString& MapMessage() const { return mapMessage_; }
    // The MBTiles file under the PDF's map page (ReportMapTiles).
    const QString& ReportMapTiles() const { return reportMapTiles_; }
    int RenderCount() const { return renderCount_; }
    int32_t ShowAllLogs() const { return showAllLogs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InstallPanels();
    void MakeFilter();
    void PlaceFilter();
    void CopyFilterFlags();
    // Puts the background `choice` names under the map, saying why when it cannot be used.
    void UseMapBackground(const MapBackgroundChoice& choice);

    QDialog& window_;
    Ui::MainDialog& ui_;
    const MainDialogEnvironment& env_;
    InstrumentSession& session_;
    SessionBrowser& browser_;
    StatusLine& status_;
    const ShownReportNames& names_;
    FilterDialog* filter_ = nullptr;
    ChartPanel* chart_ = nullptr;
    MapPanel* map_ = nullptr;
    LinkedViews* links_ = nullptr;
    FindBar* findBar_ = nullptr;
    bool filterPlaced_ = false;
    QString mapMessage_;
    QString reportMapTiles_;
    int32_t showAllLogs_ = 0;
    int renderCount_ = 0;
};
