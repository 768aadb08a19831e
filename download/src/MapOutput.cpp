#include "download/MapOutput.h"

#include "DrawingApp.h"
#include "TileStoreTrouble.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "map/MapPicture.h"
#include "map/MapTiles.h"
#include "map/SessionMap.h"

#include <QSize>
#include <QString>

#include <memory>

namespace {

// "LEL (% LEL), CO (ppm)", or "none".
std::string GasList(const std::vector<mapping::MapGas>& gases) {
    std::string list;
    for (const mapping::MapGas& gas : gases) {
        list += (list.empty() ? "" : ", ") + mapping::MapGasText(gas);
    }
    return list.empty() ? "none" : list;
}

} // namespace

int WriteMapFile(const std::vector<SessionValues>& sessions, const MapFileRequest& request) {
    const std::vector<mapping::MapGas> gases = mapping::GasesWithPlaces(sessions, request.filter);
    mapping::MapGas gas;
    if (!mapping::ChooseMapGas(gases, request.gas, gas) && !request.gas.empty()) {
        PrintError("the sessions have no reading of \"" + request.gas +
                   "\" at a place; the gases read at a place: " + GasList(gases));
        return kExitUsage;
    }
    DrawingApp app;
    const mapping::MapScene scene = mapping::SceneOfSessions(sessions, gas, request.filter);
    if (!mapping::SceneHasPlaces(scene)) {
        PrintError("the sessions have no positions: " + request.path +
                   " shows the latitude and longitude grid alone");
    }
    // Opened after the application object: Qt's SQLite driver is a plug-in it finds.
    std::unique_ptr<mapping::MapTiles> tiles;
    if (!request.tiles.empty()) {
        tiles = std::make_unique<mapping::MapTiles>();
        tiles->Open(QString::fromLocal8Bit(request.tiles.c_str()));
    }
    const QSize size(request.width, request.height);
    const mapping::MapView view = mapping::FitScene(scene, QSizeF(size));
    const QString path = QString::fromLocal8Bit(request.path.c_str());
    const QString error = ChartFormatOf(request.path) == "pdf"
                              ? mapping::WriteMapPdf(path, size, scene, view, tiles.get())
                              : mapping::WriteMapPng(path, size, scene, view, tiles.get());
    if (!error.isEmpty()) {
        PrintError(error.toLocal8Bit().toStdString());
        return kExitOutputFailed;
    }
    // Said once, after drawing: a store that opened may still hold tiles that are no images.
    if (tiles) {
        TellTileStoreTrouble(*tiles);
    }
    return kExitOk;
}

void TellTileStoreTrouble(const mapping::MapTiles& tiles) {
    if (tiles.Error().isEmpty()) {
        return;
    }
    QString said = tiles.Error();
    if (!said.endsWith(QLatin1Char('.'))) {
        said += QLatin1Char('.');
    }
    said += tiles.IsOpen() ? QStringLiteral(" The map shows the latitude and longitude grid where "
                                            "it has no tile.")
                           : QStringLiteral(" The map shows the latitude and longitude grid "
                                            "instead.");
    PrintError(said.toLocal8Bit().toStdString());
}
