#pragma once

#include "chart/chart_grid.h"

#include <array>

// One sampling tick on the grid: every row moves up by one (row 1 drops off),
// then the last row receives the three values as plain decimal text and
// `timeLabel` as its label. Moved cells and labels travel as text. A grid
// error ends the scroll where it happened, with the moves done so far kept.
void scrollAndAppend(ChartGrid &grid, const std::array<rt::Int16, 3> &values, const QString &timeLabel);
