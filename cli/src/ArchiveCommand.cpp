// tavon-datalog archive: the logbook of every session downloaded or imported.
#include "ArchiveCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ChartOutput.h"
#include "CommandLine.h"
#include "Commands.h"
#include "ExitStatus.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"

const char kArchiveSynopsis[] =
    "archive import|list|render|export|plot|stats|rename-instrument [--archive LOCATION]"
    " ARGUMENTS...";

const char kArchiveHelp[] =
    "The archive keeps every session that download or import has seen, with its raw bytes, so\n"
    "that it can be listed, searched and rendered again long after the instrument reused its\n"
    "slot. A session seen again is stored once; a session that was still being recorded is\n"
    "replaced by its longer copy, the archive noting when.\n"
    "\n"
    "  archive import [--instrument NAME] DUMP...\n"
    "                        stores the sessions of FlashData.txt dumps (a dump carries no\n"
    "                        instrument identity: they go to the instrument called NAME, by\n"
    "                        default \"imported\"); a malformed dump is named with its bad line\n"
    "                        and nothing of any dump given is stored\n"
    "  archive list [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--job TEXT] [--user TEXT]\n"
    "               [--alarm] [--cal] [--instrument NAME] [--format text|csv|json]\n"
    "                        one line per archived session, in time order: its id, instrument,\n"
    "                        day, start and end, slot, tags, mode, job numbers and users\n"
    "  archive render [--graph] [-o FILE] ID...\n"
    "                        the RTF report of archived sessions, in the order given, as\n"
    "                        render makes it from a dump\n"
    "  archive export --format csv|geojson|gpx [-o FILE] ID...\n"
    "                        archived sessions in a format for spreadsheets and maps, as\n"
    "                        export writes them from a dump\n"
    "  archive plot -o FILE.pdf|FILE.png [--size WxH] [--hide LIST] ID...\n"
    "                        the chart of archived sessions, in the order given, as plot\n"
    "                        draws it from a dump\n"
    "  archive stats         what the archive holds\n"
    "  archive rename-instrument OLD NEW\n"
    "                        gives the instrument the archive calls OLD (or whose serial number\n"
    "                        OLD is) the name NEW, its sessions with it; a name that another\n"
    "                        instrument has is refused. An instrument is who its serial number\n"
    "                        says; without one, the name it was downloaded or imported with is\n"
    "                        who it is, and a new name is a new instrument\n"
    "\n"
    "  --archive LOCATION    a SQLite file, or postgresql://user@host[:port]/database (a socket\n"
    "                        folder as host is written with %2F for each '/'); default: the\n"
    "                        program's own archive.sqlite in its application data folder\n"
    "\n"
    "Exit status: as above, and 6 when the archive could not be opened, read or written.\n";

namespace {

struct Subcommand {
    const char* name;
    int (*run)(const QStringList& arguments);
};

const Subcommand kSubcommands[] = {
    {"import", RunArchiveImport},
    {"list", RunArchiveList},
    {"render", RunArchiveRender},
    {"export", RunArchiveExport},
    {"plot", RunArchivePlot},
    {"stats", RunArchiveStats},
    {"rename-instrument", RunArchiveRenameInstrument},
};

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// One dump read and taken apart before anything is written.
struct ReadDump {
    QString path;
    QByteArray index;
    std::vector<archive::CapturedSession> sessions;
};

} // namespace

QCommandLineOption ArchiveLocationOption() {
    return QCommandLineOption("archive", "where the archive is", "location");
}

bool OpenArchive(archive::SessionArchive& store, const QString& location) {
    if (!store.Open(location)) {
        PrintError(Text(store.Error()));
        return false;
    }
    return true;
}

bool ParseArchiveArguments(QCommandLineParser& parser, const QStringList& arguments) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        UsageError("archive " + Text(arguments.value(0)) + ": " + Text(parser.errorText()));
        return false;
    }
    return true;
}

bool ParseSessionIds(const QStringList& words, const char* command, QVector<qint64>& ids) {
    for (const QString& text : words) {
        bool ok = false;
        const qint64 id = text.toLongLong(&ok);
        if (!ok || id <= 0) {
            UsageError(std::string("archive ") + command + " takes session ids, not \"" +
                       Text(text) + "\"");
            return false;
        }
        ids << id;
    }
    if (ids.isEmpty()) {
        UsageError(std::string("archive ") + command + " needs at least one session id");
        return false;
    }
    return true;
}

