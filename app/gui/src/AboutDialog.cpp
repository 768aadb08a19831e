#include "gui/AboutDialog.h"

#include "textfit/TextFit.h"
#include "ui_AboutDialog.h"

#include <QLabel>
#include <QPushButton>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui_(new Ui::AboutDialog) {
    ui_->setupUi(this);
    // The version line grows to its text; the box grows with it, keeping the template's right
    // margin beside the text and OK in its corner.
    const int textMargin = width() - (ui_->aboutText->x() + ui_->aboutText->width());
    const int buttonMargin = width() - (ui_->okButton->x() + ui_->okButton->width());
    const int right = FitToText(ui_->aboutText);
    if (right + textMargin > width()) {
        resize(right + textMargin, height());
        ui_->okButton->move(width() - buttonMargin - ui_->okButton->width(), ui_->okButton->y());
    }
    setFixedSize(size());
}

AboutDialog::~AboutDialog() = default;
