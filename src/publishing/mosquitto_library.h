#pragma once

#include <QLibrary>
#include <QString>

#include <mosquitto.h>

// The libmosquitto functions the publisher calls.
#define SENSOR_MONITOR_MOSQUITTO_FUNCTIONS(X)                                                                    \
    X(mosquitto_lib_init) X(mosquitto_lib_cleanup) X(mosquitto_new) X(mosquitto_destroy)                       \
    X(mosquitto_int_option) X(mosquitto_threaded_set) X(mosquitto_connect_v5_callback_set)                     \
    X(mosquitto_disconnect_v5_callback_set) X(mosquitto_publish_v5_callback_set) X(mosquitto_log_callback_set)  \
    X(mosquitto_will_set_v5) X(mosquitto_username_pw_set) X(mosquitto_tls_set) X(mosquitto_connect_bind_async) \
    X(mosquitto_reconnect_async) X(mosquitto_loop) X(mosquitto_disconnect) X(mosquitto_publish)                \
    X(mosquitto_reason_string) X(mosquitto_strerror)

// libmosquitto, loaded when a publisher is made rather than linked: it brings
// OpenSSL along, more than a megabyte of memory and milliseconds of start-up
// that a monitor without --publish has no use for.
class MosquittoLibrary {
public:
#define SENSOR_MONITOR_MOSQUITTO_POINTER(name) decltype(&::name) name = nullptr;
    SENSOR_MONITOR_MOSQUITTO_FUNCTIONS(SENSOR_MONITOR_MOSQUITTO_POINTER)
#undef SENSOR_MONITOR_MOSQUITTO_POINTER

    // Loads the library; the reason when it cannot, empty when every function is there.
    QString load();

private:
    QLibrary m_library;
};
