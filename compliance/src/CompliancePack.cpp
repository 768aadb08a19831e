#include "compliance/CompliancePack.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "PdfPages.h"
#include "archive/HistorySigning.h"
#include "archive/StoredText.h"
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
    const bool action = NeedsAction(status);
    return {action ? word.toUpper() : word, action};
}

// A cell's text, which may be one the archive keeps (a name, a user, a job number), on its row's
// line: shown as archive::OneLine shows it.
PageCell Plain(const QString& text) {
    return {archive::OneLine(text), false};
}

QString TimeOr(bool known, uint32_t stamp) {
    return known ? Time(stamp) : QString("never");
}

QString DueOf(const KindVerdict& verdict) {
    return verdict.dueDay ? Std(DueDayText(verdict)) : QString("none");
}

QString ResultOf(const KindVerdict& verdict) {
    return verdict.tested ? QString::fromLatin1(EventResultText(verdict.lastResult)) : QString();
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
    std::optional<int64_t> soonest;
    auto consider = [&soonest](const KindVerdict& v) {
        if (v.dueDay && (!soonest || *v.dueDay < *soonest)) {
            soonest = v.dueDay;
        }
    };
    consider(r.status.soundness);
    consider(r.status.filter);
    for (const SensorStatus& s : r.status.sensors) {
        consider(s.bump);
        consider(s.calibration);
    }
    return soonest ? Std(DayText(*soonest)) : QString();
}

// "O2 failed, filter check failed": the instrument's checks and sensors that need action.
QString NeedingAction(const InstrumentRecord& r) {
    if (r.status.status == ServiceStatus::NoTests) {
        return QString::fromLatin1(ServiceStatusWord(ServiceStatus::NoTests));
    }
    QStringList needs;
    for (const auto& check : {std::make_pair("soundness test ", &r.status.soundness),
                              std::make_pair("filter check ", &r.status.filter)}) {
        if (NeedsAction(check.second->status)) {
            needs << check.first + QString::fromLatin1(ServiceStatusWord(check.second->status));
        }
    }
    for (const SensorStatus& s : r.status.sensors) {
        if (NeedsAction(s.status)) {
            needs << Std(SensorGasName(s.sensor)) + " " +
                         QString::fromLatin1(ServiceStatusWord(s.status));
        }
    }
    return needs.join(", ");
}

// "passed 2026-12-03 08:01:00"; "field-calibration made 2026-12-03 08:01:00" for a test of
// another kind that counts as this one, or without a verdict.
QString FollowedBy(const EventRow& failure, const EventRow& made) {
    const QString kind =
        made.kind == failure.kind ? QString() : QString::fromLatin1(EventKindWord(made.kind)) + " ";
    return kind + (made.result == EventResult::Pass ? "passed " : "made ") + Time(made.stamp);
}

// What an instrument's page shows beyond its record, read once for both passes.
struct PageData {
    const InstrumentRecord* record = nullptr;
    std::vector<EventRow> failures;  // the latest kPackListRows
    std::vector<QString> followedBy; // of each failure, empty: nothing made since
    size_t failuresLeftOut = 0;
    std::vector<SessionStart> used; // the latest kPackListRows
    size_t usedLeftOut = 0;
    std::vector<GasAlarms> alarms;
};

bool ReadPage(InstrumentRegister& reg, const InstrumentRecord& r, int64_t atDay, PageData& page) {
    page.record = &r;
    EventFilter filter;
    filter.instruments = {r.id};
    filter.toDay = atDay;
    std::vector<EventRow> events;
    if (!reg.Events(filter, events)) {
        return false;
    }
    std::vector<HistoryTest> tests;
    for (const EventRow& e : events) {
        tests.push_back({e.kind, e.sensor, e.stamp, e.result});
    }
    const std::vector<size_t> made = MadeAfterFailures(tests);
    size_t failures = 0;
    for (const EventRow& e : events) {
        failures += e.result == EventResult::Fail ? 1 : 0;
    }
    page.failuresLeftOut =
        failures > static_cast<size_t>(kPackListRows) ? failures - kPackListRows : 0;
    size_t seen = 0;
    for (size_t k = 0; k < events.size(); ++k) {
        if (events[k].result != EventResult::Fail || seen++ < page.failuresLeftOut) {
            continue;
        }
        page.failures.push_back(events[k]);
        page.followedBy.push_back(made[k] < events.size() ? FollowedBy(events[k], events[made[k]])
                                                          : QString());
    }
    const std::vector<int64_t>& used = r.status.usedWhileOverdue;
    page.usedLeftOut =
        used.size() > static_cast<size_t>(kPackListRows) ? used.size() - kPackListRows : 0;
    return reg.SessionStarts(
               std::vector<int64_t>(used.begin() + static_cast<long>(page.usedLeftOut), used.end()),
               page.used) &&
           reg.AlarmsByGas(r.id, atDay, page.alarms);
}

