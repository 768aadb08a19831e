#include "report/ShownReport.h"

#include <cstring>

const char* const kUnrecognisedLogsText =
    "This session contains some logs which are not recognised by this version of the Orv "
    "datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.";

namespace {

// The log stream of "no session": erased memory, which ends the stream at its first byte.
class NoSessionBytes : public SessionByteSource {
public:
    void ReadSessionBytes(int16_t, uint8_t* out100, int16_t& readIndex) override {
        std::memset(out100, 0xFF, 100);
        readIndex = static_cast<int16_t>(readIndex + 100);
    }
};

} // namespace

void ShownReport::Render(ReportState& report, SessionByteSource& source, int16_t slot) {
    if (report.ReportBody.empty() || m_sections.empty()) {
        // A new report begins here.
        m_sections.clear();
        m_begin.headerCountdown = report.HeaderCountdown;
        m_begin.columns = report.Columns;
        m_begin.logTime = report.LogTime;
    }
    m_sections.push_back({slot, report.HeadingDay, report.HeadingMonth});
    RenderSection(report, source, slot);
}

void ShownReport::RenderAgain(ReportState& report, SessionByteSource& source) {
    if (m_sections.empty()) {
        Render(report, source, kNoSession);
        return;
    }
    const bool open = !report.ReportBody.empty();
    const std::string headingDay = report.HeadingDay;
    const std::string headingMonth = report.HeadingMonth;
    // The column heading and the times depend on what was decoded before: start where the
    // report's first rendering started, so that the result is what these sessions give when
    // rendered with the new filter in the first place.
    report.HeaderCountdown = m_begin.headerCountdown;
    report.Columns = m_begin.columns;
    report.LogTime = m_begin.logTime;
    report.ReportBody.clear();
    for (const Section& section : m_sections) {
        report.HeadingDay = section.headingDay;
        report.HeadingMonth = section.headingMonth;
        RenderSection(report, source, section.slot);
    }
    report.HeadingDay = headingDay;
    report.HeadingMonth = headingMonth;
    if (!open) {
        // The report had been closed for the next choice to begin a new one; it stays closed.
        report.ReportBody.clear();
    }
}

void ShownReport::RenderSection(ReportState& report, SessionByteSource& source, int16_t slot) {
    if (slot == kNoSession) {
        NoSessionBytes none;
        RenderSession(report, none, 0);
        return;
    }
    RenderSession(report, source, slot);
}

std::vector<int16_t> ShownReport::Slots() const {
    std::vector<int16_t> shown;
    for (const Section& section : m_sections) {
        if (section.slot != kNoSession) {
            shown.push_back(section.slot);
        }
    }
    return shown;
}

ReportAnchors ShownReport::SessionAnchors(const ReportState& report) const {
    ReportAnchors shown;
    const std::vector<ReportAnchors::Session>& rendered = report.Anchors.Sessions;
    if (rendered.size() != m_sections.size()) {
        return shown;
    }
    for (size_t i = 0; i < m_sections.size(); ++i) {
        if (m_sections[i].slot != kNoSession) {
            shown.Sessions.push_back(rendered[i]);
        }
    }
    return shown;
}
