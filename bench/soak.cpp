// Soak: the whole monitor for MINUTES under a hostile line.
//
//   ./run soak [MINUTES]      (Release build in build/soak/, default 10 minutes)
//   build/soak/bench/soak MINUTES --flood      the same line without its silences
//
// The real window runs offscreen with its real one-second timer; Com 1 is a
// pseudo-terminal whose far end a thread drives at the pace of 115200 bit/s
// (11,520 characters a second) with a mix of whole records, records cut at
// random points, random bytes (NUL, characters above 127), long lines
// without a line end, and silences of a few seconds. A probe timer every
// 20 ms measures how late the event loop serves it.
//
// Prints the time from start (from main() and from exec) to the first
// painted window and the memory then, and every minute: ticks so far, ticks
// that parsed a record, resident memory, CPU used by the monitor in that
// minute (the line-driving thread's own time taken out), the longest
// event-loop delay in that minute. At the end, the memory growth from the
// first minute's line to the last (with a one-minute run, from 10 seconds
// after the port opened to the end). Exits 1 when the monitor stopped ticking
// (under 50 ticks in a minute), lost its port, parsed no record at all, or
// grew by more than 2 MB; a crash ends it non-zero anyway.
#include "process_cpu.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <utility>

#include <time.h>
#include <unistd.h>

namespace {

constexpr int kBytesPerSecond = 11'520; // 115200 bit/s, 10 bits a character
constexpr int kProbeMs = 20;
constexpr int kMinuteMs = 60'000;
constexpr int kBaselineMs = 10'000;
constexpr int kMinTicksPerMinute = 50;
constexpr double kMaxGrowthKb = 2048;
constexpr int kDriverStopWaitMs = 3000;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Since the kernel started this process, loading of the libraries included;
// the kernel counts in clock ticks, so this is good to about 10 ms.
double secondsSinceExec()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Field 22, counted after the parenthesised program name.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return 0;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double startedAt = double(fields[19].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9 - startedAt;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return 0;
}

// What the far end sends: pieces of text, and now and then a silence.
class HostileLine {
public:
    explicit HostileLine(bool silences) : m_silences(silences) {}

    QByteArray next()
    {
        const int kind = pick(0, 99);
        if (kind < 60)
            return record();
        if (kind < 75)
            return record().left(pick(1, 12)); // cut anywhere, line end included
        if (kind < 90)
            return randomBytes(pick(1, 64));
        return longLine(pick(200, 3000));
    }

    // Asked once a second: after 10 to 20 seconds of talk, a pause of two
    // to five seconds.
    int silenceMs()
    {
        if (!m_silences || --m_secondsToSilence > 0)
            return 0;
        m_secondsToSilence = pick(10, 20);
        return pick(2000, 5000);
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    QByteArray record()
    {
        static constexpr const char *kLineEnds[] = {"\r\n", "\n", "\r", "\n\r"};
        return QByteArray::number(pick(0, 1023)) + ',' + QByteArray::number(pick(-1024, 1024)) + ','
            + QByteArray::number(pick(-1024, 1024)) + kLineEnds[pick(0, 3)];
    }
    QByteArray randomBytes(int count)
    {
        QByteArray bytes(count, '\0');
        for (char &c : bytes)
            c = static_cast<char>(pick(0, 255)); // NUL and characters above 127 among them
        return bytes;
    }
    QByteArray longLine(int count)
    {
        QByteArray bytes(count, '\0');
        for (char &c : bytes)
            c = "0123456789,. mV"[pick(0, 14)];
        return bytes;
    }

    std::mt19937 m_random{20261206};
    bool m_silences;
    int m_secondsToSilence = 10;
};

// Drives the far end of the line from its own thread at 115200 bit/s pace.
class LineDriver {
public:
    LineDriver(PtyPair &device, bool silences)
        : m_device(device), m_silences(silences), m_thread([this] { run(); })
    {
    }
    ~LineDriver() { stop(); }
    LineDriver(const LineDriver &) = delete;
    LineDriver &operator=(const LineDriver &) = delete;

