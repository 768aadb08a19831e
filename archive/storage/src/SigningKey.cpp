// This user's signing key: made once, kept where only its owner can read it, and never taken from
// a file that others could have read or put there.
#include "archive/SigningKey.h"

#include <QCryptographicHash>
#include <QStandardPaths>
#include <QStringList>
#include <sodium.h>

#include "archive/HistoryChain.h"
#include "archive/KeyFiles.h"

namespace archive {
namespace {

const char kHeader[] = "Tavon Datalogging history signing key, Ed25519 seed:";
const char kWhat[] = "the signing key";
constexpr qint64 kMostBytes = 512; // a key file is about 120 bytes

QByteArray KeyText(const QByteArray& seed) {
    return QByteArray(kHeader) + '\n' + seed.toHex() + '\n';
}

// The seed a key file's text holds; empty when it holds none.
QByteArray SeedOf(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2 || lines[0].trimmed() != kHeader ||
        !StrictHex(lines[1].trimmed(), crypto_sign_SEEDBYTES)) {
        return QByteArray();
    }
    return QByteArray::fromHex(lines[1].trimmed());
}

} // namespace

bool StrictHex(const QByteArray& text, int bytes) {
    if (text.size() != 2 * bytes) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool SodiumStarted(QString& error) {
    if (sodium_init() < 0) {
        error = "the signing library (libsodium) cannot start";
        return false;
    }
    return true;
}

QString SigningKeyFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Tavon/history-signing.key";
}

QString KeyFingerprint(const QString& publicKeyHex) {
    if (!IsLowerHex(publicKeyHex, 64)) {
        return QString();
    }
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromHex(publicKeyHex.toLatin1()),
                                                       QCryptographicHash::Sha256)
                                  .left(16);
    QStringList groups;
    for (int i = 0; i < digest.size(); i += 2) {
        groups << QString::fromLatin1(digest.mid(i, 2).toHex());
    }
    return groups.join(':');
}

SigningKey::~SigningKey() {
    // A copy shares the bytes until one is written to: zeroing shared ones would spoil the others.
    if (!m_secret.isEmpty() && m_secret.isDetached()) {
        sodium_memzero(m_secret.data(), static_cast<size_t>(m_secret.size()));
    }
}

bool SigningKey::Load(QString& error, bool* made) {
    if (made != nullptr) {
        *made = false;
    }
    if (!SodiumStarted(error)) {
        return false;
    }
    const QString file = SigningKeyFile();
    QByteArray text;
    bool missing = false;
    if (!ReadKeyFile(file, kWhat, kMostBytes, text, missing, error)) {
        if (!missing || !MakeKeyFolder(file, kWhat, error)) {
            return false;
        }
        QByteArray seed(crypto_sign_SEEDBYTES, '\0');
        randombytes_buf(seed.data(), static_cast<size_t>(seed.size()));
        bool existed = false;
        const bool put = PutNewKeyFile(file, kWhat, KeyText(seed), existed, error);
        sodium_memzero(seed.data(), static_cast<size_t>(seed.size()));
        if (!put || !ReadKeyFile(file, kWhat, kMostBytes, text, missing, error)) {
            return false;
        }
        if (made != nullptr) {
            *made = !existed;
        }
    }
    QByteArray seed = SeedOf(text);
    sodium_memzero(text.data(), static_cast<size_t>(text.size()));
    if (seed.isEmpty()) {
        error = QString(kWhat) + ' ' + ShownPath(file) + " is not a key file";
        return false;
    }
    FromSeed(seed);
    sodium_memzero(seed.data(), static_cast<size_t>(seed.size()));
    return true;
}

void SigningKey::FromSeed(const QByteArray& seed) {
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, '\0');
    m_secret = QByteArray(crypto_sign_SECRETKEYBYTES, '\0');
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                             reinterpret_cast<unsigned char*>(m_secret.data()),
                             reinterpret_cast<const unsigned char*>(seed.constData()));
}

QString SigningKey::PublicHex() const {
    // libsodium's secret key ends with the public one.
    return QString::fromLatin1(m_secret.right(crypto_sign_PUBLICKEYBYTES).toHex());
}

QString SigningKey::Sign(const QString& rowHash) const {
    const QByteArray message = rowHash.toLatin1();
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(m_secret.constData()));
    return QString::fromLatin1(signature.toHex());
}

bool SignatureHolds(const QString& publicHex, const QString& rowHash, const QString& signatureHex) {
    QString ignored;
    const QByteArray key = publicHex.toLatin1();
    const QByteArray signature = signatureHex.toLatin1();
    if (!SodiumStarted(ignored) || !StrictHex(key, crypto_sign_PUBLICKEYBYTES) ||
        !StrictHex(signature, crypto_sign_BYTES)) {
        return false;
    }
    const QByteArray message = rowHash.toLatin1();
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char*>(QByteArray::fromHex(signature).constData()),
               reinterpret_cast<const unsigned char*>(message.constData()),
               static_cast<unsigned long long>(message.size()),
               reinterpret_cast<const unsigned char*>(QByteArray::fromHex(key).constData())) == 0;
}

} // namespace archive
