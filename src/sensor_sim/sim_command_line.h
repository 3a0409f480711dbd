#pragma once

#include "sim/record_generator.h"

#include <QString>
#include <QStringList>

// What sensor-sim was asked to do, checked.
struct SimOptions {
    QString device;      // the serial device to write to; empty with --pty
    bool pty = false;    // --pty: make a pseudo-terminal pair and write into it
    int intervalMs = 1000;
    LineEnd lineEnd = LineEnd::CrLf;
    qint64 count = 0;    // 0: until stopped
    qint32 speed = 9600; // bit/s, 8N1
};

// Run with the options, or end at once with the status and text to print
// (help and version on stdout, a usage error on stderr, status 2).
struct SimCommandLineVerdict {
    bool run = true;
    int exitStatus = 0;
    QString message; // ends with a line feed
    bool toStderr = false;
    SimOptions options;
};

// Parses sensor-sim's arguments (program name first).
SimCommandLineVerdict parseSimCommandLine(const QStringList &arguments);
