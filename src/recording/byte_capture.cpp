#include "recording/byte_capture.h"

QString ByteCapture::judge(const QString &path)
{
    return judgeForAppend(path);
}

void ByteCapture::capture(const QByteArray &bytes)
{
    append(bytes);
}
