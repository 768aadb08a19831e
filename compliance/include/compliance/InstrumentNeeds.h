#pragma once

// What the register says an instrument needs today: the one answer that the program's status line
// after GO and the watcher's log both give. It opens the archive on a connection of its own, so
// that a download's connection stays the download's, and makes the events of that instrument's
// sessions only, so that a large archive of other instruments costs nothing here.

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace compliance {

struct InstrumentNeeds {
    // False when the archive could not be opened or read, or holds no such instrument.
    bool read = false;
    // AttentionLines of its status, worst first; empty when all is ok. Of every instrument the
    // word names, one after another.
    std::vector<std::string> lines;
    // The switch-on stamps of its dated sessions used while a test was overdue or had failed.
    std::vector<uint32_t> usedWhileOverdue;
};

// `archiveAt` is the archive's location as the settings give it (empty: the default). The
// instrument is its id in that archive, or a word that names it there (what the archive calls it,
// its serial number or its fingerprint).
InstrumentNeeds NeedsOf(const QString& archiveAt, qint64 instrument);
InstrumentNeeds NeedsOf(const QString& archiveAt, const QString& instrument);

} // namespace compliance
