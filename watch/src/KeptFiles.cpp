#include "watch/KeptFiles.h"

#include "download/FilePaths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "download/DownloadOptions.h"
#include "download/DownloadPlan.h"
#include "download/ReportOutput.h"
#include "watch/WrittenRecord.h"

namespace {

// Bytes to compare: a file that cannot be read compares as different, so it is kept.
bool ReadAll(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    bytes = buffer.str();
    return !in.bad();
}

bool Exists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::string left, right;
    return ReadAll(a, left) && ReadAll(b, right) && left == right;
}

// The deepest folder that holds every one of `folders`; empty when they share none.
std::string CommonFolder(const std::set<std::string>& folders) {
    std::string common = *folders.begin();
    for (const std::string& folder : folders) {
        while (!common.empty() &&
               !(folder.compare(0, common.size(), common) == 0 &&
                 (folder.size() == common.size() || folder[common.size()] == '/' ||
                  folder[common.size()] == '\\'))) {
            const size_t slash = common.find_last_of("/\\");
            common = slash == std::string::npos ? std::string() : common.substr(0, slash);
        }
    }
    return common;
}

} // namespace

std::string NumberedPath(const std::string& path, int n) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    const bool ending = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(n);
    return ending ? path.substr(0, dot) + suffix + path.substr(dot) : path + suffix;
}

KeptFiles::KeptFiles(std::string folderTemplate, FieldsOf fieldsOf, Log log)
    : m_template(std::move(folderTemplate)), m_fieldsOf(std::move(fieldsOf)),
      m_log(log ? std::move(log) : [](const std::string&) {}) {}

std::string KeptFiles::FolderOf(const ReportJob& job) {
    TemplateFields fields = m_fieldsOf ? m_fieldsOf(job) : TemplateFields{};
    const std::string day = job.fileName.substr(0, 10);
    if (fields.date.empty() && IsIsoDate(day)) {
        fields.date = day;
    }
    return ExpandOutputTemplate(m_template, fields);
}

std::string KeptFiles::FolderFor(const ReportJob& job) {
    const std::string folder = FolderOf(job);
    m_instrument = m_fieldsOf ? m_fieldsOf(job).instrument : std::string();
    m_slots = job.sessionSlots;
    std::string message;
    if (!MakeFolders(folder, message)) {
        m_log(message);
        return std::string();
    }
    m_folders.insert(folder);
    return folder;
}

std::string KeptFiles::DumpFolder(const std::vector<int16_t>& heldSlots) {
    m_instrument = m_fieldsOf ? m_fieldsOf(ReportJob()).instrument : std::string();
    m_slots = heldSlots;
    const std::string root = OutputTemplateRoot(m_template);
    const bool top = !root.empty() && (root.back() == '/' || root.back() == '\\');
    const std::string folder =
        root + (top ? "" : "/") + FolderName(m_instrument.empty() ? "unknown" : m_instrument);
    std::string message;
    if (!MakeFolders(folder, message)) {
        m_log(message);
        return std::string();
    }
    return folder;
}

std::string KeptFiles::ReportFolders() const {
    if (m_folders.size() == 1) {
        return *m_folders.begin();
    }
    const std::string common = m_folders.empty() ? std::string() : CommonFolder(m_folders);
    return std::to_string(m_folders.size()) + " folders under " +
           (common.empty() ? "the working folder" : common);
}

bool KeptFiles::ReadsSessions() const {
    return m_template.find("{job}") != std::string::npos ||
           m_template.find("{user}") != std::string::npos;
}

bool KeptFiles::Holds(const ReportJob& job, const std::vector<std::string>& names) {
    const std::string folder = FolderOf(job);
    for (const std::string& name : names) {
        if (!Exists(folder + "/" + name)) {
            return false;
        }
    }
    return true;
}

bool KeptFiles::Write(const std::string& path, const std::string& data) {
    const std::string temp = PartNameOf(path);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        m_log("cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        m_log("cannot write " + path + ": " + std::strerror(errno));
        std::remove(temp.c_str());
        return false;
    }
    return Place(temp, path);
}

bool KeptFiles::Place(const std::string& temp, const std::string& path) {
    // The first name that is free, holds these very bytes, or holds the watcher's own earlier
    // file of these sessions; the numbers go up to where a person would have cleared the folder
    // long before.
    constexpr int kMostCopies = 999;
    std::string target = path;
    std::string why;
    for (int n = 2; Exists(target); ++n) {
        if (SameBytes(temp, target)) {
            std::remove(temp.c_str());
            ++m_unchanged;
            m_lastPlaced = target;
            m_log("unchanged " + target + " (it holds these bytes already)");
            return true;
        }
        std::string notOurs;
        if (MayReplace(target, m_instrument, m_slots, notOurs)) {
            return Put(temp, target,
                       "replaced " + target + " (the watcher wrote it, nobody changed it since)");
        }
        if (why.empty()) {
            why = notOurs;
        }
        if (n > kMostCopies) {
            std::remove(temp.c_str());
            m_log("cannot write " + path + ": " + std::to_string(kMostCopies) +
                  " files of that name hold other bytes");
            return false;
        }
        target = NumberedPath(path, n);
    }
    return Put(temp, target,
               target == path ? "wrote " + path
                              : "wrote " + target + " (" + path + " stays: " + why + ")");
}

bool KeptFiles::Put(const std::string& temp, const std::string& target, const std::string& said) {
    WrittenEntry entry{NameOfPath(target), std::string(), m_instrument, m_slots};
    const bool hashed = FileSha256(temp, entry.sha256);
    if (!RenameOver(temp, target)) {
        const int error = errno;
        std::remove(temp.c_str());
        m_log("cannot write " + target + ": " + std::strerror(error));
        return false;
    }
    ++m_written;
    m_lastPlaced = target;
    m_log(said);
    // Unrecorded, the file is only never replaced: a grown day then goes beside it.
    if (!hashed || !RecordWritten(FolderOfPath(target), entry)) {
        m_log("cannot record " + target + " in " + FolderOfPath(target) + "/" + kWrittenRecordName +
              ": a grown day will be written beside it");
    }
    return true;
}
