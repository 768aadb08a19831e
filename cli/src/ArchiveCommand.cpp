// tavon-datalog archive: the logbook of every session downloaded or imported.
#include "ArchiveCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Commands.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveReport.h"
#include "archive/DumpFiling.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "cli/ArchiveOptions.h"
#include "cli/ComplianceOptions.h"
#include "core/LogImage.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"
#include "download/SharedOptions.h"
#include "session/DownloadSettings.h"

const char kArchiveSynopsis[] =
    "archive import|list|render|export|plot|map|survey|stats|rename-instrument|history|verify|"
    "head|keys|sign-off|sync|new-identity|"
    "compliance|events|set-interval [--archive LOCATION]"
    " ARGUMENTS...";

namespace {

const char kArchiveIntro[] =
    "The archive keeps every session that download or import has seen, with its raw bytes, so\n"
    "that it can be listed, searched and rendered again long after the instrument reused its\n"
    "slot; an open session is replaced by its grown copy, the archive noting when. Each\n"
    "command prints its own options with --help (tavon-datalog archive list --help).\n";

} // namespace

std::string ArchiveHelp() {
    return kArchiveIntro;
}

const CommandPart kArchiveParts[] = {
    {"import", "archive import [--instrument NAME] DUMP...",
     "Stores the sessions of FlashData.txt dumps. A dump carries no instrument identity: "
     "without --instrument, each dump goes to the archived instrument that holds the same "
     "sessions (slot, start and bytes), else to a new instrument named after its file "
     "(FlashData-van7 for FlashData-van7.txt, with #2 after it where that name is taken), its "
     "line saying which; dumps given together that share sessions go to one instrument. A dump "
     "whose sessions two instruments hold is refused (exit status 2). With --instrument NAME, "
     "every dump goes to the instrument called NAME, the one already archived under that name "
     "when there is one. A malformed or refused dump is named, and nothing of any dump given "
     "is stored. Only the sessions whose data a dump holds are stored: one its index names but "
     "that was never uploaded into it is not. One line per dump says how many of the sessions "
     "its index names were new, already archived, replaced or not in the dump.",
     [] { return OptionHelp(ArchiveImportOptionTable()); }},
    {"list",
     "archive list [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--job TEXT] [--user TEXT] [--alarm] "
     "[--cal] [--instrument NAME] [--format text|csv|json]",
     "One line per archived session, in time order (undated sessions last): its id, "
     "instrument, day, start and end, slot, tags, mode, job numbers and users.",
     [] { return OptionHelp(ArchiveListOptionTable()); }},
    {"render", "archive render [--graph] [-o FILE] ID...",
     "The RTF report of archived sessions, in the order given, as render makes it from a dump.",
     [] { return OptionHelp(ArchiveRenderOptionTable()); }},
    {"export", "archive export --format csv|geojson|gpx [-o FILE] ID...",
     "Archived sessions in a format for spreadsheets and maps, in the order given, as export "
     "writes them from a dump.",
     [] { return OptionHelp(ArchiveExportOptionTable()); }},
    {"plot", "archive plot -o FILE.pdf|FILE.png [--size WxH] [--hide LIST] ID...",
     "The chart of archived sessions, in the order given, as plot draws it from a dump.",
     [] { return OptionHelp(ArchivePlotOptionTable()); }},
    {"map",
     "archive map -o FILE.png|FILE.pdf [--size WxH] [--tiles FILE] [--gas NAME] [--hide LIST] "
     "ID...|SEARCH",
     "The map of archived sessions (by id or by search), as map draws it.",
     [] { return OptionHelp(ArchiveMapOptionTable()); }},
    {"survey", "archive survey [--format text|csv|json] [-o FILE] ID...|SEARCH",
     "The survey record of archived sessions (by id or by search), as survey writes it, with "
     "each one's instrument and register status at switch-on.",
     [] { return OptionHelp(ArchiveSurveyOptionTable()); }},
    {"stats", "archive stats",
     "What the archive holds: instruments, sessions, downloads and "
     "imports, index uploads, replaced copies, sector bytes, the first and last day, and a line "
     "per instrument.",
     nullptr},
    {"rename-instrument", "archive rename-instrument OLD NEW",
     "Gives the instrument the archive calls OLD (or whose serial number OLD is) the name NEW, "
     "its sessions with it; a name that another instrument has is refused. An instrument is who "
     "its serial number says; without one, the name it was downloaded or imported with is who it "
     "is, and a new name is a new instrument.",
     nullptr},
    {"history", "archive history [--format text|csv] [--chain ARCHIVE | --all-chains]",
     "Every change made to the archive, oldest first, each row chained to the one before by its "
     "hash, so that a change made outside this program shows. A row says when (UTC), the user and "
     "computer that made it, what it was (started, import, download, replace, rename, interval, "
     "sync, sign-off) and which sessions, with the SHA-256 of their stored bytes. Each row "
     "is signed with its writer's own key. The history of another archive synced into this one "
     "is kept as that archive's chain: --chain shows it, --all-chains every chain.",
     ArchiveHistoryOptionHelp},
    {"verify", "archive verify [--against LOCATION] [--head ROW:HASH] [--trusted-keys FILE]",
     "Checks every session's stored bytes and every history row against the history: each one "
     "added, changed or deleted outside this program is a line, and a last line the result. "
     "The history of every other archive synced in is checked as its own "
     "chain, and each conflicting copy a sync kept is named. Every row's signature is checked: "
     "a row hashed again without its signer's key (a chain rebuilt), a row signed by a key the "
     "archive registered after it, and a signature removed are each a mismatch; a line says from "
     "which row signing starts in an archive older than the signatures. With trusted keys set "
     "(this user's list, which archive keys --trust writes, the system-wide list a manager "
     "installs, and --trusted-keys), every row signed by a key no list holds is a mismatch too; "
     "with none, the last line says that the signatures were checked for consistency only. "
     "\"Trusted Keys\" in Settings.ini is ignored. "
     "The newest rows deleted, with what they recorded, leave a chain that is whole in itself: "
     "--head (a head taken before with archive head, or printed in a compliance pack) shows "
     "them, as --against does for a history another archive recorded at a sync. "
     "With --against, the history of another archive this one synced with is checked too, up to "
     "what this one recorded of it at their last sync: the copy of its rows kept here and the "
     "heads recorded here must still be what that archive holds, and its history must not end "
     "before them; and this archive's own history is held to the copy and heads of it that the "
     "other keeps, the same way, so a history rewritten or cut short on either side since shows, "
     "a line each, whichever archive is verified. "
     "Exit status 1 on any mismatch, 6 when a list of trusted keys is refused (others may write "
     "it) or cannot be read.",
     ArchiveVerifyOptionHelp},
    {"head", "archive head",
     "Prints the head of the archive's own history, the newest row and its hash, as one line "
     "\"ROW HASH\" (the hash 64 hex digits). Keep it outside the archive: archive verify --head "
     "ROW:HASH later shows whether that row is still there as it was. Exit status 1 when the "
     "history holds no row (said on standard error), 6 when the archive cannot be read.",
     ArchiveHeadOptionHelp},
    {"keys", "archive keys [--trust FP] [--trusted-keys FILE] | keys new --name NAME [...]",
     "Every key that signed rows of the archive's histories, one line each, with its "
     "fingerprint. The line gives the user and computer of the first row it signed (a personal "
     "key: the printed name its binding row gives it; of this archive's history and of those "
     "synced into it), that row and its time, and, with trusted keys set (this user's list, the "
     "system-wide one, --trusted-keys), whether a list holds it. With --trust, adds the "
     "fingerprint to this user's list instead (trusted-keys beside the signing key, private to "
     "the user) and says where that is. keys new makes your personal signing key, which signs "
     "your sign-offs: an Ed25519 key whose seed is kept only sealed under your passphrase "
     "(Argon2id, libsodium's secretbox) in Tavon/personal-signing.key beside the user's key, "
     "with the name you sign with; it prints the key's fingerprint for your manager to trust. A "
     "key you have already is refused unless --replace.",
     ArchiveKeysOptionHelp},
    {"sign-off",
     "archive sign-off --meaning TEXT [--instrument NAME] [--from YYYY-MM-DD] [--to YYYY-MM-DD] "
     "[--passphrase-file FILE]",
     "Writes a history row giving the sessions of the instrument and period (default: all) the "
     "meaning TEXT (\"reviewed\", \"approved\"), signed by your personal key (keys new) once "
     "its passphrase opens it. The row names you by the printed name your key is bound to (the "
     "key's first sign-off in the archive writes the row that binds them) and each session with "
     "the hash of its stored bytes; archive history and the compliance pack show it with that "
     "name, the key's fingerprint, the time and the meaning. A scope that holds no session, a "
     "missing personal key, no passphrase (no terminal and no --passphrase-file) and a wrong "
     "passphrase are refused with exit status 2, and write nothing.",
     ArchiveSignOffOptionHelp},
    {"sync", "archive sync --from LOCATION [--to LOCATION]",
     "Takes into the archive (--to, else the one in use) every instrument, session (its stored "
     "bytes and the copies it replaced), service interval setting and history row of the archive "
     "--from that it lacks, and nothing twice: a second sync changes nothing (\"nothing new\"). "
     "Either may be a SQLite file or a PostgreSQL server; --from must hold an archive "
     "already, a --to that holds none yet is made. Each instrument carries an identity of its own, "
     "so "
     "one that came from an archive "
     "is known when it comes back; others are matched by serial number where both know it, else "
     "by model, settings and name together, else (one without a serial number, as an import's) "
     "by the sessions it shares with one instrument here, the same slot, start and bytes (one "
     "sharing sessions with two is kept apart, and a line says so); one whose name this archive "
     "already gives another "
     "instrument is renamed after its archive, \"NAME (ARCHIVE)\" (after its writer where the "
     "file is the default archive.sqlite), and a line says so. A copy of an archive synced here "
     "before whose history went another way (restored or copied) is refused, nothing written "
     "(exit status 1). Sessions are matched by instrument, slot, start and bytes. Where one copy "
     "of a "
     "session extends the other (it grew), the longer is the session and the shorter its "
     "replaced copy; where neither does, this archive's stays the session and the other is kept "
     "beside it as a conflicting copy, named by a line here, by list and by verify. Nothing is "
     "deleted. Sessions go in batches, each a transaction with the history row naming them, so "
     "a sync stopped at any point leaves the archive whole and the next one completes it; "
     "Ctrl-C stops it after the batch being written. The "
     "other archive's history is kept as its own chain, as it was written, and verify checks "
     "it; that archive gets a row naming this one. Progress goes to standard error on a "
     "terminal; a last line sums up: \"2 instruments, 412 sessions new, 1,233 already there; "
     "1 grown copy kept as replaced\".",
     [] { return OptionHelp(ArchiveSyncOptionTable()); }},
    {"new-identity", "archive new-identity",
     "Gives a copied archive whose history went another way an identity of its own. That is "
     "for a backup restored or a file copied, which sync refuses as the archive it came from; "
     "a history row names the identity it had. Synced after it, the copy is an archive "
     "of its own; its instruments and sessions are still known for what they are.",
     nullptr},
    {"compliance",
     "archive compliance [--at YYYY-MM-DD] [--instrument NAME] [--format text|csv|json|pdf] "
     "[-o FILE]",
     "The instrument register: one row per instrument and sensor with the instrument's status, "
     "the sensor's range, its last bump test and calibration and their results, when the next "
     "ones are due, its status (ok, due, overdue, failed, or no tests archived yet), the "
     "sessions used while it was overdue or failed, and its failures since the last pass. A "
     "test that passed or carries no verdict (a field calibration counts as a calibration) "
     "makes the next one of its kind due that many days later (set-interval; a bump test every "
     "day and a calibration every 180 days unless set): overdue from that day on, \"due\" "
     "already in the warning window before a calibration's day. A kind never tested is overdue; "
     "one whose last test failed is failed and due on the day it failed. A soundness test or "
     "filter check that failed with none made since fails the instrument. Exits with 3 when any "
     "instrument is overdue or failed, with 1 when the output could not be written.",
     [] { return OptionHelp(ArchiveComplianceOptionTable()); }},
    {"events",
     "archive events [--kind LIST] [--result pass|fail|not-tested|none] [--from YYYY-MM-DD] "
     "[--to YYYY-MM-DD] [--instrument NAME] [--user TEXT] [--job TEXT] [--format text|csv|json] "
     "[-o FILE]",
     "The tests the archived sessions hold, one row per sensor tested, in time order: time, "
     "instrument, kind, sensor and gas, result, value, user, job number and session id.",
     [] { return OptionHelp(ArchiveEventsOptionTable()); }},
    {"set-interval",
     "archive set-interval [--bump-days N] [--cal-days N] [--warn-days N] [--instrument NAME]",
     "Sets the days between bump tests and between calibrations, and how many days before a "
     "calibration's day it shows as due, for the whole archive or, with --instrument, for one "
     "instrument (its own settings go before the archive's). What is not given stays as it was.",
     [] { return OptionHelp(ArchiveIntervalOptionTable()); }},
    {nullptr, nullptr, nullptr, nullptr},
};

