#include "RecordComposer.h"

namespace sim {

RecordComposer::RecordComposer(Dice& dice, uint32_t start, int fixSeed) : m_dice(dice), m_t(start) {
    m_latFrac = static_cast<int16_t>(1000 + (fixSeed * 977) % 8000);
    m_lonFrac = static_cast<int16_t>(1000 + (fixSeed * 613) % 8000);
}

void RecordComposer::Add(const RecordBuilder& r) {
    const std::vector<uint8_t> bytes = r.Bytes();
    if (bytes.size() >= 4) {
        const std::string kind{static_cast<char>(bytes[2]),
                               bytes[2] == 'T' ? '-' : static_cast<char>(bytes[3])};
        m_kinds.insert(kind);
        if (bytes[2] == 'A')
            alarm = true;
        if (bytes[2] == 'C')
            cal = true;
        if (bytes[2] == 'F')
            fieldCal = true;
    }
    m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
}

GpsFix RecordComposer::Fix() {
    m_latFrac = static_cast<int16_t>((m_latFrac + Pick(0, 40)) % 10000);
    m_lonFrac = static_cast<int16_t>((m_lonFrac + Pick(0, 40)) % 10000);
    return GpsFix::At(true, 5328, m_latFrac, false, 214, m_lonFrac,
                      static_cast<uint8_t>(Pick(1, 2)));
}

std::string RecordComposer::Kinds() const {
    std::string out;
    for (const std::string& k : m_kinds)
        out += (out.empty() ? "" : " ") + k;
    return out;
}

} // namespace sim
