#include "serial/mscomm.h"

#include "runtime/numbered_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QScopedValueRollback>
#include <QSysInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <utility>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

constexpr int kReceiveBufferSize = 1024;
constexpr int kHighestPortNumber = 16;
constexpr std::array<qint32, 8> kSpeeds = {2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

// "speed,n,8,1" with one of the supported speeds; nothing else is a line
// setting this monitor can use.
std::optional<qint32> speedFromSettings(const QString &settings)
{
    const QStringList fields = settings.split(u',');
    if (fields.size() != 4 || fields[1].compare(u"n", Qt::CaseInsensitive) != 0
        || fields[2] != u"8" || fields[3] != u"1")
        return std::nullopt;
    for (const qint32 speed : kSpeeds) {
        if (fields[0] == QString::number(speed))
            return speed;
    }
    return std::nullopt;
}

// The lock file the serial port module takes for a device: the same
// directories in the same order, so that we read the file its holder wrote.
QString lockFilePathFor(const QString &devicePath)
{
#ifndef Q_OS_UNIX
    // Windows has no lock files: a COM port is opened exclusively or not at all.
    Q_UNUSED(devicePath);
    return {};
#else
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
#endif
}

// Whether the process that wrote a lock file on this host is gone. A lock
// written on another host (a shared lock directory) cannot be judged.
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

// The lock file names its holder. The serial port module removes a lock
// whose holder is gone when it can; one it cannot remove (another user's,
// say root's after a killed run) is named so that the user can remove it.
void fillLockHolder(OpenFailure &failure)
{
    const QString lockPath = lockFilePathFor(failure.path);
    if (lockPath.isEmpty())
        return;
    const QLockFile lock(lockPath);
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (!lock.getLockInfo(&pid, &hostName, &appName))
        return;
    if (holderIsGone(pid, hostName)) {
        failure.staleLockFile = lockPath;
        return;
    }
    failure.holder = appName;
    failure.holderPid = pid;
}

// Qt reports a busy device and a forbidden one alike; the file's access
// rights tell them apart.
bool mayNotRead(const QString &path)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(path).constData(), R_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(path);
    return false;
#endif
}

QString describeFailure(const OpenFailure &failure, int port)
{
    const QString start = QStringLiteral("Cannot open port %1").arg(port);
    switch (failure.reason) {
    case OpenFailure::NoDevice:
        return QStringLiteral("%1: no serial device stands behind that port number").arg(start);
    case OpenFailure::NotFound:
        return QStringLiteral("%1: %2 does not exist (%3)").arg(start, failure.path, failure.hostReason);
    case OpenFailure::NoPermission:
        return QStringLiteral("%1: no permission to read %2 (%3)").arg(start, failure.path, failure.hostReason);
    case OpenFailure::Busy:
        if (!failure.staleLockFile.isEmpty())
            return QStringLiteral("%1: %2 is locked by %3, left by a program that no longer runs")
                .arg(start, failure.path, failure.staleLockFile);
        if (failure.holder.isEmpty())
            return QStringLiteral("%1: %2 is in use by another program (%3)").arg(start, failure.path, failure.hostReason);
        return QStringLiteral("%1: %2 is in use by %3 (pid %4)")
            .arg(start, failure.path, failure.holder)
            .arg(failure.holderPid);
    case OpenFailure::Other:
    case OpenFailure::None:
        break;
    }
    return QStringLiteral("%1: %2: %3").arg(start, failure.path, failure.hostReason);
}

} // namespace

MSComm::MSComm(QObject *parent)
    : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::takeArrivedBytes);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::handlePortError);
}

MSComm::~MSComm()
{
    // The port outlives the other members: nothing it says while closing
    // may reach this half-destroyed object.
    m_port.disconnect(this);
    m_port.close();
    if (m_line)
        m_line->close();
}

rt::Int16 MSComm::CommPort() const
{
    return m_commPort;
}

void MSComm::setCommPort(int port)
{
    if (PortOpen())
        rt::raiseInvalidPropertyValue(QStringLiteral("CommPort cannot change while the port is open"));
    if (port < 0 || port > kHighestPortNumber)
        rt::raiseInvalidPropertyValue(QStringLiteral("CommPort %1 is outside 0..%2").arg(port).arg(kHighestPortNumber));
    m_commPort = rt::toInt16(port);
}

