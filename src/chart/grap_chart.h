#pragma once

#include "chart/chart_grid.h"
#include "chart/chart_layout.h"

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QWidget>

#include <optional>
#include <vector>

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

// The chart widget: owns the grid and paints it, one line per column over a
// fixed or fitted value axis, row labels along the bottom, a legend of column
// labels on the right. Where things stand, and the pictures of its texts, are
// made again only when the size, the font, the pixel ratio or the grid's
// shape changes (a row label's picture when the label first appears); a tick
// fills the background and the grid, places the pictures and draws the lines.
// However many cells change before control returns to the event loop, the
// widget paints once.
class GrapChart : public QWidget {
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

    // Where the parts of the chart stand now, for tests that check the
    // picture against the grid.
    const ChartLayout &layout();
    // How many times the widget has painted, and laid itself out; for tests
    // and benchmarks of what a tick costs.
    int paintCount() const { return m_paintCount; }
    int layoutCount() const { return m_layoutCount; }
    // Whether a change has asked for a paint that has not run yet.
    bool repaintPending() const { return m_repaintAsked; }

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

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void gridChanged();
    enum class TextDirection { Across, Upwards };
    struct PlacedPicture {
        QPointF at;
        QPixmap picture;
    };

    void paintGrid(QPainter &painter) const;
    void paintLegendMarkers(QPainter &painter) const;
    void paintFixedTexts(QPainter &painter, double pixelRatio);
    void paintRowLabels(QPainter &painter, double pixelRatio);
    void paintSeries(QPainter &painter) const;
    QPixmap textPicture(const QString &text, QSizeF size, double pixelRatio, Qt::Alignment alignment,
                        TextDirection direction = TextDirection::Across) const;

    ChartGrid m_grid;
    ValueScale *m_valueScale = nullptr;
    std::optional<ChartShape> m_shape;
    ChartLayout m_layout;
    std::vector<PlacedPicture> m_fixedTexts; // axis labels and legend texts
    double m_fixedTextsRatio = 0;            // 0 when the layout has changed since they were drawn
    QHash<QString, QPixmap> m_rowLabelPictures;
    bool m_repaintAsked = false;
    int m_paintCount = 0;
    int m_layoutCount = 0;
};
