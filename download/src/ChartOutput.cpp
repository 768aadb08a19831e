#include "download/ChartOutput.h"

#include "DrawingApp.h"
#include "TileStoreTrouble.h"
#include "charts/ChartFiles.h"
#include "charts/ChartText.h"
#include "charts/ReportPdf.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "map/MapPageContent.h"
#include "map/MapTiles.h"
#include "report/Report.h"

#include <QApplication>
#include <QSize>

#include <cstdio>

namespace {

void DrawChart(SessionChartPlot& plot, SessionByteSource& source, const ReportState& state,
               const ChartJob& job) {
    const charts::SessionChart chart =
        charts::ChartOfSessions(source, job.sessionSlots, state.ModeNames, ReportFilter(state));
    plot.SetChart(chart, charts::ChartTitle(job.headingDay, job.headingMonth, chart));
}

int Failed(const QString& error) {
    PrintError(error.toStdString());
    return kExitOutputFailed;
}

int WritePlot(SessionChartPlot& plot, const std::string& path, const QSize& size) {
    QString error;
    const QString file = QString::fromStdString(path);
    const bool ok = ChartFormatOf(path) == "pdf" ? WriteChartPdf(plot, file, size, error)
                                                 : WriteChartPng(plot, file, size, error);
    return ok ? kExitOk : Failed(error);
}

} // namespace

ChartJob ChartJobOf(const std::vector<int16_t>& sessionSlots) {
    ChartJob job;
    job.sessionSlots = sessionSlots;
    const SessionEntry* entry =
        sessionSlots.empty() ? nullptr : Sessions().FindDated(sessionSlots.front());
    if (entry != nullptr) {
        job.headingDay = entry->dayLabel;
        job.headingMonth = entry->monthLabel;
    }
    return job;
}

int WriteChartFile(SessionByteSource& source, const ReportState& state, const ChartJob& job,
                   const std::string& path, const QSize& size) {
    DrawingApp app;
    SessionChartPlot plot;
    DrawChart(plot, source, state, job);
    return WritePlot(plot, path, size);
}

int WriteValuesChartFile(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                         const std::string& headingDay, const std::string& headingMonth,
                         const std::string& path, const QSize& size) {
    DrawingApp app;
    SessionChartPlot plot;
    const charts::SessionChart chart = charts::ChartOfValues(sessions, filter);
    plot.SetChart(chart, charts::ChartTitle(headingDay, headingMonth, chart));
    return WritePlot(plot, path, size);
}

int WriteReportPdfFile(SessionByteSource& source, const SessionTable& table,
                       const ReportState& state, const ChartJob& job, const std::string& path,
                       const std::string& instrument, const std::string& tiles,
                       const std::vector<std::string>& registerStatuses) {
    DrawingApp app;
    SessionChartPlot plot;
    DrawChart(plot, source, state, job);
    const QString named = QString::fromLocal8Bit(instrument.c_str());
    std::vector<SessionValues> sessions;
    std::vector<SurveyHeading> headings;
    for (size_t i = 0; i < job.sessionSlots.size(); ++i) {
        const int16_t slot = job.sessionSlots[i];
        sessions.push_back(DecodeSessionValues(source, slot, state.ModeNames));
        headings.push_back({NamingOf(table, slot, named.toStdString()),
                            i < registerStatuses.size() ? registerStatuses[i] : std::string()});
    }
    mapping::MapPageContent map = mapping::MapPageOf(sessions, ReportFilter(state), headings);
    mapping::MapTiles background;
    const bool tileStore = !tiles.empty() && mapping::SceneHasPlaces(map.scene);
    if (tileStore && background.Open(QString::fromLocal8Bit(tiles.c_str()))) {
        map.background = &background;
    }
    QString error;
    const bool written = WriteReportPdf(state.ReportText, plot.Title(), &plot,
                                        QString::fromStdString(path), error, named, &map);
    if (tileStore) {
        TellTileStoreTrouble(background);
    }
    if (!written) {
        return Failed(error);
    }
    return kExitOk;
}