std::string ArchivePartOptions() {
    return ArchiveOptionHelp();
}

const char kArchiveExitStatus[] =
    "Exit status: 0 done (map: also with an unusable tile store or no positions, said on\n"
    "standard error); 1 the output could not be written, verify found a mismatch, a sign-off\n"
    "found one in its scope, sync left bytes its source's history does not record or was\n"
    "refused (a copy of an archive whose history went another way), or (head) the history\n"
    "holds no row; 2 bad arguments (a name or text not one line of UTF-8 too), a bad dump,\n"
    "a session id, instrument or (map) gas that is not there, a search that keeps no\n"
    "session, or a sign-off or keys new refused (no personal key or passphrase, a wrong one);\n"
    "3 (compliance) an instrument is overdue or failed; 6 the archive could not be opened,\n"
    "read or written or is not there (only import and sync's target make one), or a list of\n"
    "trusted keys is refused or unreadable; 130 (sync) stopped by Ctrl-C or SIGTERM.\n";

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
    {"map", RunArchiveMap},
    {"survey", RunArchiveSurvey},
    {"stats", RunArchiveStats},
    {"rename-instrument", RunArchiveRenameInstrument},
    {"history", RunArchiveHistory},
    {"verify", RunArchiveVerify},
    {"head", RunArchiveHead},
    {"keys", RunArchiveKeys},
    {"sign-off", RunArchiveSignOff},
    {"sync", RunArchiveSync},
    {"new-identity", RunArchiveNewIdentity},
    {"compliance", RunArchiveCompliance},
    {"events", RunArchiveEvents},
    {"set-interval", RunArchiveSetInterval},
};

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// One dump read and taken apart before anything is written.
struct ReadDump {
    QString path;
    QByteArray index;
    std::vector<archive::CapturedSession> sessions; // those whose data the dump holds
    size_t listed = 0;                              // every session its index names
};

