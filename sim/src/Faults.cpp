#include "sim/Faults.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

bool ReadProbability(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != 0 || !(v >= 0.0 && v <= 1.0))
        return false;
    out = v;
    return true;
}

bool ReadCount(const std::string& text, long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != 0 || v < 0)
        return false;
    out = v;
    return true;
}

} // namespace

bool ParseFaultPlan(const std::string& text, FaultPlan& plan, std::string& error) {
    FaultPlan result;
    std::stringstream items(text);
    std::string item;
    bool any = false;
    while (std::getline(items, item, ',')) {
        const size_t colon = item.find(':');
        const std::string key = item.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : item.substr(colon + 1);
        bool ok = false;
        if (key == "checksum")
            ok = ReadProbability(value, result.checksum);
        else if (key == "drop")
            ok = ReadProbability(value, result.drop);
        else if (key == "refuse")
            ok = ReadProbability(value, result.refuse);
        else if (key == "garbage")
            ok = ReadProbability(value, result.garbage);
        else if (key == "stall-after")
            ok = ReadCount(value, result.stallAfter);
        if (!ok) {
            error = "bad fault \"" + item +
                    "\": expected checksum:P, drop:P, refuse:P, garbage:P (P from 0 to 1) or "
                    "stall-after:N";
            return false;
        }
        any = true;
    }
    if (!any) {
        error = "empty fault list";
        return false;
    }
    plan = result;
    return true;
}

uint64_t Dice::Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool Dice::Chance(double p) {
    if (p <= 0)
        return false;
    const double u = static_cast<double>(Next() >> 11) / 9007199254740992.0; // [0, 1)
    return u < p;
}

} // namespace sim
