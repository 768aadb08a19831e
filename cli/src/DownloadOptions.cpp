#include "DownloadOptions.h"

#include <algorithm>
#include <cstring>

#include "CommandLine.h"
#include "ExportOptions.h"

namespace {

bool Digits(const std::string& text, size_t from, size_t count, int& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool IsOption(const char* arg) {
    return arg[0] == '-' && arg[1] != '\0';
}

// The device as the port list names it: without the "/dev/" that opening adds again.
std::string BareDeviceName(const std::string& device) {
    static const char kDevPrefix[] = "/dev/";
    if (device.compare(0, sizeof kDevPrefix - 1, kDevPrefix) == 0) {
        return device.substr(sizeof kDevPrefix - 1);
    }
    return device;
}

} // namespace

bool IsIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    int year = 0, month = 0, day = 0;
    if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)) {
        return false;
    }
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= length;
}

bool ParseDownloadOptions(int argc, char** argv, DownloadOptions& options, std::string& message) {
    enum class List { None, Slot, Day };
    List list = List::None; // bare words that follow --slot or --day add to that list
    bool pipeGiven = false;
    bool portGiven = false;

    for (int i = 0; i < argc;) {
        const char* arg = argv[i];
        std::string value;
        bool missing = false;
        if (std::strcmp(arg, "--pipe") == 0 || std::strncmp(arg, "--pipe=", 7) == 0) {
            pipeGiven = true;
            list = List::None;
            if (arg[6] == '=') {
                options.pipeName = arg + 7;
                ++i;
            } else if (i + 1 < argc && !IsOption(argv[i + 1])) {
                options.pipeName = argv[i + 1];
                i += 2;
            } else {
                ++i;
            }
            if (options.pipeName.empty()) {
                message = "--pipe needs a non-empty name";
                return false;
            }
        } else if (TakeValue(argc, argv, i, "--port", value, missing)) {
            list = List::None;
            if (missing || value.empty()) {
                message = "--port needs a serial device, e.g. ttyUSB0";
                return false;
            }
            portGiven = true;
            options.port = BareDeviceName(value);
            if (options.port.empty()) {
                message = "--port needs a serial device, e.g. ttyUSB0";
                return false;
            }
        } else if (TakeValue(argc, argv, i, "--dump", value, missing)) {
            list = List::None;
            if (missing || value.empty()) {
                message = "--dump needs a file name";
                return false;
            }
            options.dumpPath = value;
        } else if (TakeValue(argc, argv, i, "--out", value, missing)) {
            list = List::None;
            if (missing || value.empty()) {
                message = "--out needs a folder";
                return false;
            }
            options.outDir = value;
        } else if (TakeValue(argc, argv, i, "--sessions", value, missing)) {
            list = List::None;
            if (missing || !ParseSessionBoxes(value, options.boxes)) {
                message = "--sessions takes all, alarm, cal or alarm,cal";
                return false;
            }
        } else if (TakeValue(argc, argv, i, "--slot", value, missing)) {
            if (missing) {
                message = "--slot needs a slot number (0 to 499)";
                return false;
            }
            int16_t slot = 0;
            if (!ParseSlot(value.c_str(), slot, message)) {
                return false;
            }
            options.sessionSlots.push_back(slot);
            list = List::Slot;
        } else if (TakeValue(argc, argv, i, "--day", value, missing)) {
            if (missing || !IsIsoDate(value)) {
                message = "--day needs a date written YYYY-MM-DD" +
                          (missing ? std::string() : ", not \"" + value + "\"");
                return false;
            }
            options.days.push_back(value);
            list = List::Day;
        } else if (TakeValue(argc, argv, i, "--mode-names", value, missing)) {
            list = List::None;
            if (missing) {
                message = "--mode-names needs up to four comma-separated names";
                return false;
            }
            if (!ParseModeNames(value, options.modeNames, message)) {
                return false;
            }
            options.modeNamesGiven = true;
        } else if (TakeValue(argc, argv, i, "--export", value, missing)) {
            list = List::None;
            if (missing || !ParseExportFormats(value, options.exportFormats, message)) {
                message = "--export takes csv, geojson and gpx (comma-separated)";
                return false;
            }
        } else if (std::strcmp(arg, "--graph") == 0) {
            list = List::None;
            options.graph = true;
            ++i;
        } else if (std::strcmp(arg, "--quiet") == 0 || std::strcmp(arg, "-q") == 0) {
            list = List::None;
            options.quiet = true;
            ++i;
        } else if (IsOption(arg)) {
            message = std::string("download: unknown option ") + arg;
            return false;
        } else if (list == List::Slot) {
            int16_t slot = 0;
            if (!ParseSlot(arg, slot, message)) {
                return false;
            }
            options.sessionSlots.push_back(slot);
            ++i;
        } else if (list == List::Day) {
            if (!IsIsoDate(arg)) {
                message = std::string("--day needs a date written YYYY-MM-DD, not \"") + arg + "\"";
                return false;
            }
            options.days.push_back(arg);
            ++i;
        } else {
            message = std::string("download: unexpected argument \"") + arg + "\"";
            return false;
        }
    }
    if (pipeGiven && portGiven) {
        message = "--pipe and --port exclude each other";
        return false;
    }
    if (!options.sessionSlots.empty() && !options.days.empty()) {
        message = "--slot and --day exclude each other";
        return false;
    }
    options.link = pipeGiven   ? DownloadOptions::LinkKind::Pipe
                   : portGiven ? DownloadOptions::LinkKind::Port
                               : DownloadOptions::LinkKind::Default;
    // A slot or a day asked for twice is downloaded once, where it was first named.
    std::vector<int16_t> sessionSlots;
    for (int16_t slot : options.sessionSlots) {
        if (std::find(sessionSlots.begin(), sessionSlots.end(), slot) == sessionSlots.end()) {
            sessionSlots.push_back(slot);
        }
    }
    options.sessionSlots = sessionSlots;
    std::vector<std::string> days;
    for (const std::string& day : options.days) {
        if (std::find(days.begin(), days.end(), day) == days.end()) {
            days.push_back(day);
        }
    }
    options.days = days;
    return true;
}
