#include "RecordStream.h"

#include "Decoders.h"
#include "orvtime/TimeFormat.h"
#include "report/Report.h"

#include <cstring>
#include <string>

// Colours 0 to 13 (5 red and 6 yellow mark alarm times), Symbol as font 1, Courier New as font 2:
// reading lines are laid out in columns by blanks, so the body needs a fixed-pitch font.
const char RtfHeader[] =
    R"rtf({\rtf{\colortbl\red0\green0\blue0;\red150\green150\blue255;\red0\green255\blue255;\red0\green255\blue0;\red255\green0\blue255;\red255\green0\blue0;\red255\green255\blue0;\red255\green255\blue255;\red0\green0\blue128;\red0\green128\blue128;\red0\green128\blue0;\red128\green0\blue128;\red128\green0\blue0;\red128\green128\blue0;})rtf"
    R"rtf({\fonttbl{\f1\froman\fcharset2\fprq2 Symbol;}{\f2\fmodern Courier New;}})rtf"
    R"rtf({\f2 \fs20 )rtf";

namespace {

constexpr uint8_t kRecordStart = '<';
constexpr std::string_view kUnrecognisedLog = "\\par Unrecognised log.\\par ";

struct DispatchTable {
    RecordDecoder decoders[256] = {};

    void Route(uint8_t letter, RecordDecoder decoder) { decoders[letter] = decoder; }

    DispatchTable() {
        Route('A', DecodeAlarm);
        Route('B', DecodeBumpTest);
        Route('C', DecodeCalibration);
        Route('D', DecodeModeChange);
        Route('F', DecodeFieldCalibration);
        Route('G', DecodeGpsAverage);
        Route('H', DecodeBarhole);
        Route('I', DecodeInstrumentOpened);
        Route('J', DecodeJobNumber);
        Route('L', DecodeTimedReading);
        Route('M', DecodeManualReading);
        Route('O', DecodeSwitchOn);
        Route('P', DecodePipelineTest);
        Route('S', DecodeSoundness);
        Route('T', DecodeText);
        Route('U', DecodeUserName);
        Route('W', DecodeSurvey);
        Route('Y', DecodeSwitchOff);
        Route('Z', DecodeZero);
        Route('p', DecodePump);
        Route('z', DecodeManualZero);
    }
};

const DispatchTable kDispatch;

} // namespace

RecordDecoder DecoderFor(uint8_t typeLetter) {
    return kDispatch.decoders[typeLetter];
}

void RecordContext::TakeLogTime() {
    State.LogTime = Stream.Clock().Convert(Record.Stamp());
}

void RecordContext::AppendTime(const char* literal) {
    Stream.AppendTime(Line, literal, State.LogTime);
}

void RecordContext::MarkUnrecognisedVersion() {
    Stream.SkipUnrecognisedRecord();
}

void RecordStream::AppendTime(LineBuffer& line, const char* literal, int64_t time) {
    const char* mark = std::strstr(literal, "%X");
    const bool onlyTimeOfDay = mark != nullptr &&
                               std::memchr(literal, '%', mark - literal) == nullptr &&
                               std::strchr(mark + 2, '%') == nullptr;
    if (onlyTimeOfDay && (!m_timeOfDayValid || m_timeOfDayTime != time)) {
        const std::string text = FormatTime(time, "%X");
        m_timeOfDayLength = text.size() < sizeof m_timeOfDay ? text.size() : sizeof m_timeOfDay - 1;
        std::memcpy(m_timeOfDay, text.data(), m_timeOfDayLength);
        m_timeOfDayTime = time;
        m_timeOfDayValid = true;
    }
    // An empty time of day means the time could not be converted: the literal then goes through
    // strftime whole, which gives the same (empty) result as always.
    if (!onlyTimeOfDay || m_timeOfDayLength == 0) {
        line.AppendTime(literal, time);
        return;
    }
    line.Append(literal, static_cast<size_t>(mark - literal));
    line.Append(m_timeOfDay, m_timeOfDayLength);
    line.Append(mark + 2);
}

bool RecordStream::DecodeNextRecord(std::string_view& text) {
    if (m_log.At(m_readPos) != kRecordStart) {
        return false;
    }
    const int32_t start = m_readPos;
    const int32_t length = m_log.At(start + 1);
    m_readPos += 2;
    // A record whose type letter lies outside the buffer (a '<' at 3998 or 3999) ends the stream.
    if (m_readPos >= SessionLog::kSize) {
        return false;
    }
    // A zero length would bring the read position back to this record for ever.
    if (length == 0) {
        return false;
    }
    const RecordDecoder decoder = DecoderFor(m_log.At(m_readPos));
    if (decoder == nullptr) {
        text = SkipUnrecognisedRecord();
        return true;
    }
    m_readPos = start + length;
    m_line.Clear();
    RecordContext ctx{m_state, m_line, LogRecordView(m_log, start), *this};
    decoder(ctx);
    text = std::string_view(m_line.Text(), m_line.Length());
    return true;
}

std::string_view RecordStream::SkipUnrecognisedRecord() {
    if (m_log.At(m_readPos) != kRecordStart) {
        while (m_readPos < SessionLog::kSize && m_log.At(m_readPos) != kRecordStart) {
            ++m_readPos;
        }
    }
    m_state.UnrecognisedLogFlag = 1;
    return kUnrecognisedLog;
}

void ResetDecoderState(ReportState& state) {
    state.Columns = ReadingColumns();
    state.HeaderCountdown = 0;
    state.LogTime = 0;
    state.SessionReport.clear();
}

std::string RenderSession(ReportState& state, SessionByteSource& source, int16_t slot) {
    SessionLog log;
    log.Fill(source, slot);

    state.SessionReport.clear();
    RecordStream stream(state, log);
    std::string_view text;
    while (stream.DecodeNextRecord(text)) {
        state.SessionReport.append(text.data(), text.size());
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
