// tavon-datalog download: every session of an instrument, or the chosen ones, as RTF reports.
#include <string>

#include "Commands.h"
#include "DownloadDriver.h"
#include "download/CommandLine.h"
#include "download/DownloadOptions.h"
#include "download/ExitStatus.h"

const char kDownloadSynopsis[] =
    "download [--pipe [NAME]]... [--port DEVICE]... [--ports all] [--dump FILE] [--out DIR] "
    "[--sessions all|alarm|cal|alarm,cal] [--slot N ...] [--day YYYY-MM-DD ...] "
    "[--mode-names N1,N2,N3,N4] [--graph] [--export csv,geojson,gpx] [--plot pdf|png] "
    "[--fast] [--quiet] [--archive LOCATION | --no-archive] [--instrument NAME] "
    "[--all | --new-only]";

const char kDownloadHelp[] =
    "Connects to the instrument, uploads its driver text, its mode names and its session index,\n"
    "prints the session tree (as the sessions command does), then uploads the sessions and\n"
    "writes them as RTF reports: one per day, DIR/YYYY-MM-DD.rtf, holding that day's sessions\n"
    "in tree order as the program's Full Day assembles them; or, with --slot, one per slot,\n"
    "DIR/slot-N.rtf. The memory image is saved as a FlashData.txt dump after the index and again\n"
    "at the end, holding every session downloaded (sectors not downloaded read as erased).\n"
    "\n"
    "  --pipe [NAME]         the instrument served on the companion pipe NAME (default\n"
    "                        \"RAK Pipe\"); may be given more than once, a pipe each time\n"
    "  --port DEVICE         the instrument on the serial port DEVICE (ttyUSB0, /dev/rfcomm0,\n"
    "                        COM3), brought up as the program's connection dialog does it; may\n"
    "                        be given more than once, a port each time\n"
    "  --ports all           the instruments on every serial port the port discovery lists\n"
    "                        with a known driver\n"
    "                        The links are used in the order given, each once. Without --pipe,\n"
    "                        --port and --ports: the pipe \"RAK Pipe\", then the port\n"
    "                        remembered in Settings.ini in the working directory.\n"
    "  --dump FILE           where the dump goes (default FlashData.txt)\n"
    "  --out DIR             where the reports go (default: the working directory; made when\n"
    "                        missing)\n"
    "  --sessions LIST       which sessions the tree lists and so which are downloaded: all,\n"
    "                        alarm, cal or alarm,cal, like the program's session boxes\n"
    "                        (default all)\n"
    "  --slot N ...          only these slots, one report each, whatever the tree lists\n"
    "  --day YYYY-MM-DD ...  only these days\n"
    "  --mode-names LIST     up to four comma-separated mode names that replace the\n"
    "                        instrument's ('[' and ']' become the bytes 0xE9 and 0xEA)\n"
    "  --graph               list barhole profiles value by value; without it the setting\n"
    "                        \"Show Barhole Graph\" in Settings.ini decides\n"
    "  --export LIST         beside each report, the same sessions as csv, geojson and/or gpx\n"
    "                        (comma-separated), as the export command writes them\n"
    "  --fast                fast uploads: each answer is taken as it arrives and the next\n"
    "                        request goes out at once, so transfers run at the speed of the\n"
    "                        line; without it the setting \"Fast Upload\" in Settings.ini\n"
    "                        decides (the designed pace reads 512 bytes per 100 ms tick)\n"
    "  --plot pdf|png        beside each report, the chart of its sessions as DIR/YYYY-MM-DD.pdf\n"
    "                        or .png (DIR/slot-N.pdf with --slot), as the plot command draws it\n"
    "  -q, --quiet           no progress bar (it is shown only when standard error is a\n"
    "                        terminal)\n"
    "  --no-archive          keep nothing in the archive (also \"Archive Downloads=FALSE\"\n"
    "                        in Settings.ini)\n"
    "  --archive LOCATION    the archive to keep the sessions in, as for tavon-datalog\n"
    "                        archive (default: \"Archive\" in Settings.ini, else the\n"
    "                        program's own)\n"
    "  --instrument NAME     the name the archive gives this instrument\n"
    "  --all                 upload also the sessions the archive holds complete\n"
    "  --new-only            report only the days that have a session the archive does not\n"
    "                        hold complete\n"
    "                        Sessions the archive holds complete are not uploaded again: a day\n"
    "                        whose every session is held gets no report (archive render makes\n"
    "                        it); the tree marks them \"archived\".\n"
    "\n"
    "The output folder is made once the instrument is connected. A report is written under a\n"
    "temporary name and renamed, so it is never left half-written. A download that went\n"
    "through ends with one line on standard error: the sessions downloaded, the reports\n"
    "written and their folder, and where the dump went.\n";

const char kDownloadExitStatus[] =
    "Exit status: 0 done (also when sessions held records this version cannot decode: the\n"
    "warning is printed); 1 a report or the dump could not be written; 2 bad arguments, or a\n"
    "slot or day that the instrument does not hold; 3 no link to an instrument (one line\n"
    "says which pipe and port were tried; no folder or Settings.ini is left behind); 4 the\n"
    "instrument stopped answering (reports written so far are kept, and the dump when the\n"
    "index was complete); 5 \"Error in serial comms\": the replies to a request stayed\n"
    "spoiled past the bound (a spoiled transfer or answer is asked again until it comes\n"
    "whole, many times over before the request is given up; a spoiled answer to the idle\n"
    "poll is dropped and the poll goes on); 130\n"
    "interrupted (Ctrl-C, SIGTERM): the reports written stay, and the dump holds the sessions\n"
    "that had arrived; 6 everything was written but the archive could not be opened or\n"
    "written (the message says why).\n";

int RunDownload(int argc, char** argv) {
    DownloadOptions options;
    std::string message;
    if (!ParseDownloadOptions(argc, argv, options, message)) {
        return UsageError(message, "download");
    }
    return RunDownloadSession(options);
}
