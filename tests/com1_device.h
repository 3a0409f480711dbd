#pragma once

#include "test_files.h"

#include <QFile>

// COM1 under Wine as tools/windows/with-com1-pty.py leads it to a
// pseudo-terminal: the far end plays the device, worked through the files of
// the folder SENSOR_MONITOR_WINE_COM1 names. What the program opens is COM1.
class Com1Device {
public:
    bool isValid() const { return !m_folder.isEmpty(); }
    QString slavePath() const { return QStringLiteral("COM1"); }

    // The device sends bytes down the line, all in one write.
    bool send(const QByteArray &bytes) const
    {
        QFile file(m_folder + QStringLiteral("/sent.bin"));
        const QByteArray frame = QByteArray::number(bytes.size()) + '\n' + bytes;
        return file.open(QIODevice::Append | QIODevice::Unbuffered) && file.write(frame) == frame.size();
    }

    // Bytes waiting at COM1 that nobody has read yet.
    int slaveUnreadBytes() const { return contentsOf(m_folder + QStringLiteral("/waiting.txt")).toInt(); }

    // The device goes away: the far end closes.
    bool hangUp() const { return writeFile(m_folder + QStringLiteral("/hangup"), {}); }

private:
    QString m_folder = qEnvironmentVariable("SENSOR_MONITOR_WINE_COM1");
};
