#include "recording/recording.h"

#include <QCoreApplication>

namespace {

QString optionLine(const char *option, const QString &path, const QString &reason)
{
    return QStringLiteral("%1: --%2 \"%3\": %4\n")
        .arg(QCoreApplication::applicationName(), QLatin1String(option), path, reason);
}

QString judgedRefusal(Recording &recording, const QString &recordPath, const QString &capturePath)
{
    if (!recordPath.isEmpty()) {
        if (const QString reason = recording.ticks.judge(recordPath); !reason.isEmpty())
            return optionLine("record", recordPath, reason);
    }
    if (!capturePath.isEmpty()) {
        if (const QString reason = recording.bytes.judge(capturePath); !reason.isEmpty())
            return optionLine("capture", capturePath, reason);
        if (recording.bytes.isSameFileAs(recording.ticks))
            return optionLine("capture", capturePath, QStringLiteral("the same file as --record \"%1\"").arg(recordPath));
    }
    return {};
}

} // namespace

QString judgeRecording(Recording &recording, const QString &recordPath, const QString &capturePath)
{
    const QString refusal = judgedRefusal(recording, recordPath, capturePath);
    if (!refusal.isEmpty()) {
        // Closed, so that a refused file can take nothing; judging made none.
        recording.ticks.abandon();
        recording.bytes.abandon();
    }
    return refusal;
}

// The cut comes last: it is the one change that cannot be taken back.
QString startRecording(Recording &recording)
{
    TickRecorder &ticks = recording.ticks;
    ByteCapture &bytes = recording.bytes;
    if (const QString reason = ticks.create(); !reason.isEmpty())
        return optionLine("record", ticks.path(), reason);
    if (const QString reason = bytes.create(); !reason.isEmpty()) {
        ticks.abandon();
        return optionLine("capture", bytes.path(), reason);
    }
    if (const QString reason = ticks.cutTornTail(); !reason.isEmpty()) {
        bytes.abandon();
        ticks.abandon();
        return optionLine("record", ticks.path(), reason);
    }
    if (const QString notice = ticks.repairNotice(); !notice.isEmpty())
        recording.notices << optionLine("record", ticks.path(), notice);
    return {};
}

QString openRecording(Recording &recording, const QString &recordPath, const QString &capturePath)
{
    if (QString refusal = judgeRecording(recording, recordPath, capturePath); !refusal.isEmpty())
        return refusal;
    return startRecording(recording);
}
