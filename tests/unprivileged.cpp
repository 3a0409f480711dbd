#include "unprivileged.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

UnprivilegedRun rerunAsNobody(const char *testFunction, const char *dataTag)
{
    QString test = QString::fromLatin1(testFunction);
    if (dataTag)
        test += u':' + QString::fromUtf8(dataTag);
    UnprivilegedRun run;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return run;
    run.available = true;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                          QCoreApplication::applicationFilePath(), test});
    const bool finished = child.waitForFinished(60000);
    run.output = QString::fromLocal8Bit(child.readAll());
    run.passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return run;
}
