#pragma once

#include "chart/grap_chart.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <utility>

using Row = QList<int>;

const QString kOpenCaption = QStringLiteral("Открыть порт");
const QString kCloseCaption = QStringLiteral("Закрыть порт");

// The monitor's window with its controls at hand, as a user works it.
struct MonitorWindow {
    ReceptionState reception;
    Form1 form{reception};
    MSComm &comm = *find<MSComm>(QStringLiteral("MSComm1"));
    QAbstractButton &button = *find<QAbstractButton>(QStringLiteral("Key_Op_Cl"));
    QComboBox &ports = *find<QComboBox>(QStringLiteral("Com_select"));
    QTimer &timer = *find<QTimer>(QStringLiteral("Timer1"));
    GrapChart &chart = *find<GrapChart>(QStringLiteral("Grap_Chart"));

    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        return form.findChild<T *>(name);
    }
    QString text(const QString &box) const { return find<QLineEdit>(box)->text(); }

    void chooseSpeed(int index) { QTest::mouseClick(find<QRadioButton>(QStringLiteral("Spd_baud(%1)").arg(index)), Qt::LeftButton); }
    void press() { QTest::mouseClick(&button, Qt::LeftButton); }
    // Chooses Com `port` in the list (0: no entry) and presses the button.
    void openPort(int port)
    {
        ports.setCurrentIndex(port - 1);
        press();
    }
    bool looksOpen() const { return button.text() == kCloseCaption && timer.isActive() && comm.PortOpen(); }
    bool looksClosed() const { return button.text() == kOpenCaption && !timer.isActive() && !comm.PortOpen(); }

    Row values(int row) const
    {
        Row cells;
        for (int column = 1; column <= 3; ++column)
            cells << int(chart.grid().valueAt(row, column));
        return cells;
    }
    Row lastRow() const { return values(chart.grid().rowCount()); }
    QString label(int row) const { return chart.grid().rowLabelAt(row); }

    static QMessageBox *shownBox() { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }
};

struct WiredDevice {
    PtyPair device;
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
