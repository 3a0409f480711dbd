#include "app/keep_records.h"

#include "recording/recording.h"
#include "window/form1.h"
#include "window/recording_messages.h"

void keepRecords(Form1 &window, Recording &recording)
{
    if (TickRecorder &ticks = recording.ticks; ticks.isWriting()) {
        QObject::connect(&window, &Form1::tickTaken, &ticks, &TickRecorder::record);
        QObject::connect(&ticks, &TickRecorder::failed, &window,
                         [&window](const QString &path, bool diskFull, const QString &reason) {
                             window.showError(recordingStoppedText(path, diskFull), reason);
                         });
    }
    if (ByteCapture &bytes = recording.bytes; bytes.isWriting()) {
        QObject::connect(&window, &Form1::bytesReceived, &bytes, &ByteCapture::capture);
        QObject::connect(&bytes, &ByteCapture::failed, &window,
                         [&window](const QString &path, bool diskFull, const QString &reason) {
                             window.showError(captureStoppedText(path, diskFull), reason);
                         });
    }
}
