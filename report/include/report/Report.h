#pragma once

#include "report/SessionValues.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Supplies the de-escaped log stream of one session slot: exactly 100 bytes per call, with one
// running read index that the caller starts at 0 and that each call advances.
class SessionByteSource {
public:
    virtual ~SessionByteSource() = default;
    virtual void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) = 0;
};

// The gas columns of the last reading line (alarm, manual, timed). They carry over from one
// record to the next and from one rendering to the next: a change of gases brings the column
// heading back.
struct ReadingColumns {
    static constexpr int kNameCount = 10;
    static constexpr int kNameSize = 30;
    static constexpr int kValueCount = 15;
    static constexpr int kValueSize = 20;

    // Empty names at the start of the run, so that the first reading line gets its heading.
    char Names[kNameCount][kNameSize] = {};
    char Values[kValueCount][kValueSize] = {};
    int32_t Count = 0;
};

// Where the records of a report begin in its RTF, so that a view of the report can go to a
// record's line (a choice on the map, say). Byte offsets into ReportText; the RTF itself is not
// touched to keep them.
struct ReportAnchors {
    struct Session {
        // Where the session's heading begins.
        size_t Heading = 0;
        // Where each record's own line begins (below a column heading put above it), by the
        // record's place in the session's stream: the index of SessionValues::Records. A record
        // that gives no text (the filter hides it) takes the place of the next record shown in its
        // session, else of the last one shown before it, else of the session's heading: it is
        // found where it would have stood.
        std::vector<size_t> Records;
    };
    // One entry for every session rendered into the report, in the order rendered.
    std::vector<Session> Sessions;
};

// Decoder state and report strings; one instance, owned by the main dialog (or the command-line
// program), lives for the whole run.
struct ReportState {
    // Set by any record this version cannot decode; the session browser clears it before a
    // rendering that follows an upload and shows the warning when it is set afterwards.
    int32_t UnrecognisedLogFlag = 0;
    // Decides when the column heading of reading lines is repeated.
    int32_t HeaderCountdown = 0;

    // Filter flags (0 or 1) copied from the log filter. A hidden alarm, manual or timed reading
    // gives no text, but its gases still count for the column heading; an unknown version of
    // those three is shown whatever the flag says.
    int32_t ShowAlarmLogs = 1;
    int32_t ShowManualLogs = 1;
    int32_t ShowTimedLogs = 1;
    // Calibration, zero and field-calibration records (ShowCalibrationLogs) and bump tests
    // (ShowBumpLogs): a hidden one gives no text and leaves the heading countdown alone; an
    // unknown version of it still sets UnrecognisedLogFlag.
    int32_t ShowCalibrationLogs = 1;
    int32_t ShowBumpLogs = 1;
    // 1 when "Show Barhole Graph" reads "TRUE": barhole profiles are listed value by value.
    int32_t ShowBarholeGraph = 0;

    // Names of the instrument's four operating modes, from its configuration block; empty until
    // that block has been read.
    std::string ModeNames[4];

    ReadingColumns Columns;
    // Calendar time (seconds since 1970) of the last time-stamped record decoded.
    int64_t LogTime = 0;

    std::string SessionReport; // the decoded text of the session rendered last
    std::string ReportBody;    // the open RTF document, without its closing braces
    std::string ReportText;    // ReportBody + "}}": what is shown and saved
    std::string HeadingDay;    // day label of the session followed by one blank
    std::string HeadingMonth;  // month label of the session
    // Where the sessions and records of ReportText begin; begun again with the report.
    ReportAnchors Anchors;
};

// The bytes that open every report: colour table, font table and the body font (411 characters).
extern const char RtfHeader[];

// Forgets what the decoder carried over from the sessions rendered before (the gas columns, the
// heading countdown, the last time), so that the next session decodes as the first of a run.
void ResetDecoderState(ReportState& state);

// Renders the slot's session and adds it to the report; returns the session's own text.
std::string RenderSession(ReportState& state, SessionByteSource& source, int16_t slot);

// The report's filter flags as a log filter, and back.
LogFilter ReportFilter(const ReportState& state);
void SetReportFilter(ReportState& state, const LogFilter& filter);
