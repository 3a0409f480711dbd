#include "chart/chart_layout.h"

#include "chart/chart_grid.h"

#include <QStringLiteral>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Row labels are times of day; their band is as tall as the widest of them.
const QString kWidestRowLabel = QStringLiteral("00:00:00");

double widestText(const QFontMetricsF &metrics, const auto &texts)
{
    double widest = 0;
    for (const QString &text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest;
}

struct Spacing {
    double margin;
    double gap;
    double markLength;
    double legendMarker;
    double legendPitch;

    explicit Spacing(const QFontMetricsF &metrics)
        : margin(std::round(metrics.height()))
        , gap(std::round(metrics.height() / 3))
        , markLength(std::round(metrics.height() / 3))
        , legendMarker(std::round(metrics.height() * 0.6))
        , legendPitch(std::round(metrics.height() * 1.6))
    {
    }
};

void placeLegend(ChartLayout &layout, const ChartShape &shape, const QFontMetricsF &metrics, const Spacing &space)
{
    const double top = layout.plot.center().y() - space.legendPitch * double(shape.legendLabels.size()) / 2;
    const double left = layout.plot.right() + space.margin;
    for (qsizetype k = 0; k < shape.legendLabels.size(); ++k) {
        const double centreY = top + space.legendPitch * (double(k) + 0.5);
        const QRectF marker(left, centreY - space.legendMarker / 2, space.legendMarker, space.legendMarker);
        const QRectF text(marker.right() + space.gap, centreY - metrics.height() / 2,
                          metrics.horizontalAdvance(shape.legendLabels[k]) + 1, metrics.height());
        layout.legend.push_back({marker, text, shape.legendLabels[k]});
    }
}

void placeValueMarks(ChartLayout &layout, const ChartShape &shape, const QFontMetricsF &metrics, const Spacing &space)
{
    for (const double value : shape.axis.marks) {
        const double y = layout.pointAt(1, value).y();
        const QString text = valueAxisLabel(value);
        const double right = layout.plot.left() - space.markLength - space.gap;
        const double width = metrics.horizontalAdvance(text) + 1;
        layout.marks.push_back({y, text, QRectF(right - width, y - metrics.height() / 2, width, metrics.height())});
    }
}

void placeRows(ChartLayout &layout, const ChartShape &shape, const QFontMetricsF &metrics, const Spacing &space)
{
    const double pitch = layout.plot.width() / shape.rows;
    const double bandTop = layout.plot.bottom() + space.markLength + space.gap;
    const double bandLength = metrics.horizontalAdvance(kWidestRowLabel) + 1;
    for (int r = 0; r <= shape.rows; ++r)
        layout.dividerX.push_back(layout.plot.left() + pitch * r);
    for (int r = 1; r <= shape.rows; ++r) {
        const double x = layout.pointAt(r, layout.minimum).x();
        // Turned a quarter left, (x, y) on screen is (-y, x) in the label's frame.
        layout.rowLabelBoxes.push_back(QRectF(-bandTop - bandLength, x - metrics.height() / 2, bandLength, metrics.height()));
    }
}

} // namespace

ChartShape ChartShape::of(const ChartGrid &grid, QSizeF size)
{
    ChartShape shape{size, grid.rowCount(), valueAxisOf(grid), {}};
    if (grid.showLegend()) {
        for (int c = 1; c <= grid.columnCount(); ++c)
            shape.legendLabels << grid.columnLabelAt(c);
    }
    return shape;
}

ChartLayout ChartLayout::of(const ChartShape &shape, const QFontMetricsF &metrics)
{
    const Spacing space(metrics);
    ChartLayout layout;
    layout.minimum = shape.axis.minimum;
    layout.maximum = shape.axis.maximum;
    layout.markLength = space.markLength;
    layout.rows = shape.rows;

    QStringList markTexts;
    for (const double value : shape.axis.marks)
        markTexts << valueAxisLabel(value);
    const double legendWidth = shape.legendLabels.isEmpty()
        ? 0
        : space.margin + space.legendMarker + space.gap + widestText(metrics, shape.legendLabels);
    const double left = space.margin + widestText(metrics, markTexts) + space.gap + space.markLength;
    const double top = space.margin + metrics.height() / 2;
    const double right = shape.size.width() - space.margin - legendWidth;
    const double bottom = shape.size.height() - space.margin - metrics.horizontalAdvance(kWidestRowLabel)
        - space.gap - space.markLength;
    layout.plot = QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));

    placeValueMarks(layout, shape, metrics, space);
    if (shape.rows > 0)
        placeRows(layout, shape, metrics, space);
    placeLegend(layout, shape, metrics, space);
    return layout;
}

QPointF ChartLayout::pointAt(int row, double value) const
{
    const double pitch = plot.width() / std::max(rows, 1);
    const double x = plot.left() + pitch * (row - 0.5);
    const double y = plot.bottom() - (value - minimum) / (maximum - minimum) * plot.height();
    return {x, y};
}

QColor seriesColour(int column)
{
    static constexpr std::array<QRgb, 8> kColours{0xff0000, 0x00ff00, 0x0000ff, 0xff8c00,
                                                  0x8b008b, 0x008b8b, 0x808000, 0x404040};
    return QColor(kColours[static_cast<std::size_t>(column - 1) % kColours.size()]);
}
