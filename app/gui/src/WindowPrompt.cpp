#include "WindowPrompt.h"

#include "linkselect/Platform.h"
#include "textcodec/Cp1252.h"

#include <QMessageBox>

void WindowPrompt::Tell(const QString& text, const QString& caption) const {
    if (prompt_ != nullptr) {
        prompt_->Show(text.toStdString(), caption.toStdString());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, &window_);
    box.exec();
}

void WindowPrompt::TellCp1252(const std::string& text, const std::string& caption) const {
    if (prompt_ != nullptr) {
        prompt_->Show(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, FromCp1252(caption), FromCp1252(text), QMessageBox::Ok,
                    &window_);
    box.exec();
}
