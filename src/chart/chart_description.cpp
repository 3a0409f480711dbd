#include "chart/chart_description.h"

#include "chart/chart_grid.h"

#include <QStringList>

QString latestSampleDescription(const ChartGrid &grid)
{
    const int lastRow = grid.rowCount();
    if (lastRow < 1)
        return {};
    QStringList parts;
    for (int column = 1; column <= grid.columnCount(); ++column)
        parts << grid.columnLabelAt(column) + QLatin1Char(' ') + QString::number(grid.valueAt(lastRow, column));
    parts << grid.rowLabelAt(lastRow);
    return parts.join(QStringLiteral(", "));
}
