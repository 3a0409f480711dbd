// Form1's controls as they stand when the window is created: names, places,
// captions, fonts and tab order.
#include "window/form1.h"

#include "chart/grap_chart.h"
#include "serial/mscomm.h"
#include "window/port_combo_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

namespace {

// Places are given in twips; at 1440 twips an inch and 96 dpi a
// device-independent pixel is 15 twips, and Qt scales pixels for the screen.
constexpr int kTwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

template <typename Control>
Control *place(Control *control, const QString &name, const QRect &geometry)
{
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// The classic dialog font, where the system has it. Elsewhere Liberation Sans
// (Arial's metrics, close to its own) stands in, so that the captions fit the
// places laid out for it; failing that, any sans font that shows Cyrillic.
QFont dialogFont(qreal pointSize)
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

QFont labelFont()
{
    QFont font = dialogFont(9.75);
    font.setBold(true);
    return font;
}

// The gap between a radio button's indicator and its caption, narrowed so that
// "115200" fits its 57 pixels. A style sheet says the same at the cost of Qt's
// style-sheet engine and its parser: a megabyte more at start.
class NarrowRadioSpacing : public QProxyStyle {
public:
    explicit NarrowRadioSpacing(QObject *owner)
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
    {
        setParent(owner);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        return metric == PM_RadioButtonLabelSpacing ? 2 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

struct SpeedPlace {
    const char *caption;
    int left;
    int top;
};

// Index k is the k-th speed, upper row 2400, 9600, 19200, 57600.
constexpr SpeedPlace kSpeedPlaces[Form1::kSpeedCount] = {
    {"2400", 2400, 240},  {"4800", 2400, 600},  {"9600", 3360, 240},  {"14400", 3360, 600},
    {"19200", 4320, 240}, {"38400", 4320, 600}, {"57600", 5280, 240}, {"115200", 5280, 600},
};

struct LabelPlace {
    const char *caption;
    int left;
    int top;
    int width;
};

constexpr LabelPlace kLabelPlaces[4] = {
    {"A :", 7440, 7560, 375}, {"B :", 9360, 7560, 375}, {"C :", 11160, 7560, 375}, {"Port Resive:", 6480, 6840, 1335}};

constexpr int kValueBoxLefts[3] = {7800, 9720, 11520};

// What a screen reader calls the controls whose captions do not say it, or say it in English.
constexpr const char *kValueBoxNames[3] = {"Значение датчика A", "Значение датчика B", "Значение датчика C"};

} // namespace

void Form1::createControls()
{
    setWindowTitle(QStringLiteral("Zulpex '2009"));
    setFont(dialogFont(8.25));
    setFixedSize(twips(0, 0, 13740, 8190).size());

    m_chart = place(new GrapChart(this), QStringLiteral("Grap_Chart"), twips(120, 120, 13455, 6615));
    m_chart->setAccessibleName(QStringLiteral("График датчиков A, B и C"));

    m_exit = place(new QPushButton(QStringLiteral("EXIT"), this), QStringLiteral("Command1"), twips(12600, 6960, 975, 855));
    m_exit->setAccessibleName(QStringLiteral("Выход"));

    m_frame = place(new QGroupBox(QStringLiteral("Параметры COM порта"), this), QStringLiteral("Frame1"),
                    twips(120, 6840, 6255, 1215));
    m_openClose = place(new QPushButton(m_frame), QStringLiteral("Key_Op_Cl"), twips(120, 720, 1935, 375));
    m_portList = place(new PortComboBox(m_frame), QStringLiteral("Com_select"), twips(120, 240, 1935, 315));
    m_portList->setAccessibleName(QStringLiteral("COM порт"));
    m_portList->lineEdit()->setAccessibleName(m_portList->accessibleName());
    m_portList->view()->setAccessibleName(QStringLiteral("Список COM портов"));

    m_speedGroup = new QButtonGroup(this);
    // Made after the frame, so that it outlives the buttons that use it.
    auto *speedStyle = new NarrowRadioSpacing(this);
    for (int k = 0; k < kSpeedCount; ++k) {
        const SpeedPlace &speed = kSpeedPlaces[k];
        m_speeds[k] = place(new QRadioButton(QLatin1String(speed.caption), m_frame), indexed("Spd_baud", k),
                            twips(speed.left, speed.top, 855, 375));
        m_speeds[k]->setAccessibleName(QStringLiteral("Скорость %1 бит/с").arg(QLatin1String(speed.caption)));
        m_speeds[k]->setStyle(speedStyle);
        m_speedGroup->addButton(m_speeds[k], k);
    }
    m_speeds[0]->setChecked(true);

    m_raw = place(new QLineEdit(this), QStringLiteral("Resive"), twips(7800, 6840, 4575, 285));
    m_raw->setAccessibleName(QStringLiteral("Принятый текст"));
    for (int k = 0; k < 3; ++k) {
        m_values[k] = place(new QLineEdit(this), indexed("Text1", k), twips(kValueBoxLefts[k], 7560, 855, 285));
        m_values[k]->setAccessibleName(QString::fromUtf8(kValueBoxNames[k]));
    }

    for (int k = 0; k < 4; ++k) {
        const LabelPlace &label = kLabelPlaces[k];
        m_labels[k] = place(new QLabel(QString::fromUtf8(label.caption), this), indexed("Label1", k),
                            twips(label.left, label.top, label.width, 255));
        m_labels[k]->setFont(labelFont());
        m_labels[k]->setAutoFillBackground(true);
    }

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(500);

    m_comm = new MSComm(this);
    m_comm->setObjectName(QStringLiteral("MSComm1"));

    chainTabOrder();
}

void Form1::chainTabOrder()
{
    QList<QWidget *> order{m_chart, m_exit, m_openClose, m_portList};
    for (QRadioButton *speed : m_speeds)
        order.append(speed);
    order.append(m_raw);
    for (QLineEdit *value : m_values)
        order.append(value);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    m_frame->setFocusPolicy(Qt::NoFocus);
    for (QLabel *label : m_labels)
        label->setFocusPolicy(Qt::NoFocus);
}

void Form1::centerOnScreen()
{
    const QScreen *target = screen();
    if (target)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), target->availableGeometry()));
}
