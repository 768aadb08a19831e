#include "charts/ChartText.h"

#include "charts/SessionChart.h"
#include "textcodec/Cp1252.h"

#include <QDateTime>
#include <QLocale>

namespace charts {

QString ClockText(int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString("HH:mm:ss");
}

QString ValueText(double value) {
    return QLocale::c().toString(value, 'g', 6);
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