// A dump saved before every session was uploaded names sessions in its index whose sectors it
// never received; archived, each would be an empty session that no later import replaces. Only
// the sessions `render` would render are kept.
ReadDump HeldSessions(const QString& path, LogImage& image) {
    ReadDump dump{path, archive::IndexBytes(image), {}, 0};
    for (archive::CapturedSession& s : archive::CaptureSessions(image, std::vector<int16_t>())) {
        ++dump.listed;
        if (image.SessionHeld(s.slot)) {
            dump.sessions.push_back(std::move(s));
        }
    }
    return dump;
}

// Stores the dump under the instrument `id`, and says how it went in its line, `filed` after it.
int StoreDump(archive::SessionArchive& store, qint64 id, const ReadDump& dump,
              const QString& filed) {
    archive::StoreCounts counts;
    if (store.ImportDump(id, "import " + dump.path, dump.index, dump.sessions, counts) < 0) {
        PrintError(Text(dump.path + ": " + store.Error()));
        return kExitArchive;
    }
    // Other bytes for sessions already held are said only where there are any.
    const std::string beside = counts.conflicting > 0 ? ", " + std::to_string(counts.conflicting) +
                                                            " kept beside as conflicting copies"
                                                      : std::string();
    std::printf("%s: %zu sessions listed: %d new, %d already archived, %d replaced%s, %zu not in"
                " the dump%s\n",
                Text(dump.path).c_str(), dump.listed, counts.added, counts.seen, counts.replaced,
                beside.c_str(), dump.listed - dump.sessions.size(),
                Text(archive::OneLine(filed)).c_str());
    return kExitOk;
}

