// The sampling tick: what one second of the device's output does to the
// boxes, the chart and the chart's description (the whole road from the demo
// device to the chart is tst_demo's).
#include "monitor.h"

#include <QAccessible>

class TickTest : public QObject {
    Q_OBJECT

private slots:
    void tickOutcomes_data()
    {
        // What the device sent before each tick, oldest first.
        QTest::addColumn<QList<QByteArray>>("ticks");
        QTest::addColumn<Row>("row19");
        QTest::addColumn<Row>("row20");
        QTest::addColumn<QStringList>("boxes"); // Resive, A, B, C after the last tick
        // The chart's description for a screen reader follows its newest row,
        // labelled 14:03:07 for the first tick and a second later for each next one.

        const QByteArray record = "512,300,1023\r\n";
        const Row first{512, 300, 1023};
        const QStringList firstBoxes{"512,300,1023\r\n", "512", "300", "1023"};
        QTest::newRow("first record -> last row, boxes show it")
            << QList<QByteArray>{record} << Row{0, 0, 0} << first << firstBoxes;
        QTest::newRow("first text rejected after start -> 0,0,0, no reading nobody sent")
            << QList<QByteArray>{"\r\n"} << Row{0, 0, 0} << Row{0, 0, 0} << QStringList{"\r\n", "", "", ""};
        QTest::newRow("silent device -> 0,0,0 row, boxes emptied")
            << QList<QByteArray>{record, ""} << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
        QTest::newRow("one character -> counts as silent")
            << QList<QByteArray>{record, "7"} << first << Row{0, 0, 0} << QStringList{"", "", "", ""};
        QTest::newRow("rejected text -> previous values again")
            << QList<QByteArray>{record, "-5,1,2\r\n"} << first << first << QStringList{"-5,1,2\r\n", "512", "300", "1023"};
        QTest::newRow("next record, off the scale -> scrolls, a new row stored as it came")
            << QList<QByteArray>{record, "2000,-5,7\r\n"} << first << Row{2000, -5, 7}
            << QStringList{"2000,-5,7\r\n", "2000", "-5", "7"};
        QTest::newRow("overflow in B -> tick ends before the chart")
            << QList<QByteArray>{record, "9,40000,1\r\n"} << Row{0, 0, 0} << first
            << QStringList{"9,40000,1\r\n", "512", "300", "1023"};
    }

    void tickOutcomes()
    {
        QFETCH(QList<QByteArray>, ticks);
        QFETCH(Row, row19);
        QFETCH(Row, row20);
        QFETCH(QStringList, boxes);

        Monitor monitor;
        monitor.openPort(1);
        for (const QByteArray &text : ticks)
            QVERIFY(monitor.tick(text));

        QCOMPARE(monitor.values(19), row19);
        QCOMPARE(monitor.values(20), row20);
        QCOMPARE((QStringList{monitor.text("Resive"), monitor.text("Text1(0)"), monitor.text("Text1(1)"), monitor.text("Text1(2)")}),
                 boxes);
        QCOMPARE(QAccessible::queryAccessibleInterface(&monitor.chart)->text(QAccessible::Description),
                 QStringLiteral("Датчик A %1, Датчик B %2, Датчик C %3, %4")
                     .arg(row20[0]).arg(row20[1]).arg(row20[2]).arg(monitor.label(20)));
    }

    // The rows stay through a close and a reopening; the labels follow the
    // clock past midnight.
    void closingAndReopeningKeepsTheRowsAndTheirLabels()
    {
        Monitor monitor;
        monitor.openPort(1);
        monitor.clock = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59));
        QVERIFY(monitor.tick("1,2,3\r\n"));
        monitor.press();
        QCOMPARE(monitor.values(20), Row({1, 2, 3}));

        monitor.press();
        QVERIFY(monitor.tick("4,5,6\r\n"));
        QCOMPARE(monitor.values(19), Row({1, 2, 3}));
        QCOMPARE(monitor.values(20), Row({4, 5, 6}));
        QCOMPARE((QStringList{monitor.label(18), monitor.label(19), monitor.label(20)}),
                 (QStringList{"", "23:59:59", "00:00:00"}));
    }
};

QTEST_MAIN(TickTest)
#include "tst_tick.moc"
