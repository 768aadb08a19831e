#include "StatusLine.h"

#include <QEvent>
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
      connection_(MakeLabel("statusConnection", this)),
      serviceNote_(MakeLabel("statusService", this)) {
    setObjectName("statusLine");
    // A long text is shortened by the window, never allowed to widen it.
    activity_->setMinimumWidth(1);
    activity_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    activity_->installEventFilter(this);
    addWidget(activity_, 1);
    addPermanentWidget(serviceNote_);
    addPermanentWidget(filterNote_);
    addPermanentWidget(connection_);
    filterNote_->hide();
    serviceNote_->hide();
}

void StatusLine::SetActivity(const QString& text) {
    activityText_ = text;
    activity_->setToolTip(text);
    ShowActivity();
}

void StatusLine::ShowActivity() {
    activity_->setText(
        activity_->fontMetrics().elidedText(activityText_, Qt::ElideRight, activity_->width()));
}

bool StatusLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == activity_ && event->type() == QEvent::Resize) {
        ShowActivity();
    }
    return QStatusBar::eventFilter(watched, event);
}

void StatusLine::SetFilterNote(const QString& text) {
    filterNote_->setText(text);
    filterNote_->setVisible(!text.isEmpty());
}

void StatusLine::SetConnection(const QString& text) {
    connection_->setText(text);
}

void StatusLine::SetServiceNote(const QStringList& lines) {
    const QString more =
        lines.size() > 1 ? QString(" (and %1 more)").arg(lines.size() - 1) : QString();
    serviceNote_->setText(lines.isEmpty() ? QString() : lines.first() + more);
    serviceNote_->setToolTip(lines.join('\n'));
    serviceNote_->setVisible(!lines.isEmpty());
}

QString StatusLine::ServiceNote() const {
    return serviceNote_->text();
}

QString StatusLine::Activity() const {
    return activityText_;
}

QString StatusLine::FilterNote() const {
    return filterNote_->text();
}

QString StatusLine::Connection() const {
    return connection_->text();
}
