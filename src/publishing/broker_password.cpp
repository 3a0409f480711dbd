#include "publishing/broker_password.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kPasswordVariable[] = "SENSOR_MONITOR_MQTT_PASSWORD";

} // namespace

QByteArray takeBrokerPassword()
{
    char *value = std::getenv(kPasswordVariable);
    if (!value)
        return {};
    const QByteArray password(value);
#ifdef Q_OS_LINUX
    // /proc/PID/environ shows the environment the process started with, as
    // it stands in memory, whatever unsetenv() did: the value is wiped there.
    std::memset(value, 0, std::strlen(value));
#endif
    qunsetenv(kPasswordVariable);
    return password;
}
