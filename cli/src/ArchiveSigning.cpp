// tavon-datalog archive keys and sign-off, and the trusted keys every command that judges the
// signers reads: who signed the history, which of them are trusted, a person's own signing key,
// and their signed word on a period's sessions.
#include <QDateTime>
#include <QDir>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "Passphrase.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/PersonalKey.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "archive/TrustedKeys.h"
#include "cli/ArchiveOptions.h"
#include "download/CommandArguments.h"
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

const OptionSpec kPassphraseFileSpec = {"--passphrase-file", nullptr, Takes::Value, "a file name",
                                        nullptr};
const char kPassphraseFileHelp[] = "the passphrase of your personal key: the file's first line (a\n"
                                   "file others may read is refused); without it, it is asked on\n"
                                   "the terminal, without echo";

struct KeysNewOptions {
    std::string name;
    std::string passphraseFile;
    bool replace = false;
};

const OptionTable<KeysNewOptions>& KeysNewOptionTable() {
    using O = KeysNewOptions;
    static const OptionTable<O> kTable = {
        HelpNote<O>("keys new", "makes your personal signing key:"),
        {{"--name", nullptr, Takes::Text, "a text", nullptr},
         "\"PRINTED NAME\"",
         "the name you sign with, as the history, the pack and the\n"
         "program show your sign-offs (required)",
         SetsText(&O::name)},
        {kPassphraseFileSpec, "FILE",
         "the new key's passphrase (at least 8 characters): the file's\n"
         "first line; without it, asked twice on the terminal",
         SetsText(&O::passphraseFile)},
        {{"--replace", nullptr, Takes::Nothing, "", nullptr},
         "",
         "a new key in place of the one you have, which is kept beside\n"
         "it (personal-signing.key.replaced-TIME)",
         SetsFlag(&O::replace)},
        HelpNote<O>("TAVON_TEST_KEY_COST=low", "set by the test suite only: seals a key at the\n"
                                               "least cost, and lets such keys be used"),
    };
    return kTable;
}

struct SignOffOptions {
    std::string archiveAt;
    std::string meaning;
    std::string instrument;
    std::string from;
    std::string to;
    std::string passphraseFile;
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
        {kPassphraseFileSpec, "FILE", kPassphraseFileHelp, SetsText(&O::passphraseFile)},
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
    archive::PrintedNames printed;
    if (!signer.printedName.isEmpty()) {
        printed.insert(signer.publicKey, signer.printedName);
    }
    const QString who = archive::SignerWho(signer, printed) +
                        (signer.printedName.isEmpty() ? QString() : QString(", personal key"));
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
    return QString("%1  %2  first row %3%4, %5%6")
        .arg(archive::KeyNamedBy(signer.fingerprint, true), archive::OneLine(who))
        .arg(signer.firstRow)
        .arg(chain, when, trust);
}

// `archive keys new`: the words after "new" parsed as the command "archive keys new".
int RunKeysNew(const QStringList& arguments) {
    QStringList words = arguments;
    words.removeAt(1);
    words[0] = "keys new";
    KeysNewOptions options;
    std::string message;
    if (!ParseWithoutWords(words, KeysNewOptionTable(), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    const QString name = QString::fromLocal8Bit(options.name.c_str()).trimmed();
    const QString problem = archive::PrintedNameProblem(name);
    if (!problem.isEmpty()) {
        return ArchiveUsageError("archive keys new: " + Local(problem) +
                                     (options.name.empty() ? " (--name \"PRINTED NAME\")" : ""),
                                 arguments);
    }
    QByteArray passphrase;
    const QString prompt = "New passphrase for the personal key of \"" + name + "\": ";
    if (!ReadPassphrase(options.passphraseFile, prompt, true, passphrase, message)) {
        PrintError(message);
        return kExitUsage;
    }
    archive::PersonalKey key;
    QString movedTo;
    QString error;
    bool refused = false;
    const bool made =
        archive::MakePersonalKey(name, passphrase, options.replace, key, movedTo, error, &refused);
    ForgetPassphrase(passphrase);
    if (!made) {
        PrintError(Local(error));
        return refused ? kExitUsage : kExitOutputFailed;
    }
    bool written = movedTo.isEmpty() || Put("the old personal key was moved to " + movedTo);
    written =
        written && Put("personal signing key of \"" + key.Name() + "\" made: " + key.Fingerprint() +
                       " (" + archive::PersonalKeyFile() + ")");
    if (!written || std::fflush(stdout) != 0) {
        PrintError("cannot write the result to standard output");
        return kExitOutputFailed;
    }
    return kExitOk;
}

// This user's personal key, unsealed with the passphrase: a sign-off is nothing without it.
bool UnsealedKey(archive::SessionArchive& store, const std::string& passphraseFile,
                 archive::PersonalKey& key) {
    QString error;
    if (!archive::FindPersonalKey(store, key, error)) {
        PrintError(Local(error));
        return false;
    }
    QByteArray passphrase;
    std::string message;
    const QString prompt =
        "Passphrase of the personal key of \"" + key.Name() + "\" (" + key.Fingerprint() + "): ";
    if (!ReadPassphrase(passphraseFile, prompt, false, passphrase, message)) {
        PrintError(message);
        return false;
    }
    const bool unsealed = key.Unseal(passphrase, error);
    ForgetPassphrase(passphrase);
    if (!unsealed) {
        PrintError(Local(error));
    }
    return unsealed;
}

} // namespace

std::string ArchiveKeysOptionHelp() {
    return OptionHelp(KeysOptionTable()) + OptionHelp(KeysNewOptionTable());
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
    if (arguments.value(1) == "new") {
        return RunKeysNew(arguments);
    }
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
        // The list is the user's, not the archive's; but an --archive that names none is a
        // mistyped command, and no key is trusted on its word.
        archive::SessionArchive store;
        if (!options.archiveAt.empty() &&
            !OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
            return kExitArchive;
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
    archive::PersonalKey key;
    if (!UnsealedKey(store, options.passphraseFile, key)) {
        return kExitUsage;
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
    if (!archive::SignOff(store, scope, key, detail, error, &refused, &mismatched)) {
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
