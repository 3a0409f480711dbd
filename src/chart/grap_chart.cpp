#include "chart/grap_chart.h"

#include "runtime/int16.h"

#include <QCategoryAxis>
#include <QChart>
#include <QFont>
#include <QLegend>
#include <QLineSeries>
#include <QMetaObject>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr std::array<QColor, 3> kSensorColours{QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};

// Row labels along the bottom sit on a QCategoryAxis, the one Qt axis that
// puts a text at a chosen position of a numeric axis. It keys its categories
// by label, though, and silently drops a label it already has, while our rows
// often share a label: twenty empty ones after set-up, two readings within one
// second. So every label carries its row number, written in binary with two
// zero-width characters that are not line-break opportunities; the axis sees
// unique texts, the user sees the labels as written.
constexpr QChar kMarkZero = QChar(0x2060); // WORD JOINER
constexpr QChar kMarkOne = QChar(0x200C);  // ZERO WIDTH NON-JOINER

QString rowMark(int row)
{
    QString mark;
    for (; row > 0; row /= 2)
        mark.prepend(row % 2 == 0 ? kMarkZero : kMarkOne);
    return mark;
}

// Axis labels are rendered as rich text: escape the label and keep its blanks.
QString axisLabel(const QString &label, int row)
{
    return label.toHtmlEscaped().replace(QLatin1Char(' '), QLatin1String("&nbsp;")) + rowMark(row);
}

QFont chartFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    // Where that face is missing, fontconfig picks a sans face with Cyrillic.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The range the data covers, widened when every value is the same.
std::pair<double, double> dataRange(const ChartGrid &grid)
{
    double low = grid.valueAt(1, 1);
    double high = low;
    for (int r = 1; r <= grid.rowCount(); ++r) {
        for (int c = 1; c <= grid.columnCount(); ++c) {
            low = std::min(low, grid.valueAt(r, c));
            high = std::max(high, grid.valueAt(r, c));
        }
    }
    if (low == high)
        return {low - 1, high + 1};
    return {low, high};
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
    : QChartView(parent)
    , m_valueScale(new ValueScale(m_grid, this))
    , m_valueAxis(new QValueAxis(this))
    , m_rowAxis(new QCategoryAxis(this))
{
    setFocusPolicy(Qt::StrongFocus);
    // The theme's background is a white-to-white gradient in a rounded
    // rectangle: Qt's raster engine splits such a fill across its thread pool
    // at every repaint, waking two threads a tick. A plain white rectangle,
    // the same but for its square corners, is one memory fill on this thread.
    chart()->setBackgroundBrush(Qt::white);
    chart()->setBackgroundRoundness(0);

    const QFont font = chartFont();
    chart()->legend()->setFont(font);
    chart()->legend()->setAlignment(Qt::AlignRight);

    // The axes join the chart at the first redraw, already set up: an axis
    // in the chart lays itself out again at every change of its range.
    m_valueAxis->setLabelsFont(font);
    m_valueAxis->setLabelFormat(QStringLiteral("%g"));
    m_rowAxis->setLabelsFont(font);
    m_rowAxis->setLabelsAngle(-90);
    m_rowAxis->setStartValue(0.5);

    m_grid.setChangeListener([this] { scheduleRefresh(); });
    // Drawn once control is back in the event loop: the window's set-up
    // replaces the stored grid before anybody sees it.
    scheduleRefresh();
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

QString GrapChart::visibleLabel(const QString &axisLabel)
{
    QString text = axisLabel;
    text.remove(kMarkZero).remove(kMarkOne);
    return text.replace(QLatin1String("&nbsp;"), QLatin1String(" "))
        .replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
}

void GrapChart::refresh()
{
    m_refreshPending = false;
    refreshValueAxis();
    refreshRowAxis();
    if (chart()->axes().isEmpty()) {
        chart()->addAxis(m_valueAxis, Qt::AlignLeft);
        chart()->addAxis(m_rowAxis, Qt::AlignBottom);
    }
    matchSeriesToColumns();
    refreshSeries();
    chart()->legend()->setVisible(m_grid.showLegend());
    ++m_refreshCount;
}

void GrapChart::refreshIfPending()
{
    if (m_refreshPending)
        refresh();
}

// A burst of grid writes (a whole scroll is about 120) costs one redraw, run
// once control is back in the event loop.
void GrapChart::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &GrapChart::refreshIfPending, Qt::QueuedConnection);
}

void GrapChart::matchSeriesToColumns()
{
    while (m_series.size() > m_grid.columnCount()) {
        // removeSeries hands ownership back to us.
        const std::unique_ptr<QLineSeries> removed(m_series.takeLast());
        chart()->removeSeries(removed.get());
    }
    while (m_series.size() < m_grid.columnCount()) {
        auto *series = new QLineSeries(chart());
        chart()->addSeries(series);
        series->attachAxis(m_rowAxis);
        series->attachAxis(m_valueAxis);
        // Set after addSeries, which would paint over it with the theme.
        if (m_series.size() < static_cast<qsizetype>(kSensorColours.size()))
            series->setColor(kSensorColours[static_cast<std::size_t>(m_series.size())]);
        m_series.append(series);
    }
}

void GrapChart::refreshSeries()
{
    const int rows = m_grid.rowCount();
    for (int c = 1; c <= m_grid.columnCount(); ++c) {
        QList<QPointF> points;
        points.reserve(rows);
        for (int r = 1; r <= rows; ++r)
            points.append(QPointF(r, m_grid.valueAt(r, c)));
        QLineSeries *series = m_series[c - 1];
        series->replace(points);
        if (series->name() != m_grid.columnLabelAt(c))
            series->setName(m_grid.columnLabelAt(c));
    }
}

void GrapChart::refreshValueAxis()
{
    const double minimum = m_grid.scaleMinimum();
    const double maximum = m_grid.scaleMaximum();
    // A fixed scale that spans nothing cannot be drawn; show the data instead.
    if (!m_grid.scaleAuto() && minimum < maximum) {
        m_valueAxis->setRange(minimum, maximum);
        m_valueAxis->setTickCount(m_grid.scaleMajorDivision() + 1);
        return;
    }
    const auto [low, high] = dataRange(m_grid);
    m_valueAxis->setRange(low, high);
    m_valueAxis->applyNiceNumbers();
}

void GrapChart::refreshRowAxis()
{
    const int rows = m_grid.rowCount();
    // A new range lays the axis out at once, label by label; new labels wait
    // for the next layout. So the range goes first, while the labels are few.
    m_rowAxis->setRange(0.5, rows + 0.5);
    const QStringList shown = m_rowAxis->categoriesLabels();
    if (shown.size() != rows) {
        for (auto label = shown.crbegin(); label != shown.crend(); ++label)
            m_rowAxis->remove(*label);
        for (int r = 1; r <= rows; ++r)
            m_rowAxis->append(axisLabel(m_grid.rowLabelAt(r), r), r + 0.5);
    } else {
        for (int r = 1; r <= rows; ++r) {
            const QString label = axisLabel(m_grid.rowLabelAt(r), r);
            if (shown[r - 1] != label)
                m_rowAxis->replaceLabel(shown[r - 1], label);
        }
    }
}
