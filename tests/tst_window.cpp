// The window as a user meets it at start: its controls, their places and
// order, the start-up state, and the ways out.
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

template <typename T = QWidget>
T *control(const Form1 &form, const QString &name)
{
    return form.findChild<T *>(name);
}

QRadioButton *speed(const Form1 &form, int index)
{
    return control<QRadioButton>(form, QStringLiteral("Spd_baud(%1)").arg(index));
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsClosedWithPortPromptInAFixedCentredWindow();
    void controlsStandWhereTheLayoutPutsThemInTheirFonts_data();
    void controlsStandWhereTheLayoutPutsThemInTheirFonts();
    void tabRunsChartExitButtonPortSpeedsThenBoxes();
    void clickingASpeedTurnsTheOthersOff();
    void typedPortTextLeavesNoEntryChosen();
    void waysOutEndTheProgram_data();
    void waysOutEndTheProgram();
};

void WindowTest::startsClosedWithPortPromptInAFixedCentredWindow()
{
    ReceptionState reception;
    Form1 form(reception);
    QCOMPARE(form.windowTitle(), QStringLiteral("Zulpex '2009"));
    auto *ports = control<QComboBox>(form, QStringLiteral("Com_select"));
    QCOMPARE(ports->count(), 9);
    QCOMPARE(ports->itemText(8), QStringLiteral("Com 9"));
    QCOMPARE(ports->currentIndex(), -1);
    QCOMPARE(ports->currentText(), QStringLiteral("Выберите COM порт"));
    QVERIFY(speed(form, 0)->isChecked());

    auto *timer = form.findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer && !timer->isActive());
    QCOMPARE(timer->interval(), 500);
    auto *comm = form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    QVERIFY(comm && !comm->PortOpen());

    QCOMPARE(form.size(), QSize(916, 546));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.geometry().center(), form.screen()->availableGeometry().center());
}

void WindowTest::controlsStandWhereTheLayoutPutsThemInTheirFonts_data()
{
    // Places in twips, from the top-left corner of the container; 15 twips a pixel.
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");

    auto row = [](const char *name, const char *container, int left, int top, int width, int height,
                  const char *caption) {
        QTest::newRow(name) << QString::fromUtf8(container) << QRect(left, top, width, height) << QString::fromUtf8(caption);
    };
    row("Grap_Chart", "Form1", 120, 120, 13455, 6615, "");
    row("Command1", "Form1", 12600, 6960, 975, 855, "EXIT");
    row("Frame1", "Form1", 120, 6840, 6255, 1215, "Параметры COM порта");
    row("Key_Op_Cl", "Frame1", 120, 720, 1935, 375, "Открыть порт");
    row("Com_select", "Frame1", 120, 240, 1935, 315, "");
    row("Spd_baud(0)", "Frame1", 2400, 240, 855, 375, "2400");
    row("Spd_baud(1)", "Frame1", 2400, 600, 855, 375, "4800");
    row("Spd_baud(2)", "Frame1", 3360, 240, 855, 375, "9600");
    row("Spd_baud(3)", "Frame1", 3360, 600, 855, 375, "14400");
    row("Spd_baud(4)", "Frame1", 4320, 240, 855, 375, "19200");
    row("Spd_baud(5)", "Frame1", 4320, 600, 855, 375, "38400");
    row("Spd_baud(6)", "Frame1", 5280, 240, 855, 375, "57600");
    row("Spd_baud(7)", "Frame1", 5280, 600, 855, 375, "115200");
    row("Resive", "Form1", 7800, 6840, 4575, 285, "");
    row("Text1(0)", "Form1", 7800, 7560, 855, 285, "");
    row("Text1(1)", "Form1", 9720, 7560, 855, 285, "");
    row("Text1(2)", "Form1", 11520, 7560, 855, 285, "");
    row("Label1(0)", "Form1", 7440, 7560, 375, 255, "A :");
    row("Label1(1)", "Form1", 9360, 7560, 375, 255, "B :");
    row("Label1(2)", "Form1", 11160, 7560, 375, 255, "C :");
    row("Label1(3)", "Form1", 6480, 6840, 1335, 255, "Port Resive:");
}

