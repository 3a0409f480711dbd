// Renders the monitor's window, or one of the message boxes a user meets
// most, into the PNG named on the command line, as the user would see it:
//
//   window-screenshot OUTPUT.png               the window after 21 seconds of
//                                              the demo device
//   window-screenshot --box port-busy OUTPUT.png     Com 1 held by another copy
//   window-screenshot --box port-missing OUTPUT.png  Com 2 with no device behind it
//   window-screenshot --box device-lost OUTPUT.png   the open demo device gone
//
// Every picture comes from the window's own code: ports chosen in its list,
// opened with its button, boxes raised by what really happened on the line.
// A box whose first line is not the one its picture stands for fails the run
// rather than saving a picture that tells something else.
// Run by tools/screenshot.sh and tools/windows/screenshot.sh.
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "sim/demo_device.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int kTicksToShow = 21;
constexpr int kBoxWaitMs = 10000;
constexpr int kBoxPollMs = 50;
// Long enough for a box to be laid out and painted once.
constexpr int kSettleMs = 300;

// The monitor's window, worked as a user works it.
struct Monitor {
    ReceptionState reception;
    Form1 form{reception};

    MSComm &comm() { return *form.findChild<MSComm *>(QStringLiteral("MSComm1")); }
    void open(int port)
    {
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(port - 1);
        form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();
    }
};

// On a real screen the picture is taken from it, as the user sees the window
// (under Wine a rendering of the widgets showed the chart a tick late);
// offscreen there is no screen but the rendering.
QPixmap pictureOf(QWidget &widget)
{
    return QGuiApplication::platformName() == u"offscreen" ? widget.grab()
                                                           : widget.screen()->grabWindow(widget.winId());
}

int fail(const char *what)
{
    std::fprintf(stderr, "window-screenshot: %s\n", what);
    return 1;
}

int windowPicture(const QString &output)
{
    DemoDevice demo;
    if (!demo.isValid())
        return fail(qPrintable(QStringLiteral("cannot make the demo device: %1").arg(demo.errorString())));
    Monitor monitor;
    monitor.form.assignPort(1, demo.path(), demo.description(), demo.inProcessLine());
    monitor.form.show();
    monitor.open(1);
    // Half a second after the opening, so that each second holds one record.
    QTimer::singleShot(500, &demo, &DemoDevice::start);

    bool saved = false;
    // Half a second past the last tick, so that its repaint is in.
    QTimer::singleShot(kTicksToShow * 1000 + 500, &monitor.form, [&] {
        saved = pictureOf(monitor.form).save(output);
        QApplication::quit();
    });
    QApplication::exec();
    return saved ? 0 : fail("cannot save the picture");
}

// Waits for the window's «Ошибка» box and saves it once it has painted; the
// box's first line must begin with `expected`.
bool saveShownBox(const QString &expected, const QString &output)
{
    bool saved = false;
    int waitedMs = 0;
    QTimer poll;
    poll.setInterval(kBoxPollMs);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        waitedMs += kBoxPollMs;
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (waitedMs >= kBoxWaitMs) {
                std::fputs("window-screenshot: no box appeared\n", stderr);
                QApplication::quit();
            }
            return;
        }
        poll.stop();
        std::printf("%s\n%s\n", qPrintable(box->text()), qPrintable(box->informativeText()));
        if (!box->text().startsWith(expected)) {
            std::fprintf(stderr, "window-screenshot: expected a box beginning \"%s\"\n", qPrintable(expected));
            QApplication::quit();
            return;
        }
        QTimer::singleShot(kSettleMs, box, [&saved, box, &output] {
            saved = pictureOf(*box).save(output);
            QApplication::quit();
        });
    });
    poll.start();
    QApplication::exec();
    return saved;
}

