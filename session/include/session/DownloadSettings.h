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
    std::string sync; // "Sync": the archive (a team's server) the archive is synced into after
                      // each download; empty: none
};

DownloadSettings ReadDownloadSettings();

// The name the archive gives an instrument that reports no serial number: the one given (the
// program's Instrument Name..., `--instrument`), else the "Archive Instrument" setting where one
// instrument is downloaded at a time; never that setting for several at once (it names one
// instrument, and would file them all as that one).
std::string ArchiveNameFor(const std::string& given, const DownloadSettings& settings,
                           bool oneAtATime);
