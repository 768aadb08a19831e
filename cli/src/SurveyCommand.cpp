// tavon-datalog survey: the survey record of sessions of a saved dump: the route walked, the
// coverage of positions and every indication of gas with its place.
#include <string>
#include <vector>

#include "Commands.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "download/ReportOutput.h"
#include "export/SurveyExport.h"
#include "map/SurveyRecord.h"

const char kSurveySynopsis[] = "survey DUMP SLOT [SLOT...] [--format text|csv|json] "
                               "[--mode-names N1,N2,N3,N4] [--instrument NAME] [-o FILE]";

namespace {

// What survey does, before its options.
const char kSurveyIntro[] =
    "Writes the survey record of the sessions in the given slots (0 to 499) of a FlashData.txt\n"
    "dump, in the order given: the route walked (metres along the survey positions with a valid\n"
    "fix in time order, great-circle distance, summed within each unbroken piece: a piece ends\n"
    "where the instrument was switched off or on and at a survey record without a fix), the time\n"
    "surveyed (first to last survey record), the coverage (survey records with a valid fix\n"
    "among all survey records), and every indication (alarm, barhole with a peak above zero,\n"
    "pipeline gas found) with its time, place, gas and value. The record goes to standard\n"
    "output unless -o names a file.\n"
    "\n";

} // namespace

std::string SurveyHelp() {
    return kSurveyIntro + OptionHelp(SurveyOptionTable());
}

const char kSurveyExitStatus[] =
    "Exit status: 0 done; 1 the file could not be written; 2 bad arguments, an unreadable or\n"
    "malformed dump, a slot outside 0 to 499, or one the dump does not hold.\n";

int RunSurvey(int argc, char** argv) {
    SurveyOptions options;
    std::string message;
    if (!ParseSurveyOptions(argc, argv, options, message)) {
        return UsageError(message, "survey");
    }
    if (!LoadDumpAndSessions(options.dump.c_str()) ||
        !DumpHoldsSessions(options.sessionSlots, "archive survey")) {
        return kExitUsage;
    }
    const std::string instrument = InstrumentCalled(std::string(), options.instrument);
    std::vector<SessionValues> sessions;
    std::vector<SurveyHeading> headings;
    for (int16_t slot : options.sessionSlots) {
        sessions.push_back(DecodeSessionValues(Image(), slot, options.modeNames));
        headings.push_back({NamingOf(Sessions(), slot, instrument), std::string()});
    }
    return WriteOutput(options.output,
                       WriteSurveys(SurveysOf(sessions, headings), options.format).toStdString());
}
