#pragma once

#include "charts/SessionChart.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

class QCPPainter;
class SessionChartPlot;

// The chart as a file. Both are written under a temporary name and renamed, so that a failure
// never leaves half a file; on failure `error` says why.

// Where a picture asked for at `size` puts the chart and the grid of `profiles` barhole
// profiles under it: `size` wide, and exactly `size` high unless the profiles need more than two
// fifths of that height; then the chart keeps three fifths and the picture grows by the rest, so
// that every profile is drawn at a readable size.
struct PictureLayout {
    QSize picture;
    QRect chart;
    QRect profiles; // empty without profiles
    int columns = 0;
    int rows = 0;
};
PictureLayout LayOutPicture(QSize size, size_t profiles);

// A PNG of the chart and every barhole profile, laid out by LayOutPicture.
bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error);
// A PDF of pages of `size` pixels at 96 per inch, drawn as vectors with its texts as text: the
// chart, then every barhole profile on pages of their own.
bool WriteChartPdf(SessionChartPlot& plot, const QString& path, QSize size, QString& error);

// The pages the profiles take at `size`, and the drawing of each: `newPage` is called before
// every page and gives the place to draw in.
int ProfilePageCount(size_t profiles, QSize size);
void PaintProfilePages(QCPPainter& painter, const std::vector<charts::BarholeProfile>& profiles,
                       QSize size, const std::function<QPoint()>& newPage);