// Where the pack's period begins: the first day of its instruments' sessions (empty: none).
QString FirstDay(const std::vector<InstrumentRecord>& instruments) {
    QString first;
    for (const InstrumentRecord& r : instruments) {
        if (!r.firstDay.isEmpty() && (first.isEmpty() || r.firstDay < first)) {
            first = r.firstDay;
        }
    }
    return first;
}

QString LeftOut(size_t count) {
    return QString::number(count) +
           " earlier entries are not shown (tavon-datalog archive events lists them all).";
}

void SummaryPage(PdfPages& pages, const std::vector<InstrumentRecord>& instruments,
                 const PackSettings& settings) {
    std::map<ServiceStatus, int> counts;
    for (const InstrumentRecord& r : instruments) {
        ++counts[r.status.status];
    }
    const QString first = FirstDay(instruments);
    const QString at = Std(DayText(settings.atDay));
    pages.Heading("Instrument compliance report", 1);
    pages.Paragraph("Archive: " + settings.archiveName + "\nStatus at the end of " + at +
                    "\nPeriod: " + (first.isEmpty() ? QString("no sessions") : first) + " to " +
                    at + "\nMade: " + settings.madeAt);
    const int untested = counts[ServiceStatus::NoTests];
    pages.Paragraph(QString("%1 instrument%2: %3 failed, %4 overdue, %5 due, %6 ok%7")
                        .arg(instruments.size())
                        .arg(instruments.size() == 1 ? "" : "s")
                        .arg(counts[ServiceStatus::Failed])
                        .arg(counts[ServiceStatus::Overdue])
                        .arg(counts[ServiceStatus::Due])
                        .arg(counts[ServiceStatus::Ok])
                        .arg(untested == 0
                                 ? QString()
                                 : QString(", %1 with no tests archived yet").arg(untested)));
    const QString verification = settings.verification.trimmed();
    pages.Paragraph("Verification of the archive: " +
                    (verification.isEmpty() ? QString("not run") : verification));
    // The history's lines name what its rows keep (users, hosts, a sign-off's text): each stays
    // one line, so that nothing written into the database can pass for a line of its own.
    for (const QString& line : settings.history) {
        pages.Paragraph(archive::OneLine(line));
    }
    std::vector<PageRow> rows;
    for (const InstrumentRecord* r : Ordered(instruments)) {
        rows.push_back({Plain(r->name), Plain(r->serial), StatusCell(r->status.status),
                        Plain(NeedingAction(*r)),
                        Plain(QString::number(r->status.usedWhileOverdue.size())),
                        Plain(NextDue(*r))});
    }
    pages.Table({"Instrument", "Serial", "Status", "Overdue or failed",
                 "Sessions used while overdue", "Next due"},
                rows);
}

// The page's head: the instrument's facts, its status and what it needs.
void InstrumentHeading(PdfPages& pages, const InstrumentRecord& r, const PackSettings& settings) {
    pages.NewPage();
    pages.Heading(archive::OneLine(r.name), 1);
    pages.Paragraph(
        "Serial number: " +
        (r.serial.isEmpty() ? QString("not reported") : archive::OneLine(r.serial)) +
        "\nFirmware: " +
        (r.firmware.isEmpty() ? QString("not reported") : archive::OneLine(r.firmware)) +
        "\nSessions: " + QString::number(r.sessions) +
        (r.firstDay.isEmpty() ? QString() : ", " + r.firstDay + " to " + r.lastDay) +
        "\nIntervals: bump test " + Every(r.intervals.bumpDays) + ", calibration " +
        Every(r.intervals.calibrationDays) + " (due " + QString::number(r.intervals.warningDays) +
        " days before)\nStatus at the end of " + Std(DayText(settings.atDay)) + ": " +
        StatusCell(r.status.status).text);

    // What the status line and the watcher say of it, worst first.
    pages.Heading("What it needs", 2);
    QStringList needs;
    for (const std::string& line : AttentionLines(r.status)) {
        needs << Std(line);
    }
    pages.Paragraph(needs.isEmpty() ? QString("Nothing: every test is ok.") : needs.join('\n'));
}

