// Switch on and off, mode change, instrument opened, job number, user name, manual zero, pump and
// free-text records.
#include "Decoders.h"
#include "InstrumentText.h"
#include "RecordStream.h"
#include "report/Report.h"

namespace {

// Shared start of every event decoder: the heading run of reading lines is broken, and the
// record's stamp becomes the current log time.
void BeginEvent(RecordContext& ctx) {
    ctx.State.HeaderCountdown = 0;
    ctx.TakeLogTime();
}

void AppendModeName(RecordContext& ctx, const std::string& name) {
    AppendEscaped(ctx.Line, name.data(), name.size());
}

} // namespace

void DecodeSwitchOn(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Switch ON");
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    const int32_t length = record.Length();
    if (length > 12) {
        ctx.Line.Append(" by ");
        // Up to four initials, never beyond the record.
        const int32_t room = length - 11;
        AppendRecordText(ctx.Line, record, 11, room < 4 ? room : 4);
    }
    ctx.Line.Append(" in ");
    if (!ctx.State.ModeNames[0].empty()) {
        AppendModeName(ctx, ctx.State.ModeNames[0]);
    } else {
        AppendRecordText(ctx.Line, record, 8, 3);
    }
    ctx.Line.Append(" mode.\\par ");
}

void DecodeSwitchOff(RecordContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Switch off");
    if (ctx.Record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append(" - new log format.\\par ");
        return;
    }
    ctx.Line.Append(".\\par ");
}

void DecodeModeChange(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Mode change ");
    const uint8_t version = record.Version();
    if (version == '1') {
        ctx.Line.Append("to ");
        AppendRecordText(ctx.Line, record, 8, 3);
    } else if (version == '2') {
        ctx.Line.Append("to ");
        // Modes are counted from 1; a mode without a name, or a number the instrument does not
        // have, shows as "mode" and its number.
        const unsigned mode = record.Byte(8);
        if (mode >= 1 && mode <= 4 && !ctx.State.ModeNames[mode - 1].empty()) {
            AppendModeName(ctx, ctx.State.ModeNames[mode - 1]);
        } else {
            ctx.Line.AppendFormat("mode %u", mode);
        }
    } else {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    ctx.Line.Append(".\\par ");
}

void DecodeInstrumentOpened(RecordContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X %d %b %Y Instrument opened");
    if (ctx.Record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    ctx.Line.Append(".\\par ");
}

void DecodeJobNumber(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    BeginEvent(ctx);
    ctx.Line.Append("\\par Job Number ");
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    // The text runs from offset 8 to the record's second-last byte, at most 12 characters.
    const int32_t count = record.Length() - 9;
    AppendRecordText(ctx.Line, record, 8, count < 12 ? count : 12);
    ctx.Line.Append("\\par ");
}

void DecodeUserName(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    // No time stamp in this record: the current log time stays as it was, and the line continues
    // the one the previous record ended.
    ctx.State.HeaderCountdown = 0;
    ctx.Line.Append("User Name : ");
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    const int32_t room = record.Length() - 4;
    AppendRecordText(ctx.Line, record, 4, room < 16 ? room : 16);
    ctx.Line.Append("\\par ");
}

void DecodeManualZero(RecordContext& ctx) {
    BeginEvent(ctx);
    if (ctx.Record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("\\par Manual zero - new log format.\\par ");
        return;
    }
    ctx.AppendTime("\\par Manual zero %X\\par ");
}

void DecodePump(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Pump");
    if (record.Version() != '1') {
        ctx.MarkUnrecognisedVersion();
        ctx.Line.Append("- new log format.\\par ");
        return;
    }
    static const char* const kPumpStates[] = {" OFF", " ON", " FAULT", " FAULT/RUNNING", " FAST"};
    const uint8_t state = record.Byte(8);
    if (state >= '0' && state <= '4') {
        ctx.Line.Append(kPumpStates[state - '0']);
    }
    ctx.Line.Append(".\\par ");
}

void DecodeText(RecordContext& ctx) {
    const LogRecordView& record = ctx.Record;
    // Free text: no version, no time stamp; it runs from offset 3 to the record's second-last
    // byte. Line ends written by the instrument become paragraph marks.
    ctx.State.HeaderCountdown = 0;
    const int32_t end = record.Length() - 1;
    for (int32_t offset = 3; offset < end; ++offset) {
        const char c = static_cast<char>(record.Byte(offset));
        if (c == '\0') {
            break;
        }
        if (c == '\r' && offset + 1 < end && record.Byte(offset + 1) == '\n') {
            ctx.Line.Append(" \\par ");
            ++offset;
            continue;
        }
        AppendEscapedChar(ctx.Line, c);
    }
}
