#include "chart/chart_grid.h"
#include "chart/chart_scroll.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QTest>

#include <limits>

namespace {

// Everything a write could disturb, to show that a failed one disturbs nothing.
QStringList snapshot(const ChartGrid &grid)
{
    QStringList state{
        QStringLiteral("%1x%2 at %3,%4").arg(grid.rowCount()).arg(grid.columnCount()).arg(grid.row()).arg(grid.column()),
        QStringLiteral("type %1 legend %2").arg(grid.chartType()).arg(grid.showLegend()),
        QStringLiteral("scale %1 %2..%3/%4")
            .arg(grid.scaleAuto())
            .arg(grid.scaleMinimum())
            .arg(grid.scaleMaximum())
            .arg(grid.scaleMajorDivision()),
    };
    for (int c = 1; c <= grid.columnCount(); ++c)
        state << grid.columnLabelAt(c);
    for (int r = 1; r <= grid.rowCount(); ++r) {
        state << grid.rowLabelAt(r);
        for (int c = 1; c <= grid.columnCount(); ++c)
            state << QString::number(grid.valueAt(r, c));
    }
    return state;
}

void applyWrite(ChartGrid &grid, const QString &property, const QString &value)
{
    const auto asInt16 = [&value] { return static_cast<rt::Int16>(value.toInt()); };
    if (property == u"Row")
        grid.setRow(asInt16());
    else if (property == u"Column")
        grid.setColumn(asInt16());
    else if (property == u"RowCount")
        grid.setRowCount(asInt16());
    else if (property == u"ColumnCount")
        grid.setColumnCount(asInt16());
    else if (property == u"Data")
        grid.setData(value);
    else if (property == u"ChartType")
        grid.setChartType(asInt16());
    else if (property == u"MajorDivision")
        grid.setScaleMajorDivision(asInt16());
    else if (property == u"Minimum")
        grid.setScaleMinimum(value.toDouble());
    else
        QFAIL("unknown property in test table");
}

ChartGrid setUpGrid()
{
    ChartGrid grid;
    Init_Chart(grid, 3, 20);
    return grid;
}

struct Sample {
    rt::Int16 a, b, c;
    QString time;
};

// Sample k of a run of ticks: distinct per tick and column, some outside 0..1024.
Sample sampleOfTick(int k)
{
    return {static_cast<rt::Int16>(k), static_cast<rt::Int16>(2000 + k), static_cast<rt::Int16>(-k),
            QStringLiteral("10:00:%1").arg(k, 2, 10, QLatin1Char('0'))};
}

void tick(ChartGrid &grid, const Sample &sample)
{
    scrollAndAppend(grid, {sample.a, sample.b, sample.c}, sample.time);
}

QStringList rowAt(ChartGrid &grid, rt::Int16 row)
{
    QStringList cells{grid.rowLabelAt(row)};
    grid.setRow(row);
    for (rt::Int16 c = 1; c <= grid.columnCount(); ++c) {
        grid.setColumn(c);
        cells << grid.data();
    }
    return cells;
}

} // namespace

class TstChartGrid : public QObject {
    Q_OBJECT

private slots:
    void designTimeGridIsFourSeriesByFiveRows();
    void setUpGivesThreeZeroSensorColumnsOnFixedScale();
    void setUpRoundsCountsHalvesToEven_data();
    void setUpRoundsCountsHalvesToEven();
    void setUpOnTwoColumnsStopsAtThirdSensorLabel();

    void rejectedWriteChangesNothing_data();
    void rejectedWriteChangesNothing();
    void dataReadsBackAsShortestText_data();
    void dataReadsBackAsShortestText();
    void growingKeepsCellsAndAddsDefaults();
    void shrinkingPullsCursorInside();
    void listenerHearsEverySuccessfulWrite();

    void scrollKeepsLastTwentySamples_data();
    void scrollKeepsLastTwentySamples();
    void equalTimeLabelsStayOnTheirRows();
    void gridErrorEndsScrollWithMovesKept();
    void extraColumnScrollsButIsNotWritten();
};

void TstChartGrid::designTimeGridIsFourSeriesByFiveRows()
{
    const ChartGrid grid;
    QCOMPARE(grid.columnCount(), 4);
    QCOMPARE(grid.rowCount(), 5);
    QCOMPARE(grid.columnLabelAt(1), QStringLiteral("C1"));
    QCOMPARE(grid.columnLabelAt(4), QStringLiteral("C4"));
    QCOMPARE(grid.rowLabelAt(1), QStringLiteral("R1"));
    QCOMPARE(grid.rowLabelAt(5), QStringLiteral("R5"));
    QCOMPARE(grid.chartType(), ChartGrid::kLineChart2d);
    QVERIFY(grid.valueAt(3, 2) != 0);
}

