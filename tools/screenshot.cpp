// Renders the monitor's window into the PNG named on the command line, as a
// user sees it with --demo: Com 1 stands for the demo device, the port is
// opened with its button and the window's own timer takes twenty-one ticks
// (the first, before the device's first record, scrolls out).
// Run by tools/screenshot.sh and tools/windows/screenshot.sh.
#include "reception/reception_state.h"
#include "sim/demo_device.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kTicksToShow = 21;

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: window-screenshot OUTPUT.png\n", stderr);
        return 2;
    }
    DemoDevice demo;
    if (!demo.isValid()) {
        std::fprintf(stderr, "window-screenshot: cannot make the demo device: %s\n", qPrintable(demo.errorString()));
        return 1;
    }
    ReceptionState reception;
    Form1 form(reception);
    form.assignPort(1, demo.path(), demo.description(), demo.inProcessLine());
    form.show();
    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();
    // Half a second after the opening, so that each second holds one record.
    QTimer::singleShot(500, &demo, &DemoDevice::start);

    const QString output = QString::fromLocal8Bit(argv[1]);
    bool saved = false;
    // Half a second past the last tick, so that its redraw is in. On a real
    // screen the picture is taken from it, as the user sees the window (under
    // Wine a rendering of the widgets showed the chart a tick late); offscreen
    // there is no screen but the rendering.
    QTimer::singleShot(kTicksToShow * 1000 + 500, &form, [&] {
        const QPixmap picture = QGuiApplication::platformName() == u"offscreen"
            ? form.grab()
            : form.screen()->grabWindow(form.winId());
        saved = picture.save(output);
        QApplication::quit();
    });
    QApplication::exec();
    return saved ? 0 : 1;
}
