#pragma once

// What the report's map page shows of the sessions the report shows: their scene and their survey
// record, made here once from the decoded sessions by whoever writes the report (the command line,
// the program, the download), so that the page's drawing never decodes a session itself.
//
//     mapping::MapPageContent page = mapping::MapPageOf(sessions, filter, headings);
//     if (mapping::SceneHasPlaces(page.scene)) { ... the page is drawn ... }
#include "map/MapScene.h"
#include "map/SurveyRecord.h"

#include <string>
#include <vector>

namespace mapping {

class TileSource;

struct MapPageContent {
    MapScene scene;
    std::vector<SessionSurvey> surveys; // one a session, in the order given
    // The offline background the map is drawn on (an MBTiles file; never a tile server, so that
    // the same sessions always give the same page); null: the plain grid. Not owned.
    TileSource* background = nullptr;
};

// The page of `sessions`: the scene as the report's `filter` shows them, coloured by `gas` (as
// ChooseMapGas takes it: empty, or a gas not read at a place, takes the first gas that is), and
// their survey record headed by `headings` (SurveysOf; the instrument in UTF-8).
MapPageContent MapPageOf(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                         const std::vector<SurveyHeading>& headings,
                         const std::string& gas = std::string());

} // namespace mapping
