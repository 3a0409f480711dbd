// EXIT, Ctrl-C, kill and a closed terminal all end the monitor with the port
// closed and its locks released, so that the next run can open it.
#include "app/termination_signals.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSerialPort>
#include <QTest>

#include <csignal>

class TerminationTest : public QObject {
    Q_OBJECT

private slots:
    void endingReleasesThePort_data()
    {
        QTest::addColumn<int>("signalNumber"); // 0: EXIT pressed
        QTest::newRow("EXIT pressed -> port closed, window closed") << 0;
        QTest::newRow("SIGINT (Ctrl-C) -> port closed, window closed") << SIGINT;
        QTest::newRow("SIGTERM (kill) -> port closed, window closed") << SIGTERM;
        QTest::newRow("SIGHUP (terminal closed) -> port closed, window closed") << SIGHUP;
    }

    void endingReleasesThePort()
    {
        QFETCH(int, signalNumber);
        PtyPair device;
        ReceptionState reception;
        Form1 form(reception);
        auto &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
        comm.setDeviceMap({{QStringLiteral("1"), device.slavePath()}});
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
        form.show();
        form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();
        QVERIFY(comm.PortOpen());
        TerminationSignals termination;
        connect(&termination, &TerminationSignals::received, &form, &Form1::Command1_Click);

        if (signalNumber == 0)
            QTest::mouseClick(form.findChild<QAbstractButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        else
            QCOMPARE(::raise(signalNumber), 0);

        QTRY_VERIFY(!form.isVisible());
        QVERIFY(!comm.PortOpen());
        QSerialPort nextRun(device.slavePath());
        QVERIFY(nextRun.open(QIODevice::ReadOnly));
    }
};

QTEST_MAIN(TerminationTest)
#include "tst_termination.moc"
