#include "raised_error.h"
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "chart/segment_clip.h"
#include "chart/value_axis.h"
#include "runtime/numbered_error.h"
#include "setup/setup_chart.h"

#include <QDebug>
#include <QFontMetrics>
#include <QImage>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

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

// A chart as set-up leaves it after one tick, painted.
struct TickedChart {
    GrapChart chart;
    TickedChart()
    {
        Init_Chart(chart.grid(), 3, 20);
        scrollAndAppend(chart.grid(), {7, 8, 9}, QStringLiteral("10:00:01")); // cursor on row 20, column 3
        chart.resize(kChartSize);
        QImage picture(kChartSize, QImage::Format_ARGB32_Premultiplied);
        chart.render(&picture);
    }
    static constexpr QSize kChartSize{897, 441};
};

// Whether `pixel` is drawn in `colour` (pure red, green or blue, or a blend
// of it with white): its own channel full, the others well below.
bool isShadeOf(QRgb pixel, const QColor &colour)
{
    const int channels[]{qRed(pixel), qGreen(pixel), qBlue(pixel)};
    const int wanted[]{colour.red(), colour.green(), colour.blue()};
    for (int k = 0; k < 3; ++k) {
        if (wanted[k] == 255 ? channels[k] < 200 : channels[k] > 120)
            return false;
    }
    return true;
}

// The pixel at (x, y) of an image rendered by render() below, read straight
// from its memory: QImage::pixel() converts each one, which under Wine turns
// a whole-picture scan into a minute.
QRgb at(const QImage &image, int x, int y)
{
    return reinterpret_cast<const QRgb *>(image.constScanLine(y))[x];
}

// The rows of pixels in column `x` (device pixels) drawn in `colour`.
QList<int> rowsIn(const QImage &image, int x, const QColor &colour, int fromY = 0, int toY = -1)
{
    QList<int> rows;
    const int last = toY < 0 ? image.height() - 1 : std::min(toY, image.height() - 1);
    for (int y = std::max(fromY, 0); y <= last; ++y) {
        if (isShadeOf(at(image, x, y), colour))
            rows << y;
    }
    return rows;
}

