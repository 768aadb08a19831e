// The speed of archive sync: a van's SQLite archive of 100,000 sessions into a team's archive on
// PostgreSQL (target: under 2 minutes), then 100 new sessions of that van into it (target: under
// 2 seconds), and 100 other new sessions from a van archive that holds only them.
//
//   sync_bench [SESSIONS] [NEW]     (defaults 100000 and 100)
// The team's archive: TAVON_TEST_POSTGRES (scripts/with-postgres.sh sets it), a new database on
// that server for each run; without it, a SQLite file. TAVON_BENCH_SOURCE keeps the generated
// van archive between runs (it is made once, which takes a while).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveSync.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "sim/LogMemory.h"

namespace {

// The simulator's full memory, as a download captures it.
std::vector<archive::CapturedSession> BaseSessions(LogImage& image) {
    sim::LogMemory memory;
    memory.Generate(sim::MemoryOptions());
    image.Store(0, memory.Bytes(), LogImage::kImageSize);
    return archive::CaptureSessions(image, {});
}

// Moves a session's start earlier: a sync summarises a session again from its bytes, whose last
// record must not come before its start.
void Earlier(archive::CapturedSession& s, uint32_t seconds) {
    s.stamp -= seconds;
}

// Rounds of the memory's sessions, each started a day earlier and given bytes of its own, over 20
// instruments, until `count` sessions are stored from round `first` on; `next`: the round after.
bool Fill(archive::SessionArchive& store, int first, qint64 count, int* next = nullptr) {
    std::unique_ptr<LogImage> image(new LogImage);
    const std::vector<archive::CapturedSession> base = BaseSessions(*image);
    if (base.empty()) {
        return false;
    }
    qint64 stored = 0;
    int round = first;
    for (; stored < count; ++round) {
        const QString name = QString("unit-%1").arg(round % 20);
        const qint64 instrument = store.Instrument(archive::NamedInstrument(name), name);
        std::vector<archive::CapturedSession> sessions = base;
        if (static_cast<qint64>(sessions.size()) > count - stored) {
            sessions.resize(static_cast<size_t>(count - stored));
        }
        for (archive::CapturedSession& s : sessions) {
            Earlier(s, static_cast<uint32_t>(round) * 86400u);
            s.sector[0] = static_cast<char>(round);
            s.sector[1] = static_cast<char>(round >> 8);
        }
        archive::StoreCounts counts;
        if (store.ImportDump(instrument, "bench", archive::IndexBytes(*image), sessions, counts) <
            0) {
            std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
            return false;
        }
        stored += static_cast<qint64>(sessions.size());
    }
    if (next != nullptr) {
        *next = round;
    }
    return true;
}

qint64 Sessions(archive::SessionArchive& store) {
    QSqlQuery query(QSqlDatabase::database(store.ConnectionName()));
    return query.exec("SELECT COUNT(*) FROM sessions") && query.next() ? query.value(0).toLongLong()
                                                                       : -1;
}

// A new, empty team archive: a database of its own on the server, or a file.
QString FreshTarget(const QString& folder, const char* name) {
    const QByteArray server = qgetenv("TAVON_TEST_POSTGRES");
    if (server.isEmpty()) {
        return QDir(folder).filePath(QString(name) + ".sqlite");
    }
    archive::SessionArchive maintenance;
    if (!maintenance.Open(QString::fromUtf8(server))) {
        std::fprintf(stderr, "%s\n", maintenance.Error().toLocal8Bit().constData());
        std::exit(1);
    }
    const QString database =
        QString("bench_%1_%2").arg(name).arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    QSqlQuery create(QSqlDatabase::database(maintenance.ConnectionName()));
    if (!create.exec("CREATE DATABASE " + database)) {
        std::fprintf(stderr, "cannot make a database on the server\n");
        std::exit(1);
    }
    const QString at = QString::fromUtf8(server);
    return at.left(at.lastIndexOf('/') + 1) + database;
}

// One sync timed: its seconds and its summary.
bool Timed(const char* what, const QString& from, const QString& to, double limit) {
    archive::SessionArchive source;
    archive::SessionArchive target;
    if (!source.Open(from) || !target.Open(to)) {
        std::fprintf(stderr, "%s: cannot open: %s%s\n", what,
                     source.Error().toLocal8Bit().constData(),
                     target.Error().toLocal8Bit().constData());
        return false;
    }
    archive::SyncSummary summary;
    QString error;
    QElapsedTimer clock;
    clock.start();
    const bool synced = archive::SyncArchive(source, target, {}, summary, error);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!synced) {
        std::fprintf(stderr, "%s: %s\n", what, error.toLocal8Bit().constData());
        return false;
    }
    std::printf("%-46s %8.2f s  (target %.0f s)  %s\n", what, seconds, limit,
                summary.Line().toLocal8Bit().constData());
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 count = argc > 1 ? std::atoll(argv[1]) : 100000;
    const qint64 fresh = argc > 2 ? std::atoll(argv[2]) : 100;
    if (count <= 0 || fresh <= 0) {
        std::fprintf(stderr, "usage: sync_bench [SESSIONS] [NEW]\n");
        return 2;
    }
    QTemporaryDir folder;
    const QString van = qEnvironmentVariableIsSet("TAVON_BENCH_SOURCE")
                            ? qEnvironmentVariable("TAVON_BENCH_SOURCE")
                            : QDir(folder.path()).filePath("van.sqlite");
    // The rounds after the van's own are new sessions.
    int round = 0;
    {
        archive::SessionArchive store;
        if (!store.Open(van)) {
            std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
            return 1;
        }
        const qint64 held = Sessions(store);
        if (held != count) {
            if (held != 0) {
                std::fprintf(stderr, "%s holds %lld sessions, not %lld\n",
                             van.toLocal8Bit().constData(), held, count);
                return 1;
            }
            std::fprintf(stderr, "making a van archive of %lld sessions...\n", count);
            if (!Fill(store, 0, count, &round)) {
                return 1;
            }
        }
    }
    const QString team = FreshTarget(folder.path(), "team");
    const QString updated = QDir(folder.path()).filePath("van-updated.sqlite");
    const QString alone = QDir(folder.path()).filePath("van-new.sqlite");
    if (!Timed("sync of the van's archive into an empty one", van, team, 120)) {
        return 1;
    }
    // The van downloads more: its archive (a copy of the one synced, with the new sessions) and,
    // apart, an archive of other new sessions alone.
    if (!QFile::copy(van, updated)) {
        std::fprintf(stderr, "cannot copy the van's archive\n");
        return 1;
    }
    {
        archive::SessionArchive store;
        archive::SessionArchive separate;
        if (round == 0) { // a kept van archive: its rounds counted again
            std::unique_ptr<LogImage> image(new LogImage);
            const size_t each = BaseSessions(*image).size();
            round = static_cast<int>((count + static_cast<qint64>(each) - 1) /
                                     static_cast<qint64>(each));
        }
        // Sessions of their own for each: the second sync must find its 100 new too.
        int after = 0;
        if (!store.Open(updated) || !Fill(store, round, fresh, &after) || !separate.Open(alone) ||
            !Fill(separate, after, fresh)) {
            return 1;
        }
        std::fprintf(stderr, "the van's archive holds %lld sessions, the new one %lld\n",
                     Sessions(store), Sessions(separate));
    }
    if (!Timed("the van's new sessions synced", updated, team, 2) ||
        !Timed("the same, from an archive of them alone", alone, team, 2)) {
        return 1;
    }
    return 0;
}
