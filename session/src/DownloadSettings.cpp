#include "session/DownloadSettings.h"

#include "linkselect/Settings.h"

DownloadSettings ReadDownloadSettings() {
    DownloadSettings settings;
    settings.fastUpload = ReadSetting("Fast Upload") == "TRUE";
    settings.archiveDownloads = ReadSetting("Archive Downloads") != "FALSE";
    settings.archive = ReadSetting("Archive");
    settings.archiveInstrument = ReadSetting("Archive Instrument");
    return settings;
}
