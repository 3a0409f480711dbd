// The sampling tick: what one second of the device's output does to the
// boxes and the chart, and the whole road from the line to the chart.
#include "chart/grap_chart.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

using Row = QList<int>;

struct Monitor {
    PtyPair device;
    ReceptionState reception;
    Form1 form{reception};
    MSComm &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    GrapChart &chart = *form.findChild<GrapChart *>(QStringLiteral("Grap_Chart"));
    QList<QTime> times;

    Monitor()
    {
        comm.setDeviceMap({{QStringLiteral("1"), device.slavePath()}});
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
        form.setClock([this] { return times.isEmpty() ? QTime(12, 0, 0) : times.takeFirst(); });
    }
    void press() { QTest::mouseClick(form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl")), Qt::LeftButton); }
    QString box(const char *name) const { return form.findChild<QLineEdit *>(QLatin1String(name))->text(); }

    // The device sends `text`; the tick runs once the port has taken it in.
    bool tick(const QByteArray &text)
    {
        if (!device.send(text))
            return false;
        if (!QTest::qWaitFor([&] { return comm.InBufferCount() == text.size(); }))
            return false;
        form.Timer1_Timer();
        return true;
    }
    Row values(int row) const
    {
        Row cells;
        for (int column = 1; column <= 3; ++column)
            cells << int(chart.grid().valueAt(row, column));
        return cells;
    }
    QString label(int row) const { return chart.grid().rowLabelAt(row); }
};

} // namespace

class TickTest : public QObject {
    Q_OBJECT

private slots:
    void firstTickFillsTheLastRowUnderItsTime();
    void tickOutcomes_data();
    void tickOutcomes();
    void firstRejectedTickAfterStartPlotsZeros();
    void labelsFollowTheClockPastMidnight();
    void twentyOneTicksDropTheFirstSample();
    void closingAndReopeningKeepsTheRows();
    void deviceSendingEverySecondFillsBoxesAndChart();
};

void TickTest::firstTickFillsTheLastRowUnderItsTime()
{
    Monitor monitor;
    monitor.press();
    monitor.times = {QTime(14, 3, 7)};

    QVERIFY(monitor.tick("512,300,1023\r\n"));

    QCOMPARE(monitor.values(20), Row({512, 300, 1023}));
    QCOMPARE(monitor.label(20), QStringLiteral("14:03:07"));
    for (int row = 1; row <= 19; ++row) {
        QCOMPARE(monitor.values(row), Row({0, 0, 0}));
        QCOMPARE(monitor.label(row), QString());
    }
    QCOMPARE(monitor.box("Resive"), QStringLiteral("512,300,1023\r\n"));
    QCOMPARE(monitor.box("Text1(0)"), QStringLiteral("512"));
    QCOMPARE(monitor.box("Text1(1)"), QStringLiteral("300"));
    QCOMPARE(monitor.box("Text1(2)"), QStringLiteral("1023"));
}

void TickTest::tickOutcomes_data()
{
    // Two ticks: the first takes a good record, the second `second`.
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<Row>("row19");
    QTest::addColumn<Row>("row20");
    QTest::addColumn<QStringList>("boxes"); // Resive, A, B, C after the second tick

    const Row first{512, 300, 1023};
    QTest::newRow("next record -> scrolls, new row")
        << QByteArray("513,301,1022\r\n") << first << Row{513, 301, 1022}
        << QStringList{"513,301,1022\r\n", "513", "301", "1022"};
    QTest::newRow("silent device -> 0,0,0 row, boxes emptied")
        << QByteArray() << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
    QTest::newRow("one character -> counts as silent")
        << QByteArray("7") << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
    QTest::newRow("rejected text -> previous values again")
        << QByteArray("-5,1,2\r\n") << first << first << QStringList{"-5,1,2\r\n", "512", "300", "1023"};
    QTest::newRow("cut record tail -> previous values again")
        << QByteArray("0,1023\r\n") << first << first << QStringList{"0,1023\r\n", "512", "300", "1023"};
    QTest::newRow("off-scale values -> stored as they are")
        << QByteArray("2000,-5,7\r\n") << first << Row{2000, -5, 7} << QStringList{"2000,-5,7\r\n", "2000", "-5", "7"};
    QTest::newRow("overflow in B -> tick ends before the chart")
        << QByteArray("9,40000,1\r\n") << Row{0, 0, 0} << first
        << QStringList{"9,40000,1\r\n", "512", "300", "1023"};
}

void TickTest::tickOutcomes()
{
    QFETCH(QByteArray, second);
    QFETCH(Row, row19);
    QFETCH(Row, row20);
    QFETCH(QStringList, boxes);

    Monitor monitor;
    monitor.press();
    QVERIFY(monitor.tick("512,300,1023\r\n"));
    if (second.size() == 1) {
        // A lone character waits in the buffer; InBufferCount says so.
        QVERIFY(monitor.device.send(second));
        QTRY_COMPARE(monitor.comm.InBufferCount(), 1);
        monitor.form.Timer1_Timer();
    } else {
        QVERIFY(monitor.tick(second));
    }

    QCOMPARE(monitor.values(19), row19);
    QCOMPARE(monitor.values(20), row20);
    QCOMPARE((QStringList{monitor.box("Resive"), monitor.box("Text1(0)"), monitor.box("Text1(1)"), monitor.box("Text1(2)")}),
             boxes);
}

void TickTest::firstRejectedTickAfterStartPlotsZeros()
{
    Monitor monitor;
    monitor.press();
    QVERIFY(monitor.tick("\r\n"));
    // Sensor C starts at 0 like A and B: no reading that no device sent.
    QCOMPARE(monitor.values(20), Row({0, 0, 0}));
}

void TickTest::labelsFollowTheClockPastMidnight()
{
    Monitor monitor;
    monitor.press();
    monitor.times = {QTime(23, 59, 59), QTime(0, 0, 0)};
    QVERIFY(monitor.tick("1,2,3\r\n"));
    QVERIFY(monitor.tick("4,5,6\r\n"));
    QCOMPARE(monitor.label(19), QStringLiteral("23:59:59"));
    QCOMPARE(monitor.label(20), QStringLiteral("00:00:00"));
}

void TickTest::twentyOneTicksDropTheFirstSample()
{
    Monitor monitor;
    monitor.press();
    for (int tick = 1; tick <= 21; ++tick) {
        monitor.times = {QTime(10, 0, tick)};
        QVERIFY(monitor.tick(QStringLiteral("%1,%2,%3\r\n").arg(tick).arg(100 + tick).arg(200 + tick).toLatin1()));
    }
    QCOMPARE(monitor.values(1), Row({2, 102, 202}));
    QCOMPARE(monitor.label(1), QStringLiteral("10:00:02"));
    QCOMPARE(monitor.values(20), Row({21, 121, 221}));
}

void TickTest::closingAndReopeningKeepsTheRows()
{
    Monitor monitor;
    monitor.press();
    QVERIFY(monitor.tick("1,2,3\r\n"));
    monitor.press();
    QCOMPARE(monitor.values(20), Row({1, 2, 3}));

    monitor.press();
    QVERIFY(monitor.tick("4,5,6\r\n"));
    QCOMPARE(monitor.values(19), Row({1, 2, 3}));
    QCOMPARE(monitor.values(20), Row({4, 5, 6}));
}

void TickTest::deviceSendingEverySecondFillsBoxesAndChart()
{
    Monitor monitor;
    monitor.form.setClock([] { return QTime::currentTime(); });
    monitor.form.show();
    QTest::mouseClick(monitor.form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl")), Qt::LeftButton);

    // The device: one record a second, starting half a tick after the opening.
    int sent = 0;
    QTimer device;
    device.setInterval(1000);
    connect(&device, &QTimer::timeout, &monitor.form, [&] {
        ++sent;
        monitor.device.send(QStringLiteral("%1,%2,%3\r\n").arg(500 + sent).arg(300 - sent).arg(sent).toLatin1());
    });
    QTimer::singleShot(500, &device, [&] {
        device.start();
        ++sent;
        monitor.device.send("501,299,1\r\n");
    });

    // Three ticks with a record each: the last three rows hold them in order.
    QTRY_VERIFY_WITH_TIMEOUT(monitor.values(20) == Row({503, 297, 3}), 6000);
    device.stop();
    QCOMPARE(monitor.values(18), Row({501, 299, 1}));
    QCOMPARE(monitor.values(19), Row({502, 298, 2}));
    QCOMPARE(monitor.box("Text1(0)"), QStringLiteral("503"));
    QCOMPARE(monitor.box("Text1(2)"), QStringLiteral("3"));
    QVERIFY(monitor.label(18) < monitor.label(19));
    QVERIFY(monitor.label(19) < monitor.label(20));
}

QTEST_MAIN(TickTest)
#include "tst_tick.moc"
