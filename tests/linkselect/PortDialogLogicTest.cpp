#include "FakeLinks.h"

#include "linkselect/MemoryRegistry.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/Settings.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::ReadFile;
using testsupport::TempWorkDir;
using testsupport::WriteFile;

using Line = Link::ModemLine;
using P = PortDialogLogic;

const char kMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kDevices[] = "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";

const std::vector<Line> kBringUpLines = {Line::SetRts, Line::SetDtr, // initial
                                         Line::SetRts, Line::SetDtr, Line::ClrDtr, Line::SetDtr,
                                         Line::ClrRts, Line::SetRts, Line::ClrRts, Line::SetRts,
                                         Line::ClrRts, Line::SetRts}; // toggle

// Two cable adapters, listed in the map in the opposite order to the dialog's sorted list.
class PortDialogLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        registry_.SetString(kMap, "\\Device\\VCP0", "ttyUSB1");
        registry_.SetString(kMap, "\\Device\\Serial0", "ttyS0");
        registry_.SetString(kMap, "\\Device\\ProlificSerial0", "ttyUSB0");
        opener_.AddPort("ttyUSB0");
        opener_.AddPort("ttyUSB1");
        logic_.SetRegistry(&registry_);
        logic_.SetLinkOpener(&opener_);
        logic_.SetFatalHandler([this](const std::string& text) { fatal_.push_back(text); });
        logic_.SetCaptionText("Select connection for KOVA");
    }

    // Runs the initialisation and the first tick, ending in the Choosing state.
    void ShowAndChoose() {
        logic_.OnInitDialog();
        logic_.OnTimer(P::kTimerId);
        ASSERT_TRUE(logic_.IsVisible(P::kPortList));
        ASSERT_FALSE(logic_.Ended());
    }

    int TicksUntilEnded(int limit = 20) {
        for (int tick = 1; tick <= limit; ++tick) {
            logic_.OnTimer(P::kTimerId);
            if (logic_.Ended()) {
                return tick;
            }
        }
        return -1;
    }

    std::shared_ptr<FakeLink> Fake(const LinkPtr& link) {
        return std::dynamic_pointer_cast<FakeLink>(link);
    }

    void ExpectChoosing(const std::string& status) {
        EXPECT_EQ(logic_.StatusText(), status);
        EXPECT_TRUE(logic_.IsVisible(P::kStatusLine));
        EXPECT_TRUE(logic_.IsVisible(P::kPortList));
        EXPECT_TRUE(logic_.IsVisible(P::kSelectButton));
        EXPECT_TRUE(logic_.IsVisible(P::kCancelButton));
        EXPECT_FALSE(logic_.IsVisible(P::kCaptionLine));
    }

    TempWorkDir dir_{"linkselect-test-"};
    FakeRegistry registry_;
    FakeOpener opener_;
    PortDialogLogic logic_;
    std::vector<std::string> fatal_;
};

TEST_F(PortDialogLogicTest, FirstShowingWithRememberedEntryConnectsByItself) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB1\r\n");
    logic_.OnInitDialog();
    EXPECT_TRUE(logic_.IsVisible(P::kStatusLine));
    EXPECT_FALSE(logic_.IsVisible(P::kPortList));
    EXPECT_FALSE(logic_.IsVisible(P::kSelectButton));
    EXPECT_FALSE(logic_.IsVisible(P::kCancelButton));
    EXPECT_FALSE(logic_.IsVisible(P::kCaptionLine));
    EXPECT_EQ(logic_.StatusText(), "Initialising Communications");
    EXPECT_TRUE(logic_.AutoConnectPending());
    EXPECT_TRUE(logic_.TimerRunning());
    EXPECT_EQ(logic_.ListItems(),
              (std::vector<std::string>{"IrDA Port ttyUSB0", "IrDA Port ttyUSB1"}));

    logic_.OnTimer(P::kTimerId);
    ASSERT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB1"});
    auto link = opener_.Opened().at(0);
    EXPECT_EQ(link->Settings().baud, 9600);
    EXPECT_EQ(link->Settings().stopBits, 2);
    EXPECT_EQ(link->Settings().dataBits, 8);
    EXPECT_EQ(link->Settings().parity, Link::Parity::None);
    EXPECT_EQ(link->InputQueue(), 32768);
    EXPECT_EQ(link->OutputQueue(), 10240);
    EXPECT_EQ(logic_.SwitchCountdown(), 5);
    EXPECT_FALSE(logic_.IsVisible(P::kPortList));
    EXPECT_EQ(logic_.CaptionLineText(), "Select connection for KOVA");
    EXPECT_TRUE(logic_.IsEnabled(P::kSelectButton));

    EXPECT_EQ(TicksUntilEnded(), 5); // six ticks in all, about 600 ms
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(logic_.CurrentLink(), link);
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(link->Settings().baud, 115200);
    EXPECT_EQ(link->Settings().stopBits, 1);
    EXPECT_EQ(link->Lines(), kBringUpLines);
    EXPECT_FALSE(logic_.IsVisible(P::kPortList)); // the list was never shown
    EXPECT_EQ(ReadFile("Settings.ini"), "Com Port=IrDA Port ttyUSB1\r\nFind Bluetooth=FALSE\r\n");
}