QString MSComm::Settings() const
{
    return m_settings;
}

void MSComm::setSettings(const QString &settings)
{
    const std::optional<qint32> speed = speedFromSettings(settings);
    if (!speed)
        rt::raiseInvalidPropertyValue(QStringLiteral("Settings \"%1\" is not speed,n,8,1 with a supported speed").arg(settings));
    if (m_port.isOpen())
        applySpeed(*speed);
    // An in-process line has no speed to set.
    m_settings = settings;
    m_speed = *speed;
}

void MSComm::applySpeed(qint32 speed)
{
    bool applied = false;
    {
        const QScopedValueRollback quiet(m_quietErrors, true);
        applied = m_port.setBaudRate(speed);
    }
    if (applied)
        return;
    const QString reason = m_port.errorString();
    m_port.clearError();
    throw rt::NumberedError(rt::InvalidPortNumber,
                            QStringLiteral("Cannot set %1 bit/s on %2: %3").arg(speed).arg(m_openedPath, reason));
}

bool MSComm::PortOpen() const
{
    return m_port.isOpen() || m_line;
}

void MSComm::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void MSComm::openPort()
{
    m_lastOpenFailure = {};
    const int port = m_commPort;
    if (PortOpen()) {
        const OpenFailure alreadyOpen{.reason = OpenFailure::Busy,
                                      .path = m_openedPath,
                                      .holder = QCoreApplication::applicationName(),
                                      .holderPid = QCoreApplication::applicationPid(),
                                      .hostReason = QStringLiteral("already open here")};
        failOpening(alreadyOpen, rt::PortAlreadyOpen);
    }
    const PortDirectory::Listing listing = m_ports.listing();
    const QString path = listing.path(port);
    if (path.isEmpty())
        failOpening(OpenFailure{.reason = OpenFailure::NoDevice}, rt::InvalidPortNumber);
    if (QIODevice *line = listing.inProcessLine(port)) {
        openLine(line, path, port);
        return;
    }

    m_port.setPortName(path);
    m_port.setBaudRate(m_speed);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    bool opened = false;
    {
        const QScopedValueRollback quiet(m_quietErrors, true);
        opened = m_port.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        const OpenFailure failure = describeHostFailure(path);
        m_port.clearError();
        failOpening(failure, failure.reason == OpenFailure::Busy ? rt::PortAlreadyOpen : rt::InvalidPortNumber);
    }
    m_failure.clear();
    m_openedPath = path;
    lockDevice(path);
    prepareLine();
    m_received.clear();
    m_openedPort = port;
}

// The line is read as a port is: what arrives goes through takeArrivedBytes.
// A line already open is read by another port of this program.
void MSComm::openLine(QIODevice *line, const QString &path, int port)
{
    if (line->isOpen())
        failOpening(OpenFailure{.reason = OpenFailure::Busy, .path = path, .hostReason = QStringLiteral("already open")},
                    rt::PortAlreadyOpen);
    if (!line->open(QIODevice::ReadOnly))
        failOpening(OpenFailure{.reason = OpenFailure::Other, .path = path, .hostReason = line->errorString()},
                    rt::InvalidPortNumber);
    connect(line, &QIODevice::readyRead, this, &MSComm::takeArrivedBytes);
    m_line = line;
    m_failure.clear();
    m_openedPath = path;
    m_received.clear();
    m_openedPort = port;
}

QIODevice &MSComm::input()
{
    if (m_line)
        return *m_line;
    return m_port;
}

