#include "raised_error.h"
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

#include <tuple>
#include <utility>

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

} // namespace

class TstGrapChart : public QObject {
    Q_OBJECT

private slots:
    void propertiesReachTheGridAndRefuseValuesBeyond16Bits();
    void eachScrollRedrawsOnceWithRowsInPlace_data();
    void eachScrollRedrawsOnceWithRowsInPlace();
    void sensorLinesKeepColoursLegendAndFont();
};

void TstGrapChart::propertiesReachTheGridAndRefuseValuesBeyond16Bits()
{
    GrapChart chart;
    QObject *scale = chart.findChild<QObject *>(QStringLiteral("ValueScale"));
    QVERIFY(scale);
    const QList<std::tuple<QObject *, const char *, QVariant>> writes{
        {&chart, "ColumnCount", 3}, {&chart, "RowCount", 20}, {&chart, "Row", 20}, {&chart, "Column", 2},
        {&chart, "Data", QStringLiteral("512")}, {&chart, "RowLabel", QStringLiteral("14:03:07")},
        {&chart, "ColumnLabel", QStringLiteral("Датчик B")}, {&chart, "ShowLegend", false}, {&chart, "ChartType", 3},
        {scale, "Auto", false}, {scale, "Minimum", -100.0}, {scale, "Maximum", 2048.0}, {scale, "MajorDivision", 8}};
    for (const auto &[object, name, value] : writes) {
        QVERIFY2(object->setProperty(name, value), name);
        QCOMPARE(object->property(name), value);
    }
    // Cut to 16 bits, 65539 would pass for the line chart type 3.
    for (const std::pair<const char *, int> &write : {std::pair{"RowCount", -40000}, std::pair{"ChartType", 65539}})
        QCOMPARE(errorNumberOf([&] { chart.setProperty(write.first, write.second); }), int(rt::Overflow));
}

void TstGrapChart::eachScrollRedrawsOnceWithRowsInPlace_data()
{
    QTest::addColumn<int>("ticks");
    QTest::newRow("set-up -> 20 empty labels, flat at 0") << 0;
    QTest::newRow("1 tick -> sample 1 on row 20, rows 1-19 empty") << 1;
    QTest::newRow("21 ticks -> samples 2..21, sample 1 dropped") << 21;
}

void TstGrapChart::eachScrollRedrawsOnceWithRowsInPlace()
{
    QFETCH(int, ticks);
    GrapChart chart;
    Init_Chart(chart.grid(), 3, 20);
    QTRY_COMPARE(chart.rowAxis()->count(), 20); // set-up's queued redraw done
    const QList<QLineSeries *> lines = sensorLines(chart);
    QCOMPARE(lines.size(), 3);
    QList<int> replaced(3, 0);
    for (qsizetype i = 0; i < 3; ++i)
        connect(lines.at(i), &QXYSeries::pointsReplaced, &chart, [&replaced, i] { ++replaced[i]; });

    for (int k = 1; k <= ticks; ++k) {
        const int before = chart.refreshCount();
        const QStringList s = sampleOfTick(k);
        scrollAndAppend(chart.grid(), {rt::Int16(s[1].toInt()), rt::Int16(s[2].toInt()), rt::Int16(s[3].toInt())}, s[0]);
        QTRY_COMPARE(chart.refreshCount(), before + 1);
    }
    QCoreApplication::processEvents(); // a second queued redraw would run here and show below
    QCOMPARE(replaced, QList<int>(3, ticks));

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

void TstGrapChart::sensorLinesKeepColoursLegendAndFont()
{
    GrapChart chart;
    Init_Chart(chart.grid(), 3, 20);
    QTRY_COMPARE(chart.rowAxis()->count(), 20); // set-up's queued redraw done
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

QTEST_MAIN(TstGrapChart)
#include "tst_grap_chart.moc"
