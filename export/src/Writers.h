#pragma once

#include "report/SessionValues.h"

#include <QByteArray>

#include <vector>

// One writer per format; each takes only the records that pass the filter.
QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter);
QByteArray WriteGeoJson(const std::vector<SessionValues>& sessions, const LogFilter& filter);
QByteArray WriteGpx(const std::vector<SessionValues>& sessions, const LogFilter& filter);
