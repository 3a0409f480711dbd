// What dropping down the port list costs the window's thread: the time of
// one refresh of the nine entries' tooltips, which names the device behind
// each port from the host's list of serial devices.
//
//   cmake --build build/release --target bench_port_list && QT_QPA_PLATFORM=offscreen build/release/bench/bench_port_list
#include "reception/reception_state.h"
#include "window/form1.h"
#include "window/port_combo_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRefreshes = 30;

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ReceptionState reception;
    Form1 form(reception);
    auto *list = form.findChild<PortComboBox *>(QStringLiteral("Com_select"));
    if (!list) {
        std::fprintf(stderr, "no port list in the window\n");
        return 1;
    }
    emit list->aboutToShowPopup(); // outside the figures: the first one also loads libraries
    std::vector<double> milliseconds;
    for (int i = 0; i < kRefreshes; ++i) {
        QElapsedTimer timer;
        timer.start();
        emit list->aboutToShowPopup();
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("host serial devices: %lld\n", static_cast<long long>(QSerialPortInfo::availablePorts().size()));
    std::printf("one tooltip refresh (%d runs): median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", kRefreshes,
                milliseconds[milliseconds.size() / 2], milliseconds.front(), milliseconds.back());
    return 0;
}
