#include "gui/StatusLine.h"

#include "ElidedLabel.h"

#include <QLabel>

namespace {

QLabel* MakeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

ElidedLabel* MakeElided(const char* name, int leastChars, QWidget* parent) {
    auto* label = new ElidedLabel(leastChars, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent), activity_(MakeElided("statusActivity", 0, this)),
      dropped_(MakeLabel("statusDropped", this)), filterNote_(MakeLabel("statusFilter", this)),
      connection_(MakeElided("statusConnection", 32, this)),
      serviceNote_(MakeLabel("statusService", this)) {
    setObjectName("statusLine");
    // What is going on comes first: it is given the room its whole text asks (ElidedLabel's
    // size hint), and the connection, which stretches, gives up its room down to its least once
    // the line is short of it (a stretching item is given its least then), and shows at the
    // right end.
    addWidget(activity_);
    addWidget(dropped_);
    dropped_->hide();
    addPermanentWidget(serviceNote_);
    addPermanentWidget(filterNote_);
    addPermanentWidget(connection_, 1);
    connection_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    filterNote_->hide();
    serviceNote_->hide();
}

void StatusLine::SetStep(const QString& text, bool fresh) {
    activity_->SetWholeText(text);
    if (fresh || !stepShown_) {
        droppedCount_ = 0;
    }
    stepShown_ = true;
    ShowDropped();
}

void StatusLine::SetActivity(const QString& text) {
    activity_->SetWholeText(text);
    // The step counted has ended: its count would stand beside a text that names no step.
    stepShown_ = false;
    droppedCount_ = 0;
    ShowDropped();
}

void StatusLine::CountDroppedReply() {
    ++droppedCount_;
    ShowDropped();
}

void StatusLine::ShowDropped() {
    // A count always stands beside the step its replies belong to: the one the line names, or,
    // beside a result, the poll that goes on between requests.
    const QString during = stepShown_ ? QString() : QString(" while polling the instrument");
    dropped_->setText(droppedCount_ <= 0 ? QString()
                                         : QString("%1 spoiled repl%2 dropped%3, asked for again")
                                               .arg(droppedCount_)
                                               .arg(droppedCount_ == 1 ? "y" : "ies", during));
    dropped_->setVisible(droppedCount_ > 0);
}

QString StatusLine::DroppedReplies() const {
    return dropped_->text();
}

void StatusLine::SetFilterNote(const QString& text) {
    filterNote_->setText(text);
    filterNote_->setVisible(!text.isEmpty());
}

void StatusLine::SetConnection(const QString& text) {
    connection_->SetWholeText(text);
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
    return activity_->WholeText();
}

QString StatusLine::FilterNote() const {
    return filterNote_->text();
}

QString StatusLine::Connection() const {
    return connection_->WholeText();
}
