#include "setup/setup_chart.h"

#include "chart/chart_grid.h"
#include "runtime/int16.h"

#include <QString>

#include <array>

namespace {

const std::array<QString, 3> kSensorLabels{
    QStringLiteral("Датчик A"),
    QStringLiteral("Датчик B"),
    QStringLiteral("Датчик C"),
};

// Every cell "0", every row label empty. The counters are local: the sensor
// values must keep what the device sent, or the first tick would plot a
// reading that never came.
void clearCells(ChartGrid &chart)
{
    const rt::Int16 rows = chart.rowCount();
    for (rt::Int16 r = 1; r <= rows; r = rt::add(r, 1)) {
        chart.setRow(r);
        chart.setRowLabel(QString());
        const rt::Int16 columns = chart.columnCount();
        for (rt::Int16 c = 1; c <= columns; c = rt::add(c, 1)) {
            chart.setColumn(c);
            chart.setData(QStringLiteral("0"));
        }
    }
}

// The three sensor names go into columns 1 to 3 whatever the column count:
// with fewer columns the cursor error says the chart is too small for them.
void labelSensorColumns(ChartGrid &chart)
{
    for (rt::Int16 column = 1; column <= static_cast<rt::Int16>(kSensorLabels.size()); ++column) {
        chart.setColumn(column);
        chart.setColumnLabel(kSensorLabels[static_cast<std::size_t>(column - 1)]);
    }
}

} // namespace

void Init_Chart(ChartGrid &chart, float cols, float rows)
{
    chart.setColumnCount(rt::roundToInt16(cols));
    chart.setChartType(ChartGrid::kLineChart2d);
    chart.setRowCount(rt::roundToInt16(rows));
    clearCells(chart);
    labelSensorColumns(chart);
    chart.setShowLegend(true);

    chart.setScaleAuto(false);
    chart.setScaleMinimum(0);
    chart.setScaleMaximum(1024);
    chart.setScaleMajorDivision(10);
}
