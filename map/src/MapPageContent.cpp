#include "map/MapPageContent.h"

#include "map/SessionMap.h"

namespace mapping {

MapPageContent MapPageOf(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                         const std::vector<SurveyHeading>& headings, const std::string& gas) {
    const std::vector<MapGas> gases = GasesWithPlaces(sessions, filter);
    MapGas chosen;
    // Sessions whose places read no gas (barhole tests alone) still have a map, uncoloured.
    if (!ChooseMapGas(gases, gas, chosen)) {
        ChooseMapGas(gases, std::string(), chosen);
    }
    MapPageContent page;
    page.scene = SceneOfSessions(sessions, chosen, filter);
    page.surveys = SurveysOf(sessions, headings, filter);
    return page;
}

} // namespace mapping
