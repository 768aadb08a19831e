#pragma once

#include "linkselect/MemoryRegistry.h"
#include "linkselect/PortDiscovery.h"

#include <string>
#include <utility>
#include <vector>

// One computer's serial devices as registry values: two cable adapters (Prolific and VCP), a
// paired instrument with a Bluetooth port, a paired phone with one, a Bluetooth port of nobody
// known, ports of other kinds, and more cable ports than the list has room for. The Windows test
// writes these values into Wine's registry; every build runs them through the fake registry too,
// and both must give the lists below. Wine enumerates values by name, so they are listed in that
// order here and the fake registry, which keeps the order of addition, sees the same order.
namespace portscenario {

struct Value {
    std::string key; // under the local machine root
    std::string name;
    std::string text; // a string value
};

inline const char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline const char kPaired[] = "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
inline const char kSppService[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM\\"
                                  "{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0000";

using Entries = std::vector<std::pair<std::string, std::string>>;

inline std::vector<Value> Values() {
    std::vector<Value> values = {
        {kPaired + std::string("\\001122aabbcc"), "Name", "ORV-7 1234"},
        {kPaired + std::string("\\665544332211"), "Name", "Phone"},
        {kSppService + std::string("\\8&2a4f&0&001122AABBCC_C00000000\\Device Parameters"),
         "PortName", "COM7"},
        {kSppService + std::string("\\8&2a4f&0&665544332211_C00000000\\Device Parameters"),
         "PortName", "COM8"},
        {kSerialComm, "\\Device\\BthModem0", "COM7"},
        {kSerialComm, "\\Device\\BthModem1", "COM8"},
        {kSerialComm, "\\Device\\BthModem2", "COM9"},
        {kSerialComm, "\\Device\\ProlificSerial0", "COM3"},
        {kSerialComm, "\\Device\\Serial0", "COM1"},
        {kSerialComm, "\\Device\\USBSER000", "COM5"},
        {kSerialComm, "\\Device\\VCP0", "COM4"},
    };
    // Twenty-two more cable ports, five more than the list has room left for: VCP10..VCP31 on
    // COM10..COM31.
    for (int i = 10; i < 32; ++i) {
        values.push_back(
            {kSerialComm, "\\Device\\VCP" + std::to_string(i), "COM" + std::to_string(i)});
    }
    return values;
}

// What discovery with Bluetooth lists for those values: the first twenty that qualify, in
// registry order; the phone's port, the unknown one and the other kinds left out.
inline Entries ExpectedPorts() {
    Entries ports = {
        {"ORV-7 1234", "COM7"}, {"IrDA Port COM3", "COM3"}, {"IrDA Port COM4", "COM4"}};
    for (int i = 10; i < 27; ++i) {
        ports.emplace_back("IrDA Port COM" + std::to_string(i), "COM" + std::to_string(i));
    }
    return ports;
}

inline Entries ExpectedBluetooth() {
    return {{"ORV-7 1234", "COM7"}};
}

inline void Fill(MemoryRegistry& registry) {
    for (const Value& value : Values()) {
        registry.SetString(value.key, value.name, value.text);
    }
}

// Discovery with Bluetooth, as the dialog runs it; false when a step failed.
inline bool DiscoverAll(Registry& registry, PortDiscovery& discovery) {
    discovery.SetRegistry(&registry);
    return discovery.DiscoverBluetoothPorts() == PortDiscovery::Outcome::Ok &&
           discovery.EnumerateSerialPorts() == PortDiscovery::Outcome::Ok;
}

inline Entries PortsOf(const PortDiscovery& discovery) {
    Entries entries;
    for (int i = 0; i < discovery.PortCount(); ++i) {
        entries.emplace_back(discovery.Port(i).DisplayText, discovery.Port(i).PortName);
    }
    return entries;
}

inline Entries BluetoothOf(const PortDiscovery& discovery) {
    Entries entries;
    for (int i = 0; i < discovery.BluetoothPortCount(); ++i) {
        entries.emplace_back(discovery.Bluetooth(i).InstrumentName,
                             discovery.Bluetooth(i).PortName);
    }
    return entries;
}

} // namespace portscenario
