// Real COM ports on Windows, opened with the window's button. Under Wine,
// tools/windows/with-com1-pty.py leads COM1 to a pseudo-terminal whose far
// end plays the device, worked through the files of a folder (see there):
// what it sends must reach the ticks, the recording and the capture exactly.
// A port with nothing behind it gives the usual box.
#include "app/keep_records.h"
#include "com1_device.h"
#include "monitor_window.h"
#include "recording/recording.h"
#include "test_files.h"
#include "window/port_messages.h"

#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// The device's record number n: "100+n,500+n,900+n" CR LF.
QByteArray record(int n)
{
    return QByteArray::number(100 + n) + ',' + QByteArray::number(500 + n) + ',' + QByteArray::number(900 + n) + "\r\n";
}

QByteArray records(int first, int count)
{
    QByteArray bytes;
    for (int n = first; n < first + count; ++n)
        bytes += record(n);
    return bytes;
}

const char *const kNoDevice = "COM1 is not led to a device here; under Wine, tools/windows/with-com1-pty.py does it";

// The window with the files of --record and --capture, keeping every tick's row.
struct RecordedWindow : MonitorWindow {
    QTemporaryDir dir;
    QString recordPath = dir.filePath(QStringLiteral("ticks.csv"));
    QString capturePath = dir.filePath(QStringLiteral("capture.bin"));
    Recording recording;
    QString refusal = openRecording(recording, recordPath, capturePath);
    QList<TickRow> rows;

    RecordedWindow()
    {
        keepRecords(form, recording);
        QObject::connect(&form, &Form1::tickTaken, &form, [this](const TickRow &row) { rows << row; });
        form.show();
    }

    QByteArray shownText() const
    {
        QByteArray text;
        for (const TickRow &row : rows)
            text += row.text.toLatin1();
        return text;
    }
    QByteArray recordedLines() const
    {
        QByteArray lines = tickHeaderLine();
        for (const TickRow &row : rows)
            lines += tickLine(row);
        return lines;
    }
};

// Whether the ticks took records 0 to count - 1 and nothing else, in order:
// each tick's text is whole records, those that came since the last tick, and
// makes a `record` row of the first of them; a tick without text is silent.
// The first difference, or empty.
QString differenceFromFed(const QList<TickRow> &rows, int count)
{
    int next = 0;
    for (const TickRow &row : rows) {
        if (row.text.isEmpty()) {
            if (row.outcome != TickOutcome::Silent || row.values != std::array<int, 3>{})
                return QStringLiteral("a tick without text is %1, not silent").arg(outcomeName(row.outcome));
            continue;
        }
        const int first = next;
        QByteArray came;
        while (next < count && came.size() < row.text.size())
            came += record(next++);
        if (row.text.toLatin1() != came)
            return QStringLiteral("a tick showed \"%1\" where records from %2 on came").arg(row.text).arg(first);
        const std::array<int, 3> values{100 + first, 500 + first, 900 + first};
        if (row.outcome != TickOutcome::Record || row.values != values)
            return QStringLiteral("the tick of record %1 is %2 %3,%4,%5")
                .arg(first)
                .arg(outcomeName(row.outcome))
                .arg(row.values[0])
                .arg(row.values[1])
                .arg(row.values[2]);
    }
    return next == count ? QString() : QStringLiteral("records from %1 on never came").arg(next);
}

} // namespace

class ComPortsTest : public QObject {
    Q_OBJECT

private slots:
    void com1TakesWhatTheDeviceSent_data()
    {
        QTest::addColumn<int>("speedIndex");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("everyMs");
        QTest::newRow("9600 bit/s, a record a second -> a record row each") << 2 << 5 << 1000;
        QTest::newRow("115200 bit/s, three records a second -> each tick the records since the last") << 7 << 9 << 333;
    }

    // A record waiting before the opening is discarded; the records sent
    // after it reach the ticks, whenever they fall against the ticks, then
    // the recording and, byte for byte, the capture.
    void com1TakesWhatTheDeviceSent()
    {
        QFETCH(int, speedIndex);
        QFETCH(int, count);
        QFETCH(int, everyMs);
        const Com1Device device;
        if (!device.isValid())
            QSKIP(kNoDevice);
        RecordedWindow window;
        QCOMPARE(window.refusal, QString());
        window.chooseSpeed(speedIndex);
        const QByteArray before = "99,499,899\r\n";
        QVERIFY(device.send(before));
        QTRY_COMPARE(device.slaveUnreadBytes(), int(before.size()));

        window.openPort(1);
        QVERIFY2(!window.shownBox(), qPrintable(window.shownBox() ? window.shownBox()->informativeText() : QString()));
        QVERIFY(window.looksOpen());
        for (int n = 0; n < count; ++n) {
            QVERIFY(device.send(record(n)));
            QTest::qWait(everyMs);
        }
        const QByteArray fed = records(0, count);
        QTRY_COMPARE_WITH_TIMEOUT(window.shownText().size(), fed.size(), 10000);
        window.press();
        QVERIFY(window.looksClosed());

        const QString difference = differenceFromFed(window.rows, count);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(contentsOf(window.capturePath), fed);
        QCOMPARE(contentsOf(window.recordPath), window.recordedLines());
    }

    // The device going away while the port is open (the far end closed):
    // Wine fails the pending read with ERROR_BROKEN_PIPE, and the port closes
    // with the lost-device box, after what the device sent before. Last of
    // the COM1 cases: the far end cannot come back.
    void com1WhoseDeviceGoesAwayClosesWithTheBox()
    {
        const Com1Device device;
        if (!device.isValid())
            QSKIP(kNoDevice);
        RecordedWindow window;
        window.openPort(1);
        QVERIFY(window.looksOpen());
        QVERIFY(device.send(record(0)));
        QTRY_COMPARE_WITH_TIMEOUT(window.shownText(), record(0), 10000);

        QSignalSpy failures(&window.comm, &MSComm::deviceFailed);

        QVERIFY(device.hangUp());

        QTRY_VERIFY_WITH_TIMEOUT(window.shownBox(), 10000);
        QMessageBox &box = *window.shownBox();
        QCOMPARE(box.text(), deviceLostText(1));
        QCOMPARE(box.informativeText(), deviceLostDetail(device.slavePath()));
        QVERIFY(window.looksClosed());
        QCOMPARE(contentsOf(window.capturePath), record(0));
        // Under Wine every read of the hung-up line fails again: one report, one box.
        QVERIFY(!failures.wait(200));
        QCOMPARE(failures.count(), 1);
        box.button(QMessageBox::Ok)->click();
    }

    void portWithNothingBehindGivesTheInvalidPortBox()
    {
        MonitorWindow window;
        window.form.show();
        window.openPort(9);
        QTRY_VERIFY(window.shownBox());
        QMessageBox &box = *window.shownBox();
        QCOMPARE(box.windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(box.text(), QStringLiteral("Невозможно Открыть Com порт 9"));
        QVERIFY2(box.informativeText().contains(QStringLiteral("COM9")), qPrintable(box.informativeText()));
        QCOMPARE(window.button.text(), kOpenCaption);
        box.button(QMessageBox::Ok)->click();
    }
};

QTEST_MAIN(ComPortsTest)
#include "tst_com_ports.moc"
