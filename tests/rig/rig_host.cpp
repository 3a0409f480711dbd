// The rig's host side: starts the guest in QEMU, plays the device on the
// emulated FTDI adapter and on the second 16550, and carries out what the
// checks in the guest ask for over the console: unplug and plug the adapter
// (QMP), pull its cable (close its socket), and tell what the guest did to
// the adapter's line (QEMU's trace). The checks' own lines pass through.
//
// rig_host GUEST_DIR SHARED_ROOT PROGRAM
//   GUEST_DIR    the cached guest (vmlinux, initramfs.cpio.gz)
//   SHARED_ROOT  the project's root, read-only at /rig in the guest
//   PROGRAM      the checks, a path under SHARED_ROOT
// Exits with the checks' status; 1 when the guest cannot run or hangs.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kGuestDeadlineMs = 8 * 60 * 1000;
const QString kAdapterSerial = QStringLiteral("RIG0001");

// The adapter's line as the guest set it, from QEMU's trace of the FTDI
// requests: "baud:115384" for a speed (FTDI's divisor rounds it), "dtr:1",
// "rts:0" for each modem line a request set.
QStringList adapterEvents(const QString &trace)
{
    static const QRegularExpression baud(QStringLiteral("usb_serial_set_baud.* (\\d+)\\s*$"));
    static const QRegularExpression control(QStringLiteral("usb_serial_handle_control.*0x([0-9a-f]+).*0x([0-9a-f]+)\\s*$"));
    constexpr int kSetModemControl = 0x4001, kDtr = 0x1, kRts = 0x2, kSetDtr = 0x100, kSetRts = 0x200;
    QStringList events;
    for (const QString &line : trace.split(u'\n')) {
        if (const QRegularExpressionMatch m = baud.match(line); m.hasMatch()) {
            events << QStringLiteral("baud:") + m.captured(1);
        } else if (const QRegularExpressionMatch c = control.match(line); c.hasMatch()) {
            if (c.captured(1).toInt(nullptr, 16) != kSetModemControl)
                continue;
            const int value = c.captured(2).toInt(nullptr, 16);
            if (value & kSetDtr)
                events << QStringLiteral("dtr:%1").arg(value & kDtr ? 1 : 0);
            if (value & kSetRts)
                events << QStringLiteral("rts:%1").arg(value & kRts ? 1 : 0);
        }
    }
    return events;
}

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

// One end of a QEMU character device: QEMU connects to us, and connects
// again after we drop it (a cable pulled and plugged back).
class Socket : public QObject {
public:
    Socket(const QString &path, QObject *parent)
        : QObject(parent)
    {
        QLocalServer::removeServer(path);
        m_server.listen(path);
        connect(&m_server, &QLocalServer::newConnection, this, &Socket::accept);
    }
    QLocalSocket *peer() const { return m_peer; }
    void write(const QByteArray &bytes)
    {
        if (m_peer && m_peer->state() == QLocalSocket::ConnectedState)
            m_peer->write(bytes);
    }
    void drop()
    {
        if (m_peer)
            m_peer->abort();
    }
    std::function<void()> onConnected = [] {};

private:
    void accept()
    {
        while (QLocalSocket *next = m_server.nextPendingConnection()) {
            if (m_peer)
                m_peer->deleteLater();
            m_peer = next;
            onConnected();
        }
    }
    QLocalServer m_server{this};
    QPointer<QLocalSocket> m_peer;
};

class Rig : public QObject {
public:
    Rig(QString guestDir, QString sharedRoot, QString program)
        : m_guestDir(std::move(guestDir))
        , m_sharedRoot(std::move(sharedRoot))
        , m_program(std::move(program))
    {
        m_console.onConnected = [this] {
            connect(m_console.peer(), &QLocalSocket::readyRead, this, &Rig::readConsole);
        };
        m_qmp.onConnected = [this] {
            connect(m_qmp.peer(), &QLocalSocket::readyRead, this, [this] { m_qmp.peer()->readAll(); });
            m_qmp.write(R"({"execute":"qmp_capabilities"})" "\n");
        };
        connect(&m_stream, &QTimer::timeout, this, &Rig::sendNextRecord);
        connect(&m_qemu, &QProcess::finished, this, &Rig::qemuEnded);
        QTimer::singleShot(kGuestDeadlineMs, this, [this] {
            say(QStringLiteral("FAIL!  : rig: the guest did not finish within %1 minutes").arg(kGuestDeadlineMs / 60000));
            m_qemu.kill();
        });
    }

