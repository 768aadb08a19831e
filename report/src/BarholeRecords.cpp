// Barhole test, GPS average and pipeline gas test records.
#include "Decoders.h"
#include "GpsPosition.h"
#include "RecordFormat.h"
#include "RecordStream.h"
#include "report/Report.h"

#include <cstdio>
#include <string>

namespace {

bool Unrecognised(const FormatContext& ctx) {
    return ctx.Value.Kind == RecordKind::Unrecognised;
}

constexpr uint8_t kGasUnit = 'G';
constexpr uint8_t kNoGpsBlock = 0xFE;
constexpr uint8_t kZeroGpsBlock = 0xFF;
constexpr int32_t kProfileSamples = 15;
// ".\\par", twenty-one blanks and "GPS ": puts the position under the barhole figures.
const char kGpsLine[] = ".\\par                     GPS ";

int RoundToWhole(int tenths) {
    return (tenths + 5) / 10;
}

// Tenths of a percent as a barhole line shows them: versions 1 and 5 give a small reading (up to
// 5 % gas, 10 % LEL) one decimal; every other figure is rounded to a whole percent.
std::string BarholeNumber(int tenths, bool gas, bool decimals) {
    char text[24];
    if (decimals && tenths <= (gas ? 50 : 100)) {
        std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10);
    } else {
        std::snprintf(text, sizeof text, "%d", RoundToWhole(tenths));
    }
    return text;
}

bool DecimalBarhole(uint8_t version) {
    return version == '1' || version == '5';
}

void AppendBarholeReadings(LineBuffer& line, const BarholeValue& barhole, bool decimals) {
    line.AppendFormat(" %d: Pk = %s %%%s, ", barhole.Number,
                      BarholeNumber(barhole.Peak, barhole.PeakGas, decimals).c_str(),
                      barhole.PeakGas ? "Gas" : "LEL");
    // Versions 1 and 5 put one more blank before a sustained reading in % LEL.
    const char* lead = decimals && !barhole.SustainedGas ? " " : "";
    line.AppendFormat("%sSus = %s %%%s", lead,
                      BarholeNumber(barhole.Sustained, barhole.SustainedGas, decimals).c_str(),
                      barhole.SustainedGas ? "Gas" : "LEL");
}

// A pipeline gas test's reading: up to 5 % with one decimal, else rounded to a whole percent.
std::string PipelineNumber(int tenths) {
    char text[24];
    if (tenths <= 50) {
        std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10);
    } else {
        std::snprintf(text, sizeof text, "%d", RoundToWhole(tenths));
    }
    return text;
}

// The profile samples are stored compressed: each byte is shifted by a step that depends on the
// peak, then divided down to percent.
void ReadProfile(DecodeContext& ctx, uint8_t version) {
    BarholeValue& barhole = ctx.Value.Barhole;
    const int peak = barhole.Peak;
    const bool peakGas = barhole.PeakGas;
    int divisor = 0;
    int shift = 0;
    if (version == '3') {
        divisor = 100;
        if (!peakGas || peak < 100) {
            shift = 2;
        } else if (peak < 200) {
            shift = 3;
        } else if (peak < 400) {
            shift = 4;
        } else {
            shift = 6;
        }
    } else {
        divisor = 10;
        if (!peakGas || peak < 250) {
            shift = 0;
        } else if (peak < 500) {
            shift = 1;
        } else {
            shift = 2;
        }
    }
    for (int32_t i = 0; i < kProfileSamples; ++i) {
        const int sample = ctx.Record.Byte(18 + i);
        barhole.Profile[i] = static_cast<float>(sample << shift) / static_cast<float>(divisor);
    }
    barhole.ProfileCount = kProfileSamples;
}

void ReadGps(DecodeContext& ctx, int32_t offset) {
    ctx.Value.HasGps = true;
    ctx.Value.Gps = ReadGpsBlock(ctx.Record, offset);
}

void AppendGpsLine(FormatContext& ctx) {
    if (ctx.Value.HasGps) {
        ctx.Line.Append(kGpsLine);
        AppendGpsText(ctx.Line, ctx.Value.Gps);
    }
}

} // namespace

