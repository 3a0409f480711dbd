#include "recording/byte_capture.h"

QString ByteCapture::open(const QString &path)
{
    return openForAppend(path);
}

void ByteCapture::capture(const QByteArray &bytes)
{
    append(bytes);
}
