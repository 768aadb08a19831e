#include "charts/SurveyColumn.h"

#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
#include <cmath>

double WidestLine(const QStringList& lines, const QFontMetricsF& metrics) {
    double widest = 0;
    for (const QString& line : lines) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

int SurveyColumnWidth(double asked, double shared, SurveyColumnShare share) {
    const double column =
        asked <= shared * share.most ? asked : std::min(asked, shared * share.usual);
    return static_cast<int>(std::ceil(std::max(0.0, column)));
}
