// tavon-datalog archive keys and sign-off, and what verify says of the signatures: who signed the
// history, which of them the team trusts, and a user's signed word on a period's sessions.
#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"
#include "download/CommandLine.h"
#include "download/ExitStatus.h"
#include "download/SharedOptions.h"
#include "linkselect/Settings.h"

namespace {

using Takes = OptionSpec::Takes;

const char kTrustedKeysSetting[] = "Trusted Keys";

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

bool Put(const QString& line) {
    const QByteArray bytes = (line + '\n').toUtf8();
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
           static_cast<size_t>(bytes.size());
}

bool AcceptsFingerprint(const std::string& value) {
    return !archive::NormalFingerprint(QString::fromStdString(value)).isEmpty();
}

struct KeysOptions {
    std::string archiveAt;
    std::string trust; // a fingerprint to add to the trusted keys
};

const OptionTable<KeysOptions>& KeysOptionTable() {
    static const OptionTable<KeysOptions> kTable = {
        ArchiveOption(&KeysOptions::archiveAt),
        {{"--trust", nullptr, Takes::Value, "a key's fingerprint (32 hex digits)",
          AcceptsFingerprint},
         "FINGERPRINT",
         "adds the key to \"Trusted Keys\" in Settings.ini (the list a\n"
         "manager hands out) instead of listing the signers",
         SetsText(&KeysOptions::trust)},
    };
    return kTable;
}

struct SignOffOptions {
    std::string archiveAt;
    std::string meaning;
    std::string instrument;
    std::string from;
    std::string to;
};

const OptionTable<SignOffOptions>& SignOffOptionTable() {
    using O = SignOffOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        {{"--meaning", nullptr, Takes::Value, "a text", nullptr},
         "TEXT",
         "what the sign-off says of the sessions: \"reviewed\",\n\"approved\" (required)",
         SetsText(&O::meaning)},
        InstrumentOption(&O::instrument, "only the sessions of this instrument (name, serial\n"
                                         "number or fingerprint)"),
        {kFromSpec, "YYYY-MM-DD", "only sessions on this day or later", SetsText(&O::from)},
        {kToSpec, "YYYY-MM-DD", "only sessions on this day or earlier", SetsText(&O::to)},
    };
    return kTable;
}

template <typename Options>
bool ParseWithoutWords(const QStringList& arguments, const OptionTable<Options>& table,
                       Options& options, std::string& message) {
    const std::string command = "archive " + arguments.value(0).toStdString();
    std::vector<std::string> positional;
    if (!ParseOptions(ArchiveWords(arguments), table, command.c_str(), false, options, positional,
                      message)) {
        return false;
    }
    if (!positional.empty()) {
        message = command + " takes options only, not \"" + positional.front() + "\"";
        return false;
    }
    return true;
}

QString TrustedKeysText() {
    return QString::fromStdString(ReadSetting(kTrustedKeysSetting));
}

int AddTrusted(const std::string& given) {
    const QString fingerprint = archive::NormalFingerprint(QString::fromStdString(given));
    QSet<QString> trusted = archive::ParseTrustedKeys(TrustedKeysText());
    if (trusted.contains(fingerprint)) {
        Put("key " + fingerprint + " is already a trusted key");
        return kExitOk;
    }
    trusted.insert(fingerprint);
    QStringList sorted(trusted.begin(), trusted.end());
    sorted.sort();
    if (!WriteSetting(kTrustedKeysSetting, Local(sorted.join(", ")))) {
        PrintError("cannot write \"Trusted Keys\" to Settings.ini");
        return kExitOutputFailed;
    }
    Put("key " + fingerprint + " added to the trusted keys (\"Trusted Keys\" in Settings.ini)");
    return kExitOk;
}

