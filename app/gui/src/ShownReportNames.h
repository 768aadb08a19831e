#pragma once

#include "map/SurveyRecord.h"

#include <QString>

#include <vector>

class ProgramArchiving;
class SessionBrowser;
class SessionReader;

// What the main window calls the report on screen, asked by every view that names it: the file
// name its saves suggest, the survey record's heading of each session, and the words of the
// status line.
class ShownReportNames {
public:
    ShownReportNames(const SessionBrowser& browser, const SessionReader& reader,
                     const ProgramArchiving& archiving)
        : browser_(browser), reader_(reader), archiving_(archiving) {}

    // The name Save, Save as PDF, Print and Export suggest (SavedName, without a suffix); empty
    // when nothing is shown.
    QString SuggestedName() const;
    // The survey record's heading of each session shown, in the report's order: the one heading
    // the Map tab, Save as PDF and Print give it.
    std::vector<SurveyHeading> Headings() const;
    // What the exports and the PDF call the instrument (ReportExport::ShownInstrument).
    QString Instrument() const;
    // "the report of Tuesday 18 Aug 2026 (2 sessions)" for the status line.
    QString StatusName() const;
    // What of the report is the archive's copy of a session the dump lacks, for the status line:
    // ", from the archive (session 57): the dump does not hold it"; empty: none.
    QString CopiesShown() const;

private:
    const SessionBrowser& browser_;
    const SessionReader& reader_;
    const ProgramArchiving& archiving_;
};
