#pragma once

#include <string>

// The folder a watcher files a day under, from a template such as "Tavon/{instrument}/{date}".
// Plain C++.

// What the fields stand for. Each value is made safe as one folder name when it is put in; an
// empty one is written as "unknown" ({job}, {user}: "no-job", "no-user").
struct TemplateFields {
    std::string instrument; // its serial number, else the name given, else the link
    std::string date;       // the day of the sessions, YYYY-MM-DD ({month} is YYYY-MM of it)
    std::string job;        // the first job number in the day's sessions
    std::string user;       // the first user name in the day's sessions
};

// True when every "{...}" in the template is one of {instrument} {date} {month} {job} {user} and
// every brace belongs to one; otherwise false with a message naming what is wrong.
bool CheckOutputTemplate(const std::string& text, std::string& message);

// The template with its fields replaced; the template must have passed CheckOutputTemplate.
std::string ExpandOutputTemplate(const std::string& text, const TemplateFields& fields);

// The folder of the template that no field changes: the part before the first field, up to its
// last folder ("out/{instrument}/{date}": "out"); the whole template when it has no field; "."
// when its first folder has a field already.
std::string OutputTemplateRoot(const std::string& text);
