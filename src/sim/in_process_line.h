#pragma once

#include <QByteArray>
#include <QIODevice>

// A serial line inside one process, for a system without pseudo-terminals:
// the device's end sends, and whoever has the line open reads it as it reads
// a port, through readyRead() and read(). Bytes sent while nobody has it open
// are lost, as bytes sent into an unopened port are; the reader never sees
// anything older than its own opening.
class InProcessLine : public QIODevice {
    Q_OBJECT
public:
    using QIODevice::QIODevice;

    // The device's end: the bytes arrive at once when the line is open.
    void send(const QByteArray &bytes);

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    QByteArray m_pending;
};