    // The writes may wait on the monitor's reading, so the event loop must
    // keep running until the thread has ended.
    void requestStop() { m_stopping = true; }
    bool stopped() const { return m_stopped; }
    void stop()
    {
        requestStop();
        if (m_thread.joinable())
            m_thread.join();
    }
    double cpuSeconds() const { return m_cpuSeconds; }
    long long bytesSent() const { return m_bytesSent; }
    long long silentMs() const { return m_silentMs; }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        constexpr auto kStep = std::chrono::milliseconds(10);
        constexpr int kStepsPerSecond = 100;
        constexpr int kBytesPerStep = kBytesPerSecond / kStepsPerSecond;
        HostileLine line(m_silences);
        QByteArray pending;
        auto due = Clock::now();
        for (long long step = 0; !m_stopping; ++step) {
            if (step % kStepsPerSecond == 0) {
                if (const int pause = line.silenceMs(); pause > 0) {
                    sleepUnlessStopped(pause);
                    m_silentMs += pause;
                    due = Clock::now();
                }
            }
            while (pending.size() < kBytesPerStep)
                pending += line.next();
            const QByteArray chunk = pending.left(kBytesPerStep);
            pending.remove(0, chunk.size());
            if (m_device.send(chunk))
                m_bytesSent += chunk.size();
            m_cpuSeconds = threadCpuSeconds();
            due += kStep;
            std::this_thread::sleep_until(due);
        }
        m_stopped = true;
    }
    void sleepUnlessStopped(int ms)
    {
        for (int slept = 0; slept < ms && !m_stopping; slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    PtyPair &m_device;
    bool m_silences;
    std::atomic<bool> m_stopping = false;
    std::atomic<bool> m_stopped = false;
    std::atomic<double> m_cpuSeconds = 0;
    std::atomic<long long> m_bytesSent = 0;
    std::atomic<long long> m_silentMs = 0;
    std::thread m_thread;
};

// How late the event loop serves a timer that asks for every kProbeMs.
class DelayProbe {
public:
    explicit DelayProbe(QObject *context)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, context, [this] { fired(); });
        m_clock.start();
        m_timer.start(kProbeMs);
    }
    // The longest delay since the last call, in ms.
    double takeLongest() { return std::exchange(m_longestMs, 0.0); }

private:
    void fired()
    {
        const double now = double(m_clock.nsecsElapsed()) / 1e6;
        m_longestMs = std::max(m_longestMs, now - m_lastMs - kProbeMs);
        m_lastMs = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_lastMs = 0;
    double m_longestMs = 0;
};

struct Monitor {
    ReceptionState reception;
    Form1 form{reception};
    QTimer &tick = *form.findChild<QTimer *>(QStringLiteral("Timer1"));
    QAbstractButton &openClose = *form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"));
    QLineEdit &raw = *form.findChild<QLineEdit *>(QStringLiteral("Resive"));

    // Com 1 is the device, at 115200 bit/s, opened through the button.
    bool open(const QString &devicePath)
    {
        form.findChild<MSComm *>(QStringLiteral("MSComm1"))->setDeviceMap({{QStringLiteral("1"), devicePath}});
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
        form.findChild<QAbstractButton *>(QStringLiteral("Spd_baud(7)"))->click();
        openClose.click();
        return tick.isActive();
    }
    // A tick parsed a record when it took a text and the parse emptied Rx_Line.
    bool lastTickParsed() const { return !raw.text().isEmpty() && reception.Rx_Line.isEmpty(); }
};

class Soak : public QObject {
public:
    Soak(Monitor &monitor, PtyPair &device, int minutes, bool silences)
        : m_monitor(monitor), m_driver(device, silences), m_minutes(minutes)
    {
        // Connected after the window's own handler, so it sees each tick's outcome.
        connect(&m_monitor.tick, &QTimer::timeout, this, &Soak::afterTick);
        connect(&m_minute, &QTimer::timeout, this, &Soak::minutePassed);
        m_minute.start(kMinuteMs);
        QTimer::singleShot(kBaselineMs, this, [this] { m_baselineKb = residentKb(); });
        m_cpuAtMinuteStart = monitorCpuSeconds();
    }

    bool passed() const { return m_passed; }

private:
    double monitorCpuSeconds() const { return processCpuSeconds() - m_driver.cpuSeconds(); }

    void afterTick()
    {
        ++m_ticks;
        m_parsed += m_monitor.lastTickParsed() ? 1 : 0;
    }

