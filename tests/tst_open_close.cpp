// The open/close button against pseudo-terminal devices: what the user sees
// and what really happens on the line.
#include "pty_pair.h"
#include "unprivileged.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSysInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <termios.h>

namespace {

const QString kOpen = QStringLiteral("Открыть порт");
const QString kClose = QStringLiteral("Закрыть порт");

// One window with its controls at hand, ports mapped to test devices.
struct Monitor {
    ReceptionState reception;
    Form1 form{reception};
    MSComm &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    QAbstractButton &button = *form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"));
    QComboBox &ports = *form.findChild<QComboBox *>(QStringLiteral("Com_select"));
    QTimer &timer = *form.findChild<QTimer *>(QStringLiteral("Timer1"));

    explicit Monitor(const QVariantMap &devices = {})
    {
        comm.setDeviceMap(devices);
        form.show();
    }
    void chooseSpeed(int index)
    {
        QTest::mouseClick(form.findChild<QRadioButton *>(QStringLiteral("Spd_baud(%1)").arg(index)), Qt::LeftButton);
    }
    void press() { QTest::mouseClick(&button, Qt::LeftButton); }
    // Chooses port `port` in the list and presses the button.
    void openPort(int port)
    {
        ports.setCurrentIndex(port - 1);
        press();
    }
    bool looksOpen() const { return button.text() == kClose && timer.isActive() && comm.PortOpen(); }
    bool looksClosed() const { return button.text() == kOpen && !timer.isActive() && !comm.PortOpen(); }
};

QMessageBox *shownBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

} // namespace

class OpenCloseTest : public QObject {
    Q_OBJECT

private slots:
    void openingSetsTheChosenSpeedOnTheDevice_data();
    void openingSetsTheChosenSpeedOnTheDevice();
    void secondPressClosesAndWritesTheSpeedAgain();
    void failedOpeningShowsItsMessageAndStaysClosed_data();
    void failedOpeningShowsItsMessageAndStaysClosed();
    void unreadableDeviceShowsInvalidPortWithTheGroupToJoin();
    void staleLockOfAStoppedRunIsNamedWithItsRemedy();
    void closePressClosesEvenWhenTheDeviceRefusesTheSpeed();
    void charactersSentBeforeOpeningNeverAppear();
    void hangUpWhileOpenClosesOnceWithOneMessage();
    void droppedDownListTellsTheDeviceBehindEachPort();
};

void OpenCloseTest::openingSetsTheChosenSpeedOnTheDevice_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<uint>("speed"); // as termios codes it
    QTest::newRow("Com 3 at 19200 -> 19200 8N1") << 2 << 4 << uint(B19200);
    QTest::newRow("Com 1 at 9600 -> 9600 8N1") << 0 << 2 << uint(B9600);
    QTest::newRow("Com 9 at 115200 -> 115200 8N1") << 8 << 7 << uint(B115200);
}

void OpenCloseTest::openingSetsTheChosenSpeedOnTheDevice()
{
    QFETCH(int, entry);
    QFETCH(int, speedIndex);
    QFETCH(uint, speed);
    PtyPair device;
    QVERIFY(device.isValid());
    Monitor monitor({{QString::number(entry + 1), device.slavePath()}});
    monitor.ports.setCurrentIndex(entry);
    monitor.chooseSpeed(speedIndex);

    monitor.press();

    QVERIFY(monitor.looksOpen());
    QCOMPARE(monitor.timer.interval(), 1000);
    QCOMPARE(monitor.comm.CommPort(), entry + 1);
    const termios line = device.slaveTermios();
    QCOMPARE(uint(cfgetispeed(&line)), speed);
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    QVERIFY(!shownBox());
}

void OpenCloseTest::secondPressClosesAndWritesTheSpeedAgain()
{
    PtyPair device;
    Monitor monitor({{QStringLiteral("3"), device.slavePath()}});
    monitor.chooseSpeed(4);
    monitor.openPort(3);
    QVERIFY(monitor.looksOpen());

    monitor.chooseSpeed(6);
    monitor.press();

    QVERIFY(monitor.looksClosed());
    QCOMPARE(monitor.comm.Settings(), QStringLiteral("57600,n,8,1"));
    // The device is free again: another program can take it.
    QSerialPort other(device.slavePath());
    QVERIFY(other.open(QIODevice::ReadOnly));
}