// Every control enabled, the text boxes empty and open to typing.
void WindowTest::controlsStandWhereTheLayoutPutsThemInTheirFonts()
{
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);

    ReceptionState reception;
    Form1 form(reception);
    QWidget *widget = control(form, QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QVERIFY(widget->isEnabled() && !widget->property("readOnly").toBool());

    const bool frame = qobject_cast<QGroupBox *>(widget);
    QCOMPARE(widget->property(frame ? "title" : "text").toString(), caption);
    // A caption cut off by its box is a caption the user cannot read.
    // (A push button's size hint has a minimum width of its own: there the text counts.)
    const int needed = qobject_cast<QPushButton *>(widget) ? widget->fontMetrics().horizontalAdvance(caption)
                                                           : widget->sizeHint().width();
    if (!caption.isEmpty() && !frame)
        QVERIFY2(needed <= widget->width(), qPrintable(QStringLiteral("needs %1 pixels").arg(needed)));

    // The labels in the bold label font, the rest in the dialog font; whatever
    // family stands in must draw the frame's Cyrillic caption.
    const bool label = qobject_cast<QLabel *>(widget);
    const QFont font = widget->font();
    QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(font.pointSizeF(), label ? 9.75 : 8.25);
    QCOMPARE(font.bold(), label);
    QVERIFY(QFontMetrics(font).inFont(QChar(0x0416)));
}

void WindowTest::tabRunsChartExitButtonPortSpeedsThenBoxes()
{
    ReceptionState reception;
    Form1 form(reception);
    QStringList expected{"Grap_Chart", "Command1", "Key_Op_Cl", "Com_select"};
    for (int k = 0; k < 8; ++k)
        expected << QStringLiteral("Spd_baud(%1)").arg(k);
    expected << "Resive" << "Text1(0)" << "Text1(1)" << "Text1(2)";

    // Walk the focus chain once round and keep the controls that take Tab;
    // the frame and the labels must not be among them.
    QStringList walked;
    QWidget *first = control(form, expected.first());
    QWidget *widget = first;
    do {
        if (!widget->objectName().isEmpty() && (widget->focusPolicy() & Qt::TabFocus))
            walked << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != first);
    QCOMPARE(walked, expected);
}

void WindowTest::clickingASpeedTurnsTheOthersOff()
{
    ReceptionState reception;
    Form1 form(reception);
    form.show();
    for (int chosen = 7; chosen >= 0; --chosen) {
        QTest::mouseClick(speed(form, chosen), Qt::LeftButton);
        for (int k = 0; k < 8; ++k)
            QCOMPARE(speed(form, k)->isChecked(), k == chosen);
    }
}

void WindowTest::typedPortTextLeavesNoEntryChosen()
{
    ReceptionState reception;
    Form1 form(reception);
    auto *ports = control<QComboBox>(form, QStringLiteral("Com_select"));
    ports->setCurrentIndex(2);
    ports->lineEdit()->end(false);

    QTest::keyClicks(ports->lineEdit(), QStringLiteral("7"));
    QCOMPARE(ports->currentIndex(), -1);
    QCOMPARE(ports->currentText(), QStringLiteral("Com 37"));
    QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
    QCOMPARE(ports->count(), 9);
    QCOMPARE(ports->currentIndex(), -1);
}

void WindowTest::waysOutEndTheProgram_data()
{
    QTest::addColumn<bool>("viaExitButton");
    QTest::newRow("EXIT -> window closed, program ends") << true;
    QTest::newRow("close box -> window closed, program ends") << false;
}

void WindowTest::waysOutEndTheProgram()
{
    QFETCH(bool, viaExitButton);
    ReceptionState reception;
    Form1 form(reception);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // The program ends when its event loop does; a stuck window fails after 5 s.
    QTimer::singleShot(0, &form, [&] {
        if (viaExitButton)
            QTest::mouseClick(control<QAbstractButton>(form, QStringLiteral("Command1")), Qt::LeftButton);
        else
            form.windowHandle()->close(); // what the close box asks of the window system
    });
    QTimer::singleShot(5000, &form, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
