#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "download/OutputPlacement.h"
#include "watch/OutputTemplate.h"

// The watcher's files: each report's folder from the output template, the instrument's dump
// folder, and the rule of what may be replaced. A file is written under a temporary name and then
// put in place: where nothing is, under its name; where the same bytes are already, not at all;
// over a file that the watcher wrote itself, that nobody changed since and whose sessions the new
// one holds (a day that grew), in one rename; anywhere else under the next free name with "-2",
// "-3"... before its ending, and the log says so. Every file put in place goes in the folder's
// record (WrittenRecord.h).
class KeptFiles : public OutputPlacement {
public:
    using FieldsOf = std::function<TemplateFields(const ReportJob& job)>;
    using Log = std::function<void(const std::string& line)>;

    // folderTemplate: an output template that passed CheckOutputTemplate; fieldsOf: the values
    // of a report's fields (its date is taken from the job's file name when it names a day).
    KeptFiles(std::string folderTemplate, FieldsOf fieldsOf, Log log);

    // The files put in place from here on are this report's (its instrument and sessions).
    std::string FolderFor(const ReportJob& job) override;
    // The template's root (OutputTemplateRoot) and the instrument's name below it: no date, job
    // or user in it, and never another instrument's. The files put in place from here on hold
    // the sessions of `heldSlots`.
    std::string DumpFolder(const std::vector<int16_t>& heldSlots) override;
    std::string ReportFolders() const override;
    bool Write(const std::string& path, const std::string& data) override;
    bool Place(const std::string& temp, const std::string& path) override;
    std::string LastPlaced() const override { return m_lastPlaced; }
    bool ReadsSessions() const override;
    // A name counts as there when the file of that very name is; a numbered one beside it that
    // holds other bytes does not stand in for it.
    bool Holds(const ReportJob& job, const std::vector<std::string>& names) override;

    // Files written, and files left alone because they held the same bytes.
    int Written() const { return m_written; }
    int Unchanged() const { return m_unchanged; }

private:
    std::string FolderOf(const ReportJob& job);
    // Puts temp in place as target, which may be there, and records it.
    bool Put(const std::string& temp, const std::string& target, const std::string& said);

    std::string m_template;
    FieldsOf m_fieldsOf;
    Log m_log;
    int m_written = 0;
    int m_unchanged = 0;
    std::string m_lastPlaced;
    std::string m_instrument;        // of the files being put in place
    std::vector<int16_t> m_slots;    // the sessions they hold
    std::set<std::string> m_folders; // the reports' folders
};

// "DIR/2026-12-07.rtf", 2: "DIR/2026-12-07-2.rtf"; a name without an ending gets the suffix at
// its end.
std::string NumberedPath(const std::string& path, int n);
