#include "sim/LogMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "core/LogImage.h"
#include "orvtime/Calendar.h"
#include "recbuild/RecordBuilder.h"
#include "sim/Faults.h"
#include "sim/InstrumentTests.h"

namespace sim {

namespace {

constexpr uint8_t kErased = 0xFF;
constexpr size_t kStreamLimit = 3990; // keeps every record inside the 4,000 bytes the host reads

// Gas codes of the readings tables.
constexpr uint8_t kLel = 0, kGas = 1, kPpm = 2, kO2 = 3, kCo = 4, kH2s = 5, kGas100 = 7;

// Writes one session's records, keeping its clock, its tags and the letters it used.
class Composer {
public:
    Composer(Dice& dice, uint32_t start, int fixSeed) : m_dice(dice), m_t(start) {
        m_latFrac = static_cast<int16_t>(1000 + (fixSeed * 977) % 8000);
        m_lonFrac = static_cast<int16_t>(1000 + (fixSeed * 613) % 8000);
    }

    Dice& dice() { return m_dice; }
    uint32_t Now() const { return m_t; }
    void Step(uint32_t lo, uint32_t hi) { m_t += lo + m_dice.Below(hi - lo + 1); }
    int Pick(int lo, int hi) {
        return lo + static_cast<int>(m_dice.Below(static_cast<uint32_t>(hi - lo + 1)));
    }
    bool Coin(double p) { return m_dice.Chance(p); }
    size_t Size() const { return m_stream.size(); }
    std::vector<uint8_t>& Stream() { return m_stream; }

    void Add(const RecordBuilder& r) {
        const std::vector<uint8_t> bytes = r.Bytes();
        if (bytes.size() >= 4) {
            const std::string kind{static_cast<char>(bytes[2]),
                                   bytes[2] == 'T' ? '-' : static_cast<char>(bytes[3])};
            m_kinds.insert(kind);
            if (bytes[2] == 'A')
                alarm = true;
            if (bytes[2] == 'C')
                cal = true;
            if (bytes[2] == 'F')
                fieldCal = true;
        }
        m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
    }

    // A fix near the session's site, wandering a little from record to record.
    GpsFix Fix() {
        m_latFrac = static_cast<int16_t>((m_latFrac + Pick(0, 40)) % 10000);
        m_lonFrac = static_cast<int16_t>((m_lonFrac + Pick(0, 40)) % 10000);
        return GpsFix::At(true, 5328, m_latFrac, false, 214, m_lonFrac,
                          static_cast<uint8_t>(Pick(1, 2)));
    }

    std::string Kinds() const {
        std::string out;
        for (const std::string& k : m_kinds)
            out += (out.empty() ? "" : " ") + k;
        return out;
    }

