#include "linkselect/LinuxRegistry.h"
#include "linkselect/PortDiscovery.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::TempWorkDir;
using testsupport::WriteFile;

using Entries = std::vector<std::pair<std::string, std::string>>;

// A made-up sysfs tty class and BlueZ state directory under a temporary directory.
class LinuxRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        tty_ = dir_.Path() + "/sys/class/tty";
        bluetooth_ = dir_.Path() + "/var/lib/bluetooth";
        MakeDirs(tty_);
        AddTty("ttyUSB0", "pl2303");
        AddTty("ttyUSB1", "ftdi_sio");
        AddTty("ttyUSB2", "cp210x");
        AddTty("ttyS0", "serial8250");
        WriteFile(tty_ + "/ttyS0/type", "4\n");
        AddTty("ttyS1", "serial8250"); // a reserved slot without a UART
        WriteFile(tty_ + "/ttyS1/type", "0\n");
        AddTty("ttyACM0", "cdc_acm");
        MakeDirs(tty_ + "/tty0"); // a virtual console: no device
        MakeDirs(tty_ + "/rfcomm0");
        WriteFile(tty_ + "/rfcomm0/address", "00:11:22:aa:bb:cc\n");
        WriteFile(tty_ + "/rfcomm0/channel", "1\n");
        MakeDirs(tty_ + "/rfcomm1");
        WriteFile(tty_ + "/rfcomm1/address", "66:55:44:33:22:11\n");
        WriteFile(tty_ + "/rfcomm1/channel", "3\n");

        const std::string adapter = bluetooth_ + "/00:1A:7D:DA:71:13";
        AddPaired(adapter, "00:11:22:AA:BB:CC", "[General]\nName=ORV-7 0042\nClass=0x001f00\n");
        AddPaired(adapter, "66:55:44:33:22:11", "[General]\nName=Phone\n");
        AddPaired(adapter, "12:34:56:78:9A:BC", "[LinkKey]\nName=not here\n[General]\nAlias=x\n");
        MakeDirs(adapter + "/cache");
        WriteFile(adapter + "/settings", "[General]\nDiscoverable=false\n");
    }

    static void MakeDirs(const std::string& path) {
        std::string partial;
        for (size_t i = 1; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == '/') {
                mkdir(path.substr(0, i).c_str(), 0755);
            }
        }
    }
    void AddTty(const std::string& name, const std::string& driver) {
        MakeDirs(tty_ + "/" + name + "/device");
        ASSERT_EQ(symlink(("../../../bus/usb-serial/drivers/" + driver).c_str(),
                          (tty_ + "/" + name + "/device/driver").c_str()),
                  0);
    }
    void AddPaired(const std::string& adapter, const std::string& address,
                   const std::string& info) {
        MakeDirs(adapter + "/" + address);
        WriteFile(adapter + "/" + address + "/info", info);
    }
    static Entries Values(MemoryRegistry& tree, const std::string& path) {
        Entries values;
        auto key = tree.OpenKey(path);
        if (!key) {
            return values;
        }
        char name[200];
        uint8_t data[200];
        for (uint32_t i = 0;; ++i) {
            size_t size = sizeof data;
            if (!key->EnumValue(i, name, sizeof name, data, &size)) {
                break;
            }
            values.emplace_back(name, std::string(reinterpret_cast<char*>(data), size));
        }
        return values;
    }

    TempWorkDir dir_{"linkselect-test-"};
    std::string tty_;
    std::string bluetooth_;
};

TEST_F(LinuxRegistryTest, SerialMapNamesDevicesAfterTheirDrivers) {
    LinuxRegistry registry(tty_, bluetooth_);
    MemoryRegistry tree = registry.Snapshot();
    const std::string z(1, '\0');
    EXPECT_EQ(Values(tree, "HARDWARE\\DEVICEMAP\\SERIALCOMM"),
              (Entries{{"\\Device\\BthModem0", "rfcomm0" + z},
                       {"\\Device\\BthModem1", "rfcomm1" + z},
                       {"\\Device\\Serial0", "ttyACM0" + z},
                       {"\\Device\\Serial1", "ttyS0" + z},
                       {"\\Device\\ProlificSerial0", "ttyUSB0" + z},
                       {"\\Device\\VCP0", "ttyUSB1" + z},
                       {"\\Device\\VCP1", "ttyUSB2" + z}}));
}

TEST_F(LinuxRegistryTest, PairedDevicesAndBoundPortsBecomeBluetoothKeys) {
    LinuxRegistry registry(tty_, bluetooth_);
    MemoryRegistry tree = registry.Snapshot();
    const std::string devices = "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
    EXPECT_EQ(Values(tree, devices + "\\001122AABBCC"),
              (Entries{{"Name", std::string("ORV-7 0042\0", 11)}}));
    EXPECT_EQ(Values(tree, devices + "\\665544332211"),
              (Entries{{"Name", std::string("Phone\0", 6)}}));
    EXPECT_FALSE(tree.HasKey(devices + "\\123456789ABC")); // no name in its General group
    const std::string instance = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM\\"
                                 "{00001101-0000-1000-8000-00805F9B34FB}_RFCOMM\\"
                                 "rfcomm0&001122AABBCC_C1\\Device Parameters";
    EXPECT_EQ(Values(tree, instance), (Entries{{"PortName", std::string("rfcomm0\0", 8)}}));
}

TEST_F(LinuxRegistryTest, DiscoveryRunsUnchangedOnIt) {
    LinuxRegistry registry(tty_, bluetooth_);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    ASSERT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    Entries ports;
    for (int i = 0; i < discovery.PortCount(); ++i) {
        ports.emplace_back(discovery.Port(i).DisplayText, discovery.Port(i).PortName);
    }
    EXPECT_EQ(ports, (Entries{{"ORV-7 0042", "rfcomm0"},
                              {"IrDA Port ttyUSB0", "ttyUSB0"},
                              {"IrDA Port ttyUSB1", "ttyUSB1"},
                              {"IrDA Port ttyUSB2", "ttyUSB2"}}));
}

TEST_F(LinuxRegistryTest, MissingBluetoothDirectoryMeansNoPairedDevicesKey) {
    LinuxRegistry registry(tty_, dir_.Path() + "/nowhere");
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::NoPairedDevicesKey);
    discovery.ClearBluetoothPorts();
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 3);
}

TEST_F(LinuxRegistryTest, MissingTtyClassMeansNoSerialMap) {
    LinuxRegistry registry(dir_.Path() + "/nowhere", bluetooth_);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    EXPECT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::NoSerialCommKey);
}

TEST_F(LinuxRegistryTest, ReadsTheSystemAfresh) {
    LinuxRegistry registry(tty_, bluetooth_);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 3);
    AddTty("ttyUSB3", "cp210x");
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 4);
}

TEST(LinuxRegistryDefaultTest, RealSystemNeverCrashes) {
    // Whatever this machine has, reading it must work (possibly yielding nothing).
    LinuxRegistry registry;
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    discovery.ClearBluetoothPorts();
    const PortDiscovery::Outcome outcome = discovery.EnumerateSerialPorts();
    EXPECT_TRUE(outcome == PortDiscovery::Outcome::Ok ||
                outcome == PortDiscovery::Outcome::NoSerialCommKey);
    EXPECT_LE(discovery.PortCount(), PortDiscovery::kPortCapacity);
}

} // namespace
