#include "raised_error.h"
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QDebug>
#include <QFontMetricsF>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

#include <limits>

namespace {

// Label and values of tick k's sample, some outside 0..1024; two ticks share
// each label, as two readings within one second do. Before tick 1: set-up's row.
QStringList sampleOfTick(int k)
{
    if (k < 1)
        return {QString(), "0", "0", "0"};
    return {QStringLiteral("10:00:%1").arg(k / 2, 2, 10, QLatin1Char('0')), QString::number(k),
            QString::number(2000 + k), QString::number(-k)};
}

QList<QLineSeries *> sensorLines(const GrapChart &chart)
{
    QList<QLineSeries *> lines;
    for (QAbstractSeries *series : chart.chart()->series())
        lines << qobject_cast<QLineSeries *>(series);
    return lines;
}

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

// A chart as set-up leaves it after one tick, its redraws done.
struct TickedChart {
    GrapChart chart;
    TickedChart()
    {
        Init_Chart(chart.grid(), 3, 20);
        scrollAndAppend(chart.grid(), {7, 8, 9}, QStringLiteral("10:00:01")); // cursor on row 20, column 3
        QCoreApplication::processEvents();
    }
};

} // namespace

class TstGrapChart : public QObject {
    Q_OBJECT

private slots:
    void propertyWriteIsKeptOrRefusedUnchanged_data()
    {
        QTest::addColumn<QByteArray>("property"); // "ValueScale." before the scale's own
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("error");

        const QList<std::pair<const char *, QVariant>> kept{
            {"ColumnCount", 3}, {"RowCount", 20}, {"Row", 20}, {"Column", 2}, {"Data", QStringLiteral("512")},
            {"RowLabel", QStringLiteral("14:03:07")}, {"ColumnLabel", QStringLiteral("Датчик B")}, {"ShowLegend", false},
            {"ChartType", 3}, {"ValueScale.Auto", false}, {"ValueScale.Minimum", -100.0},
            {"ValueScale.Maximum", 2048.0}, {"ValueScale.MajorDivision", 8}};
        for (const auto &[property, value] : kept)
            QTest::addRow("%s %s -> kept", property, qPrintable(value.toString())) << QByteArray(property) << value << 0;

        const QList<std::pair<const char *, QVariant>> refused{
            {"Row", 0}, {"Row", 21}, {"Column", 4}, {"RowCount", 0}, {"RowCount", 4097}, {"ColumnCount", 65},
            {"ChartType", 1}, {"ValueScale.MajorDivision", 0},
            {"ValueScale.Minimum", std::numeric_limits<double>::quiet_NaN()}, {"Data", QString()},
            {"Data", QStringLiteral("12abc")}, {"Data", QStringLiteral("inf")}, {"Data", QStringLiteral("1e999")}};
        for (const auto &[property, value] : refused)
            QTest::addRow("%s \"%s\" -> 380", property, qPrintable(value.toString())) << QByteArray(property) << value
                                                                                     << int(rt::InvalidPropertyValue);
        // Cut to 16 bits, 65539 would pass for the line chart type 3.
        QTest::addRow("RowCount -40000 -> 6") << QByteArray("RowCount") << QVariant(-40000) << int(rt::Overflow);
        QTest::addRow("ChartType 65539 -> 6") << QByteArray("ChartType") << QVariant(65539) << int(rt::Overflow);
    }

    void propertyWriteIsKeptOrRefusedUnchanged()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(int, error);
        TickedChart ticked;
        QObject *target = &ticked.chart;
        if (property.startsWith("ValueScale.")) {
            target = ticked.chart.findChild<QObject *>(QStringLiteral("ValueScale"));
            property.remove(0, qsizetype(qstrlen("ValueScale.")));
        }
        QVERIFY(target);
        const QString before = snapshot(ticked.chart.grid());
        const int redraws = ticked.chart.refreshCount();

        QCOMPARE(errorNumberOf([&] { QVERIFY(target->setProperty(property, value)); }), error);

