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

// Where this user's signing key is: "Tavon/history-signing.key" in the user's configuration
// folder ($XDG_CONFIG_HOME or ~/.config on Linux, the profile's local application data on
// Windows, whose access list is the user's own).
QString SigningKeyFile();

// A public key's fingerprint: the first 16 bytes of the SHA-256 of its 32 bytes, in hex, in eight
// groups of four joined by colons ("3f2a:9c01:77be:0d12:aa90:5e3c:1b2f:8e41"). Empty for a text
// that is not a public key (64 hex digits).
QString KeyFingerprint(const QString& publicKeyHex);

// True when `signatureHex` is `publicHex`'s signature of `rowHash`; false for any malformed part.
bool SignatureHolds(const QString& publicHex, const QString& rowHash, const QString& signatureHex);

// libsodium started; false with a message when it cannot be.
bool SodiumStarted(QString& error);

// True when `text` is `bytes` bytes in lower-case hex.
bool StrictHex(const QByteArray& text, int bytes);

} // namespace archive
