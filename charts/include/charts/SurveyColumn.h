#pragma once

// The survey record beside the map, on the Map tab and on the report's map page alike: a column as
// wide as its widest line asks, within the most of the width the map and the record share that
// the medium gives it; only a line wider than that is broken.
//
//     int column = SurveyColumnWidth(WidestLine(lines, metrics) + margins, body.width(),
//                                    kPageColumnShare);

#include <QStringList>

class QFontMetricsF;

// On paper, where the map cannot be moved or zoomed, the map keeps the larger part. On screen,
// where it can, the record may take a little more than half, so that its lines show whole in a
// window of the usual size.
constexpr double kPageColumnShare = 0.45;
constexpr double kScreenColumnShare = 0.55;

// The widest of `lines` in `metrics`; 0 for none.
double WidestLine(const QStringList& lines, const QFontMetricsF& metrics);

// The column's width: `asked` (its widest line and what the column puts around it) within
// `share` of `shared`, rounded up.
int SurveyColumnWidth(double asked, double shared, double share);
