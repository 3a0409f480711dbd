#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// While one lives, a platform plugin that cannot start ends the program with
// status 1, where Qt would abort with a core dump: with one line of ours when
// the display is missing, else with Qt's own lines, which name the plugin
// and what failed (a plugin that does not exist, a library it lacks, a
// display that turns the program away). Made just before the application
// object and dropped right after it; Qt's lines about the platform wait
// until it is known whether it started, and go out as they are if it did.
class PlatformFailureExit {
public:
    PlatformFailureExit();
    ~PlatformFailureExit();
    PlatformFailureExit(const PlatformFailureExit &) = delete;
    PlatformFailureExit &operator=(const PlatformFailureExit &) = delete;

private:
    static void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void holdPlatformLine(const QString &line, const QString &message);
    [[noreturn]] void endFailed(const QString &fatalLine) const;

    QStringList m_platformLines; // Qt's own, as Qt would print them
    QStringList m_pluginsTried;  // as Qt's lines name them: "xcb", "wayland", ...
};
