#pragma once

#include "chart/grap_chart.h"
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
#include <QTimer>

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
