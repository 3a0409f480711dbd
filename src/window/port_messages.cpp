#include "window/port_messages.h"

#include "runtime/number_text.h"
#include "serial/mscomm.h"

#include <QFileInfo>

namespace {

QString noPermissionDetail(const QString &path)
{
    const QString detail = QStringLiteral("Нет прав на чтение устройства %1.").arg(path);
#ifdef Q_OS_UNIX
    const QString group = QFileInfo(path).group();
    if (!group.isEmpty() && group != QLatin1String("root"))
        return detail + QStringLiteral(" Добавьте пользователя в группу %1 (sudo usermod -aG %1 $USER) и войдите в систему заново.").arg(group);
#endif
    return detail;
}

QString busyDetail(const OpenFailure &failure)
{
    if (!failure.staleLockFile.isEmpty())
        return QStringLiteral("Остановленная программа оставила устаревший файл блокировки %1 устройства %2. "
                              "Удалите его: sudo rm %1")
            .arg(failure.staleLockFile, failure.path);
    if (failure.flockHeld)
        return QStringLiteral("Устройство %1 занято другой программой: она держит его блокировку (flock).").arg(failure.path);
    if (failure.holder.isEmpty() && failure.holderPid == 0)
        return QStringLiteral("Устройство %1 занято другой программой.").arg(failure.path);
    const QString holder = failure.holder.isEmpty() ? QStringLiteral("процесс") : failure.holder;
    const QString pid = failure.holderPid > 0 ? QStringLiteral(" (PID %1)").arg(failure.holderPid) : QString();
    return QStringLiteral("Устройство %1 занято программой %2%3.").arg(failure.path, holder, pid);
}

} // namespace

QString openFailureDetail(const OpenFailure &failure)
{
    switch (failure.reason) {
    case OpenFailure::NoDevice:
        return QStringLiteral("За этим номером порта нет последовательного устройства.");
    case OpenFailure::NotFound:
        return QStringLiteral("Устройство %1 не найдено: адаптер отключён?").arg(failure.path);
    case OpenFailure::NoPermission:
        return noPermissionDetail(failure.path);
    case OpenFailure::Busy:
        return busyDetail(failure);
    case OpenFailure::Other:
        return QStringLiteral("Устройство %1 не открывается: %2").arg(failure.path, failure.hostReason);
    case OpenFailure::None:
        break;
    }
    return {};
}

QString deviceLostText(int port)
{
    return QStringLiteral("Связь с Com%1 потеряна: устройство отключено или перестало отвечать. Порт закрыт.")
        .arg(rt::signSpacedText(port));
}

QString deviceLostDetail(const QString &path)
{
    return QStringLiteral("Устройство %1 отключено или перестало отвечать.").arg(path);
}
