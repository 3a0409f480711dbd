#include "sim/raw_pty.h"

#include <cerrno>
#include <cstring>
#include <pty.h>
#include <termios.h>

RawPty openRawPty()
{
    RawPty pty;
    char name[256] = {};
    if (openpty(&pty.master, &pty.slave, name, nullptr, nullptr) != 0) {
        pty.error = QString::fromLocal8Bit(std::strerror(errno));
        pty.master = pty.slave = -1;
        return pty;
    }
    pty.slavePath = QString::fromLocal8Bit(name);
    termios raw{};
    tcgetattr(pty.slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(pty.slave, TCSANOW, &raw);
    return pty;
}
