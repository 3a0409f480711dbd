#include "chart/value_axis.h"

#include "chart/chart_grid.h"

#include <algorithm>
#include <cmath>

namespace {

ValueAxis fixedAxis(double minimum, double maximum, int divisions)
{
    ValueAxis axis{minimum, maximum, {}};
    const double step = (maximum - minimum) / divisions;
    for (int k = 0; k <= divisions; ++k)
        axis.marks.push_back(k == divisions ? maximum : minimum + k * step);
    return axis;
}

// 1, 2 or 5 times a power of ten: the step that cuts `span` into about
// `divisions` parts.
double roundStep(double span, int divisions)
{
    const double raw = span / divisions;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power)
            return factor * power;
    }
    return 10 * power;
}

// The data's range widened to round marks; a flat line gets one unit each side.
ValueAxis dataAxis(const ChartGrid &grid)
{
    double low = grid.valueAt(1, 1);
    double high = low;
    for (int r = 1; r <= grid.rowCount(); ++r) {
        for (int c = 1; c <= grid.columnCount(); ++c) {
            low = std::min(low, grid.valueAt(r, c));
            high = std::max(high, grid.valueAt(r, c));
        }
    }
    if (low == high) {
        low -= 1;
        high += 1;
    }
    const double step = roundStep(high - low, std::max<int>(grid.scaleMajorDivision(), 1));
    const double bottom = std::floor(low / step) * step;
    const double top = std::ceil(high / step) * step;
    const int divisions = static_cast<int>(std::lround((top - bottom) / step));
    // Steps far below the values' own precision cannot be told apart.
    if (!std::isfinite(step) || divisions < 1 || divisions > 1000 || bottom == top)
        return fixedAxis(low, high, 1);
    return fixedAxis(bottom, top, divisions);
}

} // namespace

ValueAxis valueAxisOf(const ChartGrid &grid)
{
    const double minimum = grid.scaleMinimum();
    const double maximum = grid.scaleMaximum();
    if (!grid.scaleAuto() && minimum < maximum && std::isfinite(maximum - minimum))
        return fixedAxis(minimum, maximum, grid.scaleMajorDivision());
    return dataAxis(grid);
}

QString valueAxisLabel(double value)
{
    // Marks computed as minimum + k * step carry the step's rounding
    // (307.20000000000005); six digits show what was meant, and -0 is 0.
    return QString::number(value == 0 ? 0.0 : value, 'g', 6);
}
