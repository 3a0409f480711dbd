#pragma once

#include "recording/append_file.h"

// The raw capture (--capture): every byte received from the device, as it
// arrived and before the receive buffer could drop any of it.
class ByteCapture : public AppendFile {
    Q_OBJECT
public:
    using AppendFile::AppendFile;

    // Judges `path` without creating or changing anything; the reason when
    // it cannot be used, empty when it can.
    QString judge(const QString &path);

    void capture(const QByteArray &bytes);
};
