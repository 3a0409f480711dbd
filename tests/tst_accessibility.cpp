// What a screen reader finds on the window: a name on every control it can
// reach, the chart's latest sample in words, and the port prompt read from
// its beginning.
#include "chart/grap_chart.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

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

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void everyFocusableControlHasAName();
    void chartDescribesTheLatestSample_data();
    void chartDescribesTheLatestSample();
    void portPromptShowsItsBeginning();
};

void AccessibilityTest::everyFocusableControlHasAName()
{
    ReceptionState reception;
    Form1 form(reception);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QStringList unnamed;
    collectUnnamed(QAccessible::queryAccessibleInterface(&form), unnamed);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
}

void AccessibilityTest::chartDescribesTheLatestSample_data()
{
    // What the device sent before each tick, oldest first.
    QTest::addColumn<QList<QByteArray>>("ticks");
    QTest::addColumn<QString>("description");

    QTest::newRow("512,300,1023 -> the three values and the time")
        << QList<QByteArray>{"512,300,1023\r\n"} << QStringLiteral("Датчик A 512, Датчик B 300, Датчик C 1023, 14:03:07");
    QTest::newRow("silent device -> zeros, the time of the newer tick")
        << QList<QByteArray>{"512,300,1023\r\n", ""} << QStringLiteral("Датчик A 0, Датчик B 0, Датчик C 0, 14:03:08");
    QTest::newRow("overflow in B -> the chart did not move, nor does its description")
        << QList<QByteArray>{"-7,1,2\r\n", "9,40000,1\r\n"} << QStringLiteral("Датчик A 0, Датчик B 0, Датчик C 0, 14:03:07");
}

void AccessibilityTest::chartDescribesTheLatestSample()
{
    QFETCH(QList<QByteArray>, ticks);
    QFETCH(QString, description);

    PtyPair device;
    ReceptionState reception;
    Form1 form(reception);
    auto &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    comm.setDeviceMap({{QStringLiteral("1"), device.slavePath()}});
    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    QList<QTime> times{QTime(14, 3, 7), QTime(14, 3, 8)};
    form.setClock([&times] { return QDateTime(QDate(2026, 12, 6), times.takeFirst()); });
    QTest::mouseClick(form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl")), Qt::LeftButton);

    for (const QByteArray &text : ticks) {
        QVERIFY(device.send(text));
        QTRY_COMPARE(comm.InBufferCount(), text.size());
        form.Timer1_Timer();
    }
    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(form.findChild<GrapChart *>(QStringLiteral("Grap_Chart")));
    QCOMPARE(chart->text(QAccessible::Description), description);
}

void AccessibilityTest::portPromptShowsItsBeginning()
{
    ReceptionState reception;
    Form1 form(reception);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QLineEdit *edit = form.findChild<QComboBox *>(QStringLiteral("Com_select"))->lineEdit();
    QCOMPARE(edit->text(), QStringLiteral("Выберите COM порт"));
    // The edit field scrolls to keep its cursor in sight: at 0 the first letter shows.
    QCOMPARE(edit->cursorPosition(), 0);
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
