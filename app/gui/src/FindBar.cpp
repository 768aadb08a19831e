#include "FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>

FindBar::FindBar(QTextEdit& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("findBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel("Find in the report:", this);
    text_ = new QLineEdit(this);
    text_->setObjectName("findText");
    text_->setClearButtonEnabled(true);
    label->setBuddy(text_);
    auto* next = new QPushButton("Next", this);
    next->setObjectName("findNext");
    next->setAutoDefault(false);
    auto* previous = new QPushButton("Previous", this);
    previous->setObjectName("findPrevious");
    previous->setAutoDefault(false);
    result_ = new QLabel(this);
    result_->setObjectName("findResult");
    auto* close = new QToolButton(this);
    close->setObjectName("findClose");
    close->setText("Close");
    close->setToolTip("Close the find bar (Escape)");
    row->addWidget(label);
    row->addWidget(text_, 1);
    row->addWidget(next);
    row->addWidget(previous);
    row->addWidget(result_, 1);
    row->addWidget(close);

    connect(text_, &QLineEdit::textEdited, this, [this] { FindFromTop(); });
    connect(next, &QPushButton::clicked, this, [this] { FindNext(false); });
    connect(previous, &QPushButton::clicked, this, [this] { FindNext(true); });
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    text_->installEventFilter(this);
    hide();
}

void FindBar::Open() {
    show();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
}

bool FindBar::FindNext(bool backward) {
    return Find(backward, false);
}

void FindBar::FindFromTop() {
    Find(false, true);
}

bool FindBar::Find(bool backward, bool fromTop) {
    const QString text = text_->text();
    if (text.isEmpty()) {
        result_->clear();
        return false;
    }
    QTextCursor cursor = view_.textCursor();
    if (fromTop) {
        cursor.movePosition(QTextCursor::Start);
    } else if (!backward && cursor.hasSelection()) {
        cursor.setPosition(cursor.selectionEnd());
    } else if (backward && cursor.hasSelection()) {
        cursor.setPosition(cursor.selectionStart());
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor found = view_.document()->find(text, cursor, flags);
    bool wrapped = false;
    if (found.isNull()) {
        // Round from the other end, as far as where the search began.
        QTextCursor end(view_.document());
        end.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = view_.document()->find(text, end, flags);
        wrapped = !found.isNull();
    }
    if (found.isNull()) {
        result_->setText(QString("\"%1\" is not in the report").arg(text));
        return false;
    }
    view_.setTextCursor(found);
    view_.ensureCursorVisible();
    result_->setText(
        wrapped ? (backward ? QString("Continued from the end") : QString("Continued from the top"))
                : QString());
    return true;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            FindNext((key->modifiers() & Qt::ShiftModifier) != 0);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            hide();
            view_.setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
