#include "session/DownloadSettings.h"

#include "linkselect/Settings.h"

DownloadSettings ReadDownloadSettings() {
    DownloadSettings settings;
    settings.fastUpload = ReadSetting("Fast Upload") == "TRUE";
    settings.archiveDownloads = ReadSetting("Archive Downloads") != "FALSE";
    settings.archive = ReadSetting("Archive");
    settings.archiveInstrument = ReadSetting("Archive Instrument");
    settings.sync = ReadSetting("Sync");
    return settings;
}

std::string ArchiveNameFor(const std::string& given, const DownloadSettings& settings,
                           bool oneAtATime) {
    if (!given.empty() || !oneAtATime) {
        return given;
    }
    return settings.archiveInstrument;
}
