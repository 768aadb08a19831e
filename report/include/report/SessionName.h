#pragma once

// How a session is named to people, the same wherever one is named: by its instrument, its day and
// its start on the instrument's clock, as the session tree and the archive's listing show them.
// A number printed beside it says which number it is: the slot the instrument keeps it in.
//
//     SessionCalled({"van 7", "2026-08-18", "08:59:25"}) + " (" + SlotNumber(2) + ")"
//         // "van 7, 2026-08-18 08:59:25 (slot 2)"

#include <string>

struct SessionNaming {
    std::string Instrument; // UTF-8, as InstrumentCalled gives it; empty where none is known
    std::string Day;        // "YYYY-MM-DD" of its index entry's start; empty: undated
    std::string Start;      // "HH:MM:SS"; empty where not known
};

// "van 7, 2026-08-18 08:59:25"; without an instrument "2026-08-18 08:59:25"; an undated session
// reads "undated", and an unknown start is left out.
std::string SessionCalled(const SessionNaming& naming);

// "slot 2".
std::string SlotNumber(int slot);
