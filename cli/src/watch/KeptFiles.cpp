#include "watch/KeptFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "DownloadOptions.h"
#include "DownloadPlan.h"
#include "ReportOutput.h"

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

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
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
      m_log(std::move(log)) {}

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
    std::string message;
    if (!MakeFolders(folder, message)) {
        m_log(message);
        return std::string();
    }
    return folder;
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
    const std::string temp = path + "." + std::to_string(ProcessId()) + ".part";
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
    // The first name that is free or holds these very bytes; the numbers go up to where a
    // person would have cleared the folder long before.
    constexpr int kMostCopies = 999;
    std::string target = path;
    for (int n = 2; Exists(target); ++n) {
        if (SameBytes(temp, target)) {
            std::remove(temp.c_str());
            ++m_unchanged;
            m_log("unchanged " + target + " (it holds these bytes already)");
            return true;
        }
        if (n > kMostCopies) {
            std::remove(temp.c_str());
            m_log("cannot write " + path + ": " + std::to_string(kMostCopies) +
                  " files of that name hold other bytes");
            return false;
        }
        target = NumberedPath(path, n);
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        std::remove(temp.c_str());
        m_log("cannot write " + target + ": " + std::strerror(error));
        return false;
    }
    ++m_written;
    m_log(target == path ? "wrote " + path
                         : "wrote " + target + " (" + path + " holds other bytes and stays)");
    return true;
}
