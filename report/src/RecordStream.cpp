#include "RecordStream.h"

#include "Decoders.h"
#include "orvtime/OrvTime.h"
#include "report/Report.h"

// Colours 0 to 13 (5 red and 6 yellow mark alarm times), Symbol as font 1, Courier New as font 2:
// reading lines are laid out in columns by blanks, so the body needs a fixed-pitch font.
const char RtfHeader[] =
    R"rtf({\rtf{\colortbl\red0\green0\blue0;\red150\green150\blue255;\red0\green255\blue255;\red0\green255\blue0;\red255\green0\blue255;\red255\green0\blue0;\red255\green255\blue0;\red255\green255\blue255;\red0\green0\blue128;\red0\green128\blue128;\red0\green128\blue0;\red128\green0\blue128;\red128\green0\blue0;\red128\green128\blue0;})rtf"
    R"rtf({\fonttbl{\f1\froman\fcharset2\fprq2 Symbol;}{\f2\fmodern Courier New;}})rtf"
    R"rtf({\f2 \fs20 )rtf";

namespace {

constexpr uint8_t kRecordStart = '<';
const char kUnrecognisedLog[] = "\\par Unrecognised log.\\par ";

struct DispatchTable {
    RecordDecoder decoders[256] = {};

    DispatchTable() {
        decoders['A'] = DecodeAlarm;
        decoders['B'] = DecodeBumpTest;
        decoders['C'] = DecodeCalibration;
        decoders['D'] = DecodeModeChange;
        decoders['F'] = DecodeFieldCalibration;
        decoders['G'] = DecodeGpsAverage;
        decoders['H'] = DecodeBarhole;
        decoders['I'] = DecodeInstrumentOpened;
        decoders['J'] = DecodeJobNumber;
        decoders['L'] = DecodeTimedReading;
        decoders['M'] = DecodeManualReading;
        decoders['O'] = DecodeSwitchOn;
        decoders['P'] = DecodePipelineTest;
        decoders['S'] = DecodeSoundness;
        decoders['T'] = DecodeText;
        decoders['U'] = DecodeUserName;
        decoders['W'] = DecodeSurvey;
        decoders['Y'] = DecodeSwitchOff;
        decoders['Z'] = DecodeZero;
        decoders['p'] = DecodePump;
        decoders['z'] = DecodeManualZero;
    }
};

const DispatchTable kDispatch;

} // namespace

RecordDecoder DecoderFor(uint8_t typeLetter) {
    return kDispatch.decoders[typeLetter];
}

void RecordContext::TakeLogTime() {
    State.LogTime = COrvTime(Record.Stamp()).Value();
}

void RecordContext::AppendTime(const char* literal) {
    Line.AppendTime(literal, State.LogTime);
}

void RecordContext::MarkUnrecognisedVersion() {
    Stream.SkipUnrecognisedRecord();
}

const char* RecordStream::DecodeNextRecord() {
    if (m_log.At(m_readPos) != kRecordStart) {
        return nullptr;
    }
    const int32_t start = m_readPos;
    const int32_t length = m_log.At(start + 1);
    m_readPos += 2;
    // A record whose type letter lies outside the buffer (a '<' at 3998 or 3999) ends the stream.
    if (m_readPos >= SessionLog::kSize) {
        return nullptr;
    }
    // A zero length would bring the read position back to this record for ever.
    if (length == 0) {
        return nullptr;
    }
    const RecordDecoder decoder = DecoderFor(m_log.At(m_readPos));
    if (decoder == nullptr) {
        return SkipUnrecognisedRecord();
    }
    m_readPos = start + length;
    m_line.Clear();
    RecordContext ctx{m_state, m_line, LogRecordView(m_log, start), *this};
    decoder(ctx);
    return m_line.Text();
}

const char* RecordStream::SkipUnrecognisedRecord() {
    if (m_log.At(m_readPos) != kRecordStart) {
        while (m_readPos < SessionLog::kSize && m_log.At(m_readPos) != kRecordStart) {
            ++m_readPos;
        }
    }
    m_state.UnrecognisedLogFlag = 1;
    return kUnrecognisedLog;
}

std::string RenderSession(ReportState& state, SessionByteSource& source, int16_t slot) {
    SessionLog log;
    log.Fill(source, slot);

    state.SessionReport.clear();
    RecordStream stream(state, log);
    while (const char* text = stream.DecodeNextRecord()) {
        state.SessionReport += text;
    }

    if (state.ReportBody.empty()) {
        state.ReportBody = RtfHeader;
        state.ReportBody += state.HeadingDay;
        state.ReportBody += state.HeadingMonth;
        state.ReportBody += " \\par ";
    } else {
        state.ReportBody += "\\par -------- ";
        state.ReportBody += state.HeadingDay;
        state.ReportBody += state.HeadingMonth;
        state.ReportBody += " --------- \\par ";
    }
    state.ReportBody += state.SessionReport;
    state.ReportText = state.ReportBody;
    state.ReportText += "}}";
    return state.SessionReport;
}
