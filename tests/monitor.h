#pragma once

#include "monitor_window.h"

#include <QTimeZone>

#include <utility>

// The device at the far end of the cable: a pseudo-terminal pair's master;
// under Wine, COM1's far end as tools/windows/with-com1-pty.py keeps it.
#ifdef Q_OS_WIN
#include "com1_device.h"
using TestDevice = Com1Device;
#else
#include "pty_pair.h"
using TestDevice = PtyPair;
#endif

struct WiredDevice {
    TestDevice device;
};

// The window shown, Com 1 a pseudo-terminal whose far end plays the device
// (the line goes down after the window). The clock starts at 2026-12-06
// 14:03:07 (UTC+3) and goes on a second a reading.
struct Monitor : WiredDevice, MonitorWindow {
    QDateTime clock{QDate(2026, 12, 6), QTime(14, 3, 7), QTimeZone(3 * 3600)};

    Monitor()
    {
        comm.setDeviceMap({{QStringLiteral("1"), device.slavePath()}});
        form.setClock([this] { return std::exchange(clock, clock.addSecs(1)); });
        form.show();
    }

    // The device sends `bytes`; the tick runs by hand once the port has taken
    // them in. The window's own second is stopped so that it cannot take them first.
    bool tick(const QByteArray &bytes)
    {
        timer.stop();
        if (!device.send(bytes) || !QTest::qWaitFor([&] { return comm.InBufferCount() == bytes.size(); }))
            return false;
        form.Timer1_Timer();
        return true;
    }
};
