#pragma once

// An instrument at the level of the download core's conversation, shared by the tests that drive
// a SessionReader in process: the three tests of the upload, the driver text, the configuration
// block and a memory to stream from, with silence and spoiled answers where a test puts them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/LogImage.h"
#include "session/SessionReader.h"
#include "session/UploadComms.h"
#include "session/UploadMachine.h"

using Bytes = std::vector<uint8_t>;

// Where the slot's stream begins in the image.
inline uint32_t SessionOffset(int16_t slot) {
    return LogImage::DataSector(slot) * LogImage::kSectorSize;
}

// Each answer is queued and handed to the reader by PumpAnswers, never from inside the call, as
// the engine does.
class ScriptedInstrument : public UploadComms {
public:
    enum class Note { AskDone, SetDone, UploadDone, Timeout, Checksum };

    explicit ScriptedInstrument(const LogImage& memory) : m_memory(memory) {}

    // After this many answers the instrument falls silent: the next silentFor requests (every
    // one, when negative) time out.
    long silentAfter = -1;
    long silentFor = -1;
    // Answer number n (from 0), or every answer from n on, fails its checksum instead: the
    // engine drops it and the request times out.
    long checksumAt = -1;
    long checksumFrom = -1;
    std::deque<Note> notes;
    long answers = 0;
    // What each answer was (by its number), spoiled or not.
    std::vector<Note> answered;
    // Every request as it went on the wire, in order: "Ask <test>" or "Set <test> <value>".
    std::vector<std::string> wire;

    int Ask(int) override {
        wire.push_back("Ask " + m_current);
        Answer(Note::AskDone);
        return 1;
    }
    int Set(unsigned int value) override {
        wire.push_back("Set " + m_current + " " + std::to_string(value));
        if (m_current == "Upload flag" && value != 0) {
            // A run that falls silent after its acknowledgement times out like any request.
            if (Answer(Note::SetDone)) {
                Stream(value);
                Answer(Note::UploadDone);
            }
        } else {
            if (m_current == "Sector to upload") {
                m_sector = value;
            } else if (m_current == "Index to upload") {
                m_offset = value;
            }
            Answer(Note::SetDone);
        }
        return 1;
    }
    bool HasTest(const char* name) override {
        const std::string n = name;
        return n == "Upload flag" ||
               (!m_builtIn && (n == "Sector to upload" || n == "Index to upload"));
    }
    const char* GetNewString() override { return ""; }
    char FindTest(const char* name) override {
        const std::string n = name;
        const bool known = n == "Upload flag" ||
                           (!m_builtIn && (n == "Sector to upload" || n == "Index to upload"));
        m_current = known ? n : std::string();
        if (!known) {
            return 0;
        }
        return n == "Upload flag" && !m_builtIn ? 'B' : 'A';
    }
    void ReadDriver(const char* text) override { m_builtIn = text == nullptr; }
    void SetSensorNumber(int) override {}
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override {
        const size_t n = m_upload.size() < capacity - 1 ? m_upload.size() : capacity - 1;
        std::memcpy(dest, m_upload.data(), n);
        dest[n] = 0; // as the engine does: a zero after the data
        length = static_cast<int>(n);
        return n == m_upload.size() ? 1 : 0;
    }

private:
    bool Answer(Note note) {
        if (silentAfter >= 0 && answers >= silentAfter &&
            (silentFor < 0 || m_silenced < silentFor)) {
            ++m_silenced;
            notes.push_back(Note::Timeout);
            return false;
        }
        ++answers;
        answered.push_back(note);
        if (answers - 1 == checksumAt || (checksumFrom >= 0 && answers - 1 >= checksumFrom)) {
            notes.push_back(Note::Checksum);
            notes.push_back(Note::Timeout);
            return false;
        }
        notes.push_back(note);
        return true;
    }
    void Stream(unsigned int what) {
        m_upload.clear();
        if (what == 10) {
            const char text[] = "V12!BUpload flag!11!129!N!ASector to upload!12!130!N!"
                                "AIndex to upload!13!130!N!";
            m_upload.assign(text, text + sizeof text - 1);
        } else if (what == 20) {
            m_upload.assign(600, 0);
            m_upload[0] = 8;
            std::memcpy(&m_upload[308], "Survey", 6);
            std::memcpy(&m_upload[378], "Leak", 4);
        } else {
            // An index sector comes whole, a session sector in pieces.
            const uint32_t size = m_sector < LogImage::kIndexSectors ? LogImage::kSectorSize
                                                                     : UploadMachine::kPieceSize;
            const uint8_t* from = m_memory.Bytes() + m_sector * LogImage::kSectorSize + m_offset;
            m_upload.assign(from, from + size);
        }
    }

