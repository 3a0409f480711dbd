#pragma once

#include "reception/reception_state.h"
#include "recording/tick_row.h"
#include "runtime/time_of_day.h"

#include <QWidget>

#include <array>

class GrapChart;
class MSComm;
class PortComboBox;
class QButtonGroup;
class QGroupBox;
class QIODevice;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace rt {
class NumberedError;
}

// The monitor's one window. It lays out its controls, wires their events to
// the procedures below and shows what they produce; reading the port,
// parsing and the chart grid live in their own modules.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(ReceptionState &reception, QWidget *parent = nullptr);

    // The clock whose reading labels each sample and dates its recorded
    // line; tests replace it.
    void setClock(rt::Clock clock);

    // Com `port` opens `path` from now on; `description`, when not empty, is
    // what the port list's tooltip says about it. With `line`, Com `port`
    // reads that in-process line (see PortDirectory::assign).
    void assignPort(int port, const QString &path, const QString &description = {}, QIODevice *line = nullptr);
    // The «Ошибка» box with its second line, for the window's own failures
    // and for those of whoever listens to its signals.
    void showError(const QString &text, const QString &detail);

    static constexpr int kSpeedCount = 8;

    void Form_Load();
    void Command1_Click();
    void Key_Op_Cl_Click();
    void Form_Unload();
    void Timer1_Timer();

signals:
    // What each tick did, for whoever keeps or shares the readings; a row is
    // only made while somebody listens.
    void tickTaken(const TickRow &row);
    // Every byte received from the device, as the serial layer announced it.
    void bytesReceived(const QByteArray &bytes);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void chainTabOrder();
    void connectEvents();
    void centerOnScreen();

    void applyChosenSpeed();
    void applyChosenSpeedBeforeClosing();
    void openPort();
    void closePort();
    void reportOpenError(const rt::NumberedError &error);
    void onDeviceFailed(int port, const QString &path);
    void refreshPortTooltips();
    bool tickIsWatched() const;

    ReceptionState &m_reception;
    rt::Clock m_clock = rt::systemClock();

    GrapChart *m_chart = nullptr;
    QPushButton *m_exit = nullptr;
    QGroupBox *m_frame = nullptr;
    QPushButton *m_openClose = nullptr;
    PortComboBox *m_portList = nullptr;
    std::array<QRadioButton *, kSpeedCount> m_speeds{};
    QButtonGroup *m_speedGroup = nullptr;
    QLineEdit *m_raw = nullptr;
    std::array<QLineEdit *, 3> m_values{};
    std::array<QLabel *, 4> m_labels{};
    QTimer *m_timer = nullptr;
    MSComm *m_comm = nullptr;
};
