#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

namespace {

QList<QLineSeries *> lineSeries(const GrapChart &chart)
{
    QList<QLineSeries *> lines;
    for (QAbstractSeries *series : chart.chart()->series())
        lines << qobject_cast<QLineSeries *>(series);
    return lines;
}

QStringList visibleRowLabels(const GrapChart &chart)
{
    QStringList labels;
    for (const QString &label : chart.rowAxis()->categoriesLabels())
        labels << GrapChart::visibleLabel(label);
    return labels;
}

// The chart after set-up, with the queued redraw done.
[[nodiscard]] bool setUp(GrapChart &chart)
{
    Init_Chart(chart.grid(), 3, 20);
    return QTest::qWaitFor([&chart] { return chart.rowAxis()->count() == 20; });
}

} // namespace

class TstGrapChart : public QObject {
    Q_OBJECT

private slots:
    void propertiesReachTheGrid();
    void valueScaleIsAChildNamedValueScale();
    void propertyWriteOutsideItsRangeRaises_data();
    void propertyWriteOutsideItsRangeRaises();

    void wholeScrollRedrawsOnce();
    void refreshPushesEachSeriesOnce();
    void setUpShowsThreeFlatColouredLines();
    void legendShowsColumnLabelsWhenAsked();
    void valueAxis_data();
    void valueAxis();
    void twentyRowPositionsKeepEqualLabels();
    void labelMarksTakeNoRoomOnScreen();
    void chartTextsUseSansFontWithCyrillic();
    void chartTakesKeyboardFocus();
};

void TstGrapChart::propertiesReachTheGrid()
{
    GrapChart chart;
    QVERIFY(chart.setProperty("ColumnCount", 3));
    QVERIFY(chart.setProperty("RowCount", 20));
    QVERIFY(chart.setProperty("Row", 20));
    QVERIFY(chart.setProperty("Column", 2));
    QVERIFY(chart.setProperty("Data", QStringLiteral("512")));
    QVERIFY(chart.setProperty("RowLabel", QStringLiteral("14:03:07")));
    QVERIFY(chart.setProperty("ColumnLabel", QStringLiteral("Датчик B")));
    QVERIFY(chart.setProperty("ShowLegend", false));
    QVERIFY(chart.setProperty("ChartType", 3));

    QCOMPARE(chart.grid().valueAt(20, 2), 512.0);
    QCOMPARE(chart.grid().rowLabelAt(20), QStringLiteral("14:03:07"));
    QCOMPARE(chart.grid().columnLabelAt(2), QStringLiteral("Датчик B"));
    QCOMPARE(chart.property("Data").toString(), QStringLiteral("512"));
    QCOMPARE(chart.property("RowCount").toInt(), 20);
    QCOMPARE(chart.property("Column").toInt(), 2);
    QCOMPARE(chart.property("ShowLegend").toBool(), false);
}

void TstGrapChart::valueScaleIsAChildNamedValueScale()
{
    GrapChart chart;
    QObject *scale = chart.findChild<QObject *>(QStringLiteral("ValueScale"));
    QVERIFY(scale);
    QVERIFY(scale->setProperty("Auto", false));
    QVERIFY(scale->setProperty("Minimum", -100.0));
    QVERIFY(scale->setProperty("Maximum", 2048.0));
    QVERIFY(scale->setProperty("MajorDivision", 8));
    QVERIFY(!chart.grid().scaleAuto());
    QCOMPARE(chart.grid().scaleMinimum(), -100.0);
    QCOMPARE(chart.grid().scaleMaximum(), 2048.0);
    QCOMPARE(scale->property("MajorDivision").toInt(), 8);
}

void TstGrapChart::propertyWriteOutsideItsRangeRaises_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("error");
    QTest::newRow("Row 70000 -> 6") << QByteArray("Row") << 70000 << 6;
    QTest::newRow("RowCount -40000 -> 6") << QByteArray("RowCount") << -40000 << 6;
    QTest::newRow("ChartType 65539 -> 6") << QByteArray("ChartType") << 65539 << 6;
    QTest::newRow("Row 0 -> 380") << QByteArray("Row") << 0 << 380;
    QTest::newRow("Column 5 -> 380") << QByteArray("Column") << 5 << 380;
    QTest::newRow("ChartType 4 -> 380") << QByteArray("ChartType") << 4 << 380;
}

