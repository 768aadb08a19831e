#include "watch/WatchSummary.h"

#include "export/ExportFormat.h"
#include "watch/WatchOptions.h"

namespace {

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

void Append(std::string& list, const std::string& item) {
    list += (list.empty() ? "" : ", ") + item;
}

} // namespace

std::vector<std::pair<std::string, std::string>> DescribeWatchOptions(const WatchOptions& options) {
    std::string links;
    for (const std::string& port : options.ports) {
        Append(links, port);
    }
    if (options.allPorts) {
        Append(links, "every port of a known driver");
    }
    for (const std::string& pipe : options.pipes) {
        Append(links, "pipe " + pipe);
    }
    std::string exports;
    for (ExportFormat format : options.download.exportFormats) {
        Append(exports, ExportFormatWord(format));
    }
    std::string again = "when it is connected again";
    if (options.once) {
        again = "never (once)";
    } else if (options.everyMinutes > 0) {
        again = "every " + std::to_string(options.everyMinutes) + " minute" +
                (options.everyMinutes == 1 ? "" : "s") + ", and " + again;
    }
    std::string log = options.quiet ? "none" : "standard output";
    if (!options.logPath.empty()) {
        log = options.logPath;
    }
    return {
        {"Instruments on", links},
        {"Files go to", options.outTemplate.empty()
                            ? std::string("Tavon/{instrument}/{date} in the documents folder")
                            : options.outTemplate},
        {"Archive", options.download.archiveAt.empty() ? std::string("the default archive")
                                                       : options.download.archiveAt},
        {"Exports", exports.empty() ? std::string("none") : exports},
        {"Charts", options.download.plot.empty() ? std::string("none") : options.download.plot},
        {"PDF reports", YesNo(options.pdf)},
        {"Fast uploads", YesNo(options.download.fast)},
        {"Downloaded again", again},
        {"Log", log},
    };
}
