#pragma once

#include "chart/chart_grid.h"

#include <QChartView>
#include <QObject>

class QCategoryAxis;
class QValueAxis;

// The vertical value scale of Grap_Chart, as a child object named
// "ValueScale" so that tools can reach it through the meta-object system.
class ValueScale : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Auto READ isAuto WRITE setAuto)
    Q_PROPERTY(double Minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(double Maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int MajorDivision READ majorDivision WRITE setMajorDivision)
public:
    ValueScale(ChartGrid &grid, QObject *parent);
    ...
};

// The chart widget: owns the grid and draws it with Qt Charts, one line per
// column, row labels along the bottom, a legend of column labels. However many
// cells change in one pass of the event loop, it redraws once.
class GrapChart : public QChartView {
    Q_OBJECT
    Q_PROPERTY(int ColumnCount READ columnCount WRITE setColumnCount)
    Q_PROPERTY(int RowCount READ rowCount WRITE setRowCount)
    Q_PROPERTY(int Row READ row WRITE setRow)
    Q_PROPERTY(int Column READ column WRITE setColumn)
    Q_PROPERTY(QString Data READ data WRITE setData)
    Q_PROPERTY(QString RowLabel READ rowLabel WRITE setRowLabel)
    Q_PROPERTY(QString ColumnLabel READ columnLabel WRITE setColumnLabel)
    Q_PROPERTY(int ChartType READ chartType WRITE setChartType)
    Q_PROPERTY(bool ShowLegend READ showLegend WRITE setShowLegend)
public:
    explicit GrapChart(QWidget *parent = nullptr);

    ChartGrid &grid() { return m_grid; }
    const ChartGrid &grid() const { return m_grid; }
    ValueScale *valueScale() const { return m_valueScale; }

    // How many times the view has redrawn from the grid; for tests and
    // benchmarks of the coalescing.
    int refreshCount() const { return m_refreshCount; }

    // Property accessors forwarding to the grid (int where the meta-object
    // system wants it; values outside 16 bits raise the overflow error).
    ...

public slots:
    // Redraws now from the grid; normally called once, queued, after changes.
    void refresh();

private:
    ...
};
