// tavon-datalog watch: every instrument that connects, downloaded and filed without a window.
#include <fstream>
#include <sstream>
#include <string>

#include "Commands.h"
#include "download/CommandArguments.h"
#include "watch/WatchDriver.h"
#include "watch/WatchOptions.h"

const char kWatchSynopsis[] =
    "watch [--out TEMPLATE] [--archive LOCATION] [--sync LOCATION] [--export csv,geojson,gpx] "
    "[--plot pdf|png] "
    "[--pdf] [--fast] [--port DEVICE]... [--ports all|DEVICE...] [--pipe [NAME]]... [--once] "
    "[--every MINUTES] [--log FILE] [--quiet]";

namespace {

// What watch does, before its options.
const char kWatchIntro[] =
    "Runs until stopped, and downloads every instrument that connects: a serial port of a\n"
    "known driver that appears (cables and paired Bluetooth devices, as the connection dialog\n"
    "finds them; polled every 2 s), or a companion pipe that starts answering. A port or pipe\n"
    "that is there at the start counts as newly connected. Each instrument gets a session of\n"
    "its own: its identity, its index, then only the sessions the archive does not hold\n"
    "complete are uploaded and archived, and the reports of the days that got new sessions\n"
    "are written (RTF; PDF too with --pdf), with the exports and charts asked for. The memory\n"
    "dump goes to the instrument's own folder: the template's folders before its first field,\n"
    "then the instrument (out/{date}: out/SERIAL/FlashData.txt). A day with nothing new whose\n"
    "files are not all in its folder is written too, from the archive alone. The instrument\n"
    "then stays connected, idle, and is downloaded again when it reconnects, or every MINUTES\n"
    "with --every.\n"
    "\n"
    "Files are written under a temporary name and renamed. A file that is there with the same\n"
    "bytes is left alone. One the watcher wrote itself (recorded in the folder's\n"
    ".tavon-written with the hash of its bytes) and nobody changed since is replaced by the\n"
    "new one of its sessions and more (a day that grew). Any other file is never replaced:\n"
    "the new file gets \"-2\" (\"-3\", ...) before its ending, and the log says why. A\n"
    "session cut off by a link that closes is neither archived nor reported; the next\n"
    "connection goes on with what is still missing. A session whose bytes do not match its\n"
    "index entry is not filed.\n"
    "\n";

// After its options.
const char kWatchOutro[] =
    "\n"
    "The log has one line per event, with its time: the settings file read, connected, index\n"
    "read, new sessions, each file written, replaced or left alone, the visit's outcome, link\n"
    "lost, and errors with their cause.\n"
    "Settings.ini in the working directory may hold the same settings under [Watch]: Out,\n"
    "Export, Plot, PDF, Fast, Ports, Pipe, Every, Log, Quiet (Key=value; TRUE for the\n"
    "switches); the command line goes over them. The archive is Settings.ini's \"Archive\",\n"
    "as for download.\n";

} // namespace

std::string WatchHelp() {
    return kWatchIntro + OptionHelp(WatchOptionTable()) + kWatchOutro;
}

const char kWatchExitStatus[] =
    "Exit status: 0 stopped by SIGINT or SIGTERM (the upload under way is ended cleanly: no\n"
    "partial file, the sessions that arrived whole are archived); with --once the worst status\n"
    "of the instruments' downloads, as for download (0 all went through, 3 none was there or\n"
    "one could not be opened, 4 one stopped answering, ...); 1 the log could not be opened;\n"
    "2 bad arguments.\n";

int RunWatch(int argc, char** argv) {
    std::string settings;
    std::ifstream in("Settings.ini", std::ios::binary);
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        settings = text.str();
    }
    WatchOptions options;
    std::string message;
    if (!ParseWatchOptions(argc, argv, settings, options, message)) {
        return UsageError(message, "watch");
    }
    return RunWatchSession(options, RegisterCheck(options));
}
