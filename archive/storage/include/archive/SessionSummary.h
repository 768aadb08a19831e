#pragma once

#include <QString>
#include <QStringList>

class SessionByteSource;

namespace archive {

// What the archive searches and lists a session by, taken from its decoded records. Texts are
// Unicode (the instrument's code page converted); lists keep the order the records came in.
struct SessionSummary {
    // Raised whenever the decoders learn to fill more of it: stored summaries of an older
    // version are made again from their raw bytes when the archive is opened.
    // 2: the session's line of the listing is kept beside the summary.
    // 3: the mode a session was switched on in is kept as the instrument's first, which its
    // report calls by the instrument's name for it.
    // 4: the listing's line tags a session as the program's tree does (FC, C, Alm, (cont)).
    // 5: a peak's figure as precise as its record holds it ("LEL 20.0 % LEL"), as the exports
    // state it.
    static constexpr int kVersion = 5;

    QString day;       // YYYY-MM-DD on the instrument's clock; empty for an undated session
    QString startTime; // HH:MM:SS
    QString endTime;   // of the last time-stamped record; empty when not known
    // The same, in seconds since 1970 as the instrument's clock reads (0: not known); not kept,
    // but checked against the start before a session is stored.
    qint64 endValue = 0;
    QString mode;
    QStringList jobs;
    QStringList users;
    int alarmCount = 0;
    QStringList alarmGases;
    QStringList peaks;        // "GAS VALUE UNIT", the highest reading of each gas
    QStringList calibrations; // "GAS PASS" or "GAS FAIL" per sensor tested
    QStringList bumps;
    bool gps = false; // holds at least one valid fix
    // Its last record is the switch-off: the instrument will not add to it.
    bool closed = false;
};

// The summary of one session: its start from the stamp of its index entry (0xFFFFFFFF: undated),
// the rest from its records as `source` yields them for `slot`.
SessionSummary SummariseSession(SessionByteSource& source, int16_t slot, uint32_t stamp,
                                bool dated);

} // namespace archive