TEST_F(PortDialogLogicTest, FirstShowingWithoutRememberedEntryOffersTheList) {
    logic_.OnInitDialog();
    logic_.OnTimer(P::kTimerId);
    ExpectChoosing("Select a device");
    EXPECT_FALSE(logic_.TakeDropDownRequest());
    EXPECT_TRUE(opener_.Attempts().empty());
    EXPECT_EQ(logic_.EditText(), "IrDA Port ttyUSB0"); // first item in sorted order
    EXPECT_EQ(TicksUntilEnded(10), -1);                // waits for the user
}

TEST_F(PortDialogLogicTest, RememberedEntryMissingFromListOffersTheList) {
    WriteFile("Settings.ini", "Com Port=ORV-7 gone\r\n");
    logic_.OnInitDialog();
    logic_.OnTimer(P::kTimerId);
    ExpectChoosing("Select a device");
    EXPECT_FALSE(logic_.TakeDropDownRequest());
    EXPECT_TRUE(opener_.Attempts().empty());
    EXPECT_EQ(logic_.Selection(), "ORV-7 gone");
}

TEST_F(PortDialogLogicTest, RememberedEntryThatFailsToOpenDropsTheListDown) {
    registry_.SetString(kMap, "\\Device\\VCP1", "ttyUSB7"); // listed, but the open fails
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB7\r\n");
    logic_.OnInitDialog();
    logic_.OnTimer(P::kTimerId);
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB7"});
    ExpectChoosing("Select a device");
    EXPECT_TRUE(logic_.TakeDropDownRequest());
    EXPECT_FALSE(logic_.TakeDropDownRequest());
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
    EXPECT_FALSE(logic_.Ended());
}

TEST_F(PortDialogLogicTest, SelectWithMatchingTextSwitchesTwoTicksLater) {
    ShowAndChoose();
    logic_.SetEditText("IrDA Port ttyUSB1");
    logic_.OnSelect();
    EXPECT_EQ(logic_.StatusText(), "Initialising communications...");
    EXPECT_TRUE(logic_.IsVisible(P::kStatusLine));
    EXPECT_FALSE(logic_.IsVisible(P::kPortList));
    EXPECT_FALSE(logic_.IsVisible(P::kSelectButton));
    EXPECT_FALSE(logic_.IsVisible(P::kCancelButton));
    ASSERT_EQ(opener_.Opened().size(), 1u);
    auto link = opener_.Opened()[0];
    EXPECT_EQ(link->Name(), "ttyUSB1");
    EXPECT_EQ(link->Settings().baud, 9600);
    EXPECT_EQ(TicksUntilEnded(), 2);
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(link->Settings().baud, 115200);
    EXPECT_EQ(link->Lines(), kBringUpLines);
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB1");
}

struct UnmatchedText {
    const char* label;
    const char* text;
};

class SelectUnmatchedTest : public PortDialogLogicTest,
                            public ::testing::WithParamInterface<UnmatchedText> {};

