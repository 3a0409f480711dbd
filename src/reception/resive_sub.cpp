#include "reception/resive_sub.h"

#include "reception/record_parser.h"
#include "runtime/number_text.h"
#include "serial/mscomm.h"

#include <QLineEdit>

RecordOutcome Read_Record(ReceptionState &state, MSComm &port, const ReceptionBoxes &boxes)
{
    // A single character is left waiting: it leads a later tick's text.
    if (port.InBufferCount() < 2) {
        boxes.raw.clear();
        boxes.values[0]->clear();
        state.Sens_A = 0;
        boxes.values[1]->clear();
        state.Sens_B = 0;
        boxes.values[2]->clear();
        state.Sens_C = 0;
        return RecordOutcome::Silent;
    }
    state.Rx_Line = port.Input();
    boxes.raw.setText(state.Rx_Line);
    if (parseRecord(state) != RecordOutcome::Parsed)
        return RecordOutcome::Rejected;
    boxes.values[0]->setText(rt::plainText(state.Sens_A));
    boxes.values[1]->setText(rt::plainText(state.Sens_B));
    boxes.values[2]->setText(rt::plainText(state.Sens_C));
    return RecordOutcome::Parsed;
}
