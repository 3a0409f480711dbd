// The whole road from the demo device to the chart and the record file, as
// a user takes it with --demo --record: Com 1 chosen in the list, opened with
// the button, and the window's own second running. Nothing here needs a
// pseudo-terminal of the test's own, so it runs on Windows too, where the
// demo device is an in-process line.
#include "app/keep_publishing.h"
#include "app/keep_records.h"
#include "command_line/broker_url.h"
#include "publishing/mqtt_publisher.h"
#include "chart/grap_chart.h"
#include "reception/reception_state.h"
#include "recording/recording.h"
#include "sim/demo_device.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

SensorReading readingAt(const GrapChart &chart, int row)
{
    const auto value = [&](int column) { return int(chart.grid().valueAt(row, column)); };
    return {value(1), value(2), value(3)};
}

// "2026-12-06T14:03:07+03:00,512,300,1023,record,..." -> 512, 300, 1023.
SensorReading readingOf(const QByteArray &csvLine)
{
    const QList<QByteArray> fields = csvLine.split(',');
    if (fields.size() < 4)
        return {-1, -1, -1};
    return {fields[1].toInt(), fields[2].toInt(), fields[3].toInt()};
}

// The generator's readings from the one equal to `first` on, `count` of them.
QList<SensorReading> generatorRun(const SensorReading &first, int count)
{
    RecordGenerator generator;
    QList<SensorReading> sequence;
    for (int n = 0; n < 1000; ++n)
        sequence << generator.next();
    const qsizetype start = sequence.indexOf(first);
    return start < 0 ? QList<SensorReading>{} : sequence.mid(start, count);
}

} // namespace

class DemoTest : public QObject {
    Q_OBJECT

private slots:
    // Three ticks in a row bring three readings in a row of the generator's
    // sequence, whichever came first, to rows 18 to 20 and to the record file.
    void demoDeviceFillsTheChartAndTheRecordEverySecond()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ticks.csv"));
        Recording recording;
        QCOMPARE(openRecording(recording, path, {}), QString());
        DemoDevice device;
        QVERIFY2(device.isValid(), qPrintable(device.errorString()));
        ReceptionState reception;
        Form1 form(reception);
        form.assignPort(1, device.path(), device.description(), device.inProcessLine());
        keepRecords(form, recording);
        // Under Wine, tools/windows/check-publish.py names a broker on the
        // loopback and checks what reached it.
        std::unique_ptr<MqttPublisher> publisher;
        if (const QString broker = qEnvironmentVariable("SENSOR_MONITOR_TEST_BROKER"); !broker.isEmpty()) {
            const BrokerUrlParse parsed = parseBrokerUrl(broker);
            QVERIFY2(parsed.problem.isEmpty(), qPrintable(parsed.problem));
            publisher = std::make_unique<MqttPublisher>(parsed.url, QByteArray());
            keepPublishing(form, *publisher);
            publisher->start();
        }
        form.show();
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
        QTest::mouseClick(form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl")), Qt::LeftButton);
        // Half a second after the opening, so that each second holds one record.
        QTimer::singleShot(500, &device, &DemoDevice::start);

        const GrapChart &chart = *form.findChild<GrapChart *>(QStringLiteral("Grap_Chart"));
        QTRY_VERIFY_WITH_TIMEOUT(readingAt(chart, 18) != SensorReading{}, 8000);
        const QList<SensorReading> rows{readingAt(chart, 18), readingAt(chart, 19), readingAt(chart, 20)};
        QCOMPARE(rows, generatorRun(rows[0], 3));
        // The boxes show the newest row's reading.
        const auto box = [&](int sensor) { return form.findChild<QLineEdit *>(QStringLiteral("Text1(%1)").arg(sensor))->text().toInt(); };
        QCOMPARE((SensorReading{box(0), box(1), box(2)}), readingAt(chart, 20));

        // Each tick's line starts with its date; the record's own line end
        // stays inside the quoted text field.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray("time,A,B,C,outcome,text\r"));
        QList<SensorReading> recorded;
        for (const QByteArray &line : lines) {
            if (line.startsWith("20"))
                recorded << readingOf(line);
        }
        QVERIFY(recorded.size() >= 3);
        QCOMPARE(recorded.mid(recorded.size() - 3), rows);
    }
};

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