TEST_P(SelectUnmatchedTest, EndsWithoutLink) {
    ShowAndChoose();
    logic_.SetEditText(GetParam().text);
    logic_.OnSelect();
    EXPECT_TRUE(logic_.Ended());
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
    EXPECT_TRUE(opener_.Attempts().empty());
    EXPECT_EQ(ReadSetting("Com Port"), "");
    EXPECT_EQ(logic_.Selection(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Texts, SelectUnmatchedTest,
                         ::testing::Values(UnmatchedText{"Typed", "ttyUSB9"},
                                           UnmatchedText{"DiffersInCase", "irda port ttyusb1"},
                                           UnmatchedText{"Prefix", "IrDA Port ttyUSB"},
                                           UnmatchedText{"TrailingBlank", "IrDA Port ttyUSB1 "},
                                           UnmatchedText{"Empty", ""}),
                         [](const ::testing::TestParamInfo<UnmatchedText>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(PortDialogLogicTest, SelectedEntryThatFailsToOpenEndsWithoutLink) {
    registry_.SetString(kMap, "\\Device\\VCP1", "ttyUSB7");
    ShowAndChoose();
    logic_.SetEditText("IrDA Port ttyUSB7");
    logic_.OnSelect();
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB7"});
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
}

TEST_F(PortDialogLogicTest, CancelOpensTheFirstEntryInTableOrderWithoutBluetooth) {
    ShowAndChoose();
    logic_.SetEditText("IrDA Port ttyUSB0");
    logic_.OnTimer(P::kTimerId); // the tick reads the edit field
    logic_.OnCancel();
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB1"}); // table order, not shown
    EXPECT_TRUE(logic_.IsVisible(P::kPortList));                        // controls unchanged
    EXPECT_EQ(TicksUntilEnded(), 2);
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(opener_.Opened()[0]->Settings().baud, 115200);
}

TEST_F(PortDialogLogicTest, CancelWithEmptyListEndsCancelled) {
    FakeRegistry empty;
    empty.AddKey(kMap);
    logic_.SetRegistry(&empty);
    ShowAndChoose();
    EXPECT_TRUE(logic_.ListItems().empty());
    logic_.OnCancel();
    EXPECT_TRUE(logic_.Ended());
    EXPECT_EQ(logic_.Result(), P::kIdCancel);
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
}

TEST_F(PortDialogLogicTest, CancelSearchesTheBluetoothPartOfTheList) {
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\BthModem0", "rfcomm0");
    registry.SetString(kMap, "\\Device\\BthModem1", "rfcomm1");
    registry.SetString(kMap, "\\Device\\VCP0", "ttyUSB1");
    registry.SetString(std::string(kDevices) + "\\001122334455", "Name", "ORV-7 A");
    registry.SetString(std::string(kDevices) + "\\AABBCCDDEEFF", "Name", "ORV-7 B");
    const std::string service = std::string(kEnum) + "\\S";
    registry.SetString(service + "\\I&001122334455\\Device Parameters", "PortName", "rfcomm0");
    registry.SetString(service + "\\I&AABBCCDDEEFF\\Device Parameters", "PortName", "rfcomm1");
    logic_.SetRegistry(&registry);
    opener_.AddPort("rfcomm0");
    opener_.AddPort("rfcomm1");
    WriteFile("Settings.ini", "Find Bluetooth=TRUE\r\n");

    ShowAndChoose();
    EXPECT_EQ(logic_.ListItems(),
              (std::vector<std::string>{"IrDA Port ttyUSB1", "ORV-7 A", "ORV-7 B"}));
    logic_.SetEditText("ORV-7 B");
    logic_.OnTimer(P::kTimerId);
    logic_.OnCancel();
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"rfcomm1"});
    EXPECT_EQ(TicksUntilEnded(), 2);
    EXPECT_EQ(ReadFile("Settings.ini"), "Find Bluetooth=TRUE\r\nCom Port=ORV-7 B\r\n");
}

TEST_F(PortDialogLogicTest, LaterShowingNeverConnectsByItself) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB1\r\n");
    logic_.OnInitDialog();
    ASSERT_EQ(TicksUntilEnded(), 6);
    auto first = opener_.Opened().at(0);

    logic_.OnInitDialog();
    EXPECT_FALSE(first->IsOpen()); // the dialog closes the port it handed out before
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
    ExpectChoosing("Initialising Communications");
    EXPECT_FALSE(logic_.AutoConnectPending());
    EXPECT_EQ(logic_.EditText(), "IrDA Port ttyUSB1");
    EXPECT_EQ(TicksUntilEnded(10), -1);
    EXPECT_EQ(opener_.Attempts().size(), 1u);
}

TEST_F(PortDialogLogicTest, LaterShowingShowsTypedTextThatMatchesNoItem) {
    ShowAndChoose();
    logic_.SetEditText("typed");
    logic_.OnOk();
    logic_.OnInitDialog();
    EXPECT_EQ(logic_.EditText(), "typed");
    EXPECT_EQ(logic_.SelectedItem(), -1);
}

TEST_F(PortDialogLogicTest, ListSelectionFollowsPrefixIgnoringCase) {
    ShowAndChoose();
    logic_.SetEditText("irda port ttyusb1");
    logic_.OnOk();
    logic_.OnInitDialog();
    EXPECT_EQ(logic_.SelectedItem(), 1);
    EXPECT_EQ(logic_.EditText(), "IrDA Port ttyUSB1");
}

TEST_F(PortDialogLogicTest, FailedSwitchForgetsTheRememberedEntry) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB0\r\nConnect To=x\r\n");
    opener_.RefuseWorkingSettings("ttyUSB0");
    logic_.OnInitDialog();
    ASSERT_EQ(TicksUntilEnded(), 6);
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
    EXPECT_FALSE(opener_.Opened().at(0)->IsOpen());
    EXPECT_EQ(ReadFile("Settings.ini"), "Com Port=\r\nConnect To=\r\nFind Bluetooth=FALSE\r\n");
}

