// tavon-datalog archive history, verify and head: the archive's audit trail listed, the archive
// checked against it (and against heads pinned before), and its head given to be pinned.
#include <QDateTime>
#include <QTimeZone>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/ArchiveAgainst.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/PinnedHead.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "archive/TrustedKeys.h"
#include "cli/ArchiveOptions.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/SharedOptions.h"

namespace {

struct AuditOptions {
    std::string archiveAt;
    std::string format = "text"; // history only: text or csv
    std::string against;         // verify only: the archive to check this one's history against
    std::vector<archive::PinnedHead> heads; // verify only: heads pinned before, each checked
    std::vector<std::string> trustedKeys;   // verify only: more lists of trusted keys
    std::string chain;      // history only: another archive's chain, by identity or location
    bool allChains = false; // history only: this archive's chain and every one synced in
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
         "or csv (RFC 4180, a header line, each session as\n"
         "ID:SHA256:STATE with its state open, finished or copy (none in\n"
         "rows written before), the row's own and previous hash, its\n"
         "signer's key fingerprint and its signature)",
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

bool AcceptsPinnedHead(const std::string& value) {
    archive::PinnedHead head;
    return archive::ParsePinnedHead(QString::fromStdString(value), head);
}

const OptionTable<AuditOptions>& VerifyOptionTable() {
    static const OptionSpec kAgainst = {"--against", nullptr, OptionSpec::Takes::Value,
                                        "a SQLite file or postgresql://user@host[:port]/database",
                                        nullptr};
    static const OptionSpec kHead = {"--head", nullptr, OptionSpec::Takes::Value,
                                     "ROW:HASH (a row number, a colon and 64 hex digits)",
                                     AcceptsPinnedHead};
    static const OptionTable<AuditOptions> kTable = {
        ArchiveOption(&AuditOptions::archiveAt),
        {kAgainst, kArchivePlaceholder,
         "another archive this one synced with: each one's history, up\n"
         "to what the other learnt of it at their syncs, must be unchanged",
         SetsText(&AuditOptions::against)},
        {kHead, "ROW:HASH",
         "a head of this archive's history taken before (archive head,\n"
         "or a compliance pack): that row must still be there with that\n"
         "hash, so that rows deleted since from the end show; may be\n"
         "given more than once",
         [](AuditOptions& options, const OptionUse& use) {
             archive::PinnedHead head;
             archive::ParsePinnedHead(QString::fromStdString(use.value), head);
             options.heads.push_back(head);
         }},
        TrustedKeysOption(&AuditOptions::trustedKeys),
    };
    return kTable;
}

const OptionTable<AuditOptions>& HeadOptionTable() {
    static const OptionTable<AuditOptions> kTable = {ArchiveOption(&AuditOptions::archiveAt)};
    return kTable;
}

// The options of history, verify or head, as `table` gives them; no bare words.
bool ParseAuditOptions(const QStringList& arguments, const OptionTable<AuditOptions>& table,
                       AuditOptions& options, std::string& message) {
    const std::string command = "archive " + arguments.value(0).toStdString();
    std::vector<std::string> positional;
    if (!ParseOptions(ArchiveWords(arguments), table, command.c_str(), false, options, positional,
                      message)) {
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

// A row's writer as every view shows it (a sign-off by the printed name its key is bound to), and
// its kept texts on its line (OneLine): a line break written into the database behind the
// program's back would otherwise print as rows of its own.
QString TextLine(const archive::HistoryRow& row, const archive::PrintedNames& names) {
    using archive::OneLine;
    const QString writer = archive::ShownWriter(row.kind, row.user, row.host, row.signer, names);
    QString line = QString("%1  %2  %3  %4  %5")
                       .arg(row.seq, 5)
                       .arg(WhenText(row.at, "yyyy-MM-dd HH:mm:ss 'UTC'"), OneLine(writer))
                       .arg(OneLine(row.kind), -8)
                       .arg(OneLine(row.detail));
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
        const QString state = archive::SessionStateName(s.state);
        list << QString::number(s.id) + ':' + s.sha256 +
                    (state.isEmpty() ? QString() : ':' + state);
    }
    return list.join(' ');
}

QString CsvLine(const archive::HistoryRow& row) {
    // Every cell a text as the database holds it, quoted where it needs to be: a hash or a
    // signature written there by hand may be anything.
    const QStringList cells = {QString::number(row.seq),
                               WhenText(row.at, "yyyy-MM-ddTHH:mm:ss.zzzZ"),
                               CsvCell(row.user),
                               CsvCell(row.host),
                               CsvCell(row.kind),
                               CsvCell(row.detail),
                               HashList(row.sessions),
                               HashList(row.indexUploads),
                               CsvCell(row.previous),
                               CsvCell(row.hash),
                               CsvCell(archive::KeyFingerprint(row.signer)),
                               CsvCell(row.signature)};
    return cells.join(',') + "\r\n";
}

bool Put(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
           static_cast<size_t>(bytes.size());
}

// The lines of the other archive's history checked against what this one learnt of it, printed
// after the archive's own, the last one ending with `note`.
void PutAgainst(const archive::AgainstSummary& against, const QString& note, bool& clean,
                bool& written) {
    for (const QString& mismatch : against.mismatches) {
        written = written && Put(mismatch + '\n');
    }
    written = written && Put(against.Line() + (note.isEmpty() ? QString() : "; " + note) + '\n');
    clean = clean && against.Clean();
}

// Each head given checked against the archive's own history, a mismatch for each it no longer
// holds as it was; false when the history could not be read.
bool CheckHeads(archive::SessionArchive& store, const std::vector<archive::PinnedHead>& heads,
                archive::VerifySummary& summary) {
    for (const archive::PinnedHead& head : heads) {
        QString error;
        if (!archive::CheckPinnedHead(store, head, summary.mismatches, error)) {
            PrintError(error.toLocal8Bit().toStdString());
            return false;
        }
    }
    return true;
}

} // namespace

std::string ArchiveHistoryOptionHelp() {
    return OptionHelp(HistoryOptionTable());
}

std::string ArchiveVerifyOptionHelp() {
    return OptionHelp(VerifyOptionTable());
}

std::string ArchiveHeadOptionHelp() {
    return OptionHelp(HeadOptionTable());
}

int RunArchiveHistory(const QStringList& arguments) {
    AuditOptions options;
    std::string message;
    if (!ParseAuditOptions(arguments, HistoryOptionTable(), options, message)) {
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
            written = written &&
                      Put((chain.isEmpty() ? QString("history of this archive")
                                           : "history of " + archive::OneLine(names.value(chain)) +
                                                 " (identity " + archive::OneLine(chain) + ")") +
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
    if (!ParseAuditOptions(arguments, VerifyOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::TrustedKeys trusted;
    if (!ReadTrust(options.trustedKeys, trusted)) {
        return kExitArchive;
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    // Both archives opened and read before a line is printed: a mistyped --against gives no
    // verdict on either, not one on this archive followed by an error.
    archive::SessionArchive other;
    const bool against = !options.against.empty();
    if (against && !OpenExistingArchive(other, QString::fromLocal8Bit(options.against.c_str()))) {
        return kExitArchive;
    }
    archive::VerifySummary summary = archive::VerifyTrusted(store, trusted);
    if (!summary.readable) {
        PrintError(summary.error.toLocal8Bit().toStdString());
        return kExitArchive;
    }
    if (!CheckHeads(store, options.heads, summary)) {
        return kExitArchive;
    }
    archive::AgainstSummary compared;
    if (against) {
        compared = archive::VerifyAgainst(store, other);
        if (!compared.readable) {
            PrintError(compared.Line().toLocal8Bit().toStdString());
            return kExitArchive;
        }
    }
    // What limits a pass ends verify's last line, whichever check prints it.
    QString note;
    if (against) {
        std::swap(note, summary.trustNote);
    }
    bool written = true;
    for (const QString& line :
         summary.signing + summary.fixing + summary.conflicts + summary.mismatches) {
        written = written && Put(line + '\n');
    }
    written = written && Put(summary.Line() + '\n');
    bool clean = summary.Clean();
    if (against) {
        PutAgainst(compared, note, clean, written);
    }
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the result to standard output");
        return kExitOutputFailed;
    }
    return clean ? kExitOk : kExitMismatch;
}

int RunArchiveHead(const QStringList& arguments) {
    AuditOptions options;
    std::string message;
    if (!ParseAuditOptions(arguments, HeadOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    archive::PinnedHead head;
    QString error;
    if (!archive::OwnHead(store, head, error)) {
        PrintError(error.toLocal8Bit().toStdString());
        return kExitArchive;
    }
    // Every archive begins its history when first opened: one without rows had them deleted.
    if (head.row == 0) {
        PrintError("the archive's history holds no row: there is no head to pin (archive verify"
                   " says more)");
        return kExitMismatch;
    }
    if (!Put(archive::HeadText(head, ' ') + '\n') || std::fflush(stdout) != 0) {
        PrintError("cannot write the head to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}
