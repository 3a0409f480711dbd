#include "app/platform_failure_exit.h"

#include "app/display_server.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Qt's message handler reaches no object: the one watching is found here,
// set by its constructor and cleared by its destructor.
PlatformFailureExit *g_watching = nullptr;

// A message as Qt's own handler would print it, without a final line feed.
QString printedLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QString line = qFormatLogMessage(type, context, message);
    while (line.endsWith(u'\n'))
        line.chop(1);
    return line;
}

void printLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

} // namespace

PlatformFailureExit::PlatformFailureExit()
{
    g_watching = this;
    qInstallMessageHandler(&PlatformFailureExit::onMessage);
}

PlatformFailureExit::~PlatformFailureExit()
{
    qInstallMessageHandler(nullptr);
    g_watching = nullptr;
    for (const QString &line : m_platformLines)
        printLine(line);
}

void PlatformFailureExit::onMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = printedLine(type, context, message);
    if (type == QtFatalMsg)
        g_watching->endFailed(line);
    if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return g_watching->holdPlatformLine(line, message);
    printLine(line);
}

void PlatformFailureExit::holdPlatformLine(const QString &line, const QString &message)
{
    m_platformLines << line;
    // "Could not find the Qt platform plugin "NAME" in ...", "Could not load the Qt platform plugin "NAME" ..."
    static const QRegularExpression pluginName(QStringLiteral("platform plugin \"([^\"]*)\""));
    if (const QRegularExpressionMatch match = pluginName.match(message); match.hasMatch())
        m_pluginsTried << match.captured(1);
}

// Nothing has been opened yet: no file to close, no lock to release.
void PlatformFailureExit::endFailed(const QString &fatalLine) const
{
    const bool displayMissing = !m_pluginsTried.isEmpty()
        && std::all_of(m_pluginsTried.cbegin(), m_pluginsTried.cend(), isDisplayMissingFor);
    if (displayMissing) {
        std::fprintf(stderr, "%s: no display to show the window on (DISPLAY \"%s\", WAYLAND_DISPLAY \"%s\"); headless, try xvfb-run\n",
                     qPrintable(QCoreApplication::applicationName()), qgetenv("DISPLAY").constData(),
                     qgetenv("WAYLAND_DISPLAY").constData());
    } else {
        for (const QString &line : m_platformLines)
            printLine(line);
        printLine(fatalLine);
    }
    std::fflush(stderr);
    std::_Exit(1);
}
