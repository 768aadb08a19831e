// tavon-datalog archive list: the archived sessions, searched, as text, CSV or JSON.
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "cli/ArchiveOptions.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"

QString CsvCell(QString text) {
    if (!text.isEmpty() && QString("=+-@").contains(text[0])) {
        text.prepend('\'');
    }
    if (text.contains(',') || text.contains('"') || text.contains('\n') || text.contains('\r')) {
        text = '"' + text.replace("\"", "\"\"") + '"';
    }
    return text;
}

namespace {

const char kCsvHeader[] = "id,instrument,day,start,end,slot,alarm,calibration,complete,mode,"
                          "jobs,users,alarm_count,alarm_gases,peaks,calibrations,bumps,gps,"
                          "conflicting_copies\r\n";

// `conflicts`: the copies other archives held of the session, kept beside it by a sync.
QString CsvLine(const archive::ListedSession& s, int conflicts) {
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
                               m.gps ? "1" : "0",
                               QString::number(conflicts)};
    return cells.join(',') + "\r\n";
}

// When the archive first or last saw a session: its own clock's milliseconds since 1970, shown
// as the history's times are, ISO 8601 in UTC ("2026-12-08T21:40:00.123Z").
QString SeenText(qint64 msecsSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, QTimeZone::utc())
        .toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
}

QJsonObject JsonOf(const archive::ListedSession& s, int conflicts) {
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
        {"firstSeen", SeenText(s.firstSeen)},
        {"lastSeen", SeenText(s.lastSeen)},
        {"conflictingCopies", conflicts},
    };
}

} // namespace

int RunArchiveList(const QStringList& arguments) {
    ArchiveListOptions options;
    std::string message;
    if (!ParseArchiveListOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    const QString kind = QString::fromStdString(options.format);
    const archive::ListFilter filter = SearchFilter(options);

    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    // A session that another archive held other bytes for says so wherever it is listed.
    QHash<qint64, int> conflicting;
    if (!store.ConflictingCopies(conflicting)) {
        PrintError(store.Error().toStdString());
        return kExitArchive;
    }
    const auto conflicts = [&conflicting](int n) {
        return n == 0   ? QString()
               : n == 1 ? QString("1 conflicting copy")
                        : QString("%1 conflicting copies").arg(n);
    };
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
            const int copies = conflicting.value(s.id);
            if (kind == "json") {
                array.append(JsonOf(s, copies));
            } else if (kind == "csv") {
                put(CsvLine(s, copies));
            } else {
                const QString conflict = conflicts(copies);
                // The line as the session's row keeps it, shown on one line (OneLine).
                put(archive::OneLine(s.line) +
                    (conflict.isEmpty() ? QString() : "  (" + conflict + ")") + QLatin1Char('\n'));
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
