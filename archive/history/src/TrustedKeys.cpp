// The lists of keys trusted to sign a history: where they are, how they are read and written,
// and what they add to verify's verdict.
#include "archive/TrustedKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "archive/HistorySigning.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {
namespace {

constexpr qint64 kMostBytes = 1 << 20; // a list of a thousand keys is 40 KB

const char kUserListHeader[] =
    "# Keys this user trusts to sign archive histories, one fingerprint a line\n"
    "# (tavon-datalog archive keys --trust FINGERPRINT adds one).\n";

QString Shown(const QString& file) {
    return QDir::toNativeSeparators(file);
}

#ifdef Q_OS_UNIX

// The list's bytes, refused when others may write it or it belongs to someone who is neither
// this user nor root: a list anyone could have written proves nothing. Checked on what was
// opened, not on the name.
bool ReadList(const QString& file, QByteArray& text, bool& missing, QString& error) {
    missing = false;
    const int fd = open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = "cannot read the list of trusted keys " + Shown(file) + ": " +
                QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    if (ok && info.st_uid != geteuid() && info.st_uid != 0) {
        error = "the list of trusted keys " + Shown(file) +
                " belongs to another user: a list of trusted keys must be your own or the"
                " system's (root's)";
        ok = false;
    } else if (ok && (info.st_mode & 022) != 0) {
        error =
            QString("the list of trusted keys %1 may be written by other users (mode %2): only its"
                    " owner may write it (chmod go-w %1)")
                .arg(Shown(file))
                .arg(info.st_mode & 0777, 4, 8, QChar('0'));
        ok = false;
    } else if (ok && (!S_ISREG(info.st_mode) || info.st_size > kMostBytes)) {
        error = "the list of trusted keys " + Shown(file) + " is not a file of at most 1 MiB";
        ok = false;
    }
    if (ok) {
        QFile in;
        ok = in.open(fd, QIODevice::ReadOnly);
        text = ok ? in.read(kMostBytes + 1) : QByteArray();
        if (!ok || text.size() > kMostBytes) {
            error = "cannot read the list of trusted keys " + Shown(file);
            ok = false;
        }
    }
    close(fd);
    return ok;
}

#else

// The folders of both lists (the user's profile, ProgramData) carry access lists of their own.
bool ReadList(const QString& file, QByteArray& text, bool& missing, QString& error) {
    QFile in(file);
    missing = !in.exists();
    if (missing || !in.open(QIODevice::ReadOnly) || in.size() > kMostBytes) {
        error = "cannot read the list of trusted keys " + Shown(file) +
                (missing ? QString(": there is no such file") : QString());
        return false;
    }
    text = in.read(kMostBytes);
    return true;
}

#endif

// A line left out, shown without what a terminal would take for a command.
QString Printable(const QString& line) {
    QString shown;
    for (const QChar c : line.left(80)) {
        shown += c.isPrint() ? c : QChar('?');
    }
    return line.size() > 80 ? shown + "..." : shown;
}

void AddList(const QString& file, const QByteArray& text, TrustedKeys& keys) {
    const QStringList lines = QString::fromUtf8(text).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QString fingerprint = NormalFingerprint(line);
        if (fingerprint.isEmpty()) {
            keys.notes << QString("%1, line %2: \"%3\" is not a key's fingerprint, and is left out")
                              .arg(Shown(file))
                              .arg(i + 1)
                              .arg(Printable(line));
        } else {
            keys.fingerprints.insert(fingerprint);
        }
    }
}

bool ReadOne(const QString& file, bool mayBeMissing, TrustedKeys& keys, QString& error) {
    QByteArray text;
    bool missing = false;
    if (!ReadList(file, text, missing, error)) {
        if (missing && mayBeMissing) {
            error.clear();
            return true;
        }
        return false;
    }
    AddList(file, text, keys);
    return true;
}

} // namespace

QString UserTrustedKeysFile() {
    return QFileInfo(SigningKeyFile()).absolutePath() + "/trusted-keys";
}

QString SystemTrustedKeysFile() {
    const QString given = qEnvironmentVariable("TAVON_SYSTEM_TRUSTED_KEYS");
    if (!given.isEmpty()) {
        return given;
    }
#ifdef Q_OS_WIN
    const QString common = qEnvironmentVariable("ProgramData", "C:/ProgramData");
    return QDir::fromNativeSeparators(common) + "/Tavon Datalogging/trusted-keys";
#else
    return "/etc/tavon-datalogging/trusted-keys";
#endif
}

bool ReadTrustedKeys(const QStringList& oneRun, TrustedKeys& keys, QString& error) {
    keys = TrustedKeys();
    if (!ReadOne(SystemTrustedKeysFile(), true, keys, error) ||
        !ReadOne(UserTrustedKeysFile(), true, keys, error)) {
        return false;
    }
    for (const QString& file : oneRun) {
        if (!ReadOne(file, false, keys, error)) {
            return false;
        }
    }
    return true;
}

bool TrustKey(const QString& fingerprint, QString& file, bool& already, QString& error) {
    file = UserTrustedKeysFile();
    already = false;
    QByteArray text;
    bool missing = false;
    if (!ReadList(file, text, missing, error) && !missing) {
        return false;
    }
    TrustedKeys held;
    AddList(file, text, held);
    if (held.fingerprints.contains(fingerprint)) {
        already = true;
        return true;
    }
    if (missing) {
        text = kUserListHeader;
    } else if (!text.isEmpty() && !text.endsWith('\n')) {
        text += '\n';
    }
    text += fingerprint.toLatin1() + '\n';
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        error = "cannot make the folder of the list of trusted keys " + Shown(file);
        return false;
    }
    // Written beside it and renamed into place: a reader never sees half a list.
    QSaveFile out(file);
    const bool written = out.open(QIODevice::WriteOnly) &&
                         out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         out.write(text) == text.size() && out.commit();
    if (!written) {
        error = "cannot write the list of trusted keys " + Shown(file) + ": " + out.errorString();
        return false;
    }
    return true;
}

void ApplyTrust(const TrustedKeys& keys, VerifySummary& summary) {
    if (!summary.readable) {
        return;
    }
    if (!keys.Set()) {
        summary.trustNote = "signatures checked for consistency only: no trusted keys are set";
        return;
    }
    // A row signed by a key no list holds is a mismatch like any other: a writer of the
    // database may have signed it with a key of their own.
    summary.mismatches += UntrustedLines(summary, keys.fingerprints);
}

VerifySummary VerifyTrusted(SessionArchive& archive, const TrustedKeys& keys) {
    VerifySummary summary = VerifyArchive(archive);
    ApplyTrust(keys, summary);
    return summary;
}

} // namespace archive
