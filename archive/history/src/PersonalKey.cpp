// A person's signing key, its seed kept only sealed under their passphrase.
#include "archive/PersonalKey.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTimeZone>
#include <sodium.h>

#include "archive/HistorySigning.h"
#include "archive/KeyFiles.h"
#include "archive/SigningKey.h"

namespace archive {
namespace {

const char kHeader[] = "Tavon Datalogging personal signing key, version 1";
const char kKdf[] = "argon2id13";
const char kWhat[] = "the personal signing key";
const char kLowCostVariable[] = "TAVON_TEST_KEY_COST";
constexpr qint64 kMostBytes = 4096; // a key file is about 450 bytes
constexpr int kMostNameCharacters = 100;
constexpr int kLeastPassphraseBytes = 8;
// What a file may ask of the key derivation: a damaged or hostile one must not hang or exhaust
// the computer.
constexpr unsigned long long kMostOps = 16;
constexpr size_t kMostMemory = crypto_pwhash_MEMLIMIT_SENSITIVE;

bool LowCostAllowed() {
    return qEnvironmentVariable(kLowCostVariable) == "low";
}

// The fields of a key file, in the order it holds them.
const char* const kFields[] = {"name",     "public-key", "kdf",   "opslimit",
                               "memlimit", "salt",       "nonce", "sealed"};
constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];

QByteArray Field(const char* name, const QByteArray& value) {
    return QByteArray(name) + ": " + value + '\n';
}

unsigned char* Bytes(QByteArray& bytes) {
    return reinterpret_cast<unsigned char*>(bytes.data());
}
const unsigned char* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

void Wipe(QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        sodium_memzero(bytes.data(), static_cast<size_t>(bytes.size()));
    }
}

// The secretbox key of a passphrase; false when libsodium cannot have the memory.
bool DerivedKey(const QByteArray& passphrase, const QByteArray& salt, const KeyCost& cost,
                QByteArray& key) {
    key = QByteArray(crypto_secretbox_KEYBYTES, '\0');
    return crypto_pwhash(Bytes(key), static_cast<unsigned long long>(key.size()),
                         passphrase.constData(), static_cast<unsigned long long>(passphrase.size()),
                         Bytes(salt), cost.opslimit, cost.memlimit,
                         crypto_pwhash_ALG_ARGON2ID13) == 0;
}

} // namespace

struct PersonalKey::Parts {
    QString file;
    QString name;
    QString publicHex;
    KeyCost cost;
    QByteArray salt;
    QByteArray nonce;
    QByteArray sealed;

    QByteArray Text() const {
        QByteArray text = QByteArray(kHeader) + '\n';
        text += Field("name", name.toUtf8());
        text += Field("public-key", publicHex.toLatin1());
        text += Field("kdf", kKdf);
        text += Field("opslimit", QByteArray::number(cost.opslimit));
        text += Field("memlimit", QByteArray::number(static_cast<qulonglong>(cost.memlimit)));
        text += Field("salt", salt.toHex());
        text += Field("nonce", nonce.toHex());
        text += Field("sealed", sealed.toHex());
        return text;
    }

    // False with `error` for a text that is not a key file this program can open.
    bool Read(const QByteArray& text, QString& error);
    // A new seed for `name`, sealed under the passphrase; `signer` its key.
    bool Seal(const QByteArray& passphrase, SigningKey& signer, QString& error);
};

