// tavon-datalog archive history and verify: the archive's audit trail listed, and the archive
// checked against it.
#include <QDateTime>
#include <QTimeZone>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "archive/ArchiveAgainst.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"
#include "download/CommandLine.h"
#include "download/ExitStatus.h"
#include "download/SharedOptions.h"

namespace {

struct AuditOptions {
    std::string archiveAt;
    std::string format = "text"; // history only: text or csv
    std::string against;         // verify only: the archive to check this one's history against
    std::string chain;           // history only: another archive's chain, by identity or location
    bool allChains = false;      // history only: this archive's chain and every one synced in
};

bool AcceptsHistoryFormat(const std::string& value) {
    return value == "text" || value == "csv";
}

const OptionTable<AuditOptions>& HistoryOptionTable() {
    static const OptionTable<AuditOptions> kTable = {
        ArchiveOption(&AuditOptions::archiveAt),
        {{"--format", nullptr, OptionSpec::Takes::Value, "text or csv", AcceptsHistoryFormat},
         "FORMAT",
         "text (default: one line per change, its sessions as runs of ids)\n"
         "or csv (RFC 4180, a header line, each session as ID:SHA256, the\n"
         "row's own and previous hash, its signer's key fingerprint and\n"
         "its signature)",
         SetsText(&AuditOptions::format)},
        {{"--chain", nullptr, OptionSpec::Takes::Value, "an archive's identity or location",
          nullptr},
         "ARCHIVE",
         "the chain of another archive synced into this one, as the\n"
         "sync took it in (its identity or location, as --all-chains\n"
         "names it), instead of this archive's own",
         SetsText(&AuditOptions::chain)},
        {{"--all-chains", nullptr, OptionSpec::Takes::Nothing, "", nullptr},
         "",
         "this archive's chain and every other archive's synced into it,\n"
         "each under a line naming it (csv: a first column, chain, with\n"
         "its identity, empty for this archive's own)",
         SetsFlag(&AuditOptions::allChains)},
    };
    return kTable;
}

const OptionTable<AuditOptions>& VerifyOptionTable() {
    static const OptionSpec kAgainst = {"--against", nullptr, OptionSpec::Takes::Value,
                                        "a SQLite file or postgresql://user@host[:port]/database",
                                        nullptr};
    static const OptionTable<AuditOptions> kTable = {
        ArchiveOption(&AuditOptions::archiveAt),
        {kAgainst, kArchivePlaceholder,
         "another archive this one synced with: its history up to what\n"
         "this one recorded of it at the last sync must be unchanged",
         SetsText(&AuditOptions::against)},
    };
    return kTable;
}

// --archive for both, --format for history; no bare words.
bool ParseAuditOptions(const QStringList& arguments, bool withFormat, AuditOptions& options,
                       std::string& message) {
    const std::string command = "archive " + arguments.value(0).toStdString();
    std::vector<std::string> positional;
    if (!ParseOptions(ArchiveWords(arguments),
                      withFormat ? HistoryOptionTable() : VerifyOptionTable(), command.c_str(),
                      false, options, positional, message)) {
        return false;
    }
    if (!positional.empty()) {
        message = command + " takes no arguments";
        return false;
    }
    return true;
}

QString WhenText(qint64 at, const char* format) {
    return QDateTime::fromMSecsSinceEpoch(at, QTimeZone::utc()).toString(format);
}

// "1-60, 75, 80-81": a row of a download names its sessions (or index uploads) in runs. A sync's
// row names a session once for each copy it kept of it, and the text once.
QString SessionRuns(const QVector<archive::HistorySession>& named) {
    QVector<archive::HistorySession> sessions;
    for (const archive::HistorySession& s : named) {
        if (sessions.isEmpty() || sessions.back().id != s.id) {
            sessions.append(s);
        }
    }
    QStringList runs;
    for (int i = 0; i < sessions.size();) {
        int j = i;
        while (j + 1 < sessions.size() && sessions[j + 1].id == sessions[j].id + 1) {
            ++j;
        }
        runs << (j == i ? QString::number(sessions[i].id)
                        : QString("%1-%2").arg(sessions[i].id).arg(sessions[j].id));
        i = j + 1;
    }
    return runs.join(", ");
}

// A row's writer as every view shows it: a sign-off by the printed name its key is bound to.
QString TextLine(const archive::HistoryRow& row, const archive::PrintedNames& names) {
    const QString writer = archive::ShownWriter(row.kind, row.user, row.host, row.signer, names);
    QString line = QString("%1  %2  %3  %4  %5")
                       .arg(row.seq, 5)
                       .arg(WhenText(row.at, "yyyy-MM-dd HH:mm:ss 'UTC'"), writer)
                       .arg(row.kind, -8)
                       .arg(row.detail);
    QStringList named;
    if (!row.sessions.isEmpty()) {
        named << "sessions " + SessionRuns(row.sessions);
    }
    if (!row.indexUploads.isEmpty()) {
        named << (row.indexUploads.size() == 1 ? "index upload " : "index uploads ") +
                     SessionRuns(row.indexUploads);
    }
    if (!named.isEmpty()) {
        line += "  (" + named.join("; ") + ")";
    }
    return line + '\n';
}

const char kCsvHeader[] =
    "seq,time,user,host,kind,detail,sessions,index_uploads,previous,hash,signer,signature\r\n";

QString HashList(const QVector<archive::HistorySession>& blocks) {
    QStringList list;
    for (const archive::HistorySession& s : blocks) {
        list << QString::number(s.id) + ':' + s.sha256;
    }
    return list.join(' ');
}

QString CsvLine(const archive::HistoryRow& row) {
    const QStringList cells = {QString::number(row.seq),
                               WhenText(row.at, "yyyy-MM-ddTHH:mm:ss.zzzZ"),
                               CsvCell(row.user),
                               CsvCell(row.host),
                               row.kind,
                               CsvCell(row.detail),
                               HashList(row.sessions),
                               HashList(row.indexUploads),
                               row.previous,
                               row.hash,
                               archive::KeyFingerprint(row.signer),
                               row.signature};
    return cells.join(',') + "\r\n";
}

bool Put(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
           static_cast<size_t>(bytes.size());
}

// The other archive's history checked against what this one recorded of it: its lines printed
// after the archive's own; false when it could not be read or written.
bool PutAgainst(archive::SessionArchive& store, const std::string& location, bool& clean,
                bool& written) {
    archive::SessionArchive other;
    if (!OpenExistingArchive(other, QString::fromLocal8Bit(location.c_str()))) {
        return false;
    }
    const archive::AgainstSummary against = archive::VerifyAgainst(store, other);
    if (!against.readable) {
        PrintError(against.Line().toLocal8Bit().toStdString());
        return false;
    }
    for (const QString& mismatch : against.mismatches) {
        written = written && Put(mismatch + '\n');
    }
    written = written && Put(against.Line() + '\n');
    clean = clean && against.Clean();
    return true;
}

} // namespace

