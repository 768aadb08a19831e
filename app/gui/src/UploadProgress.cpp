#include "gui/UploadProgress.h"

#include "ui_UploadProgress.h"

#include <QGuiApplication>
#include <QScreen>

// Template 3000 is a pop-up with a dialog frame and no title bar.
CUploadProgress::CUploadProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint), ui(new Ui::UploadProgress) {
    ui->setupUi(this);
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    setModal(false);
    hide();
}

CUploadProgress::~CUploadProgress() {
    delete ui;
}

void CUploadProgress::SetRange(int maximum) {
    ui->progressBar->setRange(0, maximum < 0 ? 0 : maximum);
}

void CUploadProgress::SetPosition(int position) {
    // A native progress bar clamps to its range, where QProgressBar would ignore the value.
    const int clamped = position < ui->progressBar->minimum()   ? ui->progressBar->minimum()
                        : position > ui->progressBar->maximum() ? ui->progressBar->maximum()
                                                                : position;
    ui->progressBar->setValue(clamped);
}

void CUploadProgress::SetCaption(const std::string& caption) {
    ui->captionLabel->setText(QString::fromLatin1(caption.c_str()));
}

void CUploadProgress::Show() {
    show();
}

void CUploadProgress::Hide() {
    hide();
}

void CUploadProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, as the dialog has no parent to centre on.
    if (parentWidget() == nullptr) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
}
