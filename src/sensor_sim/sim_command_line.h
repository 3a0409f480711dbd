#pragma once

#include "command_line/command_line_verdict.h"
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

using SimVerdict = CommandLineVerdict<SimOptions>;

// Parses sensor-sim's arguments (program name first).
SimVerdict parseSimCommandLine(const QStringList &arguments);