void OpenCloseTest::failedOpeningShowsItsMessageAndStaysClosed_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("device"); // none, vanished, held (by an opener), flocked
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("detailPart");

    const QString busy = QStringLiteral("Повторная попытка Открыть Com порт");
    QTest::newRow("Com 5 with no device -> invalid port 5")
        << 4 << "none" << QStringLiteral("Невозможно Открыть Com порт 5") << QStringLiteral("нет");
    QTest::newRow("no entry chosen -> invalid port 0")
        << -1 << "none" << QStringLiteral("Невозможно Открыть Com порт 0") << QStringLiteral("нет");
    QTest::newRow("Com 2 on a vanished device -> invalid port 2")
        << 1 << "vanished" << QStringLiteral("Невозможно Открыть Com порт 2") << QStringLiteral("/dev/");
    QTest::newRow("Com 4 held by another opener -> repeated attempt naming it")
        << 3 << "held" << busy << QStringLiteral("занято программой tst_open_close (PID");
    QTest::newRow("Com 4 flocked by another program -> repeated attempt, port closed again")
        << 3 << "flocked" << busy << QStringLiteral("flock");
}

void OpenCloseTest::failedOpeningShowsItsMessageAndStaysClosed()
{
    QFETCH(int, entry);
    QFETCH(QString, device);
    QFETCH(QString, text);
    QFETCH(QString, detailPart);

    PtyPair pty;
    QVariantMap devices;
    if (device != u"none")
        devices.insert(QString::number(entry + 1), device == u"vanished" ? QStringLiteral("/dev/ttyNoSuchDevice7") : pty.slavePath());
    QSerialPort holder(pty.slavePath());
    if (device == u"held")
        QVERIFY(holder.open(QIODevice::ReadOnly));
    if (device == u"flocked")
        QVERIFY(pty.holdFlock());
    Monitor monitor(devices);
    monitor.ports.setCurrentIndex(entry);

    monitor.press();

    QTRY_VERIFY(shownBox());
    QMessageBox *box = shownBox();
    QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка"));
    QCOMPARE(box->text(), text);
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY2(box->informativeText().contains(detailPart), qPrintable(box->informativeText()));
    QVERIFY(monitor.looksClosed());

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!shownBox());
}

// A run killed as root leaves its lock file behind, and an ordinary user may
// not remove it: the box names that file and how to remove it, never the
// dead holder. Root plants the lock and re-runs the test as user nobody.
void OpenCloseTest::staleLockOfAStoppedRunIsNamedWithItsRemedy()
{
    const char *deviceVariable = "STALE_LOCK_DEVICE";
    const auto lockPathFor = [](QString device) { return QStringLiteral("/var/lock/LCK..") + device.mid(5).replace(u'/', u'_'); };
    if (runningAsRoot()) {
        if (!QFileInfo(QStringLiteral("/var/lock")).isWritable())
            QSKIP("no lock directory /var/lock on this host");
        PtyPair device;
        QFile lock(lockPathFor(device.slavePath()));
        const auto removeLock = qScopeGuard([&] {
            lock.remove();
            qunsetenv(deviceVariable);
        });
        QProcess stopped;
        stopped.start(QStringLiteral("true"));
        QVERIFY(stopped.waitForStarted() && stopped.processId() > 0);
        const qint64 deadPid = stopped.processId();
        QVERIFY(stopped.waitForFinished());
        QCOMPARE(::chmod(QFile::encodeName(device.slavePath()).constData(), 0666), 0);
        qputenv(deviceVariable, device.slavePath().toLocal8Bit());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QStringLiteral("%1\nsensor-monitor\n%2\n").arg(deadPid).arg(QSysInfo::machineHostName()).toLocal8Bit());
        lock.close();
        RERUN_AS_NOBODY_WHEN_ROOT();
    }
    const QString lockPath = lockPathFor(qEnvironmentVariable(deviceVariable));
    if (!qEnvironmentVariableIsSet(deviceVariable) || !QFile::exists(lockPath))
        QSKIP("only root can leave a lock file that this user cannot remove");
    Monitor monitor({{QStringLiteral("2"), qEnvironmentVariable(deviceVariable)}});

    monitor.openPort(2);

    QTRY_VERIFY(shownBox());
    QCOMPARE(shownBox()->text(), QStringLiteral("Повторная попытка Открыть Com порт"));
    const QString detail = shownBox()->informativeText();
    QVERIFY2(detail.contains(QStringLiteral("Остановленная программа")) && detail.endsWith(QStringLiteral("sudo rm ") + lockPath)
                 && !detail.contains(QStringLiteral("PID")),
             qPrintable(detail));
    QVERIFY(monitor.looksClosed());
}

