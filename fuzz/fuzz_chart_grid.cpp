// libFuzzer target for the chart grid: the input is a sequence of the grid's
// operations (counts, cursor moves, Data and label writes, reads, scale
// settings, one-tick scrolls). Only the numbered errors 380 and 6 may escape
// an operation. A failed one (a scroll aside, which keeps the moves it made)
// changes neither the counts, the cursor, its cell nor its labels, and tells
// no listener. After every operation the counts and the cursor stay within
// their bounds, and the cells at the cursor and the far corner hold finite
// numbers.
//
//   tools/fuzz.sh 60        (or: build/fuzz/fuzz/fuzz_chart_grid CORPUS fuzz/seeds/fuzz_chart_grid)

#include "chart/chart_grid.h"
#include "chart/chart_scroll.h"
#include "runtime/numbered_error.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdint>

namespace {

// Enough operations to grow, scroll and shrink. A scroll moves every cell
// through the cursor, so only grids up to a few hundred cells are scrolled:
// the code walks the same path at any size, and the fuzzer stays fast.
constexpr int kMaxOperations = 64;
constexpr int kMaxScrolledCells = 300;

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// What a failed operation must leave as it was.
struct Snapshot {
    rt::Int16 rows, columns, row, column;
    double cell; // under the cursor
    QString rowLabel, columnLabel;
    bool operator==(const Snapshot &) const = default;
};

Snapshot snapshotOf(const ChartGrid &grid)
{
    return {grid.rowCount(), grid.columnCount(), grid.row(), grid.column(),
            grid.valueAt(grid.row(), grid.column()), grid.rowLabel(), grid.columnLabel()};
}

void requireWithinBounds(const ChartGrid &grid)
{
    require(grid.columnCount() >= 1 && grid.columnCount() <= ChartGrid::kMaxColumns);
    require(grid.rowCount() >= 1 && grid.rowCount() <= ChartGrid::kMaxRows);
    require(grid.row() >= 1 && grid.row() <= grid.rowCount());
    require(grid.column() >= 1 && grid.column() <= grid.columnCount());
}

// Mostly values near the bounds, now and then any 16-bit value (large
// grids cost time on every operation that follows).
rt::Int16 pickCount(FuzzedDataProvider &input)
{
    if (input.ConsumeIntegralInRange(0, 7) == 0)
        return input.ConsumeIntegral<rt::Int16>();
    return input.ConsumeIntegralInRange<rt::Int16>(-2, 80);
}

QString pickText(FuzzedDataProvider &input)
{
    const std::string bytes = input.ConsumeRandomLengthString(24);
    return input.ConsumeBool() ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))
                               : QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::array<rt::Int16, 3> pickValues(FuzzedDataProvider &input)
{
    return {input.ConsumeIntegral<rt::Int16>(), input.ConsumeIntegral<rt::Int16>(), input.ConsumeIntegral<rt::Int16>()};
}

// Values a scale setting may be given, infinities and NaN included.
double pickScaleValue(FuzzedDataProvider &input)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return HUGE_VAL;
    case 1:
        return -HUGE_VAL;
    case 2:
        return std::nan("");
    default:
        return input.ConsumeFloatingPoint<double>();
    }
}

// A successful Data write reads back as the same number.
void writeData(ChartGrid &grid, const QString &text)
{
    grid.setData(text);
    const double stored = grid.valueAt(grid.row(), grid.column());
    require(std::isfinite(stored));
    require(grid.data().toDouble() == stored);
}

void scroll(ChartGrid &grid, const std::array<rt::Int16, 3> &values, const QString &label)
{
    if (grid.rowCount() * grid.columnCount() <= kMaxScrolledCells)
        scrollAndAppend(grid, values, label);
}

// A scroll is many writes in a row: when one fails, those before it stay.
constexpr int kScroll = 7;
constexpr int kLastOperation = 14;

void apply(ChartGrid &grid, FuzzedDataProvider &input, int operation)
{
    switch (operation) {
    case 0: grid.setRowCount(pickCount(input)); break;
    case 1: grid.setColumnCount(pickCount(input)); break;
    case 2: grid.setRow(pickCount(input)); break;
    case 3: grid.setColumn(pickCount(input)); break;
    case 4: writeData(grid, pickText(input)); break;
    case 5: grid.setRowLabel(pickText(input)); break;
    case 6: grid.setColumnLabel(pickText(input)); break;
    case kScroll: scroll(grid, pickValues(input), pickText(input)); break;
    case 8: grid.valueAt(pickCount(input), pickCount(input)); break;
    case 9: grid.rowLabelAt(pickCount(input)); break;
    case 10: grid.columnLabelAt(pickCount(input)); break;
    case 11: grid.setChartType(pickCount(input)); break;
    case 12: grid.setScaleMajorDivision(pickCount(input)); break;
    case 13: grid.setScaleMinimum(pickScaleValue(input)); break;
    default: grid.setScaleMaximum(pickScaleValue(input)); break;
    }
}

// Reads at the cursor and at the far corner; cells only ever hold finite numbers.
void requireReadable(const ChartGrid &grid)
{
    (void)grid.data();
    (void)grid.rowLabelAt(grid.rowCount());
    (void)grid.columnLabelAt(grid.columnCount());
    require(std::isfinite(grid.valueAt(grid.row(), grid.column())));
    require(std::isfinite(grid.valueAt(grid.rowCount(), grid.columnCount())));
    require(std::isfinite(grid.scaleMinimum()) && std::isfinite(grid.scaleMaximum()));
    require(grid.scaleMajorDivision() >= 1 && grid.chartType() == ChartGrid::kLineChart2d);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    ChartGrid grid;
    int notices = 0;
    grid.setChangeListener([&notices] { ++notices; });

    for (int k = 0; k < kMaxOperations && input.remaining_bytes() > 0; ++k) {
        const int operation = input.ConsumeIntegralInRange(0, kLastOperation);
        const Snapshot before = snapshotOf(grid);
        const int noticesBefore = notices;
        try {
            apply(grid, input, operation);
        } catch (const rt::NumberedError &error) {
            require(error.number() == rt::InvalidPropertyValue || error.number() == rt::Overflow);
            require(operation == kScroll || (snapshotOf(grid) == before && notices == noticesBefore));
        }
        requireWithinBounds(grid);
        requireReadable(grid);
    }
    return 0;
}
