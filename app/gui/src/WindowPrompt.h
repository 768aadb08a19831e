#pragma once

#include <QString>

#include <string>

class QWidget;
class UserPrompt;

// The main window's title, and the caption of the boxes that are the program's own.
inline constexpr char kWindowTitle[] = "Tavon Datalogger";

// The main window's message boxes, each with an OK button: through the environment's prompt
// where it has one (the tests'), else a QMessageBox over the window.
class WindowPrompt {
public:
    WindowPrompt(UserPrompt* prompt, QWidget& window) : prompt_(prompt), window_(window) {}

    void Tell(const QString& text, const QString& caption) const;
    // The same for the browser's texts, which are in Windows-1252.
    void TellCp1252(const std::string& text, const std::string& caption) const;
    // The environment's prompt; null: none.
    UserPrompt* Prompt() const { return prompt_; }

private:
    UserPrompt* prompt_;
    QWidget& window_;
};
