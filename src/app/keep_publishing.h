#pragma once

class Form1;
class MqttPublisher;

// Hands every tick's row to the publisher and has the window show the box
// when the broker refuses the login or the topic.
void keepPublishing(Form1 &window, MqttPublisher &publisher);
