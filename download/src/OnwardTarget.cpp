#include "download/OnwardTarget.h"

#include <QString>

#include "archive/OnwardSync.h"
#include "session/DownloadSettings.h"

bool KeepsArchive(const DownloadOptions& options, const DownloadSettings& settings) {
    return options.archive && settings.archiveDownloads;
}

std::string LocalArchiveOf(const DownloadOptions& options, const DownloadSettings& settings) {
    return options.archiveAt.empty() ? settings.archive : options.archiveAt;
}

std::unique_ptr<archive::OnwardSync> OnwardSyncOf(const DownloadOptions& options) {
    const DownloadSettings settings = ReadDownloadSettings();
    const std::string target = options.syncTo.empty() ? settings.sync : options.syncTo;
    if (target.empty() || !KeepsArchive(options, settings)) {
        return nullptr;
    }
    return std::make_unique<archive::OnwardSync>(
        QString::fromLocal8Bit(LocalArchiveOf(options, settings).c_str()),
        QString::fromLocal8Bit(target.c_str()));
}