QString SignerLine(const archive::HistorySigner& signer, const QHash<QString, QString>& names,
                   const QSet<QString>& trusted, bool listed) {
    const QString when = QDateTime::fromMSecsSinceEpoch(signer.firstAt, QTimeZone::utc())
                             .toString("yyyy-MM-dd HH:mm:ss 'UTC'");
    const QString chain =
        signer.origin.isEmpty()
            ? QString()
            : " of " + names.value(signer.origin, "archive " + signer.origin) + "'s history";
    const QString trust = !listed                                ? QString()
                          : trusted.contains(signer.fingerprint) ? QString("  trusted")
                                                                 : QString("  not trusted");
    return QString("%1  %2@%3  first row %4%5, %6%7")
        .arg(signer.fingerprint, signer.user, signer.host)
        .arg(signer.firstRow)
        .arg(chain, when, trust);
}

} // namespace

std::string ArchiveKeysOptionHelp() {
    return OptionHelp(KeysOptionTable());
}

std::string ArchiveSignOffOptionHelp() {
    return OptionHelp(SignOffOptionTable());
}

bool PutSigningLines(archive::VerifySummary& summary) {
    bool written = true;
    for (const QString& line : summary.signing) {
        written = written && Put(line);
    }
    const QString text = TrustedKeysText();
    if (text.trimmed().isEmpty()) {
        if (!summary.signedBy.isEmpty()) {
            PrintError("no trusted keys are set (\"Trusted Keys\" in Settings.ini): the signers "
                       "are not checked against the team's list (archive keys lists them)");
        }
        return written;
    }
    QStringList refused;
    const QSet<QString> trusted = archive::ParseTrustedKeys(text, &refused);
    for (const QString& word : refused) {
        PrintError(Local("\"Trusted Keys\" in Settings.ini: \"" + word +
                         "\" is not a key's fingerprint, and is left out"));
    }
    // A row signed by a key the team does not trust is a mismatch like any other: a writer of
    // the database may have signed it with a key of their own.
    summary.mismatches += archive::UntrustedLines(summary, trusted);
    return written;
}

int RunArchiveKeys(const QStringList& arguments) {
    KeysOptions options;
    std::string message;
    if (!ParseWithoutWords(arguments, KeysOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    if (!options.trust.empty()) {
        return AddTrusted(options.trust);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    QVector<archive::HistorySigner> signers;
    QString error;
    QHash<QString, QString> names;
    if (!archive::HistorySigners(store, signers, error) ||
        !archive::ChainNames(store, names, error)) {
        PrintError(Local(error));
        return kExitArchive;
    }
    const QString text = TrustedKeysText();
    const QSet<QString> trusted = archive::ParseTrustedKeys(text);
    bool written = true;
    if (signers.isEmpty()) {
        written = Put("no history row of the archive is signed yet");
    }
    for (const archive::HistorySigner& signer : signers) {
        written = written && Put(SignerLine(signer, names, trusted, !text.trimmed().isEmpty()));
    }
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the signers to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}

int RunArchiveSignOff(const QStringList& arguments) {
    SignOffOptions options;
    std::string message;
    if (!ParseWithoutWords(arguments, SignOffOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    if (QString::fromLocal8Bit(options.meaning.c_str()).trimmed().isEmpty()) {
        return ArchiveUsageError("archive sign-off needs --meaning TEXT", arguments);
    }
    if (!options.from.empty() && !options.to.empty() && options.from > options.to) {
        return ArchiveUsageError("archive sign-off: --from is after --to", arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    archive::SignOffScope scope;
    scope.meaning = QString::fromLocal8Bit(options.meaning.c_str()).trimmed();
    scope.instrument = QString::fromLocal8Bit(options.instrument.c_str());
    scope.from = QString::fromLocal8Bit(options.from.c_str());
    scope.to = QString::fromLocal8Bit(options.to.c_str());
    QString detail;
    QString error;
    bool refused = false;
    bool mismatched = false;
    if (!archive::SignOff(store, scope, detail, error, &refused, &mismatched)) {
        PrintError(Local(error));
        return refused ? kExitUsage : mismatched ? kExitMismatch : kExitArchive;
    }
    const bool written = Put(detail);
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the result to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}