    bool start()
    {
        const QString qemu = QStandardPaths::findExecutable(QStringLiteral("qemu-system-x86_64"));
        if (qemu.isEmpty()) {
            say(QStringLiteral("rig: cannot run: qemu-system-x86_64 is not installed (package qemu-system-x86)"));
            return false;
        }
        const QString guestProgram = QStringLiteral("/rig/") + QDir(m_sharedRoot).relativeFilePath(m_program);
        const QString trace = m_dir.filePath(QStringLiteral("trace.log"));
        m_trace.setFileName(trace);
        // Unknown name=value pairs on the kernel's command line become init's environment.
        const QString append = QStringLiteral("console=ttyS0 quiet loglevel=0 panic=-1 rig.program=%1 "
                                              "LSAN_OPTIONS=suppressions=/rig/tests/lsan.supp ASAN_OPTIONS=detect_odr_violation=0")
                                   .arg(guestProgram);
        // No KVM here: TCG, the uncompressed kernel through its PVH entry, qboot.
        QStringList arguments = QStringLiteral("-machine q35 -accel tcg -cpu max -m 512 -nodefaults -nic none -display none "
                                               "-no-reboot -bios /usr/share/qemu/qboot.rom -device qemu-xhci,id=xhci "
                                               "-serial chardev:con -serial chardev:uart -mon chardev=qmp,mode=control "
                                               "-trace usb_serial_*")
                                    .split(u' ');
        const QString share = QStringLiteral("local,path=%1,mount_tag=%2,security_model=none,readonly=on");
        arguments << QStringLiteral("-kernel") << m_guestDir + QStringLiteral("/vmlinux")
                  << QStringLiteral("-initrd") << m_guestDir + QStringLiteral("/initramfs.cpio.gz")
                  << QStringLiteral("-append") << append << QStringLiteral("-D") << trace
                  << QStringLiteral("-chardev") << QStringLiteral("socket,id=con,path=%1").arg(socketPath("console"))
                  << QStringLiteral("-chardev") << QStringLiteral("socket,id=uart,path=%1,reconnect=1").arg(socketPath("uart"))
                  << QStringLiteral("-chardev") << QStringLiteral("socket,id=qmp,path=%1").arg(socketPath("qmp"))
                  << QStringLiteral("-chardev") << QStringLiteral("socket,id=usbline,path=%1,reconnect=1").arg(socketPath("usb"))
                  << QStringLiteral("-device") << adapterOptions()
                  << QStringLiteral("-virtfs") << share.arg(QStringLiteral("/usr"), QStringLiteral("usr"))
                  << QStringLiteral("-virtfs") << share.arg(QStringLiteral("/etc"), QStringLiteral("hostetc"))
                  << QStringLiteral("-virtfs") << share.arg(m_sharedRoot, QStringLiteral("rig"));
        m_qemu.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_qemu.setStandardOutputFile(QProcess::nullDevice());
        m_clock.start();
        m_qemu.start(qemu, arguments);
        if (!m_qemu.waitForStarted()) {
            say(QStringLiteral("rig: cannot run: %1 does not start: %2").arg(qemu, m_qemu.errorString()));
            return false;
        }
        return true;
    }

private:
    QString socketPath(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    static QString adapterOptions() { return QStringLiteral("usb-serial,id=adapter,chardev=usbline,serial=") + kAdapterSerial; }

    void readConsole()
    {
        QLocalSocket *console = m_console.peer();
        m_consoleLine += console->readAll();
        qsizetype end;
        while ((end = m_consoleLine.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_consoleLine.first(end)).remove(u'\r');
            m_consoleLine.remove(0, end + 1);
            if (line.startsWith(u"@rig "))
                handleRequest(line.mid(5).split(u' ', Qt::SkipEmptyParts));
            else if (!line.trimmed().isEmpty() && !line.startsWith(u"QWARN"))
                say(line); // the checks' own lines; the offscreen platform's warnings say nothing of them
        }
    }

    void reply(const QString &payload = {})
    {
        m_console.write((QStringLiteral("@ok ") + payload + u'\n').toUtf8());
    }

    // Each request but "exit" is answered, once it has been carried out.
    void handleRequest(const QStringList &words)
    {
        const QString verb = words.value(0);
        QString answer;
        if (verb == u"send") {
            Socket &line = words.value(1) == u"uart" ? m_uart : m_usb;
            line.write(QByteArray::fromBase64(words.value(2).toLatin1()));
        } else if (verb == u"stream") {
            m_streamNext = words.value(2).toInt();
            const int intervalMs = words.value(1).toInt();
            if (intervalMs > 0)
                m_stream.start(intervalMs);
            else
                m_stream.stop();
        } else if (verb == u"pull") {
            m_usb.drop();
        } else if (verb == u"unplug") {
            qmp(QJsonObject{{"execute", "device_del"}, {"arguments", QJsonObject{{"id", "adapter"}}}});
        } else if (verb == u"plug") {
            qmp(QJsonObject{{"execute", "device_add"},
                            {"arguments", QJsonObject{{"driver", "usb-serial"}, {"id", "adapter"}, {"chardev", "usbline"},
                                                      {"serial", kAdapterSerial}}}});
        } else if (verb == u"mark") {
            m_traceMark = QFileInfo(m_trace.fileName()).size();
        } else if (verb == u"trace") {
            answer = adapterEventsSince(m_traceMark);
        } else if (verb == u"exit") {
            m_exitCode = words.value(1).toInt();
            return;
        } else {
            say(QStringLiteral("rig: unknown request from the guest: %1").arg(words.join(u' ')));
        }
        reply(answer);
    }

    // The trace is written by QEMU as the guest acts; whatever has reached
    // the file when the guest asks is what happened before it asked.
    QString adapterEventsSince(qint64 offset)
    {
        if (!m_trace.isOpen() && !m_trace.open(QIODevice::ReadOnly))
            return {};
        m_trace.seek(offset);
        return adapterEvents(QString::fromUtf8(m_trace.readAll())).join(u' ');
    }

    void qmp(const QJsonObject &command) { m_qmp.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n'); }

    void sendNextRecord()
    {
        const int n = m_streamNext++;
        m_usb.write(QStringLiteral("%1,%2,%3\r\n").arg(n).arg(n + 1).arg(n + 2).toLatin1());
    }

    void qemuEnded()
    {
        if (m_exitCode < 0)
            say(QStringLiteral("FAIL!  : rig: the guest ended without reporting (QEMU exit status %1)").arg(m_qemu.exitCode()));
        const int status = m_exitCode < 0 ? 1 : m_exitCode;
        say(QStringLiteral("rig: %1, the guest ran %2 s from QEMU's start")
                .arg(status == 0 ? QStringLiteral("every check passed") : QStringLiteral("FAILED"))
                .arg(double(m_clock.elapsed()) / 1000.0, 0, 'f', 1));
        QCoreApplication::exit(status);
    }

    QString m_guestDir;
    QString m_sharedRoot;
    QString m_program;
    QTemporaryDir m_dir;
    Socket m_console{socketPath("console"), this};
    Socket m_uart{socketPath("uart"), this};
    Socket m_usb{socketPath("usb"), this};
    Socket m_qmp{socketPath("qmp"), this};
    QProcess m_qemu{this};
    QElapsedTimer m_clock;
    QFile m_trace;
    qint64 m_traceMark = 0;
    QByteArray m_consoleLine;
    QTimer m_stream{this};
    int m_streamNext = 1;
    int m_exitCode = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: rig_host GUEST_DIR SHARED_ROOT PROGRAM\n", stderr);
        return 2;
    }
    Rig rig(arguments[1], arguments[2], arguments[3]);
    if (!rig.start())
        return 1;
    return QCoreApplication::exec();
}
