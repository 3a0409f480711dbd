#pragma once

#include "chart/chart_grid.h"

#include <QChartView>
#include <QObject>

class QCategoryAxis;
class QLineSeries;
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

    bool isAuto() const;
    void setAuto(bool automatic);
    double minimum() const;
    void setMinimum(double minimum);
    double maximum() const;
    void setMaximum(double maximum);
    int majorDivision() const;
    void setMajorDivision(int divisions);

private:
    ChartGrid &m_grid;
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
    int columnCount() const;
    void setColumnCount(int count);
    int rowCount() const;
    void setRowCount(int count);
    int row() const;
    void setRow(int row);
    int column() const;
    void setColumn(int column);
    QString data() const;
    void setData(const QString &text);
    QString rowLabel() const;
    void setRowLabel(const QString &label);
    QString columnLabel() const;
    void setColumnLabel(const QString &label);
    int chartType() const;
    void setChartType(int type);
    bool showLegend() const;
    void setShowLegend(bool show);

    // The axes, for checking what is drawn.
    QCategoryAxis *rowAxis() const { return m_rowAxis; }
    QValueAxis *valueAxis() const { return m_valueAxis; }

    // A row label as the axis shows it: the axis's own text for that
    // position without the invisible marks that keep it unique.
    static QString visibleLabel(const QString &axisLabel);

public slots:
    // Redraws now from the grid; normally called once, queued, after changes.
    void refresh();

private slots:
    void refreshIfPending();

private:
    void scheduleRefresh();
    void matchSeriesToColumns();
    void refreshSeries();
    void refreshValueAxis();
    void refreshRowAxis();

    ChartGrid m_grid;
    ValueScale *m_valueScale = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    QCategoryAxis *m_rowAxis = nullptr;
    QList<QLineSeries *> m_series;
    bool m_refreshPending = false;
    int m_refreshCount = 0;
};
