#include "app/no_display_exit.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void onPlatformMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        // Nothing has been opened yet: no file to close, no lock to release.
        std::fprintf(stderr, "%s: no display to show the window on (DISPLAY \"%s\", WAYLAND_DISPLAY \"%s\"); headless, try xvfb-run\n",
                     qPrintable(QCoreApplication::applicationName()), qgetenv("DISPLAY").constData(),
                     qgetenv("WAYLAND_DISPLAY").constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    // The platform plugin's own lines about the failure are what the one line above replaces.
    if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

NoDisplayExit::NoDisplayExit()
{
    qInstallMessageHandler(onPlatformMessage);
}

NoDisplayExit::~NoDisplayExit()
{
    qInstallMessageHandler(nullptr);
}
