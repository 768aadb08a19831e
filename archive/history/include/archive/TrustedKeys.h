#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include "archive/ArchiveHistory.h"

namespace archive {

class SessionArchive;

// The keys trusted to sign an archive's history are listed outside any archive and outside the
// folder a command runs in, so that neither someone who can write the archive nor a settings file
// left in a working folder can make a key of their own pass for a trusted one. Three lists add
// up: this user's, a system-wide one a manager installs, and files given for one run.
//
// A list is UTF-8 text, one fingerprint a line (KeyFingerprint's, with or without the colons, in
// any case); blank lines and lines whose first non-blank character is '#' are ignored, any other
// line that is no fingerprint is named and left out. A list that others may write (or, on Unix,
// that belongs to a user who is neither its reader nor root) is refused, as a key file is.

// This user's list: "Tavon/trusted-keys" in the user's configuration folder, beside the signing
// key (SigningKeyFile()).
QString UserTrustedKeysFile();

// The system-wide list: /etc/tavon-datalogging/trusted-keys, on Windows "Tavon
// Datalogging\trusted-keys" in the common application data folder (%ProgramData%). The
// environment variable TAVON_SYSTEM_TRUSTED_KEYS names another file instead (for tests).
QString SystemTrustedKeysFile();

struct TrustedKeys {
    QSet<QString> fingerprints; // as KeyFingerprint writes them
    QStringList notes;          // each line left out: "FILE, line 3: \"...\" is not a key's ..."
    bool Set() const { return !fingerprints.isEmpty(); }
};

// Reads the system-wide list and this user's (each where there is one) and every file of
// `oneRun` (each must be there). False with `error` when a list is refused or cannot be read: no
// verdict may be given on fewer keys than were meant.
bool ReadTrustedKeys(const QStringList& oneRun, TrustedKeys& keys, QString& error);

// Adds `fingerprint` to this user's list, making the list (private to the user, mode 0600) and
// its folder where there are none; `already` when the list holds it. `file` is the list.
bool TrustKey(const QString& fingerprint, QString& file, bool& already, QString& error);

// What the trust lists add to verify's verdict, the one every view gives (the command line, the
// compliance pack, the program): with keys set, each chain's rows signed by a key no list holds
// are mismatches ("history rows 13-40 are signed by key ... (bob@van9), which is not a trusted
// key"); with none, the summary's line ends saying that the signatures were checked for
// consistency only.
void ApplyTrust(const TrustedKeys& keys, VerifySummary& summary);

// VerifyArchive with ApplyTrust.
VerifySummary VerifyTrusted(SessionArchive& archive, const TrustedKeys& keys);

} // namespace archive
