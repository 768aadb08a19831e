#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "report/SessionValues.h"

struct ArchiveSearch;

namespace archive {
class SessionArchive;
struct ListFilter;
struct ListedSession;
struct TrustedKeys;
} // namespace archive

// The parts of `tavon-datalog archive` that live in files of their own.

// The words that follow the subcommand's name in `arguments` (the subcommand's name first), for
// the option parser. `arguments` holds each argument's bytes as given, one character each
// (QString::fromLatin1), so that these are those bytes: a name or text among them is read as
// text by the parser, which refuses one that is none.
std::vector<std::string> ArchiveWords(const QStringList& arguments);

// Prints a message about the arguments of the subcommand `arguments` names, with a pointer to
// its help; returns the usage exit status.
int ArchiveUsageError(const std::string& message, const QStringList& arguments);

// Opens the archive ArchiveLocation gives, which must be there: every archive command but
// import and sync's target reads or changes an archive that exists, and a mistyped name must not
// become a new, empty archive that then "verifies". A location that holds no archive (a SQLite
// file or folder that is not there, a database without the archive's tables) is refused, "no
// archive at LOCATION", and nothing is made. On failure prints the reason; the caller returns
// kExitArchive.
bool OpenArchive(archive::SessionArchive& store, const QString& location);
// The same for the commands that make the archive when it is not there yet: import, and sync's
// target (--to, else the archive in use), as downloads and the watcher make theirs.
bool OpenOrMakeArchive(archive::SessionArchive& store, const QString& location);
// OpenArchive, for the other archive a command reads from (--from, --against).
bool OpenExistingArchive(archive::SessionArchive& store, const QString& location);
// The archive a command works on: --archive, else "Archive" in Settings.ini as the program and
// downloads use it; empty: the default one.
QString ArchiveLocation(const QString& given);

// Says on standard error of each of the archived sessions `ids` whose bytes are not the ones the
// archive's history says it holds, so that what is rendered or exported of them is not taken for
// what the instrument recorded.
void WarnAgainstHistory(archive::SessionArchive& store, const std::vector<long long>& ids);

// The typed values of the archived sessions `ids`, in that order; an exit status (kExitOk, or
// with the message printed).
int DecodeArchivedSessions(const std::vector<long long>& ids, const std::string& location,
                           std::vector<SessionValues>& sessions);

// The listing's filter of the search's options.
archive::ListFilter SearchFilter(const ArchiveSearch& search);

// The sessions `ids` names, in that order, or (none given) those the search keeps, in time order,
// with what the archive lists of each; an exit status (kExitOk, or with the message printed: an id
// the archive does not hold, or a search that keeps none, is a usage error).
int ChooseArchived(const ArchiveSearch& search, const std::vector<long long>& ids,
                   archive::SessionArchive& store, std::vector<archive::ListedSession>& chosen);

// One CSV cell (RFC 4180): quoted when it holds a separator, a quote or a line break; a text that
// a spreadsheet would take for a formula gets a leading apostrophe.
QString CsvCell(QString text);

// The option lines of archive history's, keys' and sign-off's --help.
std::string ArchiveHistoryOptionHelp();
std::string ArchiveKeysOptionHelp();
std::string ArchiveSignOffOptionHelp();

// The trusted keys a command that judges the signers works with (archive::ReadTrustedKeys): the
// system's list, this user's and `files`, each line left out named on standard error, and once,
// where Settings.ini still sets "Trusted Keys", that it is ignored and where the lists are. False
// with the reason printed when a list is refused or cannot be read: the caller returns
// kExitArchive, and no verdict is given on fewer keys than were meant.
bool ReadTrust(const std::vector<std::string>& files, archive::TrustedKeys& keys);
std::string ArchiveVerifyOptionHelp();
std::string ArchiveHeadOptionHelp();

int RunArchiveImport(const QStringList& arguments);
int RunArchiveList(const QStringList& arguments);
int RunArchiveRender(const QStringList& arguments);
int RunArchiveStats(const QStringList& arguments);
int RunArchiveExport(const QStringList& arguments);
int RunArchivePlot(const QStringList& arguments);
int RunArchiveMap(const QStringList& arguments);
int RunArchiveSurvey(const QStringList& arguments);
int RunArchiveRenameInstrument(const QStringList& arguments);
int RunArchiveHistory(const QStringList& arguments);
int RunArchiveVerify(const QStringList& arguments);
int RunArchiveHead(const QStringList& arguments);
int RunArchiveSync(const QStringList& arguments);
int RunArchiveNewIdentity(const QStringList& arguments);
int RunArchiveKeys(const QStringList& arguments);
int RunArchiveSignOff(const QStringList& arguments);
int RunArchiveCompliance(const QStringList& arguments);
int RunArchiveEvents(const QStringList& arguments);
int RunArchiveSetInterval(const QStringList& arguments);
