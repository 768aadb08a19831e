// tavon-datalog map: the positions of sessions of a saved dump as a map picture (PNG) or page
// (PDF), drawn by the program's own map code without a window or a network.
#include <string>
#include <vector>

#include "Commands.h"
#include "core/LogImage.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/MapOutput.h"
#include "download/OfflineOptions.h"

const char kMapSynopsis[] = "map DUMP SLOT [SLOT...] -o FILE.png|FILE.pdf [--size WxH] "
                            "[--tiles FILE.mbtiles] [--gas NAME] "
                            "[--hide alarm,manual,timed,calibration,bump] "
                            "[--mode-names N1,N2,N3,N4]";

namespace {

// What map does, before its options.
const char kMapIntro[] =
    "Draws the sessions in the given slots of a FlashData.txt dump on a map, in the order given:\n"
    "the track through the survey positions with a valid fix, broken where the instrument was\n"
    "switched off or on, a fix was lost or one session ends and the next begins, each position\n"
    "coloured by its reading of one gas on a colour scale (an over-range reading in a colour of\n"
    "its own); markers for alarms, barhole tests, pipeline gas tests, manual readings and GPS\n"
    "averages; a scale bar and a north arrow. The view fits every position. Needs no display and\n"
    "no network. Sessions without a position still give the map (the grid alone), with a\n"
    "message on standard error.\n"
    "\n";

} // namespace

std::string MapHelp() {
    return kMapIntro + OptionHelp(MapOptionTable());
}

const char kMapExitStatus[] =
    "Exit status: 0 done (also when the tile store could not be used or the sessions have no\n"
    "position: the message on standard error says so); 1 the map could not be written; 2 bad\n"
    "arguments, a gas no position has a reading of, an unreadable or malformed dump, a slot\n"
    "outside 0 to 499, or one the dump does not hold.\n";

int RunMap(int argc, char** argv) {
    MapOptions options;
    std::string message;
    if (!ParseMapOptions(argc, argv, options, message)) {
        return UsageError(message, "map");
    }
    if (!LoadDumpAndSessions(options.dump.c_str()) ||
        !DumpHoldsSessions(options.sessionSlots, "archive map -o " + options.output)) {
        return kExitUsage;
    }
    std::vector<SessionValues> sessions;
    for (int16_t slot : options.sessionSlots) {
        sessions.push_back(DecodeSessionValues(Image(), slot, options.modeNames));
    }
    return WriteMapFile(sessions, MapRequestOf(options));
}
