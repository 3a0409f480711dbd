// The floor the monitor is measured against: a bare Qt Widgets window with the
// monitor's controls (a group box with a port list, a button and eight radio
// buttons, four line edits, their labels, EXIT) and three 20-point lines on a
// fixed 0..1024 axis painted with QPainter; no logic, no port, no icon.
// bench_start starts it, the monitor and the bare Qt Charts window in turn.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace {

class PaintedChart : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        const QRectF plot = QRectF(rect()).adjusted(60, 20, -100, -70);
        painter.setPen(QColor(0xe0, 0xe0, 0xe0));
        for (int mark = 0; mark <= 10; ++mark) {
            const double y = plot.bottom() - plot.height() * mark / 10;
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            painter.drawText(QRectF(0, y - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(102.4 * mark));
        }
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor colours[]{Qt::red, Qt::green, Qt::blue};
        for (int line = 0; line < 3; ++line) {
            QPolygonF points;
            for (int point = 0; point < 20; ++point)
                points << QPointF(plot.left() + plot.width() * (point + 0.5) / 20,
                                  plot.bottom() - plot.height() * ((point * 37 + line * 300) % 1024) / 1024);
            painter.setPen(QPen(colours[line], 2));
            painter.drawPolyline(points);
        }
    }
};

template <typename Widget>
Widget *at(Widget *widget, int x, int y, int width, int height)
{
    widget->setGeometry(x, y, width, height);
    return widget;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(916, 546);
    at(new PaintedChart(&window), 8, 8, 897, 441);
    auto *group = at(new QGroupBox(QStringLiteral("Параметры COM порта"), &window), 8, 456, 417, 81);
    auto *ports = at(new QComboBox(group), 8, 16, 129, 21);
    ports->setEditable(true); // the monitor's shows a prompt in its edit area
    ports->addItem(QStringLiteral("Com 1"));
    at(new QPushButton(QStringLiteral("Открыть порт"), group), 8, 48, 129, 25);
    const char *speeds[]{"2400", "9600", "19200", "57600", "4800", "14400", "38400", "115200"};
    for (int k = 0; k < 8; ++k)
        at(new QRadioButton(QLatin1String(speeds[k]), group), 160 + 64 * (k % 4), 20 + 24 * (k / 4), 60, 17);
    at(new QLabel(QStringLiteral("Port Resive:"), &window), 432, 456, 80, 17);
    at(new QLineEdit(&window), 520, 456, 305, 19);
    const char *sensors[]{"A :", "B :", "C :"};
    for (int k = 0; k < 3; ++k) {
        at(new QLabel(QLatin1String(sensors[k]), &window), 496 + 124 * k, 504, 20, 17);
        at(new QLineEdit(&window), 520 + 124 * k, 504, 57, 19);
    }
    at(new QPushButton(QStringLiteral("EXIT"), &window), 840, 464, 65, 57);
    window.show();
    return app.exec();
}
