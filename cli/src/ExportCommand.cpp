// tavon-datalog export: sessions of a saved dump as CSV, GeoJSON or GPX.
#include <string>
#include <vector>

#include "Commands.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "download/ReportOutput.h"
#include "export/SessionExport.h"

const char kExportSynopsis[] = "export DUMP SLOT [SLOT...] --format csv|geojson|gpx "
                               "[--mode-names N1,N2,N3,N4] "
                               "[--hide alarm,manual,timed,calibration,bump] [--instrument NAME] "
                               "[-o FILE]";

namespace {

// What export does, before its options.
const char kExportIntro[] =
    "Writes the records of the sessions in the given slots (0 to 499) of a FlashData.txt dump,\n"
    "in the order given, for a spreadsheet or a map. The file goes to standard output unless -o\n"
    "names one.\n"
    "\n";

} // namespace

std::string ExportHelp() {
    return kExportIntro + OptionHelp(ExportOptionTable());
}

const char kExportExitStatus[] =
    "Exit status: 0 done; 1 the file could not be written; 2 bad arguments, an unreadable or\n"
    "malformed dump, a slot outside 0 to 499, or one the dump does not hold.\n";

int RunExport(int argc, char** argv) {
    ExportCommandOptions options;
    std::string message;
    if (!ParseExportCommandOptions(argc, argv, options, message)) {
        return UsageError(message, "export");
    }
    if (!LoadDumpAndSessions(options.dump.c_str()) ||
        !DumpHoldsSessions(options.sessionSlots, std::string("archive export --format ") +
                                                     ExportFormatWord(*options.format))) {
        return kExitUsage;
    }
    std::vector<SessionValues> sessions;
    for (int16_t slot : options.sessionSlots) {
        sessions.push_back(DecodeSessionValues(Image(), slot, options.modeNames));
    }
    const QString instrument =
        QString::fromLocal8Bit(InstrumentCalled(std::string(), options.instrument).c_str());
    const QByteArray data =
        ExportSessions(sessions, *options.format, options.filter,
                       QStringList(static_cast<qsizetype>(sessions.size()), instrument));
    return WriteOutput(options.output, data.toStdString());
}
