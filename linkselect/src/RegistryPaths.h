#pragma once

// The registry keys that port discovery reads, under the local machine root.
inline constexpr char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr char kPairedDevicesKey[] =
    "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
inline constexpr char kBluetoothEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";
