#include "ModulePrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace {

// A QMessageBox when there are windows to own one; standard error for a program without them.
class DefaultPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
            // A plain box with OK, no icon, owned by no window.
            QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(caption.c_str()),
                            QString::fromLatin1(text.c_str()), QMessageBox::Ok);
            box.exec();
            return;
        }
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

DefaultPrompt defaultPrompt;
UserPrompt* current = nullptr;

} // namespace

void SetModulePrompt(UserPrompt* prompt) {
    current = prompt;
}

void ShowModulePrompt(const char* text, const char* caption) {
    UserPrompt& prompt = current != nullptr ? *current : defaultPrompt;
    prompt.Show(text, caption);
}
