#include "map/MapPageContent.h"

#include "map/SessionMap.h"

namespace mapping {

MapPageContent MapPageOf(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                         const std::string& instrument, const std::string& gas) {
    const std::vector<MapGas> gases = GasesWithPlaces(sessions, filter);
    MapGas chosen;
    // Sessions whose places read no gas (barhole tests alone) still have a map, uncoloured.
    if (!ChooseMapGas(gases, gas, chosen)) {
        ChooseMapGas(gases, std::string(), chosen);
    }
    MapPageContent page;
    page.scene = SceneOfSessions(sessions, chosen, filter);
    page.surveys.reserve(sessions.size());
    for (const SessionValues& session : sessions) {
        page.surveys.push_back(SurveySession(session, instrument, filter));
    }
    return page;
}

} // namespace mapping
