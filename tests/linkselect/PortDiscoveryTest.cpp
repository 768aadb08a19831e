#include "linkselect/PortDiscovery.h"
#include "PortScenario.h"
#include "linkselect/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <utility>
#include <vector>

namespace {

const char kMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kDevices[] = "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";
const std::string kService =
    std::string(kEnum) + "\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0000";

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries PortsOf(const PortDiscovery& discovery) {
    Entries entries;
    for (int i = 0; i < discovery.PortCount(); ++i) {
        entries.emplace_back(discovery.Port(i).DisplayText, discovery.Port(i).PortName);
    }
    return entries;
}

Entries BluetoothOf(const PortDiscovery& discovery) {
    Entries entries;
    for (int i = 0; i < discovery.BluetoothPortCount(); ++i) {
        entries.emplace_back(discovery.Bluetooth(i).InstrumentName,
                             discovery.Bluetooth(i).PortName);
    }
    return entries;
}

void AddInstance(FakeRegistry& registry, const std::string& instance, const std::string& port) {
    registry.SetString(kService + "\\" + instance + "\\Device Parameters", "PortName", port);
}

// A computer with two cable adapters, a built-in port, one paired instrument with one Bluetooth
// port, and a paired phone with its own Bluetooth port.
class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetString(kMap, "\\Device\\ProlificSerial0", "COM3");
        registry_.SetString(kMap, "\\Device\\Serial0", "COM1");
        registry_.SetString(kMap, "\\Device\\BthModem0", "COM7");
        registry_.SetString(kMap, "\\Device\\VCP0", "COM4");
        registry_.SetString(kMap, "\\Device\\BthModem1", "COM8");
        registry_.SetString(std::string(kDevices) + "\\001122aabbcc", "Name", "ORV-7 1234");
        registry_.SetString(std::string(kDevices) + "\\665544332211", "Name", "Phone");
        AddInstance(registry_, "8&2a4f&0&001122AABBCC_C00000000", "COM7");
        AddInstance(registry_, "8&2a4f&0&665544332211_C00000000", "COM8");
        discovery_.SetRegistry(&registry_);
    }

    FakeRegistry registry_;
    PortDiscovery discovery_;
};

TEST_F(PortDiscoveryTest, CablePortsOnlyWithoutBluetooth) {
    discovery_.ClearBluetoothPorts();
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_),
              (Entries{{"IrDA Port COM3", "COM3"}, {"IrDA Port COM4", "COM4"}}));
}

TEST_F(PortDiscoveryTest, BluetoothPortOfPairedInstrumentListedUnderItsName) {
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.PairedCount(), 1);
    EXPECT_EQ(discovery_.Paired(0).Address, "001122AABBCC");
    EXPECT_EQ(discovery_.Paired(0).InstrumentName, "ORV-7 1234");
    EXPECT_EQ(BluetoothOf(discovery_), (Entries{{"ORV-7 1234", "COM7"}}));
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(
        PortsOf(discovery_),
        (Entries{{"IrDA Port COM3", "COM3"}, {"ORV-7 1234", "COM7"}, {"IrDA Port COM4", "COM4"}}));
}

TEST_F(PortDiscoveryTest, ClearingForgetsEarlierBluetoothPorts) {
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    discovery_.ClearBluetoothPorts();
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.BluetoothPortCount(), 0);
    EXPECT_EQ(PortsOf(discovery_),
              (Entries{{"IrDA Port COM3", "COM3"}, {"IrDA Port COM4", "COM4"}}));
}

TEST_F(PortDiscoveryTest, CableRuleWinsOverModemRule) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\VCPModem0", "COM5");
    registry.SetString(kMap, "\\Device\\Modem0", "COM6");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM5", "COM5"}}));
}

TEST_F(PortDiscoveryTest, DeviceNameTestsAreCaseSensitive) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\prolific0", "COM5");
    registry.SetString(kMap, "\\Device\\vcp0", "COM6");
    registry.SetString(kMap, "\\Device\\ProlificX", "COM9");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM9", "COM9"}}));
}

struct NameCase {
    const char* label;
    std::string data;
    bool recognised;
    const char* instrumentName;
};

class InstrumentNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(InstrumentNameTest, OnlyOrv7NamesAreInstruments) {
    FakeRegistry registry;
    registry.SetValue(std::string(kDevices) + "\\aabbccddeeff", "Name", GetParam().data);
    registry.AddKey(kEnum);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    ASSERT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery.PairedCount(), GetParam().recognised ? 1 : 0);
    if (GetParam().recognised) {
        EXPECT_EQ(discovery.Paired(0).InstrumentName, GetParam().instrumentName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, InstrumentNameTest,
    ::testing::Values(NameCase{"Exact", std::string("ORV-7\0", 6), true, "ORV-7"},
                      NameCase{"WithSuffix", std::string("ORV-7 Tavon 0042\0", 17), true,
                               "ORV-7 Tavon 0042"},
                      NameCase{"NoTerminatingZero", "ORV-7AB", true, "ORV-7AB"},
                      NameCase{"StopsAtFirstZero", std::string("ORV-7A\0junk", 11), true, "ORV-7A"},
                      NameCase{"LowerCase", std::string("orv-7 1\0", 8), false, ""},
                      NameCase{"TooShort", std::string("ORV-\0", 5), false, ""},
                      NameCase{"Empty", "", false, ""},
                      NameCase{"Other", std::string("XORV-7\0", 7), false, ""}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST_F(PortDiscoveryTest, OnlyTheValueNamedNameCounts) {
    FakeRegistry registry;
    const std::string device = std::string(kDevices) + "\\aabbccddeeff";
    registry.SetString(device, "name", "ORV-7 lower-case value name");
    registry.SetString(device, "FriendlyName", "ORV-7 friendly");
    registry.AddKey(kEnum);
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PairedCount(), 0);
}

TEST_F(PortDiscoveryTest, InstrumentWithTwoPortsListedTwiceUnderOneName) {
    AddInstance(registry_, "8&2a4f&1&001122AABBCC_C00000001", "COM9");
    AddInstance(registry_, "8&2a4f&2&001122AABBCC_C00000002", "COM12");
    registry_.SetString(kMap, "\\Device\\BthModem2", "COM9");
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(BluetoothOf(discovery_),
              (Entries{{"ORV-7 1234", "COM7"}, {"ORV-7 1234", "COM9"}, {"ORV-7 1234", "COM12"}}));
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM3", "COM3"},
                                            {"ORV-7 1234", "COM7"},
                                            {"IrDA Port COM4", "COM4"},
                                            {"ORV-7 1234", "COM9"}}));
    EXPECT_EQ(discovery_.FindPort("ORV-7 1234"), 1); // the first in table order wins
}

TEST_F(PortDiscoveryTest, InstanceAddressMatchIsCaseSensitive) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\BthModem0", "COM7");
    registry.SetString(std::string(kDevices) + "\\001122aabbcc", "Name", "ORV-7 1");
    AddInstance(registry, "8&2a4f&0&001122aabbcc_C00000000", "COM7");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.BluetoothPortCount(), 0);
}

TEST_F(PortDiscoveryTest, PortNameComparedExactly) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\BthModem0", "com7");
    registry.SetString(std::string(kDevices) + "\\001122aabbcc", "Name", "ORV-7 1");
    AddInstance(registry, "X&001122AABBCC", "COM7");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PortCount(), 0);
}

TEST_F(PortDiscoveryTest, SerialScanStopsAtFirstUnreadableValue) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\VCP0", "COM3");
    registry.SetString(kMap, std::string(200, 'x'), "COM4"); // name and zero do not fit
    registry.SetString(kMap, "\\Device\\VCP1", "COM5");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM3", "COM3"}}));
}

TEST_F(PortDiscoveryTest, SerialScanStopsAtOversizedData) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\VCP0", std::string(200, 'C')); // 201 bytes with the zero
    registry.SetString(kMap, "\\Device\\VCP1", "COM5");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PortCount(), 0);
}

TEST_F(PortDiscoveryTest, LongestNamesThatFitAreRead) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\VCP" + std::string(199 - 11, 'n'), std::string(199, 'P'));
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.PortCount(), 1);
    EXPECT_EQ(discovery_.Port(0).PortName, std::string(199, 'P'));
}

