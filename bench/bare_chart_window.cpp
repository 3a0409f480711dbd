// A typical Qt plotting program's cost: a bare Qt window holding one
// Qt Charts view of three 20-point lines on a fixed 0..1024 axis, nothing
// else. bench_start starts it and the monitor alternately.
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto *chart = new QChart;
    auto *x = new QValueAxis;
    auto *y = new QValueAxis;
    x->setRange(0, 19);
    y->setRange(0, 1024);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (int line = 0; line < 3; ++line) {
        auto *series = new QLineSeries;
        for (int point = 0; point < 20; ++point)
            series->append(point, (point * 37 + line * 300) % 1024);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    QChartView view(chart);
    view.setFixedSize(916, 546);
    view.show();
    return app.exec();
}
