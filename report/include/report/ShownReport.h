#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/Report.h"

// What a report that holds logs this version cannot decode (UnrecognisedLogFlag) says to the
// user, whichever front end assembled it.
extern const char* const kUnrecognisedLogsText;

// A report assembled from sessions, one after the other, continuing from the report state it is
// given: the program's report on screen (Full Day adds the rest of a day) and each report that a
// download writes are assembled here alike. It remembers the sessions in order, each with the
// headings it was rendered under, and the decoder state the report began with, so that a change
// of the log filter renders that same report again, filtered, instead of adding a session once
// more.
class ShownReport {
public:
    // Stands for "no session": the empty report that is shown before any session was chosen.
    static constexpr int16_t kNoSession = -1;

    // Renders `slot` (or no session) into the report as the next section, or as a new report
    // when ReportBody is empty, and remembers it.
    void Render(ReportState& report, SessionByteSource& source, int16_t slot);

    // Renders every remembered section again, from an empty ReportBody and the decoder state the
    // report began with, under each section's own headings; the current headings are kept. When
    // ReportBody was empty (the next choice begins a new report) it is left empty, and only
    // ReportText holds the report again. With nothing remembered, renders the empty report.
    void RenderAgain(ReportState& report, SessionByteSource& source);

    size_t SectionCount() const { return m_sections.size(); }
    // The session the report begins with (kNoSession when none was rendered).
    int16_t FirstSlot() const { return m_sections.empty() ? kNoSession : m_sections.front().slot; }
    // Forgets every section after the first; RenderAgain then shows the first one alone.
    void KeepFirst() {
        if (m_sections.size() > 1) {
            m_sections.resize(1);
        }
    }
    // The slots of the sessions shown, in report order ("no session" left out).
    std::vector<int16_t> Slots() const;
    // Where the records of the sessions shown begin in the text of `report` (the state this report
    // was rendered into), one entry for each slot Slots() lists; none when `report` does not hold
    // this report's rendering.
    ReportAnchors SessionAnchors(const ReportState& report) const;

    struct Section {
        int16_t slot;
        std::string headingDay;
        std::string headingMonth;
    };
    // The sections of the report on screen, in order (the chart draws the same sessions).
    const std::vector<Section>& Sections() const { return m_sections; }

private:
    // What RenderSession carries from one rendering to the next.
    struct DecoderState {
        int32_t headerCountdown = 0;
        ReadingColumns columns;
        int64_t logTime = 0;
    };

    static void RenderSection(ReportState& report, SessionByteSource& source, int16_t slot);

    std::vector<Section> m_sections;
    DecoderState m_begin;
};
