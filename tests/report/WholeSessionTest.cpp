// One session that holds every record type, rendered as a whole: through RenderSession, and
// through the command-line renderer on a memory dump when that program has been built.
#include "SessionFixture.h"
#include "core/LogImage.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/FlashDump.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

#include <clocale>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

using R = RecordBuilder;

// Stamp of 10:mm:ss on Monday 07 Dec 2026.
uint32_t At(int minute, int second = 0) {
    return testsupport::InstrumentStamp(2026, 12, 7, 10, minute, second);
}

const GpsFix kHome = GpsFix::At(true, 5130, 1234, false, 123, 4567, 2);
const std::string kHomeText = "Q:2 N 51 30.1234   W 001 23.4567";

struct Session {
    std::vector<uint8_t> stream;
    std::string expected;

    void Add(const R& record, const std::string& text) {
        record.AppendTo(stream);
        expected += text;
    }
};

Session EveryRecordType() {
    Session s;
    s.Add(R::Stamped('I', '1', At(0)), "\\par 10:00:00 07 Dec 2026 Instrument opened.\\par ");
    s.Add(R::Stamped('O', '1', At(1)).Chars("GAS", 3).Chars("JS", 4),
          "\\par 10:01:00 Switch ON by JS in Leak {Survey\\} mode.\\par ");
    s.Add(R::Unstamped('U', '1').Chars("J Smith", 16), "User Name : J Smith\\par ");
    s.Add(R::Stamped('J', '1', At(1, 5)).Text("W/O 1234{5}").Byte(0),
          "\\par Job Number W/O 1234\\{5\\}\\par ");
    s.Add(R::FreeText("Gas smell\r\nat meter"), "Gas smell \\par at meter");
    s.Add(R::Stamped('p', '1', At(1, 30)).Byte('1'), "\\par 10:01:30 Pump ON.\\par ");
    s.Add(R::Stamped('z', '1', At(2)), "\\par Manual zero 10:02:00\\par ");
    s.Add(R::Stamped('D', '1', At(3)).Chars("PPM", 3), "\\par 10:03:00 Mode change to PPM.\\par ");
    s.Add(R::Stamped('W', '3', At(4)).S16(85).Gps(kHome),
          "\\par 10:04:00 Survey:    85 PPM at " + kHomeText + "\\par ");
    s.Add(R::Stamped('D', '2', At(5)).Byte(2), "\\par 10:05:00 Mode change to Barhole.\\par ");
    s.Add(R::Stamped('S', '1', At(6)).Byte(0x03),
          "\\par 10:06:00 Soundness test passed.\\par \\par 10:06:00 Filter Check passed.\\par ");
    s.Add(R::Stamped('M', '2', At(7))
              .Byte(3)
              .Byte(1)
              .Byte(1)
              .Reading(0, 25)
              .Reading(4, 30)
              .Byte(0xFE),
          "\\par                LEL     CO    \\par 10:07:00 M     2.5      30    "
          "Kitchen / Gas pipe\\par ");
    s.Add(R::Stamped('L', '4', At(8))
              .Byte('1')
              .Reading(0, 30)
              .Reading(4, 31)
              .Byte(0xFF)
              .S16(1)
              .S16(2)
              .S16(3)
              .S16(4)
              .S16(10000),
          "10:08:00 T     3.0      31       1       2       3       4    EEEE     Methane\\par ");
    s.Add(R::Stamped('A', '2', At(9)).Byte(4).Reading(0, 35).Reading(4, 210).Byte(0xFF).Gps(kHome),
          "{\\cf5 \\highlight6 10:09:00} A     3.5     210    " + kHomeText +
              "    New CO   alarm.\\par ");
    s.Add(R::Stamped('Q', '1', At(10)).Byte(1), "\\par Unrecognised log.\\par ");
    s.Add(R::Stamped('C', '2', At(11))
              .SensorResult(0, 1, 500, 20)
              .SensorResult(4, 2, 100, 3)
              .Byte(0xFF),
          "\\par 10:11:00 Calibration\\par   0..100 % LEL           PASS  50.0   2.0\\par "
          "  0..1000 PPM CO         FAIL   100     3\\par ");
    s.Add(R::Stamped('Z', '2', At(12)).SensorResult(3, 1, 209, 0).Byte(0xFF),
          "\\par 10:12:00 Zero\\par   0..25 % O2             PASS  20.9   0.0\\par ");
    s.Add(R::Stamped('B', '2', At(13)).BumpResult(4, 1, 98).BumpResult(5, 3, 0).Byte(0xFF),
          "\\par 10:13:00 Bump Test\\par   0..1000 PPM CO         PASS    98\\par "
          "  0..100 PPM H2S         Not Tested\\par ");
    s.Add(R::Stamped('F', '1', At(14)).SensorValues(1, 1000, 4990).Byte(0xFF),
          "\\par 10:14:00 Field Cal\\par   0..100 % GAS            1000  4990 \\par ");
    s.Add(R::Barhole('4', At(15), 7, 260, 'G', 120, 'G')
              .Bytes({0, 0, 0})
              .Bytes({5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75})
              .Gps(kHome),
          "\\par 10:15:00 Barhole 7: Pk = 26 %Gas, Sus = 12 %Gas\\par 1.0\\par 2.0\\par 3.0\\par "
          "4.0\\par 5.0\\par 6.0\\par 7.0\\par 8.0\\par 9.0\\par 10.0\\par 11.0\\par 12.0\\par "
          "13.0\\par 14.0\\par 15.0\\par GPS " +
              kHomeText + ".\\par ");
    s.Add(R::Barhole('1', At(16), 8, 45, 'L', 60, 'L'),
          "\\par 10:16:00 Barhole 8: Pk = 4.5 %LEL,  Sus = 6.0 %LEL.\\par ");
    s.Add(R::Stamped('G', '1', At(17)).Bytes({1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                              11, 12, 13, 14, 15, 16, 17, 18, 19, 20}),
          "\\par 10:17:00 GPS Average : \\par     1     2 \\par     3     4 \\par     5     6 "
          "\\par     7     8 \\par     9    10 \\par    11    12 \\par    13    14 \\par    15    "
          "16 \\par    17    18 \\par    19    20 \\par .\\par ");
    s.Add(R::Stamped('P', '2', At(18)).Byte('X').S16(12),
          "\\par 10:18:00 Gas Test.   1.2% GAS. No Determination.\\par ");
    s.Add(R::Stamped('P', '1', At(18, 30)).Byte('G').S16(950),
          "\\par 10:18:30 Gas Test.  95% GAS. Pipeline gas.\\par ");
    s.Add(R::Stamped('p', '1', At(19)).Byte('0'), "\\par 10:19:00 Pump OFF.\\par ");
    s.Add(R::Stamped('Y', '1', At(20)), "\\par 10:20:00 Switch off.\\par ");
    return s;
}

