#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "recbuild/RecordBuilder.h"
#include "sim/Faults.h"

namespace sim {

// Writes one session's records, keeping its clock, its tags and the letters it used.
class RecordComposer {
public:
    // fixSeed places the session's site, so that each session works somewhere of its own.
    RecordComposer(Dice& dice, uint32_t start, int fixSeed);

    Dice& dice() { return m_dice; }
    uint32_t Now() const { return m_t; }
    void Step(uint32_t lo, uint32_t hi) { m_t += lo + m_dice.Below(hi - lo + 1); }
    int Pick(int lo, int hi) {
        return lo + static_cast<int>(m_dice.Below(static_cast<uint32_t>(hi - lo + 1)));
    }
    bool Coin(double p) { return m_dice.Chance(p); }
    size_t Size() const { return m_stream.size(); }
    const std::vector<uint8_t>& Stream() const { return m_stream; }

    void Add(const RecordBuilder& r);
    // A fix near the session's site, wandering a little from record to record.
    GpsFix Fix();
    // The record letters and versions used, each pair once, e.g. "A1 O1 W3".
    std::string Kinds() const;

    bool alarm = false, cal = false, fieldCal = false;

private:
    Dice& m_dice;
    uint32_t m_t;
    int16_t m_latFrac, m_lonFrac;
    std::vector<uint8_t> m_stream;
    std::set<std::string> m_kinds;
};

} // namespace sim