// The chart as the tick leaves it with the picture test's samples, rendered
// at `scale` device pixels per logical pixel.
QImage render(GrapChart &chart, double scale)
{
    QImage image(chart.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    chart.render(&image);
    return image;
}

// Sensor A climbs from 0 (oldest row) to 1024 (newest), B holds 512, C holds
// 300 but for 2000 in row 10 and -500 in row 15; rows 1 to 5 carry no label.
void tickPictureSamples(GrapChart &chart)
{
    Init_Chart(chart.grid(), 3, 20);
    for (int r = 1; r <= 20; ++r) {
        const auto a = static_cast<rt::Int16>(std::lround(1024.0 * (r - 1) / 19));
        const rt::Int16 c = r == 10 ? 2000 : r == 15 ? -500 : 300;
        scrollAndAppend(chart.grid(), {a, 512, c}, r <= 5 ? QString() : QStringLiteral("10:00:%1").arg(r, 2, 10, QLatin1Char('0')));
    }
}

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);

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
        QVERIFY(!ticked.chart.repaintPending());

        QCOMPARE(errorNumberOf([&] { QVERIFY(target->setProperty(property, value)); }), error);

        if (!error) {
            QCOMPARE(target->property(property), value);
            QVERIFY(ticked.chart.repaintPending());
            return;
        }
        QCOMPARE(snapshot(ticked.chart.grid()), before);
        QVERIFY(!ticked.chart.repaintPending());
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

    void eachScrollPaintsOnceWithoutLayingOut()
    {
        TickedChart ticked;
        GrapChart &chart = ticked.chart;
        chart.show(); // under Wine a widget's first showing takes two seconds: only here
        QTRY_VERIFY(chart.paintCount() > 1);
        const int layouts = chart.layoutCount();
        const int paints = chart.paintCount();
        for (int k = 1; k <= 3; ++k) {
            scrollAndAppend(chart.grid(), {rt::Int16(k), 2, 3}, QStringLiteral("10:00:0%1").arg(k));
            QTRY_COMPARE(chart.paintCount(), paints + k);
        }
        QCoreApplication::processEvents(); // a second repaint asked for would run here
        QCOMPARE(chart.paintCount(), paints + 3);
        QCOMPARE(chart.layoutCount(), layouts);

        chart.resize(TickedChart::kChartSize + QSize(10, 10));
        QTRY_COMPARE(chart.paintCount(), paints + 4);
        QCOMPARE(chart.layoutCount(), layouts + 1);

        // Texts in the chart's own font, which has Cyrillic.
        QCOMPARE(chart.font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(chart.font().pointSizeF(), 8.25);
        QVERIFY(QFontMetrics(chart.font()).inFont(QChar(0x0414))); // Д
    }

    void pictureShowsTheGrid_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("100 % -> points on the plot's own pixels") << 1.0;
        QTest::newRow("200 % -> the same points, coordinates doubled") << 2.0;
    }

    void pictureShowsTheGrid()
    {
        QFETCH(double, scale);
        GrapChart chart;
        chart.resize(TickedChart::kChartSize);
        tickPictureSamples(chart);
        const QImage image = render(chart, scale);
        const ChartLayout layout = chart.layout();
        const QRectF plot = layout.plot;
        QVERIFY(plot.width() > 500 && plot.height() > 250); // room for the rest of the window
        const auto pixelX = [&](int row) { return int((plot.left() + plot.width() * (row - 0.5) / 20) * scale); };
        const auto pixelY = [&](double value) { return (plot.bottom() - plot.height() * value / 1024) * scale; };
        // Within two logical pixels of where the value says.
        const auto near = [&](const QList<int> &rows, double value) {
            return std::any_of(rows.begin(), rows.end(), [&](int y) { return std::abs(y - pixelY(value)) <= 2 * scale; });
        };
        for (int r = 1; r <= 20; ++r) {
            const double a = std::round(1024.0 * (r - 1) / 19); // 0 at the left, 1024 at the right
            QVERIFY2(near(rowsIn(image, pixelX(r), kRed), a), qPrintable(QStringLiteral("A, row %1: %2").arg(r).arg(a)));
            QVERIFY2(near(rowsIn(image, pixelX(r), kGreen), 512), qPrintable(QStringLiteral("B, row %1").arg(r)));
        }
        QVERIFY(near(rowsIn(image, pixelX(5), kBlue), 300));

        // 2000 and -500 stay in the grid; the line is cut at the plot's edges.
        QCOMPARE(chart.grid().valueAt(10, 3), 2000.0);
        const int top = int(plot.top() * scale);
        const int bottom = int(plot.bottom() * scale);
        bool reachesTop = false;
        for (int x = 0; x < image.width(); ++x) {
            QVERIFY2(rowsIn(image, x, kBlue, 0, top - int(2 * scale)).isEmpty(), "blue above the plot");
            QVERIFY2(rowsIn(image, x, kBlue, bottom + int(2 * scale)).isEmpty(), "blue below the plot");
            reachesTop = reachesTop || !rowsIn(image, x, kBlue, top - int(scale), top + int(scale)).isEmpty();
        }
        QVERIFY(reachesTop);
        QVERIFY(rowsIn(image, pixelX(10), kBlue).isEmpty()); // no point drawn off the scale

        // The axis: 0 to 1024 in ten divisions whatever the data.
        QStringList marks;
        for (const ChartLayout::Mark &mark : layout.marks)
            marks << mark.text;
        QCOMPARE(marks, (QStringList{"0", "102.4", "204.8", "307.2", "409.6", "512", "614.4", "716.8", "819.2", "921.6", "1024"}));

        // Row labels: ink in a labelled row's box (turned a quarter left: its
        // x runs up the screen), none where the row has no label.
        const auto inkUnder = [&](int row) {
            const QRectF turned = layout.rowLabelBoxes.at(std::size_t(row - 1));
            const QRect box = QRectF(turned.top(), -turned.right(), turned.height(), turned.width()).toRect();
            int ink = 0;
            for (int y = int(box.top() * scale); y <= int(box.bottom() * scale); ++y) {
                for (int x = int(box.left() * scale); x <= int(box.right() * scale); ++x)
                    ink += qGray(at(image, x, y)) < 128;
            }
            return ink;
        };
        for (int r = 1; r <= 20; ++r)
            QVERIFY2(r <= 5 ? inkUnder(r) == 0 : inkUnder(r) > 10, qPrintable(QStringLiteral("label of row %1").arg(r)));

        const QColor colours[]{kRed, kGreen, kBlue};
        QCOMPARE(layout.legend.size(), std::size_t(3));
        for (std::size_t k = 0; k < 3; ++k) {
            QCOMPARE(layout.legend[k].text, (QStringList{"Датчик A", "Датчик B", "Датчик C"}).at(qsizetype(k)));
            QCOMPARE(QColor(image.pixel((layout.legend[k].marker.center() * scale).toPoint())), colours[k]);
            QVERIFY(layout.legend[k].textBox.left() > plot.right());
        }

        // A changed cell changes the picture, within the plot only.
        chart.grid().setData(QStringLiteral("900")); // the cursor is on row 20, column 3
        const QImage changed = render(chart, scale);
        const QRect plotPixels = QRectF(plot.topLeft() * scale, plot.bottomRight() * scale).toAlignedRect().adjusted(-4, -4, 4, 4);
        int differing = 0;
        for (int y = 0; y < image.height(); ++y) {
            if (std::memcmp(image.constScanLine(y), changed.constScanLine(y), std::size_t(image.bytesPerLine())) == 0)
                continue;
            for (int x = 0; x < image.width(); ++x) {
                if (at(image, x, y) != at(changed, x, y)) {
                    QVERIFY2(plotPixels.contains(x, y), qPrintable(QStringLiteral("(%1, %2) outside the plot").arg(x).arg(y)));
                    ++differing;
                }
            }
        }
        QVERIFY(differing > 20);

        chart.setShowLegend(false);
        QVERIFY(chart.layout().legend.empty());
        QVERIFY(chart.layout().plot.right() > plot.right());
    }

    void valueAxisFollowsScaleOrData_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<QList<double>>("cells");
        QTest::addColumn<QList<double>>("marks");

        QTest::newRow("fixed -100..100 in 4, data beyond -> as set") << false << -100.0 << 100.0 << QList<double>{-5000, 5000}
                                                                    << QList<double>{-100, -50, 0, 50, 100};
        QTest::newRow("auto, 12..67 -> 0..80 in steps of 20") << true << 0.0 << 100.0 << QList<double>{12, 67}
                                                             << QList<double>{0, 20, 40, 60, 80};
        QTest::newRow("fixed but empty 5..5 -> fitted to the data") << false << 5.0 << 5.0 << QList<double>{2, 9}
                                                                    << QList<double>{2, 4, 6, 8, 10};
        QTest::newRow("auto, flat at 7 -> 6..8") << true << 0.0 << 100.0 << QList<double>{7, 7}
                                                << QList<double>{6, 6.5, 7, 7.5, 8};
    }

    void valueAxisFollowsScaleOrData()
    {
        QFETCH(bool, automatic);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(QList<double>, cells);
        QFETCH(QList<double>, marks);
        ChartGrid grid;
        grid.setColumnCount(1);
        grid.setRowCount(rt::Int16(cells.size()));
        for (qsizetype r = 0; r < cells.size(); ++r) {
            grid.setRow(rt::Int16(r + 1));
            grid.setData(QString::number(cells[r]));
        }
        grid.setScaleMajorDivision(4);
        grid.setScaleAuto(automatic);
        grid.setScaleMinimum(minimum);
        grid.setScaleMaximum(maximum);

        const ValueAxis axis = valueAxisOf(grid);
        QCOMPARE(axis.marks.size(), std::size_t(marks.size()));
        for (qsizetype k = 0; k < marks.size(); ++k)
            QVERIFY2(std::abs(axis.marks[std::size_t(k)] - marks[k]) < 1e-9, qPrintable(valueAxisLabel(axis.marks[std::size_t(k)])));
        QCOMPARE(axis.minimum, marks.first());
        QCOMPARE(axis.maximum, marks.last());
    }

    void segmentIsCutAtTheBoxEdges_data()
    {
        QTest::addColumn<QLineF>("segment");
        QTest::addColumn<QLineF>("expected"); // a null line: nothing left
        QTest::newRow("inside -> unchanged") << QLineF(10, 10, 90, 50) << QLineF(10, 10, 90, 50);
        QTest::newRow("up through the top -> ends at the top") << QLineF(50, 50, 50, -50) << QLineF(50, 50, 50, 0);
        QTest::newRow("1e300 above -> cut at the top") << QLineF(50, 50, 50, -1e300) << QLineF(50, 50, 50, 0);
        QTest::newRow("across both sides -> the part inside") << QLineF(-50, 50, 150, 50) << QLineF(0, 50, 100, 50);
        QTest::newRow("wholly above -> nothing") << QLineF(0, -10, 100, -20) << QLineF();
        QTest::newRow("corner to corner -> kept") << QLineF(0, 100, 100, 0) << QLineF(0, 100, 100, 0);
    }

    void segmentIsCutAtTheBoxEdges()
    {
        QFETCH(QLineF, segment);
        QFETCH(QLineF, expected);
        const std::optional<QLineF> inside = clipSegment(segment, QRectF(0, 0, 100, 100));
        QCOMPARE(inside.value_or(QLineF()), expected);
    }

};

QTEST_MAIN(TstGrapChart)
#include "tst_grap_chart.moc"
