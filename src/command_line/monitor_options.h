#pragma once

#include "command_line/broker_url.h"
#include "command_line/command_line_verdict.h"

#include <QString>

#include <map>
#include <optional>

// What the monitor was asked to do on its command line, checked and ready
// for use. Without any option every member keeps its default and the program
// behaves as it always has.
struct MonitorOptions {
    std::map<int, QString> ports; // --port N=DEVICE: Com N opens DEVICE
    bool demo = false;            // --demo: Com 1 is the built-in demo device
    QString recordPath;           // --record FILE: one CSV line a tick
    QString capturePath;          // --capture FILE: every byte received
    std::optional<BrokerUrl> publish; // --publish URL (--publish-ca FILE): every tick to a broker
};

using MonitorVerdict = CommandLineVerdict<MonitorOptions>;

// Parses the monitor's arguments (argv, program name first). It needs no
// application object, so --help, --version and usage errors work where
// there is no display. Qt's own options (-platform, -style, ...) are passed
// over here and left for QApplication.
MonitorVerdict parseMonitorCommandLine(const QStringList &arguments);
