#pragma once

#include "runtime/int16.h"
#include "serial/port_directory.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QVariantMap>

// Why the last opening failed, for a caller that tells the user in its own
// words. The raised error's description says the same in plain English.
struct OpenFailure {
    enum Reason {
        None,         // the last opening succeeded (or none was tried)
        NoDevice,     // no device stands behind the port number (port 0 too)
        NotFound,     // the device path does not exist
        NoPermission, // the device exists but this user may not read it
        Busy,         // held by another program or another instance
        Other,        // any other host failure, or a line setting refused
    };
    Reason reason = None;
    QString path{};       // the device tried; empty for NoDevice
    QString holder{};     // Busy: name of the program holding the port, when known
    qint64 holderPid = 0; // Busy: its process id, when known
    QString hostReason{}; // the host's own text for the failure
    QString staleLockFile{}; // Busy: a lock file left by a program that no longer runs
    bool flockHeld = false; // Busy: another program holds a flock on the device
};

// The serial port as the window uses it: choose a port number and a line
// setting, open it, and take whatever has been received as text. It only
// listens: the device is opened read-only and nothing is ever written.
//
// Received bytes are drained from the host device by the event loop as they
// arrive into a receive buffer of InBufferSize characters, one character per
// byte (Latin-1); what arrives while the buffer is full is dropped. Reads
// take only what the event loop has delivered. An opening discards what the
// host received before it, takes an exclusive flock on the device (so that
// programs that lock only that way see the port as ours) and raises DTR and
// RTS.
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
//   8005 opening a device held by another program or another instance (its
//        lock file or a flock on the device), or opening while already open.
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

    rt::Int16 InBufferCount() const;
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
    // already closed when this is emitted. `description` names the device
    // and the host's reason.
    void deviceFailed(int port, const QString &description);

    // Everything read from the device, as it came and before the receive
    // buffer dropped any of it.
    void received(const QByteArray &bytes);

public:
    // Why the last PortOpen = true failed; reason None after a success.
    OpenFailure lastOpenFailure() const;

private:
    void openPort();
    void openLine(QIODevice *line, const QString &path, int port);
    QIODevice &input();
    void closePort();
    [[noreturn]] void failOpening(OpenFailure failure, int number);
    OpenFailure describeHostFailure(const QString &path) const;
    void lockDevice(const QString &path);
    void prepareLine();
    void closeQuietly();
    void applySpeed(qint32 speed);
    void takeArrivedBytes();
    void handlePortError(QSerialPort::SerialPortError error);
    void closeFailedDevice();

    QSerialPort m_port{this}; // a child too, so that its errors can be watched
    QPointer<QIODevice> m_line; // the in-process line, while it is the open port
    rt::Int16 m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    qint32 m_speed = 9600;
    QByteArray m_received;
    PortDirectory m_ports;
    OpenFailure m_lastOpenFailure;
    int m_openedPort = 0;     // the port number the open device stands for
    QString m_openedPath;     // and its path
    bool m_quietErrors = false; // our own calls check their results themselves
    QString m_failure;          // the device failed: why, until it is closed
};
