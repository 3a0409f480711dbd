#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>

// A program's verdict on its command line: run with the options, or end at
// once with the status and the text to print (help and version on stdout
// with 0, a usage error in one line on stderr with 2, as GNU tools do).
template <typename Options>
struct CommandLineVerdict {
    bool run = true;
    int exitStatus = 0;
    QString message; // ends with a line feed; empty when running
    bool toStderr = false;
    Options options;

    static CommandLineVerdict exitWith(int status, const QString &text, bool onStderr)
    {
        CommandLineVerdict verdict;
        verdict.run = false;
        verdict.exitStatus = status;
        verdict.message = text.endsWith(u'\n') ? text : text + u'\n';
        verdict.toStderr = onStderr;
        return verdict;
    }

    // "program: what", on stderr, status 2.
    static CommandLineVerdict usageError(const QString &what)
    {
        return exitWith(2, QStringLiteral("%1: %2").arg(QCoreApplication::applicationName(), what), true);
    }

    // Prints the message where it belongs; the status to exit with.
    int printMessage() const
    {
        std::fputs(message.toLocal8Bit().constData(), toStderr ? stderr : stdout);
        return exitStatus;
    }
};

// argv as text, in the locale's encoding.
QStringList argumentsOf(int argc, char *argv[]);
