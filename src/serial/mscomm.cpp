#include "serial/mscomm.h"

#include "runtime/numbered_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kReceiveBufferSize = 1024;
// A batch lasts while the line brings at most half of what a Linux terminal
// holds (4096 characters): once that is full, the kernel stops reading a USB
// adapter, which then drops what the device sends. At slower speeds the
// length is capped, as a hang-up while the device talks is noticed only at
// a batch's end.
constexpr int kBatchCharacters = 2048;
constexpr int kLongestBatchMs = 250;
constexpr int kBitsPerCharacter = 10; // start bit, 8 data bits, stop bit
// Taking the port module's own byte has it watch the device again. Left with
// two characters, it reads the first and stops at the second at once, rather
// than sleeping until a busy device sends again and waking us a second time.
constexpr int kLeftForThePortModule = 2;
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

// 178 ms at 115200 bit/s, 250 ms from 57600 down.
int batchMs(qint32 speed)
{
    return std::clamp(kBatchCharacters * kBitsPerCharacter * 1000 / std::max(speed, 1), 1, kLongestBatchMs);
}

// How many characters the host holds for the open device; none when it
// cannot tell (a hung-up line): the port module, watching again, meets the
// failure at once and reports it. Elsewhere the port module has read
// everything itself.
int heldByHost(const QSerialPort &port)
{
    int held = 0;
#ifdef Q_OS_UNIX
    if (::ioctl(static_cast<int>(port.handle()), FIONREAD, &held) != 0)
        return 0;
#else
    Q_UNUSED(port);
#endif
    return std::max(held, 0);
}

// Appends `count` characters read straight from the open device; what
// arrives meanwhile waits for the next batch, so that a device faster than
// the reading cannot hold the event loop here. A failure ends the reading
// quietly, as above.
void readFromHost(const QSerialPort &port, QByteArray &bytes, int count)
{
#ifdef Q_OS_UNIX
    const int descriptor = static_cast<int>(port.handle());
    const qsizetype start = bytes.size();
    bytes.resize(start + count);
    qsizetype taken = 0;
    while (taken < count) {
        const ssize_t got = ::read(descriptor, bytes.data() + start + taken, static_cast<size_t>(count - taken));
        if (got > 0)
            taken += got;
        else if (got == 0 || errno != EINTR)
            break;
    }
    bytes.resize(start + taken);
#else
    Q_UNUSED(port);
    Q_UNUSED(bytes);
    Q_UNUSED(count);
#endif
}

// A link (/dev/serial/by-id/...) is followed once per opening: the lock,
// its file and the port then name one device, even if the link is pointed
// at another adapter meanwhile. A path that leads nowhere stays as it is,
// for the refusal to name it.
QString followedLink(const QString &path)
{
#ifdef Q_OS_UNIX
    if (QDir::isAbsolutePath(path)) {
        const QString device = QFileInfo(path).canonicalFilePath();
        if (!device.isEmpty())
            return device;
    }
#endif
    return path;
}

// Of the `held` characters, those a batch takes. A device that filled half a
// batch or more is sending without pause: two characters stay with the host.
int takenByABatch(int held, qint32 speed)
{
    const int fullBatch = speed / kBitsPerCharacter * batchMs(speed) / 1000;
    return held >= fullBatch / 2 ? held - kLeftForThePortModule : held;
}

} // namespace

MSComm::MSComm(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    // The port module stops watching the device once it holds this many
    // bytes, until they are read: a batch's first byte wakes us, the rest
    // waits in the host's buffer. A hang-up still wakes us at once while no
    // batch is waiting, and at the batch's end otherwise.
    m_port.setReadBufferSize(1);
#endif
    m_batch.setSingleShot(true);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::startBatch);
    connect(&m_batch, &QTimer::timeout, this, &MSComm::takeBatch);
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
    // An in-process line has no speed to set.
    if (m_port.isOpen())
        applySpeed(*speed);
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
    if (PortOpen()) {
        failOpening(OpenFailure{.reason = OpenFailure::OpenHere,
                                .path = m_openedPath,
                                .holder = QCoreApplication::applicationName(),
                                .holderPid = QCoreApplication::applicationPid(),
                                .hostReason = QStringLiteral("already open here")});
    }
    const PortDirectory::Listing listing = m_ports.listing();
    const QString path = listing.path(m_commPort);
    if (path.isEmpty())
        failOpening(OpenFailure{.reason = OpenFailure::NoDevice});
    if (QIODevice *line = listing.inProcessLine(m_commPort)) {
        openLine(line, path);
        return;
    }
    const QString device = followedLink(path);
    if (OpenFailure refusal = m_lock.take(device); refusal.reason != OpenFailure::None)
        failOpening(std::move(refusal));

    m_port.setPortName(device);
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
        OpenFailure refusal = explainRefusal(device, m_port.error(), m_port.errorString());
        m_port.clearError();
        m_lock.release();
        failOpening(std::move(refusal));
    }
    m_failed = false;
    m_openedPath = device;
    prepareLine();
    m_received.clear();
    m_openedPort = m_commPort;
}

