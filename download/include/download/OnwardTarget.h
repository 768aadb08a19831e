#pragma once

#include <memory>
#include <string>

#include "download/DownloadOptions.h"

struct DownloadSettings;

namespace archive {
class OnwardSync;
}

// Whether a download keeps its sessions in an archive: unless --no-archive or "Archive
// Downloads=FALSE".
bool KeepsArchive(const DownloadOptions& options, const DownloadSettings& settings);
// The archive it keeps them in: --archive, else "Archive" in Settings.ini; empty: the default.
std::string LocalArchiveOf(const DownloadOptions& options, const DownloadSettings& settings);

// Where the archive of a run's downloads is synced into after each: --sync, else "Sync" in
// Settings.ini. Null when nothing is archived or no such archive is named.
std::unique_ptr<archive::OnwardSync> OnwardSyncOf(const DownloadOptions& options);