const std::string kHeader = RtfHeader;

void SetUpState(ReportState& state) {
    state.ModeNames[0] = "Leak {Survey}";
    state.ModeNames[1] = "Barhole";
    state.ShowBarholeGraph = 1;
    state.HeadingDay = "Monday 07 ";
    state.HeadingMonth = "Dec 2026";
}

TEST(WholeSession, EveryRecordTypeRendersAsOneReport) {
    const Session session = EveryRecordType();
    StoredSessions sessions;
    sessions.Store(42, EscapeForFlash(session.stream));
    ReportState state;
    SetUpState(state);
    // The mode name's opening brace arrives escaped in the heading above; the closing one too.
    std::string expected = session.expected;
    const std::string raw = "Leak {Survey\\} mode";
    expected.replace(expected.find(raw), raw.size(), "Leak \\{Survey\\} mode");

    EXPECT_EQ(RenderSession(state, sessions, 42), expected);
    EXPECT_EQ(state.ReportText, kHeader + "Monday 07 Dec 2026 \\par " + expected + "}}");
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);

    // Full Day: the next session of the day follows under a separator.
    state.HeadingDay = "Monday 07 ";
    sessions.Store(43, EscapeForFlash(R::Stamped('Y', '1', At(30)).Bytes()));
    RenderSession(state, sessions, 43);
    EXPECT_EQ(state.ReportText, kHeader + "Monday 07 Dec 2026 \\par " + expected +
                                    "\\par -------- Monday 07 Dec 2026 --------- \\par "
                                    "\\par 10:30:00 Switch off.\\par }}");
}

