#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

class LogImage;
struct DownloadPlan;

namespace archive {
class SessionArchive;
}

// What a download keeps in the archive: the instrument, its index, and each session as its sector
// arrives, every one in a transaction of its own. An archive that cannot be opened or written
// never stops the download: the message is printed once, the reports and the dump are written
// as ever, and Failed() makes the exit status say so.
class DownloadArchive {
public:
    struct Options {
        bool enabled = true;
        bool all = false;       // upload sessions the archive holds complete all the same
        QString location;       // as --archive; empty: the default archive
        QString instrumentName; // --instrument; empty keeps the name it has
    };

    explicit DownloadArchive(const Options& options);
    ~DownloadArchive();

    // After the index upload: the instrument as it described itself, the index as it came.
    void IndexArrived(const QByteArray& driverText, const QByteArray& configBlock,
                      const std::string (&modeNames)[4], LogImage& image);
    // The index's session in `slot` is held complete, so it need not be uploaded (never with
    // `all`).
    bool Held(int16_t slot) const { return m_held.count(slot) != 0; }
    int HeldCount() const { return static_cast<int>(m_held.size()); }
    // Takes held sessions out of the plan: a slot's report, or a day whose every session is held.
    // Returns how many sessions will not be uploaded.
    int DropHeld(DownloadPlan& plan) const;
    // After the slot's sector has arrived whole.
    void SessionArrived(LogImage& image, int16_t slot);
    void Finish();

    bool Active() const { return m_store != nullptr; }
    bool Failed() const { return m_failed; }

private:
    void Fail(const QString& message);

    Options m_options;
    std::unique_ptr<archive::SessionArchive> m_store;
    qint64 m_download = -1;
    std::set<int16_t> m_held;
    bool m_failed = false;
};
