#pragma once

#include "app/DumpCopySource.h"
#include "archive/DumpCopies.h"

#include <QString>

#include <memory>

class LogImage;

namespace archive {
class SessionArchive;
}

// The archive's copies of the sessions a dump lacks, for the browser: looked for in the archive
// Settings.ini names (never made where there is none), read back when a session is chosen.
class ArchivedDumpCopies : public DumpCopySource {
public:
    // The copies of `dump`'s lacked sessions; null when the archive is not there, cannot tell
    // the dump's instrument or keeps none of them.
    static std::unique_ptr<DumpCopySource> Find(LogImage& dump);
    ~ArchivedDumpCopies() override;

    int64_t CopyOf(int16_t slot) const override;
    bool PutInto(LogImage& image, int16_t slot) override;

private:
    ArchivedDumpCopies(std::unique_ptr<archive::SessionArchive> store, archive::DumpCopies copies);

    std::unique_ptr<archive::SessionArchive> store_;
    archive::DumpCopies copies_;
};
