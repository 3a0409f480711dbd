#include "chart/grap_chart.h"

#include "chart/segment_clip.h"
#include "runtime/int16.h"

#include <QEvent>
#include <QFont>
#include <QPainter>
#include <QPaintDevice>

namespace {

const QColor kGridColour(0xe0, 0xe0, 0xe0);
const QColor kAxisColour(0xa0, 0xa0, 0xa0);
const QColor kTextColour(0x40, 0x40, 0x40);
constexpr double kLineWidth = 2;

QFont chartFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    // Where that face is missing, fontconfig picks a sans face with Cyrillic.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// One column's line as the segments that lie inside the plot: a value beyond
// the scale cuts the line at the plot's edge and it goes on where it returns.
QList<QLineF> visibleSegments(const ChartGrid &grid, const ChartLayout &layout, int column)
{
    QList<QLineF> segments;
    QPointF previous = layout.pointAt(1, grid.valueAt(1, column));
    for (int r = 2; r <= grid.rowCount(); ++r) {
        const QPointF next = layout.pointAt(r, grid.valueAt(r, column));
        if (const std::optional<QLineF> inside = clipSegment(QLineF(previous, next), layout.plot))
            segments.append(*inside);
        previous = next;
    }
    return segments;
}

} // namespace

ValueScale::ValueScale(ChartGrid &grid, QObject *parent)
    : QObject(parent)
    , m_grid(grid)
{
    setObjectName(QStringLiteral("ValueScale"));
}

bool ValueScale::isAuto() const { return m_grid.scaleAuto(); }
void ValueScale::setAuto(bool automatic) { m_grid.setScaleAuto(automatic); }
double ValueScale::minimum() const { return m_grid.scaleMinimum(); }
void ValueScale::setMinimum(double minimum) { m_grid.setScaleMinimum(minimum); }
double ValueScale::maximum() const { return m_grid.scaleMaximum(); }
void ValueScale::setMaximum(double maximum) { m_grid.setScaleMaximum(maximum); }
int ValueScale::majorDivision() const { return m_grid.scaleMajorDivision(); }
void ValueScale::setMajorDivision(int divisions) { m_grid.setScaleMajorDivision(rt::toInt16(divisions)); }

GrapChart::GrapChart(QWidget *parent)
    : QWidget(parent)
    , m_valueScale(new ValueScale(m_grid, this))
{
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel is painted by paintEvent: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(chartFont());
    m_grid.setChangeListener([this] { gridChanged(); });
}

int GrapChart::columnCount() const { return m_grid.columnCount(); }
void GrapChart::setColumnCount(int count) { m_grid.setColumnCount(rt::toInt16(count)); }
int GrapChart::rowCount() const { return m_grid.rowCount(); }
void GrapChart::setRowCount(int count) { m_grid.setRowCount(rt::toInt16(count)); }
int GrapChart::row() const { return m_grid.row(); }
void GrapChart::setRow(int row) { m_grid.setRow(rt::toInt16(row)); }
int GrapChart::column() const { return m_grid.column(); }
void GrapChart::setColumn(int column) { m_grid.setColumn(rt::toInt16(column)); }
QString GrapChart::data() const { return m_grid.data(); }
void GrapChart::setData(const QString &text) { m_grid.setData(text); }
QString GrapChart::rowLabel() const { return m_grid.rowLabel(); }
void GrapChart::setRowLabel(const QString &label) { m_grid.setRowLabel(label); }
QString GrapChart::columnLabel() const { return m_grid.columnLabel(); }
void GrapChart::setColumnLabel(const QString &label) { m_grid.setColumnLabel(label); }
int GrapChart::chartType() const { return m_grid.chartType(); }
void GrapChart::setChartType(int type) { m_grid.setChartType(rt::toInt16(type)); }
bool GrapChart::showLegend() const { return m_grid.showLegend(); }
void GrapChart::setShowLegend(bool show) { m_grid.setShowLegend(show); }

const ChartLayout &GrapChart::layout()
{
    ChartShape shape = ChartShape::of(m_grid, size());
    if (m_shape != shape) {
        m_layout = ChartLayout::of(shape, QFontMetricsF(font()));
        m_shape = std::move(shape);
        m_fixedTextsRatio = 0;
        m_rowLabelPictures.clear();
        ++m_layoutCount;
    }
    return m_layout;
}

// The axis's labels and the legend's texts, each drawn into a picture of its
// own once per layout and pixel ratio: a laid-out text costs far more to draw
// than its picture, and the pictures together are a small part of the chart.
void GrapChart::paintFixedTexts(QPainter &painter, double pixelRatio)
{
    if (m_fixedTextsRatio != pixelRatio) {
        m_fixedTexts.clear();
        for (const ChartLayout::Mark &mark : m_layout.marks)
            m_fixedTexts.push_back({mark.textBox.topLeft(), textPicture(mark.text, mark.textBox.size(), pixelRatio, Qt::AlignRight)});
        for (const ChartLayout::LegendEntry &entry : m_layout.legend)
            m_fixedTexts.push_back({entry.textBox.topLeft(), textPicture(entry.text, entry.textBox.size(), pixelRatio, Qt::AlignLeft)});
        m_fixedTextsRatio = pixelRatio;
    }
    for (const PlacedPicture &text : m_fixedTexts)
        painter.drawPixmap(text.at, text.picture);
}

