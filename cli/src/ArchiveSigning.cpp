// tavon-datalog archive keys and sign-off, and the trusted keys every command that judges the
// signers reads: who signed the history, which of them are trusted, and a user's signed word on a
// period's sessions.
#include <QDateTime>
#include <QDir>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "archive/TrustedKeys.h"
#include "cli/ArchiveOptions.h"
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
    std::string trust; // a fingerprint to add to this user's trusted keys
    std::vector<std::string> trustedKeys;
};

const OptionTable<KeysOptions>& KeysOptionTable() {
    static const OptionTable<KeysOptions> kTable = {
        ArchiveOption(&KeysOptions::archiveAt),
        {{"--trust", nullptr, Takes::Value, "a key's fingerprint (32 hex digits)",
          AcceptsFingerprint},
         "FINGERPRINT",
         "adds the key to this user's trusted keys (trusted-keys in the\n"
         "folder of the signing key) instead of listing the signers",
         SetsText(&KeysOptions::trust)},
        TrustedKeysOption(&KeysOptions::trustedKeys),
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
        {{"--meaning", nullptr, Takes::Text, "a text", nullptr},
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

int AddTrusted(const std::string& given) {
    const QString fingerprint = archive::NormalFingerprint(QString::fromStdString(given));
    QString file;
    bool already = false;
    QString error;
    if (!archive::TrustKey(fingerprint, file, already, error)) {
        PrintError(Local(error));
        return kExitArchive;
    }
    const bool written = Put("key " + fingerprint +
                             (already ? " is already one of the trusted keys of this user ("
                                      : " added to the trusted keys of this user (") +
                             QDir::toNativeSeparators(file) + ")");
    return written && std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}

QString SignerLine(const archive::HistorySigner& signer, const QHash<QString, QString>& names,
                   const archive::TrustedKeys& trusted) {
    const QString when = QDateTime::fromMSecsSinceEpoch(signer.firstAt, QTimeZone::utc())
                             .toString("yyyy-MM-dd HH:mm:ss 'UTC'");
    const QString chain =
        signer.origin.isEmpty()
            ? QString()
            : " of " + archive::OneLine(names.value(signer.origin, "archive " + signer.origin)) +
                  "'s history";
    const QString trust = !trusted.Set() ? QString()
                          : trusted.fingerprints.contains(signer.fingerprint)
                              ? QString("  trusted")
                              : QString("  not trusted");
    return QString("%1  %2@%3  first row %4%5, %6%7")
        .arg(signer.fingerprint, archive::OneLine(signer.user), archive::OneLine(signer.host))
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

bool ReadTrust(const std::vector<std::string>& files, archive::TrustedKeys& keys) {
    // Trust never comes from the folder a command runs in: said once, so that a list someone
    // relied on there is not silently gone.
    static bool told = false;
    if (!told && !ReadSetting(kTrustedKeysSetting).empty()) {
        told = true;
        PrintError(
            Local("\"Trusted Keys\" in Settings.ini is ignored: the trusted keys are read from " +
                  QDir::toNativeSeparators(archive::UserTrustedKeysFile()) +
                  " (archive keys --trust adds to it), " +
                  QDir::toNativeSeparators(archive::SystemTrustedKeysFile()) +
                  " and --trusted-keys FILE"));
    }
    QStringList lists;
    for (const std::string& file : files) {
        lists << QString::fromLocal8Bit(file.c_str());
    }
    QString error;
    if (!archive::ReadTrustedKeys(lists, keys, error)) {
        PrintError(Local(error));
        return false;
    }
    for (const QString& note : keys.notes) {
        PrintError(Local(note));
    }
    return true;
}

int RunArchiveKeys(const QStringList& arguments) {
    KeysOptions options;
    std::string message;
    if (!ParseWithoutWords(arguments, KeysOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    if (!options.trust.empty()) {
        if (!options.trustedKeys.empty()) {
            return ArchiveUsageError(
                "archive keys: --trust writes this user's list; --trusted-keys goes without it",
                arguments);
        }
        return AddTrusted(options.trust);
    }
    archive::TrustedKeys trusted;
    if (!ReadTrust(options.trustedKeys, trusted)) {
        return kExitArchive;
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
    bool written = true;
    if (signers.isEmpty()) {
        written = Put("no history row of the archive is signed yet");
    }
    for (const archive::HistorySigner& signer : signers) {
        written = written && Put(SignerLine(signer, names, trusted));
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
