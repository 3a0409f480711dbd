#include "app/keep_publishing.h"
#include "app/keep_records.h"
#include "app/platform_failure_exit.h"
#include "app/termination_signals.h"
#include "command_line/console.h"
#include "command_line/monitor_options.h"
#include "publishing/broker_password.h"
#include "publishing/mqtt_publisher.h"
#include "reception/reception_state.h"
#include "recording/recording.h"
#include "sim/demo_device.h"
#include "window/form1.h"
#include "window/group_box_frame_style.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>

namespace {

// The icon's sizes, drawn from the menu entry's SVG when the program was built.
// Read as PNG and nothing else: a reader allowed to detect the format loads
// every image plugin (GIF, ICO, JPEG, SVG) to ask it first.
QIcon windowIcon()
{
    QIcon icon;
    for (const int size : {SENSOR_MONITOR_ICON_SIZES}) {
        QImageReader reader(QStringLiteral(":/icons/%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

// Prints `line` (with its line feed) on stderr; the status to end with.
int endWith(const QString &line, int status)
{
    std::fputs(line.toLocal8Bit().constData(), stderr);
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("sensor-monitor"));
    attachToParentConsole();
    // Read before any window exists, so that --help, --version and usage
    // errors also work where there is no display.
    const MonitorVerdict verdict = parseMonitorCommandLine(argumentsOf(argc, argv));
    if (!verdict.run)
        return verdict.printMessage();
    const MonitorOptions &options = verdict.options;
    // Out of the environment before any other thread runs.
    const QByteArray brokerPassword = options.publish ? takeBrokerPassword() : QByteArray();
    // A reader of --record or --capture that goes away stops that file, not the program.
    ignoreBrokenPipes();

    std::optional<PlatformFailureExit> platformFailure(std::in_place);
    QApplication app(argc, argv);
    platformFailure.reset();

    // Everything the options ask for is judged before any file is created,
    // written or cut, so that a start called off for any reason leaves
    // every file as it was. A refused file ends the program with the reason.
    Recording recording;
    if (const QString refusal = judgeRecording(recording, options.recordPath, options.capturePath); !refusal.isEmpty())
        return endWith(refusal, 2);
    // The demo device sends for the whole run, whether or not Com 1 is open.
    std::optional<DemoDevice> demo;
    if (options.demo) {
        demo.emplace();
        if (!demo->isValid())
            return endWith(QStringLiteral("sensor-monitor: --demo: cannot make the demo device: %1\n").arg(demo->errorString()), 1);
    }
    // The MQTT library is not even loaded unless --publish asks for it.
    std::unique_ptr<MqttPublisher> publisher;
    if (options.publish) {
        publisher = std::make_unique<MqttPublisher>(*options.publish, brokerPassword);
        if (const QString &problem = publisher->problem(); !problem.isEmpty())
            return endWith(QStringLiteral("sensor-monitor: --publish: %1\n").arg(problem), 1);
    }
    if (const QString refusal = startRecording(recording); !refusal.isEmpty())
        return endWith(refusal, 2);
    for (const QString &notice : recording.notices)
        std::fputs(notice.toLocal8Bit().constData(), stderr);

    QApplication::setApplicationVersion(QStringLiteral(SENSOR_MONITOR_VERSION));
    // Docks, task switchers and Wayland compositors find the menu entry's name and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(SENSOR_MONITOR_APP_ID));
    QApplication::setWindowIcon(windowIcon());
    GroupBoxFrameStyle::installOverFusion();
    if (demo)
        demo->start();
    ReceptionState reception;
    Form1 window(reception);
    for (const auto &[port, device] : options.ports)
        window.assignPort(port, device);
    if (demo)
        window.assignPort(1, demo->path(), demo->description(), demo->inProcessLine());
    keepRecords(window, recording);
    if (publisher) {
        keepPublishing(window, *publisher);
        publisher->start();
    }
    window.show();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, &Form1::Command1_Click);
    return app.exec();
}
