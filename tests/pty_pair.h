#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A pseudo-terminal pair: the master side plays the device at the far end
// of the cable, the slave side is the serial device the program opens by
// its path. The pair starts in raw mode so that nothing is echoed or held
// back for a line end.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }

    // The device sends bytes down the line; true when all were written.
    bool send(const QByteArray &bytes);

    // The line settings that the program's side has applied.
    termios slaveTermios() const;

    // The line speed in bit/s that the program's side has applied, read
    // from the kernel's own record, so that rates without a B-constant
    // (14400) show as what they are; 0 when it cannot be read.
    unsigned slaveSpeed() const;

    // Bytes received on the program's side that nobody has read yet.
    int slaveUnreadBytes() const;

    // Another program takes the device as careful terminal programs do: an
    // exclusive flock (picocom), exclusive mode (screen) and its own line
    // settings, 1200 bit/s 7E1 without flow control.
    bool holdAsAnotherProgram();

    // Whether the device is in exclusive mode (TIOCEXCL).
    bool slaveIsExclusive() const;

    // The device goes away: the far end closes, as when an adapter is unplugged.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Where UUCP programs and the serial port module lock a device:
// "/var/lock/LCK..pts_3" for /dev/pts/3.
QString lockFileOf(QString device);

// The pid of a process that has ended, as a stale lock file names it.
qint64 deadPid();