// The holder of the busy port: this tool's window opened on `path` as a
// second copy of the monitor would open it. It says "open" once the port is
// open and closes it, as EXIT does, when its standard input ends.
int holdPort(const QString &path)
{
    Monitor monitor;
    monitor.form.assignPort(1, path);
    monitor.open(1);
    if (!monitor.comm().PortOpen())
        return fail("the holder could not open the port");
    std::puts("open");
    std::fflush(stdout);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &monitor.form, [&monitor] {
        monitor.form.Form_Unload();
        QApplication::quit();
    });
    return QApplication::exec();
}

// The box names the holder by the name of its executable, so the holder runs
// under the name a second copy of the monitor has: a copy of this tool named
// sensor-monitor, in a folder of its own beside it.
QString holderProgram()
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/port-holder");
    const QString program = folder + QStringLiteral("/sensor-monitor");
    QFile::remove(program);
    if (!QDir().mkpath(folder) || !QFile::copy(QCoreApplication::applicationFilePath(), program))
        return {};
    return program;
}

// «Повторная попытка Открыть Com порт»: the demo device's line, already held
// by another copy of the monitor, chosen as Com 1.
int portBusyPicture(const QString &output)
{
    DemoDevice demo;
    if (!demo.isValid())
        return fail(qPrintable(QStringLiteral("cannot make the demo device: %1").arg(demo.errorString())));
    const QString program = holderProgram();
    if (program.isEmpty())
        return fail("cannot copy this tool for the holder");
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(program, {QStringLiteral("--hold"), demo.path()});
    if (!holder.waitForReadyRead(kBoxWaitMs) || holder.readLine().trimmed() != "open")
        return fail("the holder did not open the port");
    Monitor monitor;
    monitor.form.assignPort(1, demo.path(), demo.description());
    monitor.form.show();
    monitor.open(1);
    const bool saved = saveShownBox(QStringLiteral("Повторная попытка Открыть Com порт"), output);
    holder.closeWriteChannel();
    holder.waitForFinished(kBoxWaitMs);
    return saved ? 0 : fail("cannot save the picture");
}

// «Невозможно Открыть Com порт 2»: the demo device is the only one there is,
// and Com 2 is chosen.
int portMissingPicture(const QString &output)
{
    DemoDevice demo;
    if (!demo.isValid())
        return fail(qPrintable(QStringLiteral("cannot make the demo device: %1").arg(demo.errorString())));
    Monitor monitor;
    monitor.comm().setDeviceMap({{QStringLiteral("1"), demo.path()}});
    monitor.form.show();
    monitor.open(2);
    return saveShownBox(QStringLiteral("Невозможно Открыть Com порт 2"), output) ? 0 : fail("cannot save the picture");
}

// «Связь с Com 1 потеряна»: the demo device, open and sending, goes away as an
// unplugged adapter does, its line hung up.
int deviceLostPicture(const QString &output)
{
    std::optional<DemoDevice> demo(std::in_place);
    if (!demo->isValid())
        return fail(qPrintable(QStringLiteral("cannot make the demo device: %1").arg(demo->errorString())));
    Monitor monitor;
    monitor.form.assignPort(1, demo->path(), demo->description(), demo->inProcessLine());
    monitor.form.show();
    monitor.open(1);
    demo->start();
    QTimer::singleShot(2500, &monitor.form, [&demo] { demo.reset(); });
    return saveShownBox(QStringLiteral("Связь с Com 1 потеряна"), output) ? 0 : fail("cannot save the picture");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() == 1)
        return windowPicture(arguments[0]);
    if (arguments.size() == 2 && arguments[0] == u"--hold")
        return holdPort(arguments[1]);
    if (arguments.size() == 3 && arguments[0] == u"--box") {
        if (arguments[1] == u"port-busy")
            return portBusyPicture(arguments[2]);
        if (arguments[1] == u"port-missing")
            return portMissingPicture(arguments[2]);
        if (arguments[1] == u"device-lost")
            return deviceLostPicture(arguments[2]);
    }
    std::fputs("usage: window-screenshot OUTPUT.png | --box port-busy|port-missing|device-lost OUTPUT.png\n", stderr);
    return 2;
}
