#pragma once

#include <QList>
#include <QMap>
#include <QSerialPortInfo>
#include <QString>
#include <QVariantMap>

class QIODevice;

// What puts a host's device in its place among the port numbers: its name
// and whether it reports a USB vendor id.
struct HostPortName {
    QString name; // ttyUSB0, ttyS1, cu.usbserial-1410, ...
    bool hasVendorId = false;
};

// Port-number order: USB adapters first (a vendor id, or a ttyUSB/ttyACM
// name), as those are what a sensor is plugged into, then the rest; each
// group in natural name order (ttyUSB2 before ttyUSB10).
bool comesBeforeInPortOrder(const HostPortName &a, const HostPortName &b);

// Which device each port number stands for. In order of precedence:
//   1. a device assigned to the number (the command line's --port, the demo
//      device);
//   2. the DeviceMap, port number as text to device path, which, when not
//      empty, replaces the host's list (tests point ports at pseudo-terminals
//      with it);
//   3. the host's serial devices: COMN on Windows; elsewhere the N-th device
//      the host reports, USB adapters first, each group in natural name order.
class PortDirectory {
public:
    // One look at the host's devices, so that a drop-down's nine tooltips or
    // one opening cost a single scan of the host.
    class Listing {
    public:
        // The device behind `port`, or an empty text when there is none.
        QString path(int port) const;
        // The in-process line assigned to `port`, or nullptr for a device
        // the host opens.
        QIODevice *inProcessLine(int port) const;
        // "/dev/ttyUSB0 — FT232R USB UART", the assigned description, or a
        // Russian line saying that no device stands behind the port.
        QString summary(int port) const;

    private:
        friend class PortDirectory;
        const PortDirectory *m_directory = nullptr;
        QList<QSerialPortInfo> m_hostPorts; // in port-number order
    };

    // Port `port` (1..9) stands for `path` from now on; `description`, when
    // not empty, is what the port list says about it. With `line`, opening
    // the port reads that in-process line instead of a host device (the demo
    // device where there are no pseudo-terminals); it must outlive its use.
    void assign(int port, const QString &path, const QString &description = {}, QIODevice *line = nullptr);

    QVariantMap deviceMap() const;
    void setDeviceMap(const QVariantMap &map);

    // Scans the host's devices once.
    Listing listing() const;

private:
    struct Assigned {
        QString path;
        QString description;
        QIODevice *line = nullptr;
    };
    QMap<int, Assigned> m_assigned;
    QVariantMap m_deviceMap;
};
