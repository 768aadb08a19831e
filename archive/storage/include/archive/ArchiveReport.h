#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <vector>

#include "report/SessionValues.h"

class LogImage;
class SessionTable;
struct ReportState;

namespace archive {

class SessionArchive;

// Renders archived sessions, in the order given, into `state` as the program's Full Day adds
// them: each one's bytes are put back into the image (a scratch one: its other contents do not
// matter), its headings come from its index entry, its mode names from its instrument. The
// report is state.ReportText. False with the archive's message when a session cannot be read.
bool RenderArchived(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                    SessionTable& table, ReportState& state);

// The typed record values of archived sessions, in the order given, for the export formats.
bool DecodeArchived(SessionArchive& store, const QVector<qint64>& ids, LogImage& image,
                    std::vector<SessionValues>& sessions);

// What the exports and the PDF call the instrument of each archived session, in the order given:
// its serial number, else the name the archive knows it by (InstrumentCalled), as a download's
// files call it.
bool ArchivedInstruments(SessionArchive& store, const QVector<qint64>& ids,
                         QStringList& instruments);

} // namespace archive
