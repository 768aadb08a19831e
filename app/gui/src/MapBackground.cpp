#include "gui/MapBackground.h"

#include "linkselect/Settings.h"
#include "map/AsyncTiles.h"
#include "map/MapTiles.h"
#include "map/TileServer.h"

namespace {

const char* const kKindKey = "Map Background";
const char* const kFileKey = "Map Tiles";
const char* const kServerKey = "Map Tile Server";
const char* const kAttributionKey = "Map Attribution";

struct KindWord {
    MapBackgroundChoice::Kind kind;
    const char* word;
};
const KindWord kKindWords[] = {
    {MapBackgroundChoice::Kind::Grid, "Grid"},
    {MapBackgroundChoice::Kind::TileFile, "Tiles"},
    {MapBackgroundChoice::Kind::TileServer, "Tile Server"},
};

QString Setting(const char* key) {
    return QString::fromStdString(ReadSetting(key)).trimmed();
}

} // namespace

MapBackgroundChoice ReadMapBackground() {
    MapBackgroundChoice choice;
    const QString kind = Setting(kKindKey);
    for (const KindWord& word : kKindWords) {
        if (kind.compare(QLatin1String(word.word), Qt::CaseInsensitive) == 0) {
            choice.kind = word.kind;
        }
    }
    choice.tileFile = Setting(kFileKey);
    choice.tileServer = Setting(kServerKey);
    choice.attribution = Setting(kAttributionKey);
    return choice;
}

bool WriteMapBackground(const MapBackgroundChoice& choice) {
    const char* kind = kKindWords[0].word;
    for (const KindWord& word : kKindWords) {
        if (word.kind == choice.kind) {
            kind = word.word;
        }
    }
    // One line each: a value never spans lines in Settings.ini.
    auto line = [](const QString& text) { return text.simplified().toStdString(); };
    return WriteSetting(kKindKey, kind) && WriteSetting(kFileKey, line(choice.tileFile)) &&
           WriteSetting(kServerKey, line(choice.tileServer)) &&
           WriteSetting(kAttributionKey, line(choice.attribution));
}

QString TakeTilesOption(QStringList& arguments) {
    const QString option = QStringLiteral("--tiles");
    QString file;
    for (int i = 0; i < arguments.size();) {
        if (arguments[i] == option && i + 1 < arguments.size()) {
            file = arguments[i + 1];
            arguments.remove(i, 2);
        } else if (arguments[i].startsWith(option + QLatin1Char('='))) {
            file = arguments[i].mid(option.size() + 1);
            arguments.removeAt(i);
        } else {
            ++i;
        }
    }
    return file;
}

std::shared_ptr<mapping::TileSource> MakeBackground(const MapBackgroundChoice& choice,
                                                    QString& message) {
    message.clear();
    switch (choice.kind) {
    case MapBackgroundChoice::Kind::Grid:
        return nullptr;
    case MapBackgroundChoice::Kind::TileFile: {
        if (choice.tileFile.isEmpty()) {
            message = QStringLiteral("No tile file is chosen: the map shows its grid. Choose one "
                                     "in View > Map Background...");
            return nullptr;
        }
        // Opened here once for a message now; the worker opens its own connection, which belongs
        // to the thread that made it.
        mapping::MapTiles check;
        if (!check.Open(choice.tileFile)) {
            message = check.Error() + QStringLiteral("\nThe map shows its grid; another "
                                                     "background can be chosen in View > Map "
                                                     "Background...");
            return nullptr;
        }
        const QString file = choice.tileFile;
        return std::make_shared<mapping::AsyncTiles>(
            [file]() -> std::unique_ptr<mapping::TileSource> {
                auto tiles = std::make_unique<mapping::MapTiles>();
                tiles->Open(file);
                return tiles;
            });
    }
    case MapBackgroundChoice::Kind::TileServer: {
        const QString trouble = mapping::TileAddressTrouble(choice.tileServer);
        if (!trouble.isEmpty()) {
            message = trouble + QStringLiteral("\nThe map shows its grid; another background can "
                                               "be chosen in View > Map Background...");
            return nullptr;
        }
        const QString address = choice.tileServer;
        const QString attribution = choice.attribution;
        return std::make_shared<mapping::AsyncTiles>(
            [address, attribution]() -> std::unique_ptr<mapping::TileSource> {
                auto server = std::make_unique<mapping::TileServer>();
                server->Open(address, attribution);
                return server;
            });
    }
    }
    return nullptr;
}

QString ReportMapTiles(const MapBackgroundChoice& choice) {
    return choice.kind == MapBackgroundChoice::Kind::TileFile ? choice.tileFile : QString();
}
