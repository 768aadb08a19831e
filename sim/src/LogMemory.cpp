#include "sim/LogMemory.h"

#include <cstdio>
#include <memory>

#include "MemoryWriter.h"
#include "SessionComposer.h"
#include "SessionPlan.h"
#include "core/LogImage.h"
#include "orvtime/Calendar.h"
#include "sim/Faults.h"
#include "sim/MemoryLayout.h"

namespace sim {

namespace {

constexpr uint8_t kErased = 0xFF;
// The plan's sessions stop here; the slots from kUnknownRecordsSlot on stay free for the session
// of unknown records.
constexpr int kPlannedSlotLimit = 470;
constexpr int kUnknownRecordsSlot = 480;
constexpr uint64_t kAddedSessionsStream = 0x4E45575345535300ull;

// The last generated day, for sessions added after it.
LastDay LastDayOf(const std::vector<GeneratedSession>& sessions) {
    LastDay day;
    for (const GeneratedSession& s : sessions)
        if (s.dated)
            day.lastStart = s.stamp;
    for (const GeneratedSession& s : sessions)
        if (s.dated && s.stamp / 86400 == day.lastStart / 86400)
            ++day.sessions;
    return day;
}

} // namespace

uint32_t InstrumentStamp(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        DaysFromCivil(2000, 1, 1);
    return static_cast<uint32_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

LogMemory::LogMemory() : m_bytes(kMemorySize, kErased) {}

bool LogMemory::Generate(const MemoryOptions& options, std::string* error) {
    std::vector<GeneratedSession> sessions;
    Dice dice(options.seed * 0x2545F4914F6CDD1Dull + 0x5EED);
    const std::vector<PlannedSession> plan = PlanSessions(dice);
    SessionComposer composer(dice);
    int slot = 0;
    for (size_t i = 0; i < plan.size() && slot < kPlannedSlotLimit; ++i) {
        GeneratedSession s = composer.Compose(plan[i], i);
        s.slot = slot++;
        sessions.push_back(std::move(s));
        // The slot after the overflowing run stays free, and a few sessions were deleted.
        if (plan[i].special == SpecialSession::OverflowingRun || dice.Chance(0.06))
            ++slot;
    }
    const int deletedBelow = slot;

    if (options.newSessions > 0) {
        if (options.newSessions > kUnknownRecordsSlot - slot) {
            if (error != nullptr)
                *error = "only " + std::to_string(kUnknownRecordsSlot - slot) +
                         " new sessions fit after the last one";
            return false;
        }
        // Drawn from a stream of their own, so that the sessions before them stay as they were.
        Dice added(options.seed ^ kAddedSessionsStream);
        SessionComposer addedComposer(added, composer.PreviousEnd());
        NewSessionDays days(LastDayOf(sessions), plan.size());
        for (int k = 0; k < options.newSessions; ++k) {
            GeneratedSession s =
                addedComposer.Compose(days.Next(addedComposer.PreviousEnd(), added),
                                      plan.size() + static_cast<size_t>(k));
            s.slot = slot++;
            sessions.push_back(std::move(s));
        }
    }
    if (options.withUnknownRecords) {
        GeneratedSession s = UnknownRecordsSession(options.seed);
        s.slot = kUnknownRecordsSlot;
        sessions.push_back(std::move(s));
    }

    std::vector<uint8_t> bytes(kMemorySize, kErased);
    std::vector<bool> used(kSlotCount, false);
    for (GeneratedSession& s : sessions) {
        WriteSession(bytes, s);
        used[static_cast<size_t>(s.slot)] = true;
    }
    for (int deleted = 0; deleted < deletedBelow; ++deleted)
        if (!used[static_cast<size_t>(deleted)])
            WriteDeletedEntry(bytes, deleted);
    m_bytes.swap(bytes);
    m_sessions.swap(sessions);
    return true;
}

bool LogMemory::WriteDump(const std::string& path, std::string& error) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot write " + path;
        return false;
    }
    char line[16 * 3 + 3];
    static const char kHex[] = "0123456789ABCDEF";
    bool ok = true;
    for (size_t row = 0; row < kMemorySize && ok; row += 16) {
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t b = m_bytes[row + i];
            line[3 * i] = kHex[b >> 4];
            line[3 * i + 1] = kHex[b & 15];
            line[3 * i + 2] = ' ';
        }
        line[48] = '\r';
        line[49] = '\n';
        ok = std::fwrite(line, 1, 50, f) == 50;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

bool LogMemory::LoadDump(const std::string& path, std::string& error) {
    // The program's own reader: a file it would refuse is refused here too, with its message.
    static_assert(LogImage::kImageSize == kMemorySize,
                  "the image and the memory are the same size");
    std::unique_ptr<LogImage> image(new LogImage);
    if (image->LoadDump(path.c_str(), error) != 1)
        return false;
    m_bytes.assign(image->Bytes(), image->Bytes() + kMemorySize);
    m_sessions.clear();
    return true;
}

} // namespace sim
