#pragma once

#include <cstdint>
#include <string>

// Supplies the de-escaped log stream of one session slot: exactly 100 bytes per call, with one
// running read index that the caller starts at 0 and that each call advances.
class SessionByteSource {
public:
    virtual ~SessionByteSource() = default;
    virtual void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) = 0;
};

// Decoder state and report strings; one instance, owned by the main dialog (or the command-line
// program), lives for the whole run.
struct ReportState {
    int32_t UnrecognisedLogFlag = 0;
    int32_t HeaderCountdown = 0;
    int32_t ShowAlarmLogs = 1;
    int32_t ShowManualLogs = 1;
    int32_t ShowTimedLogs = 1;
    int32_t ShowBarholeGraph = 0;
    std::string ModeNames[4];

    std::string SessionReport;
    std::string ReportBody;
    std::string ReportText;
    std::string HeadingDay;
    std::string HeadingMonth;
};

// Renders the slot's session and adds it to the report; returns the session's own text.
std::string RenderSession(ReportState& state, SessionByteSource& source, int16_t slot);
