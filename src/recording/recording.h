#pragma once

#include "recording/byte_capture.h"
#include "recording/tick_recorder.h"

#include <QStringList>

// The files the command line asked for. Opened before the window exists;
// one that was not asked for stays closed and writes nothing.
struct Recording {
    TickRecorder ticks;
    ByteCapture bytes;
    QStringList notices{}; // lines for stderr about what the opening repaired
};

// Opens the files of --record and --capture (an empty path: not asked for).
// On failure, the line for stderr naming the option, the file and the
// reason; empty when every file asked for is open. Both options naming one
// file (whatever the paths) is refused: its lines and bytes would mix.
QString openRecording(Recording &recording, const QString &recordPath, const QString &capturePath);
