#include "window/recording_messages.h"

namespace {

QString reasonText(bool diskFull)
{
    return diskFull ? QStringLiteral("на диске нет места") : QStringLiteral("файл недоступен для записи");
}

} // namespace

QString recordingStoppedText(const QString &path, bool diskFull)
{
    return QStringLiteral("Запись показаний в файл %1 остановлена: %2. Наблюдение продолжается.")
        .arg(path, reasonText(diskFull));
}

QString captureStoppedText(const QString &path, bool diskFull)
{
    return QStringLiteral("Запись принятых байтов в файл %1 остановлена: %2. Наблюдение продолжается.")
        .arg(path, reasonText(diskFull));
}
