#include "SessionBodies.h"

#include <cstdio>
#include <string>
#include <vector>

#include "recbuild/RecordBuilder.h"
#include "sim/InstrumentTests.h"

namespace sim {

const char* const kInitials[4] = {"JB", "AO", "PL", "MH"};

namespace {

constexpr size_t kStreamLimit = 3990; // keeps every record inside the 4,000 bytes the host reads

// Gas codes of the readings tables.
constexpr uint8_t kLel = 0, kGas = 1, kPpm = 2, kO2 = 3, kCo = 4, kH2s = 5, kGas100 = 7;

const char* const kUsers[] = {"J Bradshaw", "A Okafor", "P Lindqvist", "M Hughes"};

void Pump(RecordComposer& c, char state) {
    c.Add(RecordBuilder::Stamped('p', '1', c.Now()).Byte(static_cast<uint8_t>(state)));
}

// A reading list of the usual four-gas head.
RecordBuilder& FourGas(RecordComposer& c, RecordBuilder& r, int lel, int co) {
    return r.Reading(kLel, static_cast<int16_t>(lel))
        .Reading(kO2, static_cast<int16_t>(c.Pick(207, 209)))
        .Reading(kCo, static_cast<int16_t>(co))
        .Reading(kH2s, static_cast<int16_t>(c.Pick(0, 1)));
}

void ManualReadings(RecordComposer& c, int count) {
    for (int i = 0; i < count; ++i) {
        c.Step(30, 400);
        const int16_t gas = static_cast<int16_t>(c.Pick(0, 30));
        switch (i % 8) {
        case 0: { // the room rule with a position
            RecordBuilder r = RecordBuilder::Stamped('M', '1', c.Now());
            r.Reading(kGas, gas).Reading(kCo, static_cast<int16_t>(c.Pick(0, 9)));
            r.Byte(RecordBuilder::kGpsFollows).Gps(c.Fix());
            c.Add(r);
            break;
        }
        case 1: { // duplicate GAS entries: the instrument logs the raw and the settled value
            RecordBuilder r = RecordBuilder::Stamped('M', '1', c.Now());
            r.Reading(kGas, static_cast<int16_t>(gas + 3))
                .Reading(kGas, gas)
                .Reading(0x80 | kCo, 2);
            r.Byte(RecordBuilder::kNoGps);
            c.Add(r);
            break;
        }
        case 2:
        case 3: { // a place from the location or room tables
            const bool rooms = i % 8 == 3;
            RecordBuilder r = RecordBuilder::Stamped('M', '2', c.Now());
            r.Byte(static_cast<uint8_t>(rooms ? c.Pick(0, 13) : c.Pick(0, 6)))
                .Byte(static_cast<uint8_t>(rooms ? c.Pick(0, 13) : c.Pick(0, 4)))
                .Byte(rooms ? 1 : 0);
            r.Reading(kGas, gas).Reading(kPpm, static_cast<int16_t>(c.Pick(0, 400)));
            r.Byte(RecordBuilder::kNoGps);
            if (c.Coin(0.5))
                r.Gps(c.Fix());
            c.Add(r);
            break;
        }
        case 4: { // a place table this instrument's host does not have yet
            RecordBuilder r = RecordBuilder::Stamped('M', '2', c.Now());
            r.Byte(2).Byte(1).Byte(2).Reading(kGas, gas).Byte(RecordBuilder::kNoGps);
            c.Add(r);
            break;
        }
        case 5: { // methane or natural gas
            RecordBuilder r = RecordBuilder::Stamped('M', '3', c.Now());
            r.Byte(c.Coin(0.5) ? '1' : '2')
                .Reading(kGas, gas)
                .Reading(kGas100, static_cast<int16_t>(c.Pick(0, 254)));
            r.Reading(kGas, static_cast<int16_t>(gas + 1))
                .Byte(RecordBuilder::kGpsFollows)
                .Gps(c.Fix());
            c.Add(r);
            break;
        }
        case 6: { // marker rule: a position follows
            RecordBuilder r = RecordBuilder::Stamped('M', '4', c.Now());
            r.Byte('2').Reading(kGas, gas).Reading(kCo, static_cast<int16_t>(c.Pick(0, 9)));
            r.Byte(RecordBuilder::kGpsFollows).Gps(c.Fix());
            c.Add(r);
            break;
        }
        default: { // marker rule: no position, a receiver without a fix, or none fitted
            RecordBuilder r = RecordBuilder::Stamped('M', '4', c.Now());
            r.Byte('1').Reading(kGas, gas);
            const int variant = c.Pick(0, 2);
            if (variant == 0) {
                r.Byte(RecordBuilder::kGpsFollows);
            } else if (variant == 1) {
                r.Byte(RecordBuilder::kNoGps);
            } else {
                GpsFix searching; // the hemisphere bits stand, the fix bit does not
                searching.North = true;
                searching.Quality = 0;
                r.Byte(RecordBuilder::kGpsFollows).Gps(searching);
            }
            c.Add(r);
            break;
        }
        }
    }
}

std::vector<uint8_t> Profile(RecordComposer& c, int peakByte) {
    std::vector<uint8_t> samples;
    for (int i = 0; i < 15; ++i) {
        const int rise = i < 5 ? peakByte * (i + 1) / 5 : peakByte - (peakByte * (i - 4)) / 14;
        samples.push_back(
            static_cast<uint8_t>(rise < 0 ? 0 : (rise > 255 ? 255 : rise) + c.Pick(0, 2)));
    }
    return samples;
}

void Barholes(RecordComposer& c) {
    int number = 1;
    for (char version = '1'; version <= '5'; ++version) {
        const int count = version == '5' ? 3 : 2;
        for (int k = 0; k < count; ++k, ++number) {
            c.Step(90, 600);
            const bool gasUnits = (number % 3) != 0;
            const int16_t peak = static_cast<int16_t>(gasUnits ? c.Pick(5, 640) : c.Pick(10, 900));
            const int16_t sustained = static_cast<int16_t>(peak * c.Pick(40, 90) / 100);
            RecordBuilder r = RecordBuilder::Stamped('H', version, c.Now());
            r.Byte(static_cast<uint8_t>(number)).S16(peak).Byte(gasUnits ? 'G' : 'L');
            r.S16(k == 1 && version == '2' ? static_cast<int16_t>(0x8005) : sustained);
            r.Byte(gasUnits ? 'G' : 'L').Byte(0);
            const bool withFix = k == 0;
            switch (version) {
            case '1':
                if (withFix)
                    r.Gps(c.Fix());
                break;
            case '2':
                r.Byte(0).Byte(0);
                if (withFix)
                    r.Gps(c.Fix());
                break;
            case '3':
            case '4':
                r.Byte(0).Byte(0).Bytes(Profile(c, c.Pick(20, 120)));
                if (withFix)
                    r.Gps(c.Fix());
                break;
            default:
                if (withFix)
                    r.Gps(c.Fix());
                else
                    r.Byte(k == 1 ? RecordBuilder::kGpsFollows : RecordBuilder::kNoGps);
                break;
            }
            c.Add(r);
        }
    }
}

void PipelineTests(RecordComposer& c) {
    const char letters1[] = {'G', 'L', 'g', 'l'};
    const char letters2[] = {'G', 'g', 'X', 'L', 'l'};
    for (char letter : letters1) {
        c.Step(60, 300);
        c.Add(RecordBuilder::Stamped('P', '1', c.Now())
                  .Byte(static_cast<uint8_t>(letter))
                  .S16(static_cast<int16_t>(c.Pick(-2, 990))));
    }
    for (char letter : letters2) {
        c.Step(60, 300);
        c.Add(RecordBuilder::Stamped('P', '2', c.Now())
                  .Byte(static_cast<uint8_t>(letter))
                  .S16(static_cast<int16_t>(c.Pick(30, 70))));
    }
}

void TimedRun(RecordComposer& c, int count, bool allVersions) {
    for (int i = 0; i < count; ++i) {
        c.Step(30, 60);
        const int lel = c.Coin(0.1) ? c.Pick(1, 60) : 0;
        const int co = c.Pick(0, 20);
        const int version = allVersions ? i % 6 : 0;
        RecordBuilder r = RecordBuilder::Stamped('L', "122344"[version], c.Now());
        if (version >= 3)
            r.Byte(version == 3 ? '1' : '2');
        FourGas(c, r, lel, co);
        switch (version) {
        case 0:
            r.Byte(RecordBuilder::kNoGps);
            break;
        case 1:
            r.Byte(RecordBuilder::kGpsFollows);
            if (c.Coin(0.5))
                r.Gps(c.Fix());
            break;
        case 2:
            r.Byte(RecordBuilder::kNoGps);
            break;
        case 3:
            r.Byte(RecordBuilder::kGpsFollows).Gps(c.Fix());
            break;
        case 4: // five more raw channels; one of them over range
            r.Byte(RecordBuilder::kGpsFollows);
            for (int k = 0; k < 5; ++k)
                r.S16(static_cast<int16_t>(k == 4 ? 10000 : (k == 3 ? -3 : c.Pick(0, 400))));
            break;
        default:
            r.Byte(RecordBuilder::kNoGps);
            break;
        }
        c.Add(r);
    }
}

} // namespace

void SwitchOn(RecordComposer& c, int mode, int user, bool withInitials) {
    RecordBuilder r = RecordBuilder::Stamped('O', '1', c.Now()).Chars(kModeCodes[0], 3);
    if (withInitials)
        r.Chars(kInitials[user], 4);
    c.Add(r);
    if (mode != 0) {
        c.Step(5, 30);
        c.Add(RecordBuilder::Stamped('D', '1', c.Now()).Chars(kModeCodes[mode], 3));
    }
}

void UserAndJob(RecordComposer& c, int user, int job) {
    c.Step(2, 20);
    c.Add(RecordBuilder::Unstamped('U', '1').Chars(kUsers[user], 16));
    c.Step(5, 60);
    char text[16];
    std::snprintf(text, sizeof text, "NW-%05d-%02d", 20000 + job * 37 % 9000, job % 97);
    c.Add(RecordBuilder::Stamped('J', '1', c.Now()).Text(text).Byte(0));
}

void SwitchOff(RecordComposer& c) {
    c.Step(20, 300);
    c.Add(RecordBuilder::Stamped('Y', '1', c.Now()));
}

void SurveyBody(RecordComposer& c) {
    c.Step(30, 120);
    Pump(c, '1');
    const int readings = c.Pick(8, 18);
    for (int i = 0; i < readings; ++i) {
        c.Step(15, 240);
        const int16_t ppm = static_cast<int16_t>(c.Coin(0.2) ? c.Pick(20, 900) : c.Pick(0, 12));
        switch (i % 6) {
        case 0: // without a position
            c.Add(RecordBuilder::Stamped('W', '1', c.Now()).S16(ppm).Byte(RecordBuilder::kNoGps));
            break;
        case 1:
            c.Add(RecordBuilder::Stamped('W', '1', c.Now()).S16(ppm).Gps(c.Fix()));
            break;
        case 2:
            c.Add(RecordBuilder::Stamped('W', '2', c.Now()).S16(ppm).Gps(c.Fix()));
            break;
        case 3:
            c.Add(RecordBuilder::Stamped('W', '3', c.Now()).S16(ppm).Gps(c.Fix()));
            break;
        case 4: // the receiver lost its fix
            c.Add(RecordBuilder::Stamped('W', '3', c.Now())
                      .S16(ppm)
                      .Byte(RecordBuilder::kGpsFollows));
            break;
        default: // no receiver fitted
            c.Add(RecordBuilder::Stamped('W', '3', c.Now()).S16(ppm).Byte(RecordBuilder::kNoGps));
            break;
        }
        if (ppm > 500) {
            // A strong reading sets off the PPM alarm, with or without a position.
            c.Step(1, 3);
            RecordBuilder a = RecordBuilder::Stamped('A', '2', c.Now()).Byte(kPpm);
            a.Reading(kPpm, ppm).Reading(kCo, static_cast<int16_t>(c.Pick(0, 5)));
            a.Byte(RecordBuilder::kGpsFollows);
            if (c.Coin(0.6))
                a.Gps(c.Fix());
            c.Add(a);
        }
    }
    c.Step(10, 60);
    Pump(c, '4');
    c.Step(5, 30);
    Pump(c, '2');
    c.Step(5, 30);
    Pump(c, '3');
    c.Step(30, 90);
    RecordBuilder g = RecordBuilder::Stamped('G', '1', c.Now());
    for (int i = 0; i < 10; ++i)
        g.Byte(static_cast<uint8_t>(c.Pick(1, 32))).Byte(static_cast<uint8_t>(c.Pick(18, 48)));
    c.Add(g);
    // A short alarm without a position, the older record form, and one on a GAS reading.
    c.Step(20, 80);
    RecordBuilder a1 = RecordBuilder::Stamped('A', '1', c.Now()).Byte(kPpm);
    a1.Reading(kPpm, static_cast<int16_t>(c.Pick(520, 1400)))
        .Reading(kGas, 6)
        .Byte(RecordBuilder::kNoGps);
    c.Add(a1);
    c.Step(5, 20);
    RecordBuilder a2 = RecordBuilder::Stamped('A', '2', c.Now()).Byte(kGas);
    a2.Reading(kGas, static_cast<int16_t>(c.Pick(11, 40)))
        .Reading(kGas, 12)
        .Byte(RecordBuilder::kNoGps);
    c.Add(a2);
    // The marker says a position follows, but the record ends: the host shows no fix.
    c.Step(5, 20);
    RecordBuilder a3 = RecordBuilder::Stamped('A', '2', c.Now()).Byte(kLel);
    a3.Reading(kLel, static_cast<int16_t>(c.Pick(100, 250)))
        .Reading(kPpm, 10000)
        .Byte(RecordBuilder::kGpsFollows);
    c.Add(a3);
    c.Step(10, 60);
    Pump(c, '0');
}

void LeakBody(RecordComposer& c, bool full) {
    c.Step(30, 200);
    c.Add(RecordBuilder::FreeText("Meter box outside\r\nsmell reported at riser"));
    ManualReadings(c, full ? 8 : c.Pick(3, 8));
    c.Step(30, 120);
    c.Add(RecordBuilder::Stamped('D', '1', c.Now()).Chars(kModeCodes[2], 3));
    if (full || c.Coin(0.5))
        Barholes(c);
    if (full || c.Coin(0.5))
        PipelineTests(c);
    c.Step(30, 120);
    c.Add(RecordBuilder::Stamped('D', '2', c.Now()).Byte(static_cast<uint8_t>(c.Pick(1, 4))));
}

void MonitorBody(RecordComposer& c, bool full) {
    c.Step(20, 90);
    c.Add(RecordBuilder::Stamped('z', '1', c.Now()));
    TimedRun(c, full ? 24 : c.Pick(11, 30), true);
    if (full || c.Coin(0.5)) {
        c.Step(10, 30);
        RecordBuilder a = RecordBuilder::Stamped('A', '1', c.Now()).Byte(kO2);
        a.Reading(kLel, 0).Reading(kO2, 193).Reading(kCo, 4).Reading(kH2s, 0).Byte(
            RecordBuilder::kNoGps);
        c.Add(a);
        c.Step(10, 30);
        RecordBuilder b = RecordBuilder::Stamped('A', '2', c.Now()).Byte(kCo);
        b.Reading(kLel, 0)
            .Reading(kO2, 201)
            .Reading(kCo, 35)
            .Reading(kH2s, 0)
            .Byte(RecordBuilder::kGpsFollows)
            .Gps(c.Fix());
        c.Add(b);
        TimedRun(c, c.Pick(3, 12), false);
    }
}

void CalibrationBody(RecordComposer& c, bool full) {
    c.Step(10, 60);
    c.Add(RecordBuilder::Stamped('I', '1', c.Now()));
    const uint8_t soundness[] = {0x03, 0x07, 0x01, 0x00, 0x05};
    for (int i = 0; i < (full ? 5 : 2); ++i) {
        c.Step(60, 240);
        c.Add(RecordBuilder::Stamped('S', '1', c.Now()).Byte(soundness[full ? i : c.Pick(0, 4)]));
    }
    c.Step(60, 300);
    c.Add(RecordBuilder::Stamped('Z', '2', c.Now())
              .SensorResult(kLel, 1, 0, 2)
              .SensorResult(kO2, 1, 209, 208)
              .SensorResult(kCo, 1, 0, 1)
              .SensorResult(kH2s, 3, 0, 0)
              .Byte(RecordBuilder::kSensorListEnd));
    c.Step(120, 400);
    c.Add(RecordBuilder::Stamped('C', '1', c.Now())
              .SensorValues(kLel, 500, static_cast<uint16_t>(c.Pick(480, 520)))
              .SensorValues(kCo, 100, static_cast<uint16_t>(c.Pick(95, 105)))
              .Byte(RecordBuilder::kSensorListEnd));
    if (full || c.Coin(0.5)) {
        c.Step(120, 400);
        c.Add(RecordBuilder::Stamped('C', '2', c.Now())
                  .SensorResult(kLel, 1, 500, static_cast<int16_t>(c.Pick(480, 520)))
                  .SensorResult(kO2, 2, 209, 180)
                  .SensorResult(kCo, 1, 100, 99)
                  .SensorResult(kH2s, 3, 0, 0)
                  .Byte(RecordBuilder::kSensorListEnd));
    }
    c.Step(60, 200);
    c.Add(RecordBuilder::Stamped('B', '1', c.Now())
              .BumpResult(kLel, 1, static_cast<int16_t>(c.Pick(240, 260)))
              .BumpResult(kCo, c.Coin(0.8) ? 1 : 2, static_cast<int16_t>(c.Pick(40, 60)))
              .BumpResult(kH2s, 3, 0)
              .Byte(RecordBuilder::kSensorListEnd));
    c.Step(60, 200);
    c.Add(RecordBuilder::Stamped('B', '2', c.Now())
              .BumpResult(kLel, 1, 251)
              .BumpResult(kO2, 1, 180)
              .BumpResult(kCo, 2, 12)
              .BumpResult(kH2s, 3, 0)
              .Byte(RecordBuilder::kSensorListEnd));
    if (full || c.Coin(0.3)) {
        c.Step(60, 200);
        c.Add(RecordBuilder::Stamped('F', '1', c.Now())
                  .SensorValues(kLel, 500, static_cast<uint16_t>(c.Pick(490, 510)))
                  .SensorValues(kO2, 209, 209)
                  .Byte(RecordBuilder::kSensorListEnd));
    }
    c.Step(30, 90);
    c.Add(RecordBuilder::Stamped('z', '1', c.Now()));
}

void UnknownBody(RecordComposer& c) {
    const auto add = [&c](RecordBuilder r) {
        // A '<' inside a record of an unknown letter would be taken for the next record.
        std::vector<uint8_t> bytes = r.Bytes();
        for (size_t i = 2; i < bytes.size(); ++i)
            if (bytes[i] == '<')
                return false;
        c.Add(r);
        return true;
    };
    const auto stamped = [&c, &add](char type, char version, std::vector<uint8_t> payload) {
        for (;;) {
            c.Step(20, 90);
            if (add(RecordBuilder::Stamped(type, version, c.Now()).Bytes(payload)))
                return;
        }
    };
    stamped('Q', '1', {1, 2, 3, 4});
    stamped('O', '2', {'S', 'U', 'R'});
    stamped('A', '5', {0, 0, 0, 0, 0xFE});
    stamped('K', '1', {9, 9});
    stamped('Y', '3', {});
    stamped('Z', '1', {0, 1, 0, 0, 0, 0, 0xFF});
    stamped('x', '1', {0x20});
    stamped('H', '6', {1, 0, 0, 'G', 0, 0, 'G', 0});
    stamped('W', '4', {0x10, 0});
    c.Step(20, 90);
    c.Add(RecordBuilder::Stamped('W', '1', c.Now()).S16(3).Byte(RecordBuilder::kNoGps));
}

void EscapeAtByte99Body(RecordComposer& c) {
    // Pad with a note so that a reading of 85 PPM (stored as 0x55) lands on byte 99, the last
    // byte of the first 100-byte chunk the host reads.
    const size_t noteStart = c.Size();
    const size_t noteLength = 91 - noteStart; // the survey record then starts at 91
    std::string note = "Meter box checked at front door";
    note.resize(noteLength - 4, '.');
    c.Add(RecordBuilder::FreeText(note));
    c.Step(20, 60);
    c.Add(RecordBuilder::Stamped('W', '1', c.Now()).S16(85).Byte(RecordBuilder::kNoGps));
}

void OverflowingRunBody(RecordComposer& c) {
    // A boiler room with CO at 85 PPM and 8.5 % LEL: two stored escapes per reading, so the
    // stored run passes the end of its sector.
    c.Step(30, 60);
    RecordBuilder a = RecordBuilder::Stamped('A', '1', c.Now()).Byte(kCo);
    a.Reading(kLel, 85).Reading(kO2, 208).Reading(kCo, 85).Reading(kH2s, 0).Byte(
        RecordBuilder::kNoGps);
    c.Add(a);
    while (c.Size() + 21 + 8 <= kStreamLimit) {
        c.Step(10, 10);
        RecordBuilder r = RecordBuilder::Stamped('L', '1', c.Now());
        r.Reading(kLel, 85).Reading(kO2, 208).Reading(kCo, 85).Reading(kH2s, 0).Byte(
            RecordBuilder::kNoGps);
        c.Add(r);
    }
}

void LongRunBody(RecordComposer& c, size_t limit) {
    while (c.Size() + 30 <= limit) {
        c.Step(20, 20);
        RecordBuilder r = RecordBuilder::Stamped('L', '1', c.Now());
        FourGas(c, r, 0, c.Pick(0, 9)).Byte(RecordBuilder::kNoGps);
        c.Add(r);
    }
}

} // namespace sim