// --instrument NAME: one already known by that name (downloaded, or imported before) takes them
// all, so that a colleague's dump joins that instrument's own sessions.
int ImportUnder(archive::SessionArchive& store, const std::vector<ReadDump>& dumps,
                const QString& name) {
    archive::DumpFiling filing;
    QString error;
    if (!archive::FileUnder(store, name, filing, error)) {
        PrintError(Text(error));
        return kExitArchive;
    }
    const bool made = filing.instrument < 0;
    const qint64 id = made ? store.Instrument(archive::NamedInstrument(filing.name), filing.name)
                           : filing.instrument;
    if (id < 0) {
        PrintError(Text(store.Error()));
        return kExitArchive;
    }
    for (size_t d = 0; d < dumps.size(); ++d) {
        const int status =
            StoreDump(store, id, dumps[d], archive::FiledWords(filing.name, made && d == 0, 0));
        if (status != kExitOk) {
            return status;
        }
    }
    return kExitOk;
}

// A dump names no instrument: each goes to the one that recorded the same sessions, else to a new
// one named after its file. Every dump is placed before any is stored, so that one that would
// put two instruments' sessions under one stores nothing of any.
int ImportFiled(archive::SessionArchive& store, const std::vector<ReadDump>& dumps) {
    std::vector<archive::DumpToFile> asked;
    for (const ReadDump& dump : dumps) {
        asked.push_back({dump.path, &dump.sessions});
    }
    std::vector<archive::DumpFiling> filings;
    QString error;
    const archive::FilingResult placed = archive::FileDumps(store, asked, filings, error);
    if (placed != archive::FilingResult::Filed) {
        PrintError(Text(placed == archive::FilingResult::Refused
                            ? error + "; nothing was stored (name its instrument with"
                                      " --instrument NAME)"
                            : error));
        return placed == archive::FilingResult::Refused ? kExitUsage : kExitArchive;
    }
    std::vector<qint64> ids(dumps.size(), -1);
    std::vector<QString> names(dumps.size());
    for (size_t d = 0; d < dumps.size(); ++d) {
        const archive::DumpFiling& f = filings[d];
        QString filed;
        if (f.instrument >= 0 || f.joins >= 0) {
            const size_t joins = static_cast<size_t>(f.joins);
            ids[d] = f.instrument >= 0 ? f.instrument : ids[joins];
            names[d] = f.instrument >= 0 ? f.name : names[joins];
            filed = archive::FiledWords(names[d], false, f.shared);
        } else {
            ids[d] = store.NewInstrument(f.name, names[d]);
            if (ids[d] < 0) {
                PrintError(Text(store.Error()));
                return kExitArchive;
            }
            filed = archive::FiledWords(names[d], true, 0);
        }
        const int status = StoreDump(store, ids[d], dumps[d], filed);
        if (status != kExitOk) {
            return status;
        }
    }
    return kExitOk;
}

} // namespace

