#pragma once

#include "recording/append_file.h"

// The raw capture (--capture): every byte received from the device, as it
// arrived and before the receive buffer could drop any of it.
class ByteCapture : public AppendFile {
    Q_OBJECT
public:
    using AppendFile::AppendFile;

    // Opens `path`; the reason when it cannot, empty when open.
    QString open(const QString &path);

    void capture(const QByteArray &bytes);
};
