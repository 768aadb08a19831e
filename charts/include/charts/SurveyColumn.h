#pragma once

// The survey record beside the map, on the Map tab and on the report's map page alike: a column as
// wide as its widest line asks, never more than kSurveyColumnShare of the width the map and the
// record share, so that the map keeps the larger part; only a line wider than that is broken.
//
//     int column = SurveyColumnWidth(WidestLine(lines, metrics) + margins, body.width());

#include <QStringList>

class QFontMetricsF;

constexpr double kSurveyColumnShare = 0.45;

// The widest of `lines` in `metrics`; 0 for none.
double WidestLine(const QStringList& lines, const QFontMetricsF& metrics);

// The column's width: `asked` (its widest line and what the column puts around it) within the
// share of `shared`, rounded up.
int SurveyColumnWidth(double asked, double shared);
