#include "charts/ChartText.h"

#include "charts/SessionChart.h"
#include "textcodec/Cp1252.h"

#include "report/FigureText.h"

#include <QDateTime>

#include <cmath>

namespace charts {

QString ClockText(int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString("HH:mm:ss");
}

QString FigureText(double value, int32_t scale) {
    return QString::fromStdString(
        ScaledFigure(static_cast<int32_t>(std::lround(value * scale)), scale));
}

QString InstrumentText(const std::string& text) {
    return FromCp1252(text);
}

QString ChartTitle(const std::string& day, const std::string& month, const SessionChart& chart) {
    QString title =
        (InstrumentText(day).trimmed() + " " + InstrumentText(month).trimmed()).trimmed();
    if (chart.hasTime) {
        title += QString("  %1").arg(ClockText(chart.firstTime));
        if (chart.lastTime != chart.firstTime) {
            title += QString(" to %1").arg(ClockText(chart.lastTime));
        }
    }
    return title.trimmed();
}

} // namespace charts
