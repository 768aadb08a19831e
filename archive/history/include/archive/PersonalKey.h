#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace archive {

class SessionArchive;
class SigningKey;

// A person's own signing key, which signs their sign-offs: the operating-system user's key
// (HistorySigning.h) signs what downloads, imports, syncs and the watcher write unattended, and
// proves no more than that the row came from that account; a sign-off is a person's word, so it is
// signed by a key whose private half is kept sealed under a passphrase that is asked at every
// sign-off, and which carries the name the person signs with (their printed name).
//
// The key file holds the printed name, the public key, the passphrase's salt and cost, the nonce
// and the sealed seed, as text:
//
//     Tavon Datalogging personal signing key, version 1
//     name: Dr Jane QA
//     public-key: 64 hex digits
//     kdf: argon2id13
//     opslimit: 3
//     memlimit: 268435456
//     salt: 32 hex digits
//     nonce: 48 hex digits
//     sealed: hex of crypto_secretbox_easy(seed, then the name's UTF-8, nonce, key)
//
// where key is crypto_pwhash(32 bytes, passphrase, salt, opslimit, memlimit, Argon2id 1.3). The
// name is sealed with the seed, so that the file's name cannot be changed without the passphrase.

// Where this user's personal key is: "Tavon/personal-signing.key" beside the operating-system
// user's key (SigningKeyFile()), under the same rules: mode 0600, in a folder only its owner may
// write.
QString PersonalKeyFile();

// Why `name` cannot be a printed name (empty, a control character, longer than 100 characters);
// empty when it can.
QString PrintedNameProblem(const QString& name);

// The cost of the passphrase's key derivation a new key gets: libsodium's MODERATE limits (3
// passes over 256 MiB, about a second), since the file of a lost laptop can be guessed at offline
// for as long as the thief likes, and a sign-off asks for it only once. A test run sets
// TAVON_TEST_KEY_COST=low (the tests alone set it) for libsodium's least; without it, a key file
// sealed at less than the INTERACTIVE limits is refused.
struct KeyCost {
    unsigned long long opslimit = 0;
    size_t memlimit = 0;
};
KeyCost NewKeyCost();

// This user's personal key: its file read (Load), then its seed unsealed with the passphrase.
class PersonalKey {
public:
    PersonalKey();
    ~PersonalKey();
    PersonalKey(const PersonalKey&) = delete;
    PersonalKey& operator=(const PersonalKey&) = delete;

    // Reads PersonalKeyFile() without its seed. False with a message; `missing` set when the file
    // is not there.
    bool Load(QString& error, bool* missing = nullptr);
    // Opens the sealed seed. False with a message: `wrong` set when the passphrase does not open
    // it (the request is at fault), else the file is damaged or cannot be used.
    bool Unseal(const QByteArray& passphrase, QString& error, bool* wrong = nullptr);
    bool Unsealed() const;

    QString Name() const;
    QString PublicHex() const;
    QString Fingerprint() const;
    // The key that signs, once unsealed (for the archive library's writer).
    const SigningKey& Signer() const;

private:
    friend bool MakePersonalKey(const QString&, const QByteArray&, bool, PersonalKey&, QString&,
                                QString&, bool*);
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    std::unique_ptr<SigningKey> m_signer;
};

// Makes this user's personal key with the printed name `name` (trimmed), sealed under
// `passphrase` (at least 8 bytes), and leaves it in `made`, unsealed. An existing key is refused
// unless `replace`, which moves it aside first ("personal-signing.key.replaced-YYYYMMDDTHHMMSSZ"
// beside it, named in `movedTo`): a key is never lost, since the sign-offs it signed stay its.
// False with `error`; `refused` set when the request is at fault (a name or passphrase that will
// not do, a key already there).
bool MakePersonalKey(const QString& name, const QByteArray& passphrase, bool replace,
                     PersonalKey& made, QString& movedTo, QString& error, bool* refused = nullptr);

// Reads this user's personal key for a sign-off in `archive`. A missing key file is said with what
// the archive holds: the personal keys bound on this computer, whose file may have been lost
// ("... restore it from your backup"), else how to make one.
bool FindPersonalKey(SessionArchive& archive, PersonalKey& key, QString& error);

} // namespace archive
