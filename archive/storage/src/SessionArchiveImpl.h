#pragma once

#include <QSqlDatabase>
#include <QString>

#include "ArchiveLocation.h"
#include "archive/SessionArchive.h"

namespace archive {

// What every part of SessionArchive shares: its Qt SQL connection and where it leads.
struct SessionArchive::Impl {
    QString connection;
    ArchiveLocation location;
    bool open = false;
    // The schema keeps the history: false only for an archive opened at an older version, as
    // the migrations' tests do.
    bool history = false;
    // The history also records index uploads, and replaced copies keep their bytes (schema 8 on).
    bool allBytes = false;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }
};

} // namespace archive
