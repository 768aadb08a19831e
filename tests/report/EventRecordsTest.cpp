#include "SessionFixture.h"

namespace {

using R = RecordBuilder;

struct EventCase {
    const char* name;
    std::vector<uint8_t> record;
    std::string expected; // "%X" stands for the time of day
    int unrecognised;
};

std::vector<EventCase> EventCases() {
    return {
        // switch on
        {"SwitchOnNoInitials", R::Stamped('O', '1', kStamp).Chars("GAS", 3).Byte(0).Bytes(),
         "\\par %X Switch ON in GAS mode.\\par ", 0},
        {"SwitchOnInitials", R::Stamped('O', '1', kStamp).Chars("GAS", 3).Chars("AB", 4).Bytes(),
         "\\par %X Switch ON by AB in GAS mode.\\par ", 0},
        {"SwitchOnFourInitials",
         R::Stamped('O', '1', kStamp).Chars("LEL", 3).Chars("ABCD", 4).Bytes(),
         "\\par %X Switch ON by ABCD in LEL mode.\\par ", 0},
        {"SwitchOnShortModeCode", R::Stamped('O', '1', kStamp).Chars("G", 3).Byte(0).Bytes(),
         "\\par %X Switch ON in G mode.\\par ", 0},
        {"SwitchOnVersion2", R::Stamped('O', '2', kStamp).Chars("GAS", 3).Byte(0).Bytes(),
         "\\par %X Switch ON- new log format.\\par ", 1},
        {"SwitchOnVersion3", R::Stamped('O', '3', kStamp).Bytes(),
         "\\par %X Switch ON- new log format.\\par ", 1},
        // switch off
        {"SwitchOff", R::Stamped('Y', '1', kStamp).Bytes(), "\\par %X Switch off.\\par ", 0},
        {"SwitchOffVersion3", R::Stamped('Y', '3', kStamp).Bytes(),
         "\\par %X Switch off - new log format.\\par ", 1},
        // mode change
        {"ModeChangeCode", R::Stamped('D', '1', kStamp).Chars("PPM", 3).Bytes(),
         "\\par %X Mode change to PPM.\\par ", 0},
        {"ModeChangeNumberWithoutNames", R::Stamped('D', '2', kStamp).Byte(2).Bytes(),
         "\\par %X Mode change to mode 2.\\par ", 0},
        {"ModeChangeNumberZero", R::Stamped('D', '2', kStamp).Byte(0).Bytes(),
         "\\par %X Mode change to mode 0.\\par ", 0},
        {"ModeChangeVersion3", R::Stamped('D', '3', kStamp).Byte(1).Bytes(),
         "\\par %X Mode change - new log format.\\par ", 1},
        // instrument opened
        {"InstrumentOpened", R::Stamped('I', '1', kStamp).Bytes(),
         "\\par %X 07 Dec 2026 Instrument opened.\\par ", 0},
        {"InstrumentOpenedVersion2", R::Stamped('I', '2', kStamp).Bytes(),
         "\\par %X 07 Dec 2026 Instrument opened- new log format.\\par ", 1},
        // job number: offset 8 up to the second-last byte, at most 12 characters
        {"JobNumber", R::Stamped('J', '1', kStamp).Text("JOB-42").Byte(0).Bytes(),
         "\\par Job Number JOB-42\\par ", 0},
        {"JobNumberLastByteNotText", R::Stamped('J', '1', kStamp).Text("JOB-42X").Bytes(),
         "\\par Job Number JOB-42\\par ", 0},
        {"JobNumberLength30",
         R::Stamped('J', '1', kStamp).Text("123456789012345678901").Byte(0).Bytes(),
         "\\par Job Number 123456789012\\par ", 0},
        {"JobNumberNulEndsText", R::Stamped('J', '1', kStamp).Chars("AB", 6).Byte(0).Bytes(),
         "\\par Job Number AB\\par ", 0},
        {"JobNumberEmpty", R::Stamped('J', '1', kStamp).Bytes(), "\\par Job Number \\par ", 0},
        {"JobNumberVersion2", R::Stamped('J', '2', kStamp).Text("X").Byte(0).Bytes(),
         "\\par Job Number - new log format.\\par ", 1},
        // user name: no stamp, continues the line
        {"UserName", R::Unstamped('U', '1').Chars("J SMITH", 16).Bytes(),
         "User Name : J SMITH\\par ", 0},
        {"UserNameFull", R::Unstamped('U', '1').Chars("ABCDEFGHIJKLMNOP", 16).Bytes(),
         "User Name : ABCDEFGHIJKLMNOP\\par ", 0},
        {"UserNameVersion2", R::Unstamped('U', '2').Chars("J SMITH", 16).Bytes(),
         "User Name : - new log format.\\par ", 1},
        // manual zero
        {"ManualZero", R::Stamped('z', '1', kStamp).Bytes(), "\\par Manual zero %X\\par ", 0},
        {"ManualZeroVersion2", R::Stamped('z', '2', kStamp).Bytes(),
         "\\par Manual zero - new log format.\\par ", 1},
        // pump
        {"PumpOff", R::Stamped('p', '1', kStamp).Byte('0').Bytes(), "\\par %X Pump OFF.\\par ", 0},
        {"PumpOn", R::Stamped('p', '1', kStamp).Byte('1').Bytes(), "\\par %X Pump ON.\\par ", 0},
        {"PumpFault", R::Stamped('p', '1', kStamp).Byte('2').Bytes(), "\\par %X Pump FAULT.\\par ",
         0},
        {"PumpFaultRunning", R::Stamped('p', '1', kStamp).Byte('3').Bytes(),
         "\\par %X Pump FAULT/RUNNING.\\par ", 0},
        {"PumpFast", R::Stamped('p', '1', kStamp).Byte('4').Bytes(), "\\par %X Pump FAST.\\par ",
         0},
        {"PumpUnknownState", R::Stamped('p', '1', kStamp).Byte('5').Bytes(), "\\par %X Pump.\\par ",
         0},
        {"PumpVersion2", R::Stamped('p', '2', kStamp).Byte('1').Bytes(),
         "\\par %X Pump- new log format.\\par ", 1},
        // free text
        {"TextLineEnds", R::FreeText("ab\r\ncd").Bytes(), "ab \\par cd", 0},
        {"TextLoneCrAndLf", R::FreeText("a\rb\nc").Bytes(), "a\rb\nc", 0},
        {"TextPercentStaysAsIs", R::FreeText("100%d%%").Bytes(), "100%d%%", 0},
        {"TextNoVersionCheck", R::FreeText("9z").Bytes(), "9z", 0},
        {"TextHighBytes", R::FreeText("caf\xE9").Bytes(), "caf\xE9", 0},
        {"TextEmpty", R::FreeText("").Bytes(), "", 0},
        // texts from the instrument are escaped for RTF
        {"TextEscaped", R::FreeText("a\\b{c}d").Bytes(), "a\\\\b\\{c\\}d", 0},
        {"JobNumberEscaped", R::Stamped('J', '1', kStamp).Text("{J\\1}").Byte(0).Bytes(),
         "\\par Job Number \\{J\\\\1\\}\\par ", 0},
        {"UserNameEscaped", R::Unstamped('U', '1').Chars("A}B{C\\", 16).Bytes(),
         "User Name : A\\}B\\{C\\\\\\par ", 0},
        {"InitialsAndModeCodeEscaped",
         R::Stamped('O', '1', kStamp).Chars("{G}", 3).Chars("A\\", 4).Bytes(),
         "\\par %X Switch ON by A\\\\ in \\{G\\} mode.\\par ", 0},
        {"ModeChangeCodeEscaped", R::Stamped('D', '1', kStamp).Chars("\\}{", 3).Bytes(),
         "\\par %X Mode change to \\\\\\}\\{.\\par ", 0},
    };
}

class EventRecordTest : public ReportTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(EventRecordTest, ExactText) {
    const EventCase& c = GetParam();
    state.HeaderCountdown = 5;
    EXPECT_EQ(Render(c.record), T(c.expected));
    EXPECT_EQ(state.UnrecognisedLogFlag, c.unrecognised);
    EXPECT_EQ(state.HeaderCountdown, 0);
}

TEST_P(EventRecordTest, NextRecordStillDecoded) {
    std::vector<uint8_t> stream = GetParam().record;
    RecordBuilder::Stamped('Y', '1', kStamp).AppendTo(stream);
    EXPECT_EQ(Render(stream), T(GetParam().expected + "\\par %X Switch off.\\par "));
}

INSTANTIATE_TEST_SUITE_P(Records, EventRecordTest, ::testing::ValuesIn(EventCases()),
                         [](const ::testing::TestParamInfo<EventCase>& info) {
                             return info.param.name;
                         });

class ModeNameTest : public ReportTest {
protected:
    void SetUp() override {
        state.ModeNames[0] = "Gas Leak";
        state.ModeNames[1] = "Confined";
        state.ModeNames[2] = "";
        state.ModeNames[3] = "Bar{hole}";
    }
};

TEST_F(ModeNameTest, SwitchOnShowsFirstModeName) {
    EXPECT_EQ(Render(R::Stamped('O', '1', kStamp).Chars("GAS", 3).Chars("JS", 4)),
              T("\\par %X Switch ON by JS in Gas Leak mode.\\par "));
}

TEST_F(ModeNameTest, SwitchOnEscapesModeName) {
    state.ModeNames[0] = "A\\B";
    EXPECT_EQ(Render(R::Stamped('O', '1', kStamp).Chars("GAS", 3).Byte(0)),
              T("\\par %X Switch ON in A\\\\B mode.\\par "));
}

TEST_F(ModeNameTest, ModeChangeByNumber) {
    const std::pair<uint8_t, const char*> cases[] = {
        {1, "Gas Leak"}, {2, "Confined"}, {3, "mode 3"},    {4, "Bar\\{hole\\}"},
        {5, "mode 5"},   {0, "mode 0"},   {255, "mode 255"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Render(R::Stamped('D', '2', kStamp).Byte(c.first)),
                  T(std::string("\\par %X Mode change to ") + c.second + ".\\par "))
            << int(c.first);
    }
}

TEST_F(ModeNameTest, ModeChangeVersion1KeepsCode) {
    EXPECT_EQ(Render(R::Stamped('D', '1', kStamp).Chars("PPM", 3)),
              T("\\par %X Mode change to PPM.\\par "));
}

TEST_F(ReportTest, UserNameKeepsLogTime) {
    state.LogTime = 12345;
    Render(R::Unstamped('U', '1').Chars("X", 16));
    EXPECT_EQ(state.LogTime, 12345);
}

TEST_F(ReportTest, JobNumberTakesLogTime) {
    Render(R::Stamped('J', '1', kStamp).Text("1").Byte(0));
    EXPECT_EQ(state.LogTime, 946684800 + static_cast<int64_t>(kStamp));
}

TEST_F(ReportTest, TimeIsTheInstrumentsWallClockInAnyZone) {
    const auto record = R::Stamped('Y', '1', kStamp);
    for (const char* zone : {"America/New_York", "Asia/Kolkata", "UTC"}) {
        const testsupport::ZoneGuard pinned(zone);
        EXPECT_EQ(Render(record), T("\\par %X Switch off.\\par ")) << zone;
    }
}

} // namespace
