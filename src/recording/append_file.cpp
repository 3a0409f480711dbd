#include "recording/append_file.h"

#include <QFileInfo>

bool AppendFile::isWriting() const
{
    return m_file.isOpen();
}

QString AppendFile::path() const
{
    return m_file.fileName();
}

QString AppendFile::openForAppend(const QString &path)
{
    // Opening a directory for writing may succeed on some systems; say so plainly.
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("is a directory");
    // A pipe or a device has no end to seek to; it takes writes in order anyway.
    const bool stream = info.exists() && !info.isFile();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | (stream ? QIODevice::NotOpen : QIODevice::Append)))
        return m_file.errorString();
    return {};
}

void AppendFile::append(const QByteArray &bytes)
{
    if (!m_file.isOpen() || bytes.isEmpty())
        return;
    if (m_file.write(bytes) == bytes.size())
        return;
    const bool diskFull = m_file.error() == QFileDevice::ResourceError;
    const QString reason = m_file.errorString();
    m_file.close();
    emit failed(m_file.fileName(), diskFull, reason);
}
