#include "compliance/CompliancePack.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <algorithm>
#include <map>

#include "compliance/CivilDay.h"

namespace compliance {
namespace {

QString Esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString Std(const std::string& text) {
    return QString::fromStdString(text);
}

// Attention in print without colour: a status that needs action is bold and in capitals.
QString StatusCell(ServiceStatus status) {
    const QString word = QString::fromLatin1(ServiceStatusWord(status));
    return status == ServiceStatus::Overdue || status == ServiceStatus::Failed
               ? "<b>" + word.toUpper() + "</b>"
               : word;
}

// `unbroken`: short cells (dates, words) that must never break inside.
QString Row(const QStringList& cells, bool unbroken = false) {
    const QString open = unbroken ? "<td style=\"white-space: nowrap\">" : "<td>";
    return "<tr>" + open + cells.join("</td>" + open) + "</td></tr>";
}

// A table whose heading row repeats on every page it runs onto.
QString Table(const QStringList& headings, const QStringList& rows) {
    QString html = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">"
                   "<thead><tr><th>" +
                   headings.join("</th><th>") + "</th></tr></thead>";
    return html + rows.join(QString()) + "</table>";
}

// A time as a table cell: the day above the time of day, so that narrow columns never break
// a date.
QString TimeCell(uint32_t stamp) {
    const QString text = Std(StampText(stamp));
    return text.left(10) + "<br>" + text.mid(11);
}

QString TimeOr(bool known, uint32_t stamp) {
    return known ? TimeCell(stamp) : QString("never");
}

QString Every(int days) {
    return days == 1 ? QString("every day") : "every " + QString::number(days) + " days";
}

QString DueOf(const TestState& state) {
    return state.passed ? Std(DayText(state.dueDay)) : QString("now");
}

QString ResultOf(const TestState& state) {
    return state.tested ? QString::fromLatin1(EventResultWord(state.lastResult)) : QString();
}

QString SensorName(int sensor) {
    return sensor == kNoSensor ? QString("instrument") : Std(SensorGasName(sensor));
}

// Overdue and failed first, then due, then ok; by name within each.
std::vector<const InstrumentRecord*> Ordered(const std::vector<InstrumentRecord>& instruments) {
    std::vector<const InstrumentRecord*> order;
    for (const InstrumentRecord& r : instruments) {
        order.push_back(&r);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const InstrumentRecord* a, const InstrumentRecord* b) {
                         return a->status.status > b->status.status;
                     });
    return order;
}

QString NextDue(const InstrumentRecord& r) {
    int64_t soonest = 0;
    bool any = false;
    for (const SensorStatus& s : r.status.sensors) {
        for (const TestState* state : {&s.bump, &s.calibration}) {
            if (state->passed && (!any || state->dueDay < soonest)) {
                soonest = state->dueDay;
                any = true;
            }
        }
    }
    return any ? Std(DayText(soonest)) : QString();
}

QString Summary(const std::vector<InstrumentRecord>& instruments, const PackSettings& settings) {
    std::map<ServiceStatus, int> counts;
    QString first;
    for (const InstrumentRecord& r : instruments) {
        ++counts[r.status.status];
        if (!r.firstDay.isEmpty() && (first.isEmpty() || r.firstDay < first)) {
            first = r.firstDay;
        }
    }
    QString html = "<h1>Instrument compliance report</h1>";
    html += "<p>Archive: " + Esc(settings.archiveName) + "<br>";
    html += "Status at the end of " + Std(DayText(settings.atDay)) + "<br>";
    html += "Period: " + (first.isEmpty() ? QString("no sessions") : first) + " to " +
            Std(DayText(settings.atDay)) + "<br>";
    html += "Made: " + Esc(settings.madeAt) + "</p>";
    html += "<p>" + QString::number(instruments.size()) +
            " instruments: " + QString::number(counts[ServiceStatus::Failed]) + " failed, " +
            QString::number(counts[ServiceStatus::Overdue]) + " overdue, " +
            QString::number(counts[ServiceStatus::Due]) + " due, " +
            QString::number(counts[ServiceStatus::Ok]) + " ok</p>";
    const QString verification = settings.verification.trimmed();
    html +=
        "<p>Verification of the archive: " +
        (verification.isEmpty() ? QString("not run") : Esc(verification).replace("\n", "<br>")) +
        "</p>";
    QStringList rows;
    for (const InstrumentRecord* r : Ordered(instruments)) {
        QStringList attention;
        for (const SensorStatus& s : r->status.sensors) {
            if (s.status == ServiceStatus::Overdue || s.status == ServiceStatus::Failed) {
                attention << Esc(Std(SensorGasName(s.sensor))) + " " +
                                 QString::fromLatin1(ServiceStatusWord(s.status));
            }
        }
        rows << Row({Esc(r->name), Esc(r->serial), StatusCell(r->status.status),
                     attention.join(", "), QString::number(r->status.usedWhileOverdue.size()),
                     NextDue(*r)});
    }
    html += Table({"Instrument", "Serial", "Status", "Sensors overdue or failed",
                   "Sessions used while overdue", "Next due"},
                  rows);
    return html;
}

// The latest kPackListRows of a list, with a line for the rest.
template <typename T> size_t FirstShown(const std::vector<T>& list, QString& note) {
    if (list.size() <= static_cast<size_t>(kPackListRows)) {
        return 0;
    }
    note = "<p>" + QString::number(list.size() - kPackListRows) +
           " earlier entries are not shown (tavon-datalog archive events lists them all).</p>";
    return list.size() - kPackListRows;
}

bool InstrumentPage(InstrumentRegister& reg, const InstrumentRecord& r,
                    const PackSettings& settings, QString& html) {
    html = "<h2 style=\"page-break-before: always\">" + Esc(r.name) + "</h2>";
    html += "<p>Serial number: " + (r.serial.isEmpty() ? QString("not reported") : Esc(r.serial)) +
            "<br>Sessions: " + QString::number(r.sessions) +
            (r.firstDay.isEmpty() ? QString() : ", " + r.firstDay + " to " + r.lastDay) +
            "<br>Intervals: bump test " + Every(r.intervals.bumpDays) + ", calibration " +
            Every(r.intervals.calibrationDays) + " (due " +
            QString::number(r.intervals.warningDays) +
            " days before)<br>Status: " + StatusCell(r.status.status) + "</p>";

    html += "<h3>Sensors</h3>";
    QStringList sensors;
    for (const SensorStatus& s : r.status.sensors) {
        sensors << Row({QString::number(s.sensor), Esc(Std(SensorGasName(s.sensor))),
                        TimeOr(s.bump.tested, s.bump.lastStamp), ResultOf(s.bump), DueOf(s.bump),
                        TimeOr(s.calibration.tested, s.calibration.lastStamp),
                        ResultOf(s.calibration), DueOf(s.calibration), StatusCell(s.status),
                        QString::number(s.failuresSincePass)},
                       true);
    }
    html +=
        sensors.isEmpty()
            ? QString("<p>No sensor has been tested or read.</p>")
            : Table({"Sensor", "Gas", "Last bump test", "Result", "Bump due", "Last calibration",
                     "Result", "Calibration due", "Status", "Failures since pass"},
                    sensors);

    EventFilter filter;
    filter.instruments = {r.id};
    filter.result = EventResult::Fail;
    filter.toDay = settings.atDay;
    std::vector<EventRow> failures;
    std::vector<uint32_t> passes;
    if (!reg.Events(filter, failures) || !reg.PassesAfter(failures, passes)) {
        return false;
    }
    html += "<h3>Failures and what followed</h3>";
    QString note;
    QStringList rows;
    for (size_t k = FirstShown(failures, note); k < failures.size(); ++k) {
        const EventRow& e = failures[k];
        const bool passedBy = passes[k] != 0 && DayOfStamp(passes[k]) <= settings.atDay;
        rows << Row(
            {Std(StampText(e.stamp)), QString::fromLatin1(EventKindWord(e.kind)),
             Esc(SensorName(e.sensor)), Esc(e.value), Esc(e.user), Esc(e.job),
             passedBy ? "passed " + Std(StampText(passes[k])) : QString("<b>NO PASS SINCE</b>")});
    }
    html +=
        rows.isEmpty()
            ? QString("<p>No test failed.</p>")
            : note + Table({"Time", "Test", "Sensor", "Value", "User", "Job", "Followed by"}, rows);

    html += "<h3>Sessions used while overdue or failed</h3>";
    const std::vector<int64_t>& used = r.status.usedWhileOverdue;
    note.clear();
    const size_t from = FirstShown(used, note);
    QStringList starts;
    if (!reg.SessionStarts(std::vector<int64_t>(used.begin() + static_cast<long>(from), used.end()),
                           starts)) {
        return false;
    }
    rows.clear();
    for (const QString& start : starts) {
        rows << Row({Esc(start)});
    }
    html += rows.isEmpty() ? QString("<p>None.</p>")
                           : note + Table({"Switched on, job and user"}, rows);

    std::vector<GasAlarms> alarms;
    if (!reg.AlarmsByGas(r.id, settings.atDay, alarms)) {
        return false;
    }
    html += "<h3>Alarms per gas</h3>";
    rows.clear();
    for (const GasAlarms& a : alarms) {
        rows << Row({Esc(a.gas), QString::number(a.sessions)});
    }
    html += rows.isEmpty() ? QString("<p>No alarms.</p>")
                           : Table({"Gas", "Sessions with an alarm of it"}, rows);
    return true;
}

} // namespace

