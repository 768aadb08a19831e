#include "session/LinkClaim.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QString>

namespace {

// The lock file of a claim: its name with anything but letters, digits and '-' made '_', so that a
// port path and a pipe name both give one file name.
QString ClaimPath(const std::string& link) {
    QString name = QString::fromStdString(link);
    for (QChar& c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-')) {
            c = QLatin1Char('_');
        }
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(QStringLiteral("tavon-") + name + QStringLiteral(".lock"));
}

std::string HolderOf(QLockFile& lock) {
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application)) {
        return std::string();
    }
    const QString who = application.isEmpty() ? QStringLiteral("another program") : application;
    return who.toStdString() + ", process " + std::to_string(pid);
}

} // namespace

LinkClaim::LinkClaim(std::unique_ptr<QLockFile> lock) : m_lock(std::move(lock)) {}

LinkClaim::~LinkClaim() {
    m_lock->unlock();
}

std::unique_ptr<LinkClaim> LinkClaim::Take(const std::string& link, std::string& holder,
                                           bool* held) {
    if (held != nullptr) {
        *held = false;
    }
    auto lock = std::make_unique<QLockFile>(ClaimPath(link));
    // A claim lasts as long as its holder runs, however long that is.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        holder.clear();
        return std::unique_ptr<LinkClaim>(new LinkClaim(std::move(lock)));
    }
    if (held != nullptr) {
        *held = lock->error() == QLockFile::LockFailedError;
    }
    switch (lock->error()) {
    case QLockFile::LockFailedError:
        holder = HolderOf(*lock);
        if (holder.empty()) {
            holder = "another program";
        }
        break;
    default:
        holder = "its lock file " + ClaimPath(link).toStdString() + " cannot be made";
        break;
    }
    return nullptr;
}

std::string LinkClaim::Holder(const std::string& name) {
    std::string holder;
    const std::unique_ptr<LinkClaim> claim = Take(name, holder);
    return claim ? std::string() : holder;
}

std::string LinkClaim::LinkName(bool pipe, const std::string& name) {
    return pipe ? "link pipe " + name : "link " + name;
}

std::string LinkClaim::RememberedPortName(const std::string& setting, std::string* device) {
    // How the dialog lists a cable port: its bare device name after this.
    static const std::string kCablePort = "IrDA Port ";
    if (setting.compare(0, kCablePort.size(), kCablePort) != 0 ||
        setting.size() == kCablePort.size()) {
        return std::string();
    }
    const std::string bare = setting.substr(kCablePort.size());
    if (device != nullptr) {
        *device = bare;
    }
    return LinkName(false, bare);
}

LinkPtr LinkClaim::OpenClaimed(const std::string& name, const std::function<LinkPtr()>& open,
                               std::unique_ptr<LinkClaim>& claim, std::string& holder) {
    bool held = false;
    std::unique_ptr<LinkClaim> taken = Take(name, holder, &held);
    if (held) {
        return nullptr;
    }
    holder.clear();
    LinkPtr link = open();
    if (link) {
        claim = std::move(taken);
    }
    return link;
}
