// Switch on and off, mode change, instrument opened, job number, user name, manual zero, pump and
// free-text records.
#include "Decoders.h"
#include "InstrumentText.h"
#include "RecordFormat.h"
#include "RecordStream.h"
#include "report/Report.h"

#include <cstdio>

namespace {

// A version this program does not know: the stream resynchronises.
bool KnownVersion(DecodeContext& ctx, bool known) {
    if (!known) {
        ctx.MarkUnrecognisedVersion();
    }
    return known;
}

// Shared start of every event line: the heading run of reading lines is broken.
void BeginEvent(FormatContext& ctx) {
    ctx.State.HeaderCountdown = 0;
}

bool Unrecognised(const FormatContext& ctx) {
    return ctx.Value.Kind == RecordKind::Unrecognised;
}

void AppendText(FormatContext& ctx, const std::string& text) {
    AppendEscaped(ctx.Line, text.data(), text.size());
}

void NewLogFormat(FormatContext& ctx) {
    ctx.Line.Append("- new log format.\\par ");
}

} // namespace

void DecodeSwitchOn(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    if (!KnownVersion(ctx, record.Version() == '1')) {
        return;
    }
    const int32_t length = record.Length();
    if (length > 12) {
        // Up to four initials, never beyond the record.
        const int32_t room = length - 11;
        ctx.ReadText(ctx.Value.Text, 11, room < 4 ? room : 4);
        ctx.Value.HasText = true;
    }
    ctx.ReadText(ctx.Value.ModeCode, 8, 3);
    // The instrument starts in its first mode; its code stands in for a name it has not told.
    ctx.SetMode(ModeName(ctx.Stream.ModeNames(), 1, ctx.Value.ModeCode));
}

void FormatSwitchOn(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Switch ON");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    if (ctx.Value.HasText) {
        ctx.Line.Append(" by ");
        AppendText(ctx, ctx.Value.Text);
    }
    ctx.Line.Append(" in ");
    AppendText(ctx, ctx.Value.Mode);
    ctx.Line.Append(" mode.\\par ");
}

void DecodeSwitchOff(DecodeContext& ctx) {
    ctx.TakeLogTime();
    KnownVersion(ctx, ctx.Record.Version() == '1');
}

void FormatSwitchOff(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Switch off");
    ctx.Line.Append(Unrecognised(ctx) ? " - new log format.\\par " : ".\\par ");
}

void DecodeModeChange(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    RecordValue& value = ctx.Value;
    ctx.TakeLogTime();
    const uint8_t version = record.Version();
    if (version == '1') {
        // The record names its mode by code, not by number: no name of the instrument's is known
        // for it, so the line prints the code, and every view calls the mode so.
        ctx.ReadText(value.ModeCode, 8, 3);
        ctx.SetMode(ModeName(ctx.Stream.ModeNames(), 0, value.ModeCode));
    } else if (version == '2') {
        // Modes are counted from 1; a mode without a name, or a number the instrument does not
        // have, is called "mode" and its number.
        value.ModeNumber = record.Byte(8);
        const unsigned mode = value.ModeNumber;
        char text[16];
        const int length = std::snprintf(text, sizeof text, "mode %u", mode);
        ctx.SetMode(
            ModeName(ctx.Stream.ModeNames(), mode, std::string(text, static_cast<size_t>(length))));
    } else {
        ctx.MarkUnrecognisedVersion();
    }
}

void FormatModeChange(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Mode change ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    ctx.Line.Append("to ");
    AppendText(ctx, ctx.Value.Mode);
    ctx.Line.Append(".\\par ");
}

void DecodeInstrumentOpened(DecodeContext& ctx) {
    ctx.TakeLogTime();
    KnownVersion(ctx, ctx.Record.Version() == '1');
}

void FormatInstrumentOpened(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X %d %b %Y Instrument opened");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    ctx.Line.Append(".\\par ");
}

void DecodeJobNumber(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    ctx.TakeLogTime();
    if (!KnownVersion(ctx, record.Version() == '1')) {
        return;
    }
    // The text runs from offset 8 to the record's second-last byte, at most 12 characters.
    const int32_t count = record.Length() - 9;
    ctx.ReadText(ctx.Value.Text, 8, count < 12 ? count : 12);
    ctx.Value.HasText = true;
}

void FormatJobNumber(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.Line.Append("\\par Job Number ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    AppendText(ctx, ctx.Value.Text);
    ctx.Line.Append("\\par ");
}

void DecodeUserName(DecodeContext& ctx) {
    const LogRecordView& record = ctx.Record;
    // No time stamp in this record: the current log time stays as it was.
    if (!KnownVersion(ctx, record.Version() == '1')) {
        return;
    }
    const int32_t room = record.Length() - 4;
    ctx.ReadText(ctx.Value.Text, 4, room < 16 ? room : 16);
    ctx.Value.HasText = true;
}

void FormatUserName(FormatContext& ctx) {
    // The line continues the one the previous record ended.
    BeginEvent(ctx);
    ctx.Line.Append("User Name : ");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    AppendText(ctx, ctx.Value.Text);
    ctx.Line.Append("\\par ");
}

void DecodeManualZero(DecodeContext& ctx) {
    ctx.TakeLogTime();
    KnownVersion(ctx, ctx.Record.Version() == '1');
}

void FormatManualZero(FormatContext& ctx) {
    BeginEvent(ctx);
    if (Unrecognised(ctx)) {
        ctx.Line.Append("\\par Manual zero - new log format.\\par ");
        return;
    }
    ctx.AppendTime("\\par Manual zero %X\\par ");
}

void DecodePump(DecodeContext& ctx) {
    ctx.TakeLogTime();
    if (KnownVersion(ctx, ctx.Record.Version() == '1')) {
        ctx.Value.PumpState = ctx.Record.Byte(8);
    }
}

void FormatPump(FormatContext& ctx) {
    BeginEvent(ctx);
    ctx.AppendTime("\\par %X Pump");
    if (Unrecognised(ctx)) {
        NewLogFormat(ctx);
        return;
    }
    static const char* const kPumpStates[] = {" OFF", " ON", " FAULT", " FAULT/RUNNING", " FAST"};
    const uint8_t state = ctx.Value.PumpState;
    if (state >= '0' && state <= '4') {
        ctx.Line.Append(kPumpStates[state - '0']);
    }
    ctx.Line.Append(".\\par ");
}

void DecodeText(DecodeContext& ctx) {
    // Free text: no version, no time stamp; it runs from offset 3 to the record's second-last
    // byte.
    ctx.ReadText(ctx.Value.Text, 3, ctx.Record.Length() - 4);
    ctx.Value.HasText = true;
}

void FormatText(FormatContext& ctx) {
    // Line ends written by the instrument become paragraph marks.
    BeginEvent(ctx);
    const std::string& text = ctx.Value.Text;
    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < size && text[i + 1] == '\n') {
            ctx.Line.Append(" \\par ");
            ++i;
            continue;
        }
        AppendEscapedChar(ctx.Line, c);
    }
}
