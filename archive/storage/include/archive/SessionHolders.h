#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "archive/SessionArchive.h"

class QSqlDatabase;

namespace archive {

// A dated session as it tells which instrument recorded it: its slot, start stamp and the
// digest of its sector.
struct SessionKey {
    int slot = 0;
    uint32_t stamp = 0;
    QString digest;
};

// Every instrument of `db` that holds any of these sessions, as its session or as a copy it kept,
// in the order of their ids; each holder's `sessions` are places in `keys`. A digest that is not
// one (64 lower-case hexadecimal digits) matches nothing.
bool HoldersOf(QSqlDatabase& db, const std::vector<SessionKey>& keys,
               std::vector<SessionHolder>& holders, QString& error);

} // namespace archive
