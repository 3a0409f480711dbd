#include "publishing/mosquitto_library.h"

QString MosquittoLibrary::load()
{
#ifdef Q_OS_WIN
    m_library.setFileName(QStringLiteral("libmosquitto"));
#else
    m_library.setFileNameAndVersion(QStringLiteral("mosquitto"), 1);
#endif
    if (!m_library.load())
        return m_library.errorString();
#define SENSOR_MONITOR_MOSQUITTO_RESOLVE(name)                                                     \
    name = reinterpret_cast<decltype(name)>(m_library.resolve(#name));                            \
    if (!name)                                                                                     \
        return QStringLiteral("%1 has no %2").arg(m_library.fileName(), QLatin1String(#name));
    SENSOR_MONITOR_MOSQUITTO_FUNCTIONS(SENSOR_MONITOR_MOSQUITTO_RESOLVE)
#undef SENSOR_MONITOR_MOSQUITTO_RESOLVE
    return {};
}
