#include "report/SessionName.h"

std::string SessionCalled(const SessionNaming& naming) {
    std::string when = naming.Day.empty() ? std::string("undated") : naming.Day;
    if (!naming.Start.empty()) {
        when += " " + naming.Start;
    }
    return naming.Instrument.empty() ? when : naming.Instrument + ", " + when;
}

std::string SlotNumber(int slot) {
    return "slot " + std::to_string(slot);
}
