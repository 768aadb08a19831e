#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include "archive/SigningKey.h"

namespace archive {

class PersonalKey;
class SessionArchive;
struct VerifySummary;

// Every history row is signed by the operating-system user who wrote it, with an Ed25519 key of
// that user's own kept in the user's configuration folder (made on first use, readable by its
// owner alone); a sign-off, and the row that binds a personal key to its printed name, by the
// person's own key (PersonalKey.h). The archive keeps each signer's public key with the row it
// first signed; the keys a team trusts are kept outside the archive, by their fingerprints, so that
// someone who can write the archive cannot make a key of their own pass for a trusted one.

// A key named by its fingerprint (KeyFingerprint), as every message and view names one: "key
// 3f2a:9c01:..." (`bare`: "3f2a:9c01:...", as a list of signers shows it first on a line), or "an
// unreadable key" where there is none: a signer that is no public key (a column edited to
// something else than 64 lower-case hex digits) has no fingerprint.
QString KeyNamedBy(const QString& fingerprint, bool bare = false);

// A fingerprint as typed (any case, with or without colons or spaces) as KeyFingerprint writes
// it; empty when it is none.
QString NormalFingerprint(const QString& text);

// One signer the archive holds: of its own history (`origin` empty) or of another archive's synced
// into it.
struct HistorySigner {
    QString origin;
    QString publicKey;
    QString fingerprint;
    qint64 firstRow = 0; // the row of its chain it signed first
    qint64 firstAt = 0;  // that row's time, milliseconds since 1970, UTC
    // The chain holds that row, signed by this key: `user` and `host` are who wrote it and where,
    // as its hash covers them. False for a key registered with a row it did not sign, or one the
    // chain does not hold (verify names both): then they are empty.
    bool firstRowHeld = false;
    QString kind; // that row's: a sign-off's or a binding's writer is no operating-system user
    QString user;
    QString host;
    QString printedName; // a personal key's: the name its binding row in the chain gives it
};

// The printed names the personal keys of a chain are bound to, by public key: from the chain's
// binding rows (kind "signer"), the first of each key that the key itself signed.
using PrintedNames = QHash<QString, QString>;
bool ChainPrintedNames(SessionArchive& archive, const QString& origin, PrintedNames& names,
                       QString& error);

// The one answer to who a view says signed or wrote a row (or, with `kind` empty, who a signer
// is), for `archive history`, `archive keys`, the compliance pack and the program alike: a
// personal key's printed name as its chain binds it, quoted ("\"Dr Jane QA\""); for a sign-off
// that no bound key signed (one written before personal keys), "no printed name" (or "unsigned");
// else the operating-system user and host of the row ("anna@van7"). Never the operating-system
// user for a sign-off: anyone can set $USER.
QString SignerName(const QString& kind, const QString& user, const QString& host,
                   const QString& signer, const PrintedNames& names);
// The same with the key's fingerprint where the name is a person's or there is none ("\"Dr Jane
// QA\" (key 3f2a:...)", "no printed name (key 3f2a:...)"), as a row's line shows it.
QString ShownWriter(const QString& kind, const QString& user, const QString& host,
                    const QString& signer, const PrintedNames& names);

// Who a signer is, as `archive keys` and the compliance pack name it: SignerName of the row it
// registered with ("anna@van7", a personal key's "\"Dr Jane QA\"", the printed name `names`
// gives it first, "no printed name" for a key that no row binds whose first row is a sign-off or
// a binding); "writer unknown (row 3 of its chain is not signed by it)" where its chain does not
// hold that row signed by it.
QString SignerWho(const HistorySigner& signer, const PrintedNames& names);

// Every signer, this archive's own first, each chain's in the order of their first rows.
bool HistorySigners(SessionArchive& archive, QVector<HistorySigner>& signers, QString& error);

// One line for each signer of rows whose key `trusted` does not hold, naming the rows
// ("history rows 1-40, 52 are signed by key FP (ann@van7), which is not a trusted key").
QStringList UntrustedLines(const VerifySummary& summary, const QSet<QString>& trusted);

// Each other archive whose chain this one holds (a sync took it in), by its identity, as the
// signers and sign-offs name it: "archive LOCATION" as the newest sync row naming that identity
// gives its location (without a password), "archive IDENTITY" when no row does.
bool ChainNames(SessionArchive& archive, QHash<QString, QString>& names, QString& error);

// A history time as a pack and the signers' lines print it, in UTC: "2026-12-08 21:40 UTC".
QString PinTimeText(qint64 msecsSinceEpoch);

// What a printed pack speaks of: the sessions of some instruments (their ids) between two days
// (YYYY-MM-DD, each inclusive; empty: open), as the history stood before `until` (milliseconds
// since 1970, UTC; 0: as it stands).
struct PinnedPeriod {
    QVector<qint64> instruments;
    QString from;
    QString to;
    qint64 until = 0;
};

// What a printed compliance pack pins of the history, one line each: its head as it stood at
// `until`, as verify --head takes it ("History head (archive verify --head): 57:HASH"); every key
// that had signed a row by then, once, with the chains it signed ("Signer: FINGERPRINT, anna@van7,
// signed this archive's history from row 1, archive van7.sqlite's from row 3"; a personal key by
// its printed name, SignerName); and every sign-off of any chain the archive holds whose scope
// overlaps `period`, whenever it was written: its period overlaps the pack's, and it names no
// instrument or one of the pack's ("Sign-off, row 58 of this archive, 2026-12-08 10:00 UTC, \"Dr
// Jane QA\" (key FINGERPRINT): signed off as ...", ShownWriter). Another archive's sign-off is
// judged by this archive's copies of the sessions it names; one whose sessions this archive does
// not hold is shown, saying so.
bool HistoryPinLines(SessionArchive& archive, const PinnedPeriod& period, QStringList& lines,
                     QString& error);

// What a sign-off covers: the sessions of one instrument (its name, serial number or fingerprint;
// empty: every instrument) between two days (YYYY-MM-DD, each inclusive; empty: open).
struct SignOffScope {
    QString meaning; // "reviewed", "approved", ...
    QString instrument;
    QString from;
    QString to;
};

// A history row saying that the person whose personal key `signer` is (unsealed with their
// passphrase) gave the sessions of `scope` the meaning given, naming each of them with the hash of
// its bytes, signed by that key; `detail` is what the row says ("signed off as \"reviewed\":
// instrument \"van 7\" from 2026-01-01 to 2026-01-31, 12 sessions"). The key's first sign-off in
// the archive is preceded, in the same transaction, by the row that binds it to its printed name.
// False, with `error` said, for an empty meaning, an instrument the archive does not know, a scope
// that holds no session or a key not unsealed (each with `refused` set: the request, not the
// archive, is at fault) and when the archive cannot be read or written. The archive is verified
// first: when its own chain does not hold, or a session of the scope does not verify, nothing is
// written, `mismatched` is set and `error` names each mismatch.
bool SignOff(SessionArchive& archive, const SignOffScope& scope, const PersonalKey& signer,
             QString& detail, QString& error, bool* refused = nullptr, bool* mismatched = nullptr);

} // namespace archive
