#pragma once

#include "linkselect/MemoryRegistry.h"

#include <string>

// The three registry trees that port discovery reads, synthesised from Linux's own records:
//
// HARDWARE\DEVICEMAP\SERIALCOMM: one value per tty of the sysfs tty class that has a device (or
// is a bound rfcomm port; UART slots whose type is 0, where no chip is present, are left out),
// named after its kernel driver as Windows names its device objects: pl2303
// "\Device\ProlificSerialN", ftdi_sio and cp210x "\Device\VCPN", rfcomm "\Device\BthModemN", every
// other driver "\Device\SerialN"; the data is the bare device name ("ttyUSB0").
//
// SYSTEM\CurrentControlSet\services\BTHPORT\Parameters\Devices: one subkey per paired device,
// named by its address without colons, with a "Name" value. The BlueZ daemon is asked first (its
// object manager on the system bus answers any user); only when it does not answer are its state
// files read (<bluetoothDir>/<adapter>/<device>/info, which only root may read on most systems).
//
// SYSTEM\CurrentControlSet\Enum\BTHENUM: one serial-port service key whose instances are the bound
// rfcomm ports, each named with its remote address (without colons, upper case) and holding
// "Device Parameters\PortName". The bindings are read from the tty class (rfcommN/address and
// rfcommN/channel, readable by every user), since BlueZ does not know them.
//
// A missing or unreadable directory, or neither BlueZ nor its files, is a missing key, so
// discovery reacts as it does on Windows. The tree is read afresh at every OpenKey.
class LINKSELECT_EXPORT LinuxRegistry : public Registry {
public:
    // bluezBus: the D-Bus address where BlueZ is asked, kSystemBus for the system bus, empty to
    // read only the files.
    static constexpr char kSystemBus[] = "system";

    explicit LinuxRegistry(std::string ttyClassDir = "/sys/class/tty",
                           std::string bluetoothDir = "/var/lib/bluetooth",
                           std::string bluezBus = kSystemBus);

    std::unique_ptr<RegistryKey> OpenKey(const std::string& path) override;

    // The whole synthesised tree, as OpenKey sees it now; without the paired devices and the
    // Bluetooth serial instances when withPairedDevices is false.
    MemoryRegistry Snapshot(bool withPairedDevices = true) const;

private:
    std::string ttyClassDir_;
    std::string bluetoothDir_;
    std::string bluezBus_;
};
