#pragma once

#include <QString>

// A pseudo-terminal pair in raw mode, as a serial line is: nothing echoed
// back, nothing held back for a line end. The caller owns both descriptors;
// both are -1 when the pair could not be made, and `error` says why.
struct RawPty {
    int master = -1;
    int slave = -1;
    QString slavePath;
    QString error;
};

RawPty openRawPty();