TEST_F(PortDiscoveryTest, BluetoothScansSkipUnreadableEntries) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\BthModem0", "COM7");
    registry.SetString(kMap, "\\Device\\BthModem1", "COM8");
    const std::string device = std::string(kDevices) + "\\001122AABBCC";
    registry.SetString(device, std::string(250, 'v'), "too long a name");
    registry.SetString(device, "Name", "ORV-7 skip test");
    // An instance whose name does not fit, then a good one.
    AddInstance(registry, std::string(210, 'i') + "001122AABBCC", "COM8");
    const std::string good = kService + "\\8&0&001122AABBCC_C1\\Device Parameters";
    registry.SetString(good, "Other", std::string(300, 'x')); // data does not fit: skipped
    registry.SetString(good, "PortName", "COM7");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(BluetoothOf(discovery_), (Entries{{"ORV-7 skip test", "COM7"}}));
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"ORV-7 skip test", "COM7"}}));
}

TEST_F(PortDiscoveryTest, PairedDeviceScanStopsAtUnreadableKeyName) {
    FakeRegistry registry;
    registry.SetString(std::string(kDevices) + "\\AAAAAAAAAAAA", "Name", "ORV-7 first");
    registry.SetString(std::string(kDevices) + "\\" + std::string(200, 'B'), "Name", "ORV-7 x");
    registry.SetString(std::string(kDevices) + "\\CCCCCCCCCCCC", "Name", "ORV-7 third");
    registry.AddKey(kEnum);
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.PairedCount(), 1);
    EXPECT_EQ(discovery_.Paired(0).InstrumentName, "ORV-7 first");
}

TEST_F(PortDiscoveryTest, KeysThatCannotBeOpenedContributeNothing) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\BthModem0", "COM7");
    registry.SetString(kMap, "\\Device\\BthModem1", "COM8");
    registry.SetString(kMap, "\\Device\\BthModem2", "COM9");
    registry.SetString(std::string(kDevices) + "\\111111111111", "Name", "ORV-7 locked");
    registry.MakeUnopenable(std::string(kDevices) + "\\111111111111");
    registry.SetString(std::string(kDevices) + "\\222222222222", "Name", "ORV-7 open");
    const std::string lockedService = std::string(kEnum) + "\\LockedService";
    registry.SetString(lockedService + "\\X&222222222222\\Device Parameters", "PortName", "COM8");
    registry.MakeUnopenable(lockedService);
    AddInstance(registry, "A&222222222222", "COM9");
    registry.MakeUnopenable(kService + "\\A&222222222222\\Device Parameters");
    AddInstance(registry, "B&222222222222", "COM7");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.PairedCount(), 1);
    EXPECT_EQ(BluetoothOf(discovery_), (Entries{{"ORV-7 open", "COM7"}}));
}

TEST_F(PortDiscoveryTest, TablesNeverOverflow) {
    FakeRegistry registry;
    for (int i = 0; i < 45; ++i) {
        registry.SetString(kMap, "\\Device\\VCP" + std::to_string(i), "COM" + std::to_string(i));
    }
    for (int i = 0; i < 45; ++i) {
        char address[13];
        std::snprintf(address, sizeof address, "%012d", i);
        registry.SetString(std::string(kDevices) + "\\" + address, "Name",
                           "ORV-7 " + std::to_string(i));
        if (i < 3) {
            for (int j = 0; j < 10; ++j) {
                AddInstance(registry, std::to_string(j) + "&" + address,
                            "BT" + std::to_string(i * 10 + j));
            }
        }
    }
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PairedCount(), PortDiscovery::kPairedCapacity);
    EXPECT_EQ(discovery_.Paired(39).InstrumentName, "ORV-7 39");
    EXPECT_EQ(discovery_.BluetoothPortCount(), PortDiscovery::kBluetoothCapacity);
    EXPECT_EQ(discovery_.Bluetooth(19).PortName, "BT19");
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PortCount(), PortDiscovery::kPortCapacity);
    EXPECT_EQ(discovery_.Port(19).PortName, "COM19");
}

TEST_F(PortDiscoveryTest, OnlyFortySerialValuesExamined) {
    FakeRegistry registry;
    for (int i = 0; i < 39; ++i) {
        registry.SetString(kMap, "\\Device\\Serial" + std::to_string(i), "COM" + std::to_string(i));
    }
    registry.SetString(kMap, "\\Device\\VCP39", "COM39");
    registry.SetString(kMap, "\\Device\\VCP40", "COM40");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM39", "COM39"}}));
}

