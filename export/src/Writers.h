#pragma once

#include "report/SessionValues.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

// One writer per format; each takes only the records that pass the filter. instruments: as for
// ExportSessions.
QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                    const QStringList& instruments);
QByteArray WriteGeoJson(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                        const QStringList& instruments);
QByteArray WriteGpx(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                    const QStringList& instruments);
