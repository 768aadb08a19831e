#pragma once

#include <string>

// What an instrument tells about itself when it is connected: its driver text, its configuration
// block (empty when the driver text says it has none to send), and its serial number and firmware
// version (each empty when the driver text describes no test that reads it). The archive files
// sessions under the instrument they came from by these, and the session tree belongs to the
// instrument whose facts it was read with.
struct InstrumentFacts {
    std::string driverText;
    std::string configBlock;
    std::string serialNumber;    // trailing blanks and NULs of the fixed-length text removed
    std::string firmwareVersion; // likewise; from "Firmware version", else "Software version"

    bool Known() const { return !driverText.empty(); }
    // The same physical instrument: the serial numbers agree where both report one; without one,
    // the same driver text and configuration block (all that can tell two apart then).
    bool SameInstrumentAs(const InstrumentFacts& other) const {
        if (!serialNumber.empty() || !other.serialNumber.empty())
            return serialNumber == other.serialNumber;
        return driverText == other.driverText && configBlock == other.configBlock;
    }
};

// What the exports and the report's PDF call the instrument their sessions came from: its serial
// number, else the name the archive knows it by (the user's); empty where neither is known, as for
// a dump, which names no instrument.
inline std::string InstrumentCalled(const std::string& serialNumber,
                                    const std::string& archiveName) {
    return serialNumber.empty() ? archiveName : serialNumber;
}
