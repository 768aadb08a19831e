#pragma once

#include <QPageLayout>
#include <QString>

#include <string>

class QPagedPaintDevice;
class SessionChartPlot;

namespace mapping {
struct MapPageContent;
}

// The report as the program's view shows it (fonts, colours, columns), followed by the chart and
// its barhole profiles, on A4 landscape with `heading` (the session's day and time) at the top of
// every page and "Page n of m" at its foot. No report line is ever wrapped: when the longest line
// is wider than the page, the whole report is set smaller until it fits; a page ends with its
// last whole line. `chart` may be null (no chart page). `instrument`, where known
// (InstrumentCalled, core/InstrumentFacts.h), is named in every page's header; a dump's report
// names none. `map` (MapPageOf, map/MapPageContent.h), when its scene has a place, adds the map
// page after the chart and its profiles: the map on its background beside the survey record (as
// `survey` writes it as text), the record running on to further pages where it is long; null, or
// a scene without a place, gives the pages as they were without it. Written under a temporary name
// and renamed; on failure `error` says why.
bool WriteReportPdf(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                    const QString& path, QString& error, const QString& instrument = QString(),
                    const mapping::MapPageContent* map = nullptr);
// The same pages drawn onto `device` (a printer), in the device's page layout; its resolution
// must be 96 dots per inch, the PDF's. false with `error` when it cannot be drawn on.
bool DrawReportPages(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                     QPagedPaintDevice& device, QString& error,
                     const QString& instrument = QString(),
                     const mapping::MapPageContent* map = nullptr);
// The PDF's page: A4 landscape with its margins.
QPageLayout ReportPageLayout();
