#include "linkselect/LinuxRegistry.h"
#include "BluezDevices.h"
#include "linkselect/PortDiscovery.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QThread>

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

    // The ports discovery lists on the registry: (display text, port name).
    Entries Discover(LinuxRegistry& registry) {
        PortDiscovery discovery;
        discovery.SetRegistry(&registry);
        EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::Ok);
        EXPECT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
        Entries ports;
        for (int i = 0; i < discovery.PortCount(); ++i) {
            ports.emplace_back(discovery.Port(i).DisplayText, discovery.Port(i).PortName);
        }
        return ports;
    }
    // The files alone, whatever BlueZ this machine runs.
    LinuxRegistry FilesOnly(const std::string& tty, const std::string& bluetooth) const {
        return LinuxRegistry(tty, bluetooth, "");
    }

    TempWorkDir dir_{"linkselect-test-"};
    std::string tty_;
    std::string bluetooth_;
};

TEST_F(LinuxRegistryTest, SerialMapNamesDevicesAfterTheirDrivers) {
    LinuxRegistry registry = FilesOnly(tty_, bluetooth_);
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
    LinuxRegistry registry = FilesOnly(tty_, bluetooth_);
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
    LinuxRegistry registry = FilesOnly(tty_, bluetooth_);
    EXPECT_EQ(Discover(registry), (Entries{{"ORV-7 0042", "rfcomm0"},
                                           {"IrDA Port ttyUSB0", "ttyUSB0"},
                                           {"IrDA Port ttyUSB1", "ttyUSB1"},
                                           {"IrDA Port ttyUSB2", "ttyUSB2"}}));
}

TEST_F(LinuxRegistryTest, MissingBluetoothDirectoryMeansNoPairedDevicesKey) {
    LinuxRegistry registry = FilesOnly(tty_, dir_.Path() + "/nowhere");
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    EXPECT_EQ(discovery.DiscoverBluetoothPorts(), PortDiscovery::Outcome::NoPairedDevicesKey);
    discovery.ClearBluetoothPorts();
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 3);
}

TEST_F(LinuxRegistryTest, MissingTtyClassMeansNoSerialMap) {
    LinuxRegistry registry = FilesOnly(dir_.Path() + "/nowhere", bluetooth_);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    EXPECT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::NoSerialCommKey);
}

TEST_F(LinuxRegistryTest, ReadsTheSystemAfresh) {
    LinuxRegistry registry = FilesOnly(tty_, bluetooth_);
    PortDiscovery discovery;
    discovery.SetRegistry(&registry);
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 3);
    AddTty("ttyUSB3", "cp210x");
    ASSERT_EQ(discovery.EnumerateSerialPorts(), PortDiscovery::Outcome::Ok);
    EXPECT_EQ(discovery.PortCount(), 4);
}

// BlueZ's object manager as the daemon shows it: adapters and devices with their properties.
// Answers on a thread of its own, since the registry asks with a blocking call.
class FakeBluez : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.ObjectManager")
public:
    BluezObjects objects;

public slots:
    BluezObjects GetManagedObjects() { return objects; }
};

BluezInterfaces Device(const QString& address, const QString& name, bool paired) {
    QVariantMap properties{{"Address", address}, {"Paired", paired}, {"Trusted", true}};
    if (!name.isEmpty()) {
        properties.insert("Name", name);
        properties.insert("Alias", name);
    }
    return {{"org.freedesktop.DBus.Introspectable", {}}, {"org.bluez.Device1", properties}};
}

