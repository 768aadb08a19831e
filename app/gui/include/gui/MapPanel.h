#pragma once

#include "gui/MapCanvas.h"

#include "map/MapProjection.h"
#include "map/MapScene.h"
#include "map/SessionMap.h"
#include "map/SurveyRecord.h"
#include "report/SessionValues.h"

#include <QFutureWatcher>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QResizeEvent;
class QSplitter;
class SessionByteSource;
class ShownReport;
struct ReportState;

namespace mapping {
class TileSource;
}

// The "Map" view beside the report and the chart: the sessions' positions on the map, coloured by
// a gas's readings, with their survey record beside it. The scene is made on another thread from
// a copy of the sessions' bytes, as the chart is, so that choosing a session never waits for it.
class MapPanel : public QWidget {
    Q_OBJECT
public:
    explicit MapPanel(QWidget* parent = nullptr);
    ~MapPanel() override;

    // Adds the panel as the tab after the others in the "reportTabs" that hold `reportView` (the
    // chart panel puts them there); a report view without them gets none, and the panel is made
    // all the same, unplaced.
    static MapPanel* InstallBeside(QWidget* reportView);

    // Starts drawing the sessions of `shown` as the report has them (filter, mode names), their
    // survey record headed by `headings`, in the report's order (SurveysOf).
    void Show(const ShownReport& shown, SessionByteSource& image, const ReportState& report,
              std::vector<SurveyHeading> headings = {});
    // Starts drawing sessions already decoded (the archive's), their survey record headed by
    // `headings` in the same order (empty, or shorter: none).
    void ShowValues(std::vector<SessionValues> sessions, const LogFilter& filter,
                    std::vector<SurveyHeading> headings = {});
    // Waits for a scene still being made and puts it up.
    void Finish();
    // True while a scene is being made.
    bool Busy() const;

    // The tiles under the map; null: the grid alone.
    void SetBackground(std::shared_ptr<mapping::TileSource> background);
    // Says why the background chosen could not be used (empty: nothing to say).
    void SetBackgroundMessage(const QString& message);
    std::shared_ptr<mapping::TileSource> Background() const { return background_; }

    // Rings the position or spot nearest in time to `chartTime` (charts::ChartTime of its stamp),
    // as the chart's cursor moves; nothing is ringed when none lies within kNearSeconds.
    void ShowPlaceAt(int64_t chartTime);
    static constexpr int64_t kNearSeconds = 60;

    const mapping::MapScene& Scene() const { return canvas_->Scene(); }
    // The gas the positions on screen are coloured by, as MapGasText names it (waits for a scene
    // still being made); empty without one.
    QString GasText();
    mapping::MapView View() const { return canvas_->View(); }

signals:
    // The user clicked a marker or a position.
    void placeChosen(mapping::SceneRecord record);
    // A scene has been put up.
    void mapShown();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    using Sessions = std::shared_ptr<const std::vector<SessionValues>>;
    struct Making {
        unsigned generation = 0;
        bool newSessions = false;
        Sessions sessions;
        LogFilter filter;
        std::vector<mapping::MapGas> gases;
        mapping::MapScene scene;
        QString survey;
        QStringList sessionLines; // of each session's record alone, without the totals
    };

    // Makes what `sessions` gives on another thread; a newer request overtakes it. `gasIndex`
    // picks among the sessions' gases with places (-1: new sessions, the first).
    void Make(std::function<Sessions()> sessions, const LogFilter& filter,
              std::vector<SurveyHeading> headings, int gasIndex);
    void PutUp();
    // Gives the survey record the width its lines ask, within its share on screen beside the map
    // (as the report's map page does on paper); the map takes the rest. A handle the user
    // dragged keeps its place until the panel's width or the record changes.
    void FitSurvey();
    void OnGasChosen(int index);
    void OnPicked(mapping::SceneRecord record, bool marker);
    // The line above the map of a record chosen or ringed: its time, its marker's words, its
    // readings.
    QString ReadOutOf(const mapping::SceneRecord& record, bool marker) const;

    MapCanvas* canvas_ = nullptr;
    QComboBox* gas_ = nullptr;
    QLabel* gasLabel_ = nullptr;
    QLabel* readOut_ = nullptr;
    QLabel* message_ = nullptr;
    QPlainTextEdit* survey_ = nullptr;
    QSplitter* split_ = nullptr; // the map, and the survey record beside it
    QStringList surveyLines_;    // what the record's column is measured by (sessionLines)
    std::shared_ptr<mapping::TileSource> background_;
    // The sessions and the filter of the scene on screen, which another gas is drawn from.
    Sessions sessions_;
    LogFilter filter_;
    bool newSessionsDue_ = false;
    QFutureWatcher<Making> watcher_;
    unsigned generation_ = 0;
    unsigned shownGeneration_ = 0;
};
