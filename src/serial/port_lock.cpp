#include "serial/port_lock.h"

#include "runtime/numbered_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {

// The lock file the serial port module takes for a device: the same
// directories in the same order, so that we read the file its holder wrote.
QString lockFilePathFor(const QString &devicePath)
{
    QString name = devicePath;
    if (name.startsWith(u"/dev/"))
        name.remove(0, 5);
    const QString fileName = QStringLiteral("/LCK..") + name.replace(u'/', u'_');
    const QStringList directories = {
        QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"), QDir::tempPath(),
    };
    for (const QString &directory : directories) {
        const QFileInfo info(directory);
        if (info.isReadable() && (QFile::exists(directory + fileName) || info.isWritable()))
            return directory + fileName;
    }
    return {};
}

// As Qt judges its own lock files: stale only when written on this host
// (or naming no host) by a process that is gone here.
bool holderIsGone(qint64 pid, const QString &hostName)
{
#ifdef Q_OS_UNIX
    if (pid <= 0 || (!hostName.isEmpty() && hostName != QSysInfo::machineHostName()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#else
    Q_UNUSED(pid);
    Q_UNUSED(hostName);
    return false;
#endif
}

// Names the holder from the device's lock file, when there is one. A stale
// lock turns a refusal by the lock file into StaleLockFile.
OpenFailure heldBy(OpenFailure::Reason reason, const QString &path, const QString &hostReason)
{
    OpenFailure failure{.reason = reason, .path = path, .hostReason = hostReason};
    const QString lockPath = lockFilePathFor(path);
    if (lockPath.isEmpty())
        return failure;
    const QLockFile lock(lockPath);
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (!lock.getLockInfo(&pid, &hostName, &appName))
        return failure;
    failure.lockFile = lockPath;
    if (holderIsGone(pid, hostName)) {
        if (reason == OpenFailure::LockFileHeld)
            failure.reason = OpenFailure::StaleLockFile;
        return failure;
    }
    failure.holder = appName;
    failure.holderPid = pid;
    if (hostName != QSysInfo::machineHostName())
        failure.holderHost = hostName;
    return failure;
}

#ifdef Q_OS_UNIX
QString hostText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

OpenFailure::Reason reasonForOpenError(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return OpenFailure::NotFound;
    case EACCES:
    case EPERM:
        return OpenFailure::NoPermission;
    case EBUSY:
        return OpenFailure::ExclusiveHeld;
    default:
        return OpenFailure::Other;
    }
}

// The process holding a flock on `path`, from the kernel's table of locks,
// or 0. Opening a terminal raises its modem lines, whoever holds it, so a
// device flocked elsewhere is refused before it is opened at all.
qint64 flockHolderOf(const QString &path)
{
#ifdef Q_OS_LINUX
    struct stat device {};
    if (::stat(QFile::encodeName(path).constData(), &device) != 0)
        return 0;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:321 0 EOF": pid, then the inode
    // as major:minor (hexadecimal) of its filesystem and its number.
    const QString inode = QStringLiteral("%1:%2:%3")
                              .arg(major(device.st_dev), 2, 16, QChar(u'0'))
                              .arg(minor(device.st_dev), 2, 16, QChar(u'0'))
                              .arg(device.st_ino);
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] == "FLOCK" && QString::fromLatin1(fields[5]) == inode)
            return fields[4].toLongLong();
    }
#else
    Q_UNUSED(path);
#endif
    return 0;
}

// The program a flock holder runs, named as the kernel knows it.
QString programOf(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
}

// Read only: whether a holder has put the terminal in exclusive mode. Root
// may open such a terminal all the same, and must leave it alone.
bool heldExclusively(int descriptor)
{
#if defined(Q_OS_LINUX) && defined(TIOCGEXCL)
    int exclusive = 0;
    return ::ioctl(descriptor, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    Q_UNUSED(descriptor);
    return false;
#endif
}
#endif

} // namespace

int OpenFailure::errorNumber() const
{
    return isBusy() ? rt::PortAlreadyOpen : rt::InvalidPortNumber;
}

QString OpenFailure::description(int port) const
{
    QString text = QStringLiteral("Cannot open port %1").arg(port);
    if (reason == NoDevice)
        return text + QStringLiteral(": no serial device stands behind that port number");
    text += QStringLiteral(": %1: %2").arg(path, hostReason);
    if (!holder.isEmpty() || holderPid > 0)
        text += QStringLiteral(" (held by %1, pid %2%3)").arg(holder).arg(holderPid).arg(holderHost.isEmpty() ? QString() : QStringLiteral(" on ") + holderHost);
    if (!lockFile.isEmpty())
        text += QStringLiteral(" (lock file %1)").arg(lockFile);
    return text;
}

PortLock::~PortLock()
{
    release();
}

OpenFailure PortLock::take(const QString &path)
{
    release();
#ifdef Q_OS_UNIX
    if (const qint64 pid = flockHolderOf(path); pid > 0) {
        OpenFailure failure = heldBy(OpenFailure::FlockHeld, path, hostText(EWOULDBLOCK));
        if (failure.holderPid <= 0) {
            failure.holderPid = pid;
            failure.holder = programOf(pid);
        }
        return failure;
    }
    // O_NONBLOCK: no wait for a carrier; a line already open elsewhere is
    // not changed by another opening, and nothing here writes to it.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        const OpenFailure::Reason reason = reasonForOpenError(error);
        if (reason == OpenFailure::ExclusiveHeld)
            return heldBy(reason, path, hostText(error));
        return OpenFailure{.reason = reason, .path = path, .hostReason = hostText(error)};
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        const int error = errno;
        ::close(descriptor);
        return heldBy(OpenFailure::FlockHeld, path, hostText(error));
    }
    if (heldExclusively(descriptor)) {
        ::close(descriptor);
        return heldBy(OpenFailure::ExclusiveHeld, path, hostText(EBUSY));
    }
    m_descriptor = descriptor;
#else
    Q_UNUSED(path);
#endif
    return {};
}

void PortLock::release()
{
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0)
        ::close(m_descriptor);
#endif
    m_descriptor = -1;
}

OpenFailure explainRefusal(const QString &path, QSerialPort::SerialPortError error, const QString &hostReason)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure{.reason = OpenFailure::NotFound, .path = path, .hostReason = hostReason};
    case QSerialPort::PermissionError:
        // The device was readable a moment ago: the module's lock file refused it.
        return heldBy(OpenFailure::LockFileHeld, path, hostReason);
    default:
        return OpenFailure{.reason = OpenFailure::Other, .path = path, .hostReason = hostReason};
    }
}
