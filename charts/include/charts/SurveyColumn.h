#pragma once

// The survey record beside the map, on the Map tab and on the report's map page alike: a column as
// wide as its widest line asks, where the medium's share allows it; a record whose lines would be
// broken all the same leaves the map the larger part.
//
//     int column = SurveyColumnWidth(WidestLine(lines, metrics) + margins, body.width(),
//                                    kPageColumn);

#include <QStringList>

class QFontMetricsF;

// What of the width the map and the record share the record's column may take: `most` where its
// lines then show whole, `usual` where they would not.
struct SurveyColumnShare {
    double usual;
    double most;
};
// On paper, where the map cannot be moved or zoomed, the map keeps the larger part. On screen,
// where it can, the record may take a little more than half, so that its lines show whole in a
// window of the usual size.
constexpr SurveyColumnShare kPageColumn{0.45, 0.45};
constexpr SurveyColumnShare kScreenColumn{0.45, 0.55};

// The widest of `lines` in `metrics`; 0 for none.
double WidestLine(const QStringList& lines, const QFontMetricsF& metrics);

// The column's width, rounded up: `asked` (its widest line and what the column puts around it)
// where that is within the most of `shared` that `share` allows, and else its usual part.
int SurveyColumnWidth(double asked, double shared, SurveyColumnShare share);
