#pragma once

// What of its placeholder text a line edit shows, worked out as QLineEdit paints it: the style's
// contents rectangle of its frame, less its text margins and the two pixels it keeps on either
// side, and the text elided at its end to that width. The whole text when it fits.
#include <QLineEdit>
#include <QString>
#include <QStyle>
#include <QStyleOptionFrame>

namespace testsupport {

inline QString ShownPlaceholder(const QLineEdit& edit) {
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.hasFrame()
                           ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = edit.style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, &edit)
                               .marginsRemoved(edit.textMargins());
    constexpr int kHorizontalMargin = 2;
    return edit.fontMetrics().elidedText(edit.placeholderText(), Qt::ElideRight,
                                         contents.width() - 2 * kHorizontalMargin);
}

} // namespace testsupport