void TstChartGrid::setUpGivesThreeZeroSensorColumnsOnFixedScale()
{
    ChartGrid grid = setUpGrid();
    QCOMPARE(grid.columnCount(), 3);
    QCOMPARE(grid.rowCount(), 20);
    QCOMPARE(grid.columnLabelAt(1), QStringLiteral("Датчик A"));
    QCOMPARE(grid.columnLabelAt(2), QStringLiteral("Датчик B"));
    QCOMPARE(grid.columnLabelAt(3), QStringLiteral("Датчик C"));
    for (rt::Int16 r = 1; r <= 20; ++r)
        QCOMPARE(rowAt(grid, r), (QStringList{QString(), "0", "0", "0"}));
    QCOMPARE(grid.chartType(), 3);
    QVERIFY(grid.showLegend());
    QVERIFY(!grid.scaleAuto());
    QCOMPARE(grid.scaleMinimum(), 0.0);
    QCOMPARE(grid.scaleMaximum(), 1024.0);
    QCOMPARE(grid.scaleMajorDivision(), 10);
}

void TstChartGrid::setUpRoundsCountsHalvesToEven_data()
{
    QTest::addColumn<float>("cols");
    QTest::addColumn<float>("rows");
    QTest::addColumn<int>("columnCount");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("3, 20 -> 3x20") << 3.0f << 20.0f << 3 << 20;
    QTest::newRow("3.5, 20.5 -> 4x20") << 3.5f << 20.5f << 4 << 20;
    QTest::newRow("4.5, 21.5 -> 4x22") << 4.5f << 21.5f << 4 << 22;
    QTest::newRow("3.49, 1.51 -> 3x2") << 3.49f << 1.51f << 3 << 2;
}

void TstChartGrid::setUpRoundsCountsHalvesToEven()
{
    QFETCH(float, cols);
    QFETCH(float, rows);
    QFETCH(int, columnCount);
    QFETCH(int, rowCount);
    ChartGrid grid;
    Init_Chart(grid, cols, rows);
    QCOMPARE(grid.columnCount(), columnCount);
    QCOMPARE(grid.rowCount(), rowCount);
    QCOMPARE(grid.valueAt(rowCount, columnCount), 0.0);
    QCOMPARE(grid.rowLabelAt(rowCount), QString());
}

void TstChartGrid::setUpOnTwoColumnsStopsAtThirdSensorLabel()
{
    ChartGrid grid;
    try {
        Init_Chart(grid, 2.5f, 20);
        QFAIL("a two-column chart took three sensor labels");
    } catch (const rt::NumberedError &error) {
        QCOMPARE(error.number(), rt::InvalidPropertyValue);
    }
    QCOMPARE(grid.columnCount(), 2);
    QCOMPARE(grid.columnLabelAt(2), QStringLiteral("Датчик B"));
    QCOMPARE(grid.valueAt(20, 2), 0.0);
    QVERIFY(grid.scaleAuto()); // the scale comes after the labels and was never reached
}

void TstChartGrid::rejectedWriteChangesNothing_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    QTest::newRow("Row 0 -> 380") << "Row" << "0";
    QTest::newRow("Row 21 -> 380") << "Row" << "21";
    QTest::newRow("Column 0 -> 380") << "Column" << "0";
    QTest::newRow("Column 4 -> 380") << "Column" << "4";
    QTest::newRow("RowCount 0 -> 380") << "RowCount" << "0";
    QTest::newRow("RowCount 4097 -> 380") << "RowCount" << "4097";
    QTest::newRow("ColumnCount 0 -> 380") << "ColumnCount" << "0";
    QTest::newRow("ColumnCount 65 -> 380") << "ColumnCount" << "65";
    QTest::newRow("Data empty -> 380") << "Data" << "";
    QTest::newRow("Data blanks -> 380") << "Data" << "   ";
    QTest::newRow("Data abc -> 380") << "Data" << "abc";
    QTest::newRow("Data 12abc -> 380") << "Data" << "12abc";
    QTest::newRow("Data 1 2 -> 380") << "Data" << "1 2";
    QTest::newRow("Data 1,5 -> 380") << "Data" << "1,5";
    QTest::newRow("Data 1e -> 380") << "Data" << "1e";
    QTest::newRow("Data inf -> 380") << "Data" << "inf";
    QTest::newRow("Data nan -> 380") << "Data" << "nan";
    QTest::newRow("Data 0x10 -> 380") << "Data" << "0x10";
    QTest::newRow("Data 1e999 -> 380") << "Data" << "1e999";
    QTest::newRow("Data arabic-indic 5 -> 380") << "Data" << QStringLiteral("\u0665");
    QTest::newRow("ChartType 1 -> 380") << "ChartType" << "1";
    QTest::newRow("MajorDivision 0 -> 380") << "MajorDivision" << "0";
    QTest::newRow("Minimum nan -> 380") << "Minimum" << "nan";
}

