#pragma once

class QWidget;

// The templates give controls the sizes their texts take in the dialog font they were drawn
// for; other desktops' fonts are often larger. Grows `widget` (never shrinks it) to the size its
// text needs, keeping its position, and returns its new right edge (x + width).
int FitToText(QWidget* widget);
