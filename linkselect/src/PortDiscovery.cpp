#include "linkselect/PortDiscovery.h"

#include <algorithm>

#include "RegistryPaths.h"

#include <cctype>
#include <cstring>

namespace {

constexpr uint32_t kScanLimit = 40;
constexpr uint32_t kPortNameValueLimit = 20;

struct Value {
    char name[PortDiscovery::kBufferSize];
    uint8_t data[PortDiscovery::kBufferSize];
    size_t size = 0;

    bool Read(RegistryKey& key, uint32_t index) {
        size = sizeof data;
        if (!key.EnumValue(index, name, sizeof name, data, &size) || size > sizeof data) {
            return false;
        }
        name[sizeof name - 1] = '\0';
        return true;
    }
    // The data as a string: the bytes up to the first zero.
    std::string Text() const {
        const void* zero = std::memchr(data, 0, size);
        const size_t length = zero ? static_cast<const uint8_t*>(zero) - data : size;
        return std::string(reinterpret_cast<const char*>(data), length);
    }
};

bool ReadSubkey(RegistryKey& key, uint32_t index, char (&name)[PortDiscovery::kBufferSize]) {
    if (!key.EnumKey(index, name, sizeof name)) {
        return false;
    }
    name[sizeof name - 1] = '\0';
    return true;
}

std::string UpperCase(const char* text) {
    std::string upper = text;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

} // namespace

const char* PortDiscovery::FatalMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::NoPairedDevicesKey:
        return "There are no Tavons paired to this computer";
    case Outcome::NoBluetoothEnumKey:
    case Outcome::NoSerialCommKey:
        return "There are no ports available for communication";
    case Outcome::Ok:
        break;
    }
    return "";
}

void PortDiscovery::ClearBluetoothPorts() {
    bluetoothPortCount_ = 0;
    pairedCount_ = 0;
}

PortDiscovery::Outcome PortDiscovery::DiscoverBluetoothPorts() {
    ClearBluetoothPorts();
    if (registry_ == nullptr) {
        return Outcome::NoPairedDevicesKey;
    }

    std::unique_ptr<RegistryKey> devices = registry_->OpenKey(kPairedDevicesKey);
    if (!devices) {
        return Outcome::NoPairedDevicesKey;
    }
    char keyName[kBufferSize];
    for (uint32_t index = 0; index < kScanLimit; ++index) {
        if (!ReadSubkey(*devices, index, keyName)) {
            break;
        }
        const std::string address = UpperCase(keyName);
        std::unique_ptr<RegistryKey> device =
            registry_->OpenKey(std::string(kPairedDevicesKey) + "\\" + address);
        if (!device) {
            continue;
        }
        Value value;
        for (uint32_t valueIndex = 0; valueIndex < kScanLimit; ++valueIndex) {
            if (!value.Read(*device, valueIndex)) {
                continue;
            }
            if (std::strcmp(value.name, "Name") == 0 && value.size >= 5 &&
                std::memcmp(value.data, "ORV-7", 5) == 0 && pairedCount_ < kPairedCapacity) {
                paired_[pairedCount_++] = {address, value.Text()};
            }
        }
    }

    std::unique_ptr<RegistryKey> enumerator = registry_->OpenKey(kBluetoothEnumKey);
    if (!enumerator) {
        return Outcome::NoBluetoothEnumKey;
    }
    char serviceName[kBufferSize];
    char instanceName[kBufferSize];
    for (uint32_t serviceIndex = 0; serviceIndex < kScanLimit; ++serviceIndex) {
        if (!ReadSubkey(*enumerator, serviceIndex, serviceName)) {
            continue;
        }
        const std::string servicePath = std::string(kBluetoothEnumKey) + "\\" + serviceName;
        std::unique_ptr<RegistryKey> service = registry_->OpenKey(servicePath);
        if (!service) {
            continue;
        }
        for (uint32_t instanceIndex = 0; instanceIndex < kScanLimit; ++instanceIndex) {
            if (!ReadSubkey(*service, instanceIndex, instanceName)) {
                continue;
            }
            const PairedInstrument* owner = nullptr;
            for (int i = 0; i < pairedCount_ && owner == nullptr; ++i) {
                if (std::strstr(instanceName, paired_[i].Address.c_str()) != nullptr) {
                    owner = &paired_[i];
                }
            }
            if (owner == nullptr) {
                continue;
            }
            std::unique_ptr<RegistryKey> parameters =
                registry_->OpenKey(servicePath + "\\" + instanceName + "\\Device Parameters");
            if (!parameters) {
                continue;
            }
            Value value;
            for (uint32_t valueIndex = 0; valueIndex < kPortNameValueLimit; ++valueIndex) {
                if (!value.Read(*parameters, valueIndex)) {
                    continue;
                }
                if (std::strcmp(value.name, "PortName") == 0 &&
                    bluetoothPortCount_ < kBluetoothCapacity) {
                    bluetoothPorts_[bluetoothPortCount_++] = {owner->InstrumentName, value.Text()};
                }
            }
        }
    }
    return Outcome::Ok;
}

PortDiscovery::Outcome PortDiscovery::EnumerateSerialPorts() {
    std::unique_ptr<RegistryKey> map = registry_ ? registry_->OpenKey(kSerialCommKey) : nullptr;
    if (!map) {
        return Outcome::NoSerialCommKey;
    }
    portCount_ = 0;
    Value value;
    for (uint32_t index = 0; index < kScanLimit; ++index) {
        if (!value.Read(*map, index)) {
            break;
        }
        const std::string port = value.Text();
        std::string displayText;
        if (std::strstr(value.name, "Prolific") != nullptr ||
            std::strstr(value.name, "VCP") != nullptr) {
            displayText = "IrDA Port " + port;
        } else if (std::strstr(value.name, "odem") != nullptr) {
            int owner = 0;
            while (owner < bluetoothPortCount_ && bluetoothPorts_[owner].PortName != port) {
                ++owner;
            }
            if (owner == bluetoothPortCount_) {
                continue;
            }
            displayText = bluetoothPorts_[owner].InstrumentName;
        } else {
            continue;
        }
        if (portCount_ < kPortCapacity) {
            ports_[portCount_++] = {displayText, port};
        }
    }
    return Outcome::Ok;
}

int PortDiscovery::FindPort(const std::string& text) const {
    for (int i = 0; i < portCount_; ++i) {
        if (ports_[i].DisplayText == text) {
            return i;
        }
    }
    return -1;
}

std::vector<std::string> DiscoverInstrumentPorts(Registry& registry) {
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    // A machine without Bluetooth keys still has its cables.
    if (discovery.DiscoverBluetoothPorts() != PortDiscovery::Outcome::Ok) {
        discovery.ClearBluetoothPorts();
    }
    std::vector<std::string> names;
    if (discovery.EnumerateSerialPorts() != PortDiscovery::Outcome::Ok) {
        return names;
    }
    for (int i = 0; i < discovery.PortCount(); ++i) {
        const std::string& name = discovery.Port(i).PortName;
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}
