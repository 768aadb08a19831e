// This user's signing key: made once, kept where only its owner can read it, and never taken from
// a file that others could have read or put there.
#include "SigningKey.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <sodium.h>

#include "archive/HistorySigning.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {
namespace {

const char kHeader[] = "Tavon Datalogging history signing key, Ed25519 seed:";
constexpr qint64 kMostBytes = 512; // a key file is about 120 bytes

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

bool Started(QString& error) {
    if (sodium_init() < 0) {
        error = "the signing library (libsodium) cannot start";
        return false;
    }
    return true;
}

QString Shown(const QString& file) {
    return QDir::toNativeSeparators(file);
}

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

#ifdef Q_OS_UNIX

// The key file's bytes, refused when it is not the user's own or others may read or write it.
// Opened without following a link, and checked on what was opened, not on the name.
bool ReadPrivate(const QString& file, QByteArray& text, bool& missing, QString& error) {
    missing = false;
    const QByteArray path = QFile::encodeName(file);
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = "cannot read the signing key " + Shown(file) + ": " +
                QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    if (ok && info.st_uid != geteuid()) {
        error = "the signing key " + Shown(file) +
                " belongs to another user: each user signs with a key of their own";
        ok = false;
    } else if (ok && (info.st_mode & 077) != 0) {
        error = QString("the signing key %1 may be read or written by other users (mode %2): it "
                        "must be private to its owner (chmod 600 %1)")
                    .arg(Shown(file))
                    .arg(info.st_mode & 0777, 4, 8, QChar('0'));
        ok = false;
    } else if (ok && (!S_ISREG(info.st_mode) || info.st_size > kMostBytes)) {
        error = "the signing key " + Shown(file) + " is not a key file";
        ok = false;
    }
    if (ok) {
        char buffer[kMostBytes];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        ok = got >= 0;
        if (ok) {
            text = QByteArray(buffer, static_cast<int>(got));
        } else {
            error = "cannot read the signing key " + Shown(file);
        }
    }
    close(fd);
    return ok;
}

// Writes a new key beside the file and links it into place: two writers making the key at once
// both end with the one that got there first, and a reader never sees half a key.
bool PutNew(const QString& file, const QByteArray& text, QString& error) {
    QByteArray temp = QFile::encodeName(file) + ".XXXXXX";
    const int fd = mkstemp(temp.data()); // mode 0600
    if (fd < 0) {
        error = "cannot make the signing key " + Shown(file) + ": " +
                QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const bool written = write(fd, text.constData(), static_cast<size_t>(text.size())) ==
                             static_cast<ssize_t>(text.size()) &&
                         fsync(fd) == 0;
    close(fd);
    const bool placed =
        written &&
        (link(temp.constData(), QFile::encodeName(file).constData()) == 0 || errno == EEXIST);
    const int why = errno;
    unlink(temp.constData());
    if (!placed) {
        error = "cannot make the signing key " + Shown(file) + ": " +
                QString::fromLocal8Bit(std::strerror(why));
    }
    return placed;
}

#else

// The user's profile folder holds the key; its access list keeps it the user's own.
bool ReadPrivate(const QString& file, QByteArray& text, bool& missing, QString& error) {
    QFile in(file);
    missing = !in.exists();
    if (missing || !in.open(QIODevice::ReadOnly) || in.size() > kMostBytes) {
        error = "cannot read the signing key " + Shown(file);
        return false;
    }
    text = in.read(kMostBytes);
    return true;
}

bool PutNew(const QString& file, const QByteArray& text, QString& error) {
    const QString temp = file + ".new" + QString::number(QCoreApplication::applicationPid());
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() ||
        !out.flush()) {
        error = "cannot make the signing key " + Shown(file);
        return false;
    }
    out.close();
    // Never over a key another process made first.
    const bool placed = QFile::rename(temp, file) || QFile::exists(file);
    QFile::remove(temp);
    if (!placed) {
        error = "cannot make the signing key " + Shown(file);
    }
    return placed;
}

#endif

} // namespace

QString SigningKeyFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Tavon/history-signing.key";
}

bool SigningKey::Load(QString& error) {
    if (!Started(error)) {
        return false;
    }
    const QString file = SigningKeyFile();
    QByteArray text;
    bool missing = false;
    if (!ReadPrivate(file, text, missing, error)) {
        if (!missing) {
            return false;
        }
        if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
            error = "cannot make the folder of the signing key " + Shown(file);
            return false;
        }
        QByteArray seed(crypto_sign_SEEDBYTES, '\0');
        randombytes_buf(seed.data(), static_cast<size_t>(seed.size()));
        if (!PutNew(file, KeyText(seed), error) || !ReadPrivate(file, text, missing, error)) {
            return false;
        }
    }
    const QByteArray seed = SeedOf(text);
    if (seed.isEmpty()) {
        error = "the signing key " + Shown(file) + " is not a key file";
        return false;
    }
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, '\0');
    m_secret = QByteArray(crypto_sign_SECRETKEYBYTES, '\0');
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                             reinterpret_cast<unsigned char*>(m_secret.data()),
                             reinterpret_cast<const unsigned char*>(seed.constData()));
    return true;
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
    if (!Started(ignored) || !StrictHex(key, crypto_sign_PUBLICKEYBYTES) ||
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
