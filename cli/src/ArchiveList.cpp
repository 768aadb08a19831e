// tavon-datalog archive list: the archived sessions, searched, as text, CSV or JSON.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "CommandLine.h"
#include "DownloadOptions.h"
#include "ExitStatus.h"
#include "archive/SessionArchive.h"

namespace {

// RFC 4180: quoted when it holds a separator, a quote or a line break; a text that a spreadsheet
// would take for a formula gets a leading apostrophe.
QString CsvCell(QString text) {
    if (!text.isEmpty() && QString("=+-@").contains(text[0])) {
        text.prepend('\'');
    }
    if (text.contains(',') || text.contains('"') || text.contains('\n') || text.contains('\r')) {
        text = '"' + text.replace("\"", "\"\"") + '"';
    }
    return text;
}

const char kCsvHeader[] = "id,instrument,day,start,end,slot,alarm,calibration,complete,mode,"
                          "jobs,users,alarm_count,alarm_gases,peaks,calibrations,bumps,gps\r\n";

QString CsvLine(const archive::ListedSession& s) {
    const archive::SessionSummary& m = s.summary;
    const QStringList cells = {QString::number(s.id),
                               CsvCell(s.instrument),
                               m.day,
                               m.startTime,
                               m.endTime,
                               QString::number(s.slot),
                               s.alarm ? "1" : "0",
                               s.calibration ? "1" : "0",
                               s.complete ? "1" : "0",
                               CsvCell(m.mode),
                               CsvCell(m.jobs.join("; ")),
                               CsvCell(m.users.join("; ")),
                               QString::number(m.alarmCount),
                               CsvCell(m.alarmGases.join("; ")),
                               CsvCell(m.peaks.join("; ")),
                               CsvCell(m.calibrations.join("; ")),
                               CsvCell(m.bumps.join("; ")),
                               m.gps ? "1" : "0"};
    return cells.join(',') + "\r\n";
}

QJsonObject JsonOf(const archive::ListedSession& s) {
    const archive::SessionSummary& m = s.summary;
    return QJsonObject{
        {"id", s.id},
        {"instrument", s.instrument},
        {"slot", s.slot},
        {"day", s.dated ? QJsonValue(m.day) : QJsonValue()},
        {"start", m.startTime},
        {"end", m.endTime},
        {"alarm", s.alarm},
        {"calibration", s.calibration},
        {"complete", s.complete},
        {"mode", m.mode},
        {"jobs", QJsonArray::fromStringList(m.jobs)},
        {"users", QJsonArray::fromStringList(m.users)},
        {"alarmCount", m.alarmCount},
        {"alarmGases", QJsonArray::fromStringList(m.alarmGases)},
        {"peaks", QJsonArray::fromStringList(m.peaks)},
        {"calibrations", QJsonArray::fromStringList(m.calibrations)},
        {"bumps", QJsonArray::fromStringList(m.bumps)},
        {"gps", m.gps},
        {"firstSeen", s.firstSeen},
        {"lastSeen", s.lastSeen},
    };
}

} // namespace

int RunArchiveList(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    const QCommandLineOption from("from", "first day", "date");
    const QCommandLineOption to("to", "last day", "date");
    const QCommandLineOption job("job", "part of a job number", "text");
    const QCommandLineOption user("user", "part of a user", "text");
    const QCommandLineOption alarm("alarm", "sessions with an alarm");
    const QCommandLineOption cal("cal", "sessions with a calibration");
    const QCommandLineOption instrument("instrument", "the instrument's name", "name");
    const QCommandLineOption format("format", "text, csv or json", "format", "text");
    parser.addOptions({location, from, to, job, user, alarm, cal, instrument, format});
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError("archive list takes options only, not \"" +
                          parser.positionalArguments().first().toStdString() + "\"");
    }
    for (const QCommandLineOption* date : {&from, &to}) {
        if (parser.isSet(*date) && !IsIsoDate(parser.value(*date).toStdString())) {
            return UsageError("--" + date->names().first().toStdString() +
                              " needs a date written YYYY-MM-DD");
        }
    }
    const QString kind = parser.value(format);
    if (kind != "text" && kind != "csv" && kind != "json") {
        return UsageError("--format takes text, csv or json, not \"" + kind.toStdString() + "\"");
    }
    archive::ListFilter filter;
    filter.from = parser.value(from);
    filter.to = parser.value(to);
    filter.job = parser.value(job);
    filter.user = parser.value(user);
    filter.alarmOnly = parser.isSet(alarm);
    filter.calibrationOnly = parser.isSet(cal);
    filter.instrument = parser.value(instrument);

    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    // Text and CSV go out line by line; JSON is one document.
    bool written = true;
    QJsonArray array;
    auto put = [&written](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        written = written && std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()),
                                         stdout) == static_cast<size_t>(bytes.size());
    };
    if (kind == "csv") {
        put(kCsvHeader);
    }
    const bool listed = store.ForEach(
        filter,
        [&](const archive::ListedSession& s) {
            if (kind == "json") {
                array.append(JsonOf(s));
            } else {
                put(kind == "csv" ? CsvLine(s) : s.line + QLatin1Char('\n'));
            }
        },
        kind == "text" ? archive::ListDetail::Line : archive::ListDetail::Full);
    if (!listed) {
        PrintError(store.Error().toStdString());
        return kExitArchive;
    }
    if (kind == "json") {
        put(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    }
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the listing to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}
