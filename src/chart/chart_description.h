#pragma once

#include <QString>

class ChartGrid;

// The latest sample in words, for screen readers that cannot read the lines:
// each column's label and value in the last row, then that row's label
// ("Датчик A 512, Датчик B 300, Датчик C 1023, 14:03:07").
QString latestSampleDescription(const ChartGrid &grid);
