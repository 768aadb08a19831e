#pragma once

#include <cstdint>
#include <string>

#include "core/InstrumentFacts.h"

class LogImage;

// What keeps a download's sessions beyond its reports (the archive), as the download sees it:
// told when the index and each whole session have arrived, asked which sessions it holds already.
// Plain C++, so that the download's logic stays testable without a database.
class DownloadKeeper {
public:
    virtual ~DownloadKeeper() = default;

    // After the index upload: what the instrument said about itself at connection, its mode
    // names, and the image holding the index.
    virtual void IndexArrived(const InstrumentFacts& facts, const std::string (&modeNames)[4],
                              LogImage& image) = 0;
    // The session of the index's `slot` is kept complete: it need not be uploaded again.
    virtual bool Held(int16_t slot) const = 0;
    // Puts the held session of `slot` into the image as if it had just been uploaded; false when
    // it could not be read back (the reason has been told).
    virtual bool Restore(LogImage& image, int16_t slot) = 0;
    // After the slot's sector has arrived whole.
    virtual void SessionArrived(LogImage& image, int16_t slot) = 0;
    // At the end, whatever the outcome.
    virtual void Finish() = 0;
    // Something could not be kept (the reason has been printed).
    virtual bool Failed() const = 0;
    // The archive's number of the instrument whose sessions are kept; -1 before it is known.
    virtual int64_t InstrumentId() const = 0;
};
