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
    case EEXIST:
        return QStringLiteral("made by another program while the monitor started");
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
    if (m_toCreate && other.m_toCreate) {
        const QString mine = folderAndName();
        return !mine.isEmpty() && mine == other.folderAndName();
    }
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
namespace {

constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Why a file cannot be made in the folder of `path`; empty when it can.
QString folderRefusal(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    struct stat info = {};
    if (::stat(folder.constData(), &info) != 0)
        return hostText(errno);
    if (!S_ISDIR(info.st_mode))
        return hostText(ENOTDIR);
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return hostText(errno);
    return {};
}

} // namespace

// A file that exists is opened at once and judged by what was opened
// (fstat), so that nothing can change between a check and the opening.
// Never truncates; never waits for a FIFO's reader (O_NONBLOCK: without one
// the opening fails at once).
QString AppendFile::judgeForAppend(const QString &path)
{
    m_path = path;
    const QByteArray name = QFile::encodeName(path);
    struct stat link = {};
    if (::lstat(name.constData(), &link) != 0) {
        if (errno != ENOENT)
            return hostText(errno);
        m_toCreate = true;
        return folderRefusal(path);
    }
    const int handle = ::open(name.constData(), kAppendFlags);
    if (handle < 0)
        return openErrorText(errno);
    return adopt(handle);
}

// Made only if still missing: a file that appeared since it was judged was
// not judged, and is refused.
QString AppendFile::create()
{
    if (!m_toCreate)
        return {};
    const int handle = ::open(QFile::encodeName(m_path).constData(), kAppendFlags | O_CREAT | O_EXCL, 0666);
    if (handle < 0)
        return openErrorText(errno);
    m_toCreate = false;
    m_created = true;
    return adopt(handle);
}

QString AppendFile::folderAndName() const
{
    struct stat folder = {};
    if (::stat(QFile::encodeName(QFileInfo(m_path).path()).constData(), &folder) != 0)
        return {};
    return QStringLiteral("%1:%2/%3").arg(folder.st_dev).arg(folder.st_ino).arg(QFileInfo(m_path).fileName());
}

QString AppendFile::adopt(int handle)
{
    struct stat info = {};
    if (::fstat(handle, &info) != 0) {
        const int error = errno;
        ::close(handle);
        return hostText(error);
    }
    m_stream = !S_ISREG(info.st_mode);
    if (!m_stream)
        ::fcntl(handle, F_SETFL, O_APPEND);
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
QString AppendFile::judgeForAppend(const QString &path)
{
    m_path = path;
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("is a directory");
    if (!info.exists()) {
        m_toCreate = true;
        return QFileInfo(info.path()).isDir() ? QString() : QStringLiteral("no such folder");
    }
    return adopt(-1);
}

QString AppendFile::create()
{
    if (!m_toCreate)
        return {};
    if (QFileInfo::exists(m_path))
        return QStringLiteral("made by another program while the monitor started");
    m_toCreate = false;
    m_created = true;
    return adopt(-1);
}

QString AppendFile::folderAndName() const
{
    const QFileInfo info(m_path);
    return QFileInfo(info.path()).canonicalFilePath() + u'/' + info.fileName();
}

QString AppendFile::adopt([[maybe_unused]] int handle)
{
    const QFileInfo info(m_path);
    m_stream = info.exists() && !info.isFile();
    m_file.setFileName(m_path);
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
    m_toCreate = false;
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
