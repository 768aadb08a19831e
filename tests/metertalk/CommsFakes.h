#pragma once

#include "linkselect/Link.h"
#include "metertalk/CommandTarget.h"
#include "metertalk/CommsListener.h"
#include "metertalk/UploadProgressView.h"

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

// A link whose received bytes are scripted tick by tick and whose writes are recorded. Storage
// is reserved up front so that reads and writes allocate nothing.
class FakeLink : public Link {
public:
    explicit FakeLink(bool pipe = false) : pipe_(pipe) {
        incoming.reserve(1 << 20);
        written.reserve(1 << 20);
        writes.reserve(1 << 14);
        ticks.reserve(1 << 14);
    }

    // The bytes the next read (one per tick) returns; reads past the script return nothing.
    void QueueTick(const std::string& bytes) {
        ticks.push_back(static_cast<int>(bytes.size()));
        incoming += bytes;
    }

    bool IsOpen() const override { return !closed; }
    int32_t Read(uint8_t* buffer, int32_t max) override {
        ++reads;
        if (closed || failReads)
            return -1;
        if (tick >= static_cast<int>(ticks.size()))
            return 0;
        int n = ticks[tick];
        if (n > max) {
            // The rest stays for the next read, as a driver queue would keep it.
            ticks[tick] -= max;
            n = max;
        } else {
            ++tick;
        }
        std::memcpy(buffer, incoming.data() + consumed, static_cast<size_t>(n));
        consumed += n;
        return n;
    }
    int32_t Write(const uint8_t* data, int32_t length) override {
        if (closed)
            return -1;
        written.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        writes.push_back(length);
        return length;
    }
    bool IsPipe() const override { return pipe_; }
    int32_t BytesWaiting() override {
        ++peeks;
        if (failPeek)
            return -1;
        if (tick >= static_cast<int>(ticks.size()))
            return 0;
        return ticks[tick];
    }
    bool SetModemLine(ModemLine line) override {
        modemLines.push_back(line);
        return true;
    }
    bool Configure(const LineSettings&) override { return true; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override {
        closed = true;
        ++closes;
    }

    // Whether every scripted byte has been read.
    bool Drained() const { return tick >= static_cast<int>(ticks.size()); }

    // The i-th write as a string.
    std::string Write(int i) const {
        int start = 0;
        for (int k = 0; k < i; ++k)
            start += writes[k];
        return written.substr(static_cast<size_t>(start), static_cast<size_t>(writes[i]));
    }
    // Everything written since the last Take, and forget it.
    std::string Take() {
        std::string all = written;
        written.clear();
        writes.clear();
        return all;
    }

    std::string incoming;
    std::vector<int> ticks;
    int tick = 0;
    int consumed = 0;
    std::string written;
    std::vector<int> writes;
    std::vector<ModemLine> modemLines;
    int reads = 0;
    int peeks = 0;
    int closes = 0;
    bool closed = false;
    bool failReads = false;
    bool failPeek = false;

private:
    bool pipe_;
};

// Records posted ids; delivers nothing.
class RecordingTarget : public CommandTarget {
public:
    RecordingTarget() { ids.reserve(1 << 14); }
    void PostCommand(int id) override { ids.push_back(id); }
    std::vector<int> Take() {
        std::vector<int> all = ids;
        ids.clear();
        return all;
    }
    std::vector<int> ids;
};

// Records the engine's events; acts on none.
class RecordingListener : public CommsListener {
public:
    RecordingListener() { events.reserve(1 << 14); }
    void OnCommsEvent(CommsEvent event) override { events.push_back(event); }
    std::vector<CommsEvent> Take() {
        std::vector<CommsEvent> all = events;
        events.clear();
        return all;
    }
    std::vector<CommsEvent> events;
};

// Events by name in a failed expectation.
inline void PrintTo(CommsEvent event, std::ostream* os) {
    static const char* const names[] = {"FrameStart", "TimedOut",      "AskDone", "SetDone",
                                        "UploadDone", "ChecksumError", "Refused"};
    const auto index = static_cast<size_t>(event);
    *os << (index < sizeof names / sizeof *names ? names[index] : "?");
}

class RecordingProgress : public UploadProgressView {
public:
    RecordingProgress() { positions.reserve(1 << 12); }
    void SetRange(int maximum) override { range = maximum; }
    void SetPosition(int position) override { positions.push_back(position); }
    void SetCaption(const std::string& text) override { caption = text; }
    void Show() override {
        ++shows;
        visible = true;
    }
    void Hide() override {
        ++hides;
        visible = false;
    }
    int range = -1;
    std::vector<int> positions;
    std::string caption;
    int shows = 0;
    int hides = 0;
    bool visible = false;
};

// A reply frame as the instrument sends it: 'Y', length character, kind, payload, separator,
// checksum, CR LF.
inline std::string MakeFrame(char kind, const std::string& payload, const char* end = "\r\n") {
    std::string frame = "Y";
    frame += static_cast<char>(64 + payload.size() + 6);
    frame += kind;
    frame += payload;
    frame += ' ';
    unsigned int sum = 0;
    for (unsigned char c : frame)
        sum += c;
    char digits[3];
    const unsigned int checksum = (0x100 - (sum & 0xff)) & 0xff;
    const char hex[] = "0123456789ABCDEF";
    digits[0] = hex[checksum >> 4];
    digits[1] = hex[checksum & 0xf];
    digits[2] = '\0';
    frame += digits;
    frame += end;
    return frame;
}

inline std::string Answer(const std::string& payload) {
    return MakeFrame('A', payload);
}