TEST(WholeSession, NumbersStayInTheCLocale) {
    // Qt sets the process locale from the environment; a German one writes "1,0" for "%3.1f"
    // unless the formatting pins the C locale.
#ifdef _WIN32
    const char* german = std::setlocale(LC_ALL, "German_Germany.1252");
#else
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
#endif
    std::unique_ptr<testsupport::TempDir> localeDir;
    std::unique_ptr<testsupport::EnvGuard> localePath;
    if (german == nullptr) {
        // The machine has the locale's source but not the compiled locale: build it privately.
        localeDir = std::make_unique<testsupport::TempDir>("report-locale-");
        if (localeDir->Ok()) {
            const std::string command =
                "localedef -i de_DE -f UTF-8 " + localeDir->Path() + "/de_DE.UTF-8 >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0) {
                localePath = std::make_unique<testsupport::EnvGuard>("LOCPATH", localeDir->Path());
                german = std::setlocale(LC_ALL, "de_DE.UTF-8");
            }
        }
    }
    if (german == nullptr) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%3.1f", 1.5);
    EXPECT_STREQ(probe, "1,5") << "the German locale is not in force";

    const Session session = EveryRecordType();
    StoredSessions sessions;
    sessions.Store(1, EscapeForFlash(session.stream));
    ReportState state;
    SetUpState(state);
    const std::string text = RenderSession(state, sessions, 1);
    std::setlocale(LC_ALL, "C");
    EXPECT_NE(text.find("\\par 1.0\\par 2.0\\par "), std::string::npos) << text;
    EXPECT_NE(text.find("Pk = 4.5 %LEL,  Sus = 6.0 %LEL"), std::string::npos) << text;
    EXPECT_EQ(text.find("1,0"), std::string::npos) << text;
    EXPECT_NE(text.find("Instrument opened"), std::string::npos);
    EXPECT_NE(text.find("07 Dec 2026"), std::string::npos);
}

// The Windows test build starts no programs; there the smoke test of the Windows build holds its
// command-line renderer to this one's reports.
#ifndef _WIN32
TEST(WholeSession, CommandLineRendererGivesTheSameReport) {
    if (access((testsupport::BinDir() + "/tavon-datalog").c_str(), X_OK) != 0) {
        GTEST_SKIP() << "tavon-datalog has not been built";
    }
    constexpr int16_t kSlot = 42;
    std::vector<uint8_t> image(LogImage::kImageSize, 0xFF);
    // Index entry of the slot: the start stamp as eight hex digits, then the tag positions.
    char name[20];
    std::snprintf(name, sizeof name, "%08X-----------", At(0));
    const size_t entry = LogImage::IndexEntryOffset(kSlot);
    for (size_t i = 0; i < LogImage::kEntrySize; ++i) {
        image[entry + i] = i + 1 < LogImage::kEntrySize ? static_cast<uint8_t>(name[i]) : 0;
    }
    const Session session = EveryRecordType();
    const std::vector<uint8_t> stored = EscapeForFlash(session.stream);
    std::copy(stored.begin(), stored.end(),
              image.begin() + LogImage::DataSector(kSlot) * LogImage::kSectorSize);

    const testsupport::TempDir dir("report-cli-");
    ASSERT_TRUE(dir.Ok());
    const std::string dump = dir.File("FlashData.txt");
    const std::string out = dir.File("report.rtf");
    ASSERT_TRUE(testsupport::WriteFlashDump(dump, image));
    const testsupport::RunResult run =
        testsupport::RunProgram("tavon-datalog",
                                {"render", dump, std::to_string(kSlot), "--graph", "--mode-names",
                                 "Leak {Survey},Barhole,,", "-o", out},
                                dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;

    std::string expected = session.expected;
    const std::string raw = "Leak {Survey\\} mode";
    expected.replace(expected.find(raw), raw.size(), "Leak \\{Survey\\} mode");
    EXPECT_EQ(testsupport::ReadFile(out), kHeader + "Monday 07 Dec 2026 \\par " + expected + "}}");
}

#endif

} // namespace
