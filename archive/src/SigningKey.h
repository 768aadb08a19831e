#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// An Ed25519 key that signs history rows. The operating-system user's (Load) signs every row the
// user writes: made on first use in SigningKeyFile(), private to its owner; a key file that
// others may read or write, or in a folder others may write, is refused, since anyone who can read
// it can sign as its owner. A personal key (PersonalKey.h) is one made from the seed it unsealed.
class SigningKey {
public:
    SigningKey() = default;
    SigningKey(const SigningKey& other) = default;
    SigningKey& operator=(const SigningKey& other) = default;
    // The secret zeroed by the last copy that holds it.
    ~SigningKey();

    // Reads this user's key, making it first when there is none (`made` set then). False with a
    // message saying what to do when the file cannot be made or read, or is not private.
    bool Load(QString& error, bool* made = nullptr);
    // The key of a 32-byte seed.
    void FromSeed(const QByteArray& seed);
    bool IsSet() const { return !m_secret.isEmpty(); }
    // The public key, 64 hex digits.
    QString PublicHex() const;
    // The signature (128 hex digits) of a row's hash as the row holds it.
    QString Sign(const QString& rowHash) const;

private:
    QByteArray m_secret; // libsodium's 64 bytes: the seed, then the public key
};

// True when `signatureHex` is `publicHex`'s signature of `rowHash`; false for any malformed part.
bool SignatureHolds(const QString& publicHex, const QString& rowHash, const QString& signatureHex);

// libsodium started; false with a message when it cannot be.
bool SodiumStarted(QString& error);

// True when `text` is `bytes` bytes in lower-case hex.
bool StrictHex(const QByteArray& text, int bytes);

} // namespace archive