int DecodeArchivedSessions(const QCommandLineParser& parser, const QCommandLineOption& location,
                           const char* command, std::vector<SessionValues>& sessions) {
    QVector<qint64> ids;
    if (!ParseSessionIds(parser.positionalArguments(), command, ids)) {
        return kExitUsage;
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    std::unique_ptr<LogImage> image(new LogImage);
    if (!archive::DecodeArchived(store, ids, *image, sessions)) {
        PrintError(Text(store.Error()));
        return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
    }
    return kExitOk;
}

int RunArchive(int argc, char** argv) {
    if (argc < 1) {
        return UsageError(
            "archive needs one of import, list, render, export, plot, stats and rename-instrument");
    }
    int qtArgc = 1;
    char program[] = "tavon-datalog";
    char* qtArgv[] = {program, nullptr};
    // A chart needs widgets, and so the full application object.
    const std::unique_ptr<QCoreApplication> app =
        MakeApplication(qtArgc, qtArgv, std::strcmp(argv[0], "plot") == 0);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    for (const Subcommand& sub : kSubcommands) {
        if (std::strcmp(argv[0], sub.name) == 0) {
            return sub.run(arguments);
        }
    }
    return UsageError(std::string("archive has no subcommand \"") + argv[0] + "\"");
}

int RunArchiveImport(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    const QCommandLineOption instrument("instrument", "the instrument's name", "name");
    parser.addOptions({location, instrument});
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        return UsageError("archive import needs at least one dump");
    }
    const QString name = parser.isSet(instrument) ? parser.value(instrument) : "imported";
    if (name.isEmpty()) {
        return UsageError("--instrument needs a name");
    }
    // Every dump is read in full first: one bad line in any of them stores nothing.
    std::vector<ReadDump> dumps;
    {
        std::unique_ptr<LogImage> image(new LogImage);
        for (const QString& file : files) {
            std::string message;
            if (!image->LoadDump(file.toLocal8Bit().constData(), message)) {
                PrintError(message);
                return kExitUsage;
            }
            dumps.push_back({file, archive::IndexBytes(*image),
                             archive::CaptureSessions(*image, std::vector<int16_t>())});
        }
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    // A dump names no instrument: one already known by that name (downloaded, or imported
    // before) takes it, so that a colleague's dump joins that instrument's own sessions.
    const QVector<qint64> known = store.FindInstruments(name);
    const qint64 id =
        known.isEmpty() ? store.Instrument(archive::NamedInstrument(name), name) : known.first();
    if (id < 0) {
        PrintError(Text(store.Error()));
        return kExitArchive;
    }
    for (const ReadDump& dump : dumps) {
        archive::StoreCounts counts;
        if (store.ImportDump(id, "import " + dump.path, dump.index, dump.sessions, counts) < 0) {
            PrintError(Text(dump.path + ": " + store.Error()));
            return kExitArchive;
        }
        std::printf("%s: %zu sessions: %d new, %d already archived, %d replaced\n",
                    Text(dump.path).c_str(), dump.sessions.size(), counts.added, counts.seen,
                    counts.replaced);
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}

int RunArchiveStats(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    parser.addOption(location);
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError("archive stats takes no arguments");
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    archive::ArchiveStats stats;
    if (!store.Stats(stats)) {
        PrintError(Text(store.Error()));
        return kExitArchive;
    }
    std::printf("instruments: %lld\nsessions: %lld (%lld complete)\ndownloads and imports: "
                "%lld\nindex uploads: %lld\nreplaced copies: %lld\nsector bytes: %lld\n",
                stats.instruments, stats.sessions, stats.completeSessions, stats.downloads,
                stats.indexUploads, stats.replacements, stats.sectorBytes);
    std::printf("days: %s to %s\n", Text(stats.firstDay).c_str(), Text(stats.lastDay).c_str());
    for (const QString& line : stats.perInstrument) {
        std::printf("  %s\n", Text(line).c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}
