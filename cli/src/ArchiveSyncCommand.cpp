// tavon-datalog archive sync: another archive's sessions, instruments and history taken into this
// one, each once.
#include <QLocale>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "SignalStop.h"
#include "archive/ArchiveSync.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "compliance/InstrumentRegister.h"
#include "download/CommandArguments.h"
#include "download/DriverSupport.h"
#include "download/ExitStatus.h"

namespace {

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

bool Put(const QString& line) {
    const QByteArray bytes = (line + '\n').toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
           static_cast<size_t>(bytes.size());
}

} // namespace

int RunArchiveSync(const QStringList& arguments) {
    ArchiveSyncOptions options;
    std::string message;
    if (!ParseArchiveSyncOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive source;
    archive::SessionArchive target;
    // The source is an archive already there: a mistyped one would be made empty and its chain
    // carried on. A target that is not there yet is made, as a new laptop pulls the team's down.
    if (!OpenExistingArchive(source, QString::fromLocal8Bit(options.from.c_str())) ||
        !OpenOrMakeArchive(target, QString::fromLocal8Bit(options.to.c_str()))) {
        return kExitArchive;
    }
    archive::SyncOptions how;
    // Progress is for a person watching; a script's log gets the summary alone.
    const bool terminal = StderrIsTerminal();
    if (terminal) {
        how.progress = [](qint64 done, qint64 total) {
            const QLocale english(QLocale::English, QLocale::UnitedStates);
            std::fprintf(stderr, "\rsync: %s of %s sessions looked at",
                         Local(english.toString(done)).c_str(),
                         Local(english.toString(total)).c_str());
            std::fflush(stderr);
        };
    }
    // Ctrl-C stops the sync after the batch being written: what was taken stays, whole.
    const SignalStop stop;
    how.stop = &stop;
    archive::SyncSummary summary;
    QString error;
    const bool synced = archive::SyncArchive(source, target, how, summary, error);
    if (terminal) {
        std::fprintf(stderr, "\n");
    }
    bool written = true;
    for (const QString& line : summary.Notes()) {
        written = written && Put(line);
    }
    if (!synced && summary.stopped) {
        written = written && Put(summary.Line());
        std::fflush(stdout);
        PrintError(Local(summary.StoppedLine()));
        return kExitInterrupted;
    }
    if (!synced) {
        PrintError(Local(summary.Failed(error)));
        return summary.historiesDisagree || summary.historyUnverified ? kExitMismatch
                                                                      : kExitArchive;
    }
    // The register's events of the sessions taken, made here from their bytes as for every
    // session this archive stores.
    compliance::InstrumentRegister events(target);
    if (events.Refresh() < 0) {
        PrintError(Local(events.Error()));
        return kExitArchive;
    }
    written = written && Put(summary.Line());
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the summary to standard output");
        return kExitOutputFailed;
    }
    // Bytes the source's own history does not vouch for were left there: the sync is incomplete.
    return summary.refused > 0 ? kExitMismatch : kExitOk;
}

int RunArchiveNewIdentity(const QStringList& arguments) {
    ArchiveStatsOptions options;
    std::string message;
    if (!ParseArchiveNewIdentityOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    const QString at = QString::fromLocal8Bit(options.archiveAt.c_str());
    if (!OpenArchive(store, at)) {
        return kExitArchive;
    }
    QString was;
    QString made;
    QString error;
    if (!archive::NewArchiveIdentity(store, was, made, error)) {
        PrintError(Local(error));
        return kExitArchive;
    }
    if (!Put(QString("the archive %1 is archive %2 from now on (it was %3)")
                 .arg(store.Where(), made, was)) ||
        std::fflush(stdout) != 0) {
        PrintError("cannot write to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}
