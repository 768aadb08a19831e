#include "RtfView.h"

#include "reportdoc/RtfReader.h"

#include <QFontDatabase>

RtfView::RtfView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    document()->setDefaultFont(fixed);
}

void RtfView::SetRtf(const std::string& rtf) {
    if (rtf == rtf_ && !document()->isEmpty()) {
        return;
    }
    rtf_ = rtf;
    setLineWrapMode(QTextEdit::NoWrap);
    ReadRtfIntoDocument(rtf_, *document());
}

void RtfView::ShowNotice(const QString& text) {
    rtf_.clear();
    setLineWrapMode(QTextEdit::WidgetWidth);
    setPlainText(text);
}