bool PersonalKey::Parts::Read(const QByteArray& text, QString& error) {
    const QString damaged = QString(kWhat) + ' ' + ShownPath(file) + " is not a personal key file";
    QList<QByteArray> lines = text.split('\n');
    if (lines.size() != kFieldCount + 2 || lines[0] != kHeader || !lines.last().isEmpty()) {
        error = damaged;
        return false;
    }
    QByteArray values[kFieldCount];
    for (int i = 0; i < kFieldCount; ++i) {
        const QByteArray prefix = QByteArray(kFields[i]) + ": ";
        if (!lines[i + 1].startsWith(prefix)) {
            error = damaged;
            return false;
        }
        values[i] = lines[i + 1].mid(prefix.size());
    }
    bool opsRead = false;
    bool memoryRead = false;
    name = QString::fromUtf8(values[0]);
    publicHex = QString::fromLatin1(values[1]);
    cost.opslimit = values[3].toULongLong(&opsRead);
    cost.memlimit = static_cast<size_t>(values[4].toULongLong(&memoryRead));
    const int sealedBytes = static_cast<int>(values[7].size() / 2);
    if (!PrintedNameProblem(name).isEmpty() || name.toUtf8() != values[0] ||
        !StrictHex(values[1], crypto_sign_PUBLICKEYBYTES) || values[2] != kKdf || !opsRead ||
        !memoryRead || !StrictHex(values[5], crypto_pwhash_SALTBYTES) ||
        !StrictHex(values[6], crypto_secretbox_NONCEBYTES) || !StrictHex(values[7], sealedBytes) ||
        sealedBytes != static_cast<int>(crypto_secretbox_MACBYTES + crypto_sign_SEEDBYTES +
                                        values[0].size())) {
        error = damaged;
        return false;
    }
    salt = QByteArray::fromHex(values[5]);
    nonce = QByteArray::fromHex(values[6]);
    sealed = QByteArray::fromHex(values[7]);
    const KeyCost least =
        LowCostAllowed()
            ? KeyCost{crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN}
            : KeyCost{crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
    if (cost.opslimit < least.opslimit || cost.memlimit < least.memlimit) {
        error = QString(kWhat) + ' ' + ShownPath(file) +
                " is sealed at a lower cost than a passphrase needs: make a new one (tavon-datalog "
                "archive keys new --replace)";
        return false;
    }
    if (cost.opslimit > kMostOps || cost.memlimit > kMostMemory) {
        error = QString(kWhat) + ' ' + ShownPath(file) +
                " asks more of the computer than this program gives a passphrase";
        return false;
    }
    return true;
}

bool PersonalKey::Parts::Seal(const QByteArray& passphrase, SigningKey& signer, QString& error) {
    cost = NewKeyCost();
    salt = QByteArray(crypto_pwhash_SALTBYTES, '\0');
    nonce = QByteArray(crypto_secretbox_NONCEBYTES, '\0');
    randombytes_buf(salt.data(), static_cast<size_t>(salt.size()));
    randombytes_buf(nonce.data(), static_cast<size_t>(nonce.size()));
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    randombytes_buf(seed.data(), static_cast<size_t>(seed.size()));
    signer.FromSeed(seed);
    publicHex = signer.PublicHex();
    QByteArray key;
    if (!DerivedKey(passphrase, salt, cost, key)) {
        Wipe(seed);
        error = "cannot derive the key of the passphrase (not enough memory)";
        return false;
    }
    QByteArray plain = seed + name.toUtf8();
    Wipe(seed);
    sealed = QByteArray(plain.size() + static_cast<int>(crypto_secretbox_MACBYTES), '\0');
    crypto_secretbox_easy(Bytes(sealed), Bytes(plain),
                          static_cast<unsigned long long>(plain.size()), Bytes(nonce), Bytes(key));
    Wipe(plain);
    Wipe(key);
    return true;
}

QString PersonalKeyFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Tavon/personal-signing.key";
}

QString PrintedNameProblem(const QString& name) {
    if (name.trimmed().isEmpty()) {
        return "a printed name cannot be empty";
    }
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            return "a printed name cannot hold a control character (a line break, a tab)";
        }
    }
    if (name.size() > kMostNameCharacters) {
        return QString("a printed name cannot be longer than %1 characters")
            .arg(kMostNameCharacters);
    }
    return QString();
}

