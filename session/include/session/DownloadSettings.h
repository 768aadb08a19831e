#pragma once

#include <string>

// The settings that steer a download, as Settings.ini holds them. Read here alone, for the
// program, `tavon-datalog download` and the watcher alike, and handed to what they steer.
struct DownloadSettings {
    bool fastUpload = false;       // "Fast Upload=TRUE": each answer taken as it arrives
    bool archiveDownloads = true;  // "Archive Downloads=FALSE": nothing kept in the archive
    std::string archive;           // "Archive": where the archive is; empty: the default one
    std::string archiveInstrument; // "Archive Instrument": the program's name for an
                                   // instrument that reports no serial number
};

DownloadSettings ReadDownloadSettings();
