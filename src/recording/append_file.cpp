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
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("is a directory");
    // A pipe or a device has no end to seek to; it takes writes in order anyway.
    const bool stream = info.exists() && !info.isFile();
    m_created = !info.exists();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | (stream ? QIODevice::NotOpen : QIODevice::Append)))
        return m_file.errorString();
    return {};
}

void AppendFile::abandon()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    if (m_created)
        m_file.remove();
}

void AppendFile::append(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return;
    // One write normally; a short one (the disk filling up) is followed by
    // another for the rest, which then reports the host's reason.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return fail();
        done += written;
    }
}

void AppendFile::fail()
{
    const bool diskFull = m_file.error() == QFileDevice::ResourceError;
    const QString reason = m_file.errorString();
    m_file.close();
    emit failed(m_file.fileName(), diskFull, reason);
}
