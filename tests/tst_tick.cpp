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
        form.setClock([this] { return QDateTime(QDate(2026, 12, 6), times.isEmpty() ? QTime(12, 0, 0) : times.takeFirst()); });
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
    void tickOutcomes_data();
    void tickOutcomes();
    void labelsFollowTheClockPastMidnight();
    void closingAndReopeningKeepsTheRows();
    void deviceSendingEverySecondFillsBoxesAndChart();
};

void TickTest::tickOutcomes_data()
{
    // What the device sent before each tick, oldest first.
    QTest::addColumn<QList<QByteArray>>("ticks");
    QTest::addColumn<Row>("row19");
    QTest::addColumn<Row>("row20");
    QTest::addColumn<QStringList>("boxes"); // Resive, A, B, C after the last tick

    const QByteArray record = "512,300,1023\r\n";
    const Row first{512, 300, 1023};
    const QStringList firstBoxes{"512,300,1023\r\n", "512", "300", "1023"};
    QTest::newRow("first record -> last row, boxes show it")
        << QList<QByteArray>{record} << Row{0, 0, 0} << first << firstBoxes;
    QTest::newRow("first text rejected after start -> 0,0,0, no reading nobody sent")
        << QList<QByteArray>{"\r\n"} << Row{0, 0, 0} << Row{0, 0, 0} << QStringList{"\r\n", "", "", ""};
    QTest::newRow("next record -> scrolls, new row")
        << QList<QByteArray>{record, "513,301,1022\r\n"} << first << Row{513, 301, 1022}
        << QStringList{"513,301,1022\r\n", "513", "301", "1022"};
    QTest::newRow("silent device -> 0,0,0 row, boxes emptied")
        << QList<QByteArray>{record, ""} << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
    QTest::newRow("one character -> counts as silent")
        << QList<QByteArray>{record, "7"} << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
    QTest::newRow("rejected text -> previous values again")
        << QList<QByteArray>{record, "-5,1,2\r\n"} << first << first << QStringList{"-5,1,2\r\n", "512", "300", "1023"};
    QTest::newRow("cut record tail -> previous values again")
        << QList<QByteArray>{record, "0,1023\r\n"} << first << first << QStringList{"0,1023\r\n", "512", "300", "1023"};
    QTest::newRow("off-scale values -> stored as they are")
        << QList<QByteArray>{record, "2000,-5,7\r\n"} << first << Row{2000, -5, 7}
        << QStringList{"2000,-5,7\r\n", "2000", "-5", "7"};
    QTest::newRow("overflow in B -> tick ends before the chart")
        << QList<QByteArray>{record, "9,40000,1\r\n"} << Row{0, 0, 0} << first
        << QStringList{"9,40000,1\r\n", "512", "300", "1023"};
}

void TickTest::tickOutcomes()
{
    QFETCH(QList<QByteArray>, ticks);
    QFETCH(Row, row19);
    QFETCH(Row, row20);
    QFETCH(QStringList, boxes);

    Monitor monitor;
    monitor.press();
    for (const QByteArray &text : ticks)
        QVERIFY(monitor.tick(text));

    QCOMPARE(monitor.values(19), row19);
    QCOMPARE(monitor.values(20), row20);
    QCOMPARE((QStringList{monitor.box("Resive"), monitor.box("Text1(0)"), monitor.box("Text1(1)"), monitor.box("Text1(2)")}),
             boxes);
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
    QCOMPARE(monitor.label(18), QString());
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
    monitor.form.setClock([] { return QDateTime::currentDateTime(); });
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
}

QTEST_MAIN(TickTest)
#include "tst_tick.moc"
