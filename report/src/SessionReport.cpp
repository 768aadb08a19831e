#include "RecordFormat.h"
#include "RecordStream.h"
#include "SessionLog.h"
#include "orvtime/TimeFormat.h"
#include "report/Report.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

// Colours 0 to 13 (5 red and 6 yellow mark alarm times), Symbol as font 1, Courier New as font 2:
// reading lines are laid out in columns by blanks, so the body needs a fixed-pitch font.
const char RtfHeader[] =
    R"rtf({\rtf{\colortbl\red0\green0\blue0;\red150\green150\blue255;\red0\green255\blue255;\red0\green255\blue0;\red255\green0\blue255;\red255\green0\blue0;\red255\green255\blue0;\red255\green255\blue255;\red0\green0\blue128;\red0\green128\blue128;\red0\green128\blue0;\red128\green0\blue128;\red128\green0\blue0;\red128\green128\blue0;})rtf"
    R"rtf({\fonttbl{\f1\froman\fcharset2\fprq2 Symbol;}{\f2\fmodern Courier New;}})rtf"
    R"rtf({\f2 \fs20 )rtf";

namespace {

constexpr std::string_view kUnrecognisedLog = "\\par Unrecognised log.\\par ";
constexpr size_t kNoText = static_cast<size_t>(-1);

// The records' places in the report from their places in the session's text (`base` on), each
// record without text put where the next one shown stands, else the last one shown, else the
// heading.
std::vector<size_t> PlaceHidden(std::vector<size_t> places, size_t base, size_t heading) {
    size_t next = kNoText;
    for (size_t i = places.size(); i-- > 0;) {
        if (places[i] == kNoText) {
            places[i] = next;
        } else {
            places[i] += base;
            next = places[i];
        }
    }
    size_t last = heading;
    for (size_t& place : places) {
        if (place == kNoText) {
            place = last;
        } else {
            last = place;
        }
    }
    return places;
}

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
    // Where each record's line begins in SessionReport, kNoText for one that gave none.
    std::vector<size_t> places;
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
        const size_t begin = state.SessionReport.size();
        const RecordFormatter format = FormatterFor(value.Letter);
        if (format == nullptr) {
            places.push_back(begin);
            state.SessionReport.append(kUnrecognisedLog.data(), kUnrecognisedLog.size());
            continue;
        }
        line.Clear();
        FormatContext ctx{state, line, value, times, 0};
        format(ctx);
        places.push_back(line.Length() == 0 ? kNoText : begin + ctx.Lead);
        state.SessionReport.append(line.Text(), line.Length());
    }

    ReportAnchors::Session anchors;
    if (state.ReportBody.empty()) {
        state.Anchors.Sessions.clear();
        state.ReportBody = RtfHeader;
        anchors.Heading = state.ReportBody.size();
        state.ReportBody += state.HeadingDay;
        state.ReportBody += state.HeadingMonth;
        state.ReportBody += " \\par ";
    } else {
        anchors.Heading = state.ReportBody.size();
        state.ReportBody += "\\par -------- ";
        state.ReportBody += state.HeadingDay;
        state.ReportBody += state.HeadingMonth;
        state.ReportBody += " --------- \\par ";
    }
    const size_t base = state.ReportBody.size();
    state.ReportBody += state.SessionReport;
    state.ReportText = state.ReportBody;
    anchors.Records = PlaceHidden(std::move(places), base, anchors.Heading);
    state.Anchors.Sessions.push_back(std::move(anchors));
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
