#include "sim/pty_device.h"

#include "sim/raw_pty.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice(QObject *parent)
    : QObject(parent)
{
    const RawPty pty = openRawPty();
    m_master = pty.master;
    m_slave = pty.slave;
    m_slavePath = pty.slavePath;
    m_error = pty.error;
    if (m_master < 0)
        return;
    // A full queue must never hold up the event loop: such a record is dropped.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    connect(&m_source, &RecordSource::recordDue, this, &PtyDevice::send);
}

PtyDevice::~PtyDevice()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyDevice::isValid() const
{
    return m_master >= 0;
}

QString PtyDevice::errorString() const
{
    return m_error;
}

QString PtyDevice::slavePath() const
{
    return m_slavePath;
}

RecordSource &PtyDevice::source()
{
    return m_source;
}

void PtyDevice::start()
{
    if (isValid())
        m_source.start();
}

int PtyDevice::unreadBytes() const
{
    int count = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &count) != 0)
        return 0;
    return count;
}

qint64 PtyDevice::droppedRecords() const
{
    return m_dropped;
}

void PtyDevice::send(const QByteArray &record)
{
    if (unreadBytes() > kBacklogLimit)
        tcflush(m_slave, TCIFLUSH);
    ssize_t written = 0;
    do {
        written = ::write(m_master, record.constData(), size_t(record.size()));
    } while (written < 0 && errno == EINTR);
    if (written != record.size())
        ++m_dropped;
}
