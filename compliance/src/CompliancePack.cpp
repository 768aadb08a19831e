#include "compliance/CompliancePack.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <map>

#include "PdfPages.h"
#include "compliance/CivilDay.h"

namespace compliance {
namespace {

QString Std(const std::string& text) {
    return QString::fromStdString(text);
}

QString Time(uint32_t stamp) {
    return Std(StampText(stamp));
}

// Attention in print without colour: a status that needs action is bold and in capitals.
PageCell StatusCell(ServiceStatus status) {
    const QString word = QString::fromLatin1(ServiceStatusWord(status));
    const bool action = status == ServiceStatus::Overdue || status == ServiceStatus::Failed;
    return {action ? word.toUpper() : word, action};
}

PageCell Plain(const QString& text) {
    return {text, false};
}

QString TimeOr(bool known, uint32_t stamp) {
    return known ? Time(stamp) : QString("never");
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

QString Every(int days) {
    return days == 1 ? QString("every day") : "every " + QString::number(days) + " days";
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

// What an instrument's page shows beyond its record, read once for both passes.
struct PageData {
    const InstrumentRecord* record = nullptr;
    std::vector<EventRow> failures; // the latest kPackListRows
    std::vector<uint32_t> passes;   // after each failure, 0: none
    size_t failuresLeftOut = 0;
    std::vector<SessionStart> used; // the latest kPackListRows
    size_t usedLeftOut = 0;
    std::vector<GasAlarms> alarms;
};

bool ReadPage(InstrumentRegister& reg, const InstrumentRecord& r, int64_t atDay, PageData& page) {
    page.record = &r;
    EventFilter filter;
    filter.instruments = {r.id};
    filter.result = EventResult::Fail;
    filter.toDay = atDay;
    if (!reg.Events(filter, page.failures)) {
        return false;
    }
    if (page.failures.size() > static_cast<size_t>(kPackListRows)) {
        page.failuresLeftOut = page.failures.size() - kPackListRows;
        page.failures.erase(page.failures.begin(),
                            page.failures.begin() + static_cast<long>(page.failuresLeftOut));
    }
    const std::vector<int64_t>& used = r.status.usedWhileOverdue;
    page.usedLeftOut =
        used.size() > static_cast<size_t>(kPackListRows) ? used.size() - kPackListRows : 0;
    return reg.PassesAfter(page.failures, page.passes) &&
           reg.SessionStarts(
               std::vector<int64_t>(used.begin() + static_cast<long>(page.usedLeftOut), used.end()),
               page.used) &&
           reg.AlarmsByGas(r.id, atDay, page.alarms);
}

QString LeftOut(size_t count) {
    return QString::number(count) +
           " earlier entries are not shown (tavon-datalog archive events lists them all).";
}

void SummaryPage(PdfPages& pages, const std::vector<InstrumentRecord>& instruments,
                 const PackSettings& settings) {
    std::map<ServiceStatus, int> counts;
    QString first;
    for (const InstrumentRecord& r : instruments) {
        ++counts[r.status.status];
        if (!r.firstDay.isEmpty() && (first.isEmpty() || r.firstDay < first)) {
            first = r.firstDay;
        }
    }
    const QString at = Std(DayText(settings.atDay));
    pages.Heading("Instrument compliance report", 1);
    pages.Paragraph("Archive: " + settings.archiveName + "\nStatus at the end of " + at +
                    "\nPeriod: " + (first.isEmpty() ? QString("no sessions") : first) + " to " +
                    at + "\nMade: " + settings.madeAt);
    pages.Paragraph(QString("%1 instrument%2: %3 failed, %4 overdue, %5 due, %6 ok")
                        .arg(instruments.size())
                        .arg(instruments.size() == 1 ? "" : "s")
                        .arg(counts[ServiceStatus::Failed])
                        .arg(counts[ServiceStatus::Overdue])
                        .arg(counts[ServiceStatus::Due])
                        .arg(counts[ServiceStatus::Ok]));
    const QString verification = settings.verification.trimmed();
    pages.Paragraph("Verification of the archive: " +
                    (verification.isEmpty() ? QString("not run") : verification));
    std::vector<PageRow> rows;
    for (const InstrumentRecord* r : Ordered(instruments)) {
        QStringList attention;
        for (const SensorStatus& s : r->status.sensors) {
            if (s.status == ServiceStatus::Overdue || s.status == ServiceStatus::Failed) {
                attention << Std(SensorGasName(s.sensor)) + " " +
                                 QString::fromLatin1(ServiceStatusWord(s.status));
            }
        }
        rows.push_back({Plain(r->name), Plain(r->serial), StatusCell(r->status.status),
                        Plain(attention.join(", ")),
                        Plain(QString::number(r->status.usedWhileOverdue.size())),
                        Plain(NextDue(*r))});
    }
    pages.Table({"Instrument", "Serial", "Status", "Sensors overdue or failed",
                 "Sessions used while overdue", "Next due"},
                rows, {3, 2, 1.5, 4, 2, 1.7});
}

void InstrumentPage(PdfPages& pages, const PageData& page, const PackSettings& settings) {
    const InstrumentRecord& r = *page.record;
    pages.NewPage();
    pages.Heading(r.name, 1);
    pages.Paragraph("Serial number: " + (r.serial.isEmpty() ? QString("not reported") : r.serial) +
                    "\nFirmware: " + (r.firmware.isEmpty() ? QString("not reported") : r.firmware) +
                    "\nSessions: " + QString::number(r.sessions) +
                    (r.firstDay.isEmpty() ? QString() : ", " + r.firstDay + " to " + r.lastDay) +
                    "\nIntervals: bump test " + Every(r.intervals.bumpDays) + ", calibration " +
                    Every(r.intervals.calibrationDays) + " (due " +
                    QString::number(r.intervals.warningDays) +
                    " days before)\nStatus at the end of " + Std(DayText(settings.atDay)) + ": " +
                    StatusCell(r.status.status).text);

    pages.Heading("Sensors", 2);
    std::vector<PageRow> rows;
    for (const SensorStatus& s : r.status.sensors) {
        const std::string range = SensorRange(s.sensor);
        rows.push_back({Plain(range.empty() ? "code " + QString::number(s.sensor) : Std(range)),
                        Plain(Std(SensorGasName(s.sensor))),
                        Plain(TimeOr(s.bump.tested, s.bump.lastStamp)), Plain(ResultOf(s.bump)),
                        Plain(DueOf(s.bump)),
                        Plain(TimeOr(s.calibration.tested, s.calibration.lastStamp)),
                        Plain(ResultOf(s.calibration)), Plain(DueOf(s.calibration)),
                        StatusCell(s.status), Plain(QString::number(s.failuresSincePass))});
    }
    if (rows.empty()) {
        pages.Paragraph("No sensor has been tested.");
    } else {
        pages.Table({"Sensor range", "Gas", "Last bump test", "Result", "Bump due",
                     "Last calibration", "Result", "Calibration due", "Status",
                     "Failures since pass"},
                    rows, {2.3, 0.9, 2.1, 1.1, 1.7, 2.1, 1.1, 1.7, 1.4, 1.3});
    }

    pages.Heading("Failures and what followed", 2);
    rows.clear();
    for (size_t k = 0; k < page.failures.size(); ++k) {
        const EventRow& e = page.failures[k];
        const bool passed = page.passes[k] != 0 && DayOfStamp(page.passes[k]) <= settings.atDay;
        rows.push_back(
            {Plain(Time(e.stamp)), Plain(QString::fromLatin1(EventKindWord(e.kind))),
             Plain(SensorName(e.sensor)), Plain(e.value), Plain(e.user), Plain(e.job),
             passed ? Plain("passed " + Time(page.passes[k])) : PageCell{"NO PASS SINCE", true}});
    }
    if (page.failuresLeftOut != 0) {
        pages.Paragraph(LeftOut(page.failuresLeftOut));
    }
    if (rows.empty()) {
        pages.Paragraph("No test failed.");
    } else {
        pages.Table({"Time", "Test", "Sensor", "Value", "User", "Job", "Followed by"}, rows,
                    {2.6, 1.6, 1.3, 1.5, 1.8, 1.9, 3.4});
    }

    pages.Heading("Sessions used while overdue or failed", 2);
    rows.clear();
    for (const SessionStart& start : page.used) {
        rows.push_back({Plain(Time(start.stamp)), Plain(start.jobs), Plain(start.users),
                        Plain(QString::number(start.id))});
    }
    if (page.usedLeftOut != 0) {
        pages.Paragraph(LeftOut(page.usedLeftOut));
    }
    if (rows.empty()) {
        pages.Paragraph("None.");
    } else {
        pages.Table({"Switched on", "Job", "User", "Session"}, rows, {2.2, 3, 3, 1.2});
    }

    pages.Heading("Alarms per gas", 2);
    rows.clear();
    for (const GasAlarms& a : page.alarms) {
        rows.push_back({Plain(a.gas), Plain(QString::number(a.sessions))});
    }
    if (rows.empty()) {
        pages.Paragraph("No alarms.");
    } else {
        pages.Table({"Gas", "Sessions with an alarm of it"}, rows, {1, 2});
    }
}

int Render(QPdfWriter& writer, QPainter* painter, int total,
           const std::vector<InstrumentRecord>& instruments, const std::vector<PageData>& data,
           const PackSettings& settings) {
    PdfPages pages(writer, painter, total);
    SummaryPage(pages, instruments, settings);
    for (const PageData& page : data) {
        InstrumentPage(pages, page, settings);
    }
    return pages.Finish();
}

} // namespace

bool WriteCompliancePack(InstrumentRegister& reg, const std::vector<InstrumentRecord>& instruments,
                         const PackSettings& settings, const QString& path, QString& error) {
    std::vector<PageData> data;
    for (const InstrumentRecord* r : Ordered(instruments)) {
        data.emplace_back();
        if (!ReadPage(reg, *r, settings.atDay, data.back())) {
            error = reg.Error();
            return false;
        }
    }
    // Written beside its place and renamed: a failure never leaves half a pack behind.
    const QString partial = path + ".part";
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle("Instrument compliance report " + Std(DayText(settings.atDay)));
        writer.setCreator("Tavon Datalogging");
        const int total = Render(writer, nullptr, 0, instruments, data, settings);
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = "cannot write " + path;
            return false;
        }
        Render(writer, &painter, total, instruments, data, settings);
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
