#include "linkselect/LinuxRegistry.h"

#include "BluezDevices.h"
#include "RegistryPaths.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> ListDirectory(const std::string& dir, bool* readable) {
    std::vector<std::string> names;
    DIR* handle = opendir(dir.c_str());
    if (readable != nullptr) {
        *readable = handle != nullptr;
    }
    if (handle == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(handle)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(handle);
    // Directory order is arbitrary; a stable order keeps the list the same from run to run.
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string LinkTargetName(const std::string& path) {
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return std::string();
    }
    const std::string text(target, static_cast<size_t>(length));
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    return line;
}

std::string AddressKey(const std::string& address) {
    std::string key;
    for (char c : address) {
        if (c != ':') {
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

bool LooksLikeAddress(const std::string& name) {
    if (name.size() != 17) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const bool colon = i % 3 == 2;
        if (colon ? name[i] != ':' : !std::isxdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

// The "Name" entry of the [General] group of a BlueZ device info file.
bool ReadBluezName(const std::string& infoPath, std::string* name) {
    std::ifstream in(infoPath);
    if (!in) {
        return false;
    }
    std::string line;
    bool general = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '[') {
            general = line == "[General]";
        } else if (general && line.compare(0, 5, "Name=") == 0) {
            *name = line.substr(5);
            return true;
        }
    }
    return false;
}

// The devices paired with each adapter, from BlueZ's state folder (<adapter>/<device>/info), which
// only root may read on most systems. False when the folder cannot be read.
bool ReadPairedDeviceFiles(const std::string& bluetoothDir, std::vector<PairedDevice>& devices) {
    bool readable = false;
    const std::vector<std::string> adapters = ListDirectory(bluetoothDir, &readable);
    for (const std::string& adapter : adapters) {
        if (!LooksLikeAddress(adapter)) {
            continue;
        }
        for (const std::string& device : ListDirectory(bluetoothDir + "/" + adapter, nullptr)) {
            std::string name;
            if (LooksLikeAddress(device) &&
                ReadBluezName(bluetoothDir + "/" + adapter + "/" + device + "/info", &name)) {
                devices.push_back({device, name});
            }
        }
    }
    return readable;
}

struct RfcommPort {
    std::string device;  // rfcomm0
    std::string address; // remote address, upper case, no colons
    std::string channel;
};

} // namespace

LinuxRegistry::LinuxRegistry(std::string ttyClassDir, std::string bluetoothDir,
                             std::string bluezBus)
    : ttyClassDir_(std::move(ttyClassDir)), bluetoothDir_(std::move(bluetoothDir)),
      bluezBus_(std::move(bluezBus)) {}

MemoryRegistry LinuxRegistry::Snapshot(bool withPairedDevices) const {
    MemoryRegistry tree;

    bool ttyReadable = false;
    const std::vector<std::string> ttys = ListDirectory(ttyClassDir_, &ttyReadable);
    std::vector<RfcommPort> rfcommPorts;
    if (ttyReadable) {
        tree.AddKey(kSerialCommKey);
        int prolific = 0, vcp = 0, modem = 0, other = 0;
        for (const std::string& tty : ttys) {
            const std::string base = ttyClassDir_ + "/" + tty;
            std::string driver = LinkTargetName(base + "/device/driver");
            const bool rfcomm = tty.compare(0, 6, "rfcomm") == 0 && Exists(base + "/address");
            if (rfcomm) {
                // A bound rfcomm port has no device until it connects; it is a port all the same.
                driver = "rfcomm";
                rfcommPorts.push_back(
                    {tty, AddressKey(FirstLine(base + "/address")), FirstLine(base + "/channel")});
            } else if (!Exists(base + "/device")) {
                continue; // virtual consoles and pseudo-terminals
            } else if (Exists(base + "/type") && FirstLine(base + "/type") == "0") {
                // A UART slot the kernel reserves but where no chip answered: Windows lists only
                // ports that exist, and these would crowd the real ones out of the scan.
                continue;
            }
            std::string deviceName;
            if (driver == "pl2303") {
                deviceName = "\\Device\\ProlificSerial" + std::to_string(prolific++);
            } else if (driver == "ftdi_sio" || driver == "cp210x") {
                deviceName = "\\Device\\VCP" + std::to_string(vcp++);
            } else if (driver == "rfcomm") {
                deviceName = "\\Device\\BthModem" + std::to_string(modem++);
            } else {
                deviceName = "\\Device\\Serial" + std::to_string(other++);
            }
            tree.SetString(kSerialCommKey, deviceName, tty);
        }
    }

    if (!withPairedDevices) {
        return tree;
    }
    // BlueZ itself when it answers (any user may ask it), else its files.
    std::vector<PairedDevice> paired;
    bool pairedKnown = false;
    if (!bluezBus_.empty()) {
        pairedKnown = ReadBluezPairedDevices(
            bluezBus_ == kSystemBus ? SystemBusAddress() : bluezBus_, paired);
    }
    if (!pairedKnown) {
        paired.clear();
        pairedKnown = ReadPairedDeviceFiles(bluetoothDir_, paired);
    }
    if (pairedKnown) {
        tree.AddKey(kPairedDevicesKey);
        tree.AddKey(kBluetoothEnumKey);
        for (const PairedDevice& device : paired) {
            if (!LooksLikeAddress(device.address)) {
                continue;
            }
            const std::string key =
                std::string(kPairedDevicesKey) + "\\" + AddressKey(device.address);
            // A device paired with two adapters is one device.
            if (!tree.HasKey(key)) {
                tree.SetString(key, "Name", device.name);
            }
        }
        const std::string service =
            std::string(kBluetoothEnumKey) + "\\{00001101-0000-1000-8000-00805F9B34FB}_RFCOMM";
        if (!rfcommPorts.empty()) {
            tree.AddKey(service);
        }
        for (const RfcommPort& port : rfcommPorts) {
            const std::string instance = service + "\\" + port.device + "&" + port.address + "_C" +
                                         (port.channel.empty() ? "0" : port.channel);
            tree.SetString(instance + "\\Device Parameters", "PortName", port.device);
        }
    }
    return tree;
}

std::unique_ptr<RegistryKey> LinuxRegistry::OpenKey(const std::string& path) {
    // The serial-port map is read once per value scan; asking BlueZ each time would cost a bus
    // round trip for nothing.
    const bool serialMap = path.compare(0, sizeof kSerialCommKey - 1, kSerialCommKey) == 0;
    return Snapshot(!serialMap).OpenKey(path);
}
