// sensor-sim: plays a three-sensor device for people testing their wiring or
// another program. Writes the generator's records to a serial device, or to
// a new pseudo-terminal with --pty, until stopped or --count records are out.
#include "app/termination_signals.h"
#include "sim/pty_device.h"
#include "sim/record_source.h"
#include "sim_command_line.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

#include <cstdio>

namespace {

// Exit statuses besides 0 (done, or stopped by a signal) and 2 (usage).
constexpr int kDeviceFailed = 1;

// A device slower than the pace asked for: what it cannot take in is dropped
// rather than piled up without end.
constexpr qint64 kWriteBacklogLimit = 4096;

// How long the records' reader may take to collect the last of them before
// the pseudo-terminal, and what it still holds, goes away.
constexpr int kDrainWaitMs = 2000;
constexpr int kDrainPollMs = 20;

void printError(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(text));
}

void setPace(RecordSource &source, const SimOptions &options)
{
    source.setInterval(options.intervalMs);
    source.setLineEnd(options.lineEnd);
    source.setCount(options.count);
}

int runOnPty(const SimOptions &options)
{
    PtyDevice device;
    if (!device.isValid()) {
        printError(QStringLiteral("cannot create a pseudo-terminal: %1").arg(device.errorString()));
        return kDeviceFailed;
    }
    setPace(device.source(), options);
    std::printf("%s\n", qPrintable(device.slavePath()));
    std::fflush(stdout);

    // Closing the master hangs up the slave and loses what it still holds.
    QTimer drainPoll;
    drainPoll.setInterval(kDrainPollMs);
    int waitedMs = 0;
    QObject::connect(&drainPoll, &QTimer::timeout, &device, [&] {
        waitedMs += kDrainPollMs;
        if (device.unreadBytes() == 0 || waitedMs >= kDrainWaitMs)
            QCoreApplication::quit();
    });
    QObject::connect(&device.source(), &RecordSource::finished, &drainPoll, qOverload<>(&QTimer::start));
    device.start();
    return QCoreApplication::exec();
}

int runOnSerial(const SimOptions &options)
{
    RecordSource source;
    QSerialPort port(options.device);
    port.setBaudRate(options.speed);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::WriteOnly)) {
        printError(QStringLiteral("cannot open %1: %2").arg(options.device, port.errorString()));
        return kDeviceFailed;
    }
    int status = 0;
    QObject::connect(&port, &QSerialPort::errorOccurred, &port, [&](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
            return;
        printError(QStringLiteral("%1: %2").arg(options.device, port.errorString()));
        status = kDeviceFailed;
        QCoreApplication::quit();
    });
    QObject::connect(&source, &RecordSource::recordDue, &port, [&port](const QByteArray &record) {
        if (port.bytesToWrite() <= kWriteBacklogLimit)
            port.write(record);
    });
    // After the last record, end once the line has taken everything.
    bool lastRecordOut = false;
    const auto quitWhenWritten = [&] {
        if (lastRecordOut && port.bytesToWrite() == 0)
            QCoreApplication::quit();
    };
    QObject::connect(&port, &QSerialPort::bytesWritten, &port, quitWhenWritten);
    QObject::connect(&source, &RecordSource::finished, &port, [&] {
        lastRecordOut = true;
        quitWhenWritten();
    });
    setPace(source, options);
    source.start();
    const int loopStatus = QCoreApplication::exec();
    return status != 0 ? status : loopStatus;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("sensor-sim"));
    const SimVerdict verdict = parseSimCommandLine(argumentsOf(argc, argv));
    if (!verdict.run)
        return verdict.printMessage();
    QCoreApplication app(argc, argv);
    TerminationSignals stopSignals;
    QObject::connect(&stopSignals, &TerminationSignals::received, &app, &QCoreApplication::quit);
    return verdict.options.pty ? runOnPty(verdict.options) : runOnSerial(verdict.options);
}
