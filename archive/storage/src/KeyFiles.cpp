// A user's key files: read only where nobody else could have read them or put them there.
#include "archive/KeyFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

QString ShownPath(const QString& file) {
    return QDir::toNativeSeparators(file);
}

#ifdef Q_OS_UNIX

namespace {

QString Why() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString ModeText(mode_t mode) {
    return QString("%1").arg(mode & 0777, 4, 8, QChar('0'));
}

// The folder, opened, when it is this user's and nobody else may write it; -1 otherwise, with
// `missing` set when there is none.
int OpenKeyFolder(const QString& folder, const QString& what, bool& missing, QString& error) {
    const int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = "cannot read the folder " + ShownPath(folder) + " of " + what + ": " + Why();
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        error = "cannot read the folder " + ShownPath(folder) + " of " + what + ": " + Why();
    } else if (info.st_uid != geteuid()) {
        error = "the folder " + ShownPath(folder) + " of " + what +
                " belongs to another user: each user keeps their keys in a folder of their own";
    } else if ((info.st_mode & 022) != 0) {
        error = QString("the folder %1 of %2 may be written by other users (mode %3), who could "
                        "put a key of their own there: it must be its owner's alone (chmod 700 %1)")
                    .arg(ShownPath(folder), what, ModeText(info.st_mode));
    } else {
        return fd;
    }
    close(fd);
    return -1;
}

bool CheckKeyFile(int fd, const QString& file, const QString& what, qint64 mostBytes,
                  QString& error) {
    struct stat info;
    if (fstat(fd, &info) != 0) {
        error = "cannot read " + what + ' ' + ShownPath(file) + ": " + Why();
    } else if (info.st_uid != geteuid()) {
        error = what + ' ' + ShownPath(file) +
                " belongs to another user: each user signs with a key of their own";
    } else if ((info.st_mode & 077) != 0) {
        error = QString("%1 %2 may be read or written by other users (mode %3): it must be "
                        "private to its owner (chmod 600 %2)")
                    .arg(what, ShownPath(file), ModeText(info.st_mode));
    } else if (!S_ISREG(info.st_mode) || info.st_size > mostBytes) {
        error = what + ' ' + ShownPath(file) + " is not a key file";
    } else {
        return true;
    }
    return false;
}

} // namespace

bool ReadKeyFile(const QString& file, const QString& what, qint64 mostBytes, QByteArray& text,
                 bool& missing, QString& error) {
    missing = false;
    const QFileInfo place(file);
    const int folder = OpenKeyFolder(place.absolutePath(), what, missing, error);
    if (folder < 0) {
        return false;
    }
    const int fd = openat(folder, QFile::encodeName(place.fileName()).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = "cannot read " + what + ' ' + ShownPath(file) + ": " + Why();
        close(folder);
        return false;
    }
    close(folder);
    bool ok = CheckKeyFile(fd, file, what, mostBytes, error);
    if (ok) {
        QByteArray buffer(static_cast<int>(mostBytes) + 1, '\0');
        const ssize_t got = read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
        ok = got >= 0 && got <= mostBytes;
        if (ok) {
            text = buffer.left(static_cast<int>(got));
        } else {
            error = "cannot read " + what + ' ' + ShownPath(file);
        }
    }
    close(fd);
    return ok;
}

bool MakeKeyFolder(const QString& file, const QString& what, QString& error) {
    const QFileInfo place(file);
    const QString folder = place.absolutePath();
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent) ||
        (mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)) {
        error = "cannot make the folder " + ShownPath(folder) + " of " + what + ": " + Why();
        return false;
    }
    bool missing = false;
    const int fd = OpenKeyFolder(folder, what, missing, error);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

bool PutNewKeyFile(const QString& file, const QString& what, const QByteArray& text, bool& existed,
                   QString& error) {
    existed = false;
    QByteArray temp = QFile::encodeName(file) + ".XXXXXX";
    const int fd = mkstemp(temp.data()); // mode 0600
    if (fd < 0) {
        error = "cannot make " + what + ' ' + ShownPath(file) + ": " + Why();
        return false;
    }
    const bool written = write(fd, text.constData(), static_cast<size_t>(text.size())) ==
                             static_cast<ssize_t>(text.size()) &&
                         fsync(fd) == 0;
    close(fd);
    bool placed = written && link(temp.constData(), QFile::encodeName(file).constData()) == 0;
    existed = written && !placed && errno == EEXIST;
    const QString why = Why();
    unlink(temp.constData());
    if (!placed && !existed) {
        error = "cannot make " + what + ' ' + ShownPath(file) + ": " + why;
    }
    return placed || existed;
}

#else

// The user's profile folder holds the keys; its access list keeps them the user's own.
bool ReadKeyFile(const QString& file, const QString& what, qint64 mostBytes, QByteArray& text,
                 bool& missing, QString& error) {
    QFile in(file);
    missing = !in.exists();
    if (missing || !in.open(QIODevice::ReadOnly) || in.size() > mostBytes) {
        error = "cannot read " + what + ' ' + ShownPath(file);
        return false;
    }
    text = in.read(mostBytes);
    return true;
}

bool MakeKeyFolder(const QString& file, const QString& what, QString& error) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        error = "cannot make the folder of " + what + ' ' + ShownPath(file);
        return false;
    }
    return true;
}

bool PutNewKeyFile(const QString& file, const QString& what, const QByteArray& text, bool& existed,
                   QString& error) {
    existed = QFile::exists(file);
    if (existed) {
        return true;
    }
    const QString temp = file + ".new" + QString::number(QCoreApplication::applicationPid());
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() ||
        !out.flush()) {
        error = "cannot make " + what + ' ' + ShownPath(file);
        return false;
    }
    out.close();
    // Never over a key another process made first.
    const bool placed = QFile::rename(temp, file);
    existed = !placed && QFile::exists(file);
    QFile::remove(temp);
    if (!placed && !existed) {
        error = "cannot make " + what + ' ' + ShownPath(file);
    }
    return placed || existed;
}

#endif

} // namespace archive
