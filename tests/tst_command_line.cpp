// The monitor's command line: what each valid form asks for, and how each
// malformed one ends the program before any window.
#include "command_line/monitor_options.h"
#include "test_files.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kRuns = -1;

// The help's example names a port as the system does; the Windows build
// publishes without TLS.
#ifdef Q_OS_WIN
const QString kExampleDevice = QStringLiteral("--port 1=COM3");
constexpr bool kHasTls = false;
#else
const QString kExampleDevice = QStringLiteral("--port 1=/dev/ttyUSB0");
constexpr bool kHasTls = true;
#endif

// The port map and demo flag as one line: "1=/dev/ttyUSB0 3=COM12 demo".
QString summary(const MonitorOptions &options)
{
    QStringList parts;
    for (const auto &[port, device] : options.ports)
        parts << QStringLiteral("%1=%2").arg(port).arg(device);
    if (options.demo)
        parts << QStringLiteral("demo");
    if (const auto &url = options.publish) {
        parts << QStringLiteral("publish scheme=%1 user=%2 host=%3 port=%4 topic=%5 ca=%6")
                     .arg(url->tls ? u"mqtts" : u"mqtt")
                     .arg(url->user, url->host)
                     .arg(url->port)
                     .arg(url->topic, url->caPath);
    }
    return parts.join(u' ');
}

// A self-signed authority (EC P-256), and its public key: PEM too, but no certificate.
const QByteArray kCertificatePem = "-----BEGIN CERTIFICATE-----\n"
                                   "MIIBiDCCAS+gAwIBAgIUBsXV18q2GUQrpFYD3dEJefJc1BMwCgYIKoZIzj0EAwIw\n"
                                   "GTEXMBUGA1UEAwwOVGVzdCBhdXRob3JpdHkwIBcNMjYxMjA3MTgzMjAzWhgPMjEy\n"
                                   "NjExMTMxODMyMDNaMBkxFzAVBgNVBAMMDlRlc3QgYXV0aG9yaXR5MFkwEwYHKoZI\n"
                                   "zj0CAQYIKoZIzj0DAQcDQgAEAYFLHal7xbFVftaqvTmuPCYUkMmtEn5iIdaiH8i4\n"
                                   "phn74HfquU8K+sqdhg2ScHEHk2JHNQCge3OXj9AyA6FEs6NTMFEwHQYDVR0OBBYE\n"
                                   "FFGVStMbAfYgmGxGVWIWRKhYzeqvMB8GA1UdIwQYMBaAFFGVStMbAfYgmGxGVWIW\n"
                                   "RKhYzeqvMA8GA1UdEwEB/wQFMAMBAf8wCgYIKoZIzj0EAwIDRwAwRAIgSnTrf9/K\n"
                                   "XivcxLwBfhbv9NwSkNA2Qz9DRQb1N1EMTM4CIFnItQAdb3ZprNoXnmansqmi3uBE\n"
                                   "k25J2gFJ/05+FOvB\n"
                                   "-----END CERTIFICATE-----\n";
const QByteArray kPublicKeyPem = "-----BEGIN PUBLIC KEY-----\n"
                                 "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEAYFLHal7xbFVftaqvTmuPCYUkMmt\n"
                                 "En5iIdaiH8i4phn74HfquU8K+sqdhg2ScHEHk2JHNQCge3OXj9AyA6FEsw==\n"
                                 "-----END PUBLIC KEY-----\n";

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_files; // the authorities that --publish-ca names

