#include "archive/ArchiveReport.h"

#include <functional>
#include <string>

#include "archive/SessionArchive.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "report/Report.h"
#include "report/ShownReport.h"

namespace archive {
namespace {

// Puts each session back into the image in turn and hands over its slot and mode names.
bool ForEachRestored(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                     const std::function<void(int16_t, const std::string (&)[4])>& use) {
    for (qint64 id : ids) {
        LoadedSession session;
        if (!store.Load(id, session)) {
            return false;
        }
        const int16_t slot = static_cast<int16_t>(session.listed.slot);
        RestoreSession(image, slot, session.name, session.sector, session.overrun);
        std::string modeNames[4];
        for (int k = 0; k < 4; ++k) {
            modeNames[k] = session.modeNames[k].toStdString();
        }
        use(slot, modeNames);
    }
    return true;
}

} // namespace

bool RenderArchived(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                    SessionTable& table, ReportState& state) {
    // Assembled as the program and a download assemble theirs, each session in its turn.
    ShownReport assembled;
    return ForEachRestored(store, ids, image, [&](int16_t slot, const std::string(&modeNames)[4]) {
        table.Build(image);
        for (int k = 0; k < 4; ++k) {
            state.ModeNames[k] = modeNames[k];
        }
        const SessionEntry* entry = table.FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        assembled.Render(state, image, slot);
    });
}

bool DecodeArchived(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                    std::vector<SessionValues>& sessions) {
    return ForEachRestored(store, ids, image, [&](int16_t slot, const std::string(&modeNames)[4]) {
        sessions.push_back(DecodeSessionValues(image, slot, modeNames));
    });
}

bool ArchivedInstruments(SessionArchive& store, const QVector<qint64>& ids,
                         QStringList& instruments) {
    for (qint64 id : ids) {
        LoadedSession session;
        if (!store.Load(id, session)) {
            return false;
        }
        instruments << QString::fromStdString(InstrumentCalled(
            session.serialNumber.toStdString(), session.listed.instrument.toStdString()));
    }
    return true;
}

} // namespace archive
