#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/SessionArchive.h"

// Sessions made record by record, as an instrument writes them, for the register's tests.
namespace compliancetest {

// Seconds since 2000-01-01 of 08:00 on `day` days after 2026-12-01 on the instrument's clock.
uint32_t MorningOf(int day);

// One session: switched on at `start`; `tests` is a list of words, each a test made a minute
// apart after switch-on: "B4+" a bump test of sensor 4 that passed, "C0-" a calibration of sensor
// 0 that failed, "B4x" a bump test that left sensor 4 not tested, "c4" a calibration of the
// record version without results, "F4" a field calibration (it carries none either), "Z4+" a zero,
// "S" a passed soundness test with a failed filter check, "S+" one with a passed filter check,
// "K-" and "K+" a filter check alone, "A4" an alarm of gas 4 (CO). Jobs and users go before the
// tests.
struct SessionSpec {
    SessionSpec(uint32_t at, std::string words, std::string jobNumber = std::string(),
                std::string userName = std::string())
        : start(at), tests(std::move(words)), job(std::move(jobNumber)), user(std::move(userName)) {
    }
    uint32_t start = 0;
    std::string tests;
    std::string job;
    std::string user;
    bool open = false;    // still being recorded: no switch-off yet
    bool undated = false; // its index entry bears no start (the instrument's clock was not set)
};

// The captured form of each session, in the order given, in slots 0, 1, ...; the index upload
// that holds them in `index` when given.
std::vector<archive::CapturedSession> MakeSessions(const std::vector<SessionSpec>& specs,
                                                   QByteArray* index = nullptr);

// Files them under a new instrument called `name` (that reports `serial`) in one import; its id,
// or -1.
qint64 ImportSessions(archive::SessionArchive& store, const QString& name,
                      const std::vector<SessionSpec>& specs, const QString& serial = QString());

} // namespace compliancetest
