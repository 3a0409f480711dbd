#include "serial/port_lock.h"

#include "runtime/numbered_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {

// Where lock files are kept: the serial port module's directories, in its
// order, so that the first one it can use is where it writes its own.
QStringList lockDirectories()
{
    return {
        QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"), QDir::tempPath(),
    };
}

// "LCK..ttyUSB0", "LCK..pts_3": the name UUCP programs, lockdev and the
// serial port module give the lock file of a device.
QString lockFileNameOf(QString devicePath)
{
    if (devicePath.startsWith(u"/dev/"))
        devicePath.remove(0, 5);
    return QStringLiteral("LCK..") + devicePath.replace(u'/', u'_');
}

// The lock file the serial port module takes for a device.
QString ownLockFileOf(const QString &devicePath)
{
    const QString fileName = u'/' + lockFileNameOf(devicePath);
    for (const QString &directory : lockDirectories()) {
        const QFileInfo info(directory);
        if (info.isReadable() && (QFile::exists(directory + fileName) || info.isWritable()))
            return directory + fileName;
    }
    return {};
}

// As Qt judges its own lock files: stale only when written on this host
// (or naming no host) by a process that is gone here. A process of another
// user (EPERM) is alive.
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

// The program a process runs, named as the kernel knows it.
QString programOf(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
}

// Who a lock file names.
struct LockFileHolder {
    QString file{};
    qint64 pid = 0;
    QString program{}; // from the file, or as the kernel knows the process
    QString host{};    // empty when the file names none
    bool gone = false;
};

// A pid written as text, ten characters wide or plain; a pid written as a
// native int has a zero byte, as no pid reaches 2^24.
bool isTextPid(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n'; });
}

// The forms lockdev and UUCP programs write: the pid as text, ten
// characters wide ("%10d\n") or plain, or as a native 4-byte int; the
// serial port module adds the program and the host on the next lines.
std::optional<LockFileHolder> readLockFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(4096);
    LockFileHolder holder{.file = path};
    if (bytes.size() == sizeof(int) && !isTextPid(bytes)) {
        int pid = 0;
        std::memcpy(&pid, bytes.constData(), sizeof pid);
        holder.pid = pid;
    } else {
        const QList<QByteArray> lines = bytes.split('\n');
        holder.pid = lines.value(0).simplified().split(' ').value(0).toLongLong();
        holder.program = QString::fromUtf8(lines.value(1).trimmed());
        holder.host = QString::fromUtf8(lines.value(2).trimmed());
    }
    if (holder.pid <= 0)
        return std::nullopt;
    holder.gone = holderIsGone(holder.pid, holder.host);
    if (holder.program.isEmpty() && !holder.gone)
        holder.program = programOf(holder.pid);
    return holder;
}

#ifdef Q_OS_UNIX
// The name the kernel gives a device, whatever node was opened for it:
// "/dev/ttyUSB0" for a node made elsewhere with the same numbers.
QString kernelPathOf(dev_t device)
{
    QFile uevent(QStringLiteral("/sys/dev/char/%1:%2/uevent").arg(major(device)).arg(minor(device)));
    if (!uevent.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : uevent.readAll().split('\n')) {
        if (line.startsWith("DEVNAME="))
            return QStringLiteral("/dev/") + QString::fromLocal8Bit(line.mid(8));
    }
    return {};
}
#endif

// The names another program may have locked the device under: its path,
// the kernel's name for it, and lockdev's "LCK.188.000" by its numbers.
QStringList lockFileNamesFor(const QString &devicePath)
{
    QStringList names{lockFileNameOf(devicePath)};
#ifdef Q_OS_UNIX
    struct stat node {};
    if (::stat(QFile::encodeName(devicePath).constData(), &node) == 0 && S_ISCHR(node.st_mode)) {
        if (const QString kernelPath = kernelPathOf(node.st_rdev); !kernelPath.isEmpty())
            names << lockFileNameOf(kernelPath);
        names << QString::asprintf("LCK.%03u.%03u", major(node.st_rdev), minor(node.st_rdev));
        names.removeDuplicates();
    }
#endif
    return names;
}

// The first lock file that names a live holder of the device, in any lock
// directory and under any of its names; else a stale one where the serial
// port module writes its own, as that one stands in its way.
std::optional<LockFileHolder> lockFileHolder(const QString &devicePath)
{
    const QString ownFile = ownLockFileOf(devicePath);
    const QStringList names = lockFileNamesFor(devicePath);
    std::optional<LockFileHolder> stale;
    QStringList directoriesRead;
    for (const QString &directory : lockDirectories()) {
        const QString canonical = QFileInfo(directory).canonicalFilePath();
        if (canonical.isEmpty() || directoriesRead.contains(canonical))
            continue;
        directoriesRead << canonical;
        for (const QString &name : names) {
            const QString file = directory + u'/' + name;
            std::optional<LockFileHolder> holder = readLockFile(file);
            if (holder && !holder->gone)
                return holder;
            if (holder && QFileInfo(file) == QFileInfo(ownFile))
                stale = std::move(holder);
        }
    }
    return stale;
}

