#include "sim/demo_device.h"

QString DemoDevice::description() const
{
    return QStringLiteral("Демонстрационное устройство (три датчика), %1").arg(path());
}

#ifdef Q_OS_WIN

// There is no device path: the name only tells the user what Com 1 is.
DemoDevice::DemoDevice(QObject *parent)
    : QObject(parent)
{
    connect(&m_source, &RecordSource::recordDue, &m_line, &InProcessLine::send);
}

bool DemoDevice::isValid() const
{
    return true;
}

QString DemoDevice::errorString() const
{
    return {};
}

QString DemoDevice::path() const
{
    return QStringLiteral("DEMO");
}

QIODevice *DemoDevice::inProcessLine()
{
    return &m_line;
}

void DemoDevice::start()
{
    m_source.start();
}

#else

DemoDevice::DemoDevice(QObject *parent)
    : QObject(parent)
{
}

bool DemoDevice::isValid() const
{
    return m_pty.isValid();
}

QString DemoDevice::errorString() const
{
    return m_pty.errorString();
}

QString DemoDevice::path() const
{
    return m_pty.slavePath();
}

QIODevice *DemoDevice::inProcessLine()
{
    return nullptr;
}

void DemoDevice::start()
{
    m_pty.start();
}

#endif
