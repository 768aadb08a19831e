// Which instrument recorded a session: the one that holds the same slot, start and bytes. A dump
// names no instrument, and an instrument known by its name alone carries nothing else that two
// archives could compare.
#include "archive/SessionHolders.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <map>

#include "SessionArchiveImpl.h"
#include "archive/ArchiveValues.h"
#include "archive/SessionCopies.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

// Keys per statement: each is written into it, which then binds nothing and needs no limit on
// bound values; the statement stays well within what either engine takes.
constexpr size_t kKeysPerStatement = 500;

bool IsDigest(const QString& digest) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(digest).hasMatch();
}

// The holders of keys [from, to), added to `found` (instrument -> places).
bool HoldersOfPart(QSqlDatabase& db, const std::vector<SessionKey>& keys, size_t from, size_t to,
                   std::map<qint64, std::vector<size_t>>& found, QString& error) {
    QStringList rows;
    for (size_t n = from; n < to; ++n) {
        // Numbers, and a digest checked to be hexadecimal digits: nothing of it can be SQL.
        if (IsDigest(keys[n].digest)) {
            rows << QString("(%1, %2, %3, '%4')")
                        .arg(n)
                        .arg(keys[n].slot)
                        .arg(static_cast<qint64>(keys[n].stamp))
                        .arg(keys[n].digest);
        }
    }
    if (rows.isEmpty()) {
        return true;
    }
    // Looked up instrument by instrument: the sessions' index begins with it, and an archive
    // keeps far fewer instruments than sessions. SQLite keeps the order CROSS JOIN gives; a
    // server plans as it sees fit.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "WITH k (n, sl, st, d) AS (VALUES " + rows.join(", ") +
                 ") SELECT DISTINCT s.instrument_id, k.n FROM k CROSS JOIN instruments i"
                 " CROSS JOIN sessions s WHERE s.instrument_id = i.id AND s.slot = k.sl"
                 " AND s.stamp = k.st AND s.dated = 1 AND (s.digest = k.d OR EXISTS (SELECT 1"
                 " FROM session_history h WHERE h.session_id = s.id AND h.digest = k.d))",
             {}, error)) {
        return false;
    }
    while (query.next()) {
        found[query.value(0).toLongLong()].push_back(
            static_cast<size_t>(query.value(1).toLongLong()));
    }
    return true;
}

} // namespace

bool HoldersOf(QSqlDatabase& db, const std::vector<SessionKey>& keys,
               std::vector<SessionHolder>& holders, QString& error) {
    holders.clear();
    std::map<qint64, std::vector<size_t>> found;
    for (size_t from = 0; from < keys.size(); from += kKeysPerStatement) {
        if (!HoldersOfPart(db, keys, from, std::min(keys.size(), from + kKeysPerStatement), found,
                           error)) {
            return false;
        }
    }
    for (auto& [instrument, places] : found) {
        QSqlQuery name(db);
        if (!Run(name, "SELECT " + InstrumentLabel() + " FROM instruments i WHERE i.id = ?",
                 {instrument}, error) ||
            !name.next()) {
            error = error.isEmpty() ? "an instrument of the archive's sessions is missing" : error;
            return false;
        }
        std::sort(places.begin(), places.end());
        holders.push_back({instrument, name.value(0).toString(), std::move(places)});
    }
    return true;
}

bool SessionArchive::InstrumentsHolding(const std::vector<CapturedSession>& sessions,
                                        std::vector<SessionHolder>& holders) {
    std::vector<SessionKey> keys;
    std::vector<size_t> placeOf; // the place in `sessions` of each key
    for (size_t n = 0; n < sessions.size(); ++n) {
        if (sessions[n].dated) {
            keys.push_back({sessions[n].slot, sessions[n].stamp, SectorDigest(sessions[n].sector)});
            placeOf.push_back(n);
        }
    }
    QSqlDatabase db = m_impl->Db();
    if (!HoldersOf(db, keys, holders, m_error)) {
        return false;
    }
    for (SessionHolder& holder : holders) {
        for (size_t& place : holder.sessions) {
            place = placeOf[place];
        }
    }
    return true;
}

} // namespace archive
