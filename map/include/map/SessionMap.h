#pragma once

// What the map shows of sessions: the one assembly of a map scene that the Map tab, the map
// files, the report's map page and the command line all ask, so that they never disagree.
//
//     std::vector<MapGas> gases = GasesWithPlaces(sessions, filter);
//     MapGas gas;
//     if (ChooseMapGas(gases, "LEL", gas)) { MapScene scene = SceneOfSessions(sessions, gas,
//     filter); }
//
// The track is cut by TrackPieces (SurveyRecord.h), as the route and the GPX export cut it; the
// markers are the indications of the survey record (IndicationOf) with the manual readings and GPS
// averages beside them; the log filter hides on the map what it hides in the report.
#include "map/MapScene.h"
#include "map/SurveyRecord.h"

#include <string>
#include <vector>

namespace mapping {

// A gas as the chart tells gases apart: its name and its unit.
struct MapGas {
    std::string name; // "LEL", "PPM"
    std::string unit; // "% LEL", "ppm"; may be empty

    bool operator==(const MapGas& other) const { return name == other.name && unit == other.unit; }
};

// "LEL (% LEL)": how a gas is offered to choose and named in messages.
std::string MapGasText(const MapGas& gas);

// The gases read at a place (a reading of a record with a valid fix that the filter shows, not
// counting over-range marks' names apart), in the order first met.
std::vector<MapGas> GasesWithPlaces(const std::vector<SessionValues>& sessions,
                                    const LogFilter& filter);

// The gas `asked` names among `gases`: its name or its MapGasText, in any case; an empty
// `asked` takes the first. false when nothing matches (or there are no gases).
bool ChooseMapGas(const std::vector<MapGas>& gases, const std::string& asked, MapGas& chosen);

// The scene of the sessions, one after another (a track never runs from one into the next),
// coloured by `gas`'s readings. Texts are UTF-8.
MapScene SceneOfSessions(const std::vector<SessionValues>& sessions, const MapGas& gas,
                         const LogFilter& filter);

} // namespace mapping
