#pragma once

#include "recording/byte_capture.h"
#include "recording/tick_recorder.h"

#include <QStringList>

// The files the command line asked for. Judged and then started before the
// window exists; one that was not asked for stays closed and writes nothing.
struct Recording {
    TickRecorder ticks;
    ByteCapture bytes;
    QStringList notices{}; // lines for stderr about what the start repaired
};

// Judges the files of --record and --capture (an empty path: not asked for)
// without creating, writing or cutting anything, so that a start called off
// afterwards, for this or any other reason, leaves every file as it was. On
// refusal, the line for stderr naming the option, the file and the reason;
// empty when every file asked for can be used. Both options naming one file
// (whatever the paths) is refused: its lines and bytes would mix.
QString judgeRecording(Recording &recording, const QString &recordPath, const QString &capturePath);

// What the start changes, once nothing else can call it off: the files that
// were missing are made and a torn last line is cut off (with its notice).
// The line for stderr when a file changed since it was judged; then nothing
// is left made or cut.
QString startRecording(Recording &recording);

// Both in turn, for a caller with nothing else to judge.
QString openRecording(Recording &recording, const QString &recordPath, const QString &capturePath);
