#include "reception/reception_state.h"
#include "window/form1.h"
#include "window/group_box_frame_style.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>
#include <QTest>

namespace {

QImage windowImage()
{
    ReceptionState reception;
    Form1 window(reception);
    return window.grab().toImage();
}

bool imagePluginLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

} // namespace

class TestStyle : public QObject {
    Q_OBJECT

private slots:
    // Runs first, in a process that has drawn nothing yet.
    void windowIsDrawnWithoutImagePluginsAndLooksAsUnderFusion()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        GroupBoxFrameStyle::installOverFusion();
        QVERIFY(dynamic_cast<GroupBoxFrameStyle *>(QApplication::style()) != nullptr);
        const QImage ours = windowImage();
        QVERIFY(!imagePluginLoaded());

        QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
        const QImage fusion = windowImage();

        QCOMPARE(ours, fusion);
    }

    void otherStylesAreLeftAlone()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("windows")));
        GroupBoxFrameStyle::installOverFusion();
        QVERIFY(dynamic_cast<GroupBoxFrameStyle *>(QApplication::style()) == nullptr);
    }
};

QTEST_MAIN(TestStyle)
#include "tst_style.moc"
