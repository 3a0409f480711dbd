#pragma once

#include <QLineF>
#include <QRectF>

#include <optional>

// The part of the segment that lies inside `box` (edges included), or nothing.
// Works on coordinates far beyond any screen, so that a value of 1e300 is cut
// at the plot's edge instead of reaching the painter.
std::optional<QLineF> clipSegment(const QLineF &segment, const QRectF &box);
