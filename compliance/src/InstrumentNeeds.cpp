#include "compliance/InstrumentNeeds.h"

#include <QVector>
#include <functional>

#include "archive/SessionArchive.h"
#include "compliance/InstrumentRegister.h"

namespace compliance {
namespace {

InstrumentNeeds Read(const QString& archiveAt,
                     const std::function<QVector<qint64>(archive::SessionArchive&)>& which) {
    InstrumentNeeds needs;
    archive::SessionArchive store;
    if (!store.Open(archiveAt)) {
        return needs;
    }
    InstrumentRegister reg(store);
    const int64_t today = Today();
    for (qint64 id : which(store)) {
        InstrumentRecord record;
        if (!reg.Status(id, today, record)) {
            continue;
        }
        needs.read = true;
        const std::vector<std::string> lines = AttentionLines(record.status);
        needs.lines.insert(needs.lines.end(), lines.begin(), lines.end());
        // The archive knows its sessions by id, an instrument's index by switch-on.
        std::vector<SessionStart> starts;
        if (reg.SessionStarts(record.status.usedWhileOverdue, starts)) {
            for (const SessionStart& start : starts) {
                needs.usedWhileOverdue.push_back(start.stamp);
            }
        }
    }
    return needs;
}

} // namespace

InstrumentNeeds NeedsOf(const QString& archiveAt, qint64 instrument) {
    return Read(archiveAt,
                [instrument](archive::SessionArchive&) { return QVector<qint64>{instrument}; });
}

InstrumentNeeds NeedsOf(const QString& archiveAt, const QString& instrument) {
    return Read(archiveAt, [&instrument](archive::SessionArchive& store) {
        return store.FindInstruments(instrument);
    });
}

} // namespace compliance
