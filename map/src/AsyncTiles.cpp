#include "map/AsyncTiles.h"

#include "TileKey.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace mapping {

namespace {

using Clock = std::chrono::steady_clock;

// Tiles in memory, the most recently drawn first; a null image is a place the source had
// nothing for, kept for a while so that drawing does not ask for it again and again.
class TileMemory {
public:
    TileMemory(size_t capacity, std::chrono::milliseconds gapLifetime)
        : m_capacity(std::max<size_t>(capacity, 1)), m_gapLifetime(gapLifetime) {}

    // The tile, when it is known: found is false for a tile never read or a gap grown old.
    QImage Find(uint64_t key, bool& found) {
        found = false;
        const auto entry = m_index.find(key);
        if (entry == m_index.end()) {
            return {};
        }
        if (entry->second->image.isNull() &&
            Clock::now() - entry->second->learned >= m_gapLifetime) {
            m_recent.erase(entry->second);
            m_index.erase(entry);
            return {};
        }
        found = true;
        m_recent.splice(m_recent.begin(), m_recent, entry->second);
        return entry->second->image;
    }

    void Keep(uint64_t key, const QImage& image) {
        const auto old = m_index.find(key);
        if (old != m_index.end()) {
            m_recent.erase(old->second);
            m_index.erase(old);
        }
        m_recent.push_front({key, image, Clock::now()});
        m_index[key] = m_recent.begin();
        while (m_recent.size() > m_capacity) {
            m_index.erase(m_recent.back().key);
            m_recent.pop_back();
        }
    }

private:
    struct Entry {
        uint64_t key = 0;
        QImage image;
        Clock::time_point learned;
    };

    const size_t m_capacity;
    const std::chrono::milliseconds m_gapLifetime;
    std::list<Entry> m_recent;
    std::unordered_map<uint64_t, std::list<Entry>::iterator> m_index;
};

// The tiles asked for and not yet read, newest first; past the limit the oldest go.
class TileQueue {
public:
    explicit TileQueue(size_t limit) : m_limit(std::max<size_t>(limit, 1)) {}

    bool Empty() const { return m_order.empty(); }

    void Ask(uint64_t key) {
        const auto queued = m_index.find(key);
        if (queued != m_index.end()) {
            m_order.splice(m_order.begin(), m_order, queued->second);
            return;
        }
        m_order.push_front(key);
        m_index[key] = m_order.begin();
        while (m_order.size() > m_limit) {
            m_index.erase(m_order.back());
            m_order.pop_back();
        }
    }

    uint64_t Take() {
        const uint64_t key = m_order.front();
        m_order.pop_front();
        m_index.erase(key);
        return key;
    }

    void Clear() {
        m_order.clear();
        m_index.clear();
    }

private:
    const size_t m_limit;
    std::list<uint64_t> m_order;
    std::unordered_map<uint64_t, std::list<uint64_t>::iterator> m_index;
};

struct Status {
    bool ready = false;
    bool open = true;
    QString error;
    QString attribution;

    bool operator==(const Status& other) const {
        return ready == other.ready && open == other.open && error == other.error &&
               attribution == other.attribution;
    }
};

} // namespace

class AsyncTiles::Worker {
public:
    Worker(AsyncTiles& owner, Factory makeSource, const AsyncTilesLimits& limits)
        : m_owner(owner), m_makeSource(std::move(makeSource)),
          m_memory(limits.cacheTiles, limits.gapLifetime), m_queue(limits.queuedTiles) {
        m_thread.reset(QThread::create([this] { Run(); }));
        m_thread->setObjectName(QStringLiteral("map tiles"));
        m_thread->start();
    }

    ~Worker() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            m_queue.Clear();
        }
        m_wake.notify_all();
        // Ends any event loop a source waits in (a server's reply), so that a slow answer does
        // not hold the window's closing up.
        m_thread->quit();
        m_thread->wait();
    }

    Status Current() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_status;
    }

    QImage Tile(int zoom, int x, int y) {
        if (!InWorld(zoom, x, y)) {
            return {};
        }
        const uint64_t key = TileKey(zoom, x, y);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping || (m_status.ready && !m_status.open)) {
                return {};
            }
            bool found = false;
            QImage image = m_memory.Find(key, found);
            if (found) {
                return image;
            }
            if (m_reading && m_readingKey == key) {
                return {};
            }
            m_queue.Ask(key);
        }
        m_wake.notify_one();
        return {};
    }

    // On the owner's thread, from the posts below: one signal for however many arrivals.
    void SignalArrivals() {
        m_arrivalPosted = false;
        emit m_owner.tilesArrived();
    }
    void SignalStatus() {
        m_statusPosted = false;
        emit m_owner.statusChanged();
    }

private:
    void Run() {
        std::unique_ptr<TileSource> source = m_makeSource();
        Publish(source.get());
        for (;;) {
            uint64_t key = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_queue.Empty(); });
                if (m_stopping) {
                    break;
                }
                key = m_queue.Take();
                m_reading = true;
                m_readingKey = key;
            }
            const QImage image = source && source->IsOpen()
                                     ? source->Tile(KeyZoom(key), KeyX(key), KeyY(key))
                                     : QImage();
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_reading = false;
                m_memory.Keep(key, image);
            }
            if (!image.isNull()) {
                Post(m_arrivalPosted, &Worker::SignalArrivals);
            }
            Publish(source.get());
        }
        // Made here, so closed here: the source's connections belong to this thread.
        source.reset();
    }

    void Publish(const TileSource* source) {
        Status now;
        now.ready = true;
        now.open = source != nullptr && source->IsOpen();
        if (source != nullptr) {
            now.error = source->Error();
            now.attribution = source->Attribution();
        } else {
            now.error = QStringLiteral("The map background could not be opened.");
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (now == m_status) {
                return;
            }
            m_status = now;
        }
        Post(m_statusPosted, &Worker::SignalStatus);
    }

    void Post(std::atomic<bool>& posted, void (Worker::*signal)()) {
        if (posted.exchange(true)) {
            return;
        }
        // Queued to the owner's thread; a post still waiting when the owner goes is dropped
        // with it.
        QMetaObject::invokeMethod(
            &m_owner, [this, signal] { (this->*signal)(); }, Qt::QueuedConnection);
    }

    AsyncTiles& m_owner;
    const Factory m_makeSource;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_reading = false;
    uint64_t m_readingKey = 0;
    Status m_status;
    TileMemory m_memory;
    TileQueue m_queue;
    std::atomic<bool> m_arrivalPosted{false};
    std::atomic<bool> m_statusPosted{false};
    std::unique_ptr<QThread> m_thread;
};

AsyncTiles::AsyncTiles(Factory makeSource, AsyncTilesLimits limits, QObject* parent)
    : QObject(parent), m_worker(std::make_unique<Worker>(*this, std::move(makeSource), limits)) {}

AsyncTiles::~AsyncTiles() {
    m_worker.reset();
}

bool AsyncTiles::IsOpen() const {
    return m_worker->Current().open;
}

bool AsyncTiles::Ready() const {
    return m_worker->Current().ready;
}

QString AsyncTiles::Attribution() const {
    return m_worker->Current().attribution;
}

QString AsyncTiles::Error() const {
    return m_worker->Current().error;
}

QImage AsyncTiles::Tile(int zoom, int x, int y) {
    return m_worker->Tile(zoom, x, y);
}

} // namespace mapping
