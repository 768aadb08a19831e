#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// This operating-system user's Ed25519 key, which signs every history row the user writes. Made
// on first use in SigningKeyFile(), private to its owner; a key file that others may read or
// write is refused, since anyone who can read it can sign as its owner.
class SigningKey {
public:
    // Reads the key, making it first when there is none. False with a message saying what to do
    // when the file cannot be made or read, or is not private.
    bool Load(QString& error);
    // The public key, 64 hex digits.
    QString PublicHex() const;
    // The signature (128 hex digits) of a row's hash as the row holds it.
    QString Sign(const QString& rowHash) const;

private:
    QByteArray m_secret; // libsodium's 64 bytes: the seed, then the public key
};

// True when `signatureHex` is `publicHex`'s signature of `rowHash`; false for any malformed part.
bool SignatureHolds(const QString& publicHex, const QString& rowHash, const QString& signatureHex);

} // namespace archive
