#pragma once

// Tick counts from the size of the tick labels. QCustomPlot asks its tickers for about five
// ticks whatever an axis's length, which piles the labels of a short axis on each other (a pane
// 40 pixels high, the time axis of a narrow window) and leaves a long one sparse.
#include <qcustomplot.h>

#include <functional>
#include <vector>

// Gives each axis of `axes` that shows tick labels as many ticks as its labels have room for,
// running `layOut` (the plot's layout pass, which makes the ticks) again until neighbouring
// labels keep apart. Axes that share a ticker get the count the shortest of them allows.
void FitTicks(const std::vector<QCPAxis*>& axes, const std::function<void()>& layOut);