    void minutePassed()
    {
        ++m_minutesDone;
        const long rss = residentKb();
        const double cpu = monitorCpuSeconds();
        std::printf("minute %3d: %6lld ticks, %6lld records parsed, rss %7.1f MB, cpu %6.2f s, "
                    "longest event-loop delay %6.1f ms\n",
                    m_minutesDone, m_ticks, m_parsed, double(rss) / 1024, cpu - m_cpuAtMinuteStart,
                    m_probe.takeLongest());
        std::fflush(stdout);
        check(m_ticks - m_ticksAtMinuteStart >= kMinTicksPerMinute, "the monitor stopped ticking");
        check(m_monitor.tick.isActive(), "the port was closed");
        m_cpuAtMinuteStart = cpu;
        m_ticksAtMinuteStart = m_ticks;
        if (m_minutesDone == 1 && m_minutes > 1)
            m_baselineKb = rss;
        if (m_minutesDone == m_minutes)
            finish(rss);
    }

    void finish(long rss)
    {
        m_minute.stop();
        const double growthKb = double(rss - m_baselineKb);
        std::printf("memory growth %+.1f MB (%s to the end); line: %lld characters sent, %.0f s of silence\n",
                    growthKb / 1024, m_minutes > 1 ? "first minute" : "10 s", m_driver.bytesSent(),
                    double(m_driver.silentMs()) / 1000);
        check(m_parsed > 0, "no record was parsed");
        check(growthKb <= kMaxGrowthKb, "memory grew by more than 2 MB");
        std::printf("%s\n", m_passed ? "soak passed" : "soak FAILED");
        m_driver.requestStop();
        connect(&m_waitForDriver, &QTimer::timeout, this, [this] {
            if (m_driver.stopped()) {
                QCoreApplication::exit(m_passed ? 0 : 1);
                return;
            }
            // With the port closed nobody drains the line, and the driver's
            // write never returns: the figures are out, so leave without it.
            if (++m_waitedTicks > kDriverStopWaitMs / 10) {
                std::fflush(stdout);
                std::_Exit(m_passed ? 0 : 1);
            }
        });
        m_waitForDriver.start(10);
    }

    void check(bool condition, const char *failure)
    {
        if (condition)
            return;
        std::printf("FAILED: %s\n", failure);
        m_passed = false;
    }

    Monitor &m_monitor;
    LineDriver m_driver;
    DelayProbe m_probe{this};
    QTimer m_minute;
    QTimer m_waitForDriver;
    int m_waitedTicks = 0;
    int m_minutes;
    int m_minutesDone = 0;
    long long m_ticks = 0;
    long long m_ticksAtMinuteStart = 0;
    long long m_parsed = 0;
    long m_baselineKb = 0;
    double m_cpuAtMinuteStart = 0;
    bool m_passed = true;
};

// Reports the first paint of the window: how long the start took.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QElapsedTimer &sinceStart) : m_sinceStart(sinceStart) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            std::printf("window painted %lld ms after main() began, %.0f ms after the program started; rss %.1f MB\n",
                        static_cast<long long>(m_sinceStart.elapsed()), secondsSinceExec() * 1000,
                        double(residentKb()) / 1024);
            std::fflush(stdout);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer &m_sinceStart;
    bool m_seen = false;
};

struct Options {
    int minutes = 10;
    bool silences = true;
    bool valid = true;
};

Options optionsFrom(int argc, char *argv[])
{
    Options options;
    for (int k = 1; k < argc; ++k) {
        const QByteArray argument(argv[k]);
        bool number = false;
        const int minutes = argument.toInt(&number);
        if (number && minutes > 0)
            options.minutes = minutes;
        else if (argument == "--flood")
            options.silences = false;
        else
            options.valid = false;
    }
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    const Options options = optionsFrom(argc, argv);
    if (!options.valid) {
        std::fprintf(stderr, "usage: soak [MINUTES] [--flood]\n");
        return 2;
    }
    QApplication app(argc, argv);
    PtyPair device;
    if (!device.isValid()) {
        std::fprintf(stderr, "cannot create a pseudo-terminal pair\n");
        return 1;
    }
    Monitor monitor;
    FirstPaint firstPaint(sinceStart);
    monitor.form.installEventFilter(&firstPaint);
    monitor.form.show();
    if (!monitor.open(device.slavePath())) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    std::printf("soaking for %d minute(s): Com 1 is %s at 115200 bit/s%s\n", options.minutes,
                qPrintable(device.slavePath()), options.silences ? "" : ", no silences");
    Soak soak(monitor, device, options.minutes, options.silences);
    return app.exec();
}
