// The window as a user and a screen reader meet it at start: its controls,
// their places, order and names, the start-up state, and the ways out.
#include "monitor.h"
#include "app/termination_signals.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QWindow>

#include <csignal>
#include <optional>

namespace {

// Every focusable element under `node` whose accessible name is empty, by class and object name.
void collectUnnamed(QAccessibleInterface *node, QStringList &unnamed)
{
    if (node->state().focusable && node->text(QAccessible::Name).isEmpty()) {
        const QObject *object = node->object();
        unnamed << (object ? QLatin1String(object->metaObject()->className()) + QLatin1Char(' ') + object->objectName()
                           : QStringLiteral("an item of role %1").arg(node->role()));
    }
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface *child = node->child(i))
            collectUnnamed(child, unnamed);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsClosedWithPortPromptInAFixedCentredWindow()
    {
        Monitor monitor;
        Form1 &form = monitor.form;
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Zulpex '2009"));
        QCOMPARE(monitor.ports.itemText(8), QStringLiteral("Com 9"));
        QCOMPARE(monitor.ports.currentIndex(), -1);
        QCOMPARE(monitor.ports.currentText(), QStringLiteral("Выберите COM порт"));
        // The edit field scrolls to keep its cursor in sight: at 0 the prompt's first letter shows.
        QCOMPARE(monitor.ports.lineEdit()->cursorPosition(), 0);
        // And its last letter too, clear of the arrow, in the fonts the package depends on.
        const QLineEdit *edit = monitor.ports.lineEdit();
        const int needed = edit->fontMetrics().horizontalAdvance(edit->text()) + 4; // the edit's own margins
        QVERIFY2(needed <= edit->width(), qPrintable(QStringLiteral("needs %1 of %2 pixels").arg(needed).arg(edit->width())));
        QVERIFY(monitor.find<QRadioButton>(QStringLiteral("Spd_baud(0)"))->isChecked());
        QVERIFY(monitor.looksClosed());
        QCOMPARE(monitor.timer.interval(), 500);

        QCOMPARE(form.size(), QSize(916, 546));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
        // Centred on the screen; the window system may shift a shown window by its frame's margin.
        const QPoint offCentre = form.geometry().center() - form.screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 4, qPrintable(QStringLiteral("%1 pixels off").arg(offCentre.manhattanLength())));
    }

    void controlsStandWhereTheLayoutPutsThemInTheirFonts_data()
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
    void controlsStandWhereTheLayoutPutsThemInTheirFonts()
    {
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);

        Monitor monitor;
        QWidget *widget = monitor.find(QString::fromUtf8(QTest::currentDataTag()));
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

    // A screen reader can name every control the focus reaches.
    void tabRunsChartExitButtonPortSpeedsThenBoxesAllNamed()
    {
        Monitor monitor;
        QStringList expected{"Grap_Chart", "Command1", "Key_Op_Cl", "Com_select"};
        for (int k = 0; k < 8; ++k)
            expected << QStringLiteral("Spd_baud(%1)").arg(k);
        expected << "Resive" << "Text1(0)" << "Text1(1)" << "Text1(2)";

        // Walk the focus chain once round and keep the controls that take Tab;
        // the frame and the labels must not be among them.
        QStringList walked;
        QWidget *first = monitor.find(expected.first());
        QWidget *widget = first;
        do {
            if (!widget->objectName().isEmpty() && (widget->focusPolicy() & Qt::TabFocus))
                walked << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != first);
        QCOMPARE(walked, expected);

        QVERIFY(QTest::qWaitForWindowExposed(&monitor.form));
        QStringList unnamed;
        collectUnnamed(QAccessible::queryAccessibleInterface(&monitor.form), unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void clickingASpeedTurnsTheOthersOff()
    {
        Monitor monitor;
        for (int chosen = 7; chosen >= 0; --chosen) {
            monitor.chooseSpeed(chosen);
            for (int k = 0; k < 8; ++k)
                QCOMPARE(monitor.find<QRadioButton>(QStringLiteral("Spd_baud(%1)").arg(k))->isChecked(), k == chosen);
        }
    }

    // The dropped-down list tells the device behind each port; typed text
    // chooses no entry.
    void portListNamesDevicesAndTypedTextChoosesNoEntry()
    {
        Monitor monitor;
        QComboBox &ports = monitor.ports;
        ports.showPopup();
        QCOMPARE(ports.itemData(0, Qt::ToolTipRole).toString(), monitor.device.slavePath());
        QCOMPARE(ports.itemData(4, Qt::ToolTipRole).toString(), QStringLiteral("Нет устройства для Com 5"));
        ports.hidePopup();

        ports.setCurrentIndex(2);
        ports.lineEdit()->end(false);

        QTest::keyClicks(ports.lineEdit(), QStringLiteral("7"));
        QCOMPARE(ports.currentIndex(), -1);
        QCOMPARE(ports.currentText(), QStringLiteral("Com 37"));
        QTest::keyClick(ports.lineEdit(), Qt::Key_Return);
        QCOMPARE(ports.count(), 9);
        QCOMPARE(ports.currentIndex(), -1);
    }

    void waysOutEndTheProgramAndFreeThePort_data()
    {
        QTest::addColumn<int>("way"); // a signal's number; 0: EXIT, -1: the close box
        QTest::addColumn<int>("ignoredAtStart"); // a signal ignored by the starter (nohup), raised first; 0: none
        QTest::newRow("EXIT -> port freed, program ends") << 0 << 0;
        QTest::newRow("close box -> port freed, program ends") << -1 << 0;
#ifdef Q_OS_UNIX
        QTest::newRow("SIGINT (Ctrl-C) -> port freed, program ends") << SIGINT << 0;
        QTest::newRow("SIGTERM (kill) -> port freed, program ends") << SIGTERM << 0;
        QTest::newRow("SIGHUP (terminal closed) -> port freed, program ends") << SIGHUP << 0;
        QTest::newRow("SIGHUP under nohup, then SIGTERM -> the hang-up stays ignored, SIGTERM ends it")
            << SIGTERM << SIGHUP;
#endif
    }

    void waysOutEndTheProgramAndFreeThePort()
    {
        QFETCH(int, way);
        QFETCH(int, ignoredAtStart);
        Monitor monitor;
        QVERIFY(QTest::qWaitForWindowExposed(&monitor.form));
        monitor.openPort(1);
        QVERIFY(monitor.looksOpen());
        if (ignoredAtStart != 0)
            ::signal(ignoredAtStart, SIG_IGN);
        const auto restoreDefault = qScopeGuard([&] {
            if (ignoredAtStart != 0)
                ::signal(ignoredAtStart, SIG_DFL);
        });
        std::optional<TerminationSignals> termination(std::in_place);
        connect(&*termination, &TerminationSignals::received, &monitor.form, &Form1::Command1_Click);
        QSignalSpy received(&*termination, &TerminationSignals::received);

        // The program ends when its event loop does; a stuck window fails after 5 s.
        QTimer::singleShot(0, &monitor.form, [&] {
            if (way == 0)
                QTest::mouseClick(monitor.find<QAbstractButton>(QStringLiteral("Command1")), Qt::LeftButton);
            else if (way < 0)
                monitor.form.windowHandle()->close(); // what the close box asks of the window system
            else
                QCOMPARE((ignoredAtStart != 0 ? ::raise(ignoredAtStart) : 0) + ::raise(way), 0);
        });
        QTimer::singleShot(5000, &monitor.form, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!monitor.form.isVisible());
        QVERIFY(!monitor.comm.PortOpen());
        // The next run can open the device.
        QSerialPort nextRun(monitor.device.slavePath());
        QVERIFY(nextRun.open(QIODevice::ReadOnly));
        if (way > 0)
            QCOMPARE(received.takeFirst().constFirst().toInt(), way);
        termination.reset();
#ifdef Q_OS_UNIX
        if (ignoredAtStart != 0) {
            struct sigaction after = {};
            QVERIFY(::sigaction(ignoredAtStart, nullptr, &after) == 0 && after.sa_handler == SIG_IGN);
        }
#endif
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
