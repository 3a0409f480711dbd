// Time of one sampling tick's scroll on the 3 x 20 grid, and of one redraw of
// the chart from it. Run:
//   QT_QPA_PLATFORM=offscreen build/<dir>/bench/bench_chart
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "setup/setup_chart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <functional>

namespace {

rt::Int16 sampleValue(int k, int offset)
{
    return static_cast<rt::Int16>((k * 37 + offset) % 1025);
}

QString timeLabel(int k)
{
    return QStringLiteral("%1:%2:%3")
        .arg(k / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(k / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(k % 60, 2, 10, QLatin1Char('0'));
}

void scrollOnce(ChartGrid &grid, int k)
{
    scrollAndAppend(grid, {sampleValue(k, 0), sampleValue(k, 300), sampleValue(k, 700)}, timeLabel(k));
}

// Microseconds per call of `measured` over `iterations` calls; `prepare` runs
// before each call, outside the clock.
double microsecondsPerCall(int iterations, const std::function<void(int)> &prepare,
                           const std::function<void()> &measured)
{
    qint64 nanoseconds = 0;
    QElapsedTimer timer;
    for (int k = 0; k < iterations; ++k) {
        prepare(k);
        timer.start();
        measured();
        nanoseconds += timer.nsecsElapsed();
    }
    return static_cast<double>(nanoseconds) / 1000.0 / iterations;
}

void report(QTextStream &out, const char *what, int iterations, double microseconds)
{
    out << what << ": " << QString::number(microseconds, 'f', 1) << " us per call over " << iterations
        << " calls\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTextStream out(stdout);

    ChartGrid grid;
    Init_Chart(grid, 3, 20);
    constexpr int kScrolls = 10000;
    int tick = 0;
    report(out, "scrollAndAppend, 3 x 20 grid", kScrolls,
           microsecondsPerCall(kScrolls, [&tick](int k) { tick = k; }, [&grid, &tick] { scrollOnce(grid, tick); }));

    GrapChart chart;
    Init_Chart(chart.grid(), 3, 20);
    chart.resize(897, 441);
    chart.show();
    QCoreApplication::processEvents();

    // Every refresh gets a fresh sample, as in the running program.
    const auto scrollChart = [&chart](int k) { scrollOnce(chart.grid(), k); };
    constexpr int kRefreshes = 1000;
    report(out, "GrapChart::refresh, 3 x 20", kRefreshes,
           microsecondsPerCall(kRefreshes, scrollChart, [&chart] { chart.refresh(); }));

    // The same plus the layout and painting that follow on screen.
    constexpr int kRenders = 200;
    report(out, "GrapChart::refresh + layout + paint to pixmap", kRenders,
           microsecondsPerCall(kRenders, scrollChart, [&chart] {
               chart.refresh();
               chart.grab();
           }));
    return 0;
}
