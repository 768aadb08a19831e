// Survey, alarm, manual and timed reading records.
#include "Decoders.h"
#include "GasTables.h"
#include "GpsPosition.h"
#include "ReadingLine.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"

namespace {

constexpr uint8_t kNoGpsBlock = 0xFE;
constexpr uint8_t kZeroGpsBlock = 0xFF;

// Alarm, manual and timed records of a version this program cannot read are shown whatever the
// filter says. The countdown set to 10 comes round to 0 on the next shown reading line, so the
// heading stands above the one after it (or sooner, when the gases change).
void UnrecognisedReading(RecordContext& ctx, const char* literal) {
    ctx.MarkUnrecognisedVersion();
    ctx.State.HeaderCountdown = 10;
    ctx.AppendTime(literal);
}

} // namespace

void DecodeSurvey(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    ctx.State.HeaderCountdown = 0;
    const uint8_t version = record.Version();
    if (version != '1' && version != '2' && version != '3') {
        ctx.MarkUnrecognisedVersion();
        ctx.AppendTime("\\par %X Survey:  - new log format.\\par ");
        return;
    }
    ctx.AppendTime("\\par %X Survey: ");
    ctx.Line.AppendInt(record.S16(8), 5);
    ctx.Line.Append(" PPM at ");
    if (version == '3') {
        const uint8_t marker = record.Byte(10);
        if (marker == kZeroGpsBlock) {
            AppendZeroBlockGpsText(ctx.Line);
        } else if (marker != kNoGpsBlock) {
            AppendRecordGpsText(ctx.Line, record, 10);
        }
    } else if (record.Length() > 11) {
        AppendRecordGpsText(ctx.Line, record, 10);
    }
    ctx.Line.Append("\\par ");
}

void DecodeAlarm(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version != '1' && version != '2') {
        UnrecognisedReading(ctx, "\\par %X Alarm log - new log format.\\par ");
        return;
    }
    ReadingLine reading(ctx, ctx.State.ShowAlarmLogs);
    const ReadingListEnd end = reading.ParseList(9, false);
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("{\\cf5 \\highlight6 %X} A    ");
        reading.AppendValues();
        if (version == '2') {
            reading.AppendGpsByMarker(end);
        }
        ctx.Line.Append("    New ");
        const uint8_t gas = record.Byte(8) & 0x7F;
        if (gas < kGasCodeCount) {
            ctx.Line.Append(GasCodeTable[gas].Name);
        }
        ctx.Line.Append(" alarm.\\par ");
    }
    reading.Finish();
}

void DecodeManualReading(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '4') {
        UnrecognisedReading(ctx, "\\par %X Manual log - new log format.\\par ");
        return;
    }
    const int32_t listOffset = version == '1' ? 8 : version == '2' ? 11 : 9;
    ReadingLine reading(ctx, ctx.State.ShowManualLogs);
    const ReadingListEnd end = reading.ParseList(listOffset, true);
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("%X M    ");
        reading.AppendValues();
        if (version == '4') {
            reading.AppendGpsByMarker(end);
        } else {
            reading.AppendGpsByRoom(end);
        }
        if (version == '2') {
            const uint8_t a = record.Byte(8);
            const uint8_t b = record.Byte(9);
            const uint8_t set = record.Byte(10);
            // An index beyond its table shows as "?" and the index.
            auto place = [&ctx](const char(*table)[20], int size, uint8_t index) {
                if (index < size) {
                    ctx.Line.Append(table[index]);
                } else {
                    ctx.Line.AppendFormat("?%u", static_cast<unsigned>(index));
                }
            };
            if (set == 0) {
                place(LocationNames, kLocationCount, a);
                ctx.Line.Append(" / ");
                place(PositionNames, kPositionCount, b);
            } else if (set == 1) {
                place(RoomNames, kRoomCount, a);
                ctx.Line.Append(" / ");
                place(ReadingPointNames, kReadingPointCount, b);
            } else {
                ctx.Line.Append("Need new table");
            }
        } else if (version == '3' || version == '4') {
            reading.AppendGasType(record.Byte(8));
        }
        ctx.Line.Append("\\par ");
    }
    reading.Finish();
}

void DecodeTimedReading(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '4') {
        UnrecognisedReading(ctx, "\\par %X Timed log - new log format.\\par ");
        return;
    }
    const int32_t listOffset = version <= '2' ? 8 : 9;
    ReadingLine reading(ctx, ctx.State.ShowTimedLogs);
    const ReadingListEnd end = reading.ParseList(listOffset, version != '2');
    if (version == '4' && end.Terminator == 0xFF) {
        // Five more whole-unit readings follow the terminator; they take the value texts after
        // the gas columns.
        ReadingColumns& columns = ctx.State.Columns;
        for (int32_t i = 0; i < 5; ++i) {
            const int32_t slot = columns.Count + i;
            if (slot < ReadingColumns::kValueCount) {
                FormatReading(record.S16(end.Offset + 1 + 2 * i), 1, columns.Values[slot]);
            }
        }
    }
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("%X T    ");
        reading.AppendValues();
        if (version == '2' || version == '3') {
            reading.AppendGpsByMarker(end);
        } else if (version == '4' && end.Terminator == 0xFF) {
            const ReadingColumns& columns = ctx.State.Columns;
            for (int32_t i = 0; i < 5; ++i) {
                const int32_t slot = columns.Count + i;
                if (slot < ReadingColumns::kValueCount) {
                    ctx.Line.Append(columns.Values[slot]);
                }
            }
        }
        if (version == '3' || version == '4') {
            reading.AppendGasType(record.Byte(8));
        }
        ctx.Line.Append("\\par ");
    }
    reading.Finish();
}
