#pragma once

#include "runtime/int16.h"
#include "serial/port_directory.h"
#include "serial/port_lock.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <QVariantMap>

// The serial port as the window uses it: choose a port number and a line
// setting, open it, and take whatever has been received as text. It only
// listens: the device is opened read-only and nothing is ever written.
//
// Received bytes are taken from the host device into a receive buffer of
// InBufferSize characters, one character per byte (Latin-1); what arrives
// while the buffer is full is dropped. They are taken in batches: the first
// byte to arrive wakes the event loop, what the host holds is taken a batch
// later (178 ms at 115200 bit/s, 250 ms at most), and while the device goes
// on talking the next batch follows without the arrivals waking anything, so
// that a device sending a record every millisecond wakes the program a few
// times a second rather than a thousand (the host's own buffer holds twice a
// batch at any supported speed). A hang-up wakes the program at once while
// the line is quiet, and at the end of the batch while the device talks.
// Reading InBufferCount or Input first takes what the host holds, so a batch
// still waiting changes nothing they see. An opening discards what the
// host received before it and raises DTR and RTS; before anything touches
// the line it takes the device's lock (PortLock), so that a refused opening
// leaves another program's line exactly as it was. A device path that is a
// link is followed once per opening; the lock, the refusals and
// deviceFailed() name the device it led to.
//
// A port may stand for an in-process line instead of a host device (the demo
// device on a system without pseudo-terminals): it is opened, read, buffered
// and closed the same way, and any speed suits it.
//
// Errors (rt::NumberedError):
//   8002 opening a port number with no device behind it, a device that does
//        not exist, or one that cannot be opened (no permission, other host
//        failures); port 0 too. Also a speed the open device refuses when
//        Settings is written: the port stays open at its previous speed.
//   8005 opening a device held by another program or another instance (a
//        lock file naming a live holder, a flock on the device through any
//        node for it, exclusive mode), or opening while already open.
//   380  Settings text that is not "speed,n,8,1" with a supported speed, an
//        InputMode other than 0 (text), an InputLen other than 0, changing
//        CommPort while open, or a port number outside 0..16.
// A device that fails while open (unplugged, hung up) is closed once control
// is back in the event loop, never inside the call that met the error, and
// reported through deviceFailed(); what it delivered before stays readable.
// Closing through PortOpen = false discards the receive buffer.
class MSComm : public QObject {
    Q_OBJECT
    Q_PROPERTY(int CommPort READ CommPort WRITE setCommPort)
    Q_PROPERTY(QString Settings READ Settings WRITE setSettings)
    Q_PROPERTY(bool PortOpen READ PortOpen WRITE setPortOpen)
    Q_PROPERTY(int InputMode READ InputMode WRITE setInputMode)
    Q_PROPERTY(int InputLen READ InputLen WRITE setInputLen)
    Q_PROPERTY(int InBufferCount READ InBufferCount)
    Q_PROPERTY(QString Input READ Input)
    Q_PROPERTY(int InBufferSize READ InBufferSize)
    Q_PROPERTY(QVariantMap DeviceMap READ DeviceMap WRITE setDeviceMap)

public:
    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    rt::Int16 CommPort() const;
    void setCommPort(int port);

    QString Settings() const;
    void setSettings(const QString &settings);

    bool PortOpen() const;
    void setPortOpen(bool open);

    int InputMode() const;
    void setInputMode(int mode);
    int InputLen() const;
    void setInputLen(int length);

    // Not const: it first takes in what the host holds.
    rt::Int16 InBufferCount();
    QString Input();
    int InBufferSize() const;

    // Port number (as text, "1".."9") to device path. When not empty it
    // replaces the host's list of serial devices; tests point ports at
    // pseudo-terminals with it.
    QVariantMap DeviceMap() const;
    void setDeviceMap(const QVariantMap &map);

    // Which device each port number stands for, looked up at every opening.
    PortDirectory &ports();
    const PortDirectory &ports() const;

signals:
    // The open device failed (unplugged adapter, hang-up); the port is
    // already closed when this is emitted. An unplugged adapter ends with
    // end-of-file and no error number, so there is no host reason worth
    // passing on: only the device's path.
    void deviceFailed(int port, const QString &path);

    // Everything read from the device, as it came and before the receive
    // buffer dropped any of it.
    void received(const QByteArray &bytes);

public:
    // Why the last PortOpen = true failed; reason None after a success.
    OpenFailure lastOpenFailure() const;

private:
    void openPort();
    void openLine(QIODevice *line, const QString &path);
    void closePort();
    [[noreturn]] void failOpening(OpenFailure failure);
    void prepareLine();
    void closeQuietly();
    void applySpeed(qint32 speed);
    void startBatch();
    void takeBatch();
    qsizetype takeArrivedBytes(bool batchEnds = false);
    void handlePortError(QSerialPort::SerialPortError error);
    void closeFailedDevice();

    QSerialPort m_port{this}; // a child too, so that its errors can be watched
    QPointer<QIODevice> m_line; // the in-process line, while it is the open port
    rt::Int16 m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    qint32 m_speed = 9600;
    QByteArray m_received;
    QTimer m_batch;             // runs while a batch waits to be taken
    PortDirectory m_ports;
    PortLock m_lock;          // taken before the port opens, released after it closes
    OpenFailure m_lastOpenFailure;
    int m_openedPort = 0;     // the port number the open device stands for
    QString m_openedPath;     // and its path
    bool m_quietErrors = false; // our own calls check their results themselves
    bool m_failed = false;      // the device failed and is not closed yet
};
