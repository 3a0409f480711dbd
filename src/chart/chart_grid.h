#pragma once

#include "runtime/int16.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The chart as the program sees it: a grid of numbers with labelled rows and
// columns and a 1-based cursor. Cells and labels are reached through the
// cursor (Row, Column, Data, RowLabel, ColumnLabel); the *At accessors read
// any cell directly, for the view and for tests.
//
// Errors: a cursor outside 1..count, a count below 1 or above the limits
// below, a Data text that is not a number, a chart type other than a line
// chart and a MajorDivision below 1 raise rt::InvalidPropertyValue (380).
// A Data text is one decimal number: optional blanks, an optional sign,
// digits with at most one '.', an optional exponent, optional blanks; the
// empty text, hexadecimal, "inf", "nan" and numbers beyond double range are
// not numbers. Minimum and Maximum must be finite. A failed write changes
// nothing and tells no listener.
//
// Growing a count keeps every cell and label and adds zero cells labelled
// "R<n>" / "C<n>"; shrinking drops the cells beyond the new count and pulls
// the cursor back inside.
class ChartGrid {
public:
    static constexpr rt::Int16 kLineChart2d = 3;
    static constexpr rt::Int16 kMaxColumns = 64;
    static constexpr rt::Int16 kMaxRows = 4096;

    // The state the chart holds before set-up: 4 series by 5 rows labelled
    // C1..C4 and R1..R5, with sample values.
    ChartGrid();

    rt::Int16 columnCount() const { return m_columnCount; }
    void setColumnCount(rt::Int16 count);
    rt::Int16 rowCount() const { return m_rowCount; }
    void setRowCount(rt::Int16 count);

    rt::Int16 row() const { return m_row; }
    void setRow(rt::Int16 row);
    rt::Int16 column() const { return m_column; }
    void setColumn(rt::Int16 column);

    // The cell under the cursor. Written as decimal text, kept as a number,
    // read back as the shortest text that gives the same number ("512").
    QString data() const;
    void setData(const QString &text);

    QString rowLabel() const;
    void setRowLabel(const QString &label);
    QString columnLabel() const;
    void setColumnLabel(const QString &label);

    rt::Int16 chartType() const { return m_chartType; }
    void setChartType(rt::Int16 type);
    bool showLegend() const { return m_showLegend; }
    void setShowLegend(bool show);

    // Vertical value scale.
    bool scaleAuto() const { return m_scaleAuto; }
    void setScaleAuto(bool automatic);
    double scaleMinimum() const { return m_scaleMinimum; }
    void setScaleMinimum(double minimum);
    double scaleMaximum() const { return m_scaleMaximum; }
    void setScaleMaximum(double maximum);
    rt::Int16 scaleMajorDivision() const { return m_scaleMajorDivision; }
    void setScaleMajorDivision(rt::Int16 divisions);

    // Direct reads, 1-based, for drawing and checking.
    double valueAt(int row, int column) const;
    QString rowLabelAt(int row) const;
    QString columnLabelAt(int column) const;

    // Called after every successful write (cursor moves included); the view
    // uses it to schedule one redraw for however many changes come in a row.
    void setChangeListener(std::function<void()> listener);

private:
    void changed() const;
    void checkCursor(int row, int column) const;
    double &cellAtCursor();
    static QString defaultRowLabel(int row);
    static QString defaultColumnLabel(int column);

    rt::Int16 m_columnCount = 0;
    rt::Int16 m_rowCount = 0;
    rt::Int16 m_row = 1;
    rt::Int16 m_column = 1;
    QVector<QVector<double>> m_cells; // [row - 1][column - 1]
    QStringList m_rowLabels;
    QStringList m_columnLabels;
    rt::Int16 m_chartType = kLineChart2d;
    bool m_showLegend = true;
    bool m_scaleAuto = true;
    double m_scaleMinimum = 0;
    double m_scaleMaximum = 100;
    rt::Int16 m_scaleMajorDivision = 5;
    std::function<void()> m_changeListener;
};