private slots:
    void initTestCase()
    {
        QVERIFY(writeFile(m_files.filePath(QStringLiteral("ca.pem")), kCertificatePem));
        QVERIFY(writeFile(m_files.filePath(QStringLiteral("key.pem")), kPublicKeyPem));
    }

    void verdicts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitStatus"); // kRuns: the window starts
        // Runs: the port map and demo flag. Ends: words the message must hold, '|' between.
        QTest::addColumn<QString>("expected");

        const QString usage = QStringLiteral("expected --port N=DEVICE");
        QTest::newRow("nothing -> runs as always") << QStringList{} << kRuns << QString();
        QTest::newRow("--port 1=/dev/ttyUSB0 -> Com 1 opens it")
            << QStringList{"--port", "1=/dev/ttyUSB0"} << kRuns << "1=/dev/ttyUSB0";
        QTest::newRow("two ports, one in = form -> both, numbers kept")
            << QStringList{"--port=9=/dev/serial/by-id/usb-FTDI_A=1", "--port", "3=COM12"} << kRuns
            << "3=COM12 9=/dev/serial/by-id/usb-FTDI_A=1";
        QTest::newRow("--demo --port 2=... -> demo and Com 2")
            << QStringList{"--demo", "--port", "2=/dev/pts/7"} << kRuns << "2=/dev/pts/7 demo";
        QTest::newRow("Qt's own options around ours -> left to Qt")
            << QStringList{"-platform", "offscreen", "-style=fusion", "-reverse", "--port", "4=/dev/ttyS0"} << kRuns
            << "4=/dev/ttyS0";
        QTest::newRow("--help -> usage on stdout") << QStringList{"--help"} << 0 << "Usage:|--port|N=DEVICE|--demo|" + kExampleDevice;
        QTest::newRow("--version -> name and version") << QStringList{"--version"} << 0
                                                       << QStringLiteral("tst_command_line " SENSOR_MONITOR_VERSION);
        QTest::newRow("--port 0=/dev/x -> 2") << QStringList{"--port", "0=/dev/x"} << 2 << "--port|\"0=/dev/x\"|" + usage;
        QTest::newRow("--port 10=/dev/x -> 2") << QStringList{"--port", "10=/dev/x"} << 2 << "\"10=/dev/x\"|" + usage;
        QTest::newRow("--port with an Arabic-Indic one -> 2")
            << QStringList{"--port", QStringLiteral("\u0661=/dev/x")} << 2 << usage;
        QTest::newRow("--port 1 -> 2") << QStringList{"--port", "1"} << 2 << "\"1\"|" + usage;
        QTest::newRow("--port =x -> 2") << QStringList{"--port", "=x"} << 2 << "\"=x\"|" + usage;
        QTest::newRow("--port 1= -> 2") << QStringList{"--port", "1="} << 2 << "\"1=\"|" + usage;
        QTest::newRow("same N twice -> 2, the first one named")
            << QStringList{"--port", "5=/dev/a", "--port", "5=/dev/b"} << 2
            << "\"5=/dev/b\"|Com 5 is already given as \"5=/dev/a\", and a port opens one device|" + usage;
        QTest::newRow("--demo with --port 1 -> 2")
            << QStringList{"--demo", "--port", "1=/dev/a"} << 2 << "\"1=/dev/a\"|demo";
        QTest::newRow("--port without a value -> 2") << QStringList{"--port"} << 2 << "--port";
        QTest::newRow("unknown option -> 2") << QStringList{"--colour"} << 2 << "colour";
        QTest::newRow("stray argument -> 2") << QStringList{"/dev/ttyUSB0"} << 2 << "/dev/ttyUSB0";
        // An option that takes one value, given again, would leave one of them unused.
        QTest::newRow("--record twice -> 2")
            << QStringList{"--record", "a.csv", "--record=b.csv"} << 2 << "--record: given twice; expected --record FILE once";
        QTest::newRow("--capture three times -> 2, how often")
            << QStringList{"--capture", "a", "--capture", "b", "--capture", "c"} << 2
            << "--capture: given 3 times; expected --capture FILE once";
        QTest::newRow("--publish twice -> 2")
            << QStringList{"--publish", "mqtt://h/a", "--publish", "mqtt://h/b"} << 2
            << "--publish: given twice; expected --publish URL once";
        QTest::newRow("--publish-ca twice -> 2")
            << QStringList{"--publish", "mqtts://h/t", "--publish-ca", "a.pem", "--publish-ca", "b.pem"} << 2
            << "--publish-ca: given twice; expected --publish-ca FILE once";

        const QString url = QStringLiteral("expected mqtt://[USER@]HOST[:PORT]/TOPIC");
        const QString certificate = m_files.filePath(QStringLiteral("ca.pem"));
        const QString publicKey = m_files.filePath(QStringLiteral("key.pem"));
        QTest::newRow("--publish mqtt://host/topic -> port 1883")
            << QStringList{"--publish", "mqtt://broker.lab/lab/desk-3/readings"} << kRuns
            << "publish scheme=mqtt user= host=broker.lab port=1883 topic=lab/desk-3/readings ca=";
        QTest::newRow("--publish with user, port, escaped topic -> as written")
            << QStringList{"--publish=mqtt://desk3@10.0.0.5:1884/lab/desk%203"} << kRuns
            << "publish scheme=mqtt user=desk3 host=10.0.0.5 port=1884 topic=lab/desk 3 ca=";
        if (kHasTls) {
            QTest::newRow("--publish mqtts://[::1]/t --publish-ca FILE -> port 8883, the authority")
                << QStringList{"--publish", "mqtts://[::1]/t", "--publish-ca", certificate} << kRuns
                << "publish scheme=mqtts user= host=::1 port=8883 topic=t ca=" + certificate;
            QTest::newRow("--publish-ca unreadable -> 2")
                << QStringList{"--publish", "mqtts://h/t", "--publish-ca", "/nonexistent/ca.pem"} << 2
                << "--publish-ca|\"/nonexistent/ca.pem\"|cannot be read";
            const QString noCertificate = QStringLiteral("holds no certificate; expected a PEM file with -----BEGIN CERTIFICATE-----");
            QTest::newRow("--publish-ca /dev/null -> 2, no certificate")
                << QStringList{"--publish", "mqtts://h/t", "--publish-ca", "/dev/null"} << 2
                << "--publish-ca \"/dev/null\": " + noCertificate;
            QTest::newRow("--publish-ca of a PEM public key -> 2, no certificate")
                << QStringList{"--publish", "mqtts://h/t", "--publish-ca", publicKey} << 2 << noCertificate;
        } else {
            QTest::newRow("--publish mqtts:// without TLS -> 2")
                << QStringList{"--publish", "mqtts://h/t"} << 2 << "\"mqtts://h/t\"|no TLS|mqtt://";
        }
        QTest::newRow("--publish http://... -> 2") << QStringList{"--publish", "http://h/t"} << 2 << "\"http://h/t\"|" + url;
        QTest::newRow("--publish without a topic -> 2") << QStringList{"--publish", "mqtt://h/"} << 2 << "no TOPIC|" + url;
        QTest::newRow("--publish without a host -> 2") << QStringList{"--publish", "mqtt:///t"} << 2 << url;
        // What a topic may hold, and a password in --publish, are tst_publishing's table.
        QTest::newRow("URL with a password as a stray argument -> 2, the password as ***")
            << QStringList{"mqtt://u:secret@h/t"} << 2 << "unexpected argument \"mqtt://u:***@h/t\"";
        QTest::newRow("--publish-ca with mqtt:// -> 2")
            << QStringList{"--publish", "mqtt://h/t", "--publish-ca", certificate} << 2 << "mqtts://";
        QTest::newRow("--publish-ca alone -> 2") << QStringList{"--publish-ca", certificate} << 2 << "needs --publish";
    }

    void verdicts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, expected);

        const MonitorVerdict verdict =
            parseMonitorCommandLine(QStringList{QCoreApplication::applicationName()} + arguments);
        if (exitStatus == kRuns) {
            QVERIFY(verdict.run);
            QCOMPARE(summary(verdict.options), expected);
            return;
        }
        QVERIFY(!verdict.run);
        QCOMPARE(verdict.exitStatus, exitStatus);
        QCOMPARE(verdict.toStderr, exitStatus != 0);
        for (const QString &word : expected.split(u'|'))
            QVERIFY2(verdict.message.contains(word), qPrintable(verdict.message));
        if (exitStatus != 0) {
            // A usage error is one line that names the program.
            QCOMPARE(verdict.message.count(u'\n'), 1);
            QVERIFY(verdict.message.startsWith(QCoreApplication::applicationName() + u':'));
        }
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_command_line.moc"
