#include "ShownReportNames.h"

#include "ReportExport.h"
#include "SaveNames.h"
#include "gui/ProgramArchiving.h"

#include "app/SessionBrowser.h"
#include "core/SessionTable.h"
#include "session/SessionReader.h"
#include "textcodec/Cp1252.h"

#include <QStringList>

QString ShownReportNames::SuggestedName() const {
    const std::vector<ShownReport::Section>& sections = browser_.Shown().Sections();
    const SessionEntry* first =
        sections.empty() ? nullptr : reader_.Table().FindSlot(sections.front().slot);
    if (first == nullptr) {
        return QString();
    }
    // A day's report is named after the day; one session also after its start.
    const bool one = sections.size() == 1 && !browser_.FullDay();
    return SavedName(QString::fromStdString(SessionDate(*first)),
                     one ? QString::fromStdString(SessionStartText(*first, "%H-%M-%S")) : QString(),
                     first->slot, Instrument());
}

std::vector<SurveyHeading> ShownReportNames::Headings() const {
    const std::vector<int16_t> shown = browser_.ShownSlots();
    const std::string instrument = Instrument().toStdString();
    const QStringList statuses = archiving_.RegisterStatusesOf(shown);
    std::vector<SurveyHeading> headings;
    for (size_t i = 0; i < shown.size(); ++i) {
        headings.push_back({NamingOf(reader_.Table(), shown[i], instrument),
                            statuses.value(static_cast<qsizetype>(i)).toStdString()});
    }
    return headings;
}

QString ShownReportNames::Instrument() const {
    return ReportExport::ShownInstrument(browser_, reader_, archiving_.InstrumentName());
}

QString ShownReportNames::StatusName() const {
    const std::vector<ShownReport::Section>& sections = browser_.Shown().Sections();
    if (sections.empty()) {
        return "the report";
    }
    const size_t count = browser_.ShownSlots().size();
    return QString("the report of %1%2 (%3 session%4)")
        .arg(FromCp1252(sections.front().headingDay), FromCp1252(sections.front().headingMonth))
        .arg(count)
        .arg(count == 1 ? "" : "s");
}

QString ShownReportNames::CopiesShown() const {
    const std::vector<int16_t> shown = browser_.ShownSlots();
    QStringList ids;
    for (const int16_t slot : shown) {
        if (browser_.FromCopy(slot)) {
            ids << QString::number(browser_.CopyOf(slot));
        }
    }
    if (ids.isEmpty()) {
        return QString();
    }
    if (shown.size() == 1) {
        return ", from the archive (id " + ids.front() + "): the dump does not hold it";
    }
    return QString(", %1 of them from the archive (id%2 %3): the dump does not hold %4")
        .arg(ids.size())
        .arg(ids.size() == 1 ? "" : "s", ids.join(", "), ids.size() == 1 ? "it" : "them");
}
