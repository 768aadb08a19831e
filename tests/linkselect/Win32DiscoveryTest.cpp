// Port discovery against the Windows registry itself (under Wine in the test run): the test
// writes the devices of PortScenario.h with reg.exe, as an installer or driver would have, and
// reads them back through Win32Registry.
#include "PortScenario.h"
#include "linkselect/Win32Registry.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const char kBluetoothRoots[][64] = {
    "SYSTEM\\CurrentControlSet\\services\\BTHPORT",
    "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM",
};

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// One batch file, so that cmd starts once for all the reg.exe calls.
bool WriteScenarioIntoTheRegistry() {
    const testsupport::TempWorkDir dir("registry-scenario-");
    if (!dir.Ok()) {
        return false;
    }
    std::string script = "@echo off\r\n";
    // What an earlier run (or Wine itself) put there goes first, so the keys hold exactly ours.
    // The serial map is a volatile key that only the system makes: its values go, it stays.
    script += "reg delete " + Quoted(std::string("HKLM\\") + portscenario::kSerialComm) +
              " /va /f >nul 2>nul\r\n";
    for (const char* root : kBluetoothRoots) {
        script += "reg delete " + Quoted(std::string("HKLM\\") + root) + " /f >nul 2>nul\r\n";
    }
    for (const portscenario::Value& value : portscenario::Values()) {
        script += "reg add " + Quoted("HKLM\\" + value.key) + " /v " + Quoted(value.name) +
                  " /t REG_SZ /d " + Quoted(value.text) +
                  " /f >nul\r\nif errorlevel 1 exit /b 1\r\n";
    }
    return testsupport::WriteFile("scenario.bat", script) &&
           std::system("cmd /c scenario.bat") == 0;
}

TEST(Win32Discovery, SameListsAsTheFakeRegistryForTheSameDevices) {
    ASSERT_TRUE(WriteScenarioIntoTheRegistry());

    Win32Registry windows;
    PortDiscovery fromWindows;
    ASSERT_TRUE(portscenario::DiscoverAll(windows, fromWindows));
    FakeRegistry fake;
    portscenario::Fill(fake);
    PortDiscovery fromFake;
    ASSERT_TRUE(portscenario::DiscoverAll(fake, fromFake));

    EXPECT_EQ(portscenario::BluetoothOf(fromWindows), portscenario::ExpectedBluetooth());
    EXPECT_EQ(portscenario::PortsOf(fromWindows), portscenario::ExpectedPorts());
    EXPECT_EQ(portscenario::PortsOf(fromWindows), portscenario::PortsOf(fromFake));
    EXPECT_EQ(fromWindows.PairedCount(), 1);
}

TEST(Win32Discovery, MissingKeysAreReportedAsSuch) {
    Win32Registry windows;
    EXPECT_EQ(windows.OpenKey("SYSTEM\\CurrentControlSet\\NoSuchKey\\Anywhere"), nullptr);
    EXPECT_NE(windows.OpenKey(portscenario::kSerialComm), nullptr);
}

} // namespace
