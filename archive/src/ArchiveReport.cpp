#include "archive/ArchiveReport.h"

#include <string>

#include "app/LogImage.h"
#include "app/SessionTable.h"
#include "archive/SessionArchive.h"
#include "report/Report.h"

namespace archive {

bool RenderArchived(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                    SessionTable& table, ReportState& state) {
    for (qint64 id : ids) {
        LoadedSession session;
        if (!store.Load(id, session)) {
            return false;
        }
        const int16_t slot = static_cast<int16_t>(session.listed.slot);
        RestoreSession(image, slot, session.name, session.sector, session.overrun);
        table.Build(image);
        for (int k = 0; k < 4; ++k) {
            state.ModeNames[k] = session.modeNames[k].toStdString();
        }
        const SessionEntry* entry = table.FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        RenderSession(state, image, slot);
    }
    return true;
}

} // namespace archive
