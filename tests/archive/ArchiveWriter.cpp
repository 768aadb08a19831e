// A writer for the kill test: stores sessions into an archive one transaction at a time, for
// ever, and prints "committed STAMP" once each has been committed. The test kills it at random.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "ArchiveFixture.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: archive_writer ARCHIVE\n");
        return 2;
    }
    archive::SessionArchive store;
    if (!store.Open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
        return 1;
    }
    std::unique_ptr<LogImage> image = archivetest::GeneratedImage(3);
    std::vector<archive::CapturedSession> sessions = archive::CaptureSessions(*image, {});
    const qint64 instrument = store.Instrument(archive::NamedInstrument("killed"), "killed");
    const qint64 download = store.BeginDownload(instrument, "kill test");
    // Every round stores the sessions again as new ones, under stamps never used before, all of
    // them years before the sessions' records (2026): the archive refuses a session that ends
    // before it starts.
    const uint32_t base = static_cast<uint32_t>(std::rand()) % 400u * 1000000u;
    for (uint32_t round = 1;; ++round) {
        for (archive::CapturedSession& s : sessions) {
            s.stamp = base + round * 1000u + static_cast<uint32_t>(s.slot);
            s.dated = true;
            // Its index entry gives the start it is filed under, as an instrument's does.
            s.name.replace(0, 8, QByteArray::number(s.stamp, 16).toUpper().rightJustified(8, '0'));
            const archive::StoreResult result = store.Store(download, s);
            if (result == archive::StoreResult::Failed) {
                std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
                return 1;
            }
            // One whose records carry no clock time after its stamp (a clock never set) is
            // refused, and not committed.
            if (result == archive::StoreResult::Refused) {
                continue;
            }
            std::printf("committed %u\n", s.stamp);
            std::fflush(stdout);
        }
    }
}
