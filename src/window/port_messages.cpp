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

// Single quotes make any path safe to paste into a shell.
QString shellQuoted(QString path)
{
    return u'\'' + path.replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

QString holderText(const OpenFailure &failure)
{
    QString text = failure.holder.isEmpty() ? QStringLiteral("процесс") : failure.holder;
    if (failure.holderPid > 0)
        text += QStringLiteral(" (PID %1)").arg(failure.holderPid);
    if (!failure.holderHost.isEmpty())
        text += QStringLiteral(" на компьютере %1").arg(failure.holderHost);
    return text;
}

// A live holder is named, never offered for removal: its lock may belong to
// another host or container that shares the lock directory.
QString busyDetail(const OpenFailure &failure)
{
    if (failure.reason == OpenFailure::StaleLockFile)
        return QStringLiteral("Остановленная программа оставила устаревший файл блокировки %1 устройства %2. "
                              "Удалите его: sudo rm %3")
            .arg(failure.lockFile, failure.path, shellQuoted(failure.lockFile));
    if (!failure.holder.isEmpty() || failure.holderPid > 0) {
        const QString lockFile = failure.lockFile.isEmpty() ? QString()
                                                            : QStringLiteral(" (файл блокировки %1)").arg(failure.lockFile);
        return QStringLiteral("Устройство %1 занято программой %2%3.").arg(failure.path, holderText(failure), lockFile);
    }
    switch (failure.reason) {
    case OpenFailure::FlockHeld:
        return QStringLiteral("Устройство %1 занято другой программой: она держит его блокировку (flock).").arg(failure.path);
    case OpenFailure::ExclusiveHeld:
        return QStringLiteral("Устройство %1 занято другой программой: она открыла его в монопольном режиме.").arg(failure.path);
    case OpenFailure::LockFileHeld:
        if (!failure.lockFile.isEmpty())
            return QStringLiteral("Устройство %1 занято другой программой (файл блокировки %2).").arg(failure.path, failure.lockFile);
        break;
    default:
        break;
    }
    return QStringLiteral("Устройство %1 занято другой программой.").arg(failure.path);
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
    case OpenFailure::Other:
        return QStringLiteral("Устройство %1 не открывается: %2").arg(failure.path, failure.hostReason);
    case OpenFailure::None:
        return {};
    default:
        return busyDetail(failure);
    }
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
