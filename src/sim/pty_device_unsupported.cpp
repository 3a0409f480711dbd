// Windows has no pseudo-terminals: the device is never valid and says so.
#include "sim/pty_device.h"

PtyDevice::PtyDevice(QObject *parent)
    : QObject(parent)
    , m_error(QStringLiteral("this system has no pseudo-terminals"))
{
}

PtyDevice::~PtyDevice() = default;

bool PtyDevice::isValid() const
{
    return false;
}

QString PtyDevice::errorString() const
{
    return m_error;
}

QString PtyDevice::slavePath() const
{
    return {};
}

RecordSource &PtyDevice::source()
{
    return m_source;
}

void PtyDevice::start()
{
}

int PtyDevice::unreadBytes() const
{
    return 0;
}

qint64 PtyDevice::droppedRecords() const
{
    return m_dropped;
}

void PtyDevice::send(const QByteArray &)
{
}