void SensorTable(PdfPages& pages, const InstrumentRecord& r) {
    pages.Heading("Sensors", 2);
    std::vector<PageRow> rows;
    for (const SensorStatus& s : r.status.sensors) {
        const std::string range = SensorRange(s.sensor);
        rows.push_back({Plain(QString::number(s.number)),
                        Plain(range.empty() ? QString("not known") : Std(range)),
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
        // The sensor's number as the text and CSV give it, under a heading narrow enough that
        // the dates of a row stay on one line.
        pages.Table({"#", "Sensor range", "Gas", "Last bump test", "Result", "Bump due",
                     "Last calibration", "Result", "Calibration due", "Status",
                     "Failures since pass"},
                    rows);
    }
}

void CheckTable(PdfPages& pages, const InstrumentRecord& r) {
    pages.Heading("Instrument checks", 2);
    std::vector<PageRow> rows;
    for (const auto& check : {std::make_pair("Soundness test", &r.status.soundness),
                              std::make_pair("Filter check", &r.status.filter)}) {
        const KindVerdict& v = *check.second;
        rows.push_back({Plain(check.first), Plain(TimeOr(v.tested, v.lastStamp)),
                        Plain(ResultOf(v)), v.tested ? StatusCell(v.status) : Plain(QString()),
                        Plain(QString::number(v.failuresSincePass))});
    }
    pages.Table({"Check", "Last", "Result", "Status", "Failures since pass"}, rows);
}

void FailureTable(PdfPages& pages, const PageData& page) {
    pages.Heading("Failures and what followed", 2);
    std::vector<PageRow> rows;
    for (size_t k = 0; k < page.failures.size(); ++k) {
        const EventRow& e = page.failures[k];
        const QString& followed = page.followedBy[k];
        rows.push_back({Plain(Time(e.stamp)), Plain(QString::fromLatin1(EventKindWord(e.kind))),
                        Plain(SensorName(e.sensor)),
                        Plain(Std(EventValueText(e.value.toStdString(), e.sensor, e.result))),
                        Plain(e.user), Plain(e.job),
                        followed.isEmpty() ? PageCell{"NO PASS SINCE", true} : Plain(followed)});
    }
    if (page.failuresLeftOut != 0) {
        pages.Paragraph(LeftOut(page.failuresLeftOut));
    }
    if (rows.empty()) {
        pages.Paragraph("No test failed.");
    } else {
        pages.Table({"Time", "Test", "Sensor", "Value", "User", "Job", "Followed by"}, rows);
    }
}

void OverdueUseTable(PdfPages& pages, const PageData& page) {
    pages.Heading("Sessions used while overdue or failed", 2);
    std::vector<PageRow> rows;
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
        pages.Table({"Switched on", "Job", "User", "Session id"}, rows);
    }
}

void AlarmTable(PdfPages& pages, const PageData& page) {
    pages.Heading("Alarms per gas", 2);
    std::vector<PageRow> rows;
    for (const GasAlarms& a : page.alarms) {
        rows.push_back({Plain(a.gas), Plain(QString::number(a.sessions))});
    }
    if (rows.empty()) {
        pages.Paragraph("No alarms.");
    } else {
        pages.Table({"Gas", "Sessions with an alarm of it"}, rows);
    }
}

void InstrumentPage(PdfPages& pages, const PageData& page, const PackSettings& settings) {
    const InstrumentRecord& r = *page.record;
    InstrumentHeading(pages, r, settings);
    SensorTable(pages, r);
    CheckTable(pages, r);
    FailureTable(pages, page);
    OverdueUseTable(pages, page);
    AlarmTable(pages, page);
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

bool PackHistoryLines(archive::SessionArchive& store, int64_t atDay,
                      const std::vector<InstrumentRecord>& instruments, QStringList& lines,
                      QString& error) {
    archive::PinnedPeriod period;
    for (const InstrumentRecord& r : instruments) {
        period.instruments.append(r.id);
    }
    period.from = FirstDay(instruments);
    period.to = Std(DayText(atDay));
    // As the history stood at the end of the pack's day, on this computer's clock as the day is
    // given: today's pack pins it as it stands.
    period.until =
        QDate::fromString(period.to, "yyyy-MM-dd").addDays(1).startOfDay().toMSecsSinceEpoch();
    return archive::HistoryPinLines(store, period, lines, error);
}

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
    // Written beside its place and renamed: a failure never leaves half a pack behind. The file
    // is opened here, so that a place that cannot be written is told before anything is drawn.
    const QString partial = path + ".part";
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = "cannot write " + path + ": " + file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle("Instrument compliance report " + Std(DayText(settings.atDay)));
        writer.setCreator("Tavon Datalogging");
        const int total = Render(writer, nullptr, 0, instruments, data, settings);
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.remove();
            error = "cannot write " + path;
            return false;
        }
        Render(writer, &painter, total, instruments, data, settings);
        painter.end();
    }
    const bool written = file.error() == QFileDevice::NoError && file.flush() && file.size() > 0;
    const QString why = file.errorString();
    file.close();
    QFile::remove(path);
    if (!written || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        error = "cannot write " + path + (written ? QString() : ": " + why);
        return false;
    }
    return true;
}

} // namespace compliance