std::string ArchiveHistoryOptionHelp() {
    return OptionHelp(HistoryOptionTable());
}

std::string ArchiveVerifyOptionHelp() {
    return OptionHelp(VerifyOptionTable());
}

int RunArchiveHistory(const QStringList& arguments) {
    AuditOptions options;
    std::string message;
    if (!ParseAuditOptions(arguments, true, options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    if (options.allChains && !options.chain.empty()) {
        return ArchiveUsageError("archive history: --chain and --all-chains go one at a time",
                                 arguments);
    }
    QHash<QString, QString> names;
    QString error;
    if (!archive::ChainNames(store, names, error)) {
        PrintError(error.toLocal8Bit().toStdString());
        return kExitArchive;
    }
    QStringList chains; // "" for this archive's own
    if (options.allChains) {
        chains = names.keys();
        chains.sort();
        chains.prepend(QString());
    } else if (!options.chain.empty()) {
        const QString wanted = QString::fromLocal8Bit(options.chain.c_str());
        for (auto named = names.constBegin(); named != names.constEnd(); ++named) {
            if (named.key() == wanted || named.value() == "archive " + wanted) {
                chains << named.key();
            }
        }
        if (chains.size() != 1) {
            PrintError("archive history: " +
                       std::string(chains.isEmpty() ? "the archive holds no chain of "
                                                    : "more than one chain is of ") +
                       options.chain + " (--all-chains names every chain it holds)");
            return kExitUsage;
        }
    } else {
        chains << QString();
    }
    const bool csv = options.format == "csv";
    bool written = !csv || Put(options.allChains ? "chain," + QString(kCsvHeader) : kCsvHeader);
    for (const QString& chain : chains) {
        if (!csv && (options.allChains || !chain.isEmpty())) {
            written = written && Put((chain.isEmpty() ? QString("history of this archive")
                                                      : "history of " + names.value(chain) +
                                                            " (identity " + chain + ")") +
                                     ":\n");
        }
        archive::PrintedNames printed;
        const bool read =
            archive::ChainPrintedNames(store, chain, printed, error) &&
            archive::ChainHistory(
                store, chain,
                [&](const archive::HistoryRow& row) {
                    const QString prefix = options.allChains && csv ? chain + ',' : QString();
                    written =
                        written && Put(prefix + (csv ? CsvLine(row) : TextLine(row, printed)));
                },
                error);
        if (!read) {
            PrintError(error.toLocal8Bit().toStdString());
            return kExitArchive;
        }
    }
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the history to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}

int RunArchiveVerify(const QStringList& arguments) {
    AuditOptions options;
    std::string message;
    if (!ParseAuditOptions(arguments, false, options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    archive::VerifySummary summary = archive::VerifyArchive(store);
    if (!summary.readable) {
        PrintError(summary.error.toLocal8Bit().toStdString());
        return kExitArchive;
    }
    bool written = PutSigningLines(summary);
    for (const QString& conflict : summary.conflicts) {
        written = written && Put(conflict + '\n');
    }
    for (const QString& mismatch : summary.mismatches) {
        written = written && Put(mismatch + '\n');
    }
    written = written && Put(summary.Line() + '\n');
    bool clean = summary.Clean();
    if (!options.against.empty() && !PutAgainst(store, options.against, clean, written)) {
        return kExitArchive;
    }
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the result to standard output");
        return kExitOutputFailed;
    }
    return clean ? kExitOk : kExitMismatch;
}
