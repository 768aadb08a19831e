#pragma once

// What the map is drawn over, as the user chose it in View > Map Background... (kept in
// Settings.ini) or for one run with --tiles FILE, and the one place a background is made from
// that choice.

#include <QString>
#include <QStringList>

#include <memory>

namespace mapping {
class TileSource;
}

struct MapBackgroundChoice {
    enum class Kind { Grid, TileFile, TileServer };
    Kind kind = Kind::Grid;
    // Kept while another kind is chosen, so that choosing back finds them again.
    QString tileFile;    // an MBTiles file
    QString tileServer;  // "https://tiles.example/{z}/{x}/{y}.png"
    QString attribution; // the server's, drawn in the map's corner

    bool operator==(const MapBackgroundChoice& other) const {
        return kind == other.kind && tileFile == other.tileFile && tileServer == other.tileServer &&
               attribution == other.attribution;
    }
};

// The choice Settings.ini keeps ("Map Background", "Map Tiles", "Map Tile Server", "Map
// Attribution"); the grid when it keeps none.
MapBackgroundChoice ReadMapBackground();
// false when Settings.ini could not be written.
bool WriteMapBackground(const MapBackgroundChoice& choice);

// Takes "--tiles FILE" (or "--tiles=FILE") out of the program's arguments and gives FILE; empty
// when the option is not there. The rest stays as it was: the program keys its remembered link
// by its command line, which a background for one run does not change.
QString TakeTilesOption(QStringList& arguments);

// The background of `choice`: null for the grid, and null with `message` saying why when the
// choice cannot be used (a missing or broken tile file). A background that opened says nothing.
std::shared_ptr<mapping::TileSource> MakeBackground(const MapBackgroundChoice& choice,
                                                    QString& message);

// The MBTiles file the report's PDF (and its print) draws its map page on: the chosen tile file;
// none for the grid or a tile server, which a PDF never waits on, so that the same sessions give
// the same file.
QString ReportMapTiles(const MapBackgroundChoice& choice);
