#pragma once

#include <string>
#include <vector>

#include "download/OfflineOptions.h"
#include "report/SessionValues.h"

// The map file of sessions, as `map`, `archive map` and `download --map` write it: the one
// place that turns decoded sessions into a PNG or PDF map. No Qt header here, as in
// ChartOutput.h.

struct MapFileRequest {
    std::string path; // FILE.png or FILE.pdf: the ending chooses
    int width = kChartWidth;
    int height = kChartHeight;
    std::string tiles; // an MBTiles file for the background; empty: the plain grid
    std::string gas;   // the gas the positions are coloured by; empty: the first read at a place
    LogFilter filter;  // what the map leaves out, as the report does
};

// The request of a command's map options (`map`'s and `archive map`'s, which name them alike).
template <typename MapOptions> MapFileRequest MapRequestOf(const MapOptions& options) {
    MapFileRequest request;
    request.path = options.output;
    request.width = options.width;
    request.height = options.height;
    request.tiles = options.tiles;
    request.gas = options.gas;
    request.filter = options.filter;
    return request;
}

// Draws the sessions' scene (SceneOfSessions), fitted to the picture, into the file. A tile store
// that cannot be used, and sessions without a position, still give the map: the grid, and one
// message on standard error. An exit status: kExitOk; kExitUsage for a gas the sessions did not
// read at any place (the message names those they did); kExitOutputFailed when the file could not
// be written (nothing is left of it). Makes the application object when there is none yet.
int WriteMapFile(const std::vector<SessionValues>& sessions, const MapFileRequest& request);
