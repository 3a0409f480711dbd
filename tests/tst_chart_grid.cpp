#include "raised_error.h"
#include "chart/chart_grid.h"
#include "chart/chart_scroll.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QDebug>
#include <QTest>

#include <functional>
#include <limits>

using GridWrite = std::function<void(ChartGrid &)>;
Q_DECLARE_METATYPE(GridWrite)

namespace {

// Everything a write could disturb, to show that a refused one disturbs nothing.
QString snapshot(const ChartGrid &grid)
{
    QString state;
    QDebug out(&state);
    out << grid.rowCount() << grid.columnCount() << grid.row() << grid.column() << grid.chartType() << grid.showLegend()
        << grid.scaleAuto() << grid.scaleMinimum() << grid.scaleMaximum() << grid.scaleMajorDivision();
    for (int r = 1; r <= grid.rowCount(); ++r) {
        out << grid.rowLabelAt(r);
        for (int c = 1; c <= grid.columnCount(); ++c)
            out << grid.columnLabelAt(c) << grid.valueAt(r, c);
    }
    return state;
}

} // namespace

// The set-up invariants and the scroll's results, numbers read back as text
// and written one row up, are checked on the drawn chart in tst_grap_chart;
// here are the grid's refusals and a scroll cut short by an error.
class TstChartGrid : public QObject {
    Q_OBJECT

private slots:
    void refusedWriteRaises380AndChangesNothing_data();
    void refusedWriteRaises380AndChangesNothing();
    void gridErrorEndsScrollWithMovesKept();
};

void TstChartGrid::refusedWriteRaises380AndChangesNothing_data()
{
    QTest::addColumn<GridWrite>("write");
    const auto data = [](const char *text) { return GridWrite([text](ChartGrid &g) { g.setData(text); }); };
    QTest::newRow("Row 0 -> 380") << GridWrite([](ChartGrid &g) { g.setRow(0); });
    QTest::newRow("Row 21 -> 380") << GridWrite([](ChartGrid &g) { g.setRow(21); });
    QTest::newRow("Column 4 -> 380") << GridWrite([](ChartGrid &g) { g.setColumn(4); });
    QTest::newRow("RowCount 0 -> 380") << GridWrite([](ChartGrid &g) { g.setRowCount(0); });
    QTest::newRow("RowCount 4097 -> 380") << GridWrite([](ChartGrid &g) { g.setRowCount(4097); });
    QTest::newRow("ColumnCount 65 -> 380") << GridWrite([](ChartGrid &g) { g.setColumnCount(65); });
    QTest::newRow("ChartType 1 -> 380") << GridWrite([](ChartGrid &g) { g.setChartType(1); });
    QTest::newRow("MajorDivision 0 -> 380") << GridWrite([](ChartGrid &g) { g.setScaleMajorDivision(0); });
    QTest::newRow("Minimum nan -> 380")
        << GridWrite([](ChartGrid &g) { g.setScaleMinimum(std::numeric_limits<double>::quiet_NaN()); });
    QTest::newRow("Data empty -> 380") << data("");
    QTest::newRow("Data 12abc -> 380") << data("12abc");
    QTest::newRow("Data inf -> 380") << data("inf");
    QTest::newRow("Data 1e999 -> 380") << data("1e999");
}

void TstChartGrid::refusedWriteRaises380AndChangesNothing()
{
    QFETCH(GridWrite, write);
    ChartGrid grid;
    Init_Chart(grid, 3, 20);
    scrollAndAppend(grid, {7, 8, 9}, QStringLiteral("10:00:01")); // cursor on row 20, column 3
    int notified = 0;
    grid.setChangeListener([&notified] { ++notified; });
    const QString before = snapshot(grid);

    QCOMPARE(errorNumberOf([&] { write(grid); }), int(rt::InvalidPropertyValue));
    QCOMPARE(snapshot(grid), before);
    QCOMPARE(notified, 0);
}

void TstChartGrid::gridErrorEndsScrollWithMovesKept()
{
    ChartGrid grid;
    Init_Chart(grid, 3, 4);
    scrollAndAppend(grid, {1, 2, 3}, QStringLiteral("10:00:01"));
    grid.setColumnCount(2); // now too narrow for the three sensor values
    QCOMPARE(grid.column(), 2); // the cursor left on column 3 is pulled inside

    QCOMPARE(errorNumberOf([&grid] { scrollAndAppend(grid, {4, 5, 6}, QStringLiteral("10:00:02")); }),
             int(rt::InvalidPropertyValue));
    // The rows moved up and columns 1 and 2 were written; the new label never
    // was, so the last row still carries the one it had.
    const auto row = [&grid](int r) {
        return QStringList{grid.rowLabelAt(r), QString::number(grid.valueAt(r, 1)), QString::number(grid.valueAt(r, 2))};
    };
    QCOMPARE(row(3), (QStringList{"10:00:01", "1", "2"}));
    QCOMPARE(row(4), (QStringList{"10:00:01", "4", "5"}));
}

QTEST_APPLESS_MAIN(TstChartGrid)
#include "tst_chart_grid.moc"