TEST_F(PortDialogLogicTest, KeySuffixFollowsTheKeysWithoutSeparator) {
    logic_.SetKeySuffix("-b 2");
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB1\r\nCom Port-b 2=IrDA Port ttyUSB0\r\n");
    opener_.RefuseWorkingSettings("ttyUSB0");
    logic_.OnInitDialog();
    ASSERT_EQ(TicksUntilEnded(), 6);
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(ReadFile("Settings.ini"), "Com Port=IrDA Port ttyUSB1\r\nCom Port-b 2=\r\n"
                                        "Find Bluetooth=FALSE\r\nConnect To-b 2=\r\n");
}

TEST_F(PortDialogLogicTest, EnterWhileListShownEndsWithoutOpening) {
    ShowAndChoose();
    logic_.OnOk();
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    EXPECT_TRUE(opener_.Attempts().empty());
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
}

TEST_F(PortDialogLogicTest, EnterWhileSwitchPendingLeavesInitialSettingsAndNothingCarriesOver) {
    ShowAndChoose();
    logic_.SetEditText("IrDA Port ttyUSB0");
    logic_.OnSelect();
    logic_.OnOk();
    EXPECT_EQ(logic_.Result(), P::kIdOk);
    auto link = opener_.Opened().at(0);
    EXPECT_EQ(logic_.CurrentLink(), link);
    EXPECT_EQ(link->Settings().baud, 9600);
    EXPECT_EQ(logic_.SwitchCountdown(), 0);

    logic_.OnInitDialog();
    logic_.SetEditText("IrDA Port ttyUSB1");
    logic_.OnSelect();
    auto second = opener_.Opened().at(1);
    EXPECT_EQ(TicksUntilEnded(), 2); // its own countdown, not one left over
    EXPECT_EQ(second->Settings().baud, 115200);
    EXPECT_EQ(link->ConfigureCount(), 1); // the old port never switched
}

TEST_F(PortDialogLogicTest, OtherTimersAndTicksAfterTheEndAreIgnored) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB1\r\n");
    logic_.OnInitDialog();
    logic_.OnTimer(7);
    EXPECT_TRUE(logic_.AutoConnectPending());
    ASSERT_EQ(TicksUntilEnded(), 6);
    logic_.OnTimer(P::kTimerId);
    logic_.OnSelect();
    logic_.OnCancel();
    EXPECT_EQ(opener_.Attempts().size(), 1u);
    EXPECT_EQ(logic_.Result(), P::kIdOk);
}

