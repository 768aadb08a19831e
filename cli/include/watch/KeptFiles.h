#pragma once

#include <functional>
#include <string>

#include "OutputPlacement.h"
#include "watch/OutputTemplate.h"

// The watcher's files: each report's folder from the output template, and the rule that a file
// is never replaced by other bytes. A file is written under a temporary name and then put in
// place: where nothing is, under its name; where the same bytes are already, not at all; where
// other bytes are, under the next free name with "-2", "-3"... before its ending, and the log
// says so. Plain C++.
class KeptFiles : public OutputPlacement {
public:
    using FieldsOf = std::function<TemplateFields(const ReportJob& job)>;
    using Log = std::function<void(const std::string& line)>;

    // folderTemplate: an output template that passed CheckOutputTemplate; fieldsOf: the values
    // of a report's fields (its date is taken from the job's file name when it names a day).
    KeptFiles(std::string folderTemplate, FieldsOf fieldsOf, Log log);

    std::string FolderFor(const ReportJob& job) override;
    bool Write(const std::string& path, const std::string& data) override;
    bool Place(const std::string& temp, const std::string& path) override;
    bool ReadsSessions() const override;
    // A name counts as there when the file of that very name is; a numbered one beside it that
    // holds other bytes does not stand in for it.
    bool Holds(const ReportJob& job, const std::vector<std::string>& names) override;

    // Files written, and files left alone because they held the same bytes.
    int Written() const { return m_written; }
    int Unchanged() const { return m_unchanged; }

private:
    std::string FolderOf(const ReportJob& job);

    std::string m_template;
    FieldsOf m_fieldsOf;
    Log m_log;
    int m_written = 0;
    int m_unchanged = 0;
};

// "DIR/2026-12-07.rtf", 2: "DIR/2026-12-07-2.rtf"; a name without an ending gets the suffix at
// its end.
std::string NumberedPath(const std::string& path, int n);
