#pragma once

#include <string>

// Stand-in for the application object that the libraries are handed: its name and command line.
struct AppInfo {
    std::string name;        // e.g. "Tavon Datalogging"
    std::string commandLine; // the arguments after the program name, joined by blanks
};

// Message boxes: a text with a caption and an OK button. The GUI shows a QMessageBox, the
// command-line program writes to standard error, tests record.
class UserPrompt {
public:
    virtual ~UserPrompt() = default;
    virtual void Show(const std::string& text, const std::string& caption) = 0;
};
