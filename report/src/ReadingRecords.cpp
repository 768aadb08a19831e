// Survey, alarm, manual and timed reading records.
#include "Decoders.h"
#include "GasTables.h"
#include "GpsPosition.h"
#include "ReadingLine.h"
#include "RecordFormat.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"

#include <cstdio>

namespace {

constexpr uint8_t kNoGpsBlock = 0xFE;
constexpr uint8_t kZeroGpsBlock = 0xFF;
// The survey's reading is in parts per million: the gas code of the flammable PPM column.
constexpr uint8_t kSurveyGasCode = 2;

bool Unrecognised(const FormatContext& ctx) {
    return ctx.Value.Kind == RecordKind::Unrecognised;
}

// Alarm, manual and timed records of a version this program cannot read are shown whatever the
// filter says. The countdown set to 10 comes round to 0 on the next shown reading line, so the
// heading stands above the one after it (or sooner, when the gases change).
void UnrecognisedReading(FormatContext& ctx, const char* literal) {
    ctx.State.HeaderCountdown = 10;
    ctx.AppendTime(literal);
}

// The place of a manual reading of version 2, by its table set; an index beyond its table shows
// as "?" and the index.
void ReadPlace(DecodeContext& ctx) {
    std::string& place = ctx.Value.Place;
    const uint8_t a = ctx.Record.Byte(8);
    const uint8_t b = ctx.Record.Byte(9);
    const uint8_t set = ctx.Record.Byte(10);
    auto name = [&place](const char(*table)[20], int size, uint8_t index) {
        if (index < size) {
            place += table[index];
        } else {
            char text[8];
            std::snprintf(text, sizeof text, "?%u", static_cast<unsigned>(index));
            place += text;
        }
    };
    if (set == 0) {
        name(LocationNames, kLocationCount, a);
        place += " / ";
        name(PositionNames, kPositionCount, b);
    } else if (set == 1) {
        name(RoomNames, kRoomCount, a);
        place += " / ";
        name(ReadingPointNames, kReadingPointCount, b);
    } else {
        place = "Need new table";
    }
}

} // namespace

void DecodeSurvey(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    RecordValue& value = ctx.Value;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version != '1' && version != '2' && version != '3') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    value.Readings.push_back(GasReading{kSurveyGasCode, record.S16(8)});
    if (version == '3') {
        const uint8_t marker = record.Byte(10);
        if (marker == kZeroGpsBlock) {
            value.HasGps = true;
        } else if (marker != kNoGpsBlock) {
            value.HasGps = true;
            value.Gps = ReadGpsBlock(record, 10);
        }
    } else if (record.Length() > 11) {
        value.HasGps = true;
        value.Gps = ReadGpsBlock(record, 10);
    }
}

void FormatSurvey(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    if (Unrecognised(ctx)) {
        ctx.AppendTime("\\par %X Survey:  - new log format.\\par ");
        return;
    }
    ctx.AppendTime("\\par %X Survey: ");
    ctx.Line.AppendInt(ctx.Value.Readings.front().Raw, 5);
    ctx.Line.Append(" PPM at ");
    if (ctx.Value.HasGps) {
        AppendGpsText(ctx.Line, ctx.Value.Gps);
    }
    ctx.Line.Append("\\par ");
}

void DecodeAlarm(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version != '1' && version != '2') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    const ReadingListEnd end = ReadReadingList(ctx, 9, false);
    if (version == '2') {
        ReadGpsByMarker(ctx, end);
    }
    const uint8_t gas = record.Byte(8) & 0x7F;
    if (gas < kGasCodeCount) {
        ctx.Value.AlarmGas = gas;
    }
}

void FormatAlarm(FormatContext& ctx) {
    if (Unrecognised(ctx)) {
        UnrecognisedReading(ctx, "\\par %X Alarm log - new log format.\\par ");
        return;
    }
    ReadingLine reading(ctx, ctx.State.ShowAlarmLogs);
    reading.TakeColumns();
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("{\\cf5 \\highlight6 %X} A    ");
        reading.AppendValues();
        reading.AppendGps();
        ctx.Line.Append("    New ");
        if (ctx.Value.AlarmGas != RecordValue::kNoGas) {
            ctx.Line.Append(GasCodeTable[ctx.Value.AlarmGas].Name);
        }
        ctx.Line.Append(" alarm.\\par ");
    }
    reading.Finish();
}

void DecodeManualReading(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '4') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    const int32_t listOffset = version == '1' ? 8 : version == '2' ? 11 : 9;
    const ReadingListEnd end = ReadReadingList(ctx, listOffset, true);
    if (version == '4') {
        ReadGpsByMarker(ctx, end);
    } else {
        ReadGpsByRoom(ctx, end);
    }
    if (version == '2') {
        ReadPlace(ctx);
    } else if (version == '3' || version == '4') {
        ctx.Value.GasType = record.Byte(8);
    }
}

void FormatManualReading(FormatContext& ctx) {
    if (Unrecognised(ctx)) {
        UnrecognisedReading(ctx, "\\par %X Manual log - new log format.\\par ");
        return;
    }
    ReadingLine reading(ctx, ctx.State.ShowManualLogs);
    reading.TakeColumns();
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("%X M    ");
        reading.AppendValues();
        reading.AppendGps();
        ctx.Line.Append(ctx.Value.Place.c_str());
        reading.AppendGasType();
        ctx.Line.Append("\\par ");
    }
    reading.Finish();
}

void DecodeTimedReading(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    RecordValue& value = ctx.Value;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version < '1' || version > '4') {
        ctx.MarkUnrecognisedVersion();
        return;
    }
    const int32_t listOffset = version <= '2' ? 8 : 9;
    const ReadingListEnd end = ReadReadingList(ctx, listOffset, version != '2');
    if (version == '2' || version == '3') {
        ReadGpsByMarker(ctx, end);
    }
    if (version == '4' && end.Terminator == 0xFF) {
        // Five more whole-unit readings follow the terminator.
        value.ExtraCount = RecordValue::kExtraCount;
        for (int32_t i = 0; i < RecordValue::kExtraCount; ++i) {
            value.Extra[i] = record.S16(end.Offset + 1 + 2 * i);
        }
    }
    if (version == '3' || version == '4') {
        value.GasType = record.Byte(8);
    }
}

void FormatTimedReading(FormatContext& ctx) {
    if (Unrecognised(ctx)) {
        UnrecognisedReading(ctx, "\\par %X Timed log - new log format.\\par ");
        return;
    }
    const RecordValue& value = ctx.Value;
    ReadingLine reading(ctx, ctx.State.ShowTimedLogs);
    reading.TakeColumns();
    // The extra readings take the value texts after the gas columns.
    ReadingColumns& columns = ctx.State.Columns;
    for (int32_t i = 0; i < value.ExtraCount; ++i) {
        const int32_t slot = columns.Count + i;
        if (slot < ReadingColumns::kValueCount) {
            FormatReading(value.Extra[i], 1, columns.Values[slot]);
        }
    }
    if (reading.Shown()) {
        reading.AppendHeadingIfDue();
        ctx.AppendTime("%X T    ");
        reading.AppendValues();
        reading.AppendGps();
        for (int32_t i = 0; i < value.ExtraCount; ++i) {
            const int32_t slot = columns.Count + i;
            if (slot < ReadingColumns::kValueCount) {
                ctx.Line.Append(columns.Values[slot]);
            }
        }
        reading.AppendGasType();
        ctx.Line.Append("\\par ");
    }
    reading.Finish();
}
