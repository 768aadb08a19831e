#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "report/SessionValues.h"

namespace archive {
class SessionArchive;
}

// The parts of `tavon-datalog archive` that live in files of their own.

// The words that follow the subcommand's name in `arguments` (the subcommand's name first), for
// the option parser.
std::vector<std::string> ArchiveWords(const QStringList& arguments);

// Prints a message about the arguments of the subcommand `arguments` names, with a pointer to
// its help; returns the usage exit status.
int ArchiveUsageError(const std::string& message, const QStringList& arguments);

// Opens the archive ArchiveLocation gives. On failure prints the reason;
// the caller returns kExitArchive.
bool OpenArchive(archive::SessionArchive& store, const QString& location);
// The archive a command works on: --archive, else "Archive" in Settings.ini as the program and
// downloads use it; empty: the default one.
QString ArchiveLocation(const QString& given);

// The typed values of the archived sessions `ids`, in that order; an exit status (kExitOk, or
// with the message printed).
int DecodeArchivedSessions(const std::vector<long long>& ids, const std::string& location,
                           std::vector<SessionValues>& sessions);

// One CSV cell (RFC 4180): quoted when it holds a separator, a quote or a line break; a text that
// a spreadsheet would take for a formula gets a leading apostrophe.
QString CsvCell(QString text);

// The option lines of archive history's --help.
std::string ArchiveHistoryOptionHelp();

int RunArchiveImport(const QStringList& arguments);
int RunArchiveList(const QStringList& arguments);
int RunArchiveRender(const QStringList& arguments);
int RunArchiveStats(const QStringList& arguments);
int RunArchiveExport(const QStringList& arguments);
int RunArchivePlot(const QStringList& arguments);
int RunArchiveRenameInstrument(const QStringList& arguments);
int RunArchiveHistory(const QStringList& arguments);
int RunArchiveVerify(const QStringList& arguments);
int RunArchiveSync(const QStringList& arguments);
int RunArchiveCompliance(const QStringList& arguments);
int RunArchiveEvents(const QStringList& arguments);
int RunArchiveSetInterval(const QStringList& arguments);
