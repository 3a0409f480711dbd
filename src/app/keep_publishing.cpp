#include "app/keep_publishing.h"

#include "publishing/mqtt_publisher.h"
#include "window/form1.h"

void keepPublishing(Form1 &window, MqttPublisher &publisher)
{
    QObject::connect(&window, &Form1::tickTaken, &publisher, &MqttPublisher::publish);
    // The refusal comes from either thread, inside the client's lock: the box
    // is shown later, on the window's thread.
    QObject::connect(
        &publisher, &MqttPublisher::refused, &window,
        [&window, broker = publisher.url().brokerName(), topic = publisher.url().topic](PublishRefusal why, const QString &reason) {
            window.showError(publishingStoppedText(broker, topic, why), reason);
        },
        Qt::QueuedConnection);
}

QString publishingStoppedText(const QString &broker, const QString &topic, PublishRefusal why)
{
    QString reason;
    switch (why) {
    case PublishRefusal::Login:
        reason = QStringLiteral("брокер не принял имя пользователя или пароль");
        break;
    case PublishRefusal::Topic:
        reason = QStringLiteral("брокер запретил публикацию в тему %1").arg(topic);
        break;
    case PublishRefusal::Library:
        reason = QStringLiteral("библиотека MQTT отказалась отправлять показания");
        break;
    }
    return QStringLiteral("Публикация показаний на брокер %1 остановлена: %2. Наблюдение продолжается.").arg(broker, reason);
}