// Programs that lock a terminal only with flock (picocom and others) are
// not stopped by the lock file; an exclusive flock keeps them and us from
// reading the same line at once, whoever opened first.
void MSComm::lockDevice(const QString &path)
{
#ifdef Q_OS_UNIX
    if (::flock(static_cast<int>(m_port.handle()), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return;
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    closeQuietly();
    failOpening(OpenFailure{.reason = OpenFailure::Busy, .path = path, .hostReason = reason, .flockHeld = true}, rt::PortAlreadyOpen);
#else
    Q_UNUSED(path);
#endif
}

// What the device sent before the opening is never shown: the host's input
// queue is emptied. DTR and RTS are raised on every platform alike (Linux
// raises both on opening, Windows lowers RTS), as a sensor may draw its power
// from them. A device without modem lines (a pseudo-terminal) refuses that,
// which changes nothing for a port that only listens.
void MSComm::prepareLine()
{
    const QScopedValueRollback quiet(m_quietErrors, true);
    m_port.clear(QSerialPort::Input);
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
}

void MSComm::closeQuietly()
{
    const QScopedValueRollback quiet(m_quietErrors, true);
    m_port.close();
    m_port.clearError();
}

void MSComm::failOpening(OpenFailure failure, int number)
{
    m_lastOpenFailure = std::move(failure);
    throw rt::NumberedError(number, describeFailure(m_lastOpenFailure, m_commPort));
}

OpenFailure MSComm::describeHostFailure(const QString &path) const
{
    OpenFailure failure{.reason = OpenFailure::Other, .path = path, .hostReason = m_port.errorString()};
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        failure.reason = OpenFailure::NotFound;
        break;
    case QSerialPort::PermissionError:
        if (mayNotRead(path)) {
            failure.reason = OpenFailure::NoPermission;
        } else {
            failure.reason = OpenFailure::Busy;
            fillLockHolder(failure);
        }
        break;
    default:
        break;
    }
    return failure;
}

OpenFailure MSComm::lastOpenFailure() const
{
    return m_lastOpenFailure;
}

// Closing discards what was received, as the classic control does.
void MSComm::closePort()
{
    if (m_line) {
        m_line->disconnect(this);
        m_line->close();
        m_line = nullptr;
    }
    if (m_port.isOpen())
        closeQuietly();
    m_failure.clear();
    m_received.clear();
}

int MSComm::InputMode() const
{
    return 0;
}

void MSComm::setInputMode(int mode)
{
    if (mode != 0)
        rt::raiseInvalidPropertyValue(QStringLiteral("InputMode %1: only 0 (text) is supported").arg(mode));
}

int MSComm::InputLen() const
{
    return 0;
}

void MSComm::setInputLen(int length)
{
    if (length != 0)
        rt::raiseInvalidPropertyValue(QStringLiteral("InputLen %1: only 0 (everything waiting) is supported").arg(length));
}

rt::Int16 MSComm::InBufferCount() const
{
    return rt::toInt16(m_received.size());
}

QString MSComm::Input()
{
    const QString text = QString::fromLatin1(m_received);
    m_received.clear();
    return text;
}

int MSComm::InBufferSize() const
{
    return kReceiveBufferSize;
}

// What arrives while the buffer is full is read and dropped, so that the
// device can never make this program hold more than the buffer.
void MSComm::takeArrivedBytes()
{
    const QByteArray bytes = input().readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
    const qsizetype room = std::max<qsizetype>(0, kReceiveBufferSize - m_received.size());
    m_received.append(bytes.first(std::min(room, bytes.size())));
}

// A device that fails keeps failing (a hung-up line reports an error on
// every poll), so it is closed after the first error and reported once.
// The close waits for the event loop: the call that met the error may still
// be using the port's notifiers. What the device had already delivered
// stays in the buffer for the next Input.
void MSComm::handlePortError(QSerialPort::SerialPortError error)
{
    if (m_quietErrors || error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen()
        || !m_failure.isEmpty())
        return;
    m_failure = QStringLiteral("%1 failed: %2").arg(m_openedPath, m_port.errorString());
    QMetaObject::invokeMethod(this, &MSComm::closeFailedDevice, Qt::QueuedConnection);
}

// Does nothing when the port was closed (or closed and opened again) since.
void MSComm::closeFailedDevice()
{
    if (m_failure.isEmpty())
        return;
    const QString description = std::exchange(m_failure, {});
    closeQuietly();
    emit deviceFailed(m_openedPort, description);
}

QVariantMap MSComm::DeviceMap() const
{
    return m_ports.deviceMap();
}

void MSComm::setDeviceMap(const QVariantMap &map)
{
    m_ports.setDeviceMap(map);
}

PortDirectory &MSComm::ports()
{
    return m_ports;
}

const PortDirectory &MSComm::ports() const
{
    return m_ports;
}