void DecodeBarhole(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '5') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    BarholeValue& barhole = ctx.Value.Barhole;
    barhole.Number = record.Byte(8);
    const int peak = record.S16(9);
    barhole.Peak = peak < 0 ? 0 : peak;
    barhole.PeakGas = record.Byte(11) == kGasUnit;
    const uint16_t rawSustained = record.U16(12);
    barhole.Sustained = (rawSustained & 0x8000) != 0 ? 0 : rawSustained;
    barhole.SustainedGas = record.Byte(14) == kGasUnit;
    const int32_t length = record.Length();
    switch (version) {
    case '1':
        if (length > 17) {
            ReadGps(ctx, 16);
        }
        break;
    case '5': {
        const uint8_t marker = record.Byte(16);
        if (marker == kZeroGpsBlock) {
            ctx.Value.HasGps = true;
        } else if (marker != kNoGpsBlock) {
            ReadGps(ctx, 16);
        }
        break;
    }
    case '2':
        if (length > 19) {
            ReadGps(ctx, 18);
        }
        break;
    default: // '3' and '4': a profile of the test, then the position
        ReadProfile(ctx, version);
        if (length > 34) {
            ReadGps(ctx, 33);
        }
        break;
    }
}

void FormatBarhole(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    if (Unrecognised(ctx)) {
        ctx.AppendTime("\\par %X Barhole - new log format.\\par ");
        return;
    }
    const BarholeValue& barhole = ctx.Value.Barhole;
    ctx.AppendTime("\\par %X Barhole");
    AppendBarholeReadings(ctx.Line, barhole, DecimalBarhole(ctx.Value.Version));
    switch (ctx.Value.Version) {
    case '1':
    case '2':
    case '5':
        AppendGpsLine(ctx);
        ctx.Line.Append(".\\par ");
        break;
    default: // '3' and '4'
        ctx.Line.Append("\\par ");
        if (ctx.State.ShowBarholeGraph == 1) {
            for (int32_t i = 0; i < barhole.ProfileCount; ++i) {
                ctx.Line.AppendFloat("%3.1f\\par ", static_cast<double>(barhole.Profile[i]));
            }
        }
        if (ctx.Value.HasGps) {
            ctx.Line.Append("GPS ");
            AppendGpsText(ctx.Line, ctx.Value.Gps);
            ctx.Line.Append(".");
        }
        ctx.Line.Append("\\par ");
        break;
    }
}

void DecodeGpsAverage(DecodeContext& ctx) {
    ctx.TakeLogTime();
    if (ctx.Record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    for (int32_t i = 0; i < RecordValue::kGpsAverageBytes; ++i) {
        ctx.Value.GpsAverage[i] = ctx.Record.Byte(8 + i);
    }
}

void FormatGpsAverage(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    ctx.AppendTime("\\par %X GPS Average : \\par ");
    if (Unrecognised(ctx)) {
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    for (int32_t pair = 0; pair < RecordValue::kGpsAverageBytes / 2; ++pair) {
        ctx.Line.AppendInt(ctx.Value.GpsAverage[2 * pair], 5);
        ctx.Line.AppendChar(' ');
        ctx.Line.AppendInt(ctx.Value.GpsAverage[2 * pair + 1], 5);
        ctx.Line.Append(" \\par ");
    }
    ctx.Line.Append(".\\par ");
}

void DecodePipelineTest(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version != '1' && version != '2') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    const int reading = record.S16(9);
    ctx.Value.PipelineReading = reading < 0 ? 0 : reading;
    ctx.Value.PipelineResult = record.Byte(8);
}

void FormatPipelineTest(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    if (Unrecognised(ctx)) {
        ctx.AppendTime("\\par %X Pipeline Gas Test");
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    const int reading = ctx.Value.PipelineReading;
    ctx.AppendTime("\\par %X Gas Test. ");
    // The whole part takes three places.
    ctx.Line.AppendFormat("%*s", reading <= 50 ? 5 : 3, PipelineNumber(reading).c_str());
    switch (ctx.Value.PipelineResult) {
    case 'G':
        ctx.Line.Append("% GAS. Pipeline gas.\\par ");
        break;
    case 'L':
        ctx.Line.Append("% LEL. Pipeline gas.\\par ");
        break;
    case 'g':
        ctx.Line.Append("% GAS. NOT Pipeline gas.\\par ");
        break;
    case 'l':
        ctx.Line.Append("% LEL. NOT Pipeline gas.\\par ");
        break;
    case 'X':
        if (ctx.Value.Version == '2') {
            ctx.Line.Append("% GAS. No Determination.\\par ");
        }
        break;
    default:
        // An unknown result leaves the line open: the next record continues it.
        break;
    }
}
