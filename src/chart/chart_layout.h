#pragma once

#include "chart/value_axis.h"

#include <QColor>
#include <QFontMetricsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

class ChartGrid;

// What decides where everything stands; the layout is made again only when
// one of these changes, not when cells or row labels do.
struct ChartShape {
    QSizeF size;
    int rows = 0;
    ValueAxis axis;
    QStringList legendLabels; // empty when the legend is hidden

    static ChartShape of(const ChartGrid &grid, QSizeF size);
    bool operator==(const ChartShape &) const = default;
};

// Where the chart's parts stand in the widget, in logical pixels: the plot
// area, the value axis's marks and labels, the rows' positions and the boxes
// of their labels, and the legend. Row label boxes are in the frame turned a
// quarter to the left (QPainter::rotate(-90)), as the labels read upwards.
struct ChartLayout {
    struct Mark {
        double y = 0;
        QString text;
        QRectF textBox;
    };
    struct LegendEntry {
        QRectF marker;
        QRectF textBox;
        QString text;
    };

    QRectF plot;
    double minimum = 0;
    double maximum = 1;
    double markLength = 0;
    std::vector<Mark> marks;
    int rows = 0;
    std::vector<double> dividerX;
    std::vector<QRectF> rowLabelBoxes;
    std::vector<LegendEntry> legend;

    static ChartLayout of(const ChartShape &shape, const QFontMetricsF &metrics);

    // The pixel of `value` in row `row` (1-based); far outside the plot for
    // values far outside the scale.
    QPointF pointAt(int row, double value) const;
};

// Column `column`'s line colour: pure red, green and blue for the sensors,
// then further distinct colours for any columns beyond them.
QColor seriesColour(int column);