    bool alarm = false, cal = false, fieldCal = false;

private:
    Dice& m_dice;
    uint32_t m_t;
    int16_t m_latFrac, m_lonFrac;
    std::vector<uint8_t> m_stream;
    std::set<std::string> m_kinds;
};

const char* const kUsers[] = {"J Bradshaw", "A Okafor", "P Lindqvist", "M Hughes"};
const char* const kInitials[] = {"JB", "AO", "PL", "MH"};

// ---- records shared by the session kinds ----

// The instrument always wakes up in its first mode; a session worked in another mode shows the
// engineer switching to it straight after.
void SwitchOn(Composer& c, int mode, int user, bool withInitials) {
    RecordBuilder r = RecordBuilder::Stamped('O', '1', c.Now()).Chars(kModeCodes[0], 3);
    if (withInitials)
        r.Chars(kInitials[user], 4);
    c.Add(r);
    if (mode != 0) {
        c.Step(5, 30);
        c.Add(RecordBuilder::Stamped('D', '1', c.Now()).Chars(kModeCodes[mode], 3));
    }
}

void UserAndJob(Composer& c, int user, int job) {
    c.Step(2, 20);
    c.Add(RecordBuilder::Unstamped('U', '1').Chars(kUsers[user], 16));
    c.Step(5, 60);
    char text[16];
    std::snprintf(text, sizeof text, "NW-%05d-%02d", 20000 + job * 37 % 9000, job % 97);
    c.Add(RecordBuilder::Stamped('J', '1', c.Now()).Text(text).Byte(0));
}

void SwitchOff(Composer& c) {
    c.Step(20, 300);
    c.Add(RecordBuilder::Stamped('Y', '1', c.Now()));
}

void Pump(Composer& c, char state) {
    c.Add(RecordBuilder::Stamped('p', '1', c.Now()).Byte(static_cast<uint8_t>(state)));
}

// A reading list of the usual four-gas head.
RecordBuilder& FourGas(Composer& c, RecordBuilder& r, int lel, int co) {
    return r.Reading(kLel, static_cast<int16_t>(lel))
        .Reading(kO2, static_cast<int16_t>(c.Pick(207, 209)))
        .Reading(kCo, static_cast<int16_t>(co))
        .Reading(kH2s, static_cast<int16_t>(c.Pick(0, 1)));
}

// ---- session kinds ----

void SurveyBody(Composer& c) {
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

void ManualReadings(Composer& c, int count) {
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

std::vector<uint8_t> Profile(Composer& c, int peakByte) {
    std::vector<uint8_t> samples;
    for (int i = 0; i < 15; ++i) {
        const int rise = i < 5 ? peakByte * (i + 1) / 5 : peakByte - (peakByte * (i - 4)) / 14;
        samples.push_back(
            static_cast<uint8_t>(rise < 0 ? 0 : (rise > 255 ? 255 : rise) + c.Pick(0, 2)));
    }
    return samples;
}

void Barholes(Composer& c) {
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

void PipelineTests(Composer& c) {
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

void LeakBody(Composer& c, bool full) {
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

void TimedRun(Composer& c, int count, bool allVersions) {
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

void MonitorBody(Composer& c, bool full) {
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

void CalibrationBody(Composer& c, bool full) {
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

// Records this host version does not decode: other letters, and known letters in later versions.
void UnknownBody(Composer& c) {
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

// ---- index and memory ----

std::string SessionName(bool dated, uint32_t stamp, const Composer& c, bool continuation, int mode,
                        int user) {
    char name[20];
    if (dated)
        std::snprintf(name, sizeof name, "%08X", stamp);
    else
        std::snprintf(name, sizeof name, "FFFFFFFF");
    std::string s = name;
    s += ' ';
    s += c.fieldCal ? 'F' : '-';
    s += c.alarm ? 'A' : '-';
    s += continuation ? 'C' : '-';
    s += c.cal ? 'C' : '-';
    s += kModeCodes[mode];
    s += ' ';
    s += kInitials[user];
    return s.substr(0, 19);
}

std::vector<uint8_t> Escape(const std::vector<uint8_t>& stream) {
    return EscapeForFlash(stream);
}

enum class Kind { Survey, Leak, Monitor, Calibration };

} // namespace

uint32_t InstrumentStamp(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        DaysFromCivil(2000, 1, 1);
    return static_cast<uint32_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

LogMemory::LogMemory() : m_bytes(kSize, kErased) {}

void LogMemory::Generate(const MemoryOptions& options) {
    std::fill(m_bytes.begin(), m_bytes.end(), kErased);
    m_sessions.clear();
    Dice dice(options.seed * 0x2545F4914F6CDD1Dull + 0x5EED);

    struct Planned {
        uint32_t start;
        Kind kind;
        bool full;
        int special; // 0 none, 1 escape at byte 99, 2 long run whose escapes pass the sector,
                     // 3 long run, 4 its continuation, 5 undated
    };
    std::vector<Planned> plan;

    // Working days from Monday 17 August to Friday 20 November 2026.
    const int64_t first = DaysFromCivil(2026, 8, 17);
    const int64_t last = DaysFromCivil(2026, 11, 20);
    int index = 0;
    for (int64_t d = first; d <= last; ++d) {
        const int weekday = static_cast<int>((d + 4) % 7); // 0 Sunday
        if (weekday == 0 || weekday == 6)
            continue;
        // The first fortnight is busy, so every kind shows up early; later days are sparser.
        if (d - first >= 14 && !dice.Chance(0.45))
            continue;
        const int sessions = 1 + static_cast<int>(dice.Below(3));
        uint32_t t = static_cast<uint32_t>((d - DaysFromCivil(2000, 1, 1)) * 86400) + 7 * 3600 +
                     30 * 60 + dice.Below(90 * 60);
        for (int s = 0; s < sessions; ++s, ++index) {
            Planned p{t, static_cast<Kind>(index % 4), index < 8, 0};
            if (index == 9)
                p.special = 1;
            if (index == 14)
                p.special = 3; // its continuation follows on the same day
            plan.push_back(p);
            if (p.special == 3) {
                plan.push_back(Planned{0, Kind::Monitor, false, 4});
                ++s;
                ++index;
            }
            t += 2 * 3600 + dice.Below(2 * 3600);
        }
    }
    // Never between a long run and its continuation.
    const auto insertNear = [&plan](size_t at, const Planned& p) {
        while (at > 0 && at < plan.size() && plan[at].special == 4)
            ++at;
        plan.insert(plan.begin() + static_cast<long>(at), p);
    };
    insertNear(plan.size() / 3, Planned{0, Kind::Survey, false, 2});
    insertNear(plan.size() / 2, Planned{7 * 3600 + 12 * 60, Kind::Survey, false, 5});

    int slot = 0;
    uint32_t previousEnd = 0;
    // Slots from 480 on stay free for the session of unknown records.
    for (size_t i = 0; i < plan.size() && slot < 470; ++i) {
        Planned& p = plan[i];
        if (p.special == 2) // the long escaped run sits on the day of the session before it
            p.start = previousEnd + 3600;
        if (p.special == 4)
            p.start = previousEnd + 1;
        // A session starts after the one before it has ended.
        if (p.special != 4 && p.special != 5 && p.start < previousEnd + 900)
            p.start = previousEnd + 900;
        const int mode =
            p.special == 2 || p.special == 3 || p.special == 4 ? 3 : static_cast<int>(p.kind);
        const int user = static_cast<int>(dice.Below(4));
        Composer c(dice, p.start, static_cast<int>(i));
        const bool continuation = p.special == 4;

        if (!continuation)
            SwitchOn(c, mode, user, dice.Chance(0.7) || p.special == 1);
        if (p.special == 1) {
            // Pad with a note so that a reading of 85 PPM (stored as 0x55) lands on byte 99, the
            // last byte of the first 100-byte chunk the host reads.
            UserAndJob(c, user, static_cast<int>(i));
            const size_t noteStart = c.Size();
            const size_t noteLength = 91 - noteStart; // the survey record then starts at 91
            std::string note = "Meter box checked at front door";
            note.resize(noteLength - 4, '.');
            c.Add(RecordBuilder::FreeText(note));
            c.Step(20, 60);
            c.Add(RecordBuilder::Stamped('W', '1', c.Now()).S16(85).Byte(RecordBuilder::kNoGps));
            LeakBody(c, false);
            SwitchOff(c);
        } else if (p.special == 2) {
            // A boiler room with CO at 85 PPM and 8.5 % LEL: two stored escapes per reading, so
            // the stored run passes the end of its sector.
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
            SwitchOff(c);
        } else if (p.special == 3 || p.special == 4) {
            // A long monitoring run that fills its sector; the instrument goes on in the next
            // slot and tags that session as a continuation.
            const size_t limit = p.special == 3 ? 3900 : 600;
            while (c.Size() + 30 <= limit) {
                c.Step(20, 20);
                RecordBuilder r = RecordBuilder::Stamped('L', '1', c.Now());
                FourGas(c, r, 0, c.Pick(0, 9)).Byte(RecordBuilder::kNoGps);
                c.Add(r);
            }
            if (p.special == 4)
                SwitchOff(c);
        } else {
            if (p.special == 5) {
                // The clock was lost: stamps count from the instrument's epoch again.
                UserAndJob(c, user, static_cast<int>(i));
            } else if (dice.Chance(0.6)) {
                UserAndJob(c, user, static_cast<int>(i));
            }
            switch (p.kind) {
            case Kind::Survey:
                SurveyBody(c);
                break;
            case Kind::Leak:
                LeakBody(c, p.full);
                break;
            case Kind::Monitor:
                MonitorBody(c, p.full);
                break;
            case Kind::Calibration:
                CalibrationBody(c, p.full);
                break;
            }
            SwitchOff(c);
        }
        if (p.special != 5)
            previousEnd = c.Now();

        GeneratedSession s;
        s.slot = slot;
        s.dated = p.special != 5;
        s.stamp = p.start;
        s.stream = c.Stream();
        s.alarm = c.alarm;
        s.cal = c.cal;
        s.fieldCal = c.fieldCal;
        s.continuation = continuation;
        s.kinds = c.Kinds();
        s.name = SessionName(s.dated, s.stamp, c, continuation, mode, user);
        m_sessions.push_back(s);

        ++slot;
        // The slot after the overflowing run stays free, and a few sessions were deleted.
        if (p.special == 2 || dice.Chance(0.06))
            ++slot;
    }

    if (options.withUnknownRecords) {
        Dice own(options.seed ^ 0x554E4B4E4F574E00ull);
        Composer c(own, InstrumentStamp(2026, 11, 23, 9, 14, 0), 7);
        SwitchOn(c, 0, 1, true);
        UnknownBody(c);
        SwitchOff(c);
        GeneratedSession s;
        s.slot = 480;
        s.stamp = InstrumentStamp(2026, 11, 23, 9, 14, 0);
        s.stream = c.Stream();
        s.alarm = c.alarm;
        s.cal = c.cal;
        s.fieldCal = c.fieldCal;
        s.unknownRecords = true;
        s.kinds = c.Kinds();
        s.name = SessionName(true, s.stamp, c, false, 0, 1);
        m_sessions.push_back(s);
    }

    std::vector<bool> used(kSlots, false);
    for (GeneratedSession& s : m_sessions) {
        const std::vector<uint8_t> stored = Escape(s.stream);
        s.storedLength = stored.size();
        used[static_cast<size_t>(s.slot)] = true;
        const size_t base = (static_cast<size_t>(s.slot) + kIndexSectors) * kSector;
        std::memcpy(m_bytes.data() + base, stored.data(), std::min(stored.size(), kSize - base));
        const size_t entry =
            static_cast<size_t>(s.slot / 50) * kSector + static_cast<size_t>(s.slot % 50) * 20;
        std::memcpy(m_bytes.data() + entry, s.name.data(), 19);
        m_bytes[entry + 19] = 0;
    }
    // A deleted session keeps its old name behind the 0xFF that empties the slot.
    for (int slot2 = 0; slot2 < slot; ++slot2) {
        if (used[static_cast<size_t>(slot2)])
            continue;
        const size_t entry =
            static_cast<size_t>(slot2 / 50) * kSector + static_cast<size_t>(slot2 % 50) * 20;
        std::memcpy(m_bytes.data() + entry + 1, "6A1F2C00 ---- SUR", 17);
    }
}

bool LogMemory::WriteDump(const std::string& path, std::string& error) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot write " + path;
        return false;
    }
    char line[16 * 3 + 3];
    static const char kHex[] = "0123456789ABCDEF";
    bool ok = true;
    for (size_t row = 0; row < kSize && ok; row += 16) {
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t b = m_bytes[row + i];
            line[3 * i] = kHex[b >> 4];
            line[3 * i + 1] = kHex[b & 15];
            line[3 * i + 2] = ' ';
        }
        line[48] = '\r';
        line[49] = '\n';
        ok = std::fwrite(line, 1, 50, f) == 50;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

bool LogMemory::LoadDump(const std::string& path, std::string& error) {
    // The program's own reader: a file it would refuse is refused here too, with its message.
    static_assert(LogImage::kImageSize == kSize, "the image and the memory are the same size");
    std::unique_ptr<LogImage> image(new LogImage);
    if (image->LoadDump(path.c_str(), error) != 1)
        return false;
    m_bytes.assign(image->Bytes(), image->Bytes() + kSize);
    m_sessions.clear();
    return true;
}

} // namespace sim
