#include "recording/recording.h"

#include <QCoreApplication>

namespace {

QString optionLine(const char *option, const QString &path, const QString &reason)
{
    return QStringLiteral("%1: --%2 \"%3\": %4\n")
        .arg(QCoreApplication::applicationName(), QLatin1String(option), path, reason);
}

} // namespace

QString openRecording(Recording &recording, const QString &recordPath, const QString &capturePath)
{
    if (!recordPath.isEmpty()) {
        if (const QString reason = recording.ticks.open(recordPath); !reason.isEmpty())
            return optionLine("record", recordPath, reason);
    }
    if (!capturePath.isEmpty()) {
        if (const QString reason = recording.bytes.open(capturePath); !reason.isEmpty()) {
            recording.ticks.abandon(); // no empty record file left behind by a run that never started
            return optionLine("capture", capturePath, reason);
        }
        if (recording.bytes.isSameFileAs(recording.ticks)) {
            recording.bytes.abandon();
            recording.ticks.abandon();
            return optionLine("capture", capturePath, QStringLiteral("the same file as --record \"%1\"").arg(recordPath));
        }
    }
    if (const QString notice = recording.ticks.repairNotice(); !notice.isEmpty())
        recording.notices << optionLine("record", recordPath, notice);
    return {};
}
