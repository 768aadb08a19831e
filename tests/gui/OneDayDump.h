#pragma once

// A small dump the GUI tests browse without an instrument.

#include "archive/InstrumentIdentity.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "core/LogImage.h"
#include "recbuild/RecordBuilder.h"
#include "testsupport/FlashDump.h"
#include "testsupport/InstrumentStamp.h"

#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A dump whose index names slots 3 and 4 on one day; only slot 3's sector holds a session.
inline QString WriteDump(const QString& path) {
    // As the program saves it after the index upload: the index, and zeros where no session
    // was uploaded.
    std::vector<uint8_t> bytes(LogImage::kImageSize, 0);
    std::fill(bytes.begin(), bytes.begin() + LogImage::kIndexSectors * LogImage::kSectorSize, 0xFF);
    const uint32_t stamp = testsupport::InstrumentStamp(2026, 8, 18, 8, 59, 25);
    for (int slot : {3, 4}) {
        char name[24];
        std::snprintf(name, sizeof name, "%08X ----SUR JB",
                      static_cast<unsigned>(stamp + (slot - 3) * 3600));
        std::copy(name, name + 19, bytes.begin() + slot * LogImage::kEntrySize);
    }
    std::vector<uint8_t> stream;
    RecordBuilder::Stamped('O', '1', stamp).Chars("SUR", 3).AppendTo(stream);
    RecordBuilder::Stamped('Y', '1', stamp + 600).AppendTo(stream);
    std::copy(stream.begin(), stream.end(), bytes.begin() + (3 + 10) * LogImage::kSectorSize);
    EXPECT_TRUE(testsupport::WriteFlashDump(path.toStdString(), bytes));
    return path;
}

// The sessions of the dump at `dump` imported into the archive at `at` (made there), filed under
// the instrument `name`.
inline void ArchiveTheDump(const QString& dump, const QString& at, const QString& name) {
    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(at)) << store.Error().toStdString();
    std::unique_ptr<LogImage> image(new LogImage);
    std::string message;
    ASSERT_EQ(image->LoadDump(dump.toStdString().c_str(), message), 1) << message;
    archive::StoreCounts counts;
    ASSERT_GT(store.ImportDump(store.Instrument(archive::NamedInstrument(name), name), "test",
                               archive::IndexBytes(*image), archive::CaptureSessions(*image, {}),
                               counts),
              0)
        << store.Error().toStdString();
}
