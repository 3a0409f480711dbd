// Time of one sampling tick's scroll on the 3 x 20 grid, and of a whole tick:
// the scroll and the chart's repaint. Run:
//   QT_QPA_PLATFORM=offscreen build/<dir>/bench/bench_chart [DIVISOR]
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "setup/setup_chart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTextStream>

#include <algorithm>
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
    // An optional first argument scales the counts down, for a profiler.
    const int divisor = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1;
    const int kScrolls = 10000 / divisor;
    int tick = 0;
    report(out, "scrollAndAppend, 3 x 20 grid", kScrolls,
           microsecondsPerCall(kScrolls, [&tick](int k) { tick = k; }, [&grid, &tick] { scrollOnce(grid, tick); }));

    GrapChart chart;
    Init_Chart(chart.grid(), 3, 20);
    chart.resize(897, 441);
    chart.show();
    QCoreApplication::processEvents();

    // Every tick gets a fresh sample, as in the running program.
    const auto noPreparation = [](int) {};
    const int kTicks = 2000 / divisor;
    QImage picture(chart.size(), QImage::Format_ARGB32_Premultiplied);
    report(out, "one tick: scroll + paint the chart into an image", kTicks,
           microsecondsPerCall(kTicks, noPreparation, [&chart, &picture, &tick] {
               scrollOnce(chart.grid(), ++tick);
               chart.render(&picture);
           }));
    const int layoutsBefore = chart.layoutCount();
    report(out, "one tick on screen: scroll + repaint of the chart widget", kTicks,
           microsecondsPerCall(kTicks, noPreparation, [&chart, &tick] {
               scrollOnce(chart.grid(), ++tick);
               chart.repaint();
           }));
    out << "layouts during those ticks: " << chart.layoutCount() - layoutsBefore << "\n";
    return 0;
}
