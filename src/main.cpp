#include "reception/reception_state.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ReceptionState reception;
    Form1 window(reception);
    window.show();
    return app.exec();
}
