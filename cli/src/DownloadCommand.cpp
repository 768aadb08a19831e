// tavon-datalog download: every session of an instrument, or the chosen ones, as RTF reports.
#include <string>

#include "Commands.h"
#include "DownloadDriver.h"
#include "download/CommandArguments.h"
#include "download/DownloadOptions.h"
#include "download/ExitStatus.h"

const char kDownloadSynopsis[] =
    "download [--pipe [NAME]]... [--port DEVICE]... [--ports all|DEVICE...] [--dump FILE] "
    "[--out DIR] [--sessions all|alarm|cal|alarm,cal] [--slot N ...] [--day YYYY-MM-DD ...] "
    "[--mode-names N1,N2,N3,N4] [--graph] [--export csv,geojson,gpx] [--plot pdf|png] [--map "
    "pdf|png] "
    "[--fast] [--quiet] [--archive LOCATION | --no-archive] [--sync LOCATION] [--instrument NAME] "
    "[--all | --new-only]";

namespace {

// What download does, before its options.
const char kDownloadIntro[] =
    "Connects to the instrument, uploads its driver text, its mode names and its session index,\n"
    "prints the session tree (as the sessions command does), then uploads the sessions and\n"
    "writes them as RTF reports: one per day, DIR/YYYY-MM-DD.rtf, holding that day's sessions\n"
    "in tree order as the program's Full Day assembles them; or, with --slot, one per slot,\n"
    "DIR/slot-N.rtf. The memory image is saved as a FlashData.txt dump after the index and again\n"
    "at the end, holding every session downloaded (sectors not downloaded read as erased).\n"
    "\n";

// After its options.
const char kDownloadOutro[] =
    "\n"
    "The output folder is made once the instrument is connected. A report is written under a\n"
    "temporary name and renamed, so it is never left half-written. A download that went\n"
    "through ends with one line on standard error: the sessions downloaded, the reports\n"
    "written and their folder, and where the dump went.\n";

} // namespace

std::string DownloadHelp() {
    return kDownloadIntro + OptionHelp(DownloadOptionTable()) + kDownloadOutro;
}

const char kDownloadExitStatus[] =
    "Exit status: 0 done (also when sessions held records this version cannot decode: the\n"
    "warning is printed); 1 a report or the dump could not be written; 2 bad arguments, or a\n"
    "slot or day that the instrument does not hold; 3 no link to an instrument (one line\n"
    "says which pipe and port were tried; no folder or Settings.ini is left behind); 4 the\n"
    "instrument stopped answering (reports written so far are kept, and the dump when the\n"
    "index was complete); 5 \"Error in serial comms\": the replies to a request stayed\n"
    "spoiled past the bound (a spoiled transfer or answer is asked again until it comes\n"
    "whole, many times over before the request is given up; a spoiled answer to the idle\n"
    "poll is dropped and the poll goes on); 6 everything was written but the archive could\n"
    "not be opened or written (the message says why); 130 interrupted (Ctrl-C, SIGTERM):\n"
    "the reports written stay, and the dump holds the sessions that had arrived.\n";

int RunDownload(int argc, char** argv) {
    DownloadOptions options;
    std::string message;
    if (!ParseDownloadOptions(argc, argv, options, message)) {
        return UsageError(message, "download");
    }
    return RunDownloadSession(options);
}
