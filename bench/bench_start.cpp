// How far the monitor's start is from the toolkit's own floor: starts a bare
// Qt Widgets window with the same controls and a painted chart, the monitor,
// and (where it was built) a bare Qt Charts window, in turn under the current
// X display, and prints for each the median times from start to its first
// mapped window and to its first paint, the median peak memory, and the
// monitor's ratios to the others.
//
//   xvfb-run -a build/soak/bench/bench_start [--runs N] [--monitor PROGRAM]
//
// N defaults to 10 rounds. Times are from fork to the X server's MapNotify of
// the program's first top-level window, and to the first change of a mapped
// window's contents (a DamageNotify: the program's first paint reaching the
// server). Peak memory is the kernel's highest resident set (ru_maxrss) of
// the program, ended by SIGTERM a moment after its window appeared.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <xcb/damage.h>
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
    double paintMs = 0;
    double peakMb = 0;
};

struct Figures {
    std::vector<double> mapMs;
    std::vector<double> paintMs;
    std::vector<double> peakMb;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Watches the root window for windows being created and mapped; nullptr
// without a display or without the DAMAGE extension.
xcb_connection_t *watchRoot()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return nullptr;
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(connection, &xcb_damage_id);
    if (damage == nullptr || !damage->present) {
        xcb_disconnect(connection);
        return nullptr;
    }
    free(xcb_damage_query_version_reply(connection, xcb_damage_query_version(connection, 1, 1), nullptr));
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    return connection;
}

// Times to the first MapNotify and to the first DamageNotify of a mapped
// window. Every new top-level window is watched for damage from its
// creation, so that a paint right after the mapping cannot be missed.
struct Sighting {
    std::optional<double> mapMs;
    std::optional<double> paintMs;
};

void handleEvent(xcb_connection_t *connection, const xcb_generic_event_t *event, const QElapsedTimer &clock,
                 Sighting &sighting, std::vector<xcb_damage_damage_t> &damages)
{
    const uint8_t type = event->response_type & 0x7f;
    const uint8_t damageNotify = xcb_get_extension_data(connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
    if (type == XCB_CREATE_NOTIFY) {
        const auto *created = reinterpret_cast<const xcb_create_notify_event_t *>(event);
        damages.push_back(xcb_generate_id(connection));
        xcb_damage_create(connection, damages.back(), created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        xcb_flush(connection);
    } else if (type == XCB_MAP_NOTIFY && !sighting.mapMs) {
        sighting.mapMs = double(clock.nsecsElapsed()) / 1e6;
    } else if (type == damageNotify && sighting.mapMs && !sighting.paintMs) {
        sighting.paintMs = double(clock.nsecsElapsed()) / 1e6;
    }
}

Sighting waitForFirstPaint(xcb_connection_t *connection, const QElapsedTimer &clock)
{
    Sighting sighting;
    std::vector<xcb_damage_damage_t> damages;
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (!sighting.paintMs && clock.elapsed() < kMapTimeoutMs) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            handleEvent(connection, event, clock, sighting, damages);
            free(event);
        }
        poll(&descriptor, 1, 100);
    }
    for (const xcb_damage_damage_t damage : damages)
        xcb_damage_destroy(connection, damage);
    xcb_flush(connection);
    return sighting;
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
    const Sighting sighting = waitForFirstPaint(connection, clock);
    waitMs(kSettleMs);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    // Events of the ended program's windows are of no further use.
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
        free(event);
    if (!sighting.paintMs)
        return std::nullopt;
    return Start{*sighting.mapMs, *sighting.paintMs, double(usage.ru_maxrss) / 1024.0};
}

void record(Figures &figures, const Start &start)
{
    figures.mapMs.push_back(start.mapMs);
    figures.paintMs.push_back(start.paintMs);
    figures.peakMb.push_back(start.peakMb);
}

struct Contender {
    const char *name;
    const char *program;
    Figures figures;
};

void printRatios(const Contender &monitor, const Contender &other)
{
    std::printf("ratio monitor/%s: start to mapped window %.2fx, to first paint %.2fx, peak memory %.2fx\n", other.name,
                median(monitor.figures.mapMs) / median(other.figures.mapMs),
                median(monitor.figures.paintMs) / median(other.figures.paintMs),
                median(monitor.figures.peakMb) / median(other.figures.peakMb));
}

void printFigures(const char *name, const Figures &figures)
{
    std::printf("%-8s start to first mapped window: median %.1f ms (min %.1f); to first paint: median %.1f ms "
                "(min %.1f); peak memory median %.1f MB\n",
                name, median(figures.mapMs), *std::min_element(figures.mapMs.begin(), figures.mapMs.end()),
                median(figures.paintMs), *std::min_element(figures.paintMs.begin(), figures.paintMs.end()),
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
        std::fputs("bench_start: no X display with the DAMAGE extension (try xvfb-run -a)\n", stderr);
        return 1;
    }
    std::vector<Contender> contenders{{"painted", BARE_PAINTED_WINDOW_PROGRAM, {}}};
#ifdef BARE_CHART_WINDOW_PROGRAM
    contenders.push_back({"charts", BARE_CHART_WINDOW_PROGRAM, {}});
#endif
    const QByteArray monitorProgram = parser.value(monitor).toLocal8Bit();
    contenders.push_back({"monitor", monitorProgram.constData(), {}});
    const int rounds = std::max(1, parser.value(runs).toInt());
    for (int round = 0; round < rounds; ++round) {
        for (Contender &contender : contenders) {
            const std::optional<Start> start = startOnce(connection, QString::fromLocal8Bit(contender.program));
            if (!start) {
                std::fprintf(stderr, "bench_start: %s: the window did not appear or was never painted\n", contender.program);
                return 1;
            }
            record(contender.figures, *start);
        }
    }
    xcb_disconnect(connection);
    std::printf("%d interleaved rounds\n", rounds);
    for (const Contender &contender : contenders)
        printFigures(contender.name, contender.figures);
    for (std::size_t k = 0; k + 1 < contenders.size(); ++k)
        printRatios(contenders.back(), contenders[k]);
#ifndef BARE_CHART_WINDOW_PROGRAM
    std::puts("(no bare Qt Charts window: install qt6-charts-dev and build again to compare with it)");
#endif
    return 0;
}
