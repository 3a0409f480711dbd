#include "serial/port_directory.h"

#include <algorithm>

namespace {

// Compares names with their digit runs taken as numbers, so that ttyUSB2
// comes before ttyUSB10.
bool naturallyBefore(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const qulonglong numberA = a.mid(startA, i - startA).toULongLong();
            const qulonglong numberB = b.mid(startB, j - startB).toULongLong();
            if (numberA != numberB)
                return numberA < numberB;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// A USB adapter reports a vendor id, whatever its driver calls the device
// (ttyUSB0, ttyACM0, ttyCH341USB0, cu.usbserial-1410, ...).
bool isUsbAdapter(const HostPortName &port)
{
    return port.hasVendorId || port.name.startsWith(u"ttyUSB") || port.name.startsWith(u"ttyACM");
}

HostPortName nameOf(const QSerialPortInfo &info)
{
    return {info.portName(), info.hasVendorIdentifier()};
}

// The host's serial devices in port-number order.
QList<QSerialPortInfo> hostPortsInOrder()
{
    QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo &a, const QSerialPortInfo &b) {
        return comesBeforeInPortOrder(nameOf(a), nameOf(b));
    });
    return ports;
}

QString noDeviceText(int port)
{
    return QStringLiteral("Нет устройства для Com %1").arg(port);
}

} // namespace

bool comesBeforeInPortOrder(const HostPortName &a, const HostPortName &b)
{
    if (isUsbAdapter(a) != isUsbAdapter(b))
        return isUsbAdapter(a);
    return naturallyBefore(a.name, b.name);
}

void PortDirectory::assign(int port, const QString &path, const QString &description, QIODevice *line)
{
    m_assigned.insert(port, {path, description, line});
}

QVariantMap PortDirectory::deviceMap() const
{
    return m_deviceMap;
}

void PortDirectory::setDeviceMap(const QVariantMap &map)
{
    m_deviceMap = map;
}

PortDirectory::Listing PortDirectory::listing() const
{
    Listing listing;
    listing.m_directory = this;
    listing.m_hostPorts = hostPortsInOrder();
    return listing;
}

QString PortDirectory::Listing::path(int port) const
{
    if (port < 1)
        return {};
    const auto assigned = m_directory->m_assigned.constFind(port);
    if (assigned != m_directory->m_assigned.cend())
        return assigned->path;
    if (!m_directory->m_deviceMap.isEmpty())
        return m_directory->m_deviceMap.value(QString::number(port)).toString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return port <= m_hostPorts.size() ? m_hostPorts[port - 1].systemLocation() : QString();
#endif
}

QIODevice *PortDirectory::Listing::inProcessLine(int port) const
{
    const auto assigned = m_directory->m_assigned.constFind(port);
    return assigned != m_directory->m_assigned.cend() ? assigned->line : nullptr;
}

QString PortDirectory::Listing::summary(int port) const
{
    const auto assigned = m_directory->m_assigned.constFind(port);
    if (assigned != m_directory->m_assigned.cend() && !assigned->description.isEmpty())
        return assigned->description;
    const QString devicePath = path(port);
    const auto found = std::find_if(m_hostPorts.cbegin(), m_hostPorts.cend(), [&devicePath](const QSerialPortInfo &info) {
        return info.systemLocation() == devicePath || info.portName() == devicePath;
    });
    const bool onHost = found != m_hostPorts.cend();
    // A device named by the user or a test is shown even before it exists:
    // an adapter may be plugged in later.
    const bool named = assigned != m_directory->m_assigned.cend() || !m_directory->m_deviceMap.isEmpty();
    if (devicePath.isEmpty() || (!named && !onHost))
        return noDeviceText(port);
    if (!onHost || found->description().isEmpty())
        return devicePath;
    return QStringLiteral("%1 — %2").arg(devicePath, found->description());
}
