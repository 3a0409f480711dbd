#include "app/keep_publishing.h"

#include "publishing/mqtt_publisher.h"
#include "window/form1.h"
#include "window/recording_messages.h"

void keepPublishing(Form1 &window, MqttPublisher &publisher)
{
    QObject::connect(&window, &Form1::tickTaken, &publisher, &MqttPublisher::publish);
    // The refusal comes from the network thread; the box is shown on the window's.
    QObject::connect(&publisher, &MqttPublisher::refused, &window,
                     [&window, broker = publisher.url().brokerName(), topic = publisher.url().topic](
                         PublishRefusal why, const QString &reason) {
                         window.showError(publishingStoppedText(broker, topic, why == PublishRefusal::Topic), reason);
                     });
}
