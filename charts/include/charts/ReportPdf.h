#pragma once

#include <QPageLayout>
#include <QString>

#include <string>

class QPagedPaintDevice;
class SessionChartPlot;

// The report as the program's view shows it (fonts, colours, columns), followed by the chart and
// its barhole profiles, on A4 landscape with `heading` (the session's day and time) at the top of
// every page and "Page n of m" at its foot. No report line is ever wrapped: when the longest line
// is wider than the page, the whole report is set smaller until it fits. `chart` may be null (no
// chart page). Written under a temporary name and renamed; on failure `error` says why.
bool WriteReportPdf(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                    const QString& path, QString& error);
// The same pages drawn onto `device` (a printer), in the device's page layout; its resolution
// must be 96 dots per inch, the PDF's. false with `error` when it cannot be drawn on.
bool DrawReportPages(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                     QPagedPaintDevice& device, QString& error);
// The PDF's page: A4 landscape with its margins.
QPageLayout ReportPageLayout();
