#pragma once

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
