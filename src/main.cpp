#include "command_line/monitor_options.h"
#include "reception/reception_state.h"
#include "recording/recording.h"
#include "window/form1.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("sensor-monitor"));
    // Read before any window exists, so that --help, --version and usage
    // errors also work where there is no display.
    const CommandLineVerdict verdict = parseMonitorCommandLine(argumentsOf(argc, argv));
    if (verdict.action == CommandLineVerdict::Action::ExitWithMessage) {
        std::fputs(verdict.message.toLocal8Bit().constData(), verdict.toStderr ? stderr : stdout);
        return verdict.exitStatus;
    }

    // Files are checked before any window too: a refused file ends the
    // program with the reason, even where there is no display.
    Recording recording;
    if (const QString refusal = openRecording(recording, verdict.options.recordPath, verdict.options.capturePath);
        !refusal.isEmpty()) {
        std::fputs(refusal.toLocal8Bit().constData(), stderr);
        return 2;
    }

    QApplication app(argc, argv);
    ReceptionState reception;
    Form1 window(reception);
    window.keepRecords(recording.ticks, recording.bytes);
    window.show();
    return app.exec();
}
