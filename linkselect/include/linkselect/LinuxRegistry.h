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
// SYSTEM\CurrentControlSet\services\BTHPORT\Parameters\Devices: one subkey per device paired
// with a BlueZ adapter, named by its address without colons, with a "Name" value from its info
// file.
//
// SYSTEM\CurrentControlSet\Enum\BTHENUM: one serial-port service key whose instances are the bound
// rfcomm ports, each named with its remote address (without colons, upper case) and holding
// "Device Parameters\PortName".
//
// A missing or unreadable directory is a missing key, so discovery reacts as it does on Windows.
// The tree is read afresh at every OpenKey.
class LINKSELECT_EXPORT LinuxRegistry : public Registry {
public:
    explicit LinuxRegistry(std::string ttyClassDir = "/sys/class/tty",
                           std::string bluetoothDir = "/var/lib/bluetooth");

    std::unique_ptr<RegistryKey> OpenKey(const std::string& path) override;

    // The whole synthesised tree, as OpenKey sees it now.
    MemoryRegistry Snapshot() const;

private:
    std::string ttyClassDir_;
    std::string bluetoothDir_;
};
