#include "RecordFormat.h"
#include "RecordStream.h"
#include "SessionLog.h"
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

constexpr std::string_view kUnrecognisedLog = "\\par Unrecognised log.\\par ";

} // namespace

void TimeTexts::AppendTime(LineBuffer& line, const char* literal, int64_t time) {
    const char* mark = std::strstr(literal, "%X");
    const bool onlyTimeOfDay = mark != nullptr &&
                               std::memchr(literal, '%', mark - literal) == nullptr &&
                               std::strchr(mark + 2, '%') == nullptr;
    if (onlyTimeOfDay && (!m_valid || m_time != time)) {
        const std::string text = FormatTime(time, "%X");
        m_length = text.size() < sizeof m_timeOfDay ? text.size() : sizeof m_timeOfDay - 1;
        std::memcpy(m_timeOfDay, text.data(), m_length);
        m_time = time;
        m_valid = true;
    }
    // An empty time of day means the time could not be converted: the literal then goes through
    // strftime whole, which gives the same (empty) result as always.
    if (!onlyTimeOfDay || m_length == 0) {
        line.AppendTime(literal, time);
        return;
    }
    line.Append(literal, static_cast<size_t>(mark - literal));
    line.Append(m_timeOfDay, m_length);
    line.Append(mark + 2);
}

void FormatContext::AppendTime(const char* literal) {
    Times.AppendTime(Line, literal, State.LogTime);
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
    RecordStream stream(log, state.ModeNames);
    RecordValue value;
    LineBuffer line;
    TimeTexts times;
    while (stream.Next(value)) {
        if (value.Stamped) {
            state.LogTime = value.Time;
        }
        if (value.Kind == RecordKind::Unrecognised) {
            state.UnrecognisedLogFlag = 1;
        }
        const RecordFormatter format = FormatterFor(value.Letter);
        if (format == nullptr) {
            state.SessionReport.append(kUnrecognisedLog.data(), kUnrecognisedLog.size());
            continue;
        }
        line.Clear();
        FormatContext ctx{state, line, value, times};
        format(ctx);
        state.SessionReport.append(line.Text(), line.Length());
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

LogFilter ReportFilter(const ReportState& state) {
    LogFilter filter;
    filter.Alarm = state.ShowAlarmLogs != 0;
    filter.Manual = state.ShowManualLogs != 0;
    filter.Timed = state.ShowTimedLogs != 0;
    filter.Calibration = state.ShowCalibrationLogs != 0;
    filter.Bump = state.ShowBumpLogs != 0;
    return filter;
}

void SetReportFilter(ReportState& state, const LogFilter& filter) {
    state.ShowAlarmLogs = filter.Alarm ? 1 : 0;
    state.ShowManualLogs = filter.Manual ? 1 : 0;
    state.ShowTimedLogs = filter.Timed ? 1 : 0;
    state.ShowCalibrationLogs = filter.Calibration ? 1 : 0;
    state.ShowBumpLogs = filter.Bump ? 1 : 0;
}
