#include "pty_pair.h"

#include "sim/raw_pty.h"

#include <QProcess>

#include <cerrno>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The kernel's termios with the speeds as numbers. <asm/termbits.h> cannot
// be included beside <termios.h>, so its layout is repeated here.
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

PtyPair::PtyPair()
{
    const RawPty pty = openRawPty();
    m_master = pty.master;
    m_slave = pty.slave;
    m_slavePath = pty.slavePath;
}

PtyPair::~PtyPair()
{
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return done == bytes.size();
}

termios PtyPair::slaveTermios() const
{
    termios settings{};
    tcgetattr(m_slave, &settings);
    return settings;
}

unsigned PtyPair::slaveSpeed() const
{
    termios2 settings{};
    if (::ioctl(m_slave, TCGETS2, &settings) != 0)
        return 0;
    return settings.c_ispeed;
}

int PtyPair::slaveUnreadBytes() const
{
    int count = 0;
    if (::ioctl(m_slave, FIONREAD, &count) != 0)
        return -1;
    return count;
}

bool PtyPair::holdAsAnotherProgram()
{
    // The pair's own descriptor is another opening of the device than the
    // program's, so the lock stands against it.
    termios settings = slaveTermios();
    cfsetspeed(&settings, B1200);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | CSTOPB | PARODD | CRTSCTS)) | CS7 | PARENB;
    return ::flock(m_slave, LOCK_EX | LOCK_NB) == 0 && ::ioctl(m_slave, TIOCEXCL) == 0
        && tcsetattr(m_slave, TCSANOW, &settings) == 0;
}

bool PtyPair::slaveIsExclusive() const
{
    int exclusive = 0;
    return ::ioctl(m_slave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

void PtyPair::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

QString lockFileOf(QString device)
{
    if (device.startsWith(u"/dev/"))
        device.remove(0, 5);
    return QStringLiteral("/var/lock/LCK..") + device.replace(u'/', u'_');
}

qint64 deadPid()
{
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ended.waitForStarted();
    const qint64 pid = ended.processId();
    ended.waitForFinished();
    return pid;
}
