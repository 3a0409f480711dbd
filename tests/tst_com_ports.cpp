// Real COM ports on Windows, opened with the window's button: under Wine,
// tools/windows/with-com1-pty.py leads COM1 to a pseudo-terminal, and a port
// with nothing behind it gives the usual box. (Wine 8 does not deliver
// incoming bytes to Qt's Windows serial backend, so reception through a COM
// port is not checked here; tst_demo checks the reception path.)
#include "reception/reception_state.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>

namespace {

const QString kOpenCaption = QStringLiteral("Открыть порт");
const QString kCloseCaption = QStringLiteral("Закрыть порт");

struct Window {
    ReceptionState reception;
    Form1 form{reception};
    QAbstractButton &button = *form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"));

    Window() { form.show(); }
    void openPort(int port)
    {
        form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(port - 1);
        QTest::mouseClick(&button, Qt::LeftButton);
    }
    static QMessageBox *shownBox() { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }
};

} // namespace

class ComPortsTest : public QObject {
    Q_OBJECT

private slots:
    void com1OpensAndClosesWithTheButton()
    {
        if (qEnvironmentVariableIsEmpty("SENSOR_MONITOR_WINE_COM1"))
            QSKIP("COM1 is not led to a device here; under Wine, tools/windows/with-com1-pty.py does it");
        Window window;
        window.openPort(1);
        QCOMPARE(window.button.text(), kCloseCaption);
        QVERIFY2(!Window::shownBox(), qPrintable(Window::shownBox() ? Window::shownBox()->informativeText() : QString()));
        QTest::mouseClick(&window.button, Qt::LeftButton);
        QCOMPARE(window.button.text(), kOpenCaption);
    }

    void portWithNothingBehindGivesTheInvalidPortBox()
    {
        Window window;
        window.openPort(9);
        QTRY_VERIFY(Window::shownBox());
        QMessageBox &box = *Window::shownBox();
        QCOMPARE(box.windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(box.text(), QStringLiteral("Невозможно Открыть Com порт 9"));
        QVERIFY2(box.informativeText().contains(QStringLiteral("COM9")), qPrintable(box.informativeText()));
        QCOMPARE(window.button.text(), kOpenCaption);
        box.button(QMessageBox::Ok)->click();
    }
};

QTEST_MAIN(ComPortsTest)
#include "tst_com_ports.moc"
