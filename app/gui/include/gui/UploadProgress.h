#pragma once

#include "metertalk/UploadProgressView.h"

#include <QDialog>

namespace Ui {
class UploadProgress;
}

// The modeless progress dialog of a bulk upload, the program's face of the engine's progress
// display. Its OK and Cancel only close it: the upload goes on.
class CUploadProgress : public QDialog, public UploadProgressView {
    Q_OBJECT
public:
    explicit CUploadProgress(QWidget* parent = nullptr);
    ~CUploadProgress() override;

    void SetRange(int maximum) override;
    void SetPosition(int position) override;
    void SetCaption(const std::string& caption) override;
    void Show() override;
    void Hide() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::UploadProgress* ui;
};
