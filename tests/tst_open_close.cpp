// The open/close button against pseudo-terminal devices: what the user sees
// and what really happens on the line.
#include "monitor.h"
#include "test_files.h"
#include "unprivileged.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>

#include <sys/stat.h>
#include <termios.h>

namespace {

// Com `port` alone has a device: the monitor's pseudo-terminal, or `path`.
void mapOnly(Monitor &monitor, int port, const QString &path = {})
{
    monitor.comm.setDeviceMap({{QString::number(port), path.isEmpty() ? monitor.device.slavePath() : path}});
}

} // namespace

class OpenCloseTest : public QObject {
    Q_OBJECT

private slots:
    void openingSetsTheChosenSpeedAndClosingWritesItAgain_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("speedIndex");
        QTest::addColumn<uint>("speed"); // as termios codes it
        QTest::newRow("Com 3 at 19200 -> 19200 8N1") << 3 << 4 << uint(B19200);
        QTest::newRow("Com 1 at 9600 -> 9600 8N1") << 1 << 2 << uint(B9600);
        QTest::newRow("Com 9 at 115200 -> 115200 8N1") << 9 << 7 << uint(B115200);
    }

    // Characters the device sent before the opening never appear. The second
    // press closes, with the speed chosen meanwhile, and frees the device.
    void openingSetsTheChosenSpeedAndClosingWritesItAgain()
    {
        QFETCH(int, port);
        QFETCH(int, speedIndex);
        QFETCH(uint, speed);
        Monitor monitor;
        mapOnly(monitor, port);
        monitor.chooseSpeed(speedIndex);
        QVERIFY(monitor.device.send("999,999,999\r\n"));

        monitor.openPort(port);

        QVERIFY(monitor.looksOpen());
        QCOMPARE(monitor.timer.interval(), 1000);
        QCOMPARE(monitor.comm.CommPort(), port);
        const termios line = monitor.device.slaveTermios();
        QCOMPARE(uint(cfgetispeed(&line)), speed);
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
        QVERIFY(!Monitor::shownBox());
        QVERIFY(monitor.tick("1,2,3\r\n"));
        QCOMPARE(monitor.text(QStringLiteral("Resive")), QStringLiteral("1,2,3\r\n"));

        monitor.chooseSpeed(6);
        monitor.press();

        QVERIFY(monitor.looksClosed());
        QCOMPARE(monitor.comm.Settings(), QStringLiteral("57600,n,8,1"));
        QSerialPort other(monitor.device.slavePath());
        QVERIFY(other.open(QIODevice::ReadOnly));
    }

    void failedOpeningShowsItsMessageAndStaysClosed_data()
    {
        QTest::addColumn<int>("port"); // 0: no entry chosen
        QTest::addColumn<QString>("device"); // none, vanished, held (by an opener), flocked, unreadable
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("detailParts");

        const QString busy = QStringLiteral("Повторная попытка Открыть Com порт");
        QTest::newRow("Com 5 with no device -> invalid port 5")
            << 5 << "none" << QStringLiteral("Невозможно Открыть Com порт 5") << QStringList{"нет"};
        QTest::newRow("no entry chosen -> invalid port 0")
            << 0 << "none" << QStringLiteral("Невозможно Открыть Com порт 0") << QStringList{"нет"};
        QTest::newRow("Com 2 on a vanished device -> invalid port 2")
            << 2 << "vanished" << QStringLiteral("Невозможно Открыть Com порт 2") << QStringList{"/dev/ttyNoSuchDevice7"};
        QTest::newRow("Com 4 held by another opener -> repeated attempt naming it")
            << 4 << "held" << busy << QStringList{"занято программой tst_open_close (PID"};
        QTest::newRow("Com 4 flocked by another program -> repeated attempt naming it, its line left as it set it")
            << 4 << "flocked" << busy << QStringList{"занято программой tst_open_close (PID"};
        QTest::newRow("Com 7 this user may not read -> invalid port 7, no rights, device and group named")
            << 7 << "unreadable" << QStringLiteral("Невозможно Открыть Com порт 7") << QStringList{"Нет прав"};
    }

    void failedOpeningShowsItsMessageAndStaysClosed()
    {
        QFETCH(int, port);
        QFETCH(QString, device);
        QFETCH(QString, text);
        QFETCH(QStringList, detailParts);
        if (device == u"unreadable")
            RERUN_AS_NOBODY_WHEN_ROOT();

        Monitor monitor;
        const QString path = monitor.device.slavePath();
        monitor.comm.setDeviceMap({});
        if (device == u"vanished")
            mapOnly(monitor, port, QStringLiteral("/dev/ttyNoSuchDevice7"));
        else if (device != u"none")
            mapOnly(monitor, port);
        QSerialPort holder(path);
        if (device == u"held")
            QVERIFY(holder.open(QIODevice::ReadOnly));
        if (device == u"flocked")
            QVERIFY(monitor.device.holdAsAnotherProgram());
        const termios before = monitor.device.slaveTermios();
        if (device == u"unreadable") {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0), 0);
            // A terminal's group is "tty": the user is told which group opens the device.
            detailParts << path << QFileInfo(path).group();
        }

        monitor.openPort(port);

        QTRY_VERIFY(Monitor::shownBox());
        QMessageBox *box = Monitor::shownBox();
        QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(box->text(), text);
        QCOMPARE(box->icon(), QMessageBox::Critical);
        for (const QString &part : detailParts)
            QVERIFY2(box->informativeText().contains(part), qPrintable(box->informativeText()));
        QVERIFY(monitor.looksClosed());
        if (device == u"flocked") {
            // The refused opening touched nothing: no settings, not even for
            // a moment, and exclusive mode (which root could clear) still on.
            const termios after = monitor.device.slaveTermios();
            QCOMPARE(cfgetispeed(&after), cfgetispeed(&before));
            QCOMPARE(after.c_cflag, before.c_cflag);
            QCOMPARE(after.c_iflag, before.c_iflag);
            QCOMPARE(after.c_lflag, before.c_lflag);
            QVERIFY(monitor.device.slaveIsExclusive());
        }

        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!Monitor::shownBox());
    }

    // A run killed as root leaves its lock file behind, and an ordinary user may
    // not remove it: the box names that file and how to remove it, never the
    // dead holder. Root leaves the lock of its own opening with a pid that is
    // gone, re-runs the test as user nobody, then opens over it as usual.
    void staleLockOfAStoppedRunIsNamedWithItsRemedy()
    {
        const char *deviceVariable = "STALE_LOCK_DEVICE";
        if (runningAsRoot()) {
            if (!QFileInfo(QStringLiteral("/var/lock")).isWritable())
                QSKIP("no lock directory /var/lock on this host");
            Monitor killed;
            const QString lockPath = lockFileOf(killed.device.slavePath());
            const auto removeLock = qScopeGuard([&] {
                QFile::remove(lockPath);
                qunsetenv(deviceVariable);
            });
            killed.openPort(1);
            const QByteArray lock = contentsOf(lockPath);
            QVERIFY2(lock.startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'), lock.constData());
            killed.press();
            QVERIFY(writeFile(lockPath, QByteArray::number(deadPid()) + lock.sliced(lock.indexOf('\n'))));
            QCOMPARE(::chmod(QFile::encodeName(killed.device.slavePath()).constData(), 0666), 0);
            qputenv(deviceVariable, killed.device.slavePath().toLocal8Bit());
            const UnprivilegedRun nobody = rerunAsNobody(QTest::currentTestFunction());
            if (!nobody.available)
                QSKIP("running as root and setpriv is not installed: cannot try the lock as an ordinary user");
            QVERIFY2(nobody.passed, qPrintable(nobody.output));
            killed.press();
            QVERIFY(killed.looksOpen());
            killed.press();
            return;
        }
        const QString lockPath = lockFileOf(qEnvironmentVariable(deviceVariable));
        if (!qEnvironmentVariableIsSet(deviceVariable) || !QFile::exists(lockPath))
            QSKIP("only root can leave a lock file that this user cannot remove");
        Monitor monitor;
        mapOnly(monitor, 2, qEnvironmentVariable(deviceVariable));

        monitor.openPort(2);

        QTRY_VERIFY(Monitor::shownBox());
        QCOMPARE(Monitor::shownBox()->text(), QStringLiteral("Повторная попытка Открыть Com порт"));
        const QString detail = Monitor::shownBox()->informativeText();
        QVERIFY2(detail.contains(QStringLiteral("Остановленная программа")) && detail.endsWith(QStringLiteral("sudo rm '") + lockPath + u'\'')
                     && !detail.contains(QStringLiteral("PID")),
                 qPrintable(detail));
        QVERIFY(monitor.looksClosed());
    }

    // A device that hangs up refuses every line setting. The press of «Закрыть
    // порт» that meets it before the event loop has noticed the hang-up closes.
    void closePressClosesEvenWhenTheDeviceRefusesTheSpeed()
    {
        Monitor monitor;
        monitor.openPort(1);
        QVERIFY(monitor.looksOpen());
        monitor.chooseSpeed(0);
        monitor.device.hangUp();

        monitor.button.click();

        QVERIFY(monitor.looksClosed());
        QCoreApplication::processEvents();
        QVERIFY(!Monitor::shownBox());
    }

    void hangUpWhileOpenClosesOnceWithOneMessage()
    {
        Monitor monitor;
        mapOnly(monitor, 6);
        monitor.openPort(6);
        QVERIFY(monitor.looksOpen());
        QSignalSpy failures(&monitor.comm, &MSComm::deviceFailed);

        monitor.device.hangUp();

        QTRY_VERIFY(Monitor::shownBox());
        QVERIFY(monitor.looksClosed());
        QVERIFY2(Monitor::shownBox()->text().contains(QStringLiteral("Com 6")), qPrintable(Monitor::shownBox()->text()));
        // A hung-up line gives end-of-file and no error number: the second
        // line says so in the box's own language and names the device.
        QCOMPARE(Monitor::shownBox()->informativeText(),
                 QStringLiteral("Устройство %1 отключено или перестало отвечать.").arg(monitor.device.slavePath()));
        // A port left open on a hung-up device reports errors without end: one
        // report, one box, and none may follow.
        QVERIFY(!failures.wait(200));
        QCOMPARE(failures.count(), 1);
        Monitor::shownBox()->button(QMessageBox::Ok)->click();
    }
};

QTEST_MAIN(OpenCloseTest)
#include "tst_open_close.moc"