// A scroll writes the grid about four hundred times; one repaint is asked
// for, and Qt runs it once control is back in the event loop.
void GrapChart::gridChanged()
{
    if (m_repaintAsked)
        return;
    m_repaintAsked = true;
    update();
}

void GrapChart::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_shape.reset();
    QWidget::changeEvent(event);
}

void GrapChart::paintEvent(QPaintEvent *)
{
    m_repaintAsked = false;
    ++m_paintCount;
    layout();
    QPainter painter(this);
    const double pixelRatio = painter.device()->devicePixelRatioF();
    painter.fillRect(rect(), Qt::white);
    paintGrid(painter);
    paintLegendMarkers(painter);
    paintFixedTexts(painter, pixelRatio);
    paintRowLabels(painter, pixelRatio);
    paintSeries(painter);
}

// Lines one pixel wide along the axes, filled as rectangles: Qt fills those
// row by row, where a drawn line goes pixel by pixel.
void GrapChart::paintGrid(QPainter &painter) const
{
    const QRectF &plot = m_layout.plot;
    const double tick = m_layout.markLength;
    for (const ChartLayout::Mark &mark : m_layout.marks) {
        painter.fillRect(QRectF(plot.left(), mark.y, plot.width(), 1), kGridColour);
        painter.fillRect(QRectF(plot.left() - tick, mark.y, tick, 1), kAxisColour);
    }
    for (const double x : m_layout.dividerX) {
        painter.fillRect(QRectF(x, plot.top(), 1, plot.height()), kGridColour);
        painter.fillRect(QRectF(x, plot.bottom(), 1, tick), kAxisColour);
    }
    painter.fillRect(QRectF(plot.left(), plot.top(), 1, plot.height() + 1), kAxisColour);
    painter.fillRect(QRectF(plot.left(), plot.bottom(), plot.width() + 1, 1), kAxisColour);
}

// Labels move one row a tick: each is drawn once, into a picture of its own,
// when it first appears, and the picture is kept while any row shows it.
void GrapChart::paintRowLabels(QPainter &painter, double pixelRatio)
{
    QHash<QString, QPixmap> shown;
    for (int r = 1; r <= static_cast<int>(m_layout.rowLabelBoxes.size()); ++r) {
        const QString label = m_grid.rowLabelAt(r);
        if (label.isEmpty())
            continue;
        // The box turned back a quarter to the right, onto the screen.
        const QRectF &box = m_layout.rowLabelBoxes[static_cast<std::size_t>(r - 1)];
        const QRectF onScreen(box.top(), -box.right(), box.height(), box.width());
        QPixmap picture = m_rowLabelPictures.value(label);
        if (picture.isNull() || picture.devicePixelRatio() != pixelRatio)
            picture = textPicture(label, onScreen.size(), pixelRatio, Qt::AlignRight, TextDirection::Upwards);
        painter.drawPixmap(onScreen.topLeft(), picture);
        shown.insert(label, picture);
    }
    m_rowLabelPictures.swap(shown);
}

// A text in the chart's font on white (everything around the plot is white),
// in a picture of `size`; upwards, it reads from the bottom, its end at the top.
QPixmap GrapChart::textPicture(const QString &text, QSizeF size, double pixelRatio, Qt::Alignment alignment,
                               TextDirection direction) const
{
    QPixmap picture((size * pixelRatio).toSize());
    picture.setDevicePixelRatio(pixelRatio);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setFont(font());
    painter.setPen(kTextColour);
    QRectF box(QPointF(0, 0), size);
    if (direction == TextDirection::Upwards) {
        painter.translate(0, size.height());
        painter.rotate(-90);
        box = QRectF(0, 0, size.height(), size.width());
    }
    painter.drawText(box, alignment | Qt::AlignVCenter, text);
    return picture;
}

void GrapChart::paintSeries(QPainter &painter) const
{
    for (int c = 1; c <= m_grid.columnCount(); ++c) {
        // Separate segments with square caps, which close the joints: Qt's
        // raster engine draws those itself, where a polyline or round caps go
        // through its general path stroker at ten times the cost.
        painter.setPen(QPen(seriesColour(c), kLineWidth, Qt::SolidLine, Qt::SquareCap));
        painter.drawLines(visibleSegments(m_grid, m_layout, c));
    }
}

void GrapChart::paintLegendMarkers(QPainter &painter) const
{
    for (std::size_t k = 0; k < m_layout.legend.size(); ++k) {
        const QColor colour = seriesColour(static_cast<int>(k) + 1);
        painter.setPen(colour.darker(150));
        painter.setBrush(colour);
        painter.drawRect(m_layout.legend[k].marker);
    }
}
