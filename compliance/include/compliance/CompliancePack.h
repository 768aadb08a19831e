#pragma once

// The compliance pack: an A4 PDF that proves, for an audit, what the register says. A summary
// page (the instruments with failed and overdue ones first, the status counts, the period, when
// it was made and the archive's verification), then a page per instrument: its identity, what it
// needs (worst first), its sensors with their last bump test and calibration and due days, its
// own checks, the failures and the test that followed each and counts as made, the sessions used
// while overdue or failed, and the alarms per gas. Columns are as wide as their texts; tables that
// do not fit continue on the next page under their headings; every page is numbered. Status is
// written in words (and in bold where it needs attention), never told by colour alone, so it
// prints in black and white.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "compliance/InstrumentRegister.h"

namespace compliance {

struct PackSettings {
    int64_t atDay = 0;   // the status is at the end of this day
    QString archiveName; // where the archive is, as ShownLocation describes it
    QString madeAt;      // when the pack was made, as it is to be printed
    // The result of verifying the archive's stored bytes and history, one or more lines, as the
    // archive's verification reports it. Empty: the pack says that no verification was run.
    QString verification;
    // Lines that pin the archive's history as it was when the pack was made: its head, its
    // signers' fingerprints and the sign-offs of the pack's period (archive::HistoryPinLines).
    QStringList history;
};

// Each list of a page holds at most this many rows (the latest); a line says how many more there
// are.
constexpr int kPackListRows = 400;

// The lines of PackSettings::history for a pack of `instruments` at `atDay`: the history's head and
// signers now, and the sign-offs of any time whose scope overlaps the pack's period (from the
// first day of those instruments' sessions to `atDay`) and instruments. False with a message when
// the history cannot be read.
bool PackHistoryLines(archive::SessionArchive& store, int64_t atDay,
                      const std::vector<InstrumentRecord>& instruments, QStringList& lines,
                      QString& error);

// Writes the pack of `instruments` (as InstrumentRegister::Instruments gave them for
// settings.atDay) to `path`. False with a message when the register cannot be read or the file
// cannot be written.
bool WriteCompliancePack(InstrumentRegister& reg, const std::vector<InstrumentRecord>& instruments,
                         const PackSettings& settings, const QString& path, QString& error);

} // namespace compliance