// A device that hangs up refuses every line setting. The press of «Закрыть
// порт» that meets it before the event loop has noticed the hang-up closes.
void OpenCloseTest::closePressClosesEvenWhenTheDeviceRefusesTheSpeed()
{
    PtyPair device;
    Monitor monitor({{QStringLiteral("1"), device.slavePath()}});
    monitor.openPort(1);
    QVERIFY(monitor.looksOpen());
    monitor.chooseSpeed(0);
    device.hangUp();

    monitor.button.click();

    QVERIFY(monitor.looksClosed());
    QCoreApplication::processEvents();
    QVERIFY(!shownBox());
}

void OpenCloseTest::unreadableDeviceShowsInvalidPortWithTheGroupToJoin()
{
    RERUN_AS_NOBODY_WHEN_ROOT();
    PtyPair device;
    QCOMPARE(::chmod(QFile::encodeName(device.slavePath()).constData(), 0), 0);
    Monitor monitor({{QStringLiteral("7"), device.slavePath()}});

    monitor.openPort(7);

    QTRY_VERIFY(shownBox());
    QCOMPARE(shownBox()->text(), QStringLiteral("Невозможно Открыть Com порт 7"));
    const QString detail = shownBox()->informativeText();
    QVERIFY2(detail.contains(QStringLiteral("Нет прав")) && detail.contains(device.slavePath()), qPrintable(detail));
    // A terminal's group is "tty": the user is told which group opens the device.
    QVERIFY2(detail.contains(QFileInfo(device.slavePath()).group()), qPrintable(detail));
    QVERIFY(monitor.looksClosed());
}

void OpenCloseTest::charactersSentBeforeOpeningNeverAppear()
{
    PtyPair device;
    Monitor monitor({{QStringLiteral("1"), device.slavePath()}});
    QVERIFY(device.send("999,999,999\r\n"));
    monitor.openPort(1);
    QVERIFY(monitor.looksOpen());

    QVERIFY(device.send("1,2,3\r\n"));
    QTRY_COMPARE(monitor.comm.InBufferCount(), 7);
    monitor.form.Timer1_Timer();

    QCOMPARE(monitor.form.findChild<QLineEdit *>(QStringLiteral("Resive"))->text(), QStringLiteral("1,2,3\r\n"));
    QCOMPARE(monitor.reception.Sens_A, 1);
}

void OpenCloseTest::hangUpWhileOpenClosesOnceWithOneMessage()
{
    PtyPair device;
    Monitor monitor({{QStringLiteral("6"), device.slavePath()}});
    monitor.openPort(6);
    QVERIFY(monitor.looksOpen());
    QSignalSpy failures(&monitor.comm, &MSComm::deviceFailed);

    device.hangUp();

    QTRY_VERIFY(shownBox());
    QVERIFY(monitor.looksClosed());
    QVERIFY2(shownBox()->text().contains(QStringLiteral("Com 6")), qPrintable(shownBox()->text()));
    // A port left open on a hung-up device reports errors without end: one
    // report, one box, and none may follow.
    QVERIFY(!failures.wait(200));
    QCOMPARE(failures.count(), 1);
    shownBox()->button(QMessageBox::Ok)->click();
}

void OpenCloseTest::droppedDownListTellsTheDeviceBehindEachPort()
{
    PtyPair device;
    Monitor monitor({{QStringLiteral("1"), device.slavePath()}});

    monitor.ports.showPopup();

    QCOMPARE(monitor.ports.itemData(0, Qt::ToolTipRole).toString(), device.slavePath());
    QCOMPARE(monitor.ports.itemData(4, Qt::ToolTipRole).toString(), QStringLiteral("Нет устройства для Com 5"));
    monitor.ports.hidePopup();
}

QTEST_MAIN(OpenCloseTest)
#include "tst_open_close.moc"
