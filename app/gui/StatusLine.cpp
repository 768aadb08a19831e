#include "StatusLine.h"

#include <QLabel>

namespace {

QLabel* MakeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent), activity_(MakeLabel("statusActivity", this)),
      filterNote_(MakeLabel("statusFilter", this)),
      connection_(MakeLabel("statusConnection", this)) {
    setObjectName("statusLine");
    // A long text is shortened by the window, never allowed to widen it.
    activity_->setMinimumWidth(1);
    activity_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addWidget(activity_, 1);
    addPermanentWidget(filterNote_);
    addPermanentWidget(connection_);
    filterNote_->hide();
}

void StatusLine::SetActivity(const QString& text) {
    activity_->setText(text);
    activity_->setToolTip(text);
}

void StatusLine::SetFilterNote(const QString& text) {
    filterNote_->setText(text);
    filterNote_->setVisible(!text.isEmpty());
}

void StatusLine::SetConnection(const QString& text) {
    connection_->setText(text);
}

QString StatusLine::Activity() const {
    return activity_->text();
}

QString StatusLine::FilterNote() const {
    return filterNote_->text();
}

QString StatusLine::Connection() const {
    return connection_->text();
}
