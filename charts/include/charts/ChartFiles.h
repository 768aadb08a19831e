#pragma once

#include "charts/SessionChart.h"

#include <QPoint>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

class QCPPainter;
class SessionChartPlot;

// The chart as a file. Both are written under a temporary name and renamed, so that a failure
// never leaves half a file; on failure `error` says why.

// A PNG of exactly `size` pixels: the chart, and under it as many rows of barhole profiles as
// fit in a third of the height.
bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error);
// A PDF of pages of `size` pixels at 96 per inch, drawn as vectors with its texts as text: the
// chart, then every barhole profile on pages of their own.
bool WriteChartPdf(SessionChartPlot& plot, const QString& path, QSize size, QString& error);

// The pages the profiles take at `size`, and the drawing of each: `newPage` is called before
// every page and gives the place to draw in.
int ProfilePageCount(size_t profiles, QSize size);
void PaintProfilePages(QCPPainter& painter, const std::vector<charts::BarholeProfile>& profiles,
                       QSize size, const std::function<QPoint()>& newPage);
