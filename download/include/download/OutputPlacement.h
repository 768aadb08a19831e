#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ReportJob;

// Where a download's files go and how they are put there, when that is not simply "the output
// folder, replacing what is there": the watcher files each day under a folder of its own and
// replaces only the files it wrote itself. Plain C++.
class OutputPlacement {
public:
    virtual ~OutputPlacement() = default;
    // The folder that the files of this report go to, made when missing; empty when it could
    // not be made (the placement has said why).
    virtual std::string FolderFor(const ReportJob& job) = 0;
    // Writes `data` as the file `path` (under a temporary name first). False when it could not
    // be written (the placement has said why).
    virtual bool Write(const std::string& path, const std::string& data) = 0;
    // Puts the finished file `temp` in place as `path`, or beside it where `path` may not be
    // replaced; `temp` is gone afterwards either way.
    virtual bool Place(const std::string& temp, const std::string& path) = 0;
    // Where the last file Write or Place put in place went (`path`, or the name beside it).
    virtual std::string LastPlaced() const = 0;
    // Whether a report's folder is named after what its sessions hold (a job number, a user
    // name): they must then be in the image before FolderFor or Holds is asked.
    virtual bool ReadsSessions() const = 0;
    // The folder of the memory dump, made when missing; empty when it could not be made (the
    // placement has said why). The dump put in place from here on holds the sessions of
    // `heldSlots`, and an older dump that held any other is never replaced by it.
    virtual std::string DumpFolder(const std::vector<int16_t>& heldSlots) = 0;
    // Where the reports went, for the download's last line: the one folder, or how many under
    // which.
    virtual std::string ReportFolders() const = 0;
    // Whether the report's folder holds every one of `names` already; nothing is made.
    virtual bool Holds(const ReportJob& job, const std::vector<std::string>& names) = 0;
};