void TstChartGrid::rejectedWriteChangesNothing()
{
    QFETCH(QString, property);
    QFETCH(QString, value);
    ChartGrid grid = setUpGrid();
    grid.setRow(20);
    grid.setColumn(3);
    grid.setData(QStringLiteral("7"));
    int notified = 0;
    grid.setChangeListener([&notified] { ++notified; });
    const QStringList before = snapshot(grid);

    try {
        applyWrite(grid, property, value);
        QFAIL("the write was accepted");
    } catch (const rt::NumberedError &error) {
        QCOMPARE(error.number(), rt::InvalidPropertyValue);
    }
    QCOMPARE(snapshot(grid), before);
    QCOMPARE(notified, 0);
}

void TstChartGrid::dataReadsBackAsShortestText_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    QTest::addColumn<double>("value");
    QTest::newRow("512 -> 512") << "512" << "512" << 512.0;
    QTest::newRow("-5 -> -5") << "-5" << "-5" << -5.0;
    QTest::newRow("2000 -> 2000") << "2000" << "2000" << 2000.0;
    QTest::newRow("2.5 -> 2.5") << "2.5" << "2.5" << 2.5;
    QTest::newRow("1.50 -> 1.5") << "1.50" << "1.5" << 1.5;
    QTest::newRow(".5 -> 0.5") << ".5" << "0.5" << 0.5;
    QTest::newRow("0.1 -> 0.1") << "0.1" << "0.1" << 0.1;
    QTest::newRow("+7 -> 7") << "+7" << "7" << 7.0;
    QTest::newRow("007 -> 7") << "007" << "7" << 7.0;
    QTest::newRow("' 12 ' -> 12") << " 12 " << "12" << 12.0;
    QTest::newRow("1e3 -> 1000") << "1e3" << "1000" << 1000.0;
    QTest::newRow("-0 -> 0") << "-0" << "0" << 0.0;
    QTest::newRow("-32768 -> -32768") << "-32768" << "-32768" << -32768.0;
}

void TstChartGrid::dataReadsBackAsShortestText()
{
    QFETCH(QString, written);
    QFETCH(QString, read);
    QFETCH(double, value);
    ChartGrid grid = setUpGrid();
    grid.setRow(4);
    grid.setColumn(2);
    grid.setData(written);
    QCOMPARE(grid.data(), read);
    QCOMPARE(grid.valueAt(4, 2), value);
    QCOMPARE(grid.valueAt(4, 1), 0.0);
    QCOMPARE(grid.valueAt(5, 2), 0.0);
}

void TstChartGrid::growingKeepsCellsAndAddsDefaults()
{
    ChartGrid grid = setUpGrid();
    grid.setRow(20);
    grid.setColumn(3);
    grid.setData(QStringLiteral("99"));
    grid.setRowLabel(QStringLiteral("12:00:00"));

    grid.setRowCount(22);
    grid.setColumnCount(5);

    QCOMPARE(grid.valueAt(20, 3), 99.0);
    QCOMPARE(grid.rowLabelAt(20), QStringLiteral("12:00:00"));
    QCOMPARE(grid.columnLabelAt(3), QStringLiteral("Датчик C"));
    QCOMPARE(grid.rowLabelAt(21), QStringLiteral("R21"));
    QCOMPARE(grid.rowLabelAt(22), QStringLiteral("R22"));
    QCOMPARE(grid.columnLabelAt(5), QStringLiteral("C5"));
    QCOMPARE(grid.valueAt(22, 5), 0.0);
    QCOMPARE(grid.valueAt(1, 4), 0.0);
}

