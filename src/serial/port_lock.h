#pragma once

#include <QSerialPort>
#include <QString>

// Why an opening was refused: one row per refusal the opening knows, each
// with its numbered error. A caller tells the user in its own words.
struct OpenFailure {
    enum Reason {
        None,          // the last opening succeeded (or none was tried)
        NoDevice,      // 8002: no device stands behind the port number (port 0 too)
        NotFound,      // 8002: the device path does not exist
        NoPermission,  // 8002: the device exists but this user may not read it
        Other,         // 8002: any other host failure
        FlockHeld,     // 8005: another program holds a flock on the device
        ExclusiveHeld, // 8005: another program holds it in exclusive mode (TIOCEXCL)
        LockFileHeld,  // 8005: a lock file names a holder that may still run
        StaleLockFile, // 8005: a lock file of a stopped program that this user may not remove
        OpenHere,      // 8005: this program has a port open already
    };
    Reason reason = None;
    QString path{};       // the device tried; empty for NoDevice
    QString holder{};     // the program holding the device, when its lock file names one
    qint64 holderPid = 0; // and its process id
    QString holderHost{}; // the host its lock file was written on, when not this one
    QString lockFile{};   // the lock file that names the holder, or the stale one
    QString hostReason{}; // the host's own text for the failure

    bool isBusy() const { return reason >= FlockHeld; }
    // 8005 for a device held by someone, 8002 otherwise.
    int errorNumber() const;
    // Plain English for the numbered error, naming the port and the device.
    QString description(int port) const;
};

// The device's own lock, taken before anything touches the line. Another
// program's claim refuses the device before it is opened at all (opening a
// terminal raises DTR and RTS): a flock on it through any node made for it,
// or a lock file naming a live holder, as UUCP programs, lockdev and the
// serial port module write them, under the device's name or lockdev's
// numbers. Then the device is opened read-only without changing it (no
// exclusive mode, no settings) and an exclusive flock is taken on that
// descriptor and kept while the port is open. Programs that lock only with
// flock (picocom and others) then see the port as taken, and the monitor
// sees theirs. `path` is the device itself, a link already followed.
class PortLock {
public:
    PortLock() = default;
    ~PortLock();
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

    // Takes `path`; a failure whose reason is None when it is taken.
    OpenFailure take(const QString &path);
    void release();

private:
    int m_descriptor = -1;
};

// Why the serial port module refused a device that the lock was taken on:
// its lock file (the holder, live or stale), or the host's reason.
OpenFailure explainRefusal(const QString &path, QSerialPort::SerialPortError error, const QString &hostReason);
