#include "gui/RtfView.h"

#include "reportdoc/RtfReader.h"

#include <QFontDatabase>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>

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
    notice_ = false;
    ClearMark();
    setLineWrapMode(QTextEdit::NoWrap);
    ReadRtfIntoDocument(rtf_, *document(), &places_);
}

void RtfView::ShowNotice(const QString& text) {
    rtf_.clear();
    places_.Clear();
    notice_ = true;
    ClearMark();
    setLineWrapMode(QTextEdit::WidgetWidth);
    setPlainText(text);
}

int RtfView::LineAt(size_t offset) const {
    return notice_ ? -1 : places_.BlockAt(offset);
}

bool RtfView::ShowReportLine(int block) {
    if (notice_ || block < 0) {
        return false;
    }
    const QTextBlock line = document()->findBlockByNumber(block);
    if (!line.isValid()) {
        return false;
    }
    QTextCursor at(line);
    setTextCursor(at);
    // The mark spans the view's width whatever the line's length, and stays while the focus is
    // elsewhere (the map, most likely), where a selection would fade.
    QTextEdit::ExtraSelection mark;
    mark.cursor = at;
    mark.format.setBackground(
        palette().color(QPalette::Inactive, QPalette::Highlight).lighter(160));
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    setExtraSelections({mark});
    ensureCursorVisible();
    marked_ = block;
    return true;
}

void RtfView::ClearMark() {
    marked_ = -1;
    setExtraSelections({});
}
