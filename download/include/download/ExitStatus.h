#pragma once

// Exit statuses of tavon-datalog; scripts rely on them.
enum ExitStatus {
    kExitOk = 0,
    kExitOutputFailed = 1,  // the report, listing or dump could not be written
    kExitMismatch = 1,      // archive verify: a session or history row does not match; archive
                            // sync: bytes its source's history does not vouch for not taken
    kExitUsage = 2,         // bad arguments, an unreadable or malformed dump, a slot out of range,
                            // a slot or day that the instrument does not hold
    kExitNoLink = 3,        // download: no link to an instrument could be opened
    kExitAttention = 3,     // archive compliance: an instrument shown is overdue or failed
    kExitNoAnswer = 4,      // download: the instrument stopped answering
    kExitCommsError = 5,    // download: the replies to a request stayed spoiled past the bound
    kExitArchive = 6,       // the archive could not be opened, read or written
    kExitInterrupted = 130, // download: ended by SIGINT or SIGTERM, as a shell reports it
};

// The worse of two statuses, for the status of several instruments: interrupted, then no link,
// spoiled replies, silence, output, usage, archive; 0 is the best.
inline int WorseStatus(int a, int b) {
    const auto severity = [](int status) {
        static const int kOrder[] = {kExitOk,       kExitArchive,    kExitUsage,  kExitOutputFailed,
                                     kExitNoAnswer, kExitCommsError, kExitNoLink, kExitInterrupted};
        for (int i = 0; i < static_cast<int>(sizeof kOrder / sizeof kOrder[0]); ++i) {
            if (kOrder[i] == status) {
                return i;
            }
        }
        return static_cast<int>(sizeof kOrder / sizeof kOrder[0]);
    };
    return severity(b) > severity(a) ? b : a;
}
