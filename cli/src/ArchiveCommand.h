#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QVector>
#include <vector>

#include "report/SessionValues.h"

namespace archive {
class SessionArchive;
}

// The parts of `tavon-datalog archive` that live in files of their own.

// The option that names the archive, shared by every archive subcommand and by download.
QCommandLineOption ArchiveLocationOption();

// Opens the archive the parsed --archive names (the default one without it). On failure prints
// the reason; the caller returns kExitArchive.
bool OpenArchive(archive::SessionArchive& store, const QString& location);

// Parses `arguments` (the subcommand's name first) with the options already added; on a bad
// argument prints it and returns false.
bool ParseArchiveArguments(QCommandLineParser& parser, const QStringList& arguments);

// Session ids as `archive render|export` take them; on a bad one prints it and returns false.
bool ParseSessionIds(const QStringList& words, const char* command, QVector<qint64>& ids);

// The typed values of the archived sessions named by the parser's positional ids, in that order;
// an exit status (kExitOk, or with the message printed).
int DecodeArchivedSessions(const QCommandLineParser& parser, const QCommandLineOption& location,
                           const char* command, std::vector<SessionValues>& sessions);

int RunArchiveImport(const QStringList& arguments);
int RunArchiveList(const QStringList& arguments);
int RunArchiveRender(const QStringList& arguments);
int RunArchiveStats(const QStringList& arguments);
int RunArchiveExport(const QStringList& arguments);
int RunArchivePlot(const QStringList& arguments);
int RunArchiveRenameInstrument(const QStringList& arguments);
