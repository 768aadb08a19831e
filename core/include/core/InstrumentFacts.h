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
    std::string serialNumber;    // as ReportedText gives it
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

// A text the instrument reported in a fixed-length field (its serial number, its firmware
// version), as every view shows it and the archive keeps it: control bytes count as blanks, and
// blanks (the field's padding among them) are no part of it at either end and single within it.
inline std::string ReportedText(const std::string& field) {
    std::string text;
    bool blank = false;
    for (const char c : field) {
        const unsigned char byte = static_cast<unsigned char>(c);
        // 0xA0 is the code page's no-break space.
        if (byte <= 0x20 || byte == 0x7F || byte == 0xA0) {
            blank = !text.empty();
            continue;
        }
        if (blank) {
            text += ' ';
            blank = false;
        }
        text += c;
    }
    return text;
}

// What the exports and the report's PDF call the instrument their sessions came from: its serial
// number, else the name the archive knows it by (the user's); empty where neither is known, as for
// a dump, which names no instrument.
inline std::string InstrumentCalled(const std::string& serialNumber,
                                    const std::string& archiveName) {
    return serialNumber.empty() ? archiveName : serialNumber;
}
