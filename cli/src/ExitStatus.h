#pragma once

// Exit statuses of tavon-datalog; scripts rely on them.
enum ExitStatus {
    kExitOk = 0,
    kExitOutputFailed = 1, // the report or listing could not be written
    kExitUsage = 2,        // bad arguments, an unreadable or malformed dump, a slot out of range
};