std::vector<std::string> ArchiveWords(const QStringList& arguments) {
    std::vector<std::string> words;
    for (int i = 1; i < arguments.size(); ++i) {
        const QByteArray bytes = arguments[i].toLatin1();
        words.emplace_back(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    return words;
}

int ArchiveUsageError(const std::string& message, const QStringList& arguments) {
    return UsageError(message, "archive " + Text(arguments.value(0)));
}

QString ArchiveLocation(const QString& given) {
    if (!given.isEmpty()) {
        return given;
    }
    return QString::fromLocal8Bit(ReadDownloadSettings().archive.c_str());
}

bool OpenArchive(archive::SessionArchive& store, const QString& location) {
    if (!store.Open(ArchiveLocation(location), archive::SessionArchive::OpenMode::ExistingOnly)) {
        PrintError(Text(store.Error()));
        return false;
    }
    return true;
}

bool OpenOrMakeArchive(archive::SessionArchive& store, const QString& location) {
    if (!store.Open(ArchiveLocation(location))) {
        PrintError(Text(store.Error()));
        return false;
    }
    return true;
}

bool OpenExistingArchive(archive::SessionArchive& store, const QString& location) {
    return OpenArchive(store, location);
}

void WarnAgainstHistory(archive::SessionArchive& store, const std::vector<long long>& ids) {
    QSet<qint64> failing;
    QString error;
    if (!archive::SessionsAgainstHistory(store, QVector<qint64>(ids.begin(), ids.end()), failing,
                                         error)) {
        PrintError("warning: the sessions' bytes could not be checked against the history: " +
                   Text(error));
        return;
    }
    for (const long long id : ids) {
        if (failing.contains(id)) {
            PrintError("warning: session " + std::to_string(id) + ": " +
                       Text(archive::BytesNotInHistoryText()) + " (archive verify says more)");
            failing.remove(id);
        }
    }
}

int DecodeArchivedSessions(const std::vector<long long>& ids, const std::string& location,
                           std::vector<SessionValues>& sessions) {
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(location.c_str()))) {
        return kExitArchive;
    }
    WarnAgainstHistory(store, ids);
    std::unique_ptr<LogImage> image(new LogImage);
    if (!archive::DecodeArchived(store, QVector<qint64>(ids.begin(), ids.end()), *image,
                                 sessions)) {
        PrintError(Text(store.Error()));
        return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
    }
    return kExitOk;
}

