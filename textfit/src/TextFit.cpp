#include "textfit/TextFit.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QString>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWidget>

#include <algorithm>
#include <cmath>

int FitToText(QWidget* widget) {
    const QSize needed = widget->sizeHint();
    const QSize size(std::max(widget->width(), needed.width()),
                     std::max(widget->height(), needed.height()));
    if (size != widget->size()) {
        widget->resize(size);
    }
    return widget->x() + widget->width();
}

int OneLineWidth(const QWidget& widget, const QString& text) {
    // As the widget's own metrics measure, which elide and draw its text.
    const QFontMetricsF metrics(widget.fontMetrics());
    return static_cast<int>(std::ceil(metrics.horizontalAdvance(text)));
}

int PlaceholderWidth(const QLineEdit& edit) {
    // An edit asks for room for 17 'x' besides its margins and frame (QLineEdit's size hint):
    // the margins and the frame are what its hint asks beyond them.
    const int around =
        edit.sizeHint().width() - 17 * edit.fontMetrics().horizontalAdvance(QLatin1Char('x'));
    return OneLineWidth(edit, edit.placeholderText()) + std::max(0, around);
}

void FitPlaceholder(QLineEdit& edit) {
    edit.setMinimumWidth(PlaceholderWidth(edit));
}

int PlaceholderWidth(const QComboBox& list) {
    const QLineEdit* edit = list.lineEdit();
    if (edit == nullptr) {
        return list.width();
    }
    // The edit field is what the style leaves of the list beside its arrow and frame.
    QStyleOptionComboBox option;
    option.initFrom(&list);
    option.editable = true;
    option.frame = list.hasFrame();
    option.subControls = QStyle::SC_All;
    const QRect field = list.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, &list);
    return list.width() - field.width() + PlaceholderWidth(*edit);
}
