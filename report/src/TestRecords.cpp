// Soundness and filter check, calibration, zero, bump test and field calibration records.
#include "Decoders.h"
#include "RecordFormat.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"

namespace {

constexpr uint8_t kListEnd = 0xFF;
constexpr int32_t kFirstEntry = 8;
constexpr int32_t kMaxBumpEntries = 9;

bool Unrecognised(const FormatContext& ctx) {
    return ctx.Value.Kind == RecordKind::Unrecognised;
}

// Walks the per-sensor entries from offset 8 until the 0xFF end byte, the record's end or the
// entry limit, whichever comes first; no entry is read past the record.
template <typename Visit>
void ForEachSensorEntry(const LogRecordView& record, int32_t entrySize, int32_t maxEntries,
                        Visit visit) {
    const int32_t length = record.Length();
    int32_t offset = kFirstEntry;
    for (int32_t n = 0; n < maxEntries; ++n, offset += entrySize) {
        if (offset + entrySize > length || record.Byte(offset) == kListEnd) {
            return;
        }
        visit(offset);
    }
}

TestResult ResultOf(uint8_t flags, bool notTested) {
    return notTested ? TestResult::NotTested : flags == 1 ? TestResult::Pass : TestResult::Fail;
}

int32_t DivisorOf(uint8_t code) {
    return SensorScale(code) == 1 ? 1 : 10;
}

// Calibration version 2 and zero version 2: code, result flags, two signed values.
void ReadResultEntries(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    if (record.Length() <= 10) {
        return;
    }
    ForEachSensorEntry(record, 6, 255, [&ctx, &record](int32_t offset) {
        SensorValue sensor;
        sensor.Code = record.Byte(offset);
        sensor.Flags = record.Byte(offset + 1);
        sensor.Result = ResultOf(sensor.Flags, (sensor.Flags & 3) == 3);
        sensor.First = record.S16(offset + 2);
        sensor.Second = record.S16(offset + 4);
        sensor.HasSecond = true;
        sensor.Divisor = DivisorOf(sensor.Code);
        ctx.Value.Sensors.push_back(sensor);
    });
}

// Calibration version 1 and field calibration: code and two unsigned values.
void ReadValueEntries(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ForEachSensorEntry(record, 5, 255, [&ctx, &record](int32_t offset) {
        SensorValue sensor;
        sensor.Code = record.Byte(offset);
        sensor.First = record.U16(offset + 1);
        sensor.Second = record.U16(offset + 3);
        sensor.HasSecond = true;
        ctx.Value.Sensors.push_back(sensor);
    });
}

// A record hidden by the log filter leaves no text and no trace in the reading-line heading.
bool Hidden(int32_t show) {
    return show == 0;
}

void BeginTest(FormatContext& ctx, const char* heading) {
    ctx.State.HeaderCountdown = 0;
    ctx.AppendTime(heading);
}

void NewLogFormat(FormatContext& ctx) {
    ctx.Line.Append("- new log format.\\par ");
}

void AppendPassFail(LineBuffer& line, TestResult result) {
    line.Append(result == TestResult::Pass ? "PASS  " : "FAIL  ");
}

// A value as the report writes it: whole units, or tenths with one decimal.
void AppendSensorNumber(LineBuffer& line, const SensorValue& sensor, int32_t value) {
    if (sensor.Divisor == 1) {
        line.AppendInt(value, 4);
    } else {
        line.AppendTenths(value, 2);
    }
}

void AppendResultEntries(FormatContext& ctx) {
    for (const SensorValue& sensor : ctx.Value.Sensors) {
        if (sensor.Result == TestResult::NotTested) {
            continue;
        }
        AppendSensorLabel(ctx.Line, sensor.Code);
        AppendPassFail(ctx.Line, sensor.Result);
        AppendSensorNumber(ctx.Line, sensor, sensor.First);
        ctx.Line.Append("  ");
        AppendSensorNumber(ctx.Line, sensor, sensor.Second);
        ctx.Line.Append("\\par ");
    }
}

void AppendValueEntries(FormatContext& ctx) {
    for (const SensorValue& sensor : ctx.Value.Sensors) {
        AppendSensorLabel(ctx.Line, sensor.Code);
        ctx.Line.AppendInt(sensor.First, 5);
        ctx.Line.AppendChar(' ');
        ctx.Line.AppendInt(sensor.Second, 5);
        ctx.Line.Append(" \\par ");
    }
}

} // namespace

