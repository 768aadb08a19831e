#pragma once

// A background whose tiles are read on a thread of its own, so that drawing never waits for a
// disk or a server: Tile() answers from memory at once and asks the worker for what it lacks;
// tilesArrived() says, on the owner's thread, that a repaint will find more.
//
// The source behind it is made by the worker (an SQL connection or a network manager belongs to
// the thread that made it) and destroyed there. Every public member may be called from any
// thread; the signals are delivered on the thread the object lives in.
#include "map/TileSource.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace mapping {

struct AsyncTilesLimits {
    // Decoded tiles (and known gaps) kept in memory, the least recently drawn dropped first.
    size_t cacheTiles = 256;
    // Tiles waiting to be read. The newest are read first and, past this many, the oldest are
    // forgotten: they belonged to a view the user has since moved away from.
    size_t queuedTiles = 96;
    // How long a place the source had no tile for is taken as empty before it is asked again
    // (a server that was out of reach may answer later).
    std::chrono::milliseconds gapLifetime = std::chrono::seconds(30);
};

class AsyncTiles : public QObject, public TileSource {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<TileSource>()>;

    // Starts the worker, which calls `makeSource` first thing; a null source counts as one that
    // could not be opened.
    explicit AsyncTiles(Factory makeSource, AsyncTilesLimits limits = {},
                        QObject* parent = nullptr);
    // Forgets the queue, waits for the tile being read (a server's wait is cut short) and
    // destroys the source on the worker.
    ~AsyncTiles() override;
    AsyncTiles(const AsyncTiles&) = delete;
    AsyncTiles& operator=(const AsyncTiles&) = delete;

    // True while the source is still being opened, then the source's own answer.
    bool IsOpen() const override;
    // Whether the worker has made the source (and IsOpen, Error and Attribution are its).
    bool Ready() const;
    QString Attribution() const override;
    QString Error() const override;
    // The tile when it is in memory; otherwise a null image, and the tile is read soon.
    QImage Tile(int zoom, int x, int y) override;

signals:
    // Tiles were read that earlier calls of Tile() were given null images for.
    void tilesArrived();
    // The source was opened, or its attribution, error or openness changed.
    void statusChanged();

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace mapping
