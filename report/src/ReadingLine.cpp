#include "ReadingLine.h"

#include "GasTables.h"
#include "GpsPosition.h"
#include "RecordFormat.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"
#include "report/SessionValues.h"

#include <cstring>

namespace {

constexpr int kGasCodeMask = 0x7F;
constexpr int kEntrySize = 3;

} // namespace

ReadingListEnd ReadReadingList(DecodeContext& ctx, int32_t offset, bool skipDuplicateGas) {
    const LogRecordView& record = ctx.Record;
    std::vector<GasReading>& readings = ctx.Value.Readings;
    const int32_t length = record.Length();
    ReadingListEnd end;
    for (;;) {
        if (offset >= length) {
            end.Offset = offset;
            break;
        }
        const uint8_t code = record.Byte(offset);
        if ((code & kGasCodeMask) >= kGasCodeCount) {
            end.Offset = offset;
            end.Terminator = code;
            break;
        }
        if (offset + kEntrySize > length) {
            end.Offset = offset;
            break;
        }
        const bool duplicateGas = skipDuplicateGas && code == 1 && offset + kEntrySize < length &&
                                  record.Byte(offset + kEntrySize) == 1;
        if (!duplicateGas && readings.size() < static_cast<size_t>(ReadingColumns::kNameCount)) {
            readings.push_back(
                GasReading{static_cast<uint8_t>(code & kGasCodeMask), record.S16(offset + 1)});
        }
        offset += kEntrySize;
    }
    return end;
}

void ReadGpsByRoom(DecodeContext& ctx, const ReadingListEnd& end) {
    if (end.Offset + 2 < ctx.Record.Length()) {
        ctx.Value.HasGps = true;
        ctx.Value.Gps = ReadGpsBlock(ctx.Record, end.Offset + 1);
    }
}

void ReadGpsByMarker(DecodeContext& ctx, const ReadingListEnd& end) {
    if (end.Terminator != 0xFF) {
        return;
    }
    ctx.Value.HasGps = true;
    if (end.Offset + 2 < ctx.Record.Length()) {
        ctx.Value.Gps = ReadGpsBlock(ctx.Record, end.Offset + 1);
    }
}

ReadingLine::ReadingLine(FormatContext& ctx, int32_t show) : m_ctx(ctx), m_show(show) {
    // The heading comes back above every tenth line of an unbroken run of shown lines.
    if (m_show != 0) {
        ++m_ctx.State.HeaderCountdown;
        if (m_ctx.State.HeaderCountdown >= 10) {
            m_ctx.State.HeaderCountdown = 0;
        }
    }
}

void ReadingLine::TakeColumns() {
    ReadingColumns& columns = m_ctx.State.Columns;
    int32_t count = 0;
    for (const GasReading& reading : m_ctx.Value.Readings) {
        const GasCode& gas = GasCodeTable[reading.Code];
        char* name = columns.Names[count];
        if (name[0] != gas.Name[0]) {
            m_ctx.State.HeaderCountdown = 1;
        }
        std::memcpy(name, gas.Name, sizeof gas.Name);
        FormatReading(reading.Raw, gas.Scale, columns.Values[count]);
        ++count;
    }
    columns.Count = count;
}

void ReadingLine::AppendHeadingIfDue() {
    if (m_ctx.State.HeaderCountdown != 1 || !Shown()) {
        return;
    }
    const ReadingColumns& columns = m_ctx.State.Columns;
    LineBuffer& line = m_ctx.Line;
    line.Append("\\par              ");
    for (int32_t i = 0; i < columns.Count; ++i) {
        line.Append("  ");
        line.Append(columns.Names[i]);
        line.Append("  ");
    }
    line.Append("\\par ");
    m_ctx.Lead = line.Length();
}

void ReadingLine::AppendValues() {
    const ReadingColumns& columns = m_ctx.State.Columns;
    for (int32_t i = 0; i < columns.Count; ++i) {
        m_ctx.Line.Append(columns.Values[i]);
    }
}

void ReadingLine::AppendGps() {
    if (m_ctx.Value.HasGps) {
        AppendGpsText(m_ctx.Line, m_ctx.Value.Gps);
    }
}

void ReadingLine::AppendGasType() {
    if (const char* name = GasTypeName(m_ctx.Value.GasType)) {
        m_ctx.Line.Append(" ");
        m_ctx.Line.Append(name);
    }
}

void ReadingLine::Finish() {
    if (!Shown()) {
        m_ctx.Line.Clear();
    }
}
