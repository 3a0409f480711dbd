#include "chart/chart_grid.h"

#include "runtime/decimal_chars.h"
#include "runtime/numbered_error.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace {

// Sample values shown before set-up, four series by five rows.
constexpr std::array<std::array<double, 4>, 5> kSampleValues{{
    {20, 35, 10, 50},
    {45, 25, 30, 40},
    {30, 55, 20, 60},
    {60, 40, 45, 35},
    {40, 70, 35, 55},
}};

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Checks the shape of one decimal number so that from_chars never sees what it
// would take on its own terms ("inf", "nan", hexadecimal).
bool isDecimalNumber(const std::string &text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    bool mantissaDigits = false;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        mantissaDigits = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        if (i == text.size() || !isDigit(text[i]))
            return false;
        while (i < text.size() && isDigit(text[i]))
            ++i;
    }
    return i == text.size();
}

// The number a Data text stands for, read the same way whatever the host's
// locale; nothing when the text is not one finite decimal number.
std::optional<double> parseDecimal(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    const QStringView core = text.sliced(first, last - first);
    for (QChar c : core) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
    }
    std::string ascii = core.toLatin1().toStdString();
    if (!isDecimalNumber(ascii))
        return std::nullopt;
    if (ascii.front() == '+')
        ascii.erase(0, 1); // from_chars takes no plus sign
    double value = 0;
    const auto [end, error] = rt::decimalFromChars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value == 0 ? 0.0 : value; // no "-0" on read-back
}

QString shortestText(double value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

// Cuts the labels to `count`, or gives the new places their default labels.
void resizeLabels(QStringList &labels, rt::Int16 count, QString (*defaultLabel)(int))
{
    while (labels.size() > count)
        labels.removeLast();
    while (labels.size() < count)
        labels.append(defaultLabel(static_cast<int>(labels.size()) + 1));
}

} // namespace

ChartGrid::ChartGrid()
{
    setColumnCount(static_cast<rt::Int16>(kSampleValues.front().size()));
    setRowCount(static_cast<rt::Int16>(kSampleValues.size()));
    for (std::size_t r = 0; r < kSampleValues.size(); ++r) {
        for (std::size_t c = 0; c < kSampleValues[r].size(); ++c)
            m_cells[static_cast<qsizetype>(r)][static_cast<qsizetype>(c)] = kSampleValues[r][c];
    }
}

void ChartGrid::setColumnCount(rt::Int16 count)
{
    if (count < 1 || count > kMaxColumns)
        rt::raiseInvalidPropertyValue(QStringLiteral("ColumnCount %1").arg(count));
    for (QVector<double> &cells : m_cells)
        cells.resize(count, 0.0);
    resizeLabels(m_columnLabels, count, &ChartGrid::defaultColumnLabel);
    m_columnCount = count;
    m_column = std::min(m_column, count);
    changed();
}

void ChartGrid::setRowCount(rt::Int16 count)
{
    if (count < 1 || count > kMaxRows)
        rt::raiseInvalidPropertyValue(QStringLiteral("RowCount %1").arg(count));
    m_cells.resize(count, QVector<double>(m_columnCount, 0.0));
    resizeLabels(m_rowLabels, count, &ChartGrid::defaultRowLabel);
    m_rowCount = count;
    m_row = std::min(m_row, count);
    changed();
}

void ChartGrid::setRow(rt::Int16 row)
{
    checkCursor(row, m_column);
    m_row = row;
    changed();
}

void ChartGrid::setColumn(rt::Int16 column)
{
    checkCursor(m_row, column);
    m_column = column;
    changed();
}

QString ChartGrid::data() const
{
    return shortestText(valueAt(m_row, m_column));
}

void ChartGrid::setData(const QString &text)
{
    const std::optional<double> value = parseDecimal(text);
    if (!value)
        rt::raiseInvalidPropertyValue(QStringLiteral("Data \"%1\"").arg(text));
    cellAtCursor() = *value;
    changed();
}

QString ChartGrid::rowLabel() const
{
    return rowLabelAt(m_row);
}

void ChartGrid::setRowLabel(const QString &label)
{
    m_rowLabels[m_row - 1] = label;
    changed();
}

QString ChartGrid::columnLabel() const
{
    return columnLabelAt(m_column);
}

void ChartGrid::setColumnLabel(const QString &label)
{
    m_columnLabels[m_column - 1] = label;
    changed();
}

void ChartGrid::setChartType(rt::Int16 type)
{
    if (type != kLineChart2d)
        rt::raiseInvalidPropertyValue(QStringLiteral("ChartType %1").arg(type));
    m_chartType = type;
    changed();
}

void ChartGrid::setShowLegend(bool show)
{
    m_showLegend = show;
    changed();
}

void ChartGrid::setScaleAuto(bool automatic)
{
    m_scaleAuto = automatic;
    changed();
}

void ChartGrid::setScaleMinimum(double minimum)
{
    if (!std::isfinite(minimum))
        rt::raiseInvalidPropertyValue(QStringLiteral("Minimum %1").arg(minimum));
    m_scaleMinimum = minimum;
    changed();
}

void ChartGrid::setScaleMaximum(double maximum)
{
    if (!std::isfinite(maximum))
        rt::raiseInvalidPropertyValue(QStringLiteral("Maximum %1").arg(maximum));
    m_scaleMaximum = maximum;
    changed();
}

void ChartGrid::setScaleMajorDivision(rt::Int16 divisions)
{
    if (divisions < 1)
        rt::raiseInvalidPropertyValue(QStringLiteral("MajorDivision %1").arg(divisions));
    m_scaleMajorDivision = divisions;
    changed();
}

double ChartGrid::valueAt(int row, int column) const
{
    checkCursor(row, column);
    return m_cells[row - 1][column - 1];
}

QString ChartGrid::rowLabelAt(int row) const
{
    checkCursor(row, 1);
    return m_rowLabels[row - 1];
}

QString ChartGrid::columnLabelAt(int column) const
{
    checkCursor(1, column);
    return m_columnLabels[column - 1];
}

void ChartGrid::setChangeListener(std::function<void()> listener)
{
    m_changeListener = std::move(listener);
}

void ChartGrid::changed() const
{
    if (m_changeListener)
        m_changeListener();
}

void ChartGrid::checkCursor(int row, int column) const
{
    if (row < 1 || row > m_rowCount)
        rt::raiseInvalidPropertyValue(QStringLiteral("Row %1 of %2").arg(row).arg(m_rowCount));
    if (column < 1 || column > m_columnCount)
        rt::raiseInvalidPropertyValue(QStringLiteral("Column %1 of %2").arg(column).arg(m_columnCount));
}

double &ChartGrid::cellAtCursor()
{
    return m_cells[m_row - 1][m_column - 1];
}

QString ChartGrid::defaultRowLabel(int row)
{
    return QStringLiteral("R%1").arg(row);
}

QString ChartGrid::defaultColumnLabel(int column)
{
    return QStringLiteral("C%1").arg(column);
}
