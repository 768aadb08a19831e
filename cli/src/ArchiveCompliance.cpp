// tavon-datalog archive compliance, events and set-interval: the instrument register on the
// command line. compliance exits 3 when any instrument is overdue or failed, so that a scheduled
// task can warn, and 1 (as every archive command) only when its output could not be written.
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "archive/TrustedKeys.h"
#include "cli/ComplianceOptions.h"
#include "compliance/CivilDay.h"
#include "compliance/CompliancePack.h"
#include "compliance/InstrumentRegister.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"
#include "download/ReportOutput.h"

using compliance::EventRow;
using compliance::InstrumentRecord;
using compliance::SensorStatus;

namespace {

const QStringList kComplianceColumns = {"instrument",
                                        "serial",
                                        "instrument_status",
                                        "sensor",
                                        "range",
                                        "gas",
                                        "last_bump",
                                        "last_bump_result",
                                        "last_calibration",
                                        "last_calibration_result",
                                        "bump_due",
                                        "calibration_due",
                                        "status",
                                        "used_while_overdue",
                                        "failures_since_pass"};

const QStringList kEventColumns = {"time",   "instrument", "serial", "kind",
                                   "sensor", "gas",        "result", "value",
                                   "unit",   "user",       "job",    "session_id"};

QString Std(const std::string& text) {
    return QString::fromStdString(text);
}

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// One row of the compliance table: the columns' texts, in order.
QStringList ComplianceCells(const InstrumentRecord& r, const SensorStatus* s) {
    const QString instrumentStatus = compliance::ServiceStatusWord(r.status.status);
    if (s == nullptr) {
        // An instrument whose sessions never tested or read a gas.
        return {r.name,
                r.serial,
                instrumentStatus,
                "",
                "",
                "",
                "",
                "",
                "",
                "",
                "",
                "",
                instrumentStatus,
                QString::number(r.status.usedWhileOverdue.size()),
                "0"};
    }
    auto time = [](const compliance::KindVerdict& v) {
        return v.tested ? Std(compliance::StampText(v.lastStamp)) : QString();
    };
    auto result = [](const compliance::KindVerdict& v) {
        return v.tested ? QString::fromLatin1(compliance::EventResultText(v.lastResult))
                        : QString();
    };
    return {r.name,
            r.serial,
            instrumentStatus,
            QString::number(s->number),
            Std(compliance::SensorRange(s->sensor)),
            Std(compliance::SensorGasName(s->sensor)),
            time(s->bump),
            result(s->bump),
            time(s->calibration),
            result(s->calibration),
            Std(compliance::DueDayText(s->bump)),
            Std(compliance::DueDayText(s->calibration)),
            compliance::ServiceStatusWord(s->status),
            QString::number(s->usedWhileOverdue.size()),
            QString::number(s->failuresSincePass)};
}

QStringList EventCells(const EventRow& e) {
    const bool sensor = e.sensor != compliance::kNoSensor;
    return {Std(compliance::StampText(e.stamp)),
            e.instrument,
            e.serial,
            compliance::EventKindWord(e.kind),
            sensor ? QString::number(e.number) : QString(),
            sensor ? Std(compliance::SensorGasName(e.sensor)) : QString(),
            compliance::EventResultText(e.result),
            e.value,
            e.value.isEmpty() ? QString() : Std(compliance::EventValueUnit(e.sensor, e.result)),
            e.user,
            e.job,
            QString::number(e.sessionId)};
}

// Columns padded to their widest cell, two spaces apart; each cell a kept text shown on its row's
// line (OneLine).
QString TextTable(const QStringList& headings, const std::vector<QStringList>& shown) {
    std::vector<QStringList> rows;
    for (const QStringList& row : shown) {
        rows.emplace_back();
        for (const QString& cell : row) {
            rows.back() << archive::OneLine(cell);
        }
    }
    std::vector<int> widths;
    for (const QString& h : headings) {
        widths.push_back(h.size());
    }
    for (const QStringList& row : rows) {
        for (int k = 0; k < row.size() && k < static_cast<int>(widths.size()); ++k) {
            widths[k] = std::max(widths[k], static_cast<int>(row[k].size()));
        }
    }
    auto line = [&widths](const QStringList& cells) {
        QString text;
        for (int k = 0; k < cells.size(); ++k) {
            text += k + 1 < cells.size() ? cells[k].leftJustified(widths[k] + 2) : cells[k];
        }
        return text.trimmed() + "\n";
    };
    QString text = line(headings);
    for (const QStringList& row : rows) {
        text += line(row);
    }
    return text;
}

QString CsvTable(const QStringList& headings, const std::vector<QStringList>& rows) {
    QString text = headings.join(',') + "\r\n";
    for (const QStringList& row : rows) {
        QStringList cells;
        for (const QString& cell : row) {
            cells << CsvCell(cell);
        }
        text += cells.join(',') + "\r\n";
    }
    return text;
}

// `numbers`: the columns written as JSON numbers.
QString JsonTable(const QStringList& headings, const std::vector<QStringList>& rows,
                  const QStringList& numbers) {
    QJsonArray array;
    for (const QStringList& row : rows) {
        QJsonObject object;
        for (int k = 0; k < headings.size() && k < row.size(); ++k) {
            object.insert(headings[k], numbers.contains(headings[k])
                                           ? QJsonValue(row[k].toLongLong())
                                           : QJsonValue(row[k]));
        }
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QString Formatted(const std::string& format, const QStringList& headings,
                  const std::vector<QStringList>& rows, const QStringList& numbers) {
    return format == "csv"    ? CsvTable(headings, rows)
           : format == "json" ? JsonTable(headings, rows, numbers)
                              : TextTable(headings, rows);
}

// The instruments --instrument names (none: every one); false with the message printed.
bool Chosen(archive::SessionArchive& store, const std::string& word, std::vector<qint64>& ids,
            int& status) {
    if (word.empty()) {
        return true;
    }
    const QVector<qint64> found = store.FindInstruments(Local(word));
    if (found.isEmpty()) {
        PrintError("the archive holds no instrument \"" + word + "\"");
        status = store.Error().isEmpty() ? kExitUsage : kExitArchive;
        return false;
    }
    ids.assign(found.begin(), found.end());
    return true;
}

// The archive opened and its register's events brought up to date; false with the message
// printed.
bool OpenRegister(archive::SessionArchive& store, compliance::InstrumentRegister& reg,
                  const std::string& location) {
    if (!OpenArchive(store, Local(location))) {
        return false;
    }
    if (reg.Refresh() < 0) {
        PrintError(reg.Error().toLocal8Bit().toStdString());
        return false;
    }
    return true;
}

int Written(const std::string& path, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return WriteOutput(path, std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}

} // namespace

int RunArchiveCompliance(const QStringList& arguments) {
    ArchiveComplianceOptions options;
    std::string message;
    if (!ParseArchiveComplianceOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    // The pack's pages are laid out with fonts: that needs the GUI application object.
    int qtArgc = 1;
    char program[] = "tavon-datalog";
    char* qtArgv[] = {program, nullptr};
    const std::unique_ptr<QCoreApplication> app =
        MakeApplication(qtArgc, qtArgv, options.format == "pdf");
    int64_t atDay = 0;
    const std::string at =
        options.at.empty() ? QDate::currentDate().toString("yyyy-MM-dd").toStdString() : options.at;
    if (!compliance::ParseDay(at, atDay)) {
        return ArchiveUsageError("archive compliance: --at takes a date from 2000 on", arguments);
    }
    archive::SessionArchive store;
    compliance::InstrumentRegister reg(store);
    if (!OpenRegister(store, reg, options.archiveAt)) {
        return kExitArchive;
    }
    std::vector<qint64> ids;
    int status = kExitOk;
    if (!Chosen(store, options.instrument, ids, status)) {
        return status;
    }
    std::vector<InstrumentRecord> records;
    if (!reg.Instruments(atDay, ids, records)) {
        PrintError(reg.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    bool attention = false;
    std::vector<QStringList> rows;
    for (const InstrumentRecord& r : records) {
        attention = attention || compliance::NeedsAction(r.status.status);
        if (r.status.sensors.empty()) {
            rows.push_back(ComplianceCells(r, nullptr));
        }
        for (const SensorStatus& s : r.status.sensors) {
            rows.push_back(ComplianceCells(r, &s));
        }
    }
    if (options.format == "pdf") {
        compliance::PackSettings settings;
        settings.atDay = atDay;
        settings.archiveName = store.WhereFromAnywhere();
        settings.madeAt = archive::PinTimeText(QDateTime::currentMSecsSinceEpoch());
        archive::TrustedKeys trusted;
        if (!ReadTrust(options.trustedKeys, trusted)) {
            return kExitArchive;
        }
        settings.verification = archive::VerifyTrusted(store, trusted).Line();
        QString error;
        if (!compliance::PackHistoryLines(store, atDay, records, settings.history, error)) {
            PrintError(error.toLocal8Bit().toStdString());
            return kExitArchive;
        }
        if (!compliance::WriteCompliancePack(reg, records, settings, Local(options.output),
                                             error)) {
            PrintError(error.toLocal8Bit().toStdString());
            return kExitOutputFailed;
        }
    } else {
        const int written =
            Written(options.output, Formatted(options.format, kComplianceColumns, rows,
                                              {"used_while_overdue", "failures_since_pass"}));
        if (written != kExitOk) {
            return written;
        }
    }
    return attention ? kExitAttention : kExitOk;
}

int RunArchiveEvents(const QStringList& arguments) {
    ArchiveEventsOptions options;
    std::string message;
    if (!ParseArchiveEventsOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    compliance::EventFilter filter;
    for (const std::string& word : options.kinds) {
        compliance::EventKind kind;
        if (compliance::ParseEventKind(word, kind)) {
            filter.kinds.push_back(kind);
        }
    }
    compliance::EventResult result;
    if (!options.result.empty() &&
        compliance::ParseEventResult(options.result == "not-tested" ? "not tested" : options.result,
                                     result)) {
        filter.result = result;
    }
    int64_t day = 0;
    for (const std::string* bound : {&options.from, &options.to}) {
        if (bound->empty()) {
            continue;
        }
        if (!compliance::ParseDay(*bound, day)) {
            return ArchiveUsageError("archive events: --from and --to take dates from 2000 on",
                                     arguments);
        }
        (bound == &options.from ? filter.fromDay : filter.toDay) = day;
    }
    filter.user = Local(options.user);
    filter.job = Local(options.job);
    archive::SessionArchive store;
    compliance::InstrumentRegister reg(store);
    if (!OpenRegister(store, reg, options.archiveAt)) {
        return kExitArchive;
    }
    int status = kExitOk;
    if (!Chosen(store, options.instrument, filter.instruments, status)) {
        return status;
    }
    std::vector<EventRow> events;
    if (!reg.Events(filter, events)) {
        PrintError(reg.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    std::vector<QStringList> rows;
    for (const EventRow& e : events) {
        rows.push_back(EventCells(e));
    }
    return Written(options.output, Formatted(options.format, kEventColumns, rows, {"session_id"}));
}

int RunArchiveSetInterval(const QStringList& arguments) {
    ArchiveIntervalOptions options;
    std::string message;
    if (!ParseArchiveIntervalOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, Local(options.archiveAt))) {
        return kExitArchive;
    }
    std::vector<qint64> ids;
    int status = kExitOk;
    if (!Chosen(store, options.instrument, ids, status)) {
        return status;
    }
    if (ids.size() > 1) {
        PrintError("\"" + options.instrument + "\" names more than one instrument");
        return kExitUsage;
    }
    compliance::IntervalOverride change;
    if (options.bumpDays > 0) {
        change.bumpDays = options.bumpDays;
    }
    if (options.calibrationDays > 0) {
        change.calibrationDays = options.calibrationDays;
    }
    if (options.warningDays >= 0) {
        change.warningDays = options.warningDays;
    }
    compliance::InstrumentRegister reg(store);
    const qint64 scope = ids.empty() ? 0 : ids.front();
    std::vector<InstrumentRecord> records;
    compliance::ServiceIntervals now;
    if (!reg.SetIntervals(scope, change) || !reg.ArchiveIntervals(now) ||
        (scope != 0 && !reg.Instruments(0, ids, records))) {
        PrintError(reg.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    if (!records.empty()) {
        now = records.front().intervals;
    }
    std::printf("%s: %s\n",
                scope == 0 ? "the archive"
                           : archive::OneLine(records.front().name).toLocal8Bit().constData(),
                compliance::IntervalsText(now).c_str());
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}
