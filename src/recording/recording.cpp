#include "recording/recording.h"

#include <QCoreApplication>

namespace {

QString refusal(const char *option, const QString &path, const QString &reason)
{
    return QStringLiteral("%1: --%2 \"%3\": %4\n")
        .arg(QCoreApplication::applicationName(), QLatin1String(option), path, reason);
}

} // namespace

QString openRecording(Recording &recording, const QString &recordPath, const QString &capturePath)
{
    if (!recordPath.isEmpty()) {
        if (const QString reason = recording.ticks.open(recordPath); !reason.isEmpty())
            return refusal("record", recordPath, reason);
    }
    if (!capturePath.isEmpty()) {
        if (const QString reason = recording.bytes.open(capturePath); !reason.isEmpty()) {
            recording.ticks.abandon(); // no empty record file left behind by a run that never started
            return refusal("capture", capturePath, reason);
        }
    }
    return {};
}
