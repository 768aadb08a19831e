// Soundness and filter check, calibration, zero, bump test and field calibration records.
#include "Decoders.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"

namespace {

constexpr uint8_t kListEnd = 0xFF;
constexpr int32_t kFirstEntry = 8;
constexpr int32_t kMaxBumpEntries = 9;

// A record hidden by the log filter leaves no text and no trace in the reading-line heading; an
// unknown version still flags the session, since the warning concerns the upload.
bool Hidden(RecordContext& ctx, int32_t show, bool knownVersion) {
    if (show != 0) {
        return false;
    }
    if (!knownVersion) {
        ctx.MarkUnrecognisedVersion();
    }
    return true;
}

void BeginTest(RecordContext& ctx, const char* heading) {
    ctx.State.HeaderCountdown = 0;
    ctx.AppendTime(heading);
}

void NewLogFormat(RecordContext& ctx) {
    ctx.MarkUnrecognisedVersion();
    ctx.Line.Append("- new log format.\\par ");
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

void AppendPassFail(LineBuffer& line, uint8_t flags) {
    line.Append(flags == 1 ? "PASS  " : "FAIL  ");
}

// Calibration version 2 and zero version 2: code, result flags, two signed values.
void AppendResultEntries(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    if (record.Length() <= 10) {
        return;
    }
    ForEachSensorEntry(record, 6, 255, [&ctx, &record](int32_t offset) {
        const uint8_t code = record.Byte(offset);
        const uint8_t flags = record.Byte(offset + 1);
        if ((flags & 3) == 3) {
            return;
        }
        const int first = record.S16(offset + 2);
        const int second = record.S16(offset + 4);
        AppendSensorLabel(ctx.Line, code);
        AppendPassFail(ctx.Line, flags);
        if (SensorScale(code) == 1) {
            ctx.Line.AppendInt(first, 4);
            ctx.Line.Append("  ");
            ctx.Line.AppendInt(second, 4);
            ctx.Line.Append("\\par ");
        } else {
            ctx.Line.AppendTenths(first, 2);
            ctx.Line.Append("  ");
            ctx.Line.AppendTenths(second, 2);
            ctx.Line.Append("\\par ");
        }
    });
}

// Calibration version 1 and field calibration: code and two unsigned values.
void AppendValueEntries(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ForEachSensorEntry(record, 5, 255, [&ctx, &record](int32_t offset) {
        AppendSensorLabel(ctx.Line, record.Byte(offset));
        ctx.Line.AppendInt(record.U16(offset + 1), 5);
        ctx.Line.AppendChar(' ');
        ctx.Line.AppendInt(record.U16(offset + 3), 5);
        ctx.Line.Append(" \\par ");
    });
}

} // namespace

void DecodeSoundness(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.State.HeaderCountdown = 0;
    ctx.TakeLogTime();
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.AppendTime("\\par %X Soundness test - new log format.\\par ");
        return;
    }
    const uint8_t flags = record.Byte(8);
    if ((flags & 1) != 0) {
        ctx.AppendTime("\\par %X Soundness test passed.\\par ");
    }
    if ((flags & 6) == 2) {
        ctx.AppendTime("\\par %X Filter Check passed.\\par ");
    } else if ((flags & 6) == 6) {
        ctx.AppendTime("\\par %X Filter Check failed.\\par ");
    }
}

void DecodeCalibration(RecordContext& ctx) {
    const uint8_t version = ctx.Record.Version();
    ctx.TakeLogTime();
    if (Hidden(ctx, ctx.State.ShowCalibrationLogs, version == '1' || version == '2')) {
        return;
    }
    BeginTest(ctx, "\\par %X Calibration\\par ");
    if (version == '1') {
        AppendValueEntries(ctx);
    } else if (version == '2') {
        AppendResultEntries(ctx);
    } else {
        NewLogFormat(ctx);
    }
}

void DecodeZero(RecordContext& ctx) {
    const uint8_t version = ctx.Record.Version();
    ctx.TakeLogTime();
    if (Hidden(ctx, ctx.State.ShowCalibrationLogs, version == '2')) {
        return;
    }
    BeginTest(ctx, "\\par %X Zero\\par ");
    if (version == '2') {
        AppendResultEntries(ctx);
    } else {
        NewLogFormat(ctx);
    }
}

void DecodeBumpTest(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    const uint8_t version = record.Version();
    ctx.TakeLogTime();
    if (Hidden(ctx, ctx.State.ShowBumpLogs, version == '1' || version == '2')) {
        return;
    }
    BeginTest(ctx, "\\par %X Bump Test\\par ");
    if (version != '1' && version != '2') {
        NewLogFormat(ctx);
        return;
    }
    if (record.Length() <= 10) {
        return;
    }
    ForEachSensorEntry(record, 4, kMaxBumpEntries, [&ctx, &record, version](int32_t offset) {
        const uint8_t code = record.Byte(offset);
        const uint8_t flags = record.Byte(offset + 1);
        if (version == '1' && (flags & 3) == 3) {
            return;
        }
        AppendSensorLabel(ctx.Line, code);
        if (version == '2' && flags == 3) {
            ctx.Line.Append("Not Tested\\par ");
            return;
        }
        AppendPassFail(ctx.Line, flags);
        const int value = record.S16(offset + 2);
        if (SensorScale(code) == 1) {
            ctx.Line.AppendInt(value, 4);
        } else {
            ctx.Line.AppendTenths(value, 2);
        }
        ctx.Line.Append("\\par ");
    });
}

void DecodeFieldCalibration(RecordContext& ctx) {
    const uint8_t version = ctx.Record.Version();
    ctx.TakeLogTime();
    if (Hidden(ctx, ctx.State.ShowCalibrationLogs, version == '1')) {
        return;
    }
    BeginTest(ctx, "\\par %X Field Cal\\par ");
    if (version == '1') {
        AppendValueEntries(ctx);
    } else {
        NewLogFormat(ctx);
    }
}