        if (!error) {
            QCOMPARE(target->property(property), value);
            return;
        }
        QCOMPARE(snapshot(ticked.chart.grid()), before);
        QCoreApplication::processEvents(); // a redraw asked for by the refused write would run here
        QCOMPARE(ticked.chart.refreshCount(), redraws);
    }

    void gridErrorEndsScrollWithMovesKept()
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

    void eachScrollRedrawsOnceWithRowsInPlace_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::newRow("set-up -> 20 empty labels, flat at 0") << 0;
        QTest::newRow("1 tick -> sample 1 on row 20, rows 1-19 empty") << 1;
        QTest::newRow("21 ticks -> samples 2..21, sample 1 dropped") << 21;
    }

    void eachScrollRedrawsOnceWithRowsInPlace()
    {
        QFETCH(int, ticks);
        GrapChart chart;
        Init_Chart(chart.grid(), 3, 20);
        QTRY_COMPARE(chart.rowAxis()->count(), 20); // set-up's queued redraw done
        const QList<QLineSeries *> lines = sensorLines(chart);
        QCOMPARE(lines.size(), 3);
        const int redrawsBefore = chart.refreshCount();

        for (int k = 1; k <= ticks; ++k) {
            const QStringList s = sampleOfTick(k);
            scrollAndAppend(chart.grid(), {rt::Int16(s[1].toInt()), rt::Int16(s[2].toInt()), rt::Int16(s[3].toInt())}, s[0]);
            QTRY_COMPARE(chart.refreshCount(), redrawsBefore + k);
        }
        QCoreApplication::processEvents(); // a second queued redraw would run here and show below
        QCOMPARE(chart.refreshCount(), redrawsBefore + ticks);

        // Equal labels keep their own positions, each centred over its points.
        QCategoryAxis *axis = chart.rowAxis();
        const QStringList keys = axis->categoriesLabels();
        QCOMPARE(keys.size(), 20);
        for (int r = 1; r <= 20; ++r) {
            const QString &key = keys.at(r - 1);
            QCOMPARE((axis->startValue(key) + axis->endValue(key)) / 2, double(r));
            QStringList drawn{GrapChart::visibleLabel(key)};
            for (const QLineSeries *line : lines) {
                QCOMPARE(line->at(r - 1).x(), double(r));
                drawn << QString::number(line->at(r - 1).y());
            }
            QCOMPARE(drawn, sampleOfTick(ticks - 20 + r));
        }
        // Samples beyond 0..1024 do not move the fixed scale.
        const QValueAxis *scale = chart.valueAxis();
        QCOMPARE((QList<double>{scale->min(), scale->max(), double(scale->tickCount())}), (QList<double>{0, 1024, 11}));
    }

    void sensorLinesKeepColoursLegendAndFont()
    {
        TickedChart ticked;
        const GrapChart &chart = ticked.chart;
        QStringList legend;
        for (const QLegendMarker *marker : chart.chart()->legend()->markers())
            legend << marker->label();
        QCOMPARE(legend, (QStringList{"Датчик A", "Датчик B", "Датчик C"}));
        QVERIFY(chart.chart()->legend()->isVisible());
        QList<QColor> colours;
        for (const QLineSeries *line : sensorLines(chart))
            colours << line->color();
        QCOMPARE(colours, (QList<QColor>{QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)}));

        const QFont fonts[]{chart.chart()->legend()->font(), chart.valueAxis()->labelsFont(), chart.rowAxis()->labelsFont()};
        for (const QFont &font : fonts) {
            QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(font.pointSizeF(), 8.25);
            QVERIFY(QFontMetrics(font).inFont(QChar(0x0414))); // Д
        }
        // The marks that keep empty labels apart take no room on screen.
        const QFontMetricsF metrics(chart.rowAxis()->labelsFont());
        QCOMPARE(metrics.horizontalAdvance(chart.rowAxis()->categoriesLabels().at(0)), 0.0);
    }
};

QTEST_MAIN(TstGrapChart)
#include "tst_grap_chart.moc"
