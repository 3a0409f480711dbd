// The demo device end to end: the real window with Com 1 standing for the
// simulated device, opened through its button, fills the chart with the
// generator's readings in order.
#include "chart/grap_chart.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "sim/pty_device.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <QTimer>

class DemoTest : public QObject {
    Q_OBJECT

private slots:
    void openedDemoPortFillsRowsWithGeneratorReadings();
};

void DemoTest::openedDemoPortFillsRowsWithGeneratorReadings()
{
    PtyDevice device;
    QVERIFY2(device.isValid(), qPrintable(device.errorString()));
    device.source().setInterval(300);
    device.start();
    ReceptionState reception;
    Form1 form(reception);
    form.assignPort(1, device.slavePath());
    auto &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    const auto &grid = form.findChild<GrapChart *>(QStringLiteral("Grap_Chart"))->grid();

    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    QTest::mouseClick(form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl")), Qt::LeftButton);
    QVERIFY(comm.PortOpen());
    // The ticks follow the device's pace here, not the window's second.
    form.findChild<QTimer *>(QStringLiteral("Timer1"))->stop();
    for (int tick = 0; tick < 3; ++tick) {
        QTRY_VERIFY(comm.InBufferCount() > 0);
        form.Timer1_Timer();
    }

    QList<SensorReading> rows;
    for (int row = 18; row <= 20; ++row)
        rows << SensorReading{int(grid.valueAt(row, 1)), int(grid.valueAt(row, 2)), int(grid.valueAt(row, 3))};
    // Three readings in a row of the generator's sequence, whichever came first.
    RecordGenerator generator;
    QList<SensorReading> sequence;
    for (int n = 0; n < 1000; ++n)
        sequence << generator.next();
    const qsizetype first = sequence.indexOf(rows[0]);
    QVERIFY2(first >= 0, "row 18 is not a generator reading");
    QCOMPARE(rows, sequence.mid(first, 3));
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
