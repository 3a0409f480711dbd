// How far the monitor's start is from the toolkit's own floor: starts the
// bare chart window and the monitor alternately under the current X display
// and prints, for each, the median time from start to its first mapped
// window and the median peak memory, and the monitor's ratios to the bare
// window.
//
//   xvfb-run -a build/soak/bench/bench_start [--runs N] [--monitor PROGRAM]
//
// N defaults to 10 rounds. Time is from fork to the X server's MapNotify of
// the program's first top-level window; peak memory is the kernel's highest
// resident set (ru_maxrss) of the program, ended by SIGTERM a moment after
// its window appeared.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kMapTimeoutMs = 20'000;
constexpr int kSettleMs = 500; // the first paint and what follows it

struct Start {
    double mapMs = 0;
    double peakMb = 0;
};

struct Figures {
    std::vector<double> mapMs;
    std::vector<double> peakMb;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Watches the root window for windows being mapped.
xcb_connection_t *watchRoot()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return nullptr;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    return connection;
}

bool waitForMap(xcb_connection_t *connection, const QElapsedTimer &clock)
{
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (clock.elapsed() < kMapTimeoutMs) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            free(event);
            if (mapped)
                return true;
        }
        poll(&descriptor, 1, 100);
    }
    return false;
}

void waitMs(int ms)
{
    usleep(useconds_t(ms) * 1000);
}

std::optional<Start> startOnce(xcb_connection_t *connection, const QString &program)
{
    const QByteArray path = program.toLocal8Bit();
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        execl(path.constData(), path.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    const bool mapped = waitForMap(connection, clock);
    const double mapMs = double(clock.nsecsElapsed()) / 1e6;
    waitMs(kSettleMs);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!mapped)
        return std::nullopt;
    return Start{mapMs, double(usage.ru_maxrss) / 1024.0};
}

void record(Figures &figures, const Start &start)
{
    figures.mapMs.push_back(start.mapMs);
    figures.peakMb.push_back(start.peakMb);
}

void printFigures(const char *name, const Figures &figures)
{
    std::printf("%-8s start to first mapped window: median %.1f ms (min %.1f); peak memory median %.1f MB\n", name,
                median(figures.mapMs), *std::min_element(figures.mapMs.begin(), figures.mapMs.end()),
                median(figures.peakMb));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Rounds."), QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption monitor(QStringLiteral("monitor"), QStringLiteral("The monitor program."),
                                     QStringLiteral("PROGRAM"), QStringLiteral(SENSOR_MONITOR_PROGRAM));
    parser.addOptions({runs, monitor});
    parser.process(app);

    xcb_connection_t *connection = watchRoot();
    if (connection == nullptr) {
        std::fputs("bench_start: no X display (try xvfb-run -a)\n", stderr);
        return 1;
    }
    Figures bare;
    Figures monitorFigures;
    const int rounds = std::max(1, parser.value(runs).toInt());
    for (int round = 0; round < rounds; ++round) {
        const std::optional<Start> floor = startOnce(connection, QStringLiteral(BARE_CHART_WINDOW_PROGRAM));
        const std::optional<Start> ours = startOnce(connection, parser.value(monitor));
        if (!floor || !ours) {
            std::fputs("bench_start: a window did not appear\n", stderr);
            return 1;
        }
        record(bare, *floor);
        record(monitorFigures, *ours);
    }
    xcb_disconnect(connection);
    std::printf("%d interleaved rounds\n", rounds);
    printFigures("bare", bare);
    printFigures("monitor", monitorFigures);
    std::printf("ratio monitor/bare: start %.2fx, peak memory %.2fx\n",
                median(monitorFigures.mapMs) / median(bare.mapMs),
                median(monitorFigures.peakMb) / median(bare.peakMb));
    return 0;
}