TEST_F(PortDiscoveryTest, OnlyTwentyDeviceParameterValuesExamined) {
    FakeRegistry registry;
    registry.SetString(std::string(kDevices) + "\\ABCDEF012345", "Name", "ORV-7 z");
    const std::string parameters = kService + "\\I&ABCDEF012345\\Device Parameters";
    for (int i = 0; i < 20; ++i) {
        registry.SetString(parameters, "V" + std::to_string(i), "x");
    }
    registry.SetString(parameters, "PortName", "COM7");
    discovery_.SetRegistry(&registry);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.BluetoothPortCount(), 0);
}

TEST_F(PortDiscoveryTest, EmptyMapIsNotAnError) {
    FakeRegistry registry;
    registry.AddKey(kMap);
    discovery_.SetRegistry(&registry);
    EXPECT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PortCount(), 0);
}

TEST_F(PortDiscoveryTest, RunAgainRebuildsFromEmpty) {
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.PortCount(), 3);
    FakeRegistry later;
    later.SetString(kMap, "\\Device\\VCP0", "COM4");
    later.AddKey(kDevices);
    later.AddKey(kEnum);
    discovery_.SetRegistry(&later);
    ASSERT_EQ(discovery_.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
    ASSERT_EQ(discovery_.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery_.PairedCount(), 0);
    EXPECT_EQ(discovery_.BluetoothPortCount(), 0);
    EXPECT_EQ(PortsOf(discovery_), (Entries{{"IrDA Port COM4", "COM4"}}));
}

TEST(PortDiscoveryFatalTest, MissingKeysGiveTheFixedMessages) {
    PortDiscovery discovery;
    FakeRegistry empty;
    discovery.SetRegistry(&empty);
    EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::NoPairedDevicesKey);
    EXPECT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::NoSerialCommKey);

    FakeRegistry noEnumerator;
    noEnumerator.AddKey(kDevices);
    discovery.SetRegistry(&noEnumerator);
    EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::NoBluetoothEnumKey);

    EXPECT_STREQ(PortDiscovery::FatalMessage(PortDiscovery::Outcome::NoPairedDevicesKey),
                 "There are no Tavons paired to this computer");
    EXPECT_STREQ(PortDiscovery::FatalMessage(PortDiscovery::Outcome::NoBluetoothEnumKey),
                 "There are no ports available for communication");
    EXPECT_STREQ(PortDiscovery::FatalMessage(PortDiscovery::Outcome::NoSerialCommKey),
                 "There are no ports available for communication");
    EXPECT_STREQ(PortDiscovery::FatalMessage(PortDiscovery::Outcome::Ok), "");
}

TEST(PortDiscoveryFatalTest, NoRegistryIsMissingKeys) {
    PortDiscovery discovery;
    EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::NoPairedDevicesKey);
    EXPECT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::NoSerialCommKey);
}

TEST(MemoryRegistryTest, PathsIgnoreCaseAndNamesKeepIt) {
    FakeRegistry registry;
    registry.SetString("A\\b\\Cdef", "Value", "data");
    auto key = registry.OpenKey("a\\B");
    ASSERT_TRUE(key);
    char name[10];
    ASSERT_TRUE(key->EnumKey(0, name, sizeof name));
    EXPECT_STREQ(name, "Cdef");
    EXPECT_FALSE(key->EnumKey(1, name, sizeof name));
    EXPECT_FALSE(key->EnumKey(0, name, 4)); // "Cdef" and its zero need 5
    auto leaf = registry.OpenKey("A\\B\\CDEF");
    ASSERT_TRUE(leaf);
    uint8_t data[5];
    size_t size = sizeof data;
    ASSERT_TRUE(leaf->EnumValue(0, name, sizeof name, data, &size));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("data\0", 5));
    size = 4;
    EXPECT_FALSE(leaf->EnumValue(0, name, sizeof name, data, &size));
    EXPECT_FALSE(registry.OpenKey("A\\missing"));
}

} // namespace

namespace {

// The devices that the Windows build's test writes into Wine's registry give these lists here
// too: discovery reads the fake registry as it reads the real one.
TEST(PortScenario, FakeRegistryGivesTheExpectedLists) {
    FakeRegistry registry;
    portscenario::Fill(registry);
    PortDiscovery discovery;
    ASSERT_TRUE(portscenario::DiscoverAll(registry, discovery));
    EXPECT_EQ(portscenario::BluetoothOf(discovery), portscenario::ExpectedBluetooth());
    EXPECT_EQ(portscenario::PortsOf(discovery), portscenario::ExpectedPorts());
}

} // namespace