KeyCost NewKeyCost() {
    if (LowCostAllowed()) {
        return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
    }
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

PersonalKey::PersonalKey() : m_parts(new Parts), m_signer(new SigningKey) {}

PersonalKey::~PersonalKey() = default;

bool PersonalKey::Load(QString& error, bool* missing) {
    *m_signer = SigningKey();
    *m_parts = Parts();
    m_parts->file = PersonalKeyFile();
    bool absent = false;
    QByteArray text;
    const bool read = SodiumStarted(error) &&
                      ReadKeyFile(m_parts->file, kWhat, kMostBytes, text, absent, error) &&
                      m_parts->Read(text, error);
    if (missing != nullptr) {
        *missing = absent;
    }
    return read;
}

bool PersonalKey::Unseal(const QByteArray& passphrase, QString& error, bool* wrong) {
    if (wrong != nullptr) {
        *wrong = false;
    }
    const Parts& p = *m_parts;
    if (p.sealed.isEmpty()) {
        error = "no personal signing key was read";
        return false;
    }
    QByteArray key;
    if (!DerivedKey(passphrase, p.salt, p.cost, key)) {
        error = "cannot derive the key of the passphrase (not enough memory)";
        return false;
    }
    QByteArray opened(p.sealed.size() - static_cast<int>(crypto_secretbox_MACBYTES), '\0');
    const bool opens = crypto_secretbox_open_easy(Bytes(opened), Bytes(p.sealed),
                                                  static_cast<unsigned long long>(p.sealed.size()),
                                                  Bytes(p.nonce), Bytes(key)) == 0;
    Wipe(key);
    if (!opens) {
        error = "the passphrase does not open " + QString(kWhat) + ' ' + ShownPath(p.file) +
                ": nothing was signed";
        if (wrong != nullptr) {
            *wrong = true;
        }
        return false;
    }
    const QByteArray seed = opened.left(crypto_sign_SEEDBYTES);
    SigningKey signer;
    signer.FromSeed(seed);
    const bool same =
        opened.mid(crypto_sign_SEEDBYTES) == p.name.toUtf8() && signer.PublicHex() == p.publicHex;
    Wipe(opened);
    if (!same) {
        error = QString(kWhat) + ' ' + ShownPath(p.file) +
                " was changed: its name or public key is not the one sealed with its seed";
        return false;
    }
    *m_signer = signer;
    return true;
}

bool PersonalKey::Unsealed() const {
    return m_signer->IsSet();
}

QString PersonalKey::Name() const {
    return m_parts->name;
}

QString PersonalKey::PublicHex() const {
    return m_parts->publicHex;
}

QString PersonalKey::Fingerprint() const {
    return KeyFingerprint(m_parts->publicHex);
}

const SigningKey& PersonalKey::Signer() const {
    return *m_signer;
}

namespace {

// Where an old key goes when a new one replaces it: beside it, named by the time.
QString AsideName(const QString& file) {
    return file + ".replaced-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd'T'HHmmss'Z'");
}

bool Refuse(const QString& why, QString& error, bool* refused) {
    error = why;
    if (refused != nullptr) {
        *refused = true;
    }
    return false;
}

} // namespace

bool MakePersonalKey(const QString& given, const QByteArray& passphrase, bool replace,
                     PersonalKey& made, QString& movedTo, QString& error, bool* refused) {
    movedTo.clear();
    if (refused != nullptr) {
        *refused = false;
    }
    const QString name = given.trimmed();
    const QString problem = PrintedNameProblem(name);
    if (!problem.isEmpty()) {
        return Refuse(problem, error, refused);
    }
    if (passphrase.size() < kLeastPassphraseBytes) {
        return Refuse(
            QString("a passphrase needs at least %1 characters").arg(kLeastPassphraseBytes), error,
            refused);
    }
    const QString file = PersonalKeyFile();
    if (!SodiumStarted(error) || !MakeKeyFolder(file, kWhat, error)) {
        return false;
    }
    const QFileInfo there(file);
    if ((there.exists() || there.isSymLink()) && !replace) {
        PersonalKey old;
        QString ignored;
        const QString whose = old.Load(ignored) ? QString(" of \"%1\"").arg(old.Name()) : QString();
        return Refuse("you already have a personal signing key" + whose + " (" + ShownPath(file) +
                          "): sign-offs are signed with it; --replace puts a new one in its place"
                          " (the old one is kept beside it, and the new key is another signer,"
                          " which your manager must trust)",
                      error, refused);
    }
    if (there.exists() || there.isSymLink()) {
        movedTo = AsideName(file);
        if (QFileInfo::exists(movedTo) || !QFile::rename(file, movedTo)) {
            error = "cannot move the old personal signing key " + ShownPath(file) + " aside to " +
                    ShownPath(movedTo);
            movedTo.clear();
            return false;
        }
    }
    PersonalKey::Parts parts;
    parts.file = file;
    parts.name = name;
    SigningKey signer;
    if (!parts.Seal(passphrase, signer, error)) {
        return false;
    }
    bool existed = false;
    if (!PutNewKeyFile(file, kWhat, parts.Text(), existed, error)) {
        return false;
    }
    if (existed) {
        error = "another personal signing key was made in " + ShownPath(file) + " meanwhile";
        return false;
    }
    *made.m_parts = parts;
    *made.m_signer = signer;
    return true;
}

} // namespace archive