void TstGrapChart::propertyWriteOutsideItsRangeRaises()
{
    QFETCH(QByteArray, property);
    QFETCH(int, value);
    QFETCH(int, error);
    GrapChart chart;
    const int rowBefore = chart.row();
    try {
        chart.setProperty(property.constData(), value);
        QFAIL("the write was accepted");
    } catch (const rt::NumberedError &raised) {
        QCOMPARE(raised.number(), error);
    }
    QCOMPARE(chart.row(), rowBefore);
    QCOMPARE(chart.rowCount(), 5);
    QCOMPARE(chart.chartType(), 3);
}

void TstGrapChart::wholeScrollRedrawsOnce()
{
    GrapChart chart;
    QVERIFY(setUp(chart));
    const int before = chart.refreshCount();

    scrollAndAppend(chart.grid(), {512, 300, 1023}, QStringLiteral("14:03:07"));
    QCOMPARE(chart.refreshCount(), before); // nothing drawn inside the tick
    QTRY_COMPARE(chart.refreshCount(), before + 1);
    QCoreApplication::processEvents();
    QCOMPARE(chart.refreshCount(), before + 1);
    QCOMPARE(lineSeries(chart).at(2)->at(19), QPointF(20, 1023));
    QCOMPARE(visibleRowLabels(chart).at(19), QStringLiteral("14:03:07"));

    // A direct refresh in between takes the place of the queued one.
    scrollAndAppend(chart.grid(), {1, 2, 3}, QStringLiteral("14:03:08"));
    chart.refresh();
    QCoreApplication::processEvents();
    QCOMPARE(chart.refreshCount(), before + 2);
}

void TstGrapChart::refreshPushesEachSeriesOnce()
{
    GrapChart chart;
    QVERIFY(setUp(chart));
    const QList<QLineSeries *> lines = lineSeries(chart);
    QSignalSpy replacedA(lines.at(0), &QXYSeries::pointsReplaced);
    QSignalSpy replacedC(lines.at(2), &QXYSeries::pointsReplaced);
    QSignalSpy addedA(lines.at(0), &QXYSeries::pointAdded);

    scrollAndAppend(chart.grid(), {512, 300, 1023}, QStringLiteral("14:03:07"));
    QTRY_COMPARE(replacedA.count(), 1);
    QCOMPARE(replacedC.count(), 1);
    QCOMPARE(addedA.count(), 0);
}

void TstGrapChart::setUpShowsThreeFlatColouredLines()
{
    GrapChart chart;
    QCOMPARE(lineSeries(chart).size(), 4); // the design-time sample grid
    QVERIFY(setUp(chart));

    const QList<QLineSeries *> lines = lineSeries(chart);
    QCOMPARE(lines.size(), 3);
    const QList<QColor> colours{QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lines.at(i)->color(), colours.at(i));
        QCOMPARE(lines.at(i)->count(), 20);
        QCOMPARE(lines.at(i)->at(0), QPointF(1, 0));
        QCOMPARE(lines.at(i)->at(19), QPointF(20, 0));
    }
    QVERIFY(chart.chart()->title().isEmpty());
}

void TstGrapChart::legendShowsColumnLabelsWhenAsked()
{
    GrapChart chart;
    QVERIFY(setUp(chart));
    QStringList legendTexts;
    for (QLegendMarker *marker : chart.chart()->legend()->markers())
        legendTexts << marker->label();
    QCOMPARE(legendTexts, (QStringList{"Датчик A", "Датчик B", "Датчик C"}));
    QVERIFY(chart.chart()->legend()->isVisible());

    chart.setShowLegend(false);
    QTRY_VERIFY(!chart.chart()->legend()->isVisible());
}

