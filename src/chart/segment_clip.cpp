#include "chart/segment_clip.h"

#include <algorithm>

// Liang-Barsky: the segment is a + t (b - a), t in [0, 1]; each edge narrows
// the range of t that stays inside.
std::optional<QLineF> clipSegment(const QLineF &segment, const QRectF &box)
{
    const QPointF a = segment.p1();
    const QPointF delta = segment.p2() - a;
    double enter = 0;
    double leave = 1;
    const auto narrow = [&enter, &leave](double towardsOutside, double roomInside) {
        if (towardsOutside == 0)
            return roomInside >= 0;
        const double t = roomInside / towardsOutside;
        if (towardsOutside < 0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
        return enter <= leave;
    };
    if (!narrow(-delta.x(), a.x() - box.left()) || !narrow(delta.x(), box.right() - a.x())
        || !narrow(-delta.y(), a.y() - box.top()) || !narrow(delta.y(), box.bottom() - a.y()))
        return std::nullopt;
    return QLineF(a + enter * delta, a + leave * delta);
}