bool WriteCompliancePack(InstrumentRegister& reg, const std::vector<InstrumentRecord>& instruments,
                         const PackSettings& settings, const QString& path, QString& error) {
    QString html = "<html><body style=\"font-family: sans-serif; font-size: 8pt\">" +
                   Summary(instruments, settings);
    for (const InstrumentRecord* r : Ordered(instruments)) {
        QString page;
        if (!InstrumentPage(reg, *r, settings, page)) {
            error = reg.Error();
            return false;
        }
        html += page;
    }
    html += "</body></html>";

    // Written beside its place and renamed: a failure never leaves half a pack behind.
    const QString partial = path + ".part";
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle("Instrument compliance report " + Std(DayText(settings.atDay)));
        writer.setCreator("Tavon Datalogging");
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = "cannot write " + path;
            return false;
        }
        QTextDocument document;
        document.documentLayout()->setPaintDevice(&writer);
        document.setDocumentMargin(0);
        // No ligatures: the pack's text is read back and searched ("fi" stays two letters).
        QFont font = document.defaultFont();
        font.setStyleStrategy(QFont::PreferNoShaping);
        document.setDefaultFont(font);
        document.setHtml(html);
        // The page's body above a line for its number.
        const QRect area = painter.viewport();
        const qreal footer = writer.resolution() * 0.3;
        const QSizeF body(area.width(), area.height() - footer);
        document.setPageSize(body);
        const int pages = document.pageCount();
        for (int page = 0; page < pages; ++page) {
            if (page > 0) {
                writer.newPage();
            }
            painter.save();
            painter.translate(0, -page * body.height());
            document.drawContents(&painter, QRectF(QPointF(0, page * body.height()), body));
            painter.restore();
            painter.setFont(QFont("sans-serif", 8));
            painter.drawText(QRectF(0, body.height(), body.width(), footer),
                             Qt::AlignRight | Qt::AlignBottom,
                             QString("Page %1 of %2").arg(page + 1).arg(pages));
        }
        painter.end();
    }
    QFile::remove(path);
    if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace compliance
