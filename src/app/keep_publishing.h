#pragma once

#include "publishing/mqtt_client.h"

#include <QString>

class Form1;
class MqttPublisher;

// Hands every tick's row to the publisher and has the window show the box
// when the broker or the MQTT library refuses, which ends the publishing.
void keepPublishing(Form1 &window, MqttPublisher &publisher);

// That box: it names the broker and why in Russian, and says that
// monitoring goes on.
QString publishingStoppedText(const QString &broker, const QString &topic, PublishRefusal why);
