#pragma once

#include "charts/SessionChart.h"
#include "map/SurveyRecord.h"
#include "report/SessionValues.h"

#include <QFutureWatcher>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class BarholePlot;
class QLabel;
class QPagedPaintDevice;
class QScrollArea;
class QSplitter;
class SessionByteSource;
class SessionChartPlot;
class ShownReport;
struct ReportState;

namespace mapping {
class MapTiles;
struct MapPageContent;
} // namespace mapping

// The "Chart" view beside the report: the chart of the sessions the report shows, drawn from a
// copy of their bytes on another thread so that choosing a session never waits for a chart.
class ChartPanel : public QWidget {
    Q_OBJECT
public:
    explicit ChartPanel(QWidget* parent = nullptr);
    ~ChartPanel() override;

    // Puts the report view and a new chart panel side by side as two tabs where the report view
    // stood (in a splitter or a layout); returns the panel.
    static ChartPanel* InstallBeside(QWidget* reportView);

    // Starts drawing the sessions of `shown` as the report has them (filter, mode names).
    void Show(const ShownReport& shown, SessionByteSource& image, const ReportState& report);
    // Starts drawing sessions already decoded (from the archive, which holds no image), as one
    // chain under the headings of the first.
    void ShowValues(std::vector<SessionValues> sessions, const LogFilter& filter,
                    const std::string& day, const std::string& month);
    // Waits for a chart still being drawn and puts it up.
    void Finish();
    // True from asking for a chart until it is put up.
    bool Busy() const;

    SessionChartPlot& Plot() { return *plot_; }
    BarholePlot& Profiles() { return *profiles_; }

    // File > Save as PDF...: the report, then this chart, then the map page of the same sessions
    // where they have positions, naming `instrument` (empty: none); false with `error` on failure.
    // The map is drawn on the MBTiles file `mapTilesFile` (ReportMapTiles of the background chosen)
    // where it opens, else on the plain grid; never on a tile server, so that the same sessions
    // give the same file.
    // Its positions are coloured by `mapGas` (the Map tab's, as MapGasText names it; empty: the
    // first gas read at a place), so that the page shows what the tab shows.
    // The map page's survey record is headed by `headings`, as the Map tab's is.
    bool SaveReportPdf(const std::string& rtf, const QString& path, QString& error,
                       const QString& instrument = QString(),
                       const std::vector<SurveyHeading>& headings = {},
                       const QString& mapTilesFile = QString(), const QString& mapGas = QString());
    // File > Print...: the same pages onto a printer at 96 dots per inch.
    bool PrintReport(const std::string& rtf, QPagedPaintDevice& printer, QString& error,
                     const QString& instrument = QString(),
                     const std::vector<SurveyHeading>& headings = {},
                     const QString& mapTilesFile = QString(), const QString& mapGas = QString());

signals:
    // A chart has been put up.
    void chartShown();

protected:
    // A chart put up while the panel was hidden shares the room with its profiles once the
    // panel has a size.
    void showEvent(QShowEvent* event) override;

private:
    struct Drawing {
        unsigned generation = 0;
        charts::SessionChart chart;
        QString title;
        // The sessions charted, decoded, for the report's map page.
        std::shared_ptr<const std::vector<SessionValues>> sessions;
        LogFilter filter;
    };

    // Draws what `make` fills in (the chart and its sessions) on another thread, titled with the
    // headings; a newer drawing overtakes it.
    void Draw(std::function<void(Drawing&)> make, const std::string& day, const std::string& month);
    // The map page of the sessions charted in `mapGas`, on `background` where it opens
    // `mapTilesFile`.
    mapping::MapPageContent MapPage(const std::vector<SurveyHeading>& headings,
                                    const QString& mapTilesFile, const QString& mapGas,
                                    mapping::MapTiles& background) const;
    void PutUp();
    // The profiles' share of the panel: all their rows where they take less than about two
    // fifths of it, else that much (they scroll), and never less than one row.
    void ShareWithProfiles(size_t profiles);

    SessionChartPlot* plot_ = nullptr;
    BarholePlot* profiles_ = nullptr;
    QScrollArea* profileArea_ = nullptr;
    QSplitter* split_ = nullptr;
    bool shareDue_ = false;
    QLabel* hint_ = nullptr;
    QFutureWatcher<Drawing> watcher_;
    unsigned generation_ = 0;
    unsigned shownGeneration_ = 0;
    std::shared_ptr<const std::vector<SessionValues>> sessions_;
    LogFilter filter_;
};