    const LogImage& m_memory;
    bool m_builtIn = true;
    std::string m_current;
    uint32_t m_sector = 0;
    uint32_t m_offset = 0;
    long m_silenced = 0;
    Bytes m_upload;
};

// Hands the instrument's answers to the reader one at a time, each followed by `tick` (the
// front end's 100 ms tick), until `done` holds or nothing more comes.
inline void PumpAnswers(ScriptedInstrument& instrument, SessionReader& reader,
                        const std::function<void()>& tick, const std::function<bool()>& done) {
    for (long guard = 0; guard < 200000 && !done() && !instrument.notes.empty(); ++guard) {
        const ScriptedInstrument::Note note = instrument.notes.front();
        instrument.notes.pop_front();
        switch (note) {
        case ScriptedInstrument::Note::AskDone:
            reader.OnAskDone();
            break;
        case ScriptedInstrument::Note::SetDone:
            reader.OnSetDone();
            break;
        case ScriptedInstrument::Note::UploadDone:
            reader.OnUploadDone();
            break;
        case ScriptedInstrument::Note::Timeout:
            reader.OnTimeout();
            break;
        case ScriptedInstrument::Note::Checksum:
            reader.OnChecksumError();
            break;
        }
        tick();
    }
}

inline Bytes Record(char type, char version, unsigned int stamp, const Bytes& payload) {
    Bytes r = {'<', static_cast<uint8_t>(8 + payload.size()), static_cast<uint8_t>(type),
               static_cast<uint8_t>(version)};
    const unsigned int high = stamp >> 16, low = stamp & 0xFFFF;
    r.insert(r.end(), {static_cast<uint8_t>(high & 0xFF), static_cast<uint8_t>(high >> 8),
                       static_cast<uint8_t>(low & 0xFF), static_cast<uint8_t>(low >> 8)});
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

// A session in the instrument's memory whose name is stamped `stamp`, with a switch-on record
// (when asked for) and a timed reading, and a stream that fills the sector up to its last byte so
// that every piece carries data.
inline void PutSession(LogImage& memory, int slot, unsigned int stamp, const char* tags,
                       bool switchOn) {
    char name[32];
    std::snprintf(name, sizeof name, "%08X_%.4s______", stamp, tags);
    Bytes entry(name, name + 19);
    entry.push_back(0);
    memory.Store(LogImage::IndexEntryOffset(static_cast<int16_t>(slot)), entry.data(),
                 LogImage::kEntrySize);
    // A switch-on record brings the column heading back by itself; without one the heading
    // depends on what the report before left behind.
    Bytes stream = switchOn ? Record('O', '1', stamp, {'A', 'B', 'C'}) : Bytes();
    const Bytes timed = Record('L', '1', stamp + 60, {1, 10, 0, 0xFE});
    stream.insert(stream.end(), timed.begin(), timed.end());
    stream.push_back(0xFF);
    Bytes sector(LogImage::kSectorSize, static_cast<uint8_t>(0x30 + slot % 10));
    std::copy(stream.begin(), stream.end(), sector.begin());
    memory.Store(SessionOffset(static_cast<int16_t>(slot)), sector.data(), LogImage::kSectorSize);
}

// Instrument memory that reads as erased flash.
inline void EraseMemory(LogImage& memory) {
    const Bytes erased(LogImage::kImageSize, 0xFF);
    memory.Store(0, erased.data(), LogImage::kImageSize);
}
