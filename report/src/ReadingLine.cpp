#include "ReadingLine.h"

#include "GasTables.h"
#include "GpsPosition.h"
#include "RecordStream.h"
#include "ValueFormat.h"
#include "report/Report.h"

#include <cstring>

namespace {

constexpr int kGasCodeMask = 0x7F;
constexpr int kEntrySize = 3;

} // namespace

ReadingLine::ReadingLine(RecordContext& ctx, int32_t show) : m_ctx(ctx), m_show(show) {
    // The heading comes back above every tenth line of an unbroken run of shown lines.
    if (m_show != 0) {
        ++m_ctx.State.HeaderCountdown;
        if (m_ctx.State.HeaderCountdown >= 10) {
            m_ctx.State.HeaderCountdown = 0;
        }
    }
}

ReadingListEnd ReadingLine::ParseList(int32_t offset, bool skipDuplicateGas) {
    ReadingColumns& columns = m_ctx.State.Columns;
    const LogRecordView& record = m_ctx.Record;
    const int32_t length = record.Length();
    int32_t count = 0;
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
        if (!duplicateGas && count < ReadingColumns::kNameCount) {
            const GasCode& gas = GasCodeTable[code & kGasCodeMask];
            char* name = columns.Names[count];
            if (name[0] != gas.Name[0]) {
                m_ctx.State.HeaderCountdown = 1;
            }
            std::memcpy(name, gas.Name, sizeof gas.Name);
            FormatReading(record.S16(offset + 1), gas.Scale, columns.Values[count]);
            ++count;
        }
        offset += kEntrySize;
    }
    columns.Count = count;
    return end;
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
}

void ReadingLine::AppendValues() {
    const ReadingColumns& columns = m_ctx.State.Columns;
    for (int32_t i = 0; i < columns.Count; ++i) {
        m_ctx.Line.Append(columns.Values[i]);
    }
}

void ReadingLine::AppendGpsByRoom(const ReadingListEnd& end) {
    if (end.Offset + 2 < m_ctx.Record.Length()) {
        AppendRecordGpsText(m_ctx.Line, m_ctx.Record, end.Offset + 1);
    }
}

void ReadingLine::AppendGpsByMarker(const ReadingListEnd& end) {
    if (end.Terminator != 0xFF) {
        return;
    }
    if (end.Offset + 2 < m_ctx.Record.Length()) {
        AppendRecordGpsText(m_ctx.Line, m_ctx.Record, end.Offset + 1);
    } else {
        AppendZeroBlockGpsText(m_ctx.Line);
    }
}

void ReadingLine::AppendGasType(uint8_t gasType) {
    if (gasType == '1') {
        m_ctx.Line.Append(" Methane");
    } else if (gasType == '2') {
        m_ctx.Line.Append(" Nat Gas");
    }
}

void ReadingLine::Finish() {
    if (!Shown()) {
        m_ctx.Line.Clear();
    }
}
