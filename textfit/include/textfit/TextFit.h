#pragma once

// Texts shown whole: what the widgets of the templates and the program's own windows ask before
// a text of theirs could be cut.
//
//     int right = FitToText(ui->aboutText);   // grown to its text, in the desktop's font
//     FitPlaceholder(*edit);                  // its hint shows whole while it is empty

class QComboBox;
class QLineEdit;
class QString;
class QWidget;

// The templates give controls the sizes their texts take in the dialog font they were drawn
// for; other desktops' fonts are often larger. Grows `widget` (never shrinks it) to the size its
// text needs, keeping its position, and returns its new right edge (x + width).
int FitToText(QWidget* widget);

// The pixels `text` takes on one line in `widget`'s font, rounded up. Text is laid out in
// fractions of a pixel: a width rounded to the nearest pixel may be a fraction short, and the
// text given that width is then shortened although it was meant to fit.
int OneLineWidth(const QWidget& widget, const QString& text);

// The width `edit` needs to show its placeholder text whole: the text and the edit's margins and
// frame. A line edit asks only for room for a few characters; its placeholder is cut short there.
int PlaceholderWidth(const QLineEdit& edit);

// Makes `edit` (in a layout) never narrower than its placeholder text needs.
void FitPlaceholder(QLineEdit& edit);

// The width the editable `list` needs for its edit field to show the field's placeholder text
// whole beside the list's arrow; its present width where it has no edit field.
int PlaceholderWidth(const QComboBox& list);
