#pragma once

#include "linkselect/LinkSelectExport.h"
#include "linkselect/Registry.h"

#include <string>
#include <vector>

// A paired Bluetooth device whose name marks it as an instrument.
struct PairedInstrument {
    std::string Address;        // its registry key name, upper case
    std::string InstrumentName; // its Bluetooth name
};

// A Bluetooth serial port of a paired instrument.
struct BluetoothPort {
    std::string InstrumentName;
    std::string PortName;
};

// One entry of the list the user chooses from.
struct PortEntry {
    std::string DisplayText; // shown in the list and remembered in the settings file
    std::string PortName;    // the bare device name that is opened
};

// Builds the list of ports through which an instrument can be reached: cable ports of USB serial
// converters and, when asked for, the Bluetooth serial ports of paired instruments. The tables
// have fixed room; what does not fit is left out.
class LINKSELECT_EXPORT PortDiscovery {
public:
    static constexpr int kPairedCapacity = 40;
    static constexpr int kBluetoothCapacity = 20;
    static constexpr int kPortCapacity = 20;
    // Registry names and data are read through buffers of this size, terminating zero included.
    static constexpr size_t kBufferSize = 200;

    enum class Outcome { Ok, NoPairedDevicesKey, NoBluetoothEnumKey, NoSerialCommKey };
    // The message that ends the process for a failed outcome; empty for Ok.
    static const char* FatalMessage(Outcome outcome);

    void SetRegistry(Registry* registry) { registry_ = registry; }

    // Forgets the Bluetooth ports of an earlier run, for a run without Bluetooth discovery.
    void ClearBluetoothPorts();
    Outcome DiscoverBluetoothPorts();
    // Must follow DiscoverBluetoothPorts (or ClearBluetoothPorts): it lists Bluetooth ports of
    // paired instruments only.
    Outcome EnumerateSerialPorts();

    int PairedCount() const { return pairedCount_; }
    const PairedInstrument& Paired(int index) const { return paired_[index]; }
    int BluetoothPortCount() const { return bluetoothPortCount_; }
    const BluetoothPort& Bluetooth(int index) const { return bluetoothPorts_[index]; }
    int PortCount() const { return portCount_; }
    const PortEntry& Port(int index) const { return ports_[index]; }
    // Index of the first entry, in table order, whose DisplayText equals text exactly; -1 if none.
    int FindPort(const std::string& text) const;

private:
    Registry* registry_ = nullptr;
    PairedInstrument paired_[kPairedCapacity];
    int pairedCount_ = 0;
    BluetoothPort bluetoothPorts_[kBluetoothCapacity];
    int bluetoothPortCount_ = 0;
    PortEntry ports_[kPortCapacity];
    int portCount_ = 0;
};

// The bare names of every port through which an instrument may be reached, as the selection
// dialog lists them: cable converters of a known driver and, where the registry has them, the
// Bluetooth serial ports of paired instruments. Empty when discovery finds none or cannot run.
LINKSELECT_EXPORT std::vector<std::string> DiscoverInstrumentPorts(Registry& registry);
