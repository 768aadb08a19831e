// Where an import files a dump that names no instrument: under the instrument that recorded the
// same sessions, else under one of its own named after its file.
#include "archive/DumpFiling.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <map>
#include <set>

#include "archive/ArchiveValues.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCopies.h"
#include "archive/SqlSteps.h"
#include "archive/StoredText.h"

namespace archive {
namespace {

// An instrument the import files dumps under: archived, or new for the dump `madeBy`, with the
// sessions of the dumps filed there so far.
struct Target {
    qint64 instrument = -1;
    int madeBy = -1;
    QString name;
    QSet<QString> keys;
};

QString KeyOf(const CapturedSession& s) {
    return QString("%1:%2:%3").arg(s.slot).arg(s.stamp).arg(SectorDigest(s.sector));
}

QString Sessions(size_t count) {
    return QString::number(count) + (count == 1 ? " session" : " sessions");
}

class Filer {
public:
    Filer(SessionArchive& archive, const std::vector<DumpToFile>& dumps)
        : m_archive(archive), m_dumps(dumps) {}

    FilingResult File(int dump, DumpFiling& filing, QString& error);

private:
    size_t TargetOf(const SessionHolder& holder);
    QString Named(const Target& target) const;

    SessionArchive& m_archive;
    const std::vector<DumpToFile>& m_dumps;
    std::vector<Target> m_targets;
};

size_t Filer::TargetOf(const SessionHolder& holder) {
    for (size_t t = 0; t < m_targets.size(); ++t) {
        if (m_targets[t].instrument == holder.instrument) {
            return t;
        }
    }
    m_targets.push_back({holder.instrument, -1, holder.name, {}});
    return m_targets.size() - 1;
}

QString Filer::Named(const Target& target) const {
    return target.instrument >= 0
               ? '"' + target.name + '"'
               : "the new instrument of " + m_dumps[static_cast<size_t>(target.madeBy)].file;
}

FilingResult Filer::File(int dump, DumpFiling& filing, QString& error) {
    const std::vector<CapturedSession>& sessions = *m_dumps[static_cast<size_t>(dump)].sessions;
    std::vector<SessionHolder> holders;
    if (!m_archive.InstrumentsHolding(sessions, holders)) {
        error = m_archive.Error();
        return FilingResult::Failed;
    }
    // Each instrument that holds some of its sessions (the place of its target), and which.
    std::map<size_t, std::set<size_t>> held;
    for (const SessionHolder& holder : holders) {
        held[TargetOf(holder)].insert(holder.sessions.begin(), holder.sessions.end());
    }
    QSet<QString> keys;
    for (size_t n = 0; n < sessions.size(); ++n) {
        if (!sessions[n].dated) {
            continue;
        }
        const QString key = KeyOf(sessions[n]);
        keys.insert(key);
        for (size_t t = 0; t < m_targets.size(); ++t) {
            if (m_targets[t].keys.contains(key)) {
                held[t].insert(n);
            }
        }
    }
    if (held.size() > 1) {
        QStringList named;
        for (const auto& [target, places] : held) {
            named << Named(m_targets[target]) + " (" + Sessions(places.size()) + ")";
        }
        error = m_dumps[static_cast<size_t>(dump)].file + " holds sessions of " +
                QString::number(named.size()) + " instruments, " + named.join(", ") +
                ": a dump is one instrument's, so it is filed under none of them";
        return FilingResult::Refused;
    }
    if (held.empty()) {
        m_targets.push_back(
            {-1, dump, DumpInstrumentName(m_dumps[static_cast<size_t>(dump)].file), keys});
        filing = {-1, -1, m_targets.back().name, 0};
        return FilingResult::Filed;
    }
    Target& target = m_targets[held.begin()->first];
    target.keys.unite(keys);
    filing = {target.instrument, target.instrument >= 0 ? -1 : target.madeBy, target.name,
              held.begin()->second.size()};
    return FilingResult::Filed;
}

} // namespace

FilingResult FileDumps(SessionArchive& archive, const std::vector<DumpToFile>& dumps,
                       std::vector<DumpFiling>& filings, QString& error) {
    filings.assign(dumps.size(), DumpFiling());
    Filer filer(archive, dumps);
    for (size_t d = 0; d < dumps.size(); ++d) {
        const FilingResult result = filer.File(static_cast<int>(d), filings[d], error);
        if (result != FilingResult::Filed) {
            return result;
        }
    }
    return FilingResult::Filed;
}

bool FileUnder(SessionArchive& archive, const QString& word, DumpFiling& filing, QString& error) {
    filing = DumpFiling();
    const QVector<qint64> known = archive.FindInstruments(word);
    if (known.isEmpty()) {
        error = archive.Error();
        filing.name = word.trimmed();
        return error.isEmpty();
    }
    QSqlQuery query(QSqlDatabase::database(archive.ConnectionName(), false));
    if (!Run(query, "SELECT " + InstrumentLabel() + " FROM instruments i WHERE i.id = ?",
             {known.first()}, error) ||
        !query.next()) {
        error = error.isEmpty() ? "the archive's instrument " + word + " is gone" : error;
        return false;
    }
    filing.instrument = known.first();
    filing.name = query.value(0).toString();
    return true;
}

QString FiledWords(const QString& name, bool made, size_t shared) {
    if (made) {
        return ": filed under the new instrument \"" + name + '"';
    }
    return ": filed under \"" + name + '"' +
           (shared == 0 ? QString() : ", whose " + Sessions(shared) + " it shares");
}

QString DumpInstrumentName(const QString& file) {
    const QFileInfo info(file);
    QString name = info.completeBaseName().trimmed();
    if (name.isEmpty()) {
        name = info.fileName().trimmed();
    }
    // A name is one line (StoredText.h): what would break it becomes '_'.
    for (QChar& c : name) {
        if (!IsOneLineText(QString(c))) {
            c = '_';
        }
    }
    return name.isEmpty() ? QString("imported") : name;
}

} // namespace archive
