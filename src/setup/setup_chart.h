#pragma once

class ChartGrid;
class QAbstractButton;
class QComboBox;

// Gives the chart its size, type, labels and fixed scale: `cols` series of
// `rows` zero samples with empty row labels, legend on, 0..1024 in 10 steps.
// The counts are rounded to 16-bit integers, halves to even.
void Init_Chart(ChartGrid &chart, float cols, float rows);

// The controls the port set-up fills.
struct PortControls {
    QComboBox &portList;
    QAbstractButton &openClose;
};

// Fills the port list with "Com 1".."Com 9", shows the prompt with no entry
// chosen, and captions the open/close button for the closed state.
void Init_Ports(const PortControls &controls);
