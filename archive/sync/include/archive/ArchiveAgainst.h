#pragma once

#include <QString>
#include <QStringList>

namespace archive {

class SessionArchive;

// What checking one archive against another found.
struct AgainstSummary {
    bool readable = false; // false: either archive could not be read, `error` says why
    QString error;
    QString other;           // "archive WHERE (identity ID)"
    qint64 rowsCompared = 0; // rows either archive holds a copy of, of the other's chain
    qint64 heads = 0;        // heads of either's history the other's syncs recorded
    qint64 rowsChecked = 0;  // rows of the other's own chain, up to the newest of those
    QStringList mismatches;  // one line each
    bool Clean() const { return readable && mismatches.isEmpty(); }
    // "Verified against archive X (identity I): 40 history rows compared, 2 recorded heads,
    // no mismatch", or "Verification against ... failed: 2 mismatches in ..." the same.
    QString Line() const;
};

// Checks two archives that synced against what each learnt of the other's history then: each row
// of the other's chain that `archive` holds a copy of (it was the sync's target) is the same there,
// each head of the other's history that `archive`'s own sync rows recorded (it was either side) is
// still the hash of that row there, and the other's chain up to the newest of them follows row by
// row; and the same of `archive`'s own chain, against the copy of it and the heads of it that
// `other` holds. A history rewritten on either side after the sync shows, even one whose hashes
// were all made again, and so does one whose newest rows were deleted: a chain that ends before
// what was learnt of it is named once ("archive ID's history ends at row 8, before row 11 that
// this archive recorded of it at its sync in row 40: rows were deleted", "this archive's history
// ends at row 9, before row 14 that archive ID holds a copy of from a sync: rows were deleted").
// Archives that never synced have nothing to compare: that is a mismatch too, so that a wrong
// location never passes for a verified one.
AgainstSummary VerifyAgainst(SessionArchive& archive, SessionArchive& other);

} // namespace archive
