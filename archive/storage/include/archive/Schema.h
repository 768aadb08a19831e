#pragma once

#include <QString>
#include <functional>

class QSqlDatabase;

namespace archive {

// The schema's versions, oldest first; the newest is what this program reads and writes.
int LatestSchemaVersion();

// From this version on the history records index uploads too, and replaced copies keep their bytes.
constexpr int kAllBytesVersion = 8;

// From this version on the archive has an identity of its own, keeps conflicting copies and the
// history of the archives synced into it.
constexpr int kSyncVersion = 9;

// From this version on history rows are signed, and the archive keeps its signers' keys.
constexpr int kSigningVersion = 10;

// From this version on each instrument has an identity of its own, which a sync carries.
constexpr int kInstrumentUidVersion = 11;

// From this version on a sign-off is signed by a personal key (PersonalKey.h): the history gets a
// row saying so, in the version's own transaction, from which verify holds every sign-off to it.
constexpr int kPersonalSignOffVersion = 12;

// The version the database's schema is at (0 for a new, empty one), or -1 on an error.
int ReadSchemaVersion(QSqlDatabase& db, QString& error);

// What an opening does inside a version's transaction, after its tables and its record: false
// with `error` fails the version.
using MigrationStep = std::function<bool(int version, QString& error)>;

// Brings the schema up to `target`, one version per transaction (`step`, where given, in each).
// Another process migrating the same database at the same moment makes one of the two fail its
// transaction; that one then reads the version again and goes on from there. A database whose
// recorded version is older than its tables (a version's record deleted) is refused as it is.
bool MigrateSchema(QSqlDatabase& db, bool server, int target, const MigrationStep& step,
                   QString& error);

} // namespace archive