// The line is read as a port is: what arrives goes through takeArrivedBytes.
// A line already open is read by another port of this program.
void MSComm::openLine(QIODevice *line, const QString &path)
{
    if (line->isOpen())
        failOpening(OpenFailure{.reason = OpenFailure::OpenHere, .path = path, .hostReason = QStringLiteral("already open")});
    if (!line->open(QIODevice::ReadOnly))
        failOpening(OpenFailure{.reason = OpenFailure::Other, .path = path, .hostReason = line->errorString()});
    connect(line, &QIODevice::readyRead, this, [this] { takeArrivedBytes(); });
    m_line = line;
    m_failed = false;
    m_openedPath = path;
    m_received.clear();
    m_openedPort = m_commPort;
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
    m_lock.release();
}

void MSComm::failOpening(OpenFailure failure)
{
    m_lastOpenFailure = std::move(failure);
    throw rt::NumberedError(m_lastOpenFailure.errorNumber(), m_lastOpenFailure.description(m_commPort));
}

OpenFailure MSComm::lastOpenFailure() const
{
    return m_lastOpenFailure;
}

// Closing discards what was received, as the classic control does.
void MSComm::closePort()
{
    m_batch.stop();
    if (m_line) {
        m_line->disconnect(this);
        m_line->close();
        m_line = nullptr;
    }
    if (m_port.isOpen())
        closeQuietly();
    m_failed = false;
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

rt::Int16 MSComm::InBufferCount()
{
    takeArrivedBytes();
    return rt::toInt16(m_received.size());
}

QString MSComm::Input()
{
    takeArrivedBytes();
    const QString text = QString::fromLatin1(m_received);
    m_received.clear();
    return text;
}

int MSComm::InBufferSize() const
{
    return kReceiveBufferSize;
}

void MSComm::startBatch()
{
    if (!m_batch.isActive())
        m_batch.start(batchMs(m_speed));
}

// While the device talks, batch follows batch and nothing else wakes us.
// A batch that finds the line quiet ends that: the port module, watching
// again since its bytes were taken, wakes us at the next byte or a hang-up.
void MSComm::takeBatch()
{
    if (takeArrivedBytes(true) > 0)
        m_batch.start(batchMs(m_speed));
}

// What arrives while the buffer is full is read and dropped, so that the
// device can never make this program hold more than the buffer. Returns
// how many characters arrived.
qsizetype MSComm::takeArrivedBytes(bool batchEnds)
{
    QByteArray bytes;
    if (m_line) {
        bytes = m_line->readAll();
    } else if (m_port.isOpen()) {
        // The port module's bytes come first; taking them has it watch the device again.
        bytes = m_port.read(m_port.bytesAvailable());
        const int held = heldByHost(m_port);
        readFromHost(m_port, bytes, batchEnds ? takenByABatch(held, m_speed) : held);
    }
    if (bytes.isEmpty())
        return 0;
    emit received(bytes);
    const qsizetype room = std::max<qsizetype>(0, kReceiveBufferSize - m_received.size());
    m_received.append(bytes.first(std::min(room, bytes.size())));
    return bytes.size();
}

// A device that fails keeps failing (a hung-up line reports an error on
// every poll), so it is closed after the first error and reported once.
// The close waits for the event loop: the call that met the error may still
// be using the port's notifiers. What the device had already delivered
// stays in the buffer for the next Input.
void MSComm::handlePortError(QSerialPort::SerialPortError error)
{
    if (m_quietErrors || error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen()
        || m_failed)
        return;
    m_failed = true;
    QMetaObject::invokeMethod(this, &MSComm::closeFailedDevice, Qt::QueuedConnection);
}

// Does nothing when the port was closed (or closed and opened again) since.
void MSComm::closeFailedDevice()
{
    if (!std::exchange(m_failed, false))
        return;
    closeQuietly();
    emit deviceFailed(m_openedPort, m_openedPath);
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
