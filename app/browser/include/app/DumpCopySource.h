#pragma once

#include <cstdint>

class LogImage;

// Where the browser finds the sessions a dump it browses lacks: the archive's copies of them (the
// same instrument, slot and start). Plain C++, so that the browser is tested without a database.
class DumpCopySource {
public:
    virtual ~DumpCopySource() = default;

    // The archive's number of its copy of the slot's session (`archive render ID`); -1: none.
    virtual int64_t CopyOf(int16_t slot) const = 0;
    // Puts that copy into the image in place of the sector the dump lacks; false when it could
    // not be read.
    virtual bool PutInto(LogImage& image, int16_t slot) = 0;
};