void TstChartGrid::shrinkingPullsCursorInside()
{
    ChartGrid grid = setUpGrid();
    grid.setRow(20);
    grid.setColumn(3);
    grid.setRowCount(5);
    grid.setColumnCount(2);
    QCOMPARE(grid.row(), 5);
    QCOMPARE(grid.column(), 2);

    // What was cut off is gone: growing again brings zeros and default labels.
    grid.setColumnCount(3);
    QCOMPARE(grid.columnLabelAt(3), QStringLiteral("C3"));
}

void TstChartGrid::listenerHearsEverySuccessfulWrite()
{
    ChartGrid grid = setUpGrid();
    int notified = 0;
    grid.setChangeListener([&notified] { ++notified; });
    grid.setRow(2);
    grid.setData(QStringLiteral("3"));
    grid.setRowLabel(QStringLiteral("x"));
    grid.setScaleMaximum(2048);
    QCOMPARE(notified, 4);
}

void TstChartGrid::scrollKeepsLastTwentySamples_data()
{
    QTest::addColumn<int>("ticks");
    QTest::newRow("1 tick -> sample 1 in row 20, rows 1-19 empty") << 1;
    QTest::newRow("2 ticks -> samples 1, 2 in rows 19, 20") << 2;
    QTest::newRow("19 ticks -> row 1 still empty") << 19;
    QTest::newRow("20 ticks -> samples 1..20") << 20;
    QTest::newRow("21 ticks -> sample 1 dropped") << 21;
    QTest::newRow("45 ticks -> samples 26..45") << 45;
}

void TstChartGrid::scrollKeepsLastTwentySamples()
{
    QFETCH(int, ticks);
    ChartGrid grid = setUpGrid();
    for (int k = 1; k <= ticks; ++k)
        tick(grid, sampleOfTick(k));
    QCOMPARE(grid.row(), 20); // the cursor stays on the new sample's last value
    QCOMPARE(grid.column(), 3);

    for (rt::Int16 r = 1; r <= 20; ++r) {
        const int k = ticks - 20 + r; // the tick whose sample row r should hold
        const Sample s = k >= 1 ? sampleOfTick(k) : Sample{0, 0, 0, QString()};
        const QStringList expected{s.time, QString::number(s.a), QString::number(s.b), QString::number(s.c)};
        QCOMPARE(rowAt(grid, r), expected);
    }
}

void TstChartGrid::equalTimeLabelsStayOnTheirRows()
{
    ChartGrid grid = setUpGrid();
    scrollAndAppend(grid, {1, 2, 3}, QStringLiteral("23:59:59"));
    scrollAndAppend(grid, {4, 5, 6}, QStringLiteral("23:59:59"));
    scrollAndAppend(grid, {7, 8, 9}, QStringLiteral("00:00:00"));
    QCOMPARE(rowAt(grid, 18), (QStringList{"23:59:59", "1", "2", "3"}));
    QCOMPARE(rowAt(grid, 19), (QStringList{"23:59:59", "4", "5", "6"}));
    QCOMPARE(rowAt(grid, 20), (QStringList{"00:00:00", "7", "8", "9"}));
}

void TstChartGrid::gridErrorEndsScrollWithMovesKept()
{
    ChartGrid grid;
    Init_Chart(grid, 3, 4);
    scrollAndAppend(grid, {1, 2, 3}, QStringLiteral("10:00:01"));
    grid.setColumnCount(2); // now too narrow for the three sensor values
    try {
        scrollAndAppend(grid, {4, 5, 6}, QStringLiteral("10:00:02"));
        QFAIL("column 3 of a two-column grid was written");
    } catch (const rt::NumberedError &error) {
        QCOMPARE(error.number(), rt::InvalidPropertyValue);
    }
    // The rows moved up and columns 1 and 2 were written; the new label never
    // was, so the last row still carries the one it had.
    QCOMPARE(rowAt(grid, 3), (QStringList{"10:00:01", "1", "2"}));
    QCOMPARE(rowAt(grid, 4), (QStringList{"10:00:01", "4", "5"}));
}

void TstChartGrid::extraColumnScrollsButIsNotWritten()
{
    ChartGrid grid;
    Init_Chart(grid, 4, 3);
    grid.setRow(3);
    grid.setColumn(4);
    grid.setData(QStringLiteral("44"));
    scrollAndAppend(grid, {1, 2, 3}, QStringLiteral("10:00:01"));
    QCOMPARE(rowAt(grid, 2), (QStringList{QString(), "0", "0", "0", "44"}));
    QCOMPARE(rowAt(grid, 3), (QStringList{"10:00:01", "1", "2", "3", "44"}));
}

QTEST_APPLESS_MAIN(TstChartGrid)
#include "tst_chart_grid.moc"