// A private message bus of the test's own (dbus-daemon), on which a fake BlueZ can be served.
class LinuxRegistryBluezTest : public LinuxRegistryTest {
protected:
    void SetUp() override {
        LinuxRegistryTest::SetUp();
        RegisterBluezTypes();
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address",
                                      "--address=unix:dir=" + QString::fromStdString(dir_.Path())});
        ASSERT_TRUE(daemon_.waitForStarted(10000)) << "dbus-daemon (package dbus) is needed";
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_TRUE(address_.startsWith("unix:")) << address_.toStdString();
    }
    void TearDown() override {
        if (serving_) {
            QDBusConnection::disconnectFromBus("fake-bluez");
            thread_.quit();
            thread_.wait(); // the fake goes with its thread
        } else {
            delete fake_;
        }
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    void Serve() {
        QDBusConnection bus = QDBusConnection::connectToBus(address_, "fake-bluez");
        ASSERT_TRUE(bus.isConnected());
        fake_->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, fake_, &QObject::deleteLater);
        thread_.start();
        serving_ = true;
        ASSERT_TRUE(bus.registerObject("/", fake_, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService("org.bluez"));
    }

    QProcess daemon_;
    QString address_;
    FakeBluez* fake_ = new FakeBluez;
    QThread thread_;
    bool serving_ = false;
};

TEST_F(LinuxRegistryBluezTest, PairedInstrumentsComeFromBlueZAndPortsFromTheTtyClass) {
    fake_->objects = {
        {QDBusObjectPath("/"), {}},
        {QDBusObjectPath("/org/bluez"), {{"org.bluez.AgentManager1", {}}}},
        {QDBusObjectPath("/org/bluez/hci0"),
         {{"org.bluez.Adapter1", {{"Address", "00:1A:7D:DA:71:13"}, {"Name", "ORV-7 host"}}}}},
        {QDBusObjectPath("/org/bluez/hci0/dev_00_11_22_AA_BB_CC"),
         Device("00:11:22:AA:BB:CC", "ORV-7 0077", true)},
        {QDBusObjectPath("/org/bluez/hci0/dev_66_55_44_33_22_11"),
         Device("66:55:44:33:22:11", "ORV-7 seen, not paired", false)},
        {QDBusObjectPath("/org/bluez/hci0/dev_12_34_56_78_9A_BC"),
         Device("12:34:56:78:9A:BC", "", true)},
        {QDBusObjectPath("/org/bluez/hci1/dev_00_11_22_AA_BB_CC"),
         Device("00:11:22:AA:BB:CC", "ORV-7 0077", true)},
    };
    Serve();
    LinuxRegistry registry(tty_, bluetooth_, address_.toStdString());
    MemoryRegistry tree = registry.Snapshot();
    const std::string devices = "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
    auto key = tree.OpenKey(devices);
    ASSERT_TRUE(key);
    char name[200];
    std::vector<std::string> keys;
    for (uint32_t i = 0; key->EnumKey(i, name, sizeof name); ++i) {
        keys.push_back(name);
    }
    // The files' "ORV-7 0042" and "Phone" are not read while BlueZ answers.
    EXPECT_EQ(keys, std::vector<std::string>{"001122AABBCC"});
    EXPECT_EQ(Values(tree, devices + "\\001122AABBCC"),
              (Entries{{"Name", std::string("ORV-7 0077\0", 11)}}));
    EXPECT_EQ(Discover(registry), (Entries{{"ORV-7 0077", "rfcomm0"},
                                           {"IrDA Port ttyUSB0", "ttyUSB0"},
                                           {"IrDA Port ttyUSB1", "ttyUSB1"},
                                           {"IrDA Port ttyUSB2", "ttyUSB2"}}));
}

TEST_F(LinuxRegistryBluezTest, FilesWhenBlueZIsNotOnTheBusOrThereIsNoBus) {
    // A bus where nobody answers for BlueZ, and an address where there is no bus at all.
    for (const std::string& bus :
         {address_.toStdString(), "unix:path=" + dir_.Path() + "/no-bus-here"}) {
        LinuxRegistry registry(tty_, bluetooth_, bus);
        EXPECT_EQ(Discover(registry), (Entries{{"ORV-7 0042", "rfcomm0"},
                                               {"IrDA Port ttyUSB0", "ttyUSB0"},
                                               {"IrDA Port ttyUSB1", "ttyUSB1"},
                                               {"IrDA Port ttyUSB2", "ttyUSB2"}}))
            << bus;
    }
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

#include "LinuxRegistryTest.moc"
