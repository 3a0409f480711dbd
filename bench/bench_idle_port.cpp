// What an open port costs the processor: CPU time of this process over
// 5 seconds of event loop with the port open and idle, then with one
// 14-byte record a second arriving and taken once a second, as the window's
// timer does.
//
//   cmake --build build/serial --target bench_idle_port && build/serial/bench/bench_idle_port
//
// A waiting port should cost next to nothing: reception is driven by the
// host's readiness notification, not by polling.
#include "process_cpu.h"
#include "pty_pair.h"
#include "serial/mscomm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>


namespace {

constexpr int kRunMilliseconds = 5000;

struct Figures {
    double cpuMilliseconds = 0;
    double wallMilliseconds = 0;
    qsizetype charactersTaken = 0;
};

// Runs the event loop for the measuring time; with `records` on, the far
// end sends a record each second and the port is read each second.
Figures measure(PtyPair &pty, MSComm &comm, bool records)
{
    QEventLoop loop;
    QTimer device;
    QTimer reader;
    Figures figures;
    if (records) {
        QObject::connect(&device, &QTimer::timeout, &loop, [&pty] { pty.send("512,300,1023\r\n"); });
        QObject::connect(&reader, &QTimer::timeout, &loop, [&comm, &figures] {
            if (comm.InBufferCount() >= 2)
                figures.charactersTaken += comm.Input().size();
        });
        device.start(1000);
        reader.start(1000);
    }
    QTimer::singleShot(kRunMilliseconds, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuSeconds();
    loop.exec();
    figures.cpuMilliseconds = (processCpuSeconds() - cpuBefore) * 1000.0;
    figures.wallMilliseconds = double(wall.elapsed());
    return figures;
}

void print(const char *what, const Figures &figures)
{
    std::printf("%-34s cpu %7.2f ms over %6.0f ms wall (%.3f%% of one core), %lld characters taken\n", what,
                figures.cpuMilliseconds, figures.wallMilliseconds,
                100.0 * figures.cpuMilliseconds / figures.wallMilliseconds,
                static_cast<long long>(figures.charactersTaken));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PtyPair pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "cannot create a pseudo-terminal pair\n");
        return 1;
    }
    MSComm comm;
    comm.setDeviceMap({{QStringLiteral("1"), pty.slavePath()}});
    comm.setSettings(QStringLiteral("9600,n,8,1"));
    comm.setPortOpen(true);

    print("port open, idle:", measure(pty, comm, false));
    print("port open, one record a second:", measure(pty, comm, true));
    return 0;
}
