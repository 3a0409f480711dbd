#include "app/display_server.h"

#include <QByteArray>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Whether a server accepts connections on the Unix socket `path`; in
// Linux's abstract namespace when `abstract`. Only connects: says nothing.
bool listensOn(const QByteArray &path, bool abstract)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0; // an abstract name starts with a zero byte
    if (offset + std::size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.constData(), std::size_t(path.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(path.size()) + (abstract ? 0 : 1));
    const int handle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle < 0)
        return false;
    const bool listening = ::connect(handle, reinterpret_cast<const sockaddr *>(&address), length) == 0
        || errno == EAGAIN || errno == EINPROGRESS;
    ::close(handle);
    return listening;
}

// DISPLAY is [HOST]:NUMBER[.SCREEN]; a local server (no host, or "unix")
// listens on /tmp/.X11-unix/XNUMBER, on Linux also in the abstract namespace.
bool isXDisplayMissing()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return true;
    const qsizetype colon = display.lastIndexOf(':');
    const QByteArray host = display.left(colon);
    if (colon < 0 || !(host.isEmpty() || host == "unix"))
        return false;
    QByteArray number = display.mid(colon + 1);
    if (const qsizetype screen = number.indexOf('.'); screen >= 0)
        number.truncate(screen);
    bool isNumber = false;
    number.toUInt(&isNumber);
    if (!isNumber)
        return false;
    const QByteArray socket = "/tmp/.X11-unix/X" + number;
#ifdef Q_OS_LINUX
    if (listensOn(socket, true))
        return false;
#endif
    return !listensOn(socket, false);
}

// A compositor listens on WAYLAND_DISPLAY (wayland-0 unless set), a name in
// XDG_RUNTIME_DIR or a path; one that hands its socket over sets WAYLAND_SOCKET.
bool isWaylandDisplayMissing()
{
    if (!qgetenv("WAYLAND_SOCKET").isEmpty())
        return false;
    QByteArray socket = qgetenv("WAYLAND_DISPLAY");
    if (socket.isEmpty())
        socket = "wayland-0";
    if (!socket.startsWith('/')) {
        const QByteArray runtimeFolder = qgetenv("XDG_RUNTIME_DIR");
        if (runtimeFolder.isEmpty())
            return true;
        socket = runtimeFolder + '/' + socket;
    }
    return !listensOn(socket, false);
}

} // namespace

bool isDisplayMissingFor(const QString &plugin)
{
    if (plugin == u"xcb")
        return isXDisplayMissing();
    if (plugin.startsWith(u"wayland"))
        return isWaylandDisplayMissing();
    return false;
}

#else

bool isDisplayMissingFor(const QString &)
{
    return false;
}

#endif
