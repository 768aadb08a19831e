// Barhole test, GPS average and pipeline gas test records.
#include "Decoders.h"
#include "GpsPosition.h"
#include "RecordStream.h"
#include "report/Report.h"

namespace {

constexpr uint8_t kGasUnit = 'G';
constexpr uint8_t kNoGpsBlock = 0xFE;
constexpr uint8_t kZeroGpsBlock = 0xFF;
constexpr int32_t kProfileSamples = 15;
// ".\par", twenty-one blanks and "GPS ": puts the position under the barhole figures.
const char kGpsLine[] = ".\\par                     GPS ";

int RoundToWhole(int tenths) {
    return (tenths + 5) / 10;
}

// Versions 1 and 5 show small readings with one decimal.
void AppendDecimalReadings(LineBuffer& line, int number, int peak, bool peakGas, int sustained,
                           bool sustainedGas) {
    if (peakGas) {
        if (peak <= 50) {
            line.AppendFormat(" %d: Pk = %d.%d %%Gas, ", number, peak / 10, peak % 10);
        } else {
            line.AppendFormat(" %d: Pk = %d %%Gas, ", number, RoundToWhole(peak));
        }
    } else if (peak <= 100) {
        line.AppendFormat(" %d: Pk = %d.%d %%LEL, ", number, peak / 10, peak % 10);
    } else {
        line.AppendFormat(" %d: Pk = %d %%LEL, ", number, RoundToWhole(peak));
    }
    if (sustainedGas) {
        if (sustained <= 50) {
            line.AppendFormat("Sus = %d.%d %%Gas", sustained / 10, sustained % 10);
        } else {
            line.AppendFormat("Sus = %d %%Gas", RoundToWhole(sustained));
        }
    } else if (sustained <= 100) {
        line.AppendFormat(" Sus = %d.%d %%LEL", sustained / 10, sustained % 10);
    } else {
        line.AppendFormat(" Sus = %d %%LEL", RoundToWhole(sustained));
    }
}

void AppendWholeReadings(LineBuffer& line, int number, int peak, bool peakGas, int sustained,
                         bool sustainedGas) {
    line.AppendFormat(peakGas ? " %d: Pk = %d %%Gas, " : " %d: Pk = %d %%LEL, ", number,
                      RoundToWhole(peak));
    line.AppendFormat(sustainedGas ? "Sus = %d %%Gas" : "Sus = %d %%LEL", RoundToWhole(sustained));
}

// The profile samples are stored compressed: each byte is shifted by a step that depends on the
// peak, then divided down to percent.
void AppendProfile(RecordContext& ctx, uint8_t version, int peak, bool peakGas) {
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
        const float value = static_cast<float>(sample << shift) / static_cast<float>(divisor);
        ctx.Line.AppendFloat("%3.1f\\par ", static_cast<double>(value));
    }
}

} // namespace

void DecodeBarhole(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.State.HeaderCountdown = 0;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '5') {
        ctx.MarkUnrecognisedVersion();
        ctx.AppendTime("\\par %X Barhole - new log format.\\par ");
        return;
    }
    const int number = record.Byte(8);
    int peak = record.S16(9);
    if (peak < 0) {
        peak = 0;
    }
    const bool peakGas = record.Byte(11) == kGasUnit;
    const uint16_t rawSustained = record.U16(12);
    const int sustained = (rawSustained & 0x8000) != 0 ? 0 : rawSustained;
    const bool sustainedGas = record.Byte(14) == kGasUnit;
    const int32_t length = record.Length();

    ctx.AppendTime("\\par %X Barhole");
    switch (version) {
    case '1':
        AppendDecimalReadings(ctx.Line, number, peak, peakGas, sustained, sustainedGas);
        if (length > 17) {
            ctx.Line.Append(kGpsLine);
            AppendRecordGpsText(ctx.Line, record, 16);
        }
        ctx.Line.Append(".\\par ");
        break;
    case '5': {
        AppendDecimalReadings(ctx.Line, number, peak, peakGas, sustained, sustainedGas);
        const uint8_t marker = record.Byte(16);
        if (marker == kZeroGpsBlock) {
            ctx.Line.Append(kGpsLine);
            AppendZeroBlockGpsText(ctx.Line);
        } else if (marker != kNoGpsBlock) {
            ctx.Line.Append(kGpsLine);
            AppendRecordGpsText(ctx.Line, record, 16);
        }
        ctx.Line.Append(".\\par ");
        break;
    }
    case '2':
        AppendWholeReadings(ctx.Line, number, peak, peakGas, sustained, sustainedGas);
        if (length > 19) {
            ctx.Line.Append(kGpsLine);
            AppendRecordGpsText(ctx.Line, record, 18);
        }
        ctx.Line.Append(".\\par ");
        break;
    default: // '3' and '4': a profile of the test, then the position
        AppendWholeReadings(ctx.Line, number, peak, peakGas, sustained, sustainedGas);
        ctx.Line.Append("\\par ");
        if (ctx.State.ShowBarholeGraph == 1) {
            AppendProfile(ctx, version, peak, peakGas);
        }
        if (length > 34) {
            ctx.Line.Append("GPS ");
            AppendRecordGpsText(ctx.Line, record, 33);
            ctx.Line.Append(".");
        }
        ctx.Line.Append("\\par ");
        break;
    }
}

void DecodeGpsAverage(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.State.HeaderCountdown = 0;
    ctx.TakeLogTime();
    ctx.AppendTime("\\par %X GPS Average : \\par ");
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    for (int32_t pair = 0; pair < 10; ++pair) {
        ctx.Line.AppendInt(record.Byte(8 + 2 * pair), 5);
        ctx.Line.AppendChar(' ');
        ctx.Line.AppendInt(record.Byte(9 + 2 * pair), 5);
        ctx.Line.Append(" \\par ");
    }
    ctx.Line.Append(".\\par ");
}

void DecodePipelineTest(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.State.HeaderCountdown = 0;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version != '1' && version != '2') {
        ctx.MarkUnrecognisedVersion();
        ctx.AppendTime("\\par %X Pipeline Gas Test");
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    int reading = record.S16(9);
    if (reading < 0) {
        reading = 0;
    }
    ctx.AppendTime("\\par %X Gas Test. ");
    if (reading <= 50) {
        ctx.Line.AppendFormat("%3d.%d", reading / 10, reading % 10);
    } else {
        ctx.Line.AppendFormat("%3d", RoundToWhole(reading));
    }
    switch (record.Byte(8)) {
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
        if (version == '2') {
            ctx.Line.Append("% GAS. No Determination.\\par ");
        }
        break;
    default:
        // An unknown result leaves the line open: the next record continues it.
        break;
    }
}
