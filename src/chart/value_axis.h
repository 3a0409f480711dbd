#pragma once

#include <QString>

#include <vector>

class ChartGrid;

// The vertical axis as drawn: its range and the values of its major marks,
// bottom to top. A fixed scale (Auto off, Minimum below Maximum) is drawn as
// set, however far the data leave it; otherwise the axis spans the data with
// round marks.
struct ValueAxis {
    double minimum = 0;
    double maximum = 1;
    std::vector<double> marks;

    bool operator==(const ValueAxis &) const = default;
};

ValueAxis valueAxisOf(const ChartGrid &grid);

// A mark's label: the shortest text of up to six significant digits
// ("0", "102.4", "1024").
QString valueAxisLabel(double value);
