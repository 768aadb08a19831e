#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "core/DownloadKeeper.h"

namespace archive {
class SessionArchive;
}

// The download's sessions kept in the archive: the instrument, its index, and each session as
// its sector arrives, every one in a transaction of its own. An archive that cannot be opened or
// written never stops the download: the message is told once, the reports and the dump are
// written as ever, and Failed() says so. The command line and the program both keep their
// uploads through it.
class DownloadArchive : public DownloadKeeper {
public:
    // location: as --archive (empty: the default archive); name: as --instrument, who the
    // instrument is when it reports no serial number (a name already taken by another leaves an
    // instrument with a serial number unnamed, and none renames one); all: held sessions are
    // uploaded all the same. tell: how a failure reaches the user (once), and each session the
    // archive refuses (the download's other sessions are still kept).
    DownloadArchive(const QString& location, const QString& name, bool all,
                    std::function<void(const QString&)> tell);
    ~DownloadArchive() override;

    void IndexArrived(const InstrumentFacts& facts, const std::string (&modeNames)[4],
                      LogImage& image) override;
    bool Held(int16_t slot) const override { return m_held.count(slot) != 0; }
    bool Restore(LogImage& image, int16_t slot) override;
    void SessionArrived(LogImage& image, int16_t slot) override;
    void Finish() override;
    bool Failed() const override { return m_failed; }
    // The archive's id of the instrument of the index, or -1 before it (or when it failed).
    int64_t InstrumentId() const override { return m_instrument; }
    // The archive this download keeps into, open from the index on; nullptr before it and after
    // a failure. Whoever asks of the download's archive asks it here, never a second one.
    archive::SessionArchive* Store() const { return m_store.get(); }

private:
    void Fail(const QString& message);

    QString m_location;
    QString m_name;
    bool m_all;
    std::function<void(const QString&)> m_tell;
    std::unique_ptr<archive::SessionArchive> m_store;
    qint64 m_download = -1;
    qint64 m_instrument = -1;
    std::map<int16_t, qint64> m_held; // slot: archived session id
    bool m_failed = false;
};