void DecodeSoundness(DecodeContext& ctx) {
    ctx.TakeLogTime();
    if (ctx.Record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    const uint8_t flags = ctx.Record.Byte(8);
    ctx.Value.SoundnessPassed = (flags & 1) != 0;
    ctx.Value.Filter = (flags & 6) == 2   ? FilterCheck::Passed
                       : (flags & 6) == 6 ? FilterCheck::Failed
                                          : FilterCheck::NotReported;
}

void FormatSoundness(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    if (Unrecognised(ctx)) {
        ctx.AppendTime("\\par %X Soundness test - new log format.\\par ");
        return;
    }
    if (ctx.Value.SoundnessPassed) {
        ctx.AppendTime("\\par %X Soundness test passed.\\par ");
    }
    if (ctx.Value.Filter == FilterCheck::Passed) {
        ctx.AppendTime("\\par %X Filter Check passed.\\par ");
    } else if (ctx.Value.Filter == FilterCheck::Failed) {
        ctx.AppendTime("\\par %X Filter Check failed.\\par ");
    }
}

void DecodeCalibration(DecodeContext& ctx) {
    const uint8_t version = ctx.Record.Version();
    ctx.TakeLogTime();
    if (version == '1') {
        ReadValueEntries(ctx);
    } else if (version == '2') {
        ReadResultEntries(ctx);
    } else {
        ctx.MarkUnrecognisedVersion();
    }
}

void FormatCalibration(FormatContext& ctx) {
    if (Hidden(ctx.State.ShowCalibrationLogs)) {
        return;
    }
    BeginTest(ctx, "\\par %X Calibration\\par ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
    } else if (ctx.Value.Version == '1') {
        AppendValueEntries(ctx);
    } else {
        AppendResultEntries(ctx);
    }
}

void DecodeZero(DecodeContext& ctx) {
    ctx.TakeLogTime();
    if (ctx.Record.Version() == '2') {
        ReadResultEntries(ctx);
    } else {
        ctx.MarkUnrecognisedVersion();
    }
}

void FormatZero(FormatContext& ctx) {
    if (Hidden(ctx.State.ShowCalibrationLogs)) {
        return;
    }
    BeginTest(ctx, "\\par %X Zero\\par ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
    } else {
        AppendResultEntries(ctx);
    }
}

void DecodeBumpTest(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    const uint8_t version = record.Version();
    ctx.TakeLogTime();
    if (version != '1' && version != '2') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    if (record.Length() <= 10) {
        return;
    }
    ForEachSensorEntry(record, 4, kMaxBumpEntries, [&ctx, &record, version](int32_t offset) {
        SensorValue sensor;
        sensor.Code = record.Byte(offset);
        sensor.Flags = record.Byte(offset + 1);
        // Version 1 marks a sensor left out by both low flag bits, version 2 by the value 3.
        const bool notTested = version == '1' ? (sensor.Flags & 3) == 3 : sensor.Flags == 3;
        sensor.Result = ResultOf(sensor.Flags, notTested);
        sensor.First = record.S16(offset + 2);
        sensor.Divisor = DivisorOf(sensor.Code);
        ctx.Value.Sensors.push_back(sensor);
    });
}

void FormatBumpTest(FormatContext& ctx) {
    if (Hidden(ctx.State.ShowBumpLogs)) {
        return;
    }
    BeginTest(ctx, "\\par %X Bump Test\\par ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    const bool showNotTested = ctx.Value.Version == '2';
    for (const SensorValue& sensor : ctx.Value.Sensors) {
        if (sensor.Result == TestResult::NotTested && !showNotTested) {
            continue;
        }
        AppendSensorLabel(ctx.Line, sensor.Code);
        if (sensor.Result == TestResult::NotTested) {
            ctx.Line.Append("Not Tested\\par ");
            continue;
        }
        AppendPassFail(ctx.Line, sensor.Result);
        AppendSensorNumber(ctx.Line, sensor, sensor.First);
        ctx.Line.Append("\\par ");
    }
}

void DecodeFieldCalibration(DecodeContext& ctx) {
    ctx.TakeLogTime();
    if (ctx.Record.Version() == '1') {
        ReadValueEntries(ctx);
    } else {
        ctx.MarkUnrecognisedVersion();
    }
}

void FormatFieldCalibration(FormatContext& ctx) {
    if (Hidden(ctx.State.ShowCalibrationLogs)) {
        return;
    }
    BeginTest(ctx, "\\par %X Field Cal\\par ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
    } else {
        AppendValueEntries(ctx);
    }
}