void TstGrapChart::valueAxis_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("ticks");
    QTest::newRow("fixed, 2000 -> 0..1024 in 10") << false << "2000" << 0.0 << 1024.0 << 11;
    QTest::newRow("fixed, -5 -> 0..1024 in 10") << false << "-5" << 0.0 << 1024.0 << 11;
    QTest::newRow("auto, 2000 -> reaches 2000") << true << "2000" << 0.0 << 2000.0 << 0;
    QTest::newRow("auto, -5 -> reaches -5") << true << "-5" << -5.0 << 0.0 << 0;
}

void TstGrapChart::valueAxis()
{
    QFETCH(bool, automatic);
    QFETCH(QString, sample);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, ticks);
    GrapChart chart;
    QVERIFY(setUp(chart));
    chart.grid().setScaleAuto(automatic);
    chart.grid().setData(sample);
    chart.refresh();

    const QValueAxis *axis = chart.valueAxis();
    if (automatic) {
        QVERIFY2(axis->min() <= minimum && axis->max() >= maximum,
                 qPrintable(QStringLiteral("%1..%2").arg(axis->min()).arg(axis->max())));
    } else {
        QCOMPARE(axis->min(), minimum);
        QCOMPARE(axis->max(), maximum);
        QCOMPARE(axis->tickCount(), ticks);
    }
}

void TstGrapChart::twentyRowPositionsKeepEqualLabels()
{
    GrapChart chart;
    QVERIFY(setUp(chart));
    QCOMPARE(visibleRowLabels(chart), QStringList(20, QString()));

    scrollAndAppend(chart.grid(), {1, 2, 3}, QStringLiteral("14:03:07"));
    scrollAndAppend(chart.grid(), {4, 5, 6}, QStringLiteral("14:03:07"));
    chart.refresh();

    QStringList expected(18, QString());
    expected << QStringLiteral("14:03:07") << QStringLiteral("14:03:07");
    QCOMPARE(visibleRowLabels(chart), expected);
    QCategoryAxis *axis = chart.rowAxis();
    const QStringList keys = axis->categoriesLabels();
    for (int r = 1; r <= 20; ++r) // each label centred over its point
        QCOMPARE((axis->startValue(keys.at(r - 1)) + axis->endValue(keys.at(r - 1))) / 2, double(r));
}

void TstGrapChart::labelMarksTakeNoRoomOnScreen()
{
    GrapChart chart;
    QVERIFY(setUp(chart));
    scrollAndAppend(chart.grid(), {1, 2, 3}, QStringLiteral("14:03:07"));
    chart.refresh();
    const QString key = chart.rowAxis()->categoriesLabels().at(19);
    QVERIFY(key != QStringLiteral("14:03:07"));
    const QFontMetricsF metrics(chart.rowAxis()->labelsFont());
    QCOMPARE(metrics.horizontalAdvance(key), metrics.horizontalAdvance(QStringLiteral("14:03:07")));

    // The drawn label reads as the row label.
    chart.resize(897, 441);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTRY_VERIFY([&chart] {
        for (QGraphicsItem *item : chart.scene()->items()) {
            const auto *text = dynamic_cast<QGraphicsTextItem *>(item);
            if (text && GrapChart::visibleLabel(text->toPlainText()) == QStringLiteral("14:03:07"))
                return true;
        }
        return false;
    }());
}

void TstGrapChart::chartTextsUseSansFontWithCyrillic()
{
    GrapChart chart;
    const QList<QFont> fonts{chart.chart()->legend()->font(), chart.valueAxis()->labelsFont(),
                             chart.rowAxis()->labelsFont()};
    for (const QFont &font : fonts) {
        QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(font.pointSizeF(), 8.25);
        QVERIFY(QFontMetrics(font).inFont(QChar(0x0414))); // Д
    }
}

void TstGrapChart::chartTakesKeyboardFocus()
{
    GrapChart chart;
    QVERIFY(chart.focusPolicy() & Qt::TabFocus);
}

QTEST_MAIN(TstGrapChart)
#include "tst_grap_chart.moc"