void nameHolder(OpenFailure &failure, const LockFileHolder &holder)
{
    failure.lockFile = holder.file;
    failure.holder = holder.program;
    failure.holderPid = holder.pid;
    if (holder.host != QSysInfo::machineHostName())
        failure.holderHost = holder.host;
}

// Names the holder from the device's lock file, when there is one. A stale
// lock turns a refusal by the lock file into StaleLockFile.
OpenFailure heldBy(OpenFailure::Reason reason, const QString &path, const QString &hostReason)
{
    OpenFailure failure{.reason = reason, .path = path, .hostReason = hostReason};
    const std::optional<LockFileHolder> holder = lockFileHolder(path);
    if (!holder)
        return failure;
    if (!holder->gone) {
        nameHolder(failure, *holder);
    } else {
        failure.lockFile = holder->file;
        if (reason == OpenFailure::LockFileHeld)
            failure.reason = OpenFailure::StaleLockFile;
    }
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

// Another program's lock file refuses the device before it is opened at
// all: opening a terminal raises its modem lines, which resets a board
// that resets on DTR. A stale one where the serial port module writes its
// own is removed, whatever form it has, as the module would remove its own.
std::optional<OpenFailure> refusalByLockFile(const QString &path)
{
    const std::optional<LockFileHolder> holder = lockFileHolder(path);
    if (!holder)
        return std::nullopt;
    OpenFailure failure{.reason = OpenFailure::LockFileHeld, .path = path};
    if (!holder->gone) {
        failure.hostReason = hostText(EWOULDBLOCK);
        nameHolder(failure, *holder);
        return failure;
    }
    if (::unlink(QFile::encodeName(holder->file).constData()) == 0 || errno == ENOENT)
        return std::nullopt;
    failure.reason = OpenFailure::StaleLockFile;
    failure.hostReason = hostText(errno);
    failure.lockFile = holder->file;
    return failure;
}

#ifdef Q_OS_LINUX
// A flock as /proc/locks lists it: "1: FLOCK  ADVISORY  WRITE 1234
// 00:05:321 0 EOF" is held by pid 1234 (0 when the holder lives in another
// pid namespace) on inode 321 of the filesystem 00:05 (hexadecimal).
struct Flock {
    qint64 pid = 0;
    dev_t filesystem = 0;
    ino_t inode = 0;
};

QList<Flock> flocksOnTheHost()
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return {};
    QList<Flock> flocks;
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        const QList<QByteArray> node = fields[5].split(':');
        if (node.size() != 3)
            continue;
        flocks << Flock{.pid = fields[4].toLongLong(),
                        .filesystem = makedev(node[0].toUInt(nullptr, 16), node[1].toUInt(nullptr, 16)),
                        .inode = node[2].toULongLong()};
    }
    return flocks;
}

// Whether the holder of `lock` has the locked node open as a node for
// `device`: another node made for the same numbers (mknod, docker
// --device) locks the same line. Its open files are readable by root and
// by its own user.
bool holderLocksThrough(const Flock &lock, dev_t device)
{
    DIR *descriptors = ::opendir(QStringLiteral("/proc/%1/fd").arg(lock.pid).toLocal8Bit().constData());
    if (!descriptors)
        return false;
    bool found = false;
    while (const dirent *entry = ::readdir(descriptors)) {
        struct stat node {};
        if (::fstatat(::dirfd(descriptors), entry->d_name, &node, 0) == 0 && node.st_dev == lock.filesystem
            && node.st_ino == lock.inode) {
            found = S_ISCHR(node.st_mode) && node.st_rdev == device;
            break;
        }
    }
    ::closedir(descriptors);
    return found;
}
#endif

// Whether another program holds a flock on the device, through this node
// or another one, and its pid when the kernel shows it (0 otherwise).
// Opening a terminal raises its modem lines, whoever holds it, so a device
// flocked elsewhere is refused before it is opened at all.
std::optional<qint64> flockHolderOf(const QString &path)
{
#ifdef Q_OS_LINUX
    struct stat device {};
    if (::stat(QFile::encodeName(path).constData(), &device) != 0)
        return std::nullopt;
    for (const Flock &lock : flocksOnTheHost()) {
        const bool thisNode = lock.filesystem == device.st_dev && lock.inode == device.st_ino;
        if (thisNode || (S_ISCHR(device.st_mode) && lock.pid > 0 && holderLocksThrough(lock, device.st_rdev)))
            return lock.pid;
    }
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

std::optional<OpenFailure> refusalByFlock(const QString &path)
{
    const std::optional<qint64> pid = flockHolderOf(path);
    if (!pid)
        return std::nullopt;
    OpenFailure failure = heldBy(OpenFailure::FlockHeld, path, hostText(EWOULDBLOCK));
    if (failure.holderPid <= 0 && *pid > 0) {
        failure.holderPid = *pid;
        failure.holder = programOf(*pid);
    }
    return failure;
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
    if (std::optional<OpenFailure> refusal = refusalByFlock(path))
        return *std::move(refusal);
    if (std::optional<OpenFailure> refusal = refusalByLockFile(path))
        return *std::move(refusal);
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
