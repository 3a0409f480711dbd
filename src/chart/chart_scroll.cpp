#include "chart/chart_scroll.h"

#include "runtime/number_text.h"

// Every step goes through the grid's cursor, in a fixed order, so that a grid
// error stops the scroll exactly where it happened and leaves the rows moved
// so far in place.
void scrollAndAppend(ChartGrid &grid, const std::array<rt::Int16, 3> &values, const QString &timeLabel)
{
    const rt::Int16 lastMovedRow = rt::subtract(grid.rowCount(), 1);
    for (rt::Int16 i = 1; i <= lastMovedRow; i = rt::add(i, 1)) {
        const rt::Int16 columns = grid.columnCount();
        for (rt::Int16 j = 1; j <= columns; j = rt::add(j, 1)) {
            grid.setColumn(j);
            grid.setRow(rt::add(i, 1));
            const QString cell = grid.data();
            const QString label = grid.rowLabel();
            grid.setRow(i);
            grid.setData(cell);
            grid.setRowLabel(label);
        }
    }

    grid.setRow(grid.rowCount());
    for (rt::Int16 column = 1; column <= static_cast<rt::Int16>(values.size()); ++column) {
        grid.setColumn(column);
        grid.setData(rt::plainText(values[static_cast<std::size_t>(column - 1)]));
    }
    grid.setRowLabel(timeLabel);
}
