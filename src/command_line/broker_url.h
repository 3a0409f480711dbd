#pragma once

#include <QString>

// Where --publish sends the readings: mqtt://[USER@]HOST[:PORT]/TOPIC or
// mqtts://... . The password is never part of it: it comes from the
// environment, so that it does not show in the process list.
struct BrokerUrl {
    bool tls = false;
    QString user; // empty: connect without a user name
    QString host;
    int port = 0;
    QString topic;
    QString caPath; // --publish-ca FILE: the authority for mqtts://; empty: the system's store

    // "mqtt://user@host:1883/lab/desk-3/readings", for messages.
    QString text() const;
    // "host:1883", as the messages name the broker.
    QString brokerName() const;
};

// The URL checked; `problem` says what is wrong when it cannot be used.
struct BrokerUrlParse {
    BrokerUrl url;
    QString problem; // empty when the URL is good
};

BrokerUrlParse parseBrokerUrl(const QString &text);
