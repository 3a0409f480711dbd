#pragma once

#include <QByteArray>

// The broker's password from SENSOR_MONITOR_MQTT_PASSWORD, taken out of the
// process's environment: later readers of the environment (a crash
// reporter, /proc/PID/environ on Linux) no longer find it. Called before any
// other thread runs.
QByteArray takeBrokerPassword();