TEST_F(PortDialogLogicTest, FindBluetoothOtherThanTrueIsWrittenFalse) {
    WriteFile("Settings.ini", "x=1\r\nFind Bluetooth=true\r\n");
    logic_.OnInitDialog();
    EXPECT_EQ(ReadFile("Settings.ini"), "x=1\r\nFind Bluetooth=FALSE\r\n");
    EXPECT_EQ(logic_.Discovery().BluetoothPortCount(), 0);
}

TEST_F(PortDialogLogicTest, FindBluetoothWithBlankIsAnotherKey) {
    WriteFile("Settings.ini", "Find Bluetooth = TRUE\r\n");
    logic_.OnInitDialog();
    EXPECT_EQ(ReadFile("Settings.ini"), "Find Bluetooth = TRUE\r\nFind Bluetooth=FALSE\r\n");
}

TEST_F(PortDialogLogicTest, MissingSerialMapIsFatalAndStopsTheTimer) {
    FakeRegistry empty;
    logic_.SetRegistry(&empty);
    logic_.OnInitDialog();
    EXPECT_EQ(fatal_, std::vector<std::string>{"There are no ports available for communication"});
    EXPECT_FALSE(logic_.TimerRunning());
    EXPECT_TRUE(logic_.EndedByFatal());
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
}

TEST_F(PortDialogLogicTest, BluetoothDiscoveryFailuresAreFatal) {
    WriteFile("Settings.ini", "Find Bluetooth=TRUE\r\n");
    logic_.OnInitDialog();
    EXPECT_EQ(fatal_, std::vector<std::string>{"There are no Tavons paired to this computer"});
    EXPECT_TRUE(logic_.Ended());

    registry_.AddKey(kDevices);
    logic_.OnInitDialog();
    EXPECT_EQ(fatal_.back(), "There are no ports available for communication");
    EXPECT_EQ(fatal_.size(), 2u);
}

TEST_F(PortDialogLogicTest, OpenSelectionNowBringsTheEntryUpAtOnce) {
    ShowAndChoose();
    logic_.SetEditText("IrDA Port ttyUSB0");
    logic_.OnOk();
    LinkPtr link = logic_.OpenSelectionNow();
    ASSERT_TRUE(link);
    EXPECT_EQ(Fake(link)->Name(), "ttyUSB0");
    EXPECT_EQ(Fake(link)->Settings().baud, 115200);
    EXPECT_EQ(Fake(link)->Lines(), kBringUpLines);
    EXPECT_EQ(logic_.SwitchCountdown(), 0);
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB0");

    LinkPtr again = logic_.OpenSelectionNow();
    EXPECT_FALSE(link->IsOpen()); // the one it replaces is closed
    ASSERT_TRUE(again);
}

TEST_F(PortDialogLogicTest, OpenSelectionNowTakesAPortName) {
    ShowAndChoose();
    logic_.SetEditText("ttyUSB1");
    logic_.OnOk();
    LinkPtr link = logic_.OpenSelectionNow();
    ASSERT_TRUE(link);
    EXPECT_EQ(Fake(link)->Name(), "ttyUSB1");
    logic_.OnInitDialog();
    logic_.SetEditText("nothing");
    logic_.OnOk();
    EXPECT_EQ(logic_.OpenSelectionNow(), nullptr);
}

TEST_F(PortDialogLogicTest, PortNamesAreRecordedOnlyAndDoNotChangeTheList) {
    logic_.AddPortName("115,200");
    logic_.AddPortName("COM9");
    EXPECT_EQ(logic_.PortNameList(), "115,200||COM9||");
    ShowAndChoose();
    EXPECT_EQ(logic_.ListItems(),
              (std::vector<std::string>{"IrDA Port ttyUSB0", "IrDA Port ttyUSB1"}));
}

TEST_F(PortDialogLogicTest, ResetReturnsToTheFirstShowing) {
    ShowAndChoose();
    logic_.Reset();
    EXPECT_TRUE(logic_.FirstShow());
    EXPECT_EQ(logic_.Selection(), "");
    logic_.OnInitDialog();
    EXPECT_TRUE(logic_.AutoConnectPending());
}

} // namespace
