#pragma once

#include <QObject>

class QDialog;
class UserGuide;
class WindowPrompt;
struct MainDialogEnvironment;

// Help and About: the program's own User Guide; the instrument's manual opened with the desktop
// where it is found, else the guide (said so); the about box.
class HelpController : public QObject {
public:
    HelpController(QDialog& window, const MainDialogEnvironment& env, const WindowPrompt& prompt)
        : window_(window), env_(env), prompt_(prompt) {}

    void OpenManual();
    void ShowGuide();
    void ShowAbout();
    // Null until it is first shown.
    UserGuide* Guide() const { return guide_; }

private:
    QDialog& window_;
    const MainDialogEnvironment& env_;
    const WindowPrompt& prompt_;
    UserGuide* guide_ = nullptr;
};
