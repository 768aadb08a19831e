#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BrowserFakes.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "report/Report.h"
#include "session/UploadMachine.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/TempDir.h"

// Image offsets, from the program's own description of the memory: the first byte of a sector, of
// a slot's stream, and the size of the pieces a session sector travels in.
inline size_t SectorOffset(uint32_t sector) {
    return static_cast<size_t>(sector) * LogImage::kSectorSize;
}
inline size_t SessionOffset(int16_t slot) {
    return SectorOffset(LogImage::DataSector(slot));
}
constexpr size_t kPiece = UploadMachine::kPieceSize;

// The instrument's side of the conversation: its whole log memory (erased flash is 0xFF), from
// which the fixture answers the uploads the browser asks for.
struct InstrumentMemory {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(LogImage::kImageSize, 0xFF);

    // A session name: the stamp as eight upper-case hexadecimal digits, then the tags at their
    // positions (9 'F', 10 'A', 11 'C' continuation, 12 'C').
    static std::string Name(unsigned int stamp, const char* tags = "") {
        char name[20];
        std::snprintf(name, sizeof name, "%08X", stamp);
        std::string text(name);
        text.resize(19, ' ');
        for (const char* t = tags; *t != 0; ++t) {
            switch (*t) {
            case 'F':
                text[9] = 'F';
                break;
            case 'A':
                text[10] = 'A';
                break;
            case 'c':
                text[11] = 'C';
                break;
            case 'C':
                text[12] = 'C';
                break;
            default:
                break;
            }
        }
        return text;
    }

    void PutEntry(int slot, const std::string& name) {
        const size_t at = LogImage::IndexEntryOffset(static_cast<int16_t>(slot));
        const size_t room = LogImage::kEntrySize - 1;
        std::memcpy(&bytes[at], name.data(), name.size() < room ? name.size() : room);
        bytes[at + room] = 0;
    }

    // A session stream that holds one text record with `text` (no 'U': that is the escape byte).
    void PutTextSession(int slot, const std::string& text) {
        std::vector<uint8_t> record = {'<', static_cast<uint8_t>(text.size() + 4), 'T'};
        record.insert(record.end(), text.begin(), text.end());
        record.push_back('.');
        PutSession(slot, record);
    }

    void PutSession(int slot, const std::vector<uint8_t>& stream) {
        std::memcpy(&bytes[SessionOffset(static_cast<int16_t>(slot))], stream.data(),
                    stream.size());
    }

    std::vector<uint8_t> Area(size_t offset, size_t length) const {
        return std::vector<uint8_t>(bytes.begin() + static_cast<long>(offset),
                                    bytes.begin() + static_cast<long>(offset + length));
    }
};

using testsupport::InstrumentStamp;

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.Ok());
        dir = temp.Path();
        image = std::make_unique<LogImage>();
        instrument = std::make_unique<InstrumentMemory>();
        reader = std::make_unique<SessionReader>(comms, *image, report);
        browser = std::make_unique<SessionBrowser>(*reader, view, *image, report);
        reader->SetEvents(browser.get());
        reader->SetDumpPath(dir + "/FlashData.txt");
    }

    static std::vector<uint8_t> Bytes(const std::string& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    }

    // Start-up with an instrument whose "Upload flag" has version letter 'B': driver text, then a
    // configuration block (first byte `configFirst`), ending idle.
    void ToIdle(uint8_t configFirst = 8) {
        browser->Start();
        reader->OnAskDone();
        reader->OnSetDone();
        comms.upload = Bytes("V12!BUpload flag!11!129!N!");
        reader->OnUploadDone();
        ASSERT_EQ(reader->UploadState(), 1);
        reader->OnSetDone();
        comms.upload.assign(600, 0);
        comms.upload[0] = configFirst;
        reader->OnUploadDone();
        ASSERT_EQ(reader->UploadState(), 2);
        comms.Take();
    }

    // Answers like a sound instrument until the browser is idle again.
    void Pump(int limit = 1000) {
        PumpUntil([] { return false; }, limit);
    }

    // Answers like a sound instrument until `done` holds or the browser is idle again.
    void PumpUntil(const std::function<bool()>& done, int limit = 1000) {
        for (int i = 0; i < limit; ++i) {
            if (done()) {
                return;
            }
            switch (reader->UploadState()) {
            case 3:
            case 7:
                reader->OnAskDone();
                break;
            case 4:
            case 5:
            case 8:
            case 9:
                reader->OnSetDone();
                break;
            case 6:
                comms.upload = instrument->Area(SectorOffset(reader->IndexSectorCount()),
                                                LogImage::kSectorSize);
                reader->OnUploadDone();
                break;
            case 10:
                comms.upload =
                    instrument->Area(SessionOffset(reader->CurrentSlot()) +
                                         static_cast<size_t>(reader->SessionPieceCount()) * kPiece,
                                     kPiece);
                reader->OnUploadDone();
                break;
            default:
                return;
            }
        }
        FAIL() << "the browser never came back to idle";
    }

    void UploadIndex() {
        browser->OnGo();
        Pump();
        ASSERT_EQ(reader->UploadState(), 2);
    }

    // The node whose text is `text` (the first, in tree order), or -1.
    int NodeWithText(const std::string& text) const {
        const SessionTree& tree = browser->Tree();
        for (int id = 0; id < tree.Count(); ++id) {
            if (tree.At(id).text == text) {
                return id;
            }
        }
        return -1;
    }

    // What the report module makes of one slot on its own: the expected section text.
    std::string SessionText(int16_t slot) {
        ReportState fresh;
        fresh.ModeNames[0] = report.ModeNames[0];
        return RenderSession(fresh, *image, slot);
    }

    // Labels must not depend on the machine's zone; this one has summer time to prove it.
    const testsupport::ZoneGuard zone{"America/New_York"};
    const testsupport::TempDir temp{"browser-test-"};
    std::string dir;
    FakeComms comms;
    FakeView view;
    ReportState report;
    std::unique_ptr<LogImage> image;
    std::unique_ptr<InstrumentMemory> instrument;
    std::unique_ptr<SessionReader> reader;
    std::unique_ptr<SessionBrowser> browser;
};

using Calls = std::vector<std::string>;
