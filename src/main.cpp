#include "app/termination_signals.h"
#include "reception/reception_state.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ReceptionState reception;
    Form1 window(reception);
    window.show();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, &Form1::Command1_Click);
    return app.exec();
}
