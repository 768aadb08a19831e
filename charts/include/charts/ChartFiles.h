#pragma once

#include <QSize>
#include <QString>

class SessionChartPlot;

// The chart as a file. Both are written under a temporary name and renamed, so that a failure
// never leaves half a file; on failure `error` says why.

// A PNG of exactly `size` pixels.
bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error);
// A one-page PDF of `size` pixels at 96 per inch, drawn as vectors with its texts as text.
bool WriteChartPdf(SessionChartPlot& plot, const QString& path, QSize size, QString& error);

// "1200x800" into a size; false for anything else or a side outside 100 to 10000.
bool ParseChartSize(const QString& text, QSize& size);