// "import, list, ... and set-interval".
std::string SubcommandNames() {
    std::string names;
    const size_t count = sizeof kSubcommands / sizeof kSubcommands[0];
    for (size_t i = 0; i < count; ++i) {
        names += (i == 0           ? ""
                  : i + 1 == count ? " and "
                                   : ", ") +
                 std::string(kSubcommands[i].name);
    }
    return names;
}

const Subcommand* FindSubcommand(const char* name) {
    for (const Subcommand& sub : kSubcommands) {
        if (std::strcmp(name, sub.name) == 0) {
            return &sub;
        }
    }
    return nullptr;
}

// An option given before the subcommand ("archive --archive A list"): the command as it is
// written, the subcommand first, where one of the words is one.
std::string SubcommandFirst(int argc, char** argv) {
    int named = -1;
    for (int i = 1; i < argc && named < 0; ++i) {
        named = FindSubcommand(argv[i]) != nullptr ? i : -1;
    }
    std::string line =
        "tavon-datalog archive " + std::string(named < 0 ? "SUBCOMMAND" : argv[named]);
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (i != named) {
            line += word.find_first_of(" \t\"'") == std::string::npos ? " " + word
                                                                      : " \"" + word + "\"";
        }
    }
    return "the subcommand comes first: " + line +
           (named < 0 ? " (SUBCOMMAND one of " + SubcommandNames() + ")" : std::string());
}

int RunArchive(int argc, char** argv) {
    if (argc < 1) {
        return UsageError("archive needs one of " + SubcommandNames(), "archive");
    }
    if (argv[0][0] == '-') {
        return UsageError(SubcommandFirst(argc, argv), "archive");
    }
    int qtArgc = 1;
    char program[] = "tavon-datalog";
    char* qtArgv[] = {program, nullptr};
    // A chart and a map need the full application object, which plot and map make once their
    // arguments have passed: bringing up a display is no part of refusing them. So does the
    // compliance pack.
    std::unique_ptr<QCoreApplication> app;
    if (std::strcmp(argv[0], "plot") != 0 && std::strcmp(argv[0], "map") != 0 &&
        std::strcmp(argv[0], "compliance") != 0) {
        app = MakeApplication(qtArgc, qtArgv, false);
    }
    // Each byte as one character: the option parser gets the very bytes given, and reads a name
    // or text from them only once it has found them to be text (TextArgument.h).
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLatin1(argv[i]);
    }
    if (const Subcommand* sub = FindSubcommand(argv[0])) {
        return sub->run(arguments);
    }
    return UsageError(std::string("archive has no subcommand \"") + argv[0] + "\"", "archive");
}

int RunArchiveImport(const QStringList& arguments) {
    ArchiveImportOptions options;
    std::string message;
    if (!ParseArchiveImportOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    QStringList files;
    for (const std::string& dump : options.dumps) {
        files << QString::fromLocal8Bit(dump.c_str());
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
            dumps.push_back(HeldSessions(file, *image));
        }
    }
    archive::SessionArchive store;
    if (!OpenOrMakeArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    const int status =
        options.instrument.empty()
            ? ImportFiled(store, dumps)
            : ImportUnder(store, dumps, QString::fromLocal8Bit(options.instrument.c_str()));
    if (status != kExitOk) {
        return status;
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}

int RunArchiveStats(const QStringList& arguments) {
    ArchiveStatsOptions options;
    std::string message;
    if (!ParseArchiveStatsOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    archive::ArchiveStats stats;
    if (!store.Stats(stats)) {
        PrintError(Text(store.Error()));
        return kExitArchive;
    }
    std::printf("instruments: %lld\nsessions: %lld (%lld complete)\ndownloads and imports into"
                " this archive: %lld\nindex uploads kept here: %lld\nreplaced copies: %lld\n"
                "sector bytes: %lld\n",
                stats.instruments, stats.sessions, stats.completeSessions, stats.downloads,
                stats.indexUploads, stats.replacements, stats.sectorBytes);
    if (stats.conflictingCopies > 0) {
        std::printf("conflicting copies: %lld\n", stats.conflictingCopies);
    }
    std::printf("days: %s to %s\n", Text(stats.firstDay).c_str(), Text(stats.lastDay).c_str());
    for (const QString& line : stats.perInstrument) {
        std::printf("  %s\n", Text(archive::OneLine(line)).c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}
