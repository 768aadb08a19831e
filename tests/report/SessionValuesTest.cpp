#include "report/SessionValues.h"
#include "SessionFixture.h"
#include "orvtime/OrvTime.h"

namespace {

using R = RecordBuilder;

class SessionValuesTest : public ReportTest {
protected:
    SessionValues Decode(const std::vector<uint8_t>& stream) {
        sessions.Store(3, EscapeForFlash(stream));
        return DecodeSessionValues(sessions, 3, modes);
    }
    std::string modes[4] = {"Survey", "", "", ""};
};

TEST_F(SessionValuesTest, EveryKindCarriesItsValues) {
    const GpsFix northEast = GpsFix::At(true, 5130, 1234, true, 123, 4567, 2);
    const GpsFix southWest = GpsFix::At(false, 3352, 5000, false, 15112, 3000, 1);
    const std::vector<uint8_t> stream = Join({
        R::Stamped('O', '1', kStamp).Chars("GAS", 3).Chars("JS", 4).Bytes(),
        R::Unstamped('U', '1').Chars("J Smith", 16).Bytes(),
        R::Stamped('J', '1', kStamp + 1).Text("=W/O 1").Byte(0).Bytes(),
        R::Stamped('W', '3', kStamp + 2).S16(150).Gps(northEast).Bytes(),
        R::Stamped('W', '3', kStamp + 3).S16(10).Byte(0xFF).Bytes(),
        R::Stamped('A', '2', kStamp + 4)
            .Byte(4)
            .Readings({{0, 25}, {4, 30}, {7, 255}}, R::kGpsFollows)
            .Gps(southWest)
            .Bytes(),
        R::Stamped('D', '2', kStamp + 5).Byte(3).Bytes(),
        R::Stamped('L', '4', kStamp + 6)
            .Byte('2')
            .Readings({{3, 209}, {4, 10000}}, R::kGpsFollows)
            .S16(1)
            .S16(2)
            .S16(3)
            .S16(4)
            .S16(5)
            .Bytes(),
        R::Stamped('C', '2', kStamp + 7)
            .SensorResult(0, 1, 500, 498)
            .SensorResult(4, 2, 100, 90)
            .Byte(0xFF)
            .Bytes(),
        R::Stamped('B', '2', kStamp + 8).BumpResult(5, 3, 0).BumpResult(4, 1, 45).Bytes(),
        R::Barhole('3', kStamp + 9, 2, 150, 'G', 60, 'G')
            .Bytes({0, 0, 0}) // up to the profile at offset 18
            .Bytes({10, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
            .Gps(northEast)
            .Bytes(),
        R::Stamped('X', '1', kStamp + 10).Bytes(),
        R::Stamped('Y', '7', kStamp + 11).Bytes(),
        R::FreeText("a,\"b\"\r\nc").Bytes(),
    });
    const SessionValues session = Decode(stream);
    ASSERT_EQ(session.Records.size(), 14u);
    EXPECT_TRUE(session.HasUnrecognised);
    const std::vector<RecordValue>& r = session.Records;

    EXPECT_EQ(r[0].Kind, RecordKind::SwitchOn);
    EXPECT_EQ(r[0].Text, "JS");
    EXPECT_EQ(r[0].ModeCode, "GAS");
    EXPECT_EQ(r[0].Mode, "Survey");
    EXPECT_EQ(r[0].Time, COrvTime(kStamp).Value());

    // No stamp of its own: the user name keeps the switch-on's time.
    EXPECT_EQ(r[1].Kind, RecordKind::UserName);
    EXPECT_FALSE(r[1].Stamped);
    EXPECT_EQ(r[1].Time, r[0].Time);
    EXPECT_EQ(r[1].Text, "J Smith");
    EXPECT_EQ(r[2].Text, "=W/O 1");

    EXPECT_EQ(r[3].Kind, RecordKind::Survey);
    ASSERT_EQ(r[3].Readings.size(), 1u);
    EXPECT_DOUBLE_EQ(r[3].Readings[0].Value(), 150.0);
    ASSERT_TRUE(r[3].HasGps);
    EXPECT_TRUE(r[3].Gps.Located());
    EXPECT_NEAR(r[3].Gps.Latitude(), 51 + 30.1234 / 60, 1e-9);
    EXPECT_NEAR(r[3].Gps.Longitude(), 1 + 23.4567 / 60, 1e-9);
    // The zero block stands in the record but holds no position.
    EXPECT_TRUE(r[4].HasGps);
    EXPECT_FALSE(r[4].Gps.Located());

    EXPECT_EQ(r[5].Kind, RecordKind::Alarm);
    EXPECT_EQ(r[5].AlarmGas, 4);
    ASSERT_EQ(r[5].Readings.size(), 3u);
    EXPECT_DOUBLE_EQ(r[5].Readings[0].Value(), 2.5);
    EXPECT_STREQ(GasInfoOf(r[5].Readings[1].Code).Name, "CO");
    EXPECT_STREQ(GasInfoOf(r[5].Readings[1].Code).Unit, "ppm");
    EXPECT_DOUBLE_EQ(r[5].Readings[2].Value(), 2.55);
    EXPECT_NEAR(r[5].Gps.Latitude(), -(33 + 52.5 / 60), 1e-9);
    EXPECT_NEAR(r[5].Gps.Longitude(), -(151 + 12.3 / 60), 1e-9);
    EXPECT_EQ(r[5].Mode, "Survey");

    EXPECT_EQ(r[6].Mode, "mode 3");
    EXPECT_EQ(r[7].Mode, "mode 3");
    EXPECT_EQ(r[7].GasType, '2');
    EXPECT_TRUE(r[7].Readings[1].OverRange());
    EXPECT_EQ(r[7].ExtraCount, 5);
    EXPECT_EQ(r[7].Extra[4], 5);

    ASSERT_EQ(r[8].Sensors.size(), 2u);
    EXPECT_EQ(r[8].Sensors[0].Result, TestResult::Pass);
    EXPECT_EQ(r[8].Sensors[0].Divisor, 10);
    EXPECT_EQ(r[8].Sensors[1].Result, TestResult::Fail);
    ASSERT_EQ(r[9].Sensors.size(), 2u);
    EXPECT_EQ(r[9].Sensors[0].Result, TestResult::NotTested);
    EXPECT_EQ(r[9].Sensors[1].First, 45);

    EXPECT_EQ(r[10].Barhole.Number, 2);
    EXPECT_EQ(r[10].Barhole.Peak, 150);
    EXPECT_TRUE(r[10].Barhole.PeakGas);
    ASSERT_EQ(r[10].Barhole.ProfileCount, 15);
    EXPECT_FLOAT_EQ(r[10].Barhole.Profile[0], 0.8f);
    EXPECT_TRUE(r[10].Gps.Located());

    // An unknown letter and an unknown version: kept with the letter and version byte.
    EXPECT_EQ(r[11].Kind, RecordKind::Unrecognised);
    EXPECT_EQ(r[11].Letter, 'X');
    EXPECT_EQ(r[11].Version, '1');
    EXPECT_EQ(r[12].Kind, RecordKind::Unrecognised);
    EXPECT_EQ(r[12].Letter, 'Y');
    EXPECT_EQ(r[12].Version, '7');
    EXPECT_EQ(r[13].Text, "a,\"b\"\r\nc");
}

TEST_F(SessionValuesTest, WalkEndsWhereTheReportEnds) {
    // A zero length ends the stream; what follows it is in neither the report nor the values.
    const std::vector<uint8_t> stream =
        Join({R::Stamped('Y', '1', kStamp).Bytes(), R::Raw().Byte('Y').ForceLength(0).Bytes(),
              R::Stamped('Y', '1', kStamp).Bytes()});
    EXPECT_EQ(Decode(stream).Records.size(), 1u);
    EXPECT_EQ(Render(stream), T("\\par %X Switch off.\\par "));
}

TEST(GpsValue, OnlyAPlaceOnEarthIsLocated) {
    struct Case {
        GpsValue gps;
        bool located;
    };
    const Case cases[] = {
        {{true, true, true, 0, 9000, 0, 18000, 0}, true},
        {{true, true, true, 0, 9000, 1, 0, 0}, false},  // beyond the pole
        {{true, true, true, 0, 5160, 0, 0, 0}, false},  // 60 minutes
        {{true, true, true, 0, -5130, 0, 0, 0}, false}, // a negative number
        {{true, true, true, 0, 5130, 0, 18001, 0}, false},
        {{false, true, true, 0, 5130, 0, 100, 0}, false}, // no fix
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.gps.Located(), c.located) << c.gps.LatDegMin << " " << c.gps.LonDegMin;
    }
}

} // namespace
