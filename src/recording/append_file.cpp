#include "recording/append_file.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kSyncIntervalMs = 1000;

#ifdef Q_OS_UNIX
QString hostText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString openErrorText(int error)
{
    switch (error) {
    case EISDIR:
        return QStringLiteral("is a directory");
    case ENXIO:
        return QStringLiteral("a FIFO that no program reads: start its reader first");
    default:
        return hostText(error);
    }
}

bool isDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}
#endif

} // namespace

AppendFile::~AppendFile() = default;

bool AppendFile::isWriting() const
{
    return m_file.isOpen();
}

QString AppendFile::path() const
{
    return m_path;
}

int AppendFile::descriptor() const
{
    return m_file.handle();
}

bool AppendFile::cutBackTo(qint64 size)
{
    return m_file.resize(size);
}

bool AppendFile::isSameFileAs(const AppendFile &other) const
{
    if (!isWriting() || !other.isWriting())
        return false;
#ifdef Q_OS_UNIX
    struct stat mine = {};
    struct stat theirs = {};
    return ::fstat(descriptor(), &mine) == 0 && ::fstat(other.descriptor(), &theirs) == 0
        && mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
#else
    return QFileInfo(path()).canonicalFilePath() == QFileInfo(other.path()).canonicalFilePath();
#endif
}

#ifdef Q_OS_UNIX
// Opened first and judged by what was opened (fstat), so that nothing can
// change between a check and the opening. Never truncates; never waits for
// a FIFO's reader (O_NONBLOCK: without one the opening fails at once).
QString AppendFile::openForAppend(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int handle = ::open(name.constData(), flags | O_CREAT | O_EXCL, 0666);
    m_created = handle >= 0;
    if (handle < 0 && errno == EEXIST)
        handle = ::open(name.constData(), flags);
    if (handle < 0)
        return openErrorText(errno);
    struct stat info = {};
    if (::fstat(handle, &info) != 0) {
        const int error = errno;
        ::close(handle);
        return hostText(error);
    }
    m_stream = !S_ISREG(info.st_mode);
    if (!m_stream)
        ::fcntl(handle, F_SETFL, O_APPEND);
    m_path = path;
    if (!m_file.open(handle, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return m_file.errorString();
    }
    if (m_stream) {
        m_writable = new QSocketNotifier(handle, QSocketNotifier::Write, this);
        m_writable->setEnabled(false);
        connect(m_writable, &QSocketNotifier::activated, this, &AppendFile::drainWaiting);
    }
    return {};
}

void AppendFile::append(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return;
    if (m_stream) {
        m_waiting.append(bytes);
        if (m_waiting.size() > kMostWaiting)
            return fail(false, QStringLiteral("the program reading it has stopped taking data (%1 MiB waiting)")
                                   .arg(kMostWaiting / (1024 * 1024)));
        return drainWaiting();
    }
    writeOut(bytes);
    if (m_file.isOpen())
        syncWhenDue();
}

// One write normally; a short one (the disk filling up) is followed by
// another for the rest, which then reports the host's reason. A piece that
// cannot be written whole is cut back out, so that the file always ends
// with a whole line.
void AppendFile::writeOut(const QByteArray &bytes)
{
    const off_t before = ::lseek(descriptor(), 0, SEEK_END);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(descriptor(), bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            if (before >= 0) {
                [[maybe_unused]] const int cut = ::ftruncate(descriptor(), before);
            }
            return fail(isDiskFull(error), hostText(error));
        }
        done += written;
    }
}

// Writes what the reader can take now; the rest waits for the pipe to drain.
void AppendFile::drainWaiting()
{
    while (!m_waiting.isEmpty()) {
        const ssize_t written = ::write(descriptor(), m_waiting.constData(), static_cast<size_t>(m_waiting.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (written < 0) {
            const int error = errno;
            const QString reason = error == EPIPE ? QStringLiteral("the program reading it went away (%1)").arg(hostText(error))
                                                  : hostText(error);
            return fail(isDiskFull(error), reason);
        }
        m_waiting.remove(0, written);
    }
    m_writable->setEnabled(!m_waiting.isEmpty());
}

// A full disk or a pulled stick often shows only here: the write itself
// went into the cache.
void AppendFile::syncWhenDue()
{
    if (m_sinceSync.isValid() && m_sinceSync.elapsed() < kSyncIntervalMs)
        return;
    m_sinceSync.start();
    if (::fdatasync(descriptor()) != 0 && errno != EINVAL)
        fail(isDiskFull(errno), hostText(errno));
}
#else
QString AppendFile::openForAppend(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("is a directory");
    m_stream = info.exists() && !info.isFile();
    m_created = !info.exists();
    m_path = path;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | (m_stream ? QIODevice::NotOpen : QIODevice::Append)))
        return m_file.errorString();
    return {};
}

void AppendFile::append(const QByteArray &bytes)
{
    if (m_file.isOpen())
        writeOut(bytes);
}

void AppendFile::writeOut(const QByteArray &bytes)
{
    const qint64 before = m_file.size();
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            if (!m_stream)
                m_file.resize(before);
            return fail(m_file.error() == QFileDevice::ResourceError, m_file.errorString());
        }
        done += written;
    }
}

void AppendFile::drainWaiting() {}
void AppendFile::syncWhenDue() {}
#endif

void AppendFile::abandon()
{
    if (!m_file.isOpen())
        return;
    stopWatching();
    m_file.close();
    if (m_created)
        QFile::remove(m_path);
}

// The notifier may be the one whose signal is being handled: it goes once
// control is back in the event loop.
void AppendFile::stopWatching()
{
    if (m_writable == nullptr)
        return;
    m_writable->setEnabled(false);
    m_writable->deleteLater();
    m_writable = nullptr;
}

void AppendFile::fail(bool diskFull, const QString &reason)
{
    stopWatching();
    m_waiting.clear();
    m_file.close();
    emit failed(m_path, diskFull, reason);
}
