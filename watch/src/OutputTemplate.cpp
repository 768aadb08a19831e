#include "watch/OutputTemplate.h"

#include "download/ReportOutput.h"

namespace {

const char* const kFields[] = {"instrument", "date", "month", "job", "user"};

bool KnownField(const std::string& name) {
    for (const char* field : kFields) {
        if (name == field) {
            return true;
        }
    }
    return false;
}

std::string Value(const std::string& name, const TemplateFields& fields) {
    std::string value;
    const char* none = "unknown";
    if (name == "instrument") {
        value = fields.instrument;
    } else if (name == "date") {
        value = fields.date;
    } else if (name == "month") {
        value = fields.date.size() >= 7 ? fields.date.substr(0, 7) : std::string();
    } else if (name == "job") {
        value = fields.job;
        none = "no-job";
    } else if (name == "user") {
        value = fields.user;
        none = "no-user";
    }
    // A value never adds or climbs a folder: "a/b" and ".." stay one name.
    return value.empty() ? none : FolderName(value);
}

} // namespace

bool CheckOutputTemplate(const std::string& text, std::string& message) {
    if (text.empty()) {
        message = "the output template is empty";
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '}') {
            message = "the output template has a '}' without its '{': " + text;
            return false;
        }
        if (text[i] != '{') {
            continue;
        }
        const size_t end = text.find('}', i);
        if (end == std::string::npos) {
            message = "the output template has a '{' without its '}': " + text;
            return false;
        }
        const std::string name = text.substr(i + 1, end - i - 1);
        if (!KnownField(name)) {
            message = "the output template has the unknown field {" + name +
                      "}; it knows {instrument} {date} {month} {job} {user}";
            return false;
        }
        i = end;
    }
    return true;
}

std::string ExpandOutputTemplate(const std::string& text, const TemplateFields& fields) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t end = text[i] == '{' ? text.find('}', i) : std::string::npos;
        if (end == std::string::npos) {
            out += text[i];
            continue;
        }
        out += Value(text.substr(i + 1, end - i - 1), fields);
        i = end;
    }
    return out;
}

std::string OutputTemplateRoot(const std::string& text) {
    const size_t field = text.find('{');
    if (field == std::string::npos) {
        return text;
    }
    const size_t slash = text.find_last_of("/\\", field);
    if (slash == std::string::npos) {
        return ".";
    }
    // "/{date}" and "C:\\{date}": the root folder keeps its separator.
    const bool top = slash == 0 || text[slash - 1] == ':';
    return text.substr(0, top ? slash + 1 : slash);
}
